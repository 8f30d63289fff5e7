// Tests of the point-list clippers KorClipPoly and KorClipVPoly, and of the thinning KorCullPolyline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "support/facts.h"
#include "tests/geometry/clip_oracle.h"

namespace {

using Points = std::vector<std::pair<int32_t, int32_t>>;

/// Clips in an array of exactly 2n + 4 points followed by guard points that must stay untouched.
struct GuardedClip {
    int32_t count = 0;
    bool guardsIntact = true;
    Points result;
    GuardedClip(const Points &in, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) {
        std::vector<ipoint> p(2 * in.size() + 20, ipoint{-12345, -54321});
        for (std::size_t i = 0; i < in.size(); ++i) p[i] = {in[i].first, in[i].second};
        count = KorClipPoly(p.data(), static_cast<int32_t>(in.size()), xmin, ymin, xmax, ymax);
        for (std::size_t i = 2 * in.size() + 4; i < p.size(); ++i) guardsIntact = guardsIntact && p[i].x == -12345 && p[i].y == -54321;
        for (int32_t i = 0; i < std::min(count, static_cast<int32_t>(p.size())); ++i) result.emplace_back(p[i].x, p[i].y);
    }
};

TEST(ClipPoly, WindowZeroToTenAndResultsBeyondTheCallersRoomAreRefused) {
    const Points cases[][2] = {
        {{{-5, -5}, {15, -5}, {15, 15}, {-5, 15}, {-5, -5}}, {{10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}}},
        {{{5, 5}, {20, 5}, {5, 20}, {5, 5}}, {{5, 5}, {10, 5}, {10, 10}, {5, 10}, {5, 5}}},
        {{{-5, 5}, {5, 5}, {5, 15}, {8, 15}, {8, 5}, {15, 5}}, {{0, 5}, {5, 5}, {5, 10}, {8, 10}, {8, 5}, {10, 5}}},
        {{{20, 20}, {30, 20}, {30, 30}, {20, 20}}, {}},
        {{{1, 1}, {9, 1}, {5, 9}, {1, 1}}, {{1, 1}, {9, 1}, {5, 9}, {1, 1}}},
        // Touching the edge: each segment's piece has two equal ends; only the first end of the second
        // piece is recognised as a repeat.
        {{{-5, 5}, {0, 5}, {-5, 6}}, {{0, 5}, {0, 5}, {0, 5}}},
        {{{-3, 0}, {4, 8}}, {{0, 3}, {4, 8}}},  // crossings truncated toward zero, on either side of zero
    };
    for (const auto &c : cases) {
        GuardedClip clip(c[0], 0, 0, 10, 10);
        EXPECT_TRUE(clip.result == c[1] && clip.guardsIntact) << &c - cases;
    }
    EXPECT_EQ(GuardedClip({{3, 0}, {-4, -8}}, -10, -10, 0, 0).result, (Points{{0, -3}, {-4, -8}}));
    // Differences beyond 32 bits are formed exactly.
    GuardedClip extreme({{INT32_MIN, 5}, {INT32_MAX, 5}, {INT32_MAX, INT32_MAX}, {INT32_MIN, 5}}, 0, 0, 10, 10);
    vutil::test::Ring ring;
    for (const auto &[x, y] : extreme.result) ring.push_back({double(x), double(y), 0});
    EXPECT_EQ(std::fabs(vutil::test::shoelace(ring.data(), ring.size())), 50.0);
    ipoint one[6] = {{50, 50}};
    EXPECT_TRUE(KorClipPoly(one, 1, 0, 0, 10, 10) == 1 && KorClipPoly(one, 0, 0, 0, 10, 10) == 0 && KorClipPoly(one, -3, 0, 0, 10, 10) == -3 && one[0].x == 50);
    // A pentagram whose edges all pass through the window, traced twice: the clipped outline would
    // need 27 points, more than the 2n + 4 = 26 the caller provides. It is refused with 0 and nothing
    // is written beyond the caller's points; long lists use a heap work area with the same bound.
    const Points once = {{799, 524}, {244, 656}, {615, 223}, {570, 792}, {272, 305}, {799, 524}};
    EXPECT_EQ(GuardedClip(once, 400, 400, 600, 600).count, 14);
    for (int times : {2, 9}) {
        Points many = once;
        for (int i = 1; i < times; ++i) many.insert(many.end(), once.begin() + 1, once.end());
        GuardedClip clip(many, 400, 400, 600, 600);
        EXPECT_TRUE(clip.count == 0 && clip.guardsIntact);
    }
}

int32_t clipV(std::vector<vpoint> &points, int32_t n, double xmin, double ymin, double xmax, double ymax) {
    points.resize(2 * static_cast<std::size_t>(std::max(n, 0)) + 4);
    return KorClipVPoly(points.data(), n, {xmin, ymin, 0}, {xmax, ymax, 0});
}

TEST(ClipVPoly, CrossingsAreUnroundedAndSinglePointsJudgedByTheWindow) {
    std::vector<vpoint> slanted = {{-3, 0, 1}, {4, 8, 8}};  // z interpolated along the segment, taken over with its point
    ASSERT_EQ(clipV(slanted, 2, 0, 0, 10, 10), 2);
    vutil::test::expectFacts({NEAR_FACT(slanted[0].y, 24.0 / 7, 2e-15), FACT(slanted[0].z, 4), FACT(slanted[1].z, 8)});
    std::vector<vpoint> far = {{20, 20, 0}, {30, 25, 0}}, touching = {{10, 10, 0}, {30, 25, 0}}, none;
    vutil::test::expectFacts({FACT(clipV(far, 2, 0, 0, 10, 10), 0), FACT(clipV(none, 0, 0, 0, 10, 10), 0), FACT(clipV(touching, 2, 0, 0, 10, 10), 2)});
    // The bounding box starts from +-1e12, so it cannot see a point beyond that, nor a window edge that is not
    // a number; the single point, which no edge pass clips, must still be tested itself. The window is closed.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        vpoint p;
        double xmin, ymin, xmax, ymax;
        int32_t kept;
    } singles[] = {{{5, 5, 0}, 0, 0, 10, 10, 1},
                   {{50, 5, 0}, 0, 0, 10, 10, 0},
                   {{3e12, 5, 0}, 0, 0, 2e12, 10, 0},
                   {{3e12, 5, 0}, 0, 0, 4e12, 10, 1},
                   {{nan, 5, 0}, -2e12, -2e12, 2e12, 2e12, 0},
                   {{5, 5, 0}, nan, 0, 10, 10, 0},
                   {{5, 5, 0}, 0, 0, 10, nan, 0},
                   {{5, 5, 0}, 5, 5, 5, 5, 1}};
    for (const auto &c : singles) {
        std::vector<vpoint> one = {c.p};
        EXPECT_TRUE(clipV(one, 1, c.xmin, c.ymin, c.xmax, c.ymax) == c.kept && (c.kept == 0 || one[0].x == c.p.x)) << &c - singles;
    }
}

// Random lists in random windows, the same through both clippers. Both keep their guards and room and stay
// inside; the integer one keeps every point inside the window. Closed finite lists keep the area the
// straightforward clip of the polygon has; lists with coordinates that are not finite stay inside too.
TEST(ClipPolyAndClipVPoly, RandomListsStayInsideAndKeepTheClippedArea) {
    std::mt19937 rng(77);
    const double inf = std::numeric_limits<double>::infinity();
    const double specials[] = {std::numeric_limits<double>::quiet_NaN(), inf, -inf, 5.0, -20.0, 20.0};
    for (int trial = 0; trial < 3000; ++trial) {
        const int32_t spread = (trial % 2 == 0) ? 30 : 2000;
        std::uniform_int_distribution<int32_t> coord(-spread, spread);
        int32_t xmin = coord(rng) / 2, xmax = coord(rng) / 2, ymin = coord(rng) / 2, ymax = coord(rng) / 2;
        if (xmin > xmax) std::swap(xmin, xmax);
        if (ymin > ymax) std::swap(ymin, ymax);
        xmax += xmin == xmax, ymax += ymin == ymax;  // a window of no area has no straightforward clip
        const auto inside = [&](double x, double y, double e) { return x >= xmin - e && x <= xmax + e && y >= ymin - e && y <= ymax + e; };
        const bool finite = trial % 3 != 0, closed = rng() % 2;
        Points in;
        std::vector<vpoint> p;
        for (int i = 0, n = 2 + static_cast<int>(rng() % 60); i < n; ++i) {
            in.emplace_back(coord(rng), coord(rng));
            p.push_back(finite ? vpoint{double(in[i].first), double(in[i].second), double(coord(rng))}
                               : vpoint{specials[rng() % 6], specials[rng() % 6], specials[rng() % 6]});
        }
        const vutil::test::Ring part = vutil::test::sutherlandHodgman(
            p, {{double(xmin), double(ymin), 0}, {double(xmax), double(ymin), 0}, {double(xmax), double(ymax), 0}, {double(xmin), double(ymax), 0}});
        if (closed) in.push_back(in.front()), p.push_back(p.front());
        GuardedClip clip(in, xmin, ymin, xmax, ymax);
        ASSERT_TRUE(clip.guardsIntact && clip.count >= 0 && clip.count <= static_cast<int32_t>(2 * in.size() + 4)) << trial;
        for (const auto &[x, y] : clip.result) ASSERT_TRUE(inside(x, y, 0)) << trial;
        for (const auto &[x, y] : in)  // every input point inside the window survives
            ASSERT_TRUE(!inside(x, y, 0) || clip.count == 0 || std::find(clip.result.begin(), clip.result.end(), std::pair{x, y}) != clip.result.end());
        const auto m = static_cast<int32_t>(p.size());
        const int32_t count = clipV(p, m, xmin, ymin, xmax, ymax);
        const double area = vutil::test::shoelace(p.data(), static_cast<std::size_t>(std::max(count, 0))), wanted = vutil::test::shoelace(part.data(), part.size());
        ASSERT_TRUE(count >= 0 && count <= 2 * m + 4 && (!closed || !finite || std::fabs(area - wanted) < 1e-12 * spread * spread)) << trial;
        for (int32_t i = 0; i < count; ++i) ASSERT_TRUE(inside(p[i].x, p[i].y, 0)) << trial;
    }
    // A segment from an infinitely distant point along y = 5 still clips to the edge.
    std::vector<vpoint> ray = {{-inf, 5, 0}, {5, 5, 0}};
    EXPECT_TRUE(clipV(ray, 2, 0, 0, 10, 10) == 2 && ray[0].x == 0 && ray[0].y == 5);
}

// Coordinates of any magnitude, subnormal to 1e300, in a window of ordinary size: every point the
// clip gives lies in the window exactly. The crossing of a long, nearly flat segment is the
// difference of two far larger numbers, which rounding could put far beyond the segment's ends.
TEST(ClipVPoly, PointsOfAnyMagnitudeClipIntoTheWindowExactly) {
    std::vector<std::vector<vpoint>> lists = {
        {{0, 5.333806864e-315, 0}, {4.793184744518131e+160, 3.1651405819885803e-76, 0}, {5.33461634e-315, 5.327816733e-315, 0}, {0, 5.333806864e-315, 0}}};
    std::mt19937 rng(1935);
    std::uniform_int_distribution<int> exponent(-330, 300), count(2, 12);
    const auto value = [&] { return (rng() % 2 ? -1.0 : 1.0) * (rng() % 5 == 0 ? 0.0 : std::pow(10.0, exponent(rng)) * (1 + rng() % 1000 / 1000.0)); };
    for (int trial = 0; trial < 4000; ++trial) {
        std::vector<vpoint> list;
        for (int i = 0, n = count(rng); i < n; ++i) list.push_back({value(), value(), 0});
        list.push_back(list.front());
        lists.push_back(list);
    }
    for (std::size_t k = 0; k < lists.size(); ++k) {
        const double xmin = k == 0 ? 1.1054290479421918e-75 : -(rng() % 3) * 1e-300, ymin = k == 0 ? 1.3491721418011344e-314 : 0;
        std::vector<vpoint> p = lists[k];
        const int32_t n = static_cast<int32_t>(p.size()), kept = clipV(p, n, xmin, ymin, 100, 50);
        ASSERT_TRUE(kept >= 0 && kept <= 2 * n + 4) << k;
        for (int32_t i = 0; i < kept; ++i)
            ASSERT_TRUE(p[i].x >= xmin && p[i].x <= 100 && p[i].y >= ymin && p[i].y <= 50) << k << ": " << p[i].x << ", " << p[i].y;
    }
}

// Thinning keeps every third point of paths of 150 points and more (and the last twice),
// leaves shorter paths alone, keeps zero-length paths within their room, and gives the ends
// alone when a coordinate is not a number.
TEST(CullPolyline, ThinsLongPathsOnly) {
    const int cases[][4] = {{301, 1, -1, 102}, {150, 1, -1, 0},    {149, 1, -1, 149}, {150, 0, -1, 150},
                            {151, 0, -1, 151}, {1000, 0, -1, 151}, {200, 1, 50, 2}};
    for (const auto &[count, dx, nanAt, kept] : cases) {
        SCOPED_TRACE(count);
        std::vector<vpoint> p(count + 8, vpoint{-9, -9, -9});
        for (int i = 0; i < count; ++i) p[i] = {i * dx + 1.0, 2.0 * dx * ((i + 1) / 2), 2.0 * dx * (i / 2)};  // steps up y and z by turns
        if (nanAt >= 0) p[nanAt].y = std::numeric_limits<double>::quiet_NaN();
        int32_t n = count;
        EXPECT_TRUE(KorCullPolyline(p.data(), &n) == 1 && p[count].x == -9) << "nothing past the caller's points";
        // Thinned at the threshold: fewer points, from the first to the last, in order.
        ASSERT_TRUE(kept == 0 ? n < count : n == kept) << n;
        for (int32_t i = 0; dx != 0 && i < n; ++i) {
            const double expected = i == n - 1 ? count : kept == count ? i + 1 : kept == 102 || i == 0 ? 3.0 * i + 1 : 0;
            EXPECT_TRUE(expected == 0 ? p[i].x > p[i - 1].x : p[i].x == expected) << i;
        }
    }
}

}  // namespace
