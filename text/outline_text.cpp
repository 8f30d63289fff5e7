// Outline text: strings in the host's outline fonts, handed to the device whole or drawn as glyph outlines.
//
// The outline path asks the host for each character's outline at a cell height of 64 pixels and scales it by the
// caller's height and width per 64 units. Outlines come as native records (contour headers with line and
// quadratic-spline records in 16.16 fixed point); each contour is drawn as the closed polyline of its points,
// splines by their control polygons.
#include "text/outline_text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#include "geometry/point_transform.h"
#include "platform/codepage.h"
#include "platform/font.h"
#include "platform/memory.h"
#include "platform/outline_records.h"

namespace vutil::text {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr int32_t kFontCell = 64;       ///< the pixel size the outlines are made at, across and up
constexpr int32_t kDeviceTextKind = 8;  ///< what the device's text operation is told it draws
constexpr int32_t kShiftJisCharSet = 128;

uint32_t readLe32(const uint8_t *p) noexcept {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t readLe16(const uint8_t *p) noexcept {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

int32_t readFixed(const uint8_t *p) noexcept {
    return static_cast<int32_t>(readLe32(p));
}

/// A 16.16 value to whole units, halves rounded up.
int32_t roundFixed(int64_t value) noexcept {
    return static_cast<int32_t>((value + 0x8000) >> 16);
}

/// Radians to the tenths of a degree a font is created with, truncated; beyond 32 bits (or not a number) the
/// angle means nothing as a font's turn and is 0.
int32_t tenthsOfDegree(double radians) noexcept {
    const double tenths = radians / kPi * 1800;
    if (!(std::fabs(tenths) < 2147483648.0)) {
        return 0;
    }
    return static_cast<int32_t>(tenths);
}

/// Draws the closed polylines of a glyph as its points arrive, one contour at a time.
class ContourPen {
public:
    ContourPen(const GlyphPlacement &placement, const SegmentSink &sink) noexcept
        : placement_(placement), sink_(sink) {}

    void add(int32_t px, int32_t py) noexcept {
        double point[3] = {px * placement_.sx, py * placement_.sy, 0.0};
        if (placement_.matrix != nullptr) {
            const std::span<const double, 9> m(placement_.matrix, 9);
            const double x = point[0];
            const double y = point[1];
            point[0] = geometry::applyMatrixRow(m, 0, x, y, 0.0);
            point[1] = geometry::applyMatrixRow(m, 1, x, y, 0.0);
            point[2] = geometry::applyMatrixRow(m, 2, x, y, 0.0);
        }
        for (int i = 0; i < 3; ++i) {
            point[i] += placement_.origin[i];
        }
        if (count_ == 0) {
            firstX_ = px;
            firstY_ = py;
        } else {
            sink_(previous_, point);
        }
        std::memcpy(previous_, point, sizeof point);
        ++count_;
    }

    /// Closes the contour through its start point (whole units, fraction dropped) back to its first point.
    void close(int32_t startFixedX, int32_t startFixedY) noexcept {
        add(startFixedX >> 16, startFixedY >> 16);
        add(firstX_, firstY_);
        count_ = 0;
    }

private:
    const GlyphPlacement &placement_;
    const SegmentSink &sink_;
    std::size_t count_ = 0;
    int32_t firstX_ = 0;
    int32_t firstY_ = 0;
    double previous_[3] = {};
};

void drawContour(std::span<const uint8_t> contour, ContourPen &pen) noexcept {
    const uint8_t *base = contour.data();
    const std::size_t size = contour.size();
    std::size_t at = platform::kContourHeaderBytes;
    while (size - at >= platform::kRecordHeadBytes) {
        const uint16_t type = readLe16(base + at);
        const std::size_t count = readLe16(base + at + 2);
        at += platform::kRecordHeadBytes;
        const std::size_t whole = std::min(count, (size - at) / platform::kFixedPointBytes);
        auto x = [&](std::size_t i) { return readFixed(base + at + i * platform::kFixedPointBytes); };
        auto y = [&](std::size_t i) { return readFixed(base + at + i * platform::kFixedPointBytes + 4); };
        if (type == platform::kLineRecord) {
            for (std::size_t i = 0; i < whole; ++i) {
                pen.add(roundFixed(x(i)), roundFixed(y(i)));
            }
        } else if (type == platform::kSplineRecord) {
            // Each control point but the last two is followed by the on-curve point implied halfway to the next.
            for (std::size_t i = 0; i < whole; ++i) {
                pen.add(roundFixed(x(i)), roundFixed(y(i)));
                if (i + 2 == whole) {
                    pen.add(roundFixed(x(i + 1)), roundFixed(y(i + 1)));
                    break;
                }
                if (i + 1 < whole) {
                    pen.add(roundFixed((int64_t{x(i)} + x(i + 1)) / 2), roundFixed((int64_t{y(i)} + y(i + 1)) / 2));
                }
            }
        }
        if (count > (size - at) / platform::kFixedPointBytes) {
            break;  // the record runs past its contour
        }
        at += count * platform::kFixedPointBytes;
    }
    pen.close(readFixed(base + 8), readFixed(base + 12));
}

/// The block a call reads glyph outlines into: global memory, grown when a glyph needs more and kept for the
/// call's later glyphs.
class GlyphBlock {
public:
    /// Room for `bytes`, or an empty span when the memory cannot be had.
    std::span<uint8_t> reserve(std::size_t bytes) noexcept {
        if (bytes > capacity_) {
            const std::size_t grown = std::max(bytes, 2 * capacity_);
            block_.reset();
            capacity_ = 0;
            block_.emplace(platform::kGmemMoveable | platform::kGmemZeroInit, grown);
            if (!*block_) {
                block_.reset();
                return {};
            }
            capacity_ = grown;
        }
        return {static_cast<uint8_t *>(block_->data()), bytes};
    }

private:
    std::optional<platform::LockedGlobal> block_;
    std::size_t capacity_ = 0;
};

/// The outlines a call has already read, by character code, so that a character that comes again is not asked of
/// the font again: one font gives one character the same outline and advance every time. Only single-byte codes
/// are kept, and only up to a fixed number of bytes of outlines; the rest is asked for each time.
class GlyphMemo {
public:
    struct Glyph {
        bool known = false;
        bool failed = false;  ///< the font has no outline for the character
        platform::GlyphMetrics metrics;
        uint32_t offset = 0;
        uint32_t size = 0;
    };

    const Glyph *find(uint32_t code) const noexcept {
        return code < glyphs_.size() && glyphs_[code].known ? &glyphs_[code] : nullptr;
    }

    std::span<const uint8_t> records(const Glyph &glyph) const noexcept {
        return {bytes_.data() + glyph.offset, glyph.size};
    }

    void addFailure(uint32_t code) noexcept {
        if (code < glyphs_.size()) {
            glyphs_[code].known = true;
            glyphs_[code].failed = true;
        }
    }

    void add(uint32_t code, const platform::GlyphMetrics &metrics, std::span<const uint8_t> records) noexcept {
        if (code >= glyphs_.size() || records.size() > kBytesKept - bytes_.size()) {
            return;
        }
        try {
            const std::size_t offset = bytes_.size();
            bytes_.insert(bytes_.end(), records.begin(), records.end());
            glyphs_[code] = {true, false, metrics, static_cast<uint32_t>(offset), static_cast<uint32_t>(records.size())};
        } catch (const std::bad_alloc &) {
            // Without memory the character is simply asked for again next time.
        }
    }

private:
    static constexpr std::size_t kBytesKept = std::size_t{4} << 20;
    std::array<Glyph, 256> glyphs_{};
    std::vector<uint8_t> bytes_;
};

/// The outline path: each character's outline from the host's font, placed at the running advance.
void drawOutlines(const OutlineText &text, uint32_t style) noexcept {
    const kor_logfont empty{};
    const kor_logfont &description = text.font != nullptr ? *text.font : empty;
    platform::FontRequest request;
    request.height = kFontCell;
    request.width = (style & TTXT_NATURALWIDTH) != 0 ? 0 : kFontCell;
    request.escapement = tenthsOfDegree(text.escapement);
    request.orientation = tenthsOfDegree(text.orientation);
    request.weight = (style & TTXT_BOLD) != 0 ? 700 : 400;
    request.italic = (style & TTXT_ITALIC) != 0;
    request.underline = (style & TTXT_UNDERLINE) != 0;
    request.charSet = description.lfCharSet;
    request.pitchAndFamily = description.lfPitchAndFamily;
    // The face name fills at most its 32 bytes, terminated or not.
    request.faceName =
        std::string_view(description.lfFaceName, strnlen(description.lfFaceName, sizeof description.lfFaceName));
    // Where the code page has double-byte characters, a name with such characters asks for a Japanese face.
    if (platform::isLeadByte(0x81)) {
        for (const char c : description.lfFaceName) {
            if ((static_cast<uint8_t>(c) & 0x80) != 0) {
                request.charSet = kShiftJisCharSet;
            }
        }
    }
    platform::Font font(request);
    if (!font) {
        return;
    }
    double sx = text.width / kFontCell;
    double sy = text.height / kFontCell;
    if ((style & TTXT_ASCENTHEIGHT) != 0) {
        const platform::FontMetrics &m = font.metrics();
        const int32_t capitals = m.ascent - m.internalLeading - m.externalLeading;
        if (capitals > 0) {
            const double enlarge = static_cast<double>(m.height) / capitals;
            sx *= enlarge;
            sy *= enlarge;
        }
    }
    double offset[3] = {0, 0, 0};
    GlyphBlock block;
    GlyphMemo memo;
    const auto *s = reinterpret_cast<const uint8_t *>(text.text);
    while (*s != 0) {
        uint32_t code = *s;
        if (platform::isLeadByte(s[0]) && s[1] != 0) {
            code = code << 8 | s[1];
            s += 2;
        } else {
            s += 1;
        }
        platform::GlyphMetrics metrics;
        std::span<const uint8_t> records;
        if (const GlyphMemo::Glyph *known = memo.find(code)) {
            if (known->failed) {
                continue;
            }
            metrics = known->metrics;
            records = memo.records(*known);
        } else {
            const uint32_t size = font.glyphOutline(code, metrics, {});
            if (size == platform::kGlyphError) {
                memo.addFailure(code);
                continue;
            }
            if (size > 0) {
                const std::span<uint8_t> room = block.reserve(size);
                if (room.empty()) {
                    continue;  // no memory for the outline: the character is skipped like one without an outline
                }
                if (font.glyphOutline(code, metrics, room) != size) {
                    continue;
                }
                records = room;
            }
            memo.add(code, metrics, records);
        }
        GlyphPlacement placement{{text.x + offset[0], text.y + offset[1], text.z + offset[2]}, sx, sy, text.matrix};
        double advance[3] = {metrics.cellIncX * sx, 0, 0};
        if (text.matrix != nullptr) {
            const std::span<const double, 9> m(text.matrix, 9);
            const double ax = advance[0];
            for (int row = 0; row < 3; ++row) {
                advance[row] = geometry::applyMatrixRow(m, row, ax, 0.0, 0.0);
            }
        }
        for (int i = 0; i < 3; ++i) {
            offset[i] += advance[i];
        }
        drawNativeOutline(records, placement, text.sink);
    }
}

}  // namespace

uint32_t extendedStyle(const kor_logfont *font, uint32_t style) noexcept {
    if (font != nullptr) {
        style |= font->lfWeight == 700 ? TTXT_BOLD : 0u;
        style |= font->lfItalic != 0 ? TTXT_ITALIC : 0u;
        style |= font->lfUnderline != 0 ? TTXT_UNDERLINE : 0u;
    }
    return style;
}

bool takesDevicePath(const OutlineText &text) noexcept {
    if (text.sink.callback != nullptr) {
        return false;
    }
    const double *m = text.matrix;
    return m == nullptr || (m[0] == 1.0 && m[4] == 1.0 && m[8] == 1.0);
}

void drawOutlineText(const OutlineText &text) noexcept {
    const uint32_t style = extendedStyle(text.font, text.style);
    if (takesDevicePath(text)) {
        draw_device *device = text.sink.device;
        if (device != nullptr && device->text != nullptr) {
            const double position[3] = {text.x, text.y, text.z};
            const double position2[3] = {text.x, text.y, text.z};
            device->text(text.sink.context, text.font != nullptr ? text.font->lfFaceName : "", position, position2,
                         text.text, text.height, text.width, text.escapement, text.orientation, kDeviceTextKind,
                         static_cast<int32_t>(style), text.sink.user, static_cast<int32_t>(text.flags & TXT_BACKWARD),
                         static_cast<int32_t>(text.flags & TXT_UPSIDEDOWN));
        }
        return;
    }
    if (text.text != nullptr) {
        drawOutlines(text, style);
    }
}

void drawNativeOutline(std::span<const uint8_t> records, const GlyphPlacement &placement,
                       const SegmentSink &sink) noexcept {
    ContourPen pen(placement, sink);
    const std::size_t size = records.size();
    std::size_t at = 0;
    while (size - at >= platform::kContourHeaderBytes) {
        const uint32_t length = readLe32(records.data() + at);
        if (length < platform::kContourHeaderBytes) {
            break;  // a header that cannot be stepped over
        }
        const std::size_t end = length > size - at ? size : at + length;
        if (readLe32(records.data() + at + 4) == platform::kContourType) {
            drawContour(records.subspan(at, end - at), pen);
        }
        at = end;
    }
}

}  // namespace vutil::text
