// Tests of the curves and arcs: Bezier points and samples, circle through three points, arc walking.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vutil/geometry.h"
#include "vutil/runtime.h"

namespace {

constexpr double kPi = 3.141592653589793;

TEST(BezierPoint, LineAndCubicWeights) {
    const vpoint line[2] = {{0, 0, 0}, {10, 20, 30}};
    vpoint out;
    BezierPoint(&out, 0.25, 2, line);
    EXPECT_EQ(out.x, 2.5);
    EXPECT_EQ(out.y, 5);
    EXPECT_EQ(out.z, 7.5);
    const vpoint cubic[4] = {{8, 0, 0}, {0, 8, 0}, {0, 0, 8}, {16, 16, 16}};
    BezierPoint(&out, 0.5, 4, cubic);
    EXPECT_EQ(out.x, 8.0 / 8 + 16.0 / 8);
    EXPECT_EQ(out.y, 8.0 * 3 / 8 + 16.0 / 8);
    EXPECT_EQ(out.z, 8.0 * 3 / 8 + 16.0 / 8);
}

TEST(BezierPoint, EndsAreTheEndControlPoints) {
    const vpoint c[5] = {{1, 2, 3}, {7, -1, 0}, {4, 4, 4}, {-3, 5, 1}, {9, 8, 7}};
    vpoint out;
    BezierPoint(&out, 0.0, 5, c);
    EXPECT_EQ(out.x, 1);
    EXPECT_EQ(out.y, 2);
    EXPECT_EQ(out.z, 3);
    BezierPoint(&out, 1.0, 5, c);
    EXPECT_EQ(out.x, 9);
    EXPECT_EQ(out.y, 8);
    EXPECT_EQ(out.z, 7);
}

TEST(BezierPoint, ThirteenPointsKeepExactBinomials) {
    // Degree 12: the middle weight is 924; with all control points at x = 1 the weights sum to 1.
    std::vector<vpoint> c(13, vpoint{1, 0, 0});
    vpoint out;
    BezierPoint(&out, 0.5, 13, c.data());
    EXPECT_NEAR(out.x, 1.0, 1e-15);
    std::vector<vpoint> spike(13, vpoint{0, 0, 0});
    spike[6].x = 4096;
    BezierPoint(&out, 0.5, 13, spike.data());
    EXPECT_EQ(out.x, 924.0);
}

/// The curve point by repeated linear interpolation, the textbook construction.
vpoint deCasteljau(std::vector<vpoint> p, double t) {
    for (std::size_t level = p.size() - 1; level > 0; --level) {
        for (std::size_t i = 0; i < level; ++i) {
            p[i] = {p[i].x + (p[i + 1].x - p[i].x) * t, p[i].y + (p[i + 1].y - p[i].y) * t,
                    p[i].z + (p[i + 1].z - p[i].z) * t};
        }
    }
    return p[0];
}

TEST(BezierPoint, LongCurvesAreEvaluatedSoundly) {
    // Beyond 13 points the 32-bit binomials would overflow; such curves are still the Bezier curve.
    for (int k : {13, 14, 20, 40, 300}) {
        std::vector<vpoint> c;
        for (int i = 0; i < k; ++i) c.push_back({std::cos(i * 0.7) * 100, std::sin(i * 1.3) * 50, i * 1.0});
        for (double t : {0.0, 0.1, 0.5, 0.77, 0.999, 1.0}) {
            vpoint out;
            BezierPoint(&out, t, k, c.data());
            const vpoint expected = deCasteljau(c, t);
            EXPECT_NEAR(out.x, expected.x, 1e-9) << k << " " << t;
            EXPECT_NEAR(out.y, expected.y, 1e-9) << k << " " << t;
            EXPECT_NEAR(out.z, expected.z, 1e-9) << k << " " << t;
        }
    }
}

TEST(BezierPoint, HugeControlCountsTakeLinearTime) {
    // A million control points: one pass each, not a million squared steps.
    std::vector<vpoint> c(1000000, vpoint{2.0, -3.0, 0.5});
    vpoint out;
    BezierPoint(&out, 0.0, static_cast<int32_t>(c.size()), c.data());
    EXPECT_EQ(out.x, 2.0);
    BezierPoint(&out, 1.0, static_cast<int32_t>(c.size()), c.data());
    EXPECT_EQ(out.y, -3.0);
    // In between the weights overflow: the result is defined (not finite) and quick.
    BezierPoint(&out, 0.5, static_cast<int32_t>(c.size()), c.data());
    EXPECT_TRUE(!std::isfinite(out.x) || std::fabs(out.x - 2.0) < 1e-6) << out.x;
}

TEST(BezierPoint, NoControlPointsGivesOrigin) {
    vpoint out{5, 5, 5};
    BezierPoint(&out, 0.5, 0, nullptr);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.z, 0);
}

TEST(Bezier, SamplesStopShortOfTheEnd) {
    const vpoint line[2] = {{0, 0, 0}, {8, 0, 0}};
    vpoint out[4];
    Bezier(out, 4, line, 2);
    EXPECT_EQ(out[0].x, 0);
    EXPECT_EQ(out[1].x, 2);
    EXPECT_EQ(out[2].x, 4);
    EXPECT_EQ(out[3].x, 6);
}

TEST(CircleThrough3Points, Cases) {
    double cx = 9, cy = 9, r = 9;
    getradiusfrom3points(1, 0, 0, 1, -1, 0, &cx, &cy, &r);
    EXPECT_EQ(cx, 0);
    EXPECT_EQ(cy, 0);
    EXPECT_EQ(r, 1);
    getradiusfrom3points(0, 0, 1, 0, 2, 0, &cx, &cy, &r);  // both chords flat
    EXPECT_EQ(cx, 0);
    EXPECT_EQ(cy, 0);
    EXPECT_EQ(r, -1);
    getradiusfrom3points(0, 0, 1, 1, 2, 2, &cx, &cy, &r);  // parallel bisectors
    EXPECT_EQ(r, -1);
    // First chord flat: centre on x = 1.
    getradiusfrom3points(0, 0, 2, 0, 3, 1, &cx, &cy, &r);
    EXPECT_EQ(cx, 1);
    EXPECT_DOUBLE_EQ(cy, 2);
    EXPECT_DOUBLE_EQ(r, std::sqrt(5.0));
    // Second chord flat.
    getradiusfrom3points(3, 1, 2, 0, 0, 0, &cx, &cy, &r);
    EXPECT_EQ(cx, 1);
    EXPECT_DOUBLE_EQ(cy, 2);
    // A general circle.
    getradiusfrom3points(5 + 3, 2, 5, 2 + 3, 5 - 3, 2, &cx, &cy, &r);
    EXPECT_DOUBLE_EQ(cx, 5);
    EXPECT_DOUBLE_EQ(cy, 2);
    EXPECT_DOUBLE_EQ(r, 3);
}

std::vector<vpoint> arc(const vpoint &centre, double rx, double ry, double a0, double a1, double step, int maxpts,
                        int32_t &count) {
    std::vector<vpoint> out(static_cast<std::size_t>(std::max(maxpts, 2)) + 1, vpoint{-99, -99, -99});
    count = get_arc_points(out.data(), &centre, rx, ry, a0, a1, step, maxpts);
    return out;
}

TEST(ArcPoints, QuarterCircleInEighths) {
    const vpoint centre{0, 0, 5};
    int32_t count = 0;
    const auto out = arc(centre, 1, 1, 0, kPi / 2, kPi / 8, 100, count);
    ASSERT_EQ(count, 5);
    double a = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].x, KOR_Cos(a));
        EXPECT_EQ(out[i].y, KOR_Sin(a));
        EXPECT_EQ(out[i].z, 5);
        a += kPi / 8;
    }
    EXPECT_EQ(out[4].x, KOR_Cos(kPi / 2));
    EXPECT_EQ(out[4].y, KOR_Sin(kPi / 2));
    EXPECT_EQ(out[5].x, -99);  // nothing beyond the count
}

TEST(ArcPoints, LastGeneratedPointIsReplacedByTheEnd) {
    const vpoint centre{1, 2, 0};
    int32_t count = 0;
    const auto out = arc(centre, 2, 3, 0, kPi / 2, 0.5, 100, count);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(out[2].x, 1 + 2 * KOR_Cos(1.0));
    EXPECT_EQ(out[2].y, 2 + 3 * KOR_Sin(1.0));
    EXPECT_EQ(out[3].x, 1 + 2 * KOR_Cos(kPi / 2));
    EXPECT_EQ(out[3].y, 2 + 3 * KOR_Sin(kPi / 2));
}

TEST(ArcPoints, EndBeforeStartRunsThroughTwoPi) {
    const vpoint centre{0, 0, 0};
    int32_t count = 0;
    const auto out = arc(centre, 1, 1, 3 * kPi / 2, 0, kPi / 4, 100, count);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(out[2].x, KOR_Cos(0 + 6.283185307179586));
    EXPECT_NEAR(out[1].x, std::cos(7 * kPi / 4), 1e-12);
}

TEST(ArcPoints, MaxPointsBounds) {
    const vpoint centre{0, 0, 0};
    int32_t count = 0;
    auto out = arc(centre, 1, 1, 0, kPi, 0.1, 1, count);
    EXPECT_EQ(count, 2);  // start point, then the end point appended
    EXPECT_EQ(out[0].x, 1);
    EXPECT_EQ(out[1].x, KOR_Cos(kPi));
    EXPECT_EQ(out[2].x, -99);
    out = arc(centre, 1, 1, 0, kPi, 0.1, 7, count);
    EXPECT_EQ(count, 7);
    out = arc(centre, 1, 1, 0, kPi, 0.1, 0, count);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out[0].x, -99);
    out = arc(centre, 1, 1, 0, kPi, 0.0, 9, count);  // no progress: stops at maxpts
    EXPECT_EQ(count, 9);
}

TEST(ArcPoints, HostileAnglesEndQuickly) {
    const vpoint centre{0, 0, 0};
    int32_t count = 0;
    // An infinite start would need endless turns; the arc ends at its start instead.
    auto out = arc(centre, 1, 1, INFINITY, 0, 0.1, 4, count);
    EXPECT_LE(count, 4);
    // Too large for a turn to move the end angle.
    out = arc(centre, 1, 1, 1e17, 1e17 - 64, 0.1, 4, count);
    EXPECT_EQ(count, 4);
    out = arc(centre, 1, 1, NAN, 1, 0.1, 4, count);
    EXPECT_EQ(count, 0);
    out = arc(centre, 1, 1, 0, NAN, 0.1, 4, count);
    EXPECT_EQ(count, 0);
    // Many turns apart but within the bound: brought past the start turn by turn.
    out = arc(centre, 1, 1, 1000.0, 0.0, 0.5, 100, count);
    EXPECT_GE(count, 2);
}

}  // namespace
