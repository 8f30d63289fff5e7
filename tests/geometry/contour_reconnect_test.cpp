// Tests of the reconnection of contours cut by one clip edge, on hand-made cuts (the clipper's tests join
// pieces through it).
#include "geometry/contour_reconnect.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/geometry/clip_oracle.h"

namespace {

using namespace vutil::test;

/// Reconnects a hand-made cut along the edge from (10, 0) upwards; the crossings come back sorted.
Contours reconnect(const Contours &contours, std::vector<int32_t> &crossings) {
    vutil::geometry::WorkTable<vpoint> points;
    vutil::geometry::WorkTable<int32_t> counts;
    vutil::geometry::ReconnectTables tables;
    int32_t total = 0;
    points.reserve(1), counts.reserve(contours.size());  // room for 20, the first capacity
    for (std::size_t c = 0; c < contours.size(); ++c) {
        counts[c] = static_cast<int32_t>(contours[c].size());
        for (const vpoint &p : contours[c]) points[static_cast<std::size_t>(total++)] = p;
    }
    points.reserve(5000);  // a table that grows keeps what it holds
    vutil::geometry::CutContours cut{points, total, counts, static_cast<int32_t>(contours.size()), crossings};
    total = vutil::geometry::reconnectContours(cut, {{10, 0, 0}, 0, 10}, tables);
    Contours out;
    for (int32_t c = 0, at = 0; c < cut.contours; at += counts[static_cast<std::size_t>(c++)])
        out.emplace_back(points.data() + at, points.data() + at + counts[static_cast<std::size_t>(c)]);
    points.release(), counts.release(), tables.release();
    return out;
}

TEST(ReconnectContours, CrossingsAtOnePlaceKeepTheOrderOfTheExchangeSort) {
    // Crossings a and b lie at one place, c below and d above them; recorded a, b, c, d. The sort
    // exchanges c with a and then leaves a behind b: c b a d, pairing c with b and a with d, which
    // joins both chains into one loop. A sort that kept a before b would pair b with d, and the walk
    // would end after the first chain.
    const vpoint a{10, 1, 0}, b{10, 1, 0}, c{10, 0, 0}, d{10, 2, 0}, p{5, 1, 0}, q{4, 1, 0}, r{5, 5, 0}, s{4, 5, 0};
    std::vector<int32_t> crossings = {1, 2, 5, 6};
    EXPECT_TRUE(sameXY(reconnect({{p, a, b, q}, {r, c, d, s}}, crossings), {{b, q, p, a, d, s, r, c, b}}));
    EXPECT_EQ(crossings, (std::vector<int32_t>{5, 2, 1, 6}));
}

TEST(ReconnectContours, BrokenPairingsEndWithinTheWalk) {
    // Three crossings: the last has no partner and takes the first, where no chain begins; the walk
    // closes the loop it has and leaves the chain it never reached.
    std::vector<int32_t> odd = {1, 2, 3}, unpaired = {0, 1, 3}, apart = {0, 2};
    EXPECT_TRUE(sameXY(reconnect({xy({{5, 1}, {10, 2}, {10, 3}, {10, 4}})}, odd), {xy({{10, 3}})}));
    // The unpaired third crossing ends the first chain; its partner, the first crossing, begins the
    // second chain, which leads back to the start.
    EXPECT_TRUE(sameXY(reconnect({xy({{10, 1}, {10, 2}, {5, 5}, {10, 3}})}, unpaired),
                       {xy({{10, 2}, {5, 5}, {10, 3}, {10, 1}, {10, 2}})}));
    // Crossings that never follow one another leave the contour whole.
    const Ring zigzag = xy({{10, 1}, {5, 1}, {10, 2}, {5, 2}, {10, 1}});
    EXPECT_TRUE(sameXY(reconnect({zigzag}, apart), {zigzag}));
}

}  // namespace
