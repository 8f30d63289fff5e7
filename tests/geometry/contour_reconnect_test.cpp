// Tests of the reconnection of contours cut by one clip edge, through the clipper and on hand-made cuts, and of
// the work tables it keeps.
#include "geometry/contour_reconnect.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "tests/geometry/clip_oracle.h"

namespace {

using vutil::test::Contours;
using vutil::test::sameXY;
using vutil::test::xy;
using Contour = std::vector<vpoint>;

TEST(ReconnectContours, PiecesAreJoinedAlongTheEdge) {
    // The only edge that reaches the subjects runs up the line x = 10. A vertex on the edge line makes
    // a crossing at the same place: the loop holds it once.
    const vpoint clip[] = {{-100, -100, 0}, {10, -100, 0}, {10, 100, 0}, {-100, 100, 0}};
    vutil::test::CallerSubject s({xy({{5, 2}, {15, 2}, {15, 8}, {5, 8}, {5, 6}, {12, 6}, {12, 4}, {5, 4}, {5, 2}}),
                                  xy({{5, 12}, {10, 14}, {5, 16}, {5, 12}})});
    s.clip(clip, 4);
    EXPECT_TRUE(sameXY(s.contours(), {xy({{10, 8}, {5, 8}, {5, 6}, {10, 6}, {10, 8}}),
                                      xy({{10, 4}, {5, 4}, {5, 2}, {10, 2}, {10, 4}}),
                                      xy({{10, 14}, {5, 16}, {5, 12}, {10, 14}})}));
}

/// Reconnects a hand-made cut along the edge from (10, 0) upwards; the crossings come back sorted.
Contours reconnect(const Contours &contours, std::vector<int32_t> &crossings) {
    vutil::geometry::WorkTable<vpoint> points;
    vutil::geometry::WorkTable<int32_t> counts;
    vutil::geometry::ReconnectTables tables;
    int32_t total = 0;
    points.reserve(64);
    counts.reserve(contours.size());
    for (std::size_t c = 0; c < contours.size(); ++c) {
        counts[c] = static_cast<int32_t>(contours[c].size());
        for (const vpoint &p : contours[c]) points[static_cast<std::size_t>(total++)] = p;
    }
    vutil::geometry::CutContours cut{points, total, counts, static_cast<int32_t>(contours.size()), crossings};
    total = vutil::geometry::reconnectContours(cut, {{10, 0, 0}, 0, 10}, tables);
    Contours out;
    for (int32_t c = 0, at = 0; c < cut.contours; at += counts[static_cast<std::size_t>(c++)]) {
        out.emplace_back(points.data() + at, points.data() + at + counts[static_cast<std::size_t>(c)]);
    }
    points.release();
    counts.release();
    tables.release();
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
    std::vector<int32_t> odd = {1, 2, 3};
    EXPECT_TRUE(sameXY(reconnect({xy({{5, 1}, {10, 2}, {10, 3}, {10, 4}})}, odd), {xy({{10, 3}})}));
    // The unpaired third crossing ends the first chain; its partner, the first crossing, begins the
    // second chain, which leads back to the start.
    std::vector<int32_t> unpaired = {0, 1, 3};
    EXPECT_TRUE(sameXY(reconnect({xy({{10, 1}, {10, 2}, {5, 5}, {10, 3}})}, unpaired),
                       {xy({{10, 2}, {5, 5}, {10, 3}, {10, 1}, {10, 2}})}));
    // Crossings that never follow one another leave the contour whole.
    std::vector<int32_t> apart = {0, 2};
    const Contour zigzag = xy({{10, 1}, {5, 1}, {10, 2}, {5, 2}, {10, 1}});
    EXPECT_TRUE(sameXY(reconnect({zigzag}, apart), {zigzag}));
}

TEST(WorkTable, GrowingKeepsTheElementsHeld) {
    vutil::geometry::WorkTable<int32_t> table;
    ASSERT_TRUE(table.reserve(3));
    const std::size_t first = table.capacity();
    for (std::size_t i = 0; i < first; ++i) table[i] = static_cast<int32_t>(7 * i + 1);
    ASSERT_TRUE(table.reserve(first + 1) && table.capacity() > first);
    for (std::size_t i = 0; i < first; ++i) EXPECT_EQ(table[i], static_cast<int32_t>(7 * i + 1)) << i;
    table.release();
}

}  // namespace
