// Tests of the demo's road: a drawing viewed, clipped to its window, walked and filled into a page of paths.
#include "road.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "lzw_encoder.h"
#include "support/temp_dir.h"

namespace vutil::tool {
namespace {

using drawing::Entity;
using drawing::Kind;
using test::TempDir;

/// The page of a plan view (looking down z, no twist) of the window 0..100 x 0..50:
/// 912 pixels for 100 units, a margin of 24.
constexpr double kScale = 9.12;
double pageX(double x) { return 24 + x * kScale; }
double pageY(double y) { return 24 + (50 - y) * kScale; }

drawing::Drawing planDrawing(std::vector<Entity> entities) {
    drawing::Drawing d;
    std::memcpy(d.header.magic, "VDRW", 4);
    d.header.version = 1;
    const double window[4] = {0, 0, 100, 50}, view[3] = {0, 0, 1};
    std::memcpy(d.header.window, window, sizeof window);
    std::memcpy(d.header.view, view, sizeof view);
    d.header.entities = static_cast<int32_t>(entities.size());
    d.entities = std::move(entities);
    return d;
}

Entity entity(Kind kind, std::vector<drawing::Point> points) {
    Entity e;
    e.kind = kind;
    e.colour = 1;
    e.points = std::move(points);
    return e;
}

Picture draw(const drawing::Drawing &d, RoadSummary &summary) {
    Picture picture;
    std::string reason;
    EXPECT_TRUE(drawDrawing(d, picture, summary, reason)) << reason;
    return picture;
}

/// True when a page point stands where the drawing's point (x, y) goes.
bool at(const PagePoint &p, double x, double y) {
    return std::abs(p.x - pageX(x)) < 1e-9 && std::abs(p.y - pageY(y)) < 1e-9;
}

TEST(Road, LinesAreClippedToTheWindowAndMappedOntoThePage) {
    RoadSummary summary;
    const Picture picture =
        draw(planDrawing({entity(Kind::Line, {{-10, 25, 0}, {50, 25, 0}}),
                          entity(Kind::Polyline, {{10, 10, 0}, {110, 10, 0}, {110, 40, 0}, {10, 40, 0}}),
                          entity(Kind::Line, {{120, 10, 0}, {130, 60, 0}})}), summary);
    EXPECT_EQ(picture.height, 504);  // 50 units of 9.12 pixels and the two margins
    ASSERT_EQ(picture.paths.size(), 4u);
    const auto &frame = picture.paths[0].pieces, &line = picture.paths[1].pieces, &polyline = picture.paths[2].pieces;
    EXPECT_TRUE(frame.size() == 1 && at(frame[0][2], 100, 50));
    // The line is cut at the window's left edge; the polyline leaves the window and comes back in two pieces.
    ASSERT_TRUE(line.size() == 1 && line[0].size() == 2 && polyline.size() == 2);
    EXPECT_TRUE(at(line[0][0], 0, 25) && at(line[0][1], 50, 25));
    EXPECT_TRUE(at(polyline[0][1], 100, 10) && at(polyline[1][0], 100, 40) && at(polyline[1][1], 10, 40));
    EXPECT_TRUE(picture.paths[3].pieces.empty());  // wholly outside: an empty path keeps its place
    EXPECT_EQ(summary.segments, 3);
    EXPECT_EQ(summary.byKind[1], 2);  // the summary's other counts are checked against the page by the demo's check
}

TEST(Road, ArcPointsLieOnTheCircleAndCloseIt) {
    Entity circle = entity(Kind::Arc, {{50, 25, 0}});
    circle.rx = circle.ry = 10;
    circle.end = 2 * std::acos(-1.0);
    Entity quarter = circle;
    quarter.start = 0;
    quarter.end = std::acos(0.0);
    RoadSummary summary;
    const Picture picture = draw(planDrawing({circle, quarter}), summary);
    const auto &ring = picture.paths[1].pieces;
    ASSERT_EQ(ring.size(), 1u);
    const double radius = 10 * kScale;
    for (std::size_t i = 0; i < ring[0].size(); ++i) {
        const PagePoint &p = ring[0][i];
        EXPECT_NEAR(std::hypot(p.x - pageX(50), p.y - pageY(25)), radius, 1e-6);
        if (i > 0) {  // no chord strays more than a fifth of a pixel from the circle
            const PagePoint &q = ring[0][i - 1];
            const double middle = std::hypot((p.x + q.x) / 2 - pageX(50), (p.y + q.y) / 2 - pageY(25));
            EXPECT_LE(radius - middle, 0.2 + 1e-9);
            EXPECT_GE(radius - middle, 0.1);  // nor are they needlessly short
        }
    }
    EXPECT_TRUE(at(ring[0].front(), 60, 25) && at(ring[0].back(), 60, 25));
    // The quarter runs anticlockwise from the right to the top, which is up the page.
    const auto &arc = picture.paths[2].pieces[0];
    EXPECT_TRUE(at(arc.front(), 60, 25) && at(arc.back(), 50, 35));
    EXPECT_EQ(summary.segments, static_cast<int64_t>(ring[0].size() + arc.size() - 2));
}

TEST(Road, RegionsAreClippedAndFilledWithSpansOnTheirScanLines) {
    Entity square = entity(Kind::Region, {{10, 10, 0}, {20, 10, 0}, {20, 20, 0}, {10, 20, 0}, {10, 10, 0}});
    Entity triangle = entity(Kind::Region, {{60, 5, 0}, {140, 5, 0}, {60, 45, 0}});  // open: closed by the road
    triangle.spacing = 3;
    RoadSummary summary;
    const Picture picture = draw(planDrawing({square, triangle}), summary);
    const PagePath &rectangle = picture.paths[1];
    ASSERT_TRUE(rectangle.filled && rectangle.pieces.size() == 1);  // an axis-aligned rectangle comes whole
    const PagePoint corners[] = {rectangle.pieces[0][0], rectangle.pieces[0][2]};
    EXPECT_TRUE(corners[0].x == std::floor(pageX(10)) && corners[0].y == std::floor(pageY(20)));
    EXPECT_TRUE(corners[1].x == std::floor(pageX(20)) + 1 && corners[1].y == std::floor(pageY(10)) + 1);

    // The triangle is cut at x = 100; its spans run every third pixel row between its top and bottom.
    const PagePath &spans = picture.paths[2];
    const double top = std::floor(pageY(45)), bottom = std::floor(pageY(5));
    ASSERT_FALSE(spans.pieces.empty());
    EXPECT_EQ(spans.pieces.size(), static_cast<std::size_t>(std::ceil((bottom - top) / 3) - 1));
    for (const auto &span : spans.pieces) {
        EXPECT_TRUE(std::fmod(span[0].y - top, 3.0) == 0 && span[2].y - span[0].y == 1 && span[0].y > top &&
                    span[0].y < bottom) << span[0].y;
        EXPECT_TRUE(span[0].x == std::floor(pageX(60)) && span[1].x <= std::floor(pageX(100)) + 1) << span[1].x;
    }
    EXPECT_EQ(spans.pieces.back()[1].x, std::floor(pageX(100)) + 1);  // the bottom rows reach the cut
    EXPECT_EQ(summary.spans, static_cast<int64_t>(1 + spans.pieces.size()));
}

/// The page box of a path's points: left, top, right, bottom.
std::array<double, 4> bounds(const PagePath &path) {
    std::array<double, 4> box{1e300, 1e300, -1e300, -1e300};
    for (const auto &piece : path.pieces) {
        for (const PagePoint &p : piece) {
            box = {std::min(box[0], p.x), std::min(box[1], p.y), std::max(box[2], p.x), std::max(box[3], p.y)};
        }
    }
    return box;
}

TEST(Road, TextsStandOnTheirBaselineInTheStrokeFontOrAnOutlineFont) {
    Entity upright = entity(Kind::Text, {{10, 20, 0}});
    upright.height = 5;
    upright.width = 4;
    upright.text = "HEM";
    Entity turned = upright, outline = upright;
    turned.angle = std::acos(0.0);  // a quarter turn: the baseline runs up the page
    outline.flags = drawing::kOutlineText;
    outline.text = "O";
    RoadSummary summary;
    const Picture picture = draw(planDrawing({upright, turned, outline}), summary);
    // The H's stem stands at the insertion point, the capitals are the height tall and the M ends in the third cell.
    const auto a = bounds(picture.paths[1]), b = bounds(picture.paths[2]);
    EXPECT_TRUE(a[0] == pageX(10) && a[3] == pageY(20) && std::abs(a[1] - pageY(25)) < 1e-9);
    EXPECT_TRUE(a[2] > pageX(18) && a[2] <= pageX(22)) << a[2];
    EXPECT_TRUE(at({b[0], b[3]}, 5, 20) && at({b[2], b[3]}, 10, 20));
    EXPECT_TRUE(b[1] < pageY(28) && b[1] >= pageY(32)) << b[1];
    // An outline font's O is two closed contours; where the host has no font, the stroke font stands in.
    EXPECT_EQ(summary.outlineTexts + summary.outlineFallbacks, 1);
    const auto &o = picture.paths[3].pieces;
    EXPECT_TRUE(summary.outlineTexts == 0 ||
                (o.size() == 2 && o[0].front().x == o[0].back().x && o[1].front().y == o[1].back().y));
    EXPECT_NE(describe(summary).find(summary.outlineTexts == 1 ? "; 1 in DejaVu Sans" : "no outline font"),
              std::string::npos);
}

TEST(Road, WindowsThatCannotMakeAPageAreRefused) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double windows[][5] = {{0, 0, 0, 50, 0},         {10, 0, 0, 50, 0},     {0, 50, 100, 0, 0},
                                 {0, 0, nan, 50, 0},        {0, 0, 1e-300, 1, 0},  {-1e308, 0, 1e308, 1, 0},
                                 {0, 1e-317, 2e-317, 2.1e-317, 0}, {0, 0, 1, 5, 0}, {0, 0, 100, 50, nan}};
    for (const auto &window : windows) {
        drawing::Drawing d = planDrawing({});
        std::memcpy(d.header.window, window, 4 * sizeof(double));
        d.header.twist = window[4];
        Picture picture;
        RoadSummary summary;
        std::string reason;
        EXPECT_FALSE(drawDrawing(d, picture, summary, reason)) << window[2] << " " << window[3];
        EXPECT_EQ(reason, "the drawing's view or window is not usable");
    }
}

TEST(Road, WalksFromTheCompressedFileAndReportsWhatItCannotRead) {
    TempDir dir;
    const std::string raw = dir.file("drawing.vdr");
    ASSERT_TRUE(drawing::write(raw, drawing::builtin()));
    const std::string compressed = dir.write("drawing.Z", compressLzw(TempDir::read(raw)));
    Picture picture;
    RoadSummary summary;
    std::string reason;
    ASSERT_TRUE(walkRoad(compressed, picture, summary, reason)) << reason;
    EXPECT_EQ(summary.entities, static_cast<int32_t>(drawing::builtin().entities.size()));
    EXPECT_EQ(summary.expandedBytes, static_cast<int32_t>(TempDir::read(raw).size()));
    EXPECT_GT(summary.milliseconds, 0.0);

    const std::pair<std::string, const char *> cases[] = {
        {TempDir::read(raw), "not a readable .Z file"},
        {compressLzw(TempDir::read(raw).substr(0, 1000)), "the file ends"}};
    for (const auto &[bytes, expected] : cases) {
        EXPECT_FALSE(walkRoad(dir.write("bad.Z", bytes), picture, summary, reason));
        EXPECT_NE(reason.find(expected), std::string::npos) << reason;
    }
    EXPECT_FALSE(walkRoad(dir.file("missing.Z"), picture, summary, reason));
}

}  // namespace
}  // namespace vutil::tool
