// Tests of outline text: the device path, the native-record walk, and glyphs from a host font (DejaVu Sans).
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/memory.h"
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

// ---- Native records, written by hand ----

class Records {
public:
    Records &contour(int32_t sx, int32_t sy, uint32_t type = 24) {
        at_ = bytes_.size();
        put32(0);
        put32(type);
        put32(static_cast<uint32_t>(sx));
        put32(static_cast<uint32_t>(sy));
        fixLength();
        return *this;
    }
    Records &record(uint16_t type, std::initializer_list<std::pair<int32_t, int32_t>> points, int extraCount = 0) {
        put16(type);
        put16(static_cast<uint16_t>(points.size() + extraCount));
        for (auto [x, y] : points) {
            put32(static_cast<uint32_t>(x));
            put32(static_cast<uint32_t>(y));
        }
        fixLength();
        return *this;
    }
    Records &length(uint32_t value) {
        std::memcpy(&bytes_[at_], &value, 4);
        return *this;
    }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    void put16(uint16_t v) { bytes_.insert(bytes_.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    void put32(uint32_t v) {
        bytes_.insert(bytes_.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    }
    void fixLength() { length(static_cast<uint32_t>(bytes_.size() - at_)); }
    std::vector<uint8_t> bytes_;
    std::size_t at_ = 0;
};

constexpr int32_t F = 65536;  // 1.0 in 16.16

/// The points a record walk visits, in whole units (every segment's start, then the last end).
std::vector<std::pair<double, double>> walk(const std::vector<uint8_t> &bytes, double sx = 1, double sy = 1) {
    std::vector<Seg> segs;
    vutil::text::SegmentSink sink;
    sink.context = reinterpret_cast<intptr_t>(&segs);
    sink.callback = collect;
    vutil::text::drawNativeOutline(bytes, {{0, 0, 0}, sx, sy, nullptr}, sink);
    std::vector<std::pair<double, double>> points;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        if (i == 0 || segs[i].a[0] != segs[i - 1].b[0] || segs[i].a[1] != segs[i - 1].b[1]) {
            points.emplace_back(segs[i].a[0], segs[i].a[1]);
        }
        points.emplace_back(segs[i].b[0], segs[i].b[1]);
    }
    return points;
}
using Points = std::vector<std::pair<double, double>>;

TEST(NativeOutline, PolylineContourClosesThroughItsStart) {
    Records r;
    r.contour(0, 0).record(1, {{10 * F, 0}, {10 * F, 10 * F}});
    EXPECT_EQ(walk(r.bytes()), (Points{{10, 0}, {10, 10}, {0, 0}, {10, 0}}));
}

TEST(NativeOutline, SplineRecordsKeepTheirImpliedPoints) {
    Records r;
    r.contour(0, 0).record(2, {{2 * F, 4 * F}, {6 * F, 8 * F}, {10 * F, 0}}).record(1, {{10 * F, -4 * F}});
    EXPECT_EQ(walk(r.bytes()), (Points{{2, 4}, {4, 6}, {6, 8}, {10, 0}, {10, -4}, {0, 0}, {2, 4}}));
    // Two control points and the end: B1, mid(B1, B2), B2, mid(B2, B3), B3, E.
    Records longer;
    longer.contour(0, 0).record(2, {{2 * F, 0}, {4 * F, 2 * F}, {8 * F, 2 * F}, {9 * F, 9 * F}});
    EXPECT_EQ(walk(longer.bytes()), (Points{{2, 0}, {3, 1}, {4, 2}, {6, 2}, {8, 2}, {9, 9}, {0, 0}, {2, 0}}));
}

TEST(NativeOutline, FixedPointRounding) {
    // Points round half up; the midpoint is taken in fixed point, truncated toward zero, then rounded; the start
    // point closes the contour with its fraction dropped.
    Records r;
    r.contour(F + F * 3 / 4, -F / 4)
        .record(1, {{F + F / 2, -F - F / 2}, {F + F / 2 - 1, F / 2 - 1}})
        .record(2, {{-F - 1, 0}, {0, 0}, {3 * F, 0}});
    EXPECT_EQ(walk(r.bytes()), (Points{{2, -1}, {1, 0}, {-1, 0}, {0, 0}, {0, 0}, {3, 0}, {1, -1}, {2, -1}}));
}

TEST(NativeOutline, ScalesMatrixAndOrigin) {
    Records r;
    r.contour(0, 0).record(1, {{4 * F, 0}, {4 * F, 2 * F}});
    const double m[9] = {0, -1, 0, 1, 0, 0, 0, 0.5, 1};  // quarter turn, z from y
    std::vector<Seg> segs;
    vutil::text::SegmentSink sink;
    sink.context = reinterpret_cast<intptr_t>(&segs);
    sink.callback = collect;
    vutil::text::drawNativeOutline(r.bytes(), {{100, 200, 300}, 0.5, 3, m}, sink);
    ASSERT_EQ(segs.size(), 3u);
    // (4, 2) scaled to (2, 6), turned to (-6, 2), z = 3, moved to the origin.
    EXPECT_EQ(segs[0].b[0], 94);
    EXPECT_EQ(segs[0].b[1], 202);
    EXPECT_EQ(segs[0].b[2], 303);
}

TEST(NativeOutline, HostileRecordsAreCutOrSteppedOver) {
    Records unknownTypes;
    unknownTypes.contour(0, 0, 25).record(1, {{F, F}});  // a contour of another type: no points
    unknownTypes.contour(0, 0).record(7, {{5 * F, 5 * F}}).record(1, {{F, 0}});
    EXPECT_EQ(walk(unknownTypes.bytes()), (Points{{1, 0}, {0, 0}, {1, 0}}));

    Records overlong;  // the record claims more points than the contour holds
    overlong.contour(0, 0).record(1, {{F, 0}, {F, F}}, 1000);
    EXPECT_EQ(walk(overlong.bytes()), (Points{{1, 0}, {1, 1}, {0, 0}, {1, 0}}));

    Records loneControl;  // a spline of one point draws to that point
    loneControl.contour(0, 0).record(2, {{3 * F, 0}});
    EXPECT_EQ(walk(loneControl.bytes()), (Points{{3, 0}, {0, 0}, {3, 0}}));

    Records zeroLength;  // a header that cannot be stepped over ends the walk
    zeroLength.contour(0, 0).record(1, {{F, 0}}).length(0);
    EXPECT_TRUE(walk(zeroLength.bytes()).empty());

    Records pastTheEnd;  // a header longer than the buffer is cut to it
    pastTheEnd.contour(0, 0).record(1, {{F, 0}}).length(1u << 31);
    EXPECT_EQ(walk(pastTheEnd.bytes()).size(), 3u);

    Records extreme;
    extreme.contour(INT32_MIN, INT32_MAX).record(2, {{INT32_MAX, INT32_MIN}, {INT32_MAX, INT32_MIN}, {0, 0}});
    EXPECT_EQ(walk(extreme.bytes()).front(), (std::pair<double, double>{32768, -32768}));
    // Every prefix of a glyph is safe to walk.
    for (std::size_t n = 0; n <= extreme.bytes().size(); ++n) {
        walk(std::vector<uint8_t>(extreme.bytes().begin(), extreme.bytes().begin() + n));
    }
}

TEST(NativeOutline, GlyphsBeyondFiveHundredPointsAreDrawnWhole) {
    Records r;
    for (int c = 0; c < 60; ++c) {
        r.contour(c * F, 0).record(1, {{c * F, F},
                                       {c * F, 2 * F},
                                       {c * F, 3 * F},
                                       {c * F, 4 * F},
                                       {c * F, 5 * F},
                                       {c * F, 6 * F},
                                       {c * F, 7 * F},
                                       {c * F, 8 * F},
                                       {c * F, 9 * F}});
    }
    std::vector<Seg> segs;
    vutil::text::SegmentSink sink;
    sink.context = reinterpret_cast<intptr_t>(&segs);
    sink.callback = collect;
    vutil::text::drawNativeOutline(r.bytes(), {}, sink);
    EXPECT_EQ(segs.size(), 60u * 10);  // 9 points, the start and the first again: 10 segments per contour
    EXPECT_EQ(segs.back().b[0], 59);
}

// ---- ttxt: device path and style ----

struct TextCall {
    int calls = 0;
    const char *face;
    double position[3], position2[3];
    const char *text;
    double height, width, escapement, orientation;
    int32_t kind, style, backward, upsideDown;
    intptr_t context, user;
};
TextCall textCall;
int lineCalls = 0;
void deviceText(intptr_t context, const char *face, const double *position, const double *position2, const char *text,
                double height, double width, double escapement, double orientation, int32_t kind, int32_t style,
                intptr_t user, int32_t backward, int32_t upsideDown) {
    textCall = {textCall.calls + 1,
                face,
                {position[0], position[1], position[2]},
                {position2[0], position2[1], position2[2]},
                text,
                height,
                width,
                escapement,
                orientation,
                kind,
                style,
                backward,
                upsideDown,
                context,
                user};
}
void deviceLine(intptr_t, const double *, const double *, intptr_t) {
    ++lineCalls;
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
    lineCalls = 0;
    const char *text = "Hello";
    ttxt(5, &device, text, &font, 1, 2, 3, 10, 20, 0.5, 0.25, nullptr, TXT_BACKWARD | TXT_UPSIDEDOWN | 8, 0x100, 6,
         nullptr, 0);
    EXPECT_EQ(textCall.calls, 1);
    EXPECT_EQ(lineCalls, 0);
    EXPECT_EQ(textCall.face, font.lfFaceName);
    EXPECT_EQ(textCall.text, text);
    EXPECT_EQ(textCall.position[2], 3);
    EXPECT_EQ(textCall.position2[0], 1);
    EXPECT_NE(&textCall.position, &textCall.position2);
    EXPECT_EQ(textCall.height, 10);
    EXPECT_EQ(textCall.width, 20);
    EXPECT_EQ(textCall.escapement, 0.5);
    EXPECT_EQ(textCall.orientation, 0.25);
    EXPECT_EQ(textCall.kind, 8);
    EXPECT_EQ(textCall.style, 0x100 | TTXT_BOLD | TTXT_UNDERLINE);
    EXPECT_EQ(textCall.backward, 2);
    EXPECT_EQ(textCall.upsideDown, 4);
    EXPECT_EQ(textCall.context, 5);
    EXPECT_EQ(textCall.user, 6);

    // Weight 600 is not bold; italic comes from the description; a unit diagonal still takes the device path.
    font.lfWeight = 600;
    font.lfUnderline = 0;
    font.lfItalic = 1;
    const double skewed[9] = {1, 0.5, 0, 0, 1, 0, 0, 0, 1};
    ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, skewed, 0, 0, 0, nullptr, 0);
    EXPECT_EQ(textCall.calls, 2);
    EXPECT_EQ(textCall.style, TTXT_ITALIC);
    EXPECT_EQ(textCall.backward, 0);
    ttxt(0, nullptr, "x", &font, 0, 0, 0, 1, 1, 0, 0, nullptr, 0, 0, 0, nullptr, 0);  // no device: nothing
    EXPECT_EQ(textCall.calls, 2);
}

// ---- ttxt: the outline path with a host font ----

/// A font for the outline tests; the tests skip only when the host has no outline font at all.
bool haveFont() {
    vutil::platform::FontRequest request;
    request.height = 64;
    request.faceName = kFace;
    return static_cast<bool>(vutil::platform::Font(request));
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

/// The advance of a character in whole pixels, from FreeType directly, at the font's size.
long freetypeAdvance(vutil::platform::Font &font, char c) {
    FT_Library library;
    FT_Face face;
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_EQ(FT_New_Face(library, font.fileName().c_str(), font.faceIndex(), &face), 0);
    FT_Set_Char_Size(face, std::lround(font.pixelsPerEmX() * 64), std::lround(font.pixelsPerEmY() * 64), 72, 72);
    FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_NO_HINTING);
    const long advance = (face->glyph->advance.x + 32) >> 6;
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return advance;
}

TEST(OutlineText, CallbackDrawsOutlinesAndSpacesAdvance) {
    if (!haveFont()) {
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")";
    }
    draw_device device{};
    device.text = deviceText;
    textCall = {};
    const std::vector<Seg> a = outline("A", nullptr, 0, 0, &device);
    EXPECT_EQ(textCall.calls, 0);  // a callback forces the outline path
    ASSERT_GT(a.size(), 3u);
    EXPECT_TRUE(outline(" ").empty());
    vutil::platform::FontRequest request;
    request.height = 64;
    request.width = 64;
    request.weight = 400;
    request.faceName = kFace;
    vutil::platform::Font font(request);
    expectShifted(a, outline(" A"), static_cast<double>(freetypeAdvance(font, ' ')), 0);
    expectShifted(a, outline("  A"), 2.0 * freetypeAdvance(font, ' '), 0);
}

TEST(OutlineText, MatrixTurnsOutlinesAndAdvance) {
    if (!haveFont()) {
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")";
    }
    const std::vector<Seg> plain = outline("HH");
    const double turn[9] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    const std::vector<Seg> turned = outline("HH", turn);
    ASSERT_EQ(plain.size(), turned.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_EQ(turned[i].a[0], -plain[i].a[1]);
        EXPECT_EQ(turned[i].a[1], plain[i].a[0]);
    }
}

TEST(OutlineText, EscapementTurnsTheFont) {
    if (!haveFont()) {
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")";
    }
    // The font is made with an escapement of 900 tenths: glyphs come turned a quarter, and the horizontal cell
    // increment (the only one used) is 0.
    const std::vector<Seg> plain = outline("L");
    const std::vector<Seg> turned = outline("LL", nullptr, 0, kPi / 2);
    ASSERT_EQ(turned.size(), 2 * plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_NEAR(turned[i].a[0], -plain[i].a[1], 1.0) << i;
        EXPECT_NEAR(turned[i].a[1], plain[i].a[0], 1.0) << i;
        EXPECT_EQ(turned[i + plain.size()], turned[i]);
    }
}

TEST(OutlineText, AscentHeightEnlargesByTheFontsOwnRatio) {
    if (!haveFont()) {
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")";
    }
    vutil::platform::FontRequest request;
    request.height = 64;
    request.width = 64;
    request.weight = 400;
    request.faceName = kFace;
    vutil::platform::Font font(request);
    const vutil::platform::FontMetrics &m = font.metrics();
    const double ratio = static_cast<double>(m.height) / (m.ascent - m.internalLeading - m.externalLeading);
    const std::vector<Seg> plain = outline("E");
    const std::vector<Seg> tall = outline("E", nullptr, TTXT_ASCENTHEIGHT);
    ASSERT_EQ(plain.size(), tall.size());
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_DOUBLE_EQ(tall[i].a[1], plain[i].a[1] * ratio);
    }
}

TEST(OutlineText, GlyphWithoutMemoryIsSkippedWithoutAdvancing) {
    if (!haveFont()) {
        GTEST_SKIP() << "no outline font at all on this host (looked for " << kFace << ")";
    }
    const std::vector<Seg> b = outline("B");
    vutil::platform::setGlobalAllocFailureAfter(0);  // the first glyph's block fails
    const std::vector<Seg> skipped = outline("AB");
    vutil::platform::setGlobalAllocFailureAfter(-1);
    EXPECT_EQ(skipped, b);
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), 0u);
}

}  // namespace
