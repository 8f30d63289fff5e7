// Stroke text: lays a string out in the built-in stroke font and hands it out as line segments.
#pragma once

#include <array>
#include <cstdint>

#include "text/segment_sink.h"

namespace vutil::text {

/// One string to draw, with its placement. Angles are in radians; the matrix (nine doubles, row-major, may be null)
/// is applied about the insertion point after rotation and slant.
struct StrokeText {
    SegmentSink sink;
    const char *text = "";
    double x = 0, y = 0, z = 0;  ///< insertion point: the left end of the first character's baseline
    double height = 0;           ///< cap height
    double width = 0;            ///< advance from one character to the next
    double angle = 0;            ///< baseline direction, anticlockwise
    double oblique = 0;          ///< slant of the glyphs, positive to the right
    const double *matrix = nullptr;
    uint32_t flags = 0;  ///< TXT_BACKWARD, TXT_UPSIDEDOWN, TXT_VERTICAL; other bits are ignored
};

/// Draws the text through its sink and returns the end point: the insertion point moved along the baseline by the
/// characters' advances (slant, matrix and mirroring leave it alone). Codes without a glyph advance and draw
/// nothing, as does every code before initGlyphTable has run; overlines and underlines are drawn regardless.
std::array<double, 3> drawStrokeText(const StrokeText &text) noexcept;

}  // namespace vutil::text
