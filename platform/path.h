// Mapping of the library's path notation (drive letters, backslashes) to host paths.
#pragma once

#include <string>
#include <string_view>

namespace vutil::platform {

/// The host path for a path in the library's notation: every backslash becomes a
/// slash, and a drive prefix "X:" becomes the directory named by the environment
/// variable VUTIL_DRIVE_X when it is set, or is dropped ("C:\dwg\a.dwg" is
/// "/dwg/a.dwg"). Paths without a drive keep their form. When the result names
/// nothing, it is resolved as a case-insensitive file system would: component by
/// component, a name that does not exist is replaced by the one entry of its
/// directory that equals it ignoring case, as long as there is exactly one.
std::string toHostPath(std::string_view path);

/// The text mapping of toHostPath alone, without looking at the file system.
/// Second bytes of double-byte characters in the ANSI code page are not separators.
std::string toHostNotation(std::string_view path);

/// A host path in the library's notation: slashes become backslashes, and a path
/// inside the directory of a drive variable VUTIL_DRIVE_X gets that drive ("/mnt/c/dwg"
/// is "C:\dwg" when VUTIL_DRIVE_C is "/mnt/c"; the longest such directory wins).
std::string fromHostPath(std::string_view host);

}  // namespace vutil::platform
