// The library's colour maps drawn as an SVG sheet of swatches.
#pragma once

#include <string>

namespace vutil::tool {

/// The SVG text: the 256 AutoCAD Color Index swatches with their numbers, then the
/// 16-colour, grey and pseudo-true-colour maps as the library hands them to a driver.
std::string paletteSvg();

}  // namespace vutil::tool
