// Exports of the text services: the stroke font's set-up, stroke text and outline text.
#include <array>

#include "text/outline_text.h"
#include "text/stroke_font.h"
#include "text/stroke_text.h"
#include "vutil/text.h"

namespace text = vutil::text;

extern "C" {

VUTIL_API int32_t init_txt() noexcept {
    text::initGlyphTable();
    return 1;
}

VUTIL_API void txt(intptr_t context, draw_device *device, const char *string, double x, double y, double z,
                   double height, double width, double angle, double oblique, const double *matrix, int32_t flags,
                   intptr_t user, txt_line_proc callback, double *end) noexcept {
    text::StrokeText request;
    request.sink = {context, device, user, callback};
    request.text = string != nullptr ? string : "";
    request.x = x;
    request.y = y;
    request.z = z;
    request.height = height;
    request.width = width;
    request.angle = angle;
    request.oblique = oblique;
    request.matrix = matrix;
    request.flags = static_cast<uint32_t>(flags);
    const std::array<double, 3> next = text::drawStrokeText(request);
    if (end != nullptr) {
        end[0] = next[0];
        end[1] = next[1];
        end[2] = next[2];
    }
}

VUTIL_API void ttxt(intptr_t context, draw_device *device, const char *string, const kor_logfont *font, double x,
                    double y, double z, double height, double width, double escapement, double orientation,
                    const double *matrix, int32_t flags, int32_t style, intptr_t user, txt_line_proc callback,
                    intptr_t /*reserved*/) noexcept {
    text::OutlineText request;
    request.sink = {context, device, user, callback};
    request.text = string;
    request.font = font;
    request.x = x;
    request.y = y;
    request.z = z;
    request.height = height;
    request.width = width;
    request.escapement = escapement;
    request.orientation = orientation;
    request.matrix = matrix;
    request.flags = static_cast<uint32_t>(flags);
    request.style = static_cast<uint32_t>(style);
    text::drawOutlineText(request);
}

}  // extern "C"
