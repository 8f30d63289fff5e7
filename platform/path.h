// Mapping of the library's path notation (drive letters, backslashes) to host paths.
#pragma once

#include <string>
#include <string_view>

namespace vutil::platform {

/// The host path for a path in the library's notation: every backslash becomes a
/// slash, and a drive prefix "X:" becomes the directory named by the environment
/// variable VUTIL_DRIVE_X when it is set, or is dropped ("C:\dwg\a.dwg" is
/// "/dwg/a.dwg"). Paths without a drive keep their form.
std::string toHostPath(std::string_view path);

}  // namespace vutil::platform
