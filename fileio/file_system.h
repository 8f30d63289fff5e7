// Operations on whole files and directories: kind, size and status, deletion, directories, temporary names, appending.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "vutil/fileio.h"

namespace vutil::fileio {

/// Kind codes of a path.
inline constexpr int32_t kKindNone = 0;
inline constexpr int32_t kKindFile = 1;
inline constexpr int32_t kKindDirectory = 2;

/// What a path names: nothing, a file or a directory. A bare drive ("D:") is a
/// directory without asking the host.
int32_t kindOf(std::string_view path) noexcept;

/// Size of a file (saturated at the 32-bit limit); -1 for nothing there or a directory.
int32_t fileSize(std::string_view path) noexcept;

/// Fills the status record of the 32-bit runtime; false when nothing is there.
bool fileStatus(std::string_view path, kor_stat &status) noexcept;

/// Makes a directory the current one. The result: the kind code (0 or 1) when
/// the path is not a directory; else 0 when it became current, -1 when the host refused.
int32_t changeDirectory(std::string_view path) noexcept;

/// Creates a directory and every missing parent; true when it exists afterwards.
bool makeDirectories(std::string_view path) noexcept;

/// A name for a temporary file in the host's temporary directory, in host form:
/// never given out before in this process, and naming nothing at the time of the call.
std::string makeTemporaryName();

/// Appends the whole content of `source` to `destination` (or, when that is a
/// directory, to the file in it named like the source). True when there was
/// nothing to read or everything was appended; false when the destination could
/// not be opened or a read or write failed during the copy.
bool appendFile(std::string_view destination, std::string_view source) noexcept;

}  // namespace vutil::fileio
