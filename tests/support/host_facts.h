// What the two hosts' backends answer differently where a caller can see it. A test that meets such a
// difference takes its expectation from here; each says which host gives what, and why.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vutil::test::host {

/// The storage query of a document another opener holds exclusively. POSIX hosts read the header through an open
/// that takes no lock, and the query succeeds; Windows has no such open, so the header cannot be read and the
/// document is not found. (Opening it in place meets the sharing violation on both.)
extern const int32_t kQueryOfAnExclusivelyHeldDocument;

/// The name of a directory in the library's notation (drive letter, backslashes). POSIX hosts have no drives:
/// drive C: is mapped onto the directory (VUTIL_DRIVE_C) and the name is "C:". Windows has drives of its own,
/// and the name is the directory's real one, drive letter included ("C:\users\...\Temp\vutil-test-1").
std::string driveFor(const std::filesystem::path &directory);

/// Whether a file open in the library (shared for reading and writing) can be deleted meanwhile. POSIX hosts
/// remove the name and keep the open file for its handle; Windows refuses, as the open does not share deletion.
extern const bool kDeletesAnOpenFile;

/// A drive that names no directory: D: on POSIX hosts (while VUTIL_DRIVE_D is unset), on Windows the first
/// letter the system has no drive for.
std::string missingDrive();

/// Whether environment variable names are found without regard to case: not on POSIX hosts, where "path" and
/// "PATH" are two variables; on Windows they are one.
extern const bool kEnvironmentNamesIgnoreCase;

/// The environment variable that names the temporary directory: TMPDIR on POSIX hosts, TMP on Windows.
extern const char *const kTemporaryVariable;
/// Where temporary names go when that directory is unusable or too long for a path buffer with a name in it:
/// /tmp/ on POSIX hosts, the root of the system's drive on Windows.
std::string fallbackTemporaryDirectory();

/// A file that reads as empty and is no regular file: /dev/null on POSIX hosts, NUL on Windows.
extern const char *const kNullDevice;

/// The running program's file name as the host tells it: /proc/self/exe resolved, or GetModuleFileNameA.
std::string programFile();

}  // namespace vutil::test::host
