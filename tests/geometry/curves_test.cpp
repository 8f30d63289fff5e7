// Tests of the curves and arcs: Bezier points and samples, circle through three points, arc walking.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "vutil/geometry.h"
#include "vutil/runtime.h"

namespace {

constexpr double kPi = 3.141592653589793;

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

// Curves of every length, short ones with exact 32-bit binomials and long ones whose binomials
// would overflow: each point is the one de Casteljau's construction gives, and the ends are
// the end control points.
TEST(BezierPoint, AgreesWithDeCasteljau) {
    for (int k : {1, 2, 3, 4, 7, 12, 13, 14, 20, 40, 300}) {
        std::vector<vpoint> c;
        for (int i = 0; i < k; ++i) c.push_back({std::cos(i * 0.7) * 100, std::sin(i * 1.3) * 50, i * 1.5 - 7});
        for (double t : {0.0, 0.1, 0.3, 0.5, 0.77, 0.999, 1.0}) {
            vpoint out;
            BezierPoint(&out, t, k, c.data());
            const vpoint expected = deCasteljau(c, t);
            EXPECT_NEAR(out.x, expected.x, 1e-9) << k << " " << t;
            EXPECT_NEAR(out.y, expected.y, 1e-9) << k << " " << t;
            EXPECT_NEAR(out.z, expected.z, 1e-9) << k << " " << t;
        }
        vpoint first, last;
        BezierPoint(&first, 0.0, k, c.data());
        BezierPoint(&last, 1.0, k, c.data());
        EXPECT_EQ(first.x, c.front().x);
        EXPECT_EQ(last.y, c.back().y);
        // Samples stop short of the end: sample s of n is the point at s / n.
        std::vector<vpoint> samples(5);
        Bezier(samples.data(), 5, c.data(), k);
        for (int s = 0; s < 5; ++s) {
            EXPECT_NEAR(samples[static_cast<std::size_t>(s)].x, deCasteljau(c, s / 5.0).x, 1e-9) << k << " " << s;
        }
    }
    // Degree 12: the middle weight is 924 exactly.
    std::vector<vpoint> spike(13, vpoint{0, 0, 0});
    spike[6].x = 4096;
    vpoint out{5, 5, 5};
    BezierPoint(&out, 0.5, 13, spike.data());
    EXPECT_EQ(out.x, 924.0);
    BezierPoint(&out, 0.5, 0, nullptr);
    EXPECT_EQ(out.x, 0);
    EXPECT_EQ(out.z, 0);
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

// Three random points of random circles, horizontal chords among them, give back the circle.
TEST(CircleThrough3Points, FindsTheCircle) {
    std::mt19937 random(21);
    std::uniform_real_distribution<double> centre(-500, 500), radius(0.5, 300), angle(0, 2 * kPi);
    int refused = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const double x0 = centre(random), y0 = centre(random), r = radius(random);
        double a[3] = {angle(random), angle(random), angle(random)};
        if (trial % 3 == 1) a[1] = kPi - a[0];  // the first chord horizontal
        if (trial % 3 == 2) a[2] = kPi - a[1];  // the second chord horizontal
        double x[3], y[3];
        for (int i = 0; i < 3; ++i) {
            x[i] = x0 + r * std::cos(a[i]);
            y[i] = y0 + r * std::sin(a[i]);
        }
        // Well-separated points only: near-coincident ones make the circle ill-conditioned.
        bool apart = true;
        for (int i = 0; i < 3; ++i) apart = apart && std::hypot(x[i] - x[(i + 1) % 3], y[i] - y[(i + 1) % 3]) > r / 4;
        if (!apart) continue;
        double cx = 0, cy = 0, cr = 0;
        getradiusfrom3points(x[0], y[0], x[1], y[1], x[2], y[2], &cx, &cy, &cr);
        if (cr < 0) {
            // Refused as collinear: bisectors of nearly equal slope (nearly vertical chords) are rare.
            ++refused;
            continue;
        }
        ASSERT_NEAR(cx, x0, 1e-6 * r) << trial;
        ASSERT_NEAR(cy, y0, 1e-6 * r) << trial;
        ASSERT_NEAR(cr, r, 1e-6 * r) << trial;
    }
    EXPECT_LT(refused, 30);
    double cx = 9, cy = 9, r = 9;
    getradiusfrom3points(0, 0, 1, 0, 2, 0.0005, &cx, &cy, &r);  // both chords flat
    EXPECT_EQ(r, -1);
    EXPECT_EQ(cx, 0);
    getradiusfrom3points(0, 0, 1, 1, 2, 2, &cx, &cy, &r);  // parallel bisectors
    EXPECT_EQ(r, -1);
    getradiusfrom3points(0, 0, 2, 0, 3, 1, &cx, &cy, &r);
    EXPECT_EQ(cx, 1);
    EXPECT_DOUBLE_EQ(cy, 2);
    EXPECT_DOUBLE_EQ(r, std::sqrt(5.0));
}

std::vector<vpoint> arc(const vpoint &centre, double rx, double ry, double a0, double a1, double step, int maxpts,
                        int32_t &count) {
    std::vector<vpoint> out(static_cast<std::size_t>(std::max(maxpts, 2)) + 1, vpoint{-99, -99, -99});
    count = get_arc_points(out.data(), &centre, rx, ry, a0, a1, step, maxpts);
    return out;
}

// Points every step from the start, the last replaced by the end, on an ellipse about the centre.
TEST(ArcPoints, StepsFromStartToEnd) {
    const struct {
        double a0, a1, step;
        int32_t maxpts, count;
    } cases[] = {
        {0, kPi / 2, kPi / 8, 100, 5},   {0, kPi / 2, 0.5, 100, 4}, {3 * kPi / 2, 0, kPi / 4, 100, 3},
        {0, kPi, 0.1, 1, 2},             {0, kPi, 0.1, 7, 7},          {0, kPi, 0.1, 0, 0},
        {0, kPi, 0.0, 9, 9},             {1.0, 1.0, 0.3, 9, 1 + 1},    {-2.5, -2.0, 0.25, 9, 3},
    };
    const vpoint centre{1.5, -2.5, 5};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.a0 << " to " << c.a1 << " by " << c.step << " max " << c.maxpts);
        int32_t count = 0;
        const auto out = arc(centre, 2, 3, c.a0, c.a1, c.step, c.maxpts, count);
        ASSERT_EQ(count, c.count);
        const double end = c.a1 < c.a0 ? c.a1 + 2 * kPi : c.a1;
        for (int32_t i = 0; i < count; ++i) {
            const double a = i == count - 1 && count > 1 ? end : c.a0 + i * c.step;
            EXPECT_NEAR(out[static_cast<std::size_t>(i)].x, 1.5 + 2 * KOR_Cos(a), 1e-12) << i;
            EXPECT_NEAR(out[static_cast<std::size_t>(i)].y, -2.5 + 3 * KOR_Sin(a), 1e-12) << i;
            EXPECT_EQ(out[static_cast<std::size_t>(i)].z, 5);
        }
        EXPECT_EQ(out[static_cast<std::size_t>(count)].x, -99) << "nothing beyond the count";
    }
}

TEST(ArcPoints, HostileAnglesEndQuickly) {
    const vpoint centre{0, 0, 0};
    int32_t count = 0;
    // An infinite start would need endless turns; the arc ends at its start instead.
    arc(centre, 1, 1, INFINITY, 0, 0.1, 4, count);
    EXPECT_LE(count, 4);
    arc(centre, 1, 1, 1e17, 1e17 - 64, 0.1, 4, count);  // too large for a turn to move the end
    EXPECT_EQ(count, 4);
    arc(centre, 1, 1, NAN, 1, 0.1, 4, count);
    EXPECT_EQ(count, 0);
    arc(centre, 1, 1, 0, NAN, 0.1, 4, count);
    EXPECT_EQ(count, 0);
    // More than 2^20 turns apart: the end is not brought round, and the arc ends where it starts.
    arc(centre, 1, 1, 1.5 * (1 << 20) * 2 * kPi - 3, 0.0, 0.5, 1000, count);
    EXPECT_EQ(count, 2);
    arc(centre, 1, 1, 1000.0, 0.0, 0.5, 1000, count);  // many turns apart, brought past the start turn by turn
    EXPECT_EQ(count, 1 + static_cast<int32_t>((std::ceil(1000 / (2 * kPi)) * 2 * kPi - 1000) / 0.5));
}

}  // namespace
