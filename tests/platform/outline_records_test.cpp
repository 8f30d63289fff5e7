// Tests of the native outline records made from point-and-tag outlines: starts, implied points, cubic arcs.
// (Whole glyphs of quadratic and cubic faces are compared with FreeType's outlines in font_test.cpp.)
#include "platform/outline_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/platform/outline_support.h"

namespace {

using vutil::platform::appendNativeRecords;
using vutil::platform::OutlinePoint;
using vutil::test::RecordPoint;
constexpr auto On = vutil::platform::PointKind::OnCurve;
constexpr auto Conic = vutil::platform::PointKind::Conic;
constexpr auto Cubic = vutil::platform::PointKind::Cubic;

std::vector<std::vector<RecordPoint>> encode(const std::vector<OutlinePoint> &points,
                                             const std::vector<int32_t> &ends) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(appendNativeRecords(points, ends, out));
    return vutil::test::readRecords(out);
}

/// A point given in 26.6, as the records hold it in 16.16.
RecordPoint p(int32_t x, int32_t y, bool on) {
    return {x * 1024, y * 1024, on};
}

TEST(OutlineRecords, StartsOnAnOnCurvePointOrAnImpliedOne) {
    // Lines close implicitly; a trailing control point closes with a spline ending on the start.
    EXPECT_EQ(
        encode({{0, 0, On}, {64, 0, On}, {64, 64, Conic}, {0, 64, On}, {5, 5, On}}, {3, 4}),
        (std::vector<std::vector<RecordPoint>>{{p(0, 0, 1), p(64, 0, 1), p(64, 64, 0), p(0, 64, 1)}, {p(5, 5, 1)}}));
    EXPECT_EQ(encode({{0, 0, On}, {64, 0, On}, {64, 64, Conic}}, {2})[0],
              (std::vector<RecordPoint>{p(0, 0, 1), p(64, 0, 1), p(64, 64, 0), p(0, 0, 1)}));
    // Opening on a control point: the last point when it is on the curve, else the point implied before the first.
    EXPECT_EQ(encode({{64, 64, Conic}, {128, 0, On}, {0, 0, On}}, {2})[0],
              (std::vector<RecordPoint>{p(0, 0, 1), p(64, 64, 0), p(128, 0, 1)}));
    EXPECT_EQ(
        encode({{64, 0, Conic}, {64, 64, Conic}, {-64, 64, Conic}, {-62, 1, Conic}}, {3})[0], (std::vector<RecordPoint>{
            {1024, 512, 1}, p(64, 0, 0), p(64, 64, 0), p(-64, 64, 0), p(-62, 1, 0), {1024, 512, 1}}));
}

/// Point of a Bezier arc of any degree at t, by repeated interpolation.
std::pair<double, double> bezier(std::vector<std::pair<double, double>> q, double t) {
    for (std::size_t n = q.size() - 1; n > 0; --n) {
        for (std::size_t i = 0; i < n; ++i) q[i] = {std::lerp(q[i].first, q[i + 1].first, t), std::lerp(q[i].second, q[i + 1].second, t)};
    }
    return q[0];
}

/// Largest distance, in 26.6 units, from the quadratic pieces of a contour (start, then control and end points)
/// to a cubic arc, both sampled.
double cubicError(const std::vector<std::pair<double, double>> &cubic, const std::vector<RecordPoint> &c) {
    std::vector<std::pair<double, double>> curve;
    for (int i = 0; i <= 4000; ++i) curve.push_back(bezier(cubic, i / 4000.0));
    double worst = 0;
    for (std::size_t k = 0; k + 2 < c.size(); k += 2) {
        EXPECT_TRUE(c[k].on && !c[k + 1].on && c[k + 2].on);
        std::vector<std::pair<double, double>> quadratic;
        for (std::size_t j = k; j < k + 3; ++j) quadratic.emplace_back(c[j].x / 1024.0, c[j].y / 1024.0);
        for (int i = 0; i <= 20; ++i) {
            const auto q = bezier(quadratic, i / 20.0);
            double nearest = INFINITY;
            for (const auto &[x, y] : curve) nearest = std::min(nearest, std::hypot(x - q.first, y - q.second));
            worst = std::max(worst, nearest);
        }
    }
    return worst;
}

TEST(OutlineRecords, CubicArcsBecomeCloseQuadratics) {
    // An S-shaped arc far larger than a glyph at this size: within 1/16 of a unit (4 in 26.6), plus sampling.
    const auto s = encode({{0, 0, On}, {6400, 9000, Cubic}, {-3000, 9000, Cubic}, {3200, 0, On}}, {3})[0];
    ASSERT_GT(s.size(), 5u);
    EXPECT_EQ(s.back(), p(3200, 0, 1));  // the arc ends exactly
    EXPECT_LE(cubicError({{0, 0}, {6400, 9000}, {-3000, 9000}, {3200, 0}}, s), 4.5);
    // An arc that closes the contour ends on its start.
    auto closing = encode({{0, 0, On}, {640, 0, On}, {640, 640, Cubic}, {0, 640, Cubic}}, {3})[0];
    EXPECT_EQ(closing.back(), p(0, 0, 1));
    closing.erase(closing.begin());
    EXPECT_LE(cubicError({{640, 0}, {640, 640}, {0, 640}, {0, 0}}, closing), 4.5);
    // A straight cubic needs one piece.
    EXPECT_EQ(encode({{0, 0, On}, {64, 0, Cubic}, {128, 0, Cubic}, {192, 0, On}}, {3})[0],
              (std::vector<RecordPoint>{p(0, 0, 1), p(96, 0, 0), p(192, 0, 1)}));
}

TEST(OutlineRecords, MalformedOutlinesAreRefusedWhole) {
    for (const auto &[points, ends] : std::vector<std::pair<std::vector<OutlinePoint>, std::vector<int32_t>>>{
             {{{0, 0, Cubic}, {1, 1, Cubic}, {2, 2, On}}, {2}},                             // starts on a cubic control
             {{{0, 0, On}, {1, 1, Cubic}, {2, 2, On}}, {2}},                                // a lone cubic control point
             {{{0, 0, On}, {1, 1, Conic}, {2, 2, Cubic}, {3, 3, Cubic}, {4, 4, On}}, {4}},  // conic into cubic
             {{{0, 0, On}, {1, 1, Cubic}, {2, 2, Cubic}, {3, 3, Conic}}, {3}},  // cubic not ending on the curve
             {{{0, 0, On}, {1, 1, On}}, {2}},                                   // an end beyond the points
             {{{0, 0, On}, {1, 1, On}, {2, 2, On}}, {1, 0}},                    // ends out of order
             {{{0, 0, On}, {1, 0, On}, {1, 1, Cubic}}, {1, 2}},  // a good first contour, a bad second one
         }) {
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_FALSE(appendNativeRecords(points, ends, out));
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    }
}

}  // namespace
