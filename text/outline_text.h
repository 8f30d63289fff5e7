// Outline text: strings in the host's outline fonts, handed to the device whole or drawn as glyph outlines.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "text/segment_sink.h"

namespace vutil::text {

/// One string to draw in an outline font. Height and width are drawing units per 64 font units; escapement and
/// orientation are radians.
struct OutlineText {
    SegmentSink sink;
    const char *text = "";
    const kor_logfont *font = nullptr;  ///< null draws in the host's default face
    double x = 0, y = 0, z = 0;         ///< the glyph origin of the first character
    double height = 0;
    double width = 0;
    double escapement = 0;
    double orientation = 0;
    const double *matrix = nullptr;  ///< nine doubles, row-major, applied to the outlines and the advance
    uint32_t flags = 0;              ///< backward (2) and upside-down (4), for the device's text operation only
    uint32_t style = 0;              ///< TTXT_* bits
};

/// The style bits with bold, italic and underline added from the font description.
uint32_t extendedStyle(const kor_logfont *font, uint32_t style) noexcept;

/// True when the string goes to the device's text operation whole: no callback, and no matrix or one whose
/// diagonal is exactly (1, 1, 1).
bool takesDevicePath(const OutlineText &text) noexcept;

/// Draws the text: through the device's text operation when takesDevicePath, else glyph by glyph as outlines
/// (a glyph that cannot be had is skipped and does not advance).
void drawOutlineText(const OutlineText &text) noexcept;

/// Where one glyph's outline goes: its origin, the scales from font units, and the model matrix (may be null).
struct GlyphPlacement {
    std::array<double, 3> origin{};
    double sx = 1;
    double sy = 1;
    const double *matrix = nullptr;
};

/// Draws a glyph outline given as native records (contour headers and line and spline records) as closed
/// polylines: spline records by their control polygons with the implied on-curve points. Any bytes are safe:
/// records that run past their contour or the buffer are cut, unknown types are stepped over, and a contour
/// header too short to step over ends the walk.
void drawNativeOutline(std::span<const uint8_t> records, const GlyphPlacement &placement,
                       const SegmentSink &sink) noexcept;

}  // namespace vutil::text
