// Drawing a DXF drawing's model space on a page, through the library's geometry and text services.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "dxf.h"
#include "picture.h"

namespace vutil::dxf {

struct RenderOptions {
    int width = 800, height = 600;
    bool haveExtents = false;
    double extents[4] = {0, 0, 0, 0};  ///< xmin, ymin, xmax, ymax in drawing units
    double margin = 0.02;              ///< share of the extents' width and height added on each side
    std::vector<std::string> layers;   ///< draw only these layers (upper case); empty: all
    /// Entities drawn in one pass, references counted, before the drawing is cut short with a note.
    uint64_t maxWork = 4'000'000;
    /// Renderers drawing a large model space onto a pixel page at once, each on its own thread: 1 or 2.
    /// The page is the same either way.
    int threads = 2;
};

struct RenderResult {
    std::map<std::string, uint64_t> drawn, skipped;  ///< entities by kind
    double extents[4] = {0, 0, 0, 0};  ///< what was shown, margin included
    bool empty = false;                ///< nothing was drawn
    std::vector<std::string> notes;
};

/// Draws the model space onto the picture (size from the options): every line one pixel
/// wide, the page white, the extents centred at the largest scale that fits, y up.
void render(const Drawing &drawing, const RenderOptions &options, tool::Picture &picture, RenderResult &result);

/// Draws the model space as above, straight into the pixels of the page: the PNG's way, with
/// the same view and the same lines, each one pixel wide and not anti-aliased.
void render(const Drawing &drawing, const RenderOptions &options, tool::PixelPage &page, RenderResult &result);

}  // namespace vutil::dxf
