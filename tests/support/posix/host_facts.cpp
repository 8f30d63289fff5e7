// The POSIX host's side of the observable differences (see support/host_facts.h).
#include "support/host_facts.h"

#include <cstdlib>

#include "platform/storage.h"

namespace vutil::test::host {

const int32_t kQueryOfAnExclusivelyHeldDocument = platform::stg::kOk;

std::string driveFor(const std::filesystem::path &directory) {
    setenv("VUTIL_DRIVE_C", directory.c_str(), 1);
    return "C:";
}

const bool kDeletesAnOpenFile = true;

std::string missingDrive() { return "D:"; }

const bool kEnvironmentNamesIgnoreCase = false;

const char *const kTemporaryVariable = "TMPDIR";
std::string fallbackTemporaryDirectory() { return "/tmp/"; }

const char *const kNullDevice = "/dev/null";

std::string programFile() { return std::filesystem::canonical("/proc/self/exe").string(); }

}  // namespace vutil::test::host
