// Tests of outline text: the device path, the native-record walk, and glyphs from a host font (DejaVu Sans).
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/font.h"
#include "platform/memory.h"
#include "tests/platform/font_support.h"
#include "text/outline_text.h"
#include "vutil/text.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr const char *kFace = "DejaVu Sans";

struct Seg {
    double a[3], b[3];
    bool operator==(const Seg &o) const {
        return std::memcmp(a, o.a, sizeof a) == 0 && std::memcmp(b, o.b, sizeof b) == 0;
    }
};

void collect(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    reinterpret_cast<std::vector<Seg> *>(context)->push_back(
        {{first[0], first[1], first[2]}, {second[0], second[1], second[2]}});
}

// ---- Native records, written by hand (the fuzz corpus holds the hostile ones) ----

constexpr int32_t F = 65536;  // 1.0 in 16.16
using Points = std::vector<std::pair<double, double>>;

void put32(std::vector<uint8_t> &out, int64_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}

/// A record: type and points.
std::vector<uint8_t> record(uint16_t type, const std::vector<std::pair<int32_t, int32_t>> &points) {
    std::vector<uint8_t> out{uint8_t(type), 0, uint8_t(points.size()), 0};
    for (auto [x, y] : points) {
        put32(out, x);
        put32(out, y);
    }
    return out;
}

/// A contour header of type 24 with its records.
std::vector<uint8_t> contour(int32_t sx, int32_t sy, std::initializer_list<std::vector<uint8_t>> records) {
    std::vector<uint8_t> body;
    for (const auto &r : records) {
        body.insert(body.end(), r.begin(), r.end());
    }
    std::vector<uint8_t> out;
    put32(out, 16 + static_cast<int64_t>(body.size()));
    put32(out, 24);
    put32(out, sx);
    put32(out, sy);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

std::vector<Seg> walkSegments(const std::vector<uint8_t> &bytes, const vutil::text::GlyphPlacement &placement) {
    std::vector<Seg> segs;
    vutil::text::SegmentSink sink;
    sink.context = reinterpret_cast<intptr_t>(&segs);
    sink.callback = collect;
    vutil::text::drawNativeOutline(bytes, placement, sink);
    return segs;
}

/// The points a walk visits: the first segment's start, then every segment's end.
Points walk(const std::vector<uint8_t> &bytes) {
    const std::vector<Seg> segs = walkSegments(bytes, {});
    Points points;
    for (const Seg &s : segs) {
        if (points.empty()) {
            points.emplace_back(s.a[0], s.a[1]);
        }
        points.emplace_back(s.b[0], s.b[1]);
    }
    return points;
}

TEST(NativeOutline, ContoursCloseThroughTheirStart) {
    EXPECT_EQ(walk(contour(0, 0, {record(1, {{10 * F, 0}, {10 * F, 10 * F}})})),
              (Points{{10, 0}, {10, 10}, {0, 0}, {10, 0}}));
    // Spline records: each control point but the last two is followed by the midpoint to the next.
    EXPECT_EQ(walk(contour(0, 0, {record(2, {{2 * F, 4 * F}, {6 * F, 8 * F}, {10 * F, 0}}), record(1, {{F, -F}})})),
              (Points{{2, 4}, {4, 6}, {6, 8}, {10, 0}, {1, -1}, {0, 0}, {2, 4}}));
    EXPECT_EQ(walk(contour(0, 0, {record(2, {{2 * F, 0}, {4 * F, 2 * F}, {8 * F, 2 * F}, {9 * F, 9 * F}})})),
              (Points{{2, 0}, {3, 1}, {4, 2}, {6, 2}, {8, 2}, {9, 9}, {0, 0}, {2, 0}}));
}

TEST(NativeOutline, FixedPointRounding) {
    // Points round half up; a midpoint is taken in fixed point, truncated toward zero, then rounded; the start
    // point closes the contour with its fraction dropped.
    const auto bytes = contour(F + F * 3 / 4, -F / 4,
                               {record(1, {{F + F / 2, -F - F / 2}, {F + F / 2 - 1, F / 2 - 1}}),
                                record(2, {{-F - 1, 0}, {0, 0}, {3 * F, 0}})});
    EXPECT_EQ(walk(bytes), (Points{{2, -1}, {1, 0}, {-1, 0}, {0, 0}, {0, 0}, {3, 0}, {1, -1}, {2, -1}}));
}

TEST(NativeOutline, ScalesMatrixAndOrigin) {
    const double m[9] = {0, -1, 0, 1, 0, 0, 0, 0.5, 1};  // quarter turn, z from y
    const auto segs =
        walkSegments(contour(0, 0, {record(1, {{4 * F, 0}, {4 * F, 2 * F}})}), {{100, 200, 300}, 0.5, 3, m});
    ASSERT_EQ(segs.size(), 3u);
    // (4, 2) scaled to (2, 6), turned to (-6, 2), z = 3, moved to the origin.
    EXPECT_EQ(segs[0].b[0], 94);
    EXPECT_EQ(segs[0].b[1], 202);
    EXPECT_EQ(segs[0].b[2], 303);
}

// ---- ttxt: device path and style ----

/// The device's text operation records its calls: the pointers, then every number in order.
struct TextCall {
    int calls = 0;
    const char *face, *text;
    std::vector<double> numbers;
} textCall;
void deviceText(intptr_t context, const char *face, const double *p, const double *p2, const char *text, double height,
                double width, double escapement, double orientation, int32_t kind, int32_t style, intptr_t user,
                int32_t backward, int32_t upsideDown) {
    textCall = {textCall.calls + 1,
                face,
                text,
                {double(context), p[0], p[1], p[2], p2[0], p2[1], p2[2], height, width, escapement, orientation,
                 double(kind), double(style), double(user), double(backward), double(upsideDown)}};
}
void deviceLine(intptr_t, const double *, const double *, intptr_t) {
    ADD_FAILURE() << "no line on the device path";
}

TEST(OutlineText, DevicePathHandsOverTheWholeString) {
    draw_device device{};
    device.text = deviceText;
    device.line = deviceLine;
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    font.lfWeight = 700;
    font.lfUnderline = 1;
    textCall = {};
    const char *text = "Hello";
    ttxt(5, &device, text, &font, 1, 2, 3, 10, 20, 0.5, 0.25, nullptr, TXT_BACKWARD | TXT_UPSIDEDOWN | 8, 0x100, 6,
         nullptr, 0);
    EXPECT_EQ(textCall.calls, 1);
    EXPECT_EQ(textCall.face, font.lfFaceName);
    EXPECT_EQ(textCall.text, text);
    EXPECT_EQ(textCall.numbers, (std::vector<double>{5, 1, 2, 3, 1, 2, 3, 10, 20, 0.5, 0.25, 8,
                                                     0x100 | TTXT_BOLD | TTXT_UNDERLINE, 6, 2, 4}));
    // Weight 600 is not bold; italic comes from the description; a unit diagonal still takes the device path.
    font = {};
    font.lfWeight = 600;
    font.lfItalic = 1;
    const double skewed[9] = {1, 0.5, 0, 0, 1, 0, 0, 0, 1};
    ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, skewed, 0, 0, 0, nullptr, 0);
    EXPECT_EQ(textCall.calls, 2);
    EXPECT_EQ(textCall.numbers[12], TTXT_ITALIC);
    ttxt(0, nullptr, "x", &font, 0, 0, 0, 1, 1, 0, 0, nullptr, 0, 0, 0, nullptr, 0);  // no device: nothing
    EXPECT_EQ(textCall.calls, 2);
    // A diagonal entry other than 1 takes the outline path, to the device's line operation.
    device.line = nullptr;
    for (const int entry : {0, 4, 8}) {
        double scaled[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        scaled[entry] = 2;
        ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, scaled, 0, 0, 0, nullptr, 0);
        EXPECT_EQ(textCall.calls, 2) << entry;
    }
}

// ---- ttxt: the outline path with a host font ----

vutil::platform::FontRequest request() {
    vutil::platform::FontRequest r;
    r.height = 64;
    r.width = 64;
    r.weight = 400;
    r.faceName = kFace;
    return r;
}

/// Outline tests skip only when the host has no outline font at all.
#define REQUIRE_FONT()                                                                      \
    if (!vutil::platform::Font(request())) {                                                \
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")"; \
    }

std::vector<Seg> outline(const char *text, const double *matrix = nullptr, int32_t style = 0, double escapement = 0,
                         draw_device *device = nullptr) {
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    std::vector<Seg> segs;
    ttxt(reinterpret_cast<intptr_t>(&segs), device, text, &font, 0, 0, 0, 64, 64, escapement, 0, matrix, 0, style, 0,
         collect, 0);
    return segs;
}

/// Whether b is a shifted by (dx, dy), segment for segment.
void expectShifted(const std::vector<Seg> &a, const std::vector<Seg> &b, double dx, double dy) {
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        ASSERT_NEAR(b[i].a[0], a[i].a[0] + dx, 1e-9);
        ASSERT_NEAR(b[i].a[1], a[i].a[1] + dy, 1e-9);
    }
}

TEST(OutlineText, CallbackDrawsOutlinesAndSpacesAdvance) {
    REQUIRE_FONT();
    draw_device device{};
    device.text = deviceText;
    textCall = {};
    const std::vector<Seg> a = outline("A", nullptr, 0, 0, &device);
    EXPECT_EQ(textCall.calls, 0);  // a callback forces the outline path
    ASSERT_GT(a.size(), 3u);
    EXPECT_TRUE(outline(" ").empty());
    // The space's advance, from FreeType directly at the font's size.
    vutil::platform::Font font(request());
    vutil::test::DirectFace direct(font);
    direct.load(' ');
    const double space = static_cast<double>((direct.face()->glyph->advance.x + 32) >> 6);
    expectShifted(a, outline(" A"), space, 0);
    expectShifted(a, outline("  A"), 2 * space, 0);
    // A face name filling all 32 bytes without a terminator is read to its last byte, no further.
    kor_logfont unterminated;
    std::memset(&unterminated, 'D', sizeof unterminated);
    std::vector<Seg> segs;
    ttxt(reinterpret_cast<intptr_t>(&segs), nullptr, "A", &unterminated, 0, 0, 0, 64, 64, 0, 0, nullptr, 0, 0, 0,
         collect, 0);
    EXPECT_FALSE(segs.empty());
}

TEST(OutlineText, DoubleByteCharactersAreOneGlyph) {
    REQUIRE_FONT();
    // In code page 932, 0x83 0xBF is the Greek small alpha: one glyph, one advance, then the I.
    vutil::platform::setAnsiCodePage(932);
    const std::vector<Seg> pair = outline("\x83\xbfI");
    const std::vector<Seg> i = outline("I");
    vutil::platform::setAnsiCodePage(1252);
    vutil::platform::Font font(request());
    vutil::test::DirectFace direct(font);
    FT_Load_Char(direct.face(), 0x3B1, FT_LOAD_NO_HINTING);
    const double alpha = static_cast<double>((direct.face()->glyph->advance.x + 32) >> 6);
    ASSERT_GT(pair.size(), i.size());
    expectShifted(i, std::vector<Seg>(pair.end() - static_cast<std::ptrdiff_t>(i.size()), pair.end()), alpha, 0);
}

// A matrix turns outlines and advance exactly; an escapement of 900 tenths makes the font turned a quarter, with a
// horizontal cell increment (the only one used) of 0; angles whose tenths do not fit 32 bits, or are not numbers,
// make an upright font; the ascent height enlarges by the font's own ratio.
TEST(OutlineText, MatrixEscapementAndAscentHeight) {
    REQUIRE_FONT();
    const std::vector<Seg> plain = outline("LL");
    const double turn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    const std::vector<Seg> turned = outline("LL", turn), escaped = outline("LL", nullptr, 0, kPi / 2);
    const std::vector<Seg> tall = outline("LL", nullptr, TTXT_ASCENTHEIGHT);
    ASSERT_EQ(plain.size(), turned.size());
    ASSERT_EQ(plain.size(), escaped.size());
    ASSERT_EQ(plain.size(), tall.size());
    vutil::platform::Font font(request());
    const vutil::platform::FontMetrics &m = font.metrics();
    const double ratio = static_cast<double>(m.height) / (m.ascent - m.internalLeading - m.externalLeading);
    const std::size_t half = plain.size() / 2;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(turned[i].a[0], -plain[i].a[1]);
        EXPECT_EQ(turned[i].a[1], plain[i].a[0]);
        EXPECT_NEAR(escaped[i].a[0], -plain[i % half].a[1], 1.0) << i;
        EXPECT_NEAR(escaped[i].a[1], plain[i % half].a[0], 1.0) << i;
        EXPECT_DOUBLE_EQ(tall[i].a[1], plain[i].a[1] * ratio);
    }
    EXPECT_EQ(outline("LL", nullptr, 0, 1e300), plain);
    EXPECT_EQ(outline("LL", nullptr, 0, NAN), plain);
}

TEST(OutlineText, GlyphWithoutMemoryIsSkippedWithoutAdvancing) {
    REQUIRE_FONT();
    const std::vector<Seg> b = outline("B");
    vutil::platform::setGlobalAllocFailureAfter(0);  // the first glyph's block fails
    const std::vector<Seg> skipped = outline("AB");
    vutil::platform::setGlobalAllocFailureAfter(-1);
    EXPECT_EQ(skipped, b);
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), 0u);
}

}  // namespace
