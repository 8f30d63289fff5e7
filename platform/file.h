// Host files for the buffered-file service: open with an access and a sharing mode, create, read, write, seek, close.
#pragma once

#include <cstdint>
#include <string_view>

namespace vutil::platform {

/// What an open file may be used for.
enum class FileAccess : uint8_t { Read, Write, ReadWrite };

/// Whom an open file is shared with. Exclusive opens conflict with every other
/// open of the same file, shared opens only with exclusive ones; a conflicting
/// open fails at once instead of waiting, as a sharing violation does. Unlocked
/// opens take no lock and conflict with nothing (a peek at a file in use).
enum class FileSharing : uint8_t { Shared, Exclusive, Unlocked };

/// Origins of seekFile.
enum class SeekOrigin : uint8_t { Start = 0, Current = 1, End = 2 };

/// Opens an existing file (the path is in the library's notation). Returns the
/// host file handle, which is never 0, or -1 when the file cannot be opened or
/// shared as asked, or names a directory.
int32_t openFile(std::string_view path, FileAccess access, FileSharing sharing) noexcept;

/// Creates a file, or truncates an existing one to zero bytes, and closes it
/// again. Fails (false) while another opener holds the file exclusively.
bool createFile(std::string_view path) noexcept;

/// Reads up to `count` bytes; the number read, 0 at end of file, -1 on error.
int32_t readFile(int32_t file, void *buffer, int32_t count) noexcept;

/// Writes `count` bytes; the number written, or -1 when nothing could be written.
/// A write that fails part way reports the bytes that reached the file.
int32_t writeFile(int32_t file, const void *buffer, int32_t count) noexcept;

/// Moves the file position; the new position, or -1 on error or when the new
/// position cannot be told in 31 bits (the file then stays where it was).
int32_t seekFile(int32_t file, int64_t offset, SeekOrigin origin) noexcept;

/// Closes the file and releases its lock.
void closeFile(int32_t file) noexcept;

/// Opens a file for writing at its end, creating it (readable and writable) when
/// it does not exist, shared like a reading open. The host handle, or -1.
int32_t openFileAppending(std::string_view path) noexcept;

/// The size of an open regular file in bytes; -1 for pipes, devices and errors.
int64_t regularFileSize(int32_t file) noexcept;

/// A system call of the file layer, as the seam below stores it.
using SystemCall = void (*)();

/// Replaces one system call of the file layer ("open", "read", "write", "lseek",
/// "close", "flock", "ftruncate", "fstat", "fcntl") and returns the one in use; a
/// null replacement restores the host's own. Unknown names change nothing and
/// return null. Tests use it to inject I/O errors, short reads and full disks;
/// the replacement must have the host function's exact signature.
SystemCall setFileSystemCall(std::string_view name, SystemCall replacement) noexcept;

}  // namespace vutil::platform
