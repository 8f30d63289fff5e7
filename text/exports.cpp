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
    const text::StrokeText request{.sink = {context, device, user, callback},
                                   .text = string != nullptr ? string : "",
                                   .x = x,
                                   .y = y,
                                   .z = z,
                                   .height = height,
                                   .width = width,
                                   .angle = angle,
                                   .oblique = oblique,
                                   .matrix = matrix,
                                   .flags = static_cast<uint32_t>(flags)};
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
    const text::OutlineText request{.sink = {context, device, user, callback},
                                    .text = string,
                                    .font = font,
                                    .x = x,
                                    .y = y,
                                    .z = z,
                                    .height = height,
                                    .width = width,
                                    .escapement = escapement,
                                    .orientation = orientation,
                                    .matrix = matrix,
                                    .flags = static_cast<uint32_t>(flags),
                                    .style = static_cast<uint32_t>(style)};
    text::drawOutlineText(request);
}

}  // extern "C"
