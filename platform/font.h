// Outline fonts of the host: a face chosen from a font description, its metrics, and glyph outlines in the native
// record format (see outline_records.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace vutil::platform {

/// A font description in the host's terms: the fields of a LOGFONT that a text service fills in.
struct FontRequest {
    int32_t height = 0;       ///< cell height (ascent plus descent) in pixels; negative: the em height
    int32_t width = 0;        ///< average character width in pixels; 0 keeps the face's own aspect
    int32_t escapement = 0;   ///< tenths of a degree, anticlockwise; the glyphs are turned by it
    int32_t orientation = 0;  ///< tenths of a degree; glyphs follow the escapement, as compatible-mode text does
    int32_t weight = 0;       ///< 100 (thin) to 900 (black); 0 is the normal 400
    bool italic = false;
    bool underline = false;  ///< recorded only: outlines carry no underline
    bool strikeOut = false;  ///< recorded only
    uint8_t charSet = 0;     ///< 0 ANSI, 2 symbol, 128 Shift JIS, ...: the language the face must cover
    uint8_t pitchAndFamily = 0;
    std::string_view faceName;  ///< in the ANSI code page; empty for the host's default face
};

/// Text metrics of an open font, in pixels.
struct FontMetrics {
    int32_t height = 0;  ///< ascent + descent
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t internalLeading = 0;  ///< height - em height
    int32_t externalLeading = 0;  ///< extra space the face asks for between lines
    int32_t averageWidth = 0;
};

/// The advance of one glyph, in whole pixels, after the font's rotation.
struct GlyphMetrics {
    int16_t cellIncX = 0;
    int16_t cellIncY = 0;
};

/// The result of glyphOutline when the glyph cannot be had.
inline constexpr uint32_t kGlyphError = 0xFFFFFFFFu;

/// One open font: a face at one size and rotation. Fonts share faces through a process-wide cache, so fonts may be
/// used on different threads at once; one font is used by one thread at a time.
class Font {
public:
    /// Opens the face that matches the request best; false (operator bool) only when the host has no outline font.
    explicit Font(const FontRequest &request) noexcept;
    ~Font();
    Font(const Font &) = delete;
    Font &operator=(const Font &) = delete;

    explicit operator bool() const noexcept { return impl_ != nullptr; }
    const FontMetrics &metrics() const noexcept;

    /// The outline of one character, a byte or (lead byte * 256 + trail byte) in the ANSI code page, as native
    /// records. With an empty buffer: the records' size in bytes. With a buffer: copies the records and returns
    /// their size, or kGlyphError when the buffer is too small. kGlyphError too when the glyph has no outline.
    /// A character the face lacks gets the face's missing-glyph outline.
    uint32_t glyphOutline(uint32_t code, GlyphMetrics &metrics, std::span<uint8_t> buffer) noexcept;

    /// The file and face index the font was read from, and its pixels per em across and up: for diagnostics.
    std::string fileName() const;
    int32_t faceIndex() const noexcept;
    double pixelsPerEmX() const noexcept;
    double pixelsPerEmY() const noexcept;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace vutil::platform
