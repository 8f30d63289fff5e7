// Tests of the segment clippers KorClipLine and KorClipVLine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "vutil/geometry.h"

namespace {

TEST(ClipLine, Windows) {
    const int32_t M = INT32_MIN, X = INT32_MAX;
    const int32_t cases[][13] = {
        // a, b, window, result, out1, out2
        {0, 0, 10, 10, 0, 0, 10, 10, 1, 0, 0, 10, 10},    // edges belong to the window
        {-5, 5, 15, 5, 0, 0, 10, 10, 1, 0, 5, 10, 5},     {15, 5, 5, 5, 0, 0, 10, 10, 1, 10, 5, 5, 5},  // input order kept
        {-5, 8, 8, 21, 0, 0, 10, 10, 0},                  // moved to (0, 13), then both above
        {-3, -1, 4, 20, 0, 0, 10, 10, 1, 0, 6, 1, 10},    // (-2, 0) by truncation, then (0, 6)
        {20, 20, 0, 5, 0, 0, 10, 10, 1, 6, 10, 0, 5},     // three passes through (10, 13)
        {20, 20, 5, 10, 0, 0, 10, 10, 1, 10, 9, 5, 10},   // degenerate branch: ymax - 1
        {-20, 20, 5, 10, 0, 0, 10, 10, 1, 0, 10, 5, 10}, {20, -20, 5, 0, 0, 0, 10, 10, 1, 10, 0, 5, 0},  // on the left: ymax; below: ymin
        {-1, 3, 0, 8, 0, 0, 10, 10, 1, 0, 8, 0, 8},       // a run of 1 to the edge is a move, not the degenerate branch
        {11, 3, 10, 8, 0, 0, 10, 10, 1, 10, 8, 10, 8}, {3, 3, 3, 3, 0, 0, 10, 10, 1, 3, 3, 3, 3}, {30, 3, 30, 3, 0, 0, 10, 10, 0}, {11, 5, 20, 5, 0, 0, 10, 10, 0},
        {5, 5, 6, 6, 10, 0, 0, 10, 0},                  {5, 5, 6, 6, 0, 10, 10, 0, 0},  // corners exchanged
        {3, 0, -4, -8, -10, -10, 0, 0, 1, 0, -3, -4, -8},  // truncated toward zero below it too
        // Differences of these values exceed 32 bits; they are formed exactly.
        {M, 0, X, 0, -10, -10, 10, 10, 1, -10, 0, 10, 0}, {M, M, X, X, -10, -10, 10, 10, 1, -10, -10, 10, 10}, {5, X, 5, M, M, M, X, X, 1, 5, X, 5, M},
    };
    for (const auto &c : cases) {
        ipoint o1{-77, -77}, o2{-77, -77};
        EXPECT_EQ(KorClipLine(c[0], c[1], c[2], c[3], &o1, &o2, c[4], c[5], c[6], c[7]), c[8]) << &c - cases;
        const int32_t out[4] = {o1.x, o1.y, o2.x, o2.y}, unwritten[4] = {-77, -77, -77, -77};
        EXPECT_TRUE(std::equal(out, out + 4, c[8] ? c + 9 : unwritten)) << &c - cases;
    }
}

/// The visible part of a segment by Liang and Barsky's parameter clipping, in doubles: t0 and t1 along it.
bool liangBarsky(double x1, double y1, double x2, double y2, double xmin, double ymin, double xmax, double ymax,
                 double &t0, double &t1) {
    t0 = 0, t1 = 1;
    const double p[4] = {x1 - x2, x2 - x1, y1 - y2, y2 - y1}, q[4] = {x1 - xmin, xmax - x1, y1 - ymin, ymax - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0 && q[i] < 0) return false;
        if (p[i] < 0) t0 = std::max(t0, q[i] / p[i]);
        if (p[i] > 0) t1 = std::min(t1, q[i] / p[i]);
    }
    return t0 <= t1;
}

// Random segments: what comes out lies inside, endpoints inside are kept, and the segment is shown whenever
// the exact clip shows more than a few units of it. (Where the window's corners are passed, the
// historical moves may end well short of the exact ends, so those are not compared.)
TEST(ClipLine, RandomSegmentsAgreeWithTheExactClip) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int32_t> coord(-1000, 1000);
    int accepted = 0;
    for (int i = 0; i < 10000; ++i) {
        const int32_t x1 = coord(rng), y1 = coord(rng), x2 = coord(rng), y2 = coord(rng);
        int32_t xmin = coord(rng), xmax = coord(rng), ymin = coord(rng), ymax = coord(rng);
        if (xmin > xmax) std::swap(xmin, xmax);
        if (ymin > ymax) std::swap(ymin, ymax);
        double t0 = 0, t1 = 0;
        const bool visible = liangBarsky(x1, y1, x2, y2, xmin, ymin, xmax, ymax, t0, t1) && (t1 - t0) * std::hypot(x2 - x1, y2 - y1) > 4,
                   inside1 = x1 >= xmin && x1 <= xmax && y1 >= ymin && y1 <= ymax;
        ipoint o1, o2;
        if (KorClipLine(x1, y1, x2, y2, &o1, &o2, xmin, ymin, xmax, ymax) == 1) {
            for (const ipoint &p : {o1, o2}) ASSERT_TRUE(p.x >= xmin && p.x <= xmax && p.y >= ymin && p.y <= ymax);
            ASSERT_TRUE(!inside1 || (o1.x == x1 && o1.y == y1));
        } else {
            ASSERT_FALSE(inside1 || visible) << i;
        }
        accepted += visible;
    }
    EXPECT_GT(accepted, 500) << "segments that the exact clip shows";
}

TEST(ClipVLine, ZTravelsWithItsEndpointCrossingsAreUnroundedAndAwkwardPointsGiveADefinedResult) {
    vpoint o1, o2;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const vpoint lo{0, 0, 0}, hi{10, 10, 0}, inside{1, 5, 0};
    EXPECT_TRUE(KorClipVLine({-5, 5, 7}, {15, 5, 9}, &o1, &o2, {0, 0, 123}, {10, 10, 456}) == 1 && o1.x == 0 && o1.y == 5 && o1.z == 7 && o2.x == 10 && o2.z == 9);
    EXPECT_TRUE(KorClipVLine({15, 5, 9}, {-5, 5, 7}, &o1, &o2, lo, hi) == 1 && o1.x == 10 && o1.z == 9 && o2.z == 7);
    EXPECT_TRUE(KorClipVLine({-3, -1, 0}, {4, 20, 0}, &o1, &o2, lo, hi) == 1 && o1.x == 0 && std::fabs(o1.y - (-1 + 21.0 * 3 / 7)) < 1e-14);
    EXPECT_TRUE(KorClipVLine({20, 20, 0}, {5, 10, 0}, &o1, &o2, lo, hi) == 1 && o1.x == 10 && o1.y == 9);  // the degenerate branch: ymax - 1.0
    // A window edge that is not a number shows nothing.
    EXPECT_EQ(KorClipVLine(inside, inside, &o1, &o2, {nan, 0, 0}, hi), 0);
    EXPECT_EQ(KorClipVLine(inside, inside, &o1, &o2, lo, {10, nan, 0}), 0);
    EXPECT_EQ(KorClipVLine({nan, 5, 0}, inside, &o1, &o2, lo, hi), 0);
    // Every pair of awkward points clips inside or not at all.
    const vpoint points[] = {{nan, 5, 0}, {5, nan, 0},   {nan, nan, 0},  {inf, 5, 0}, {-inf, 5, 0},
                             {5, inf, 0}, {inf, inf, 0}, {-inf, inf, 0}, {5, 5, nan}, {3, 7, 0}};
    const auto in = [](const vpoint &p) { return p.x >= 0 && p.x <= 10 && p.y >= 0 && p.y <= 10; };
    for (const vpoint &a : points)
        for (const vpoint &b : points) EXPECT_TRUE(KorClipVLine(a, b, &o1, &o2, lo, hi) == 0 || (in(o1) && in(o2)));
    EXPECT_EQ(KorClipVLine({1, 5, nan}, {5, 5, 0}, &o1, &o2, lo, hi), 1) << "a point with z not a number";
}

}  // namespace
