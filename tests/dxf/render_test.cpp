// Drawing DXF entities: where their ink lands on the page, in which colour, and what
// hostile drawings do.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "dxf_test_util.h"
#include "vutil/raster.h"

namespace vutil::dxf::test {
namespace {

/// PREFIX and the number: a name built by appending, which g++ 12 at -O3 does not take for overlapping copies.
std::string numbered(const char *prefix, int number) {
    std::string name(prefix);
    name += std::to_string(number);
    return name;
}

constexpr double kPi = 3.141592653589793;

struct Box {
    double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
};

Box boxOf(const std::vector<tool::PagePoint> &points) {
    Box b;
    for (const auto &p : points) {
        b.x0 = std::min(b.x0, p.x), b.y0 = std::min(b.y0, p.y);
        b.x1 = std::max(b.x1, p.x), b.y1 = std::max(b.y1, p.y);
    }
    return b;
}

std::string n(double v) {
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

Pairs circle(double x, double y, double r) {
    return {{0, "CIRCLE"}, {10, n(x)}, {20, n(y)}, {40, n(r)}};
}

Pairs arc(double x, double y, double r, double a0, double a1) {
    return {{0, "ARC"}, {10, n(x)}, {20, n(y)}, {40, n(r)}, {50, n(a0)}, {51, n(a1)}};
}

Pairs insert(const std::string &name, double x, double y, double sx = 1, double sy = 1, double angle = 0,
             int colour = 256, const std::string &layer = "0") {
    return {{0, "INSERT"}, {8, layer}, {62, std::to_string(colour)}, {2, name}, {10, n(x)}, {20, n(y)},
            {41, n(sx)},   {42, n(sy)}, {50, n(angle)}};
}

/// A hatch boundary's line edges around a square, anticlockwise.
Pairs squareEdges(double x, double y, double side) {
    const double c[5][2] = {{x, y}, {x + side, y}, {x + side, y + side}, {x, y + side}, {x, y}};
    Pairs out;
    for (int k = 0; k < 4; ++k) {
        out = out + Pairs{{72, "1"}, {10, n(c[k][0])}, {20, n(c[k][1])}, {11, n(c[k + 1][0])}, {21, n(c[k + 1][1])}};
    }
    return out;
}

TEST(DxfRender, ExtentsAreThoseOfTheCurvesThemselvesWithTheMargin) {
    // A line and a circle inside its box: 100 x 50 units and 2% of each on every side. An arc over the top: out
    // to cos 30 degrees either side, up to its radius. A circle of radius 1 stretched 3 x 1 and turned 30 degrees
    // by its reference: an ellipse whose half extents are hypot(3 cos a, sin a) across and hypot(3 sin a, cos a)
    // up. Half an ellipse, its major axis up: (0,0) to (0,8), minor half 4, the upper half drawn. A circle seen
    // from below (extrusion 0,0,-1): its centre mirrored in x.
    const double c30 = 10 * std::cos(kPi / 6), ca = std::cos(kPi / 6), sa = std::sin(kPi / 6);
    const double hx = std::hypot(3 * ca, sa), hy = std::hypot(3 * sa, ca);
    const Pairs ellipse = {{0, "ELLIPSE"}, {10, "0"}, {20, "0"}, {11, "0"}, {21, "8"}, {40, "0.5"},
                           {41, n(-kPi / 2)}, {42, n(kPi / 2)}};
    struct Case {
        std::string dxf;
        double margin;
        std::array<double, 4> extents;
    };
    const Case cases[] = {
        {drawing(line(10, 20, 110, 70) + circle(60, 45, 5)), 0.02, {8, 19, 112, 71}},
        {drawing(arc(0, 0, 10, 30, 150)), 0, {-c30, 5, c30, 10}},
        {drawing(insert("C", 0, 0, 3, 1, 30), {}, block("C", circle(0, 0, 1))), 0, {-hx, -hy, hx, hy}},
        {drawing(ellipse), 0, {-4, 0, 4, 8}},
        {drawing(circle(5, 2, 1) + Pairs{{230, "-1"}}), 0, {-6, 1, -4, 3}},
    };
    RenderOptions o;
    o.width = 400, o.height = 200;
    for (const Case &c : cases) {
        o.margin = c.margin;
        const Drawn d = draw(c.dxf, o);
        ASSERT_TRUE(d.ok);
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_NEAR(d.result.extents[i], c.extents[i], 1e-12) << c.dxf << i;
        }
    }
    // The first case's box fills the page's width (104 units on 400 pixels); y runs down the page, so the line
    // from the lower left to the upper right starts at the bottom.
    o.margin = 0.02;
    const Drawn d = draw(cases[0].dxf, o);
    const Box b = boxOf(d.points());
    EXPECT_NEAR(b.x0, 2 * 400.0 / 104, 0.01);
    EXPECT_NEAR(b.x1, 400 - 2 * 400.0 / 104, 0.01);
    EXPECT_NEAR(b.y1 - b.y0, 50 * 400.0 / 104, 0.01);
    EXPECT_NEAR((b.y0 + b.y1) / 2, 100, 0.01);
    EXPECT_NEAR(d.picture.paths[0].pieces[0][0].y, b.y1, 1e-6);
}

TEST(DxfRender, ArcsBulgesAndEllipsesRunAnticlockwiseOnTheirCurves) {
    // About (50,50) on a page of one pixel a unit: arcs of radius 40 through zero and beyond a full turn; a half
    // circle by a bulge of 1 from (10,50) to (90,50), below the chord when walking left to right anticlockwise, the
    // polyline open; the left half of an ellipse of axes 40 and 20 turned by 90 degrees (parameters 0 to pi). Each
    // one's points lie on its curve (x = rx cos a, y = ry sin a), near the point at a = middle and away from that
    // at a = outside (degrees), and its ink is as long as the curve: pi (3 (rx + ry) - sqrt((3 rx + ry) (rx + 3 ry)))
    // around a whole ellipse.
    const double ellipse = kPi * (3 * (20 + 40) - std::sqrt((3 * 20 + 40) * (20 + 3 * 40)));
    struct Case {
        Pairs entity;
        double rx, ry, middle, outside, length;
    };
    const Case cases[] = {
        {arc(50, 50, 40, 350, 10), 40, 40, 0, 180, 40 * kPi / 9},
        {arc(50, 50, 40, 10, 350), 40, 40, 180, 0, 40 * kPi * 340 / 180},
        {arc(50, 50, 40, 90, 180 + 720), 40, 40, 135, 270, 40 * kPi / 2},
        {arc(50, 50, 40, -90, 0), 40, 40, 315, 90, 40 * kPi / 2},
        {arc(50, 50, 40, 45, 45 + 360 * 3), 40, 40, 225, NAN, 80 * kPi},
        {{{0, "LWPOLYLINE"}, {90, "2"}, {70, "0"}, {10, "10"}, {20, "50"}, {42, "1"}, {10, "90"}, {20, "50"}}, 40, 40,
         270, 90, 40 * kPi},
        {{{0, "ELLIPSE"}, {10, "50"}, {20, "50"}, {11, "0"}, {21, "40"}, {40, "0.5"}, {41, "0"}, {42, n(kPi)}}, 20, 40,
         180, 0, ellipse / 2},
    };
    for (const Case &c : cases) {
        const Drawn d = draw(drawing(c.entity), unitPage());
        ASSERT_TRUE(d.ok);
        const auto points = d.points();
        ASSERT_GE(points.size(), 2u);
        double nearMiddle = 1e9, nearOutside = 1e9;
        for (const auto &p : points) {
            const double dx = p.x - 50, dy = 50 - p.y;
            EXPECT_NEAR(std::hypot(dx / c.rx, dy / c.ry), 1, 0.005) << c.entity[0].second;
            const auto distance = [&](double deg) {
                return std::hypot(dx - c.rx * std::cos(deg * kPi / 180), dy - c.ry * std::sin(deg * kPi / 180));
            };
            nearMiddle = std::min(nearMiddle, distance(c.middle));
            nearOutside = std::min(nearOutside, distance(c.outside));
        }
        EXPECT_LT(nearMiddle, 2.5) << c.entity[0].second << " " << c.middle;
        EXPECT_TRUE(std::isnan(c.outside) || nearOutside > 5) << c.entity[0].second << " " << c.outside;
        EXPECT_NEAR(d.inkLength(), c.length, 0.5) << c.entity[0].second << " " << c.middle;
    }
}

TEST(DxfRender, AClampedSplineIsTheBezierCurveOfItsControlPoints) {
    // A clamped quadratic spline with three control points is the Bezier curve of the same points.
    const Drawn s = draw(drawing(Pairs{{0, "SPLINE"}, {70, "8"}, {71, "2"}, {72, "6"}, {73, "3"}, {40, "0"},
                                       {40, "0"}, {40, "0"}, {40, "1"}, {40, "1"}, {40, "1"}, {10, "10"}, {20, "10"},
                                       {10, "50"}, {20, "90"}, {10, "90"}, {20, "10"}}),
                         unitPage());
    ASSERT_TRUE(s.ok);
    const auto points = s.points();
    ASSERT_GT(points.size(), 4u);
    for (const auto &p : points) {
        // x = 10 + 80 t, y = 10 + 160 t (1 - t) for the Bezier curve
        const double t = (p.x - 10) / 80;
        EXPECT_NEAR(100 - p.y, 10 + 160 * t * (1 - t), 0.05);
    }
    EXPECT_NEAR(points.front().x, 10, 1e-9);
    EXPECT_NEAR(points.back().x, 90, 1e-9);
}

TEST(DxfRender, ColoursByIndexLayerBlockAndTrueColour) {
    const Pairs tables = {{0, "LAYER"}, {2, "Red"}, {62, "1"}, {70, "0"}, {0, "LAYER"}, {2, "Deep"}, {62, "5"},
                          {70, "0"}, {420, "1193046"}};
    const uint32_t red = GetAcadRGBColor(1), green = GetAcadRGBColor(3);
    ASSERT_NE(red, green);
    const Pairs inner = line(0, 0, 1, 0, "0", 0);      // BYBLOCK
    const Pairs outer = insert("INNER", 0, 0, 1, 1, 0, 0) + line(0, 1, 1, 1, "0", 256);  // BYBLOCK, BYLAYER
    const Pairs entities = line(0, 0, 5, 5, "Red") + line(0, 0, 5, 5, "0", 7) + line(0, 0, 5, 5, "Red", 3) +
                           Pairs{{0, "LINE"}, {8, "Red"}, {420, "16744448"}, {10, "0"}, {20, "0"}, {11, "1"},
                                 {21, "1"}} +
                           line(0, 0, 5, 5, "Deep") + insert("OUTER", 0, 0, 1, 1, 0, 3, "Red");
    const Drawn d = draw(drawing(entities, tables, block("INNER", inner) + block("OUTER", outer)));
    ASSERT_TRUE(d.ok);
    // Layer colour; 7 drawn black; an index over the layer's; true colour 0xFF8000 (red, green, blue
    // in the page's order of bits); the layer's true colour 0x123456; then the reference's green
    // through two levels of BYBLOCK, and BYLAYER of layer 0 inside a block: the reference's layer.
    std::vector<uint32_t> colours;
    for (const auto &path : d.picture.paths) {
        colours.push_back(path.colour);
    }
    EXPECT_EQ(colours, std::vector<uint32_t>({red, 0, green, 0x0080FF, 0x563412, green, red}));
}

TEST(DxfRender, HiddenLayersInvisibleEntitiesPaperSpaceAndAnEmptyModelSpaceLeaveNoInk) {
    const Pairs tables = {{0, "LAYER"}, {2, "Off"}, {62, "-1"}, {70, "0"}, {0, "LAYER"}, {2, "Frozen"},
                          {62, "1"},    {70, "1"}};
    const Pairs entities = line(0, 0, 1, 1, "Off") + line(0, 0, 1, 1, "Frozen") +
                           (line(0, 0, 1, 1) + Pairs{{60, "1"}}) + (line(0, 0, 1, 1) + Pairs{{67, "1"}}) +
                           line(2, 2, 3, 3, "Shown");
    const Drawn d = draw(drawing(entities, tables));
    ASSERT_TRUE(d.ok);
    ASSERT_EQ(d.picture.paths.size(), 1u);
    // Only the last line: the extents are its own.
    EXPECT_NEAR(d.result.extents[0], 2 - 0.02, 1e-9);
    RenderOptions only;
    only.layers = {"SHOWN"};
    EXPECT_EQ(draw(drawing(line(0, 0, 1, 1, "Other") + line(0, 0, 1, 1, "Shown")), only).picture.paths.size(), 1u);
    // Nothing left to draw, or nothing in the model space at all: an empty page of the size asked for.
    only.layers = {"NONE"};
    for (const Drawn &none : {draw(drawing(line(0, 0, 1, 1, "Other")), only),
                              draw(drawing({}, {}, block("Unused", line(0, 0, 1, 1))))}) {
        EXPECT_TRUE(none.result.empty);
        EXPECT_TRUE(none.picture.paths.empty());
        EXPECT_EQ(none.picture.width, 800);
    }
}

TEST(DxfRender, InsertsPlaceScaleMirrorTurnAndRepeatTheirBlocks) {
    // A block of one line from its base point (5,5) to (6,5): one unit along x.
    const Pairs blocks = block("B", line(5, 5, 6, 5), 5, 5);
    struct Case {
        Pairs reference;
        std::vector<tool::PagePoint> ends;  // the page points of every copy, in order
    };
    const Case cases[] = {
        {insert("B", 10, 20), {{10, 80}, {11, 80}}},
        {insert("B", 10, 20, 10, 1), {{10, 80}, {20, 80}}},
        {insert("B", 10, 20, -10, 1), {{10, 80}, {0, 80}}},           // mirrored
        {insert("B", 10, 20, 10, 1, 90), {{10, 80}, {10, 70}}},       // turned to point up
        {insert("B", 10, 20, 2, 2) + Pairs{{70, "2"}, {71, "2"}, {44, "30"}, {45, "40"}},
         {{10, 80}, {12, 80}, {40, 80}, {42, 80}, {10, 40}, {12, 40}, {40, 40}, {42, 40}}},
        // turned to point up, its rows 40 apart along its turned y: to the left
        {insert("B", 50, 20, 1, 1, 90) + Pairs{{71, "2"}, {45, "40"}}, {{50, 80}, {50, 79}, {10, 80}, {10, 79}}},
    };
    for (const Case &c : cases) {
        const Drawn d = draw(drawing(c.reference, {}, blocks), unitPage());
        ASSERT_TRUE(d.ok);
        const auto points = d.points();
        ASSERT_EQ(points.size(), c.ends.size());
        for (std::size_t i = 0; i < points.size(); ++i) {
            EXPECT_NEAR(points[i].x, c.ends[i].x, 1e-9) << i;
            EXPECT_NEAR(points[i].y, c.ends[i].y, 1e-9) << i;
        }
        EXPECT_EQ(d.result.drawn.at("INSERT"), 1u);
    }
}

TEST(DxfRender, SelfReferencesAndDeepNestingEndWithANote) {
    // A refers to B, B to A; C to itself.
    const Pairs blocks = block("A", line(0, 0, 1, 0) + insert("B", 1, 0)) +
                         block("B", line(0, 0, 0, 1) + insert("A", 0, 1)) +
                         block("C", insert("C", 1, 1) + line(0, 0, 1, 1));
    const Drawn loop = draw(drawing(insert("A", 0, 0) + insert("C", 0, 0), {}, blocks));
    ASSERT_TRUE(loop.ok);
    EXPECT_EQ(loop.points().size(), 6u);  // A's line, B's line and C's line, once each
    ASSERT_FALSE(loop.result.notes.empty());
    EXPECT_NE(loop.result.notes[0].find("refers to itself"), std::string::npos);

    // 10,000 blocks each holding a line and the next.
    Pairs deep;
    for (int i = 0; i < 10000; ++i) {
        const Pairs b = block(numbered("L", i), line(0, 0, 1, 0) + insert(numbered("L", i + 1), 0, 1));
        deep.insert(deep.end(), b.begin(), b.end());
    }
    const Drawn nested = draw(drawing(insert("L0", 0, 0), {}, deep));
    ASSERT_TRUE(nested.ok);
    EXPECT_EQ(nested.points().size(), 2u * 100);
    EXPECT_NE(nested.result.notes.back().find("nested"), std::string::npos);

    // Ten references of ten references ... eight levels deep: 10^8 lines are not all drawn.
    Pairs wide;
    for (int level = 0; level < 8; ++level) {
        Pairs body = line(0, 0, 1, 1);
        for (int k = 0; k < 10; ++k) {
            body = body + insert(numbered("W", level + 1), k, 0);
        }
        wide = wide + block(numbered("W", level), body);
    }
    wide = wide + block("W8", line(0, 0, 1, 1));
    const Drawn broad = draw(drawing(insert("W0", 0, 0), {}, wide));
    ASSERT_TRUE(broad.ok);
    EXPECT_NE(broad.result.notes.back().find("the rest was not drawn"), std::string::npos);
}

TEST(DxfRender, TwoRenderersDrawWhatOneDraws) {
    // Thousands of entities crossing each other in many colours, so that the later ones cover the earlier ones
    // across any cut: lines, circles, solid fills, texts, references of a block in BYBLOCK colour, and entities
    // on a layer that is off; references of undefined blocks give notes in the order first met. Drawn by one
    // renderer and by two, the pages, counts, extents and notes are the same.
    Pairs entities;
    auto add = [&](const Pairs &more) { entities.insert(entities.end(), more.begin(), more.end()); };
    uint32_t seed = 12345;
    auto next = [&](int range) {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 8) % static_cast<uint32_t>(range));
    };
    for (int i = 0; i < 5000; ++i) {
        const int x = next(400), y = next(300), colour = 1 + i % 9;
        switch (i % 23) {
            case 0: add(circle(x, y, 5 + next(40))); break;
            case 1: add(insert("B", x, y, 1 + next(3), 1, next(360), colour)); break;
            case 2:
                add({{0, "SOLID"}, {62, std::to_string(colour)}, {10, n(x)}, {20, n(y)}, {11, n(x + 30)}, {21, n(y)},
                     {12, n(x)}, {22, n(y + 20)}});
                break;
            case 3:
                add({{0, "TEXT"}, {62, std::to_string(colour)}, {10, n(x)}, {20, n(y)}, {40, "9"}, {50, n(next(360))},
                     {1, "Part " + std::to_string(i)}});
                break;
            case 4: add(line(x, y, next(400), next(300), "HIDDEN", colour)); break;
            case 5:
                add(i % 2 == 0 ? Pairs{{0, "IMAGE"}, {10, n(x)}, {20, n(y)}} : insert(numbered("U", next(7)), x, y));
                break;
            default: add(line(x, y, x + next(120) - 60, y + next(120) - 60, "0", colour)); break;
        }
    }
    const Pairs layers = {{0, "LAYER"}, {2, "HIDDEN"}, {62, "-4"}};
    const Pairs blocks = block("B", line(0, 0, 20, 0, "0", 0) + circle(10, 0, 6) + line(0, -5, 0, 5, "0", 3));
    // A line across the drawing's width at one end and one across its height at the other: each half of the
    // drawing holds the extremes of one axis.
    const Pairs wide = line(-300, 100, 810, 100), tall = line(100, -250, 100, 650);
    struct Case {
        bool wideFirst;
        bool window;  ///< extents given: a window into the drawing that cuts many lines
        uint64_t maxWork;
        bool firstHidden;  ///< the first half of the drawing is on the layer that is off
    };
    for (const Case &k : {Case{true, false, 4'000'000, false}, Case{false, false, 4'000'000, false},
                          Case{true, true, 4'000'000, false}, Case{true, false, 3000, false},
                          Case{true, false, 4'000'000, true}}) {
        Pairs all = (k.wideFirst ? wide : tall) + entities + (k.wideFirst ? tall : wide);
        for (std::size_t i = 0; k.firstHidden && i < all.size() / 2; ++i) {
            if (all[i].first == 8) {
                all[i].second = "HIDDEN";
            }
        }
        RenderOptions options;
        options.width = 320, options.height = 240;
        options.haveExtents = k.window;
        options.extents[0] = options.extents[1] = 50;
        options.extents[2] = 350, options.extents[3] = 250;
        options.maxWork = k.maxWork;  // one case cuts the drawing short
        // The path page is drawn by one renderer even when two are asked for, to the same counts.
        const Drawn paths = draw(drawing(all, layers, blocks), options);
        ASSERT_TRUE(paths.ok) << paths.reason;
        tool::PixelPage pages[2];
        RenderResult results[2];
        for (int threads : {1, 2}) {
            options.threads = threads;
            render(paths.drawing, options, pages[threads - 1], results[threads - 1]);
        }
        EXPECT_TRUE(pages[0].pixels == pages[1].pixels) << k.wideFirst << k.window << k.maxWork;
        EXPECT_EQ(paths.result.drawn, results[0].drawn);
        EXPECT_EQ(results[0].drawn, results[1].drawn);
        EXPECT_EQ(results[0].skipped, results[1].skipped);
        EXPECT_EQ(results[0].notes, results[1].notes);
        EXPECT_EQ(std::vector<double>(results[0].extents, results[0].extents + 4),
                  std::vector<double>(results[1].extents, results[1].extents + 4));
        // A circle and 17 lines in each of 217 rounds of the 23 cases, a circle and 3 lines in the last nine, and
        // the two long lines; a drawing cut short has fewer.
        const uint64_t whole = 217u * 18 + 4 + 2, drawn = results[0].drawn.at("LINE") + results[0].drawn.at("CIRCLE");
        EXPECT_TRUE(k.firstHidden ? drawn < whole * 2 / 3 : k.maxWork > 5000 ? drawn == whole : drawn < whole) << drawn;
        EXPECT_EQ(results[0].notes.size(), k.maxWork > 5000 ? 7u : 8u);
        // Many colours reach the page, the later entities' over the earlier ones'.
        const std::set<uint32_t> colours(pages[1].pixels.begin(), pages[1].pixels.end());
        EXPECT_GE(colours.size(), k.maxWork > 5000 ? 9u : 5u);
    }
}

TEST(DxfRender, NotesStopAfterAHundredInTheOrderMet) {
    // 12,000 references of blocks that are not there, a note for each name: the first 101 name a block each, the rest
    // only ten of those again, so when two renderers share the drawing, only the one that draws the start meets more
    // than a hundred names. Drawn as paths by one renderer and onto a page by one and by two, whole and cut short
    // (whose note is always kept).
    Pairs entities;
    for (int i = 0; i < 12000; ++i) {
        const Pairs reference = insert(numbered("U", i <= 100 ? i : i % 10), i % 100, i / 100);
        entities.insert(entities.end(), reference.begin(), reference.end());
    }
    for (const uint64_t maxWork : {uint64_t{4'000'000}, uint64_t{4000}}) {
        RenderOptions options;
        options.maxWork = maxWork;
        const Drawn paths = draw(drawing(entities), options);
        ASSERT_TRUE(paths.ok) << paths.reason;
        for (int threads : {1, 2}) {
            options.threads = threads;
            tool::PixelPage page;
            RenderResult result;
            render(paths.drawing, options, page, result);
            EXPECT_EQ(result.notes, paths.result.notes);
            ASSERT_EQ(result.notes.size(), maxWork == 4000 ? 102u : 101u);
            EXPECT_NE(result.notes[99].find("\"U99\""), std::string::npos) << result.notes[99];
            EXPECT_EQ(result.notes[100], "more notes were left out");
            EXPECT_EQ(result.notes.back().ends_with("the rest was not drawn"), maxWork == 4000);
        }
    }
}

TEST(DxfRender, FacesAndMeshesDrawTheirVisibleEdgesOnly) {
    // The square (10,10)-(50,50) as a 3DFACE and as a polyface mesh, each with one edge hidden: 120 units of ink.
    const Pairs face = {{0, "3DFACE"}, {10, "10"}, {20, "10"}, {11, "50"}, {21, "10"}, {12, "50"}, {22, "50"},
                        {13, "10"}, {23, "50"}, {70, "2"}};
    Pairs mesh = {{0, "POLYLINE"}, {66, "1"}, {70, "64"}, {71, "4"}, {72, "1"}};
    for (const auto &[x, y] : {std::pair{10, 10}, {50, 10}, {50, 50}, {10, 50}}) {
        mesh = mesh + Pairs{{0, "VERTEX"}, {10, n(x)}, {20, n(y)}, {70, "192"}};
    }
    mesh = mesh + Pairs{{0, "VERTEX"}, {10, "0"}, {20, "0"}, {70, "128"}, {71, "1"}, {72, "2"}, {73, "-3"},
                        {74, "4"}, {0, "SEQEND"}};
    for (const Pairs &entity : {face, mesh}) {
        const Drawn d = draw(drawing(entity), unitPage());
        ASSERT_TRUE(d.ok);
        EXPECT_NEAR(d.inkLength(), 120, 1e-9) << entity[0].second;
    }
}

TEST(DxfRender, SolidFillsCoverTheirAreaByTheEvenOddRule) {
    const Pairs end = {{97, "0"}, {75, "0"}, {76, "1"}, {98, "0"}};
    // A 60 x 40 rectangle with a 20 x 20 hole, as a hatch with a polyline loop and a loop of edges.
    const Pairs hatch = Pairs{{0, "HATCH"}, {10, "0"}, {20, "0"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "2"},
                              {92, "2"}, {72, "0"}, {73, "1"}, {93, "4"}, {10, "20"}, {20, "30"}, {10, "80"},
                              {20, "30"}, {10, "80"}, {20, "70"}, {10, "20"}, {20, "70"}, {97, "0"}, {92, "1"},
                              {93, "4"}} + squareEdges(40, 40, 20) + end;
    const Pairs solid = {{0, "SOLID"}, {10, "0"}, {20, "0"}, {11, "10"}, {21, "0"}, {12, "0"}, {22, "10"},
                         {13, "10"}, {23, "10"}};
    // One boundary whose edges list two squares apart, 20 x 20 each: no ink between them.
    const Pairs twoSquares = Pairs{{0, "HATCH"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"}, {92, "0"}, {93, "8"}} +
                             squareEdges(10, 40, 20) + squareEdges(60, 40, 20) + end;
    // A quarter of the disc of radius 60 about (100,0), its arc a rational quadratic spline: weights 1, sqrt 1/2, 1.
    const Pairs quarter = Pairs{{0, "HATCH"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"}, {92, "0"}, {93, "3"},
                                {72, "1"}, {10, "100"}, {20, "0"}, {11, "100"}, {21, "60"}, {72, "4"}, {94, "2"},
                                {73, "1"}, {74, "0"}, {95, "6"}, {96, "3"}, {40, "0"}, {40, "0"}, {40, "0"}, {40, "1"},
                                {40, "1"}, {40, "1"}, {10, "100"}, {20, "60"}, {42, "1"}, {10, "40"}, {20, "60"},
                                {42, n(std::sqrt(0.5))}, {10, "40"}, {20, "0"}, {42, "1"}, {97, "0"}, {72, "1"},
                                {10, "40"}, {20, "0"}, {11, "100"}, {21, "0"}} + end;
    // Scan lines miss at most a pixel row at the top and the bottom: twice the widest row.
    for (const auto &[entity, area, widest] :
         {std::tuple{hatch, 60.0 * 40 - 20 * 20, 60.0}, std::tuple{solid, 100.0, 10.0},
          std::tuple{twoSquares, 800.0, 20.0}, std::tuple{quarter, kPi * 3600 / 4, 60.0}}) {
        const Drawn d = draw(drawing(entity), unitPage());
        ASSERT_TRUE(d.ok);
        double covered = 0;
        bool inHole = false;
        for (const auto &path : d.picture.paths) {
            if (!path.filled) {
                continue;
            }
            for (const auto &piece : path.pieces) {
                const Box b = boxOf(piece);
                covered += (b.x1 - b.x0) * (b.y1 - b.y0);
                inHole = inHole || (b.y0 > 45 && b.y1 < 55 && b.x0 < 50 && b.x1 > 50) ||
                         (b.y0 > 41 && b.y1 < 59 && b.x0 < 45 && b.x1 > 45);
            }
        }
        EXPECT_NEAR(covered, area, 2 * widest + 2) << area;
        EXPECT_FALSE(inHole);
    }
}

TEST(DxfRender, PatternHatchesDrawParallelLinesInsideTheBoundary) {
    // ANSI31-like: lines at 45 degrees, 10 units apart, in the square (20,20)-(80,80).
    const Pairs hatch = Pairs{{0, "HATCH"}, {2, "ANSI31"}, {70, "0"}, {71, "0"}, {91, "1"}, {92, "1"}, {93, "4"}} +
                        squareEdges(20, 20, 60) +
                        Pairs{{97, "0"}, {75, "0"}, {76, "1"}, {52, "0"}, {41, "1"}, {77, "0"}, {78, "1"}, {53, "45"},
                              {43, "0"}, {44, "0"}, {45, "-7.0710678118654755"}, {46, "7.0710678118654755"}, {79, "0"},
                              {98, "0"}};
    const Drawn d = draw(drawing(hatch), unitPage());
    ASSERT_TRUE(d.ok);
    std::vector<double> offsets;
    for (const auto &path : d.picture.paths) {
        for (const auto &piece : path.pieces) {
            const Box b = boxOf(piece);
            EXPECT_TRUE(b.x0 > 20 - 1e-6 && b.x1 < 80 + 1e-6 && b.y0 > 20 - 1e-6 && b.y1 < 80 + 1e-6);
            // A pattern line rises to the right in the drawing, so falls to the right on the page.
            if (piece.size() == 2 && piece[1].x != piece[0].x) {
                EXPECT_NEAR(piece[1].y - piece[0].y, piece[0].x - piece[1].x, 1e-6);
                offsets.push_back(((100 - piece[0].y) - piece[0].x) / (10 * std::sqrt(2.0)));
            }
        }
    }
    // The lines y - x = 10 sqrt(2) k meet the square for k = -4 ... 4, each once.
    std::sort(offsets.begin(), offsets.end());
    ASSERT_EQ(offsets.size(), 9u);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_NEAR(offsets[i], static_cast<double>(i) - 4, 1e-6);
    }
}

TEST(DxfRender, TextsAreSetAtTheirAlignmentHeightAndGlyphs) {
    // "IIII" 10 high: the ink stands between the baseline and the cap height; the glyphs' sides leave up to 2 units
    // at either end. Where each text's ink lies in the drawing (y up); NAN: not looked at.
    const auto text = [](double x, double y, const Pairs &more) {
        return Pairs{{0, "TEXT"}, {10, n(x)}, {20, n(y)}, {11, n(x)}, {21, n(y)}, {40, "10"}, {1, "IIII"}} + more;
    };
    const auto mtext = [](double y, const char *attach, const char *s) {
        return Pairs{{0, "MTEXT"}, {10, "10"}, {20, n(y)}, {40, "10"}, {71, attach}, {1, s}};
    };
    struct Case {
        Pairs entity;
        double x0, y0, x1, y1;
    };
    const Case cases[] = {
        {text(20, 50, {}), 20, 50, NAN, 60},
        {text(80, 50, {{72, "2"}, {73, "3"}}), NAN, 40, 80, 50},      // right and top
        {text(50, 50, {{72, "1"}, {73, "2"}}), NAN, 45, NAN, 55},     // centre and middle
        {text(50, 20, {{50, "90"}}), 40, NAN, 50, NAN},               // turned to run up the page
        {{{0, "TEXT"}, {10, "20"}, {20, "50"}, {7, "Tall"}, {1, "IIII"}}, NAN, 50, NAN, 70},  // its style's height
        // MTEXT: lines split at \P, 5/3 of the height apart, formatting taken out, attached at the top left
        // or the middle left.
        {mtext(90, "1", "{\\fArial|b1;II}\\PII"), 10, 90 - 10 - 10 * 5.0 / 3, NAN, 90},
        {mtext(50, "4", "II"), 10, 45, NAN, 55},
    };
    for (const Case &c : cases) {
        const Drawn d = draw(drawing(c.entity, {{0, "STYLE"}, {2, "Tall"}, {40, "20"}}), unitPage());
        ASSERT_TRUE(d.ok);
        const Box b = boxOf(d.points());
        const double got[4] = {b.x0, 100 - b.y1, b.x1, 100 - b.y0}, expected[4] = {c.x0, c.y0, c.x1, c.y1};
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(std::isnan(expected[i]) || std::fabs(got[i] - expected[i]) < (i % 2 == 0 ? 2 : 0.01))
                << c.entity.back().second << " " << i << ": " << got[i];
        }
    }
    // Characters beyond ASCII have glyphs of their own: neither none nor the unknown character's.
    const auto ink = [](const char *s) {
        std::vector<double> out;
        for (const auto &p : draw(drawing(Pairs{{0, "TEXT"}, {10, "0"}, {20, "0"}, {40, "10"}, {1, s}})).points()) {
            out.insert(out.end(), {p.x, p.y});
        }
        return out;
    };
    for (const char *s : {"%%d", "\\U+00E9", "%%c"}) {
        EXPECT_FALSE(ink(s).empty()) << s;
        EXPECT_NE(ink(s), ink("?")) << s;
    }
}

TEST(DxfRender, TextsNearTheEdgeWidenTheExtentsByTheirInkAlone) {
    // Texts swept across the edge of a frame of lines, turned, aligned, mirrored and slanted
    // every way: the extents of the whole are exactly the union of those of the frame and of
    // the text drawn alone.
    RenderOptions o;
    o.margin = 0;
    const Pairs frame = line(0, 0, 100, 0) + line(100, 0, 100, 100) + line(100, 100, 0, 100) + line(0, 100, 0, 0);
    const Drawn alone = draw(drawing(frame), o);
    ASSERT_TRUE(alone.ok);
    int poking = 0;
    for (int k = 0; k < 24; ++k) {
        const double angle = k * 15 + 0.5;
        const double from = k % 4 == 0 ? 40 : 12;  // some stay well inside
        const double x = 100 - from * std::cos(angle * kPi / 180) + (k % 5) * 0.01;
        const double y = 50 - from * std::sin(angle * kPi / 180) - (k % 3) * 0.01;
        const Pairs text{{0, "TEXT"},          {10, n(x)},          {20, n(y)},
                         {11, n(x)},           {21, n(y)},          {40, "4"},
                         {50, n(angle)},       {51, n(k % 4 * 10)}, {71, std::to_string(k % 3 * 2)},
                         {72, std::to_string(k % 3)}, {73, std::to_string(k % 4)}, {1, k % 2 ? "WWW%%%" : "Wg|Q"}};
        const Drawn own = draw(drawing(text), o);
        const Drawn both = draw(drawing(frame + text), o);
        ASSERT_TRUE(own.ok && both.ok);
        const double *a = alone.result.extents, *t = own.result.extents, *e = both.result.extents;
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(e[i], i < 2 ? std::min(a[i], t[i]) : std::max(a[i], t[i])) << angle << " " << i;
        }
        poking += t[0] < a[0] || t[1] < a[1] || t[2] > a[2] || t[3] > a[3];
    }
    EXPECT_GT(poking, 4);  // the sweep has texts on both sides of the edge
    EXPECT_LT(poking, 24);
}

TEST(DxfRender, HostileValuesAndCountsEndCleanly) {
    const std::string big = "2147483647";
    const Pairs entities =
        Pairs{{0, "LWPOLYLINE"}, {90, big}, {10, "1e300"}, {20, "0"}, {10, "nan"}, {20, "inf"}, {42, "1e300"},
              {10, "1"}, {20, "1"}} +
        Pairs{{0, "SPLINE"}, {71, big}, {72, big}, {73, big}, {40, "0"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "1"}} +
        Pairs{{0, "HATCH"}, {70, "1"}, {91, big}, {92, "0"}, {93, big}, {72, "2"}, {10, "0"}, {20, "0"}, {40, "1e300"},
              {50, "0"}, {51, "1e300"}, {73, "1"}} +
        Pairs{{0, "HATCH"}, {70, "0"}, {91, "1"}, {92, "2"}, {93, "3"}, {10, "0"}, {20, "0"}, {10, "1"}, {20, "0"},
              {10, "1"}, {20, "1"}, {78, "1"}, {53, "0"}, {43, "0"}, {44, "0"}, {45, "0"}, {46, "1e-300"}} +
        Pairs{{0, "HATCH"}, {70, "0"}, {91, "1"}, {92, "0"}, {93, "1"}, {72, "9"}} +
        Pairs{{0, "CIRCLE"}, {10, "0"}, {20, "0"}, {40, "1e300"}} + Pairs{{0, "ARC"}, {40, "1"}, {50, "1e300"}} +
        Pairs{{0, "TEXT"}, {40, "1e300"}, {1, "x"}} + Pairs{{0, "MTEXT"}, {40, "1"}, {11, "0"}, {21, "0"}, {1, "x"}} +
        Pairs{{0, "INSERT"}, {2, "B"}, {70, big}, {71, big}, {44, "1"}, {45, "1"}} +
        Pairs{{0, "INSERT"}, {2, "B"}, {10, "nan"}} +
        Pairs{{0, "POLYLINE"}, {70, "16"}, {71, big}, {72, big}, {0, "VERTEX"}, {10, "0"}} +
        Pairs{{0, "POLYLINE"}, {70, "64"}, {0, "VERTEX"}, {70, "128"}, {71, big}, {72, "-2147483648"}} +
        Pairs{{0, "ELLIPSE"}, {11, "0"}, {21, "0"}, {40, "nan"}} + Pairs{{0, "IMAGE"}, {10, "0"}} + line(0, 0, 1, 1);
    const Drawn d = draw(drawing(entities, {}, block("B", line(0, 0, 1, 1))));  // in bounded time: ctest's limit
    ASSERT_TRUE(d.ok) << d.reason;
    for (const auto &path : d.picture.paths) {
        for (const auto &piece : path.pieces) {
            for (const auto &p : piece) {
                ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y));
                ASSERT_GE(p.x, -2.001);
                ASSERT_LE(p.x, 802.001);
            }
        }
    }
    EXPECT_EQ(d.result.skipped.at("IMAGE"), 1u);
    EXPECT_EQ(d.result.skipped.at("INSERT"), 1u);  // the one not at a finite point
    EXPECT_EQ(d.result.drawn.at("LINE"), 1u);
}

/// Entities of each kind in a file's ENTITIES section, counted by walking its pairs.
std::map<std::string, uint64_t> countEntities(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::map<std::string, uint64_t> counts;
    std::string code, value, section;
    const auto next = [&](std::string &s) {
        s.clear();
        std::getline(in, s);
        s.erase(s.find_last_not_of("\r ") + 1);
        s.erase(0, s.find_first_not_of(' '));
        return !in.fail();
    };
    bool sectionName = false;
    while (next(code) && next(value)) {
        if (sectionName && code == "2") {
            section = value;
        }
        sectionName = code == "0" && value == "SECTION";
        if (section == "ENTITIES" && code == "0" && value != "ENDSEC" && value != "VERTEX" && value != "SEQEND" &&
            value != "SECTION") {
            ++counts[value];
        }
    }
    return counts;
}

TEST(DxfCorpus, AHandfulOfForeignDrawingsAreReadWhole) {
    const std::filesystem::path root = "/usr/share/librecad";
    const char *files[] = {"library/elektro/transistor/vt31.dxf", "library/kinetics/kin39.dxf",
                           "library/elektro/grounding/gr1.dxf", "patterns/gost_concrete.dxf",
                           "library/elektro/relay-iso/Relay.dxf", "library/plan/architect/Complete-Lib-V.dxf"};
    int tried = 0;
    for (const char *name : files) {
        const std::filesystem::path path = root / name;
        if (!std::filesystem::exists(path)) {
            continue;
        }
        ++tried;
        Drawing d;
        std::string reason;
        ASSERT_TRUE(read(path.string(), d, reason)) << name << ": " << reason;
        tool::Picture picture;
        RenderResult result;
        render(d, RenderOptions{}, picture, result);
        std::map<std::string, uint64_t> seen = result.drawn;
        for (const auto &[kind, count] : result.skipped) {
            seen[kind] += count;
            EXPECT_EQ(kind, "IMAGE") << name;  // raster images are not drawn
        }
        EXPECT_EQ(seen, countEntities(path.string())) << name;
        EXPECT_FALSE(result.empty) << name;
    }
    if (tried == 0) {
        GTEST_SKIP() << "the librecad-data drawings are not installed";
    }
}

}  // namespace
}  // namespace vutil::dxf::test
