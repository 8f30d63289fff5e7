// Tests of the stroke font and stroke text: the glyph table, escapes, layout flags, transforms and output routing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "text/stroke_font.h"
#include "vutil/runtime.h"
#include "vutil/text.h"

namespace {

using Segs = std::vector<std::array<double, 6>>;  // x, y, z of both ends
using Strokes = std::vector<std::vector<int>>;

void collect(intptr_t context, draw_device *, const double *a, const double *b, intptr_t) {
    reinterpret_cast<Segs *>(context)->push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
}

struct Layout {
    double x = 0, y = 0, z = 0, height = 12, width = 12, angle = 0, oblique = 0;
    const double *matrix = nullptr;
    int32_t flags = 0;
};

Segs draw(const char *text, const Layout &l = {}, double *end = nullptr) {
    Segs segs;
    txt(reinterpret_cast<intptr_t>(&segs), nullptr, text, l.x, l.y, l.z, l.height, l.width, l.angle, l.oblique,
        l.matrix, l.flags, 0, collect, end);
    return segs;
}

void expectSeg(const std::array<double, 6> &got, std::array<double, 6> want, double tolerance = 1e-12) {
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(got[i], want[i], tolerance) << "coordinate " << i;
    }
}

/// The stroke font as the test data transcribes it: each code's strokes, each stroke a list of (x, y).
const std::map<int, Strokes> &font() {
    static const std::map<int, Strokes> transcribed = [] {
        std::map<int, Strokes> font;
        std::ifstream in(std::string(VUTIL_TEXT_DATA) + "/stroke_font.txt");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            int code, v;
            if (line[0] != '#' && fields >> code) {
                font[code].emplace_back();
                while (fields >> v) {
                    font[code].back().push_back(v);
                }
            }
        }
        return font;
    }();
    return transcribed;
}

class StrokeText : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(init_txt(), 1); }
};

TEST_F(StrokeText, GlyphTableMatchesTheTranscriptionAndDrawsIt) {
    ASSERT_EQ(font().size(), 127u);
    for (int code = 1; code < 256; ++code) {
        const auto it = font().find(code);
        const int8_t *glyph = vutil::text::glyphOf(static_cast<uint8_t>(code));
        const char text[2] = {static_cast<char>(code), 0};
        double end[3];
        const Segs segs = draw(text, {}, end);
        EXPECT_EQ(end[0], 12.0);
        if (it == font().end()) {
            EXPECT_EQ(glyph, nullptr) << code;
            EXPECT_TRUE(segs.empty()) << code;
            continue;
        }
        // Byte for byte: strokes separated by (20, 20), ended by (21, 21).
        std::vector<int8_t> bytes;
        for (const auto &stroke : it->second) {
            if (!bytes.empty()) {
                bytes.insert(bytes.end(), {20, 20});
            }
            bytes.insert(bytes.end(), stroke.begin(), stroke.end());
        }
        bytes.insert(bytes.end(), {21, 21});
        ASSERT_NE(glyph, nullptr) << code;
        EXPECT_EQ(std::vector<int8_t>(glyph, glyph + bytes.size()), bytes) << code;
        const auto definition = vutil::text::glyphDefinition(static_cast<uint8_t>(code));
        EXPECT_EQ(std::vector<int8_t>(definition.begin(), definition.end()), bytes) << code;
        // At height and width 12 a font unit is a drawing unit, up to the scale constant's shortfall from 1/12.
        std::size_t i = 0;
        for (const auto &s : it->second) {
            for (std::size_t p = 0; p + 3 < s.size(); p += 2, ++i) {
                ASSERT_LT(i, segs.size()) << code;
                expectSeg(segs[i], {double(s[p]), double(s[p + 1]), 0, double(s[p + 2]), double(s[p + 3]), 0});
            }
        }
        EXPECT_EQ(segs.size(), i) << code;
    }
    EXPECT_NE(draw("!")[1][4], 12.0);  // 12 * 0.083333333333333 * 12 falls short of 12
}

TEST_F(StrokeText, EscapesDrawTheirCharacters) {
    struct Case {
        const char *escaped;
        const char *plain;  ///< the same drawing without escapes
        double advance;     ///< the end point's x
    };
    const Case cases[] = {
        {"%%d", "\x7f", 12}, {"%%D", "\x7f", 12}, {"%%127", "\x7f", 12}, {"%%p", "\x80", 12},   {"%%P", "\x80", 12},
        {"%%c", "\x81", 12}, {"%%C", "\x81", 12}, {"%%%", "%", 12},      {"%%0651", "A1", 24},  {"%%65B", "AB", 24},
        {"%%x", " ", 12},    {"%%999", " ", 12},  {"%%256", " ", 12},    {"%A", "%A", 24},      {"A%", "A%", 24},
        {"A%%", "A", 12},    {"%%u", "", 0},      {"%%o%%O", "", 0},     {"%%180", "\xb4", 12}, {"%%9", "\x09", 12},
    };
    for (const Case &c : cases) {
        double end[3];
        EXPECT_EQ(draw(c.escaped, {}, end), draw(c.plain)) << c.escaped;
        EXPECT_EQ(end[0], c.advance) << c.escaped;
    }
}

TEST_F(StrokeText, UnderlineOverlineAndVerticalText) {
    const Segs segs = draw("%%uAB%%u C");
    const std::size_t a = draw("A").size();
    ASSERT_EQ(segs.size(), draw("AB C").size() + 2);
    expectSeg(segs[0], {0, 0, 0, 12, 0, 0});  // a character's underline comes before its strokes
    expectSeg(segs[a + 1], {12, 0, 0, 24, 0, 0});
    double end[3];
    const Segs over = draw("%%o-%%O%%U", {0, 0, 0, 10, 6}, end);
    ASSERT_EQ(over.size(), 2u);
    expectSeg(over[0], {0, 10, 0, 6, 10, 0});
    EXPECT_EQ(end[0], 6);
    // Vertical text runs downward with upright glyphs: the width scales their height, the height their width.
    Layout l;
    l.flags = TXT_VERTICAL;
    l.width = 6;
    const Segs vertical = draw("!!", l, end);
    ASSERT_EQ(vertical.size(), 4u);
    expectSeg(vertical[1], {4, 2, 0, 4, 6, 0});
    expectSeg(vertical[3], {4, -10, 0, 4, -6, 0});
    EXPECT_NEAR(end[0], 0, 1e-12);
    EXPECT_NEAR(end[1], -24, 1e-12);
}

// Every segment of a string against the layout written as plain formulas: glyph units scaled by width and height,
// a cell per character, then slant, rotation and matrix about the insertion point; both mirrors together are a
// half turn about it (their lines cross at right angles there). The end point ignores matrix and mirrors.
TEST_F(StrokeText, TransformsComposeInOrder) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double m[9] = {1.5, 0.25, 0, -0.5, 0.75, 0, 0.125, 0.5, 1};
    const Layout layouts[] = {
        {3, -4, 2, 9, 5, 0.7, 0.3, m, TXT_BACKWARD | TXT_UPSIDEDOWN},
        {-1, 6, 0, 3, 7, -2.5, -0.2, nullptr, 0x1000},  // other bits are ignored
        {5, 6, 7, 12, 12, 0, 0, identity, 0},
        {0, 0, 0, 12, 12, 1.5707963267948966, 0, nullptr, 0},
    };
    for (const Layout &l : layouts) {
        SCOPED_TRACE(l.angle);
        const double c = KOR_Cos(l.angle), s = KOR_Sin(l.angle), mirror = l.flags & TXT_BACKWARD ? -1 : 1;
        auto place = [&](int cell, int gx, int gy) {
            double x = cell * l.width + gx * l.width * 0.083333333333333, y = gy * l.height * 0.083333333333333;
            x += std::tan(l.oblique) * y;
            const double rx = x * c - y * s, ry = x * s + y * c;
            const double *t = l.matrix ? l.matrix : identity;
            return std::array<double, 3>{l.x + mirror * (t[0] * rx + t[1] * ry),
                                         l.y + mirror * (t[3] * rx + t[4] * ry), l.z + t[6] * rx + t[7] * ry};
        };
        Segs expected;
        const char *text = "AH!";
        for (int cell = 0; cell < 3; ++cell) {
            for (const auto &stroke : font().at(text[cell])) {
                for (std::size_t p = 0; p + 3 < stroke.size(); p += 2) {
                    const auto a = place(cell, stroke[p], stroke[p + 1]), b = place(cell, stroke[p + 2], stroke[p + 3]);
                    expected.push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
                }
            }
        }
        double end[3];
        const Segs segs = draw(text, l, end);
        ASSERT_EQ(segs.size(), expected.size());
        for (std::size_t i = 0; i < segs.size(); ++i) {
            expectSeg(segs[i], expected[i], 1e-9);
        }
        EXPECT_NEAR(end[0], l.x + 3 * l.width * c, 1e-9);
        EXPECT_NEAR(end[1], l.y + 3 * l.width * s, 1e-9);
        EXPECT_EQ(end[2], l.z);
    }
    // Each mirror alone: across the upright through the insertion point, or across the baseline.
    Layout l{100, 50, 0, 12, 12, 0, 0, nullptr, TXT_BACKWARD};
    for (const auto &[flags, sx, sy] : {std::tuple{TXT_BACKWARD, -1, 1}, std::tuple{TXT_UPSIDEDOWN, 1, -1}}) {
        l.flags = flags;
        const Segs plain = draw("A", {100, 50}), mirrored = draw("A", l);
        ASSERT_EQ(plain.size(), mirrored.size());
        for (std::size_t i = 0; i < plain.size(); ++i) {
            expectSeg(mirrored[i], {100 + sx * (plain[i][0] - 100), 50 + sy * (plain[i][1] - 50), 0,
                                    100 + sx * (plain[i][3] - 100), 50 + sy * (plain[i][4] - 50), 0});
        }
    }
}

/// Records of the device's line operation and of the callback.
struct Calls {
    int lines = 0, callbacks = 0;
    intptr_t context = 0, user = 0;
    draw_device *device = nullptr;
} calls;
void deviceLine(intptr_t context, const double *, const double *, intptr_t user) {
    ++calls.lines;
    calls.context = context;
    calls.user = user;
}
void callback(intptr_t, draw_device *device, const double *, const double *, intptr_t) {
    ++calls.callbacks;
    calls.device = device;
}

TEST_F(StrokeText, OutputGoesToTheCallbackElseTheDeviceLine) {
    draw_device device{};
    device.line = deviceLine;
    calls = {};
    double end[3];
    txt(11, &device, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, nullptr, end);
    EXPECT_EQ(calls.lines, 2);
    EXPECT_EQ(calls.context, 11);
    EXPECT_EQ(calls.user, 22);
    txt(11, &device, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, callback, end);
    EXPECT_EQ(calls.lines, 2);
    EXPECT_EQ(calls.callbacks, 2);
    EXPECT_EQ(calls.device, &device);
    // Nowhere to draw: the layout still runs and fills the end point. A null text is empty.
    txt(0, nullptr, "!!!", 1, 2, 3, 12, 4, 0, 0, nullptr, 0, 0, nullptr, end);
    EXPECT_EQ(end[0], 13);
    draw_device noLine{};
    txt(0, &noLine, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 0, nullptr, nullptr);
    txt(0, nullptr, nullptr, 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 0, callback, end);
    EXPECT_EQ(end[0], 0);
}

TEST(StrokeTextBeforeInit, DrawsRulesButNoGlyphsAndAdvances) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, in which init_txt has not run
    EXPECT_EXIT(
        {
            double end[3];
            const Segs segs = draw("%%uA", {}, end);
            std::exit(segs.size() == 1 && end[0] == 12 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
