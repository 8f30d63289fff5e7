// The Windows host's side of the observable differences (see support/host_facts.h).
#include "support/host_facts.h"

#include <windows.h>

#include "platform/storage.h"

namespace vutil::test::host {

const int32_t kQueryOfAnExclusivelyHeldDocument = platform::stg::kFileNotFound;

std::string driveFor(const std::filesystem::path &directory) { return std::filesystem::absolute(directory).make_preferred().string(); }

const bool kDeletesAnOpenFile = false;

std::string missingDrive() {
    const DWORD drives = GetLogicalDrives();
    for (int letter = 3; letter < 26; ++letter)
        if (!(drives & (1u << letter))) return {char('A' + letter), ':'};
    return "B:";
}

const bool kEnvironmentNamesIgnoreCase = true;

const char *const kTemporaryVariable = "TMP";
std::string fallbackTemporaryDirectory() {
    char windows[MAX_PATH];
    return GetWindowsDirectoryA(windows, MAX_PATH) >= 3 ? std::string(windows, 2) + "\\" : "C:\\";
}

const char *const kNullDevice = "NUL";

std::string programFile() {
    char program[MAX_PATH];
    return std::string(program, GetModuleFileNameA(nullptr, program, MAX_PATH));
}

}  // namespace vutil::test::host
