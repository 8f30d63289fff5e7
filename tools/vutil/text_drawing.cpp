// Text drawn through the library's text services, collected as line segments and written as SVG paths.
#include "text_drawing.h"

#include <cmath>
#include <cstdio>

#include "vutil.h"

namespace vutil::tool {
namespace {

constexpr double kDegree = 3.141592653589793 / 180;

void collect(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    reinterpret_cast<Segments *>(context)->push_back({first[0], first[1], second[0], second[1]});
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", std::fabs(value) < 5e-7 ? 0.0 : value);
    return text;
}

}  // namespace

Segments strokeText(const std::string &text, const TextLayout &layout, double *endX, double *endY) {
    static const int32_t initialised = init_txt();
    (void)initialised;
    Segments segments;
    const int32_t flags = (layout.vertical ? TXT_VERTICAL : 0) | (layout.backward ? TXT_BACKWARD : 0) |
                          (layout.upsideDown ? TXT_UPSIDEDOWN : 0);
    double end[3];
    txt(reinterpret_cast<intptr_t>(&segments), nullptr, text.c_str(), layout.x, layout.y, 0, layout.height,
        layout.width > 0 ? layout.width : layout.height, layout.angle * kDegree, layout.oblique * kDegree, nullptr,
        flags, 0, collect, end);
    if (endX != nullptr) {
        *endX = end[0];
    }
    if (endY != nullptr) {
        *endY = end[1];
    }
    return segments;
}

Segments outlineText(const std::string &text, const std::string &face, const TextLayout &layout) {
    kor_logfont font{};
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", face.c_str());
    font.lfWeight = 400;
    // Model matrix: mirrors, then the slant, then the turn of the baseline.
    const double mirrorX = layout.backward ? -1 : 1;
    const double mirrorY = layout.upsideDown ? -1 : 1;
    const double slant = std::tan(layout.oblique * kDegree);
    const double c = std::cos(layout.angle * kDegree);
    const double s = std::sin(layout.angle * kDegree);
    const double matrix[9] = {
        c * mirrorX, (c * slant - s) * mirrorY, 0, s * mirrorX, (s * slant + c) * mirrorY, 0, 0, 0, 1};
    const bool natural = layout.width <= 0;
    Segments segments;
    ttxt(reinterpret_cast<intptr_t>(&segments), nullptr, text.c_str(), &font, layout.x, layout.y, 0, layout.height,
         natural ? layout.height : layout.width, 0, 0, matrix, 0, natural ? TTXT_NATURALWIDTH : 0, 0, collect, 0);
    return segments;
}

std::string svgPathData(const Segments &segments, double scale) {
    std::string data;
    bool open = false;
    double startX = 0, startY = 0, lastX = 0, lastY = 0;
    auto closeIfReturned = [&] {
        if (open && lastX == startX && lastY == startY) {
            data += "Z";
        }
    };
    // SVG's y runs down the page.
    auto point = [&](char command, double x, double y) {
        data += command;
        data += number(x * scale);
        data += ' ';
        data += number(-y * scale);
    };
    for (const Segment &s : segments) {
        if (!open || s.x1 != lastX || s.y1 != lastY) {
            closeIfReturned();
            point('M', s.x1, s.y1);
            startX = s.x1;
            startY = s.y1;
            open = true;
        }
        point('L', s.x2, s.y2);
        lastX = s.x2;
        lastY = s.y2;
    }
    closeIfReturned();
    return data;
}

}  // namespace vutil::tool
