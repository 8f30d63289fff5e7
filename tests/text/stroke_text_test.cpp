// Tests of the stroke font and stroke text: random strings in random layouts against a plain model of the layout,
// built from a transcription of the font.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>

#include "support/facts.h"
#include "tests/text/segments.h"
#include "vutil/runtime.h"

namespace {

using vutil::test::Segs;
using Strokes = std::vector<std::vector<int>>;

struct Layout {
    double x = 0, y = 0, z = 0, height = 12, width = 12, angle = 0, oblique = 0;
    const double *matrix = nullptr;
    int32_t flags = 0;
};

Segs draw(const std::string &text, const Layout &l = {}, double *end = nullptr) {
    Segs segs;
    txt(reinterpret_cast<intptr_t>(&segs), nullptr, text.c_str(), l.x, l.y, l.z, l.height, l.width, l.angle, l.oblique,
        l.matrix, l.flags, 0, vutil::test::collect, end);
    return segs;
}

/// The stroke font as the test data transcribes it: each code's strokes, each stroke a list of x y pairs.
const Strokes &strokes(int code) {
    static const std::map<int, Strokes> font = [] {
        std::map<int, Strokes> font;
        std::ifstream in(std::string(VUTIL_TEXT_DATA) + "/stroke_font.txt");
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            int v;
            if (line[0] != '#' && fields >> v)
                font[v].emplace_back(std::istream_iterator<int>(fields), std::istream_iterator<int>());
        }
        return font;
    }();
    static const Strokes none;
    EXPECT_EQ(font.size(), 127u);
    return font.count(code) ? font.at(code) : none;
}

/// One character cell: the code it selects (past 255, or without a glyph, it draws nothing) and its rules.
struct Cell {
    int code;
    bool over, under;
};

/// The model: a glyph unit is a twelfth of the width across and of the height up (vertical text: glyphs stand
/// upright in cells stacked downward by the height, the width scaling their height); each cell's overline, then
/// underline, then strokes; then slant, turn and matrix about the insertion point, and the mirrors, across the
/// upright and the baseline through it (square cells, or both mirrors: a half turn).
Segs model(const std::vector<Cell> &cells, const Layout &l, double end[3]) {
    const bool vertical = l.flags & TXT_VERTICAL, backward = l.flags & TXT_BACKWARD,
               upsideDown = l.flags & TXT_UPSIDEDOWN;
    const double turn = vertical ? l.angle - std::acos(0.0) : l.angle, c = KOR_Cos(turn), s = KOR_Sin(turn);
    const double step = vertical ? l.height : l.width, identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    const double *m = l.matrix ? l.matrix : identity;
    auto place = [&](double u, double v) {  // along and across the baseline from the insertion point
        u += std::tan(l.oblique) * v;
        const double rx = u * c - v * s, ry = u * s + v * c;
        double p[2] = {m[0] * rx + m[1] * ry, m[3] * rx + m[4] * ry};
        for (auto [on, dx, dy] : {std::tuple{backward, -s, c}, std::tuple{upsideDown, c, s}}) {
            const double twice = on ? 2 * (p[0] * dx + p[1] * dy) : 0;
            if (on) p[0] = twice * dx - p[0], p[1] = twice * dy - p[1];
        }
        return std::array<double, 3>{l.x + p[0], l.y + p[1], l.z + m[6] * rx + m[7] * ry};
    };
    Segs segs;
    auto add = [&](std::array<double, 3> a, std::array<double, 3> b) {
        segs.push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
    };
    for (std::size_t n = 0; n < cells.size(); ++n) {
        const double u = static_cast<double>(n) * step;
        if (cells[n].over) add(place(u, l.height), place(u + l.width, l.height));
        if (cells[n].under) add(place(u, 0), place(u + l.width, 0));
        auto at = [&](int gx, int gy) {
            return vertical ? place(u - gy * l.width / 12, gx * l.height / 12)
                            : place(u + gx * l.width / 12, gy * l.height / 12);
        };
        for (const auto &k : strokes(cells[n].code))
            for (std::size_t p = 0; p + 3 < k.size(); p += 2) add(at(k[p], k[p + 1]), at(k[p + 2], k[p + 3]));
    }
    const double length = static_cast<double>(cells.size()) * step;
    end[0] = l.x + length * c, end[1] = l.y + length * s, end[2] = l.z;
    return segs;
}

// Strings spelt with every kind of escape (the first: every code once), in random layouts: each segment and the end
// point as modelled.
TEST(StrokeText, StringsFollowTheModel) {
    ASSERT_EQ(init_txt(), 1);
    std::mt19937 random(5);
    auto uniform = [&](double low, double high) { return low + (high - low) * (random() % 10001) / 10000.0; };
    constexpr int32_t V = TXT_VERTICAL, B = TXT_BACKWARD, U = TXT_UPSIDEDOWN,
                      flags[] = {0, V, B, U, B | U | 64, V | B | U};
    for (int round = 0; round < 300; ++round) {
        std::vector<Cell> cells(round == 0 ? 255 : random() % 12);
        std::string text;
        bool over = false, under = false;
        for (Cell &cell : cells) {
            cell = {static_cast<int>(random() % (round % 3 ? 256 : 1000)), random() % 4 == 0, random() % 3 == 0};
            if (round == 0) cell = {static_cast<int>(&cell - &cells[0]) + 1, false, false};
            if (cell.over != over) text += random() % 2 ? "%%o" : "%%O", over = cell.over;
            if (cell.under != under) text += random() % 2 ? "%%u" : "%%U", under = cell.under;
            const char *named[] = {"%%d", "%%D", "%%p", "%%P", "%%c", "%%C", "%%%"};
            const int which = cell.code >= 127 && cell.code <= 129 ? (cell.code - 127) * 2 + random() % 2 : 6;
            if (cell.code == 0 || cell.code > 255 || random() % 3 == 0) {
                text += "%%" + std::to_string(1000 + cell.code).substr(1);  // three digits
            } else {
                text +=
                    cell.code == '%' || (which < 6 && random() % 2) ? named[which] : std::string(1, char(cell.code));
            }
        }
        const double matrix[9] = {uniform(-2, 2), uniform(-2, 2), 0, uniform(-2, 2), uniform(-2, 2), 0,
                                  uniform(-1, 1), uniform(-1, 1), 1};
        Layout l{uniform(-50, 50), uniform(-50, 50), uniform(-5, 5), uniform(0.5, 20), uniform(0.5, 20)};
        l.angle = round % 4 ? uniform(-7, 7) : 0, l.oblique = round % 2 ? uniform(-0.6, 0.6) : 0;
        l.matrix = round % 3 ? matrix : nullptr, l.flags = flags[round % 6];
        l.width = l.flags == B || l.flags == U ? l.height : l.width;  // one mirror: square cells
        SCOPED_TRACE(text + " round " + std::to_string(round));
        double end[3], expectedEnd[3];
        vutil::test::expectNear(draw(text, l, end), model(cells, l, expectedEnd));
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(end[k], expectedEnd[k], 1e-9);
    }
}

// The escapes the model strings do not spell: unknown selectors, short numbers, a lone or closing "%".
TEST(StrokeText, OddEscapes) {
    ASSERT_EQ(init_txt(), 1);
    const std::tuple<const char *, const char *, double> cases[] = {
        {"%%x", " ", 12}, {"%%0651", "A1", 24}, {"%%65B", "AB", 24}, {"%%9", "\x09", 12},
        {"%A", "%A", 24}, {"A%", "A%", 24},     {"A%%", "A", 12},    {"%%u%%o", "", 0}};
    for (const auto &[escaped, plain, advance] : cases) {
        double end[3];
        EXPECT_TRUE(draw(escaped, {}, end) == draw(plain) && end[0] == advance) << escaped;
    }
}

std::vector<intptr_t> calls;  // what the device's line operation and the callback were handed

// The callback gets the segments, else the device's line operation; with neither, the end point is still set.
TEST(StrokeText, OutputGoesToTheCallbackElseTheDeviceLine) {
    ASSERT_EQ(init_txt(), 1);
    calls.clear();
    draw_device device{}, noLine{};
    device.line = [](intptr_t context, const double *, const double *, intptr_t user) {
        calls.insert(calls.end(), {1, context, user});
    };
    auto callback = [](intptr_t context, draw_device *d, const double *, const double *, intptr_t user) {
        calls.insert(calls.end(), {2, context, user, reinterpret_cast<intptr_t>(d)});
    };
    double end[3];
    txt(11, &device, "-", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, nullptr, end);
    txt(11, &device, "-", 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 22, callback, end);
    EXPECT_EQ(calls, (std::vector<intptr_t>{1, 11, 22, 2, 11, 22, reinterpret_cast<intptr_t>(&device)}));
    txt(0, &noLine, "!!!", 1, 2, 3, 12, 4, 0, 0, nullptr, 0, 0, nullptr, end);
    EXPECT_EQ(end[0], 13);
    txt(0, nullptr, nullptr, 0, 0, 0, 12, 12, 0, 0, nullptr, 0, 0, callback, end);
    vutil::test::expectFacts({FACT(end[0], 0), FACT(calls.size(), 7)});
}

TEST(StrokeTextBeforeInit, DrawsRulesButNoGlyphsAndAdvances) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process, in which init_txt has not run
    EXPECT_EXIT(
        {
            double end[3];
            std::exit(draw("%%uA", {}, end).size() == 1 && end[0] == 12 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
