// Tests of the stroke font and stroke text: the glyph table, escapes, layout flags, transforms and output routing.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "text/stroke_font.h"
#include "vutil/runtime.h"
#include "vutil/text.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTolerance = 1e-12;

struct Seg {
    double a[3], b[3];
};

struct Drawn {
    std::vector<Seg> segs;
    double end[3] = {NAN, NAN, NAN};
};

void collect(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    auto *segs = reinterpret_cast<std::vector<Seg> *>(context);
    segs->push_back({{first[0], first[1], first[2]}, {second[0], second[1], second[2]}});
}

struct Layout {
    double x = 0, y = 0, z = 0, height = 12, width = 12, angle = 0, oblique = 0;
    const double *matrix = nullptr;
    int32_t flags = 0;
};

Drawn draw(const char *text, const Layout &l = {}) {
    Drawn d;
    txt(reinterpret_cast<intptr_t>(&d.segs), nullptr, text, l.x, l.y, l.z, l.height, l.width, l.angle, l.oblique,
        l.matrix, l.flags, 0, collect, d.end);
    return d;
}

void expectNear(const double *got, double x, double y, double z, const char *what) {
    EXPECT_NEAR(got[0], x, kTolerance) << what;
    EXPECT_NEAR(got[1], y, kTolerance) << what;
    EXPECT_NEAR(got[2], z, kTolerance) << what;
}

/// The stroke font as the test data transcribes it: each code's strokes, each stroke a list of (x, y).
using Strokes = std::vector<std::vector<std::pair<int, int>>>;
std::map<int, Strokes> transcribedFont() {
    std::map<int, Strokes> font;
    std::ifstream in(std::string(VUTIL_TEXT_DATA) + "/stroke_font.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        int code, x, y;
        fields >> code;
        std::vector<std::pair<int, int>> stroke;
        while (fields >> x >> y) {
            stroke.emplace_back(x, y);
        }
        font[code].push_back(stroke);
    }
    return font;
}

class StrokeText : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(init_txt(), 1); }
};

TEST_F(StrokeText, GlyphTableMatchesTheTranscriptionByteForByte) {
    const std::map<int, Strokes> font = transcribedFont();
    ASSERT_EQ(font.size(), 127u);
    for (int code = 0; code < 256; ++code) {
        const auto it = font.find(code);
        const int8_t *glyph = vutil::text::glyphOf(static_cast<uint8_t>(code));
        if (it == font.end()) {
            EXPECT_EQ(glyph, nullptr) << code;
            EXPECT_TRUE(vutil::text::glyphDefinition(static_cast<uint8_t>(code)).empty()) << code;
            continue;
        }
        std::vector<int8_t> expected;
        for (std::size_t s = 0; s < it->second.size(); ++s) {
            if (s > 0) {
                expected.insert(expected.end(), {20, 20});
            }
            for (auto [x, y] : it->second[s]) {
                expected.insert(expected.end(), {static_cast<int8_t>(x), static_cast<int8_t>(y)});
            }
        }
        expected.insert(expected.end(), {21, 21});
        ASSERT_NE(glyph, nullptr) << code;
        EXPECT_EQ(std::vector<int8_t>(glyph, glyph + expected.size()), expected) << code;
        const auto definition = vutil::text::glyphDefinition(static_cast<uint8_t>(code));
        EXPECT_EQ(std::vector<int8_t>(definition.begin(), definition.end()), expected) << code;
    }
}

TEST_F(StrokeText, EveryGlyphDrawsItsStrokesAsSegments) {
    // At height and width 12 a font unit is a drawing unit, up to the scale constant's shortfall from 1/12.
    for (const auto &[code, strokes] : transcribedFont()) {
        const char text[2] = {static_cast<char>(code), 0};
        const Drawn d = draw(text);
        std::size_t i = 0;
        for (const auto &stroke : strokes) {
            for (std::size_t p = 0; p + 1 < stroke.size(); ++p, ++i) {
                ASSERT_LT(i, d.segs.size()) << code;
                expectNear(d.segs[i].a, stroke[p].first, stroke[p].second, 0, text);
                expectNear(d.segs[i].b, stroke[p + 1].first, stroke[p + 1].second, 0, text);
            }
        }
        EXPECT_EQ(d.segs.size(), i) << code;
        EXPECT_EQ(d.end[0], 12.0);
    }
}

TEST_F(StrokeText, ExclamationMarkAtTheOrigin) {
    const Drawn d = draw("!");
    ASSERT_EQ(d.segs.size(), 2u);
    expectNear(d.segs[0].a, 4, 0, 0, "first");
    expectNear(d.segs[0].b, 4, 2, 0, "first");
    expectNear(d.segs[1].a, 4, 4, 0, "second");
    expectNear(d.segs[1].b, 4, 12, 0, "second");
    EXPECT_NE(d.segs[1].b[1], 12.0);  // 12 * 0.083333333333333 * 12 falls short of 12
    EXPECT_EQ(d.end[0], 12.0);
    EXPECT_EQ(d.end[1], 0.0);
    EXPECT_EQ(d.end[2], 0.0);
}

TEST_F(StrokeText, SpacesAdvanceAlongTheBaseline) {
    Layout l;
    l.x = 3;
    l.y = -2;
    l.z = 5;
    l.width = 7;
    l.angle = 0.5;
    const Drawn d = draw("    ", l);
    EXPECT_TRUE(d.segs.empty());
    EXPECT_DOUBLE_EQ(d.end[0], 3 + 28 * KOR_Cos(0.5));
    EXPECT_DOUBLE_EQ(d.end[1], -2 + 28 * KOR_Sin(0.5));
    EXPECT_EQ(d.end[2], 5);
}

/// The segments of a text, for comparing escapes with the characters they stand for.
std::vector<std::vector<double>> flat(const Drawn &d) {
    std::vector<std::vector<double>> out;
    for (const Seg &s : d.segs) {
        out.push_back({s.a[0], s.a[1], s.a[2], s.b[0], s.b[1], s.b[2]});
    }
    return out;
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
        {"A%%", "A", 12},    {"%%u", "", 0},      {"%%o%%o", "", 0},     {"%%180", "\xb4", 12}, {"%%9", "\x09", 12},
    };
    for (const Case &c : cases) {
        const Drawn escaped = draw(c.escaped);
        EXPECT_EQ(flat(escaped), flat(draw(c.plain))) << c.escaped;
        EXPECT_EQ(escaped.end[0], c.advance) << c.escaped;
    }
}

TEST_F(StrokeText, UnderlineAndOverlineSpanEachCharacterCell) {
    const Drawn d = draw("%%uAB%%u C");
    const std::size_t glyphs = draw("AB C").segs.size();
    ASSERT_EQ(d.segs.size(), glyphs + 2);
    // The underline of a character comes before its strokes.
    expectNear(d.segs[0].a, 0, 0, 0, "under A");
    expectNear(d.segs[0].b, 12, 0, 0, "under A");
    const std::size_t a = draw("A").segs.size();
    expectNear(d.segs[a + 1].a, 12, 0, 0, "under B");
    expectNear(d.segs[a + 1].b, 24, 0, 0, "under B");

    Layout l;
    l.height = 10;
    l.width = 6;
    const Drawn over = draw("%%o-%%o%%u", l);
    ASSERT_EQ(over.segs.size(), 2u);
    expectNear(over.segs[0].a, 0, 10, 0, "over");
    expectNear(over.segs[0].b, 6, 10, 0, "over");
    EXPECT_EQ(over.end[0], 6);
}

TEST_F(StrokeText, VerticalTextRunsDownward) {
    Layout l;
    l.flags = TXT_VERTICAL;
    const Drawn one = draw("!", l);
    const Drawn two = draw("!!", l);
    ASSERT_EQ(two.segs.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        // Upright glyphs: the first "!" keeps its shape; the second lies 12 units lower.
        expectNear(one.segs[i].a, 4, i == 0 ? 0 : 4, 0, "upright");
        EXPECT_NEAR(two.segs[i + 2].a[0], two.segs[i].a[0], 1e-12);
        EXPECT_NEAR(two.segs[i + 2].a[1], two.segs[i].a[1] - 12, 1e-12);
    }
    EXPECT_NEAR(two.end[0], 0, 1e-12);
    EXPECT_NEAR(two.end[1], -24, 1e-12);
    // The height, not the width, steps from character to character.
    l.width = 5;
    EXPECT_NEAR(draw("!!", l).end[1], -24, 1e-12);
}

/// Smallest and largest x and y over a drawing.
std::array<double, 4> extent(const Drawn &d) {
    std::array<double, 4> e{INFINITY, INFINITY, -INFINITY, -INFINITY};
    for (const Seg &s : d.segs) {
        for (const double *p : {s.a, s.b}) {
            e = {std::min(e[0], p[0]), std::min(e[1], p[1]), std::max(e[2], p[0]), std::max(e[3], p[1])};
        }
    }
    return e;
}

TEST_F(StrokeText, BackwardAndUpsideDownMirrorAboutTheInsertionPoint) {
    Layout l;
    l.flags = TXT_BACKWARD;
    auto e = extent(draw("A", l));
    EXPECT_NEAR(e[0], -8, 1e-12);
    EXPECT_NEAR(e[2], 0, 1e-12);
    EXPECT_NEAR(e[1], 0, 1e-12);
    EXPECT_NEAR(e[3], 12, 1e-12);
    l.flags = TXT_UPSIDEDOWN;
    e = extent(draw("A", l));
    EXPECT_NEAR(e[0], 0, 1e-12);
    EXPECT_NEAR(e[2], 8, 1e-12);
    EXPECT_NEAR(e[1], -12, 1e-12);
    EXPECT_NEAR(e[3], 0, 1e-12);
    l.flags = TXT_BACKWARD | TXT_UPSIDEDOWN | 0x1000;  // other bits are ignored
    l.x = 100;
    l.y = 50;
    e = extent(draw("A", l));
    EXPECT_NEAR(e[0], 92, 1e-12);
    EXPECT_NEAR(e[3], 50, 1e-12);
    // The end point does not mirror.
    EXPECT_EQ(draw("AB", l).end[0], 124);
}

TEST_F(StrokeText, ObliquingShiftsByTheHeightAboveTheBaseline) {
    Layout l;
    l.oblique = kPi / 4;
    const Drawn d = draw("A", l);
    ASSERT_EQ(d.segs.size(), 5u);
    expectNear(d.segs[0].a, 0, 0, 0, "foot");   // baseline points stay
    EXPECT_NEAR(d.segs[1].b[0], 4 + 12, 1e-9);  // apex (4, 12)
    EXPECT_NEAR(d.segs[1].b[1], 12, 1e-12);
    EXPECT_NEAR(d.segs[4].a[0], 4, 1e-9);  // bar at height 4
    EXPECT_EQ(d.end[0], 12);
}

TEST_F(StrokeText, RotationTurnsAboutTheInsertionPoint) {
    Layout l;
    l.x = 10;
    l.y = 20;
    l.angle = kPi / 2;
    const Drawn d = draw("!", l);
    ASSERT_EQ(d.segs.size(), 2u);
    // (4, 0) and (4, 12) from the insertion point, turned a quarter: (0, 4) and (-12, 4).
    EXPECT_NEAR(d.segs[0].a[0], 10, 1e-9);
    EXPECT_NEAR(d.segs[0].a[1], 24, 1e-9);
    EXPECT_NEAR(d.segs[1].b[0], -2, 1e-9);
    EXPECT_NEAR(d.segs[1].b[1], 24, 1e-9);
    EXPECT_NEAR(d.end[0], 10, 1e-9);
    EXPECT_NEAR(d.end[1], 32, 1e-9);
}

TEST_F(StrokeText, MatrixAppliesAboutTheInsertionPoint) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double swapYZ[9] = {1, 0, 0, 0, 0, 1, 0, 1, 0};
    Layout l;
    l.x = 5;
    l.y = 6;
    l.z = 7;
    const Drawn plain = draw("Az", l);
    l.matrix = identity;
    EXPECT_EQ(flat(draw("Az", l)), flat(plain));
    l.matrix = swapYZ;
    const Drawn upright = draw("Az", l);
    ASSERT_EQ(upright.segs.size(), plain.segs.size());
    for (std::size_t i = 0; i < plain.segs.size(); ++i) {
        EXPECT_EQ(upright.segs[i].a[0], plain.segs[i].a[0]);
        EXPECT_EQ(upright.segs[i].a[1], 6);
        EXPECT_DOUBLE_EQ(upright.segs[i].a[2], 7 + (plain.segs[i].a[1] - 6));
    }
    EXPECT_EQ(upright.end[0], plain.end[0]);  // the end point ignores the matrix
    EXPECT_EQ(upright.end[1], 6);
}

TEST_F(StrokeText, TransformsComposeInOrder) {
    // Slant, then rotation, then matrix, then mirrors; checked against the same steps written as plain formulas.
    const double m[9] = {1.5, 0.25, 0, -0.5, 0.75, 0, 0.125, 0.5, 1};
    Layout l;
    l.x = 3;
    l.y = -4;
    l.z = 2;
    l.height = 9;
    l.width = 5;
    l.angle = 0.7;
    l.oblique = 0.3;
    l.matrix = m;
    l.flags = TXT_BACKWARD | TXT_UPSIDEDOWN;
    const Drawn plain = draw("H");  // H: (0, 0) to (0, 12), then (0, 6) to (8, 6), then (8, 12) to (8, 0)
    const Drawn d = draw("H", l);
    ASSERT_EQ(d.segs.size(), plain.segs.size());
    const double c = KOR_Cos(0.7), s = KOR_Sin(0.7);
    auto place = [&](double gx, double gy) {
        double X = l.x + gx * 5 * 0.083333333333333, Y = l.y + gy * 9 * 0.083333333333333;
        X += std::tan(0.3) * (Y - l.y);
        const double rx = (X - l.x) * c - (Y - l.y) * s, ry = (X - l.x) * s + (Y - l.y) * c;
        const double px = l.x + m[0] * rx + m[1] * ry, py = l.y + m[3] * rx + m[4] * ry;
        const double pz = l.z + m[6] * rx + m[7] * ry;
        // Both mirror lines pass through the insertion point and are perpendicular: together a half turn in x and y.
        return std::array<double, 3>{2 * l.x - px, 2 * l.y - py, pz};
    };
    for (const auto &[seg, gx, gy] :
         {std::tuple{0, 0, 0}, std::tuple{0, 0, 12}, std::tuple{1, 0, 6}, std::tuple{1, 8, 6}}) {
        const auto expected = place(gx, gy);
        const double *got = gy == 12 || gx == 8 ? d.segs[seg].b : d.segs[seg].a;
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(got[i], expected[i], 1e-9) << gx << "," << gy;
        }
    }
}

/// A device record whose line operation counts and records its calls.
struct LineLog {
    int calls = 0;
    intptr_t context = 0, user = 0;
};
LineLog lineLog;
void deviceLine(intptr_t context, const double *, const double *, intptr_t user) {
    ++lineLog.calls;
    lineLog.context = context;
    lineLog.user = user;
}
struct CallbackLog {
    int calls = 0;
    draw_device *device = nullptr;
};
CallbackLog callbackLog;
void countingCallback(intptr_t, draw_device *device, const double *, const double *, intptr_t) {
    ++callbackLog.calls;
    callbackLog.device = device;
}

TEST_F(StrokeText, OutputGoesToTheCallbackElseTheDeviceLine) {
    draw_device device{};
    device.line = deviceLine;
    lineLog = {};
    callbackLog = {};
    double end[3];
    txt(11, &device, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, nullptr, end);
    EXPECT_EQ(lineLog.calls, 2);
    EXPECT_EQ(lineLog.context, 11);
    EXPECT_EQ(lineLog.user, 22);
    txt(11, &device, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, countingCallback, end);
    EXPECT_EQ(lineLog.calls, 2);
    EXPECT_EQ(callbackLog.calls, 2);
    EXPECT_EQ(callbackLog.device, &device);
    // Nowhere to draw: the layout still runs and fills the end point.
    txt(0, nullptr, "!!!", 1, 2, 3, 12, 4, 0, 0, nullptr, 0, 0, nullptr, end);
    EXPECT_EQ(end[0], 13);
    draw_device noLine{};
    txt(0, &noLine, "!", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 0, nullptr, nullptr);
    txt(0, nullptr, nullptr, 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 0, countingCallback, end);  // null text: empty
    EXPECT_EQ(end[0], 0);
}

TEST(StrokeTextBeforeInit, DrawsNothingButAdvances) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, in which init_txt has not run
    EXPECT_EXIT(
        {
            const Drawn d = draw("%%uA");
            std::exit(d.segs.size() == 1 && d.end[0] == 12 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
