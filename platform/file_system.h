// Host file-system services: status of a path, deletion, directories, the current and the temporary directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vutil::platform {

/// The longest path the host takes, in bytes; longer ones are refused without a look.
inline constexpr std::size_t kLongestHostPath = 4096;

/// What the host reports about a path. Mode bits use the common values:
/// 0x4000 directory, 0x8000 regular file, 0x2000 character device, 0x1000 pipe,
/// and the permission bits 0777 (owner read 0400, write 0200, execute 0100).
struct FileStatus {
    uint32_t mode;
    uint64_t size;
    uint64_t links;
    int64_t accessTime;  ///< seconds since 1970
    int64_t modifyTime;
    int64_t changeTime;

    bool directory() const noexcept { return (mode & 0xF000u) == 0x4000u; }
};

/// Status of the file or directory a path (in the library's notation) names,
/// following symbolic links; nothing when it does not exist or cannot be reached.
std::optional<FileStatus> fileStatus(std::string_view path) noexcept;

/// True when nothing at all, not even a dangling symbolic link, has the name a
/// path (in the library's notation) maps to.
bool nameIsFree(std::string_view path) noexcept;

/// Deletes a file (not a directory); false when the host refuses.
bool removeFile(std::string_view path) noexcept;

/// Creates one directory (its parent must exist); false when the host refuses.
bool makeDirectory(std::string_view path) noexcept;

/// Makes a directory the process's current one; false when the host refuses.
bool changeDirectory(std::string_view path) noexcept;

/// The process's current directory in host form; empty when it cannot be told
/// (removed, or no memory).
std::string currentDirectory();

/// The host's directory for temporary files in host form, ending with the
/// host's separator, and at most `longest` characters long (else the host's
/// fallback). POSIX: TMPDIR when it names a directory by an absolute path, else
/// /tmp/. Windows: the system's temporary path (TMP, TEMP, the user's profile
/// or the Windows directory), else the root of the system's drive.
std::string temporaryDirectory(std::size_t longest);

/// A number from the host's source of randomness (the clock when there is none).
uint32_t randomNumber() noexcept;

/// The number of this process.
uint32_t processNumber() noexcept;

}  // namespace vutil::platform
