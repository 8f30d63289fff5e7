// The built-in stroke font: glyph definitions on a 12-unit grid and the table that indexes them by character code.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vutil::text {

/// Glyph bytes are (x, y) pairs of signed font units; these two pairs are markers, never coordinates.
inline constexpr int8_t kPenUp = 20;     ///< the pair (20, 20): the next pair starts a new stroke
inline constexpr int8_t kGlyphEnd = 21;  ///< the pair (21, 21): the glyph is complete

/// Number of glyphs the font defines (codes 33 to 154, 160 to 163 and 180).
inline constexpr int kStrokeGlyphCount = 127;

/// The character codes the font defines, in ascending order.
std::span<const uint8_t, kStrokeGlyphCount> strokeGlyphCodes() noexcept;

/// Fills the glyph table: every entry null, then the defined codes pointing at their glyphs. Idempotent.
void initGlyphTable() noexcept;

/// The glyph of a code as the table holds it: its bytes up to and including the end marker, or null when the
/// code has no glyph or the table has not been filled yet.
const int8_t *glyphOf(uint8_t code) noexcept;

/// The glyph of a code straight from the font data, whether or not the table has been filled; empty when the code
/// has none. Includes the end marker.
std::span<const int8_t> glyphDefinition(uint8_t code) noexcept;

}  // namespace vutil::text
