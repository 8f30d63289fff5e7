// Tests of the polygon fill: agreement with the edge-by-edge reference on many random polygons of
// every awkward kind (vertices and horizontal edges on scan lines, apexes, steps), the rectangle
// shortcut, work areas and arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/memory.h"
#include "tests/geometry/fill_oracle.h"
#include "vutil/geometry.h"

namespace {

using vutil::test::FillCall;
using vutil::test::libraryCalls;
using vutil::test::referenceCalls;

FillCall span(int32_t x1, int32_t x2, int32_t y) {
    return FillCall{'S', {x1, y}, {x2, y}};
}

const std::vector<ipoint> kSquare = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}};

TEST(FillPolygon, RectangleGoesWholeToTheRectangleCallback) {
    // Either winding, and a fifth point that is not looked at; without a rectangle callback it is scanned.
    const std::vector<ipoint> other = {{0, 0}, {0, 5}, {10, 5}, {10, 0}, {99, 99}};
    EXPECT_EQ(libraryCalls(other, 1, true), (std::vector<FillCall>{{'R', {0, 0}, {10, 5}}}));
    const std::vector<ipoint> closed = {{0, 0}, {10, 0}, {10, 5}, {0, 5}, {0, 0}};
    EXPECT_EQ(libraryCalls(closed, 2, false), (std::vector<FillCall>{span(0, 10, 2), span(0, 10, 4)}));
}

struct Seen {
    intptr_t context = 0, device = 0, user = 0;
    int calls = 0;
} seen;
void record(intptr_t context, intptr_t device, const ipoint *, const ipoint *, intptr_t user) {
    seen = {context, device, user, seen.calls + 1};
}

TEST(FillPolygon, PassesItsArgumentsThroughAndDrawsNothingForDegenerateOnes) {
    FillPolygon(1, 0, nullptr, 5, 1, 0, record, nullptr);
    for (int32_t n : {1, 0, -3}) FillPolygon(1, 0, kSquare.data(), n, 1, 0, record, nullptr);
    FillPolygon(1, 0, kSquare.data(), 5, 1, 0, nullptr, nullptr);
    EXPECT_EQ(seen.calls, 0);
    FillPolygon(0x1234, 0x5678, kSquare.data(), 5, 5, 0x9abc, record, nullptr);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.context, 0x1234);
    EXPECT_EQ(seen.device, 0x5678);
    EXPECT_EQ(seen.user, 0x9abc);
}

std::vector<ipoint> regularPolygon(int points, int32_t radius) {
    std::vector<ipoint> p;
    for (int i = 0; i < points; ++i) {
        const double a = 6.283185307179586 * i / points;
        p.push_back({static_cast<int32_t>(radius * std::cos(a)), static_cast<int32_t>(radius * std::sin(a))});
    }
    p.push_back(p.front());
    return p;
}

TEST(FillPolygon, SmallPolygonsAllocateNothingLargerOnesGiveUpWithoutMemory) {
    const auto small = regularPolygon(31, 100);  // 32 points with the closing one
    const auto large = regularPolygon(32, 100);  // 33 points
    const std::size_t blocksBefore = vutil::platform::globalBlocksInUse();
    vutil::platform::setGlobalAllocFailureAfter(0);
    EXPECT_FALSE(libraryCalls(small, 1, false).empty());
    EXPECT_TRUE(libraryCalls(large, 1, false).empty());
    vutil::platform::setGlobalAllocFailureAfter(-1);
    EXPECT_EQ(libraryCalls(large, 1, false), referenceCalls(large, 1, false));
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), blocksBefore);
}

TEST(FillPolygon, VeryTallSparsePolygonsSkipEmptyLines) {
    // An open two-point "polygon" spanning the whole 32-bit range has one crossing per line and so draws
    // nothing; it must not take four billion lines to find that out.
    const std::vector<ipoint> edge = {{0, INT32_MIN}, {5, INT32_MAX}};
    EXPECT_TRUE(libraryCalls(edge, 1, false).empty());
    // An open path: a V at the bottom and an inverted V at the top joined by one long edge. The lines
    // in between have one crossing each and draw nothing; only the two ends' lines are drawn.
    const std::vector<ipoint> apart = {{0, -1999999990}, {10, -2000000000}, {20, -1999999990},
                                       {20, 1999999990}, {10, 2000000000},  {0, 1999999990}};
    const auto calls = libraryCalls(apart, 1, false);
    EXPECT_EQ(calls.size(), 19u);
    EXPECT_EQ(calls.front(), span(9, 11, -1999999999));
    EXPECT_EQ(calls.back(), span(9, 11, 1999999999));
    // The same shape at a scale the reference can scan agrees with it.
    const std::vector<ipoint> small = {{0, -1990}, {10, -2000}, {20, -1990}, {20, 1990}, {10, 2000}, {0, 1990}};
    EXPECT_EQ(libraryCalls(small, 1, false), referenceCalls(small, 1, false));
}

/// Random polygons of every awkward kind, compared call for call with the reference.
class FillAgreement : public ::testing::TestWithParam<int> {};

std::vector<ipoint> randomPolygon(std::mt19937 &rng, int kind) {
    std::uniform_int_distribution<int> count(2, 70);
    const int n = count(rng);
    std::vector<ipoint> p;
    switch (kind) {
        case 0: {  // Tiny grid: vertices and horizontal edges on scan lines, self-intersections.
            std::uniform_int_distribution<int32_t> c(0, 12);
            for (int i = 0; i < n; ++i) p.push_back({c(rng), c(rng)});
            break;
        }
        case 1: {  // Wider coordinates with negatives.
            std::uniform_int_distribution<int32_t> c(-500, 500);
            for (int i = 0; i < n; ++i) p.push_back({c(rng), c(rng)});
            break;
        }
        case 2: {  // Axis-parallel staircases: many horizontal edges and steps.
            std::uniform_int_distribution<int32_t> d(-6, 6);
            ipoint at{0, 0};
            for (int i = 0; i < n; ++i) {
                p.push_back(at);
                if (i % 2 == 0)
                    at.x += d(rng);
                else
                    at.y += d(rng);
            }
            break;
        }
        case 3: {  // Repeated points and zero-length edges.
            std::uniform_int_distribution<int32_t> c(0, 8);
            for (int i = 0; i < n; ++i) {
                p.push_back({c(rng), c(rng)});
                if (rng() % 3 == 0) p.push_back(p.back());
            }
            break;
        }
        default: {  // Five points: rectangles and near-rectangles.
            std::uniform_int_distribution<int32_t> c(0, 6);
            const int32_t x0 = c(rng), y0 = c(rng), x1 = c(rng), y1 = c(rng);
            p = {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}, {x0, y0}};
            if (rng() % 2 == 0) std::reverse(p.begin(), p.end());  // the other winding
            if (rng() % 3 == 0) {
                ipoint &moved = p[static_cast<std::size_t>(rng() % 5)];
                (rng() % 2 == 0 ? moved.x : moved.y) += 1;
            }
            return p;
        }
    }
    if (rng() % 8 != 0) {
        p.push_back(p.front());  // Mostly closed; sometimes left open.
    }
    return p;
}

TEST_P(FillAgreement, EdgeTableMatchesReferenceCallForCall) {
    const int kind = GetParam();
    std::mt19937 rng(20261206u + static_cast<unsigned>(kind));
    for (int trial = 0; trial < 1500; ++trial) {
        const auto polygon = randomPolygon(rng, kind);
        const int32_t step = static_cast<int32_t>(rng() % 5) - 1;  // -1 .. 3
        const bool withRect = rng() % 2 == 0;
        const auto expected = referenceCalls(polygon, step, withRect);
        const auto actual = libraryCalls(polygon, step, withRect);
        ASSERT_EQ(actual, expected) << "kind " << kind << " trial " << trial << " n " << polygon.size() << " step "
                                    << step;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FillAgreement, ::testing::Values(0, 1, 2, 3, 4));

/// Points on a circle, joined in the order i * stride: stride 1 is a convex polygon, larger strides
/// make star polygons whose edges cross each other all over the inside.
std::vector<ipoint> circleWalk(int points, int stride, double radius) {
    std::vector<ipoint> p;
    for (int i = 0; i <= points; ++i) {
        const double a = 6.283185307179586 * ((i * stride) % points) / points + 0.1;
        p.push_back({static_cast<int32_t>(radius * std::cos(a)), static_cast<int32_t>(radius * std::sin(a))});
    }
    return p;
}

TEST(FillPolygon, DenseCrossingAndWidePolygonsAgreeWithReference) {
    // A dense star whose neighbouring crossings often truncate to the same x; the same traced twice
    // (every edge doubled); chords crossing each other on every line, so that the active list is
    // reordered line after line; and x values spanning the 32-bit range, where every crossing is a
    // large product that a running sum would round differently.
    std::vector<ipoint> dense;
    for (int i = 0; i <= 1200; ++i) {
        const double a = 6.283185307179586 * (i % 1200) / 1200 + 0.0001;
        const double r = i % 2 == 0 ? 300.0 : 150.0;
        dense.push_back({static_cast<int32_t>(r * std::cos(a)), static_cast<int32_t>(r * std::sin(a))});
    }
    std::vector<ipoint> twice = dense;
    twice.insert(twice.end(), dense.begin() + 1, dense.end());
    std::vector<ipoint> wide = circleWalk(45, 7, 1000.0);
    std::mt19937 rng(99);
    for (ipoint &q : wide) {
        q.x = static_cast<int32_t>(q.x * 2147000.0) + static_cast<int32_t>(rng() % 997);
    }
    wide.back() = wide.front();
    // A box whose left edge lies at -30000, the value that once ended a line's crossings.
    const std::vector<ipoint> box = {{-30000, 0}, {100, 0}, {100, 4}, {-30000, 4}, {-30000, 0}};
    const std::vector<std::vector<ipoint>> shapes = {dense, twice, circleWalk(301, 150, 700.0),
                                                     circleWalk(240, 97, 500.0), wide, box};
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        for (int32_t step : {1, 3, 7}) {
            EXPECT_EQ(libraryCalls(shapes[s], step, false), referenceCalls(shapes[s], step, false))
                << "shape " << s << " step " << step;
        }
    }
}

}  // namespace
