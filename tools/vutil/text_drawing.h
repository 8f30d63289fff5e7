// Text drawn through the library's text services, collected as line segments and written as SVG paths.
#pragma once

#include <string>
#include <vector>

namespace vutil::tool {

/// A line segment in drawing units (y up), as the text services hand them out.
struct Segment {
    double x1, y1, x2, y2;
};
using Segments = std::vector<Segment>;

/// How a string is laid out. Angles are in degrees; a width of 0 means the height.
struct TextLayout {
    double x = 0, y = 0;
    double height = 12;
    double width = 0;
    double angle = 0;
    double oblique = 0;
    bool vertical = false;
    bool backward = false;
    bool upsideDown = false;
};

/// The segments of a string in the built-in stroke font (txt); `end` receives the next insertion point.
Segments strokeText(const std::string &text, const TextLayout &layout, double *endX = nullptr, double *endY = nullptr);

/// The outlines of a string in a host font of that face name (ttxt with a callback). Rotation, slant and the
/// mirrors become the model matrix; vertical outline text does not exist, so that flag is ignored. A width of 0
/// keeps the face's own aspect.
Segments outlineText(const std::string &text, const std::string &face, const TextLayout &layout);

/// SVG path data ("M x y L x y ...") with y flipped (SVG y runs down); segments that continue one another form
/// one subpath, and a subpath that returns to its start is closed with "Z".
std::string svgPathData(const Segments &segments, double scale = 1.0);

}  // namespace vutil::tool
