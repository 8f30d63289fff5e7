// `vutil view` for DXF drawings: read, draw, write the page as PNG or SVG.
#pragma once

#include <string>
#include <vector>

namespace vutil::tool {

/// What `vutil view` was asked for.
struct ViewOptions {
    std::string input;
    std::string output;               ///< .png or .svg
    int width = 800, height = 600;
    bool haveExtents = false;
    double extents[4] = {0, 0, 0, 0};  ///< xmin, ymin, xmax, ymax
    double margin = 0.02;
    std::vector<std::string> layers;
    bool stats = false;
};

/// True when the first bytes of a file look like a DXF drawing (text or binary).
bool looksLikeDxf(const std::string &head);

/// Draws a DXF drawing as the options say; the exit code (0 drawn, 1 failed).
int view_dxf(const ViewOptions &options);

}  // namespace vutil::tool
