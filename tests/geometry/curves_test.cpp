// Tests of the curves and arcs: Bezier points and samples, circle through three points, arc walking.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/facts.h"
#include "vutil/geometry.h"

namespace {

constexpr double kPi = 3.141592653589793;

/// The curve point by repeated linear interpolation, the textbook construction.
vpoint deCasteljau(std::vector<vpoint> p, double t) {
    for (std::size_t level = p.size() - 1; level > 0; --level)
        for (std::size_t i = 0; i < level; ++i)
            p[i] = {p[i].x + (p[i + 1].x - p[i].x) * t, p[i].y + (p[i + 1].y - p[i].y) * t, p[i].z + (p[i + 1].z - p[i].z) * t};
    return p[0];
}

// Curves of every length, short ones with exact 32-bit binomials and long ones whose binomials
// would overflow: each point, and each sample s of n (the point at s / n), is the one de Casteljau's
// construction gives.
TEST(BezierPoint, AgreesWithDeCasteljau) {
    for (int k : {1, 2, 4, 12, 13, 14, 40, 300}) {
        std::vector<vpoint> c;
        for (int i = 0; i < k; ++i) c.push_back({std::cos(i * 0.7) * 100, std::sin(i * 1.3) * 50, i * 1.5 - 7});
        const auto miss = [&](const vpoint &p, double t) { return std::hypot(p.x - deCasteljau(c, t).x, p.y - deCasteljau(c, t).y, p.z - deCasteljau(c, t).z); };
        std::vector<vpoint> samples(5);
        Bezier(samples.data(), 5, c.data(), k);
        for (int s = 0; s < 5; ++s) EXPECT_LT(miss(samples[s], s / 5.0), 1e-9) << k << " sample " << s;
        for (double t : {0.0, 0.1, 0.5, 0.77, 0.999, 1.0}) {
            BezierPoint(samples.data(), t, k, c.data());
            EXPECT_LT(miss(samples[0], t), 1e-9) << k << " " << t;
        }
    }
    vpoint out{5, 5, 5};
    BezierPoint(&out, 0.5, 0, nullptr);
    vutil::test::expectFacts({FACT(out.x, 0), FACT(out.z, 0)});
    // A million control points: one pass each, not a million squared steps. In between the weights
    // overflow: the result is defined (not finite) and quick.
    std::vector<vpoint> c(1000000, vpoint{2.0, -3.0, 0.5});
    for (double t : {0.0, 1.0, 0.5}) {
        BezierPoint(&out, t, static_cast<int32_t>(c.size()), c.data());
        EXPECT_TRUE(t == 0.5 ? !std::isfinite(out.x) || std::fabs(out.x - 2.0) < 1e-6 : out.x == 2.0 && out.y == -3.0);
    }
}

// Three random points of random circles, horizontal chords among them, give back the circle.
TEST(CircleThrough3Points, FindsTheCircle) {
    std::mt19937 random(21);
    std::uniform_real_distribution<double> centre(-500, 500), radius(0.5, 300), angle(0, 2 * kPi);
    int refused = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        const double x0 = centre(random), y0 = centre(random), r = radius(random);
        double a[3] = {angle(random), angle(random), angle(random)}, x[3], y[3];
        if (trial % 3 > 0) a[trial % 3] = kPi - a[trial % 3 - 1];  // the first or second chord horizontal
        for (int i = 0; i < 3; ++i) x[i] = x0 + r * std::cos(a[i]), y[i] = y0 + r * std::sin(a[i]);
        bool apart = true;  // well-separated points only: near-coincident ones make the circle ill-conditioned
        for (int i = 0; i < 3; ++i) apart = apart && std::hypot(x[i] - x[(i + 1) % 3], y[i] - y[(i + 1) % 3]) > r / 4;
        double cx = 0, cy = 0, cr = 0;
        if (apart) getradiusfrom3points(x[0], y[0], x[1], y[1], x[2], y[2], &cx, &cy, &cr);
        refused += apart && cr < 0;  // refused as collinear: bisectors of nearly equal slope are rare
        ASSERT_TRUE(!apart || cr < 0 || std::hypot(cx - x0, cy - y0, cr - r) < 1e-6 * r) << trial;
    }
    EXPECT_LT(refused, 20);
    double cx = 9, cy = 9, r = 9;
    getradiusfrom3points(0, 0, 1, 0, 2, 0.0005, &cx, &cy, &r);  // both chords flat
    vutil::test::expectFacts({FACT(r, -1), FACT(cx, 0)});
    getradiusfrom3points(0, 0, 1, 1, 2, 2, &cx, &cy, &r);  // parallel bisectors
    EXPECT_EQ(r, -1);
}

// Points every step from the start, the last replaced by the end, on an ellipse about the centre.
TEST(ArcPoints, StepsFromStartToEnd) {
    const double cases[][5] = {  // a0, a1, step, maxpts, count
        {0, kPi / 2, kPi / 8, 100, 5}, {0, kPi / 2, 0.5, 100, 4}, {3 * kPi / 2, 0, kPi / 4, 100, 3}, {0, kPi, 0.1, 1, 2},
        {0, kPi, 0.1, 7, 7},           {0, kPi, 0.1, 0, 0},       {0, kPi, 0.0, 9, 9},              {1.0, 1.0, 0.3, 9, 2},
        {-2.5, -2.0, 0.25, 9, 3},      {0.25, 1.0, 0.6, 9, 2}};
    const vpoint centre{1.5, -2.5, 5};
    for (const auto &[a0, a1, step, maxpts, count] : cases) {
        SCOPED_TRACE(testing::Message() << a0 << " to " << a1 << " by " << step << " max " << maxpts);
        std::vector<vpoint> out(std::max<std::size_t>(maxpts, 2) + 1, vpoint{-99, -99, -99});
        ASSERT_EQ(get_arc_points(out.data(), &centre, 2, 3, a0, a1, step, static_cast<int32_t>(maxpts)), count);
        for (int i = 0; i < count; ++i) {
            const double a = i == count - 1 && count > 1 ? (a1 < a0 ? a1 + 2 * kPi : a1) : a0 + i * step;
            SCOPED_TRACE(i);  // the host's functions, within the series' error
            vutil::test::expectFacts({NEAR_FACT(out[i].x, 1.5 + 2 * std::cos(a), 1e-12), NEAR_FACT(out[i].y, -2.5 + 3 * std::sin(a), 1e-12), FACT(out[i].z, 5)});
        }
        EXPECT_EQ(out[static_cast<std::size_t>(count)].x, -99) << "nothing beyond the count";
    }
    // Hostile angles end quickly.
    std::vector<vpoint> out(1001);
    const auto arc = [&](double a0, double a1, double step, int32_t maxpts) {
        return get_arc_points(out.data(), &centre, 1, 1, a0, a1, step, maxpts);
    };
    // An infinite start would need endless turns; the arc ends at its start instead.
    // Starts too large for a turn to move the end; starts and ends that are not numbers.
    vutil::test::expectFacts({FACT(arc(INFINITY, 0, 0.1, 4), 4), FACT(arc(1e17, 1e17 - 64, 0.1, 4), 4), FACT(arc(NAN, 1, 0.1, 4), 0), FACT(arc(0, NAN, 0.1, 4), 0)});
    // More than 2^20 turns apart: the end is not brought round, and the arc ends where it starts.
    EXPECT_EQ(arc(1.5 * (1 << 20) * 2 * kPi - 3, 0.0, 0.5, 1000), 2);
    // Many turns apart, brought past the start turn by turn.
    EXPECT_EQ(arc(1000.0, 0.0, 0.5, 1000), 1 + static_cast<int32_t>((std::ceil(1000 / (2 * kPi)) * 2 * kPi - 1000) / 0.5));
}

}  // namespace
