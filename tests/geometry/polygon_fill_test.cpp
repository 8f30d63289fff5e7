// Tests of the polygon fill: agreement with the edge-by-edge reference on many random polygons of
// every awkward kind (vertices and horizontal edges on scan lines, apexes, steps, rectangles), on
// dense and wide shapes, work areas and arguments.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "platform/memory.h"
#include "tests/geometry/fill_oracle.h"

namespace {

using namespace vutil::test;

intptr_t seen[4];  // context, device, user, calls
void record(intptr_t context, intptr_t device, const ipoint *, const ipoint *, intptr_t user) { seen[0] = context, seen[1] = device, seen[2] = user, ++seen[3]; }

TEST(FillPolygon, PassesItsArgumentsThroughAndDrawsNothingForDegenerateOnes) {
    const ipoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};
    seen[3] = 0;  // the test may run more than once in a process
    FillPolygon(1, 0, nullptr, 5, 1, 0, record, nullptr);
    for (int32_t n : {1, 0, -3}) FillPolygon(1, 0, square, n, 1, 0, record, nullptr);
    FillPolygon(1, 0, square, 5, 1, 0, nullptr, nullptr);
    EXPECT_EQ(seen[3], 0);
    FillPolygon(0x1234, 0x5678, square, 5, 5, 0x9abc, record, nullptr);
    EXPECT_TRUE(seen[0] == 0x1234 && seen[1] == 0x5678 && seen[2] == 0x9abc && seen[3] == 1);
}

/// Points on a circle, joined in the order i * stride: stride 1 is a convex polygon, larger strides
/// make star polygons whose edges cross each other all over the inside; radius2 alternates the radius.
std::vector<ipoint> circleWalk(int points, int stride, double radius, double radius2 = 0, double turn = 0.1) {
    std::vector<ipoint> p;
    for (int i = 0; i <= points; ++i) {
        const double a = 6.283185307179586 * ((i * stride) % points) / points + turn, r = i % 2 && radius2 ? radius2 : radius;
        p.push_back({static_cast<int32_t>(r * std::cos(a)), static_cast<int32_t>(r * std::sin(a))});
    }
    return p;
}

TEST(FillPolygon, SmallPolygonsAllocateNothingLargerOnesGiveUpWithoutMemory) {
    const auto small = circleWalk(31, 1, 100), large = circleWalk(32, 1, 100);  // 32 and 33 points
    const std::size_t blocksBefore = vutil::platform::globalBlocksInUse();
    vutil::platform::setGlobalAllocFailureAfter(0);
    EXPECT_TRUE(!libraryCalls(small, 1, false).empty() && libraryCalls(large, 1, false).empty());
    vutil::platform::setGlobalAllocFailureAfter(-1);
    EXPECT_TRUE(libraryCalls(large, 1, false) == referenceCalls(large, 1, false) && vutil::platform::globalBlocksInUse() == blocksBefore);
}

TEST(FillPolygon, TallSparseDenseAndWidePolygonsAgreeWithTheReference) {
    // An open two-point "polygon" spanning the whole 32-bit range has one crossing per line and so draws
    // nothing; it must not take four billion lines to find that out. Nor must a V at the bottom and an
    // inverted V at the top joined by one long edge, where only the two ends' lines are drawn.
    EXPECT_TRUE(libraryCalls({{0, INT32_MIN}, {5, INT32_MAX}}, 1, false).empty());
    for (const int32_t scale : {1000000000, 1000}) {
        const int32_t low = -2 * scale, high = 2 * scale;
        const std::vector<ipoint> apart = {{0, low + 10}, {10, low}, {20, low + 10}, {20, high - 10}, {10, high}, {0, high - 10}};
        const auto calls = libraryCalls(apart, 1, false);
        EXPECT_TRUE(calls.size() == 19u && calls.front() == (FillCall{'S', {9, low + 1}, {11, low + 1}}));
        EXPECT_TRUE(scale > 1000 || calls == referenceCalls(apart, 1, false));
    }
    // A dense star whose neighbouring crossings often truncate to the same x; the same traced twice
    // (every edge doubled); chords crossing each other on every line, so that the active list is
    // reordered line after line; x values spanning the 32-bit range, where every crossing is a
    // large product that a running sum would round differently; and a box whose left edge lies at
    // -30000, the value that once ended a line's crossings: all agree with the reference.
    std::vector<ipoint> dense = circleWalk(1200, 1, 300, 150, 0.0001), twice = dense, wide = circleWalk(45, 7, 1000);
    twice.insert(twice.end(), dense.begin() + 1, dense.end());
    std::mt19937 rng(99);
    for (ipoint &q : wide) q.x = static_cast<int32_t>(q.x * 2147000.0) + static_cast<int32_t>(rng() % 997);
    wide.back() = wide.front();
    const std::vector<ipoint> box = {{-30000, 0}, {100, 0}, {100, 4}, {-30000, 4}, {-30000, 0}};
    for (const auto &shape : {dense, twice, circleWalk(301, 150, 700.0), circleWalk(240, 97, 500.0), wide, box})
        for (int32_t step : {1, 3, 7}) EXPECT_EQ(libraryCalls(shape, step, false), referenceCalls(shape, step, false)) << step;
}

// Random polygons, compared call for call with the reference: tiny grids (vertices and horizontal
// edges on scan lines, self-intersections), wider coordinates, axis-parallel staircases, repeated
// points, and rectangles and near-rectangles of either winding.
TEST(FillPolygon, RandomPolygonsMatchTheReferenceCallForCall) {
    std::mt19937 rng(20261206u);
    for (int trial = 0; trial < 4000; ++trial) {
        const int kind = trial % 5, n = 2 + static_cast<int>(rng() % 69);
        const int32_t range = kind == 1 ? 500 : kind == 4 ? 6 : 12;
        std::uniform_int_distribution<int32_t> c(kind == 1 ? -range : 0, range), d(-6, 6);
        std::vector<ipoint> p;
        for (ipoint at{0, 0}; static_cast<int>(p.size()) < n;) {
            p.push_back(kind == 2 ? at : ipoint{c(rng), c(rng)});
            (p.size() % 2 ? at.x : at.y) += d(rng);
            if (kind == 3 && rng() % 3 == 0) p.push_back(p.back());
        }
        if (kind == 4) {
            p = {p[0], {p[1].x, p[0].y}, p[1], {p[0].x, p[1].y}, p[0]};
            if (rng() % 2) std::reverse(p.begin(), p.end());
            if (rng() % 3 == 0) (rng() % 2 ? p[rng() % 5].x : p[rng() % 5].y) += 1;
        } else if (rng() % 8 != 0) {
            p.push_back(p.front());  // mostly closed; sometimes left open
        }
        const int32_t step = static_cast<int32_t>(rng() % 5) - 1, withRect = rng() % 2 == 0;  // step -1 .. 3
        ASSERT_EQ(libraryCalls(p, step, withRect), referenceCalls(p, step, withRect)) << trial << " step " << step;
    }
}

}  // namespace
