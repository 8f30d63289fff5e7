// A drawn page as a list of paths in pixels, and its SVG and PNG forms.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vutil::tool {

struct PagePoint {
    double x, y;  ///< pixels from the top left corner, y downwards
};

/// One path of the page: stroked polylines, or filled closed outlines.
struct PagePath {
    std::string kind;  ///< what it draws: "window", or an entity kind ("line", "arc", ...)
    uint32_t colour;   ///< red in bits 0-7, green 8-15, blue 16-23
    bool filled;
    std::vector<std::vector<PagePoint>> pieces;
};

struct Picture {
    int width = 0, height = 0;
    std::string title;
    double lineWidth = 1.2;  ///< of stroked paths, in pixels
    /// Round line caps and joins; else square caps and bevel joins, much quicker for cairo
    /// to stroke when the lines are as thin as a pixel.
    bool roundEnds = true;
    std::vector<PagePath> paths;
};

/// The page as an SVG document: one <path> element per path, in order.
std::string svgOf(const Picture &picture);

/// Whether this build draws PNG images (it needs cairo).
bool pngAvailable();

/// The page as a PNG image drawn with cairo; false with the reason when cairo is not
/// there or fails.
bool pngOf(const Picture &picture, std::string &png, std::string &reason);

}  // namespace vutil::tool
