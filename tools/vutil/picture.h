// A drawn page as a list of paths in pixels, and its SVG and PNG forms.
#pragma once

#include <cstdint>
#include <functional>
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

/// A page drawn straight into its pixels, without anti-aliasing: each line one pixel wide,
/// each fill whole pixels. Far quicker than stroking the paths of a Picture, and what a
/// drawing of many thousand thin lines needs.
struct PixelPage {
    int32_t width = 0, height = 0;
    std::vector<uint32_t> pixels;  ///< row by row from the top; colours as in PagePath

    /// A white page of the size (none for a size below one pixel).
    void start(int32_t pageWidth, int32_t pageHeight);
    /// The line between two points, in pixels from the top left corner: from the pixel that
    /// holds the first point to the one that holds the second, one pixel in each column (or
    /// row, for a steep line), the pixels 8-connected. What falls off the page is left out.
    void line(double x0, double y0, double x1, double y1, uint32_t colour);
    /// line() for two points on the page.
    void inside(double x0, double y0, double x1, double y1, uint32_t colour);
    /// The pixels of row y whose centres lie in [x0, x1).
    void span(int32_t y, double x0, double x1, uint32_t colour);
    uint32_t at(int32_t x, int32_t y) const {
        return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    }
};

/// Whether this build writes the PNG of a PixelPage (it needs zlib or cairo).
bool pixelPngAvailable();

/// The page as an 8-bit RGB PNG; false with the reason when this build cannot write it.
bool pngOf(const PixelPage &page, std::string &png, std::string &reason);

#if VUTIL_TOOL_ZLIB
/// A PNG of 8-bit samples, colour type 0 (grey) or 2 (RGB), rows unfiltered and run-length
/// deflated at the quickest level: a drawing is long runs of white, which this codes as well
/// as a slower search would, at a fraction of its time. `row(y, out)` puts row y's samples
/// in out. False with the reason when zlib fails.
bool deflatedPng(int32_t width, int32_t height, int colourType, const std::function<void(int32_t, std::string &)> &row,
                 std::string &png, std::string &reason);
/// The PNG file of 8-bit samples of a colour type whose rows a zlib stream holds.
std::string pngFile(int32_t width, int32_t height, int colourType, const std::string &zlibStream);
#endif

}  // namespace vutil::tool
