// Tests of the point-list clippers KorClipPoly and KorClipVPoly, and of the thinning KorCullPolyline.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "tests/geometry/clip_oracle.h"
#include "vutil/geometry.h"

namespace {

using Points = std::vector<ipoint>;

/// Clips in an array of exactly 2n + 4 points followed by guard points that must stay untouched.
struct GuardedClip {
    static constexpr int kGuard = 16;
    Points storage;
    int32_t count = 0;
    bool guardsIntact = true;

    GuardedClip(const Points &in, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) {
        const auto n = static_cast<int32_t>(in.size());
        storage.assign(2 * in.size() + 4 + kGuard, ipoint{-12345, -54321});
        std::copy(in.begin(), in.end(), storage.begin());
        count = KorClipPoly(storage.data(), n, xmin, ymin, xmax, ymax);
        for (std::size_t i = 2 * in.size() + 4; i < storage.size(); ++i) {
            guardsIntact = guardsIntact && storage[i].x == -12345 && storage[i].y == -54321;
        }
    }
    std::span<const ipoint> result() const {
        return {storage.data(), static_cast<std::size_t>(std::clamp(count, 0, static_cast<int32_t>(storage.size())))};
    }
};

bool same(std::span<const ipoint> a, const Points &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
    }
    return true;
}

std::string describe(std::span<const ipoint> p) {
    std::string s;
    for (const ipoint &q : p) {
        s.append("(").append(std::to_string(q.x)).append(",").append(std::to_string(q.y)).append(")");
    }
    return s;
}

struct PolyCase {
    const char *name;
    Points in;
    Points out;
};

TEST(ClipPoly, WindowZeroToTen) {
    const PolyCase cases[] = {
        {"square around the window",
         {{-5, -5}, {15, -5}, {15, 15}, {-5, 15}, {-5, -5}},
         {{10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}}},
        {"triangle", {{5, 5}, {20, 5}, {5, 20}, {5, 5}}, {{5, 5}, {10, 5}, {10, 10}, {5, 10}, {5, 5}}},
        {"open path with an excursion above",
         {{-5, 5}, {5, 5}, {5, 15}, {8, 15}, {8, 5}, {15, 5}},
         {{0, 5}, {5, 5}, {5, 10}, {8, 10}, {8, 5}, {10, 5}}},
        {"outside", {{20, 20}, {30, 20}, {30, 30}, {20, 20}}, {}},
        {"inside", {{1, 1}, {9, 1}, {5, 9}, {1, 1}}, {{1, 1}, {9, 1}, {5, 9}, {1, 1}}},
        {"open inside", {{1, 1}, {9, 1}, {5, 9}}, {{1, 1}, {9, 1}, {5, 9}}},
        // Touching the edge: each segment's piece has two equal ends; only the first end of the second
        // piece is recognised as a repeat.
        {"pieces of zero length", {{-5, 5}, {0, 5}, {-5, 6}}, {{0, 5}, {0, 5}, {0, 5}}},
    };
    for (const PolyCase &c : cases) {
        GuardedClip clip(c.in, 0, 0, 10, 10);
        EXPECT_TRUE(same(clip.result(), c.out)) << c.name << ": " << describe(clip.result());
        EXPECT_TRUE(clip.guardsIntact) << c.name;
    }
}

TEST(ClipPoly, CrossingsAreTruncatedAndShortListsReturnedUnchanged) {
    // (-3, 0) to (4, 8) meets x = 0 at y = 3.428..., truncated toward zero on either side of it.
    EXPECT_TRUE(same(GuardedClip({{-3, 0}, {4, 8}}, 0, 0, 10, 10).result(), {{0, 3}, {4, 8}}));
    EXPECT_TRUE(same(GuardedClip({{3, 0}, {-4, -8}}, -10, -10, 0, 0).result(), {{0, -3}, {-4, -8}}));
    // Differences beyond 32 bits are formed exactly.
    GuardedClip extreme({{INT32_MIN, 5}, {INT32_MAX, 5}, {INT32_MAX, INT32_MAX}, {INT32_MIN, 5}}, 0, 0, 10, 10);
    std::vector<vpoint> ring;
    for (const ipoint &q : extreme.result()) ring.push_back({double(q.x), double(q.y), 0});
    EXPECT_EQ(std::fabs(vutil::test::shoelace(ring.data(), ring.size())), 50.0) << describe(extreme.result());
    ipoint one[6] = {{50, 50}};
    EXPECT_EQ(KorClipPoly(one, 1, 0, 0, 10, 10), 1);
    EXPECT_EQ(KorClipPoly(one, 0, 0, 0, 10, 10), 0);
    EXPECT_EQ(KorClipPoly(one, -3, 0, 0, 10, 10), -3);
    EXPECT_EQ(one[0].x, 50);
}

TEST(ClipPoly, ResultsBeyondTheCallersRoomAreRefused) {
    // A pentagram whose edges all pass through the window, traced twice: the clipped outline would
    // need 27 points, more than the 2n + 4 = 26 the caller provides. It is refused with 0 and nothing
    // is written beyond the caller's points.
    const Points once = {{799, 524}, {244, 656}, {615, 223}, {570, 792}, {272, 305}, {799, 524}};
    GuardedClip single(once, 400, 400, 600, 600);
    EXPECT_EQ(single.count, 14);
    Points twice = once;
    twice.insert(twice.end(), once.begin() + 1, once.end());
    GuardedClip doubled(twice, 400, 400, 600, 600);
    EXPECT_EQ(doubled.count, 0);
    EXPECT_TRUE(doubled.guardsIntact);
    // Long lists use a heap work area with the same bound.
    Points many = once;
    for (int i = 0; i < 8; ++i) many.insert(many.end(), once.begin() + 1, once.end());
    GuardedClip longer(many, 400, 400, 600, 600);
    EXPECT_EQ(longer.count, 0);
    EXPECT_TRUE(longer.guardsIntact);
}

TEST(ClipPoly, RandomListsStayInsideAndInBounds) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 4000; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 60);
        const int32_t spread = (trial % 2 == 0) ? 30 : 2000;
        std::uniform_int_distribution<int32_t> coord(-spread, spread);
        Points in;
        for (int i = 0; i < n; ++i) in.push_back({coord(rng), coord(rng)});
        if (rng() % 2 == 0) in.push_back(in.front());
        int32_t xmin = coord(rng) / 2, xmax = coord(rng) / 2, ymin = coord(rng) / 2, ymax = coord(rng) / 2;
        if (xmin > xmax) std::swap(xmin, xmax);
        if (ymin > ymax) std::swap(ymin, ymax);
        GuardedClip clip(in, xmin, ymin, xmax, ymax);
        ASSERT_TRUE(clip.guardsIntact) << trial;
        ASSERT_GE(clip.count, 0);
        ASSERT_LE(clip.count, static_cast<int32_t>(2 * in.size() + 4));
        for (const ipoint &p : clip.result()) {
            ASSERT_TRUE(p.x >= xmin && p.x <= xmax && p.y >= ymin && p.y <= ymax) << trial;
        }
        // Every input point inside the window survives.
        for (const ipoint &p : in) {
            if (p.x >= xmin && p.x <= xmax && p.y >= ymin && p.y <= ymax && clip.count > 0) {
                bool found = false;
                for (const ipoint &q : clip.result()) found = found || (q.x == p.x && q.y == p.y);
                ASSERT_TRUE(found) << trial;
            }
        }
    }
}

int32_t clipV(std::vector<vpoint> &points, int32_t n, double xmin, double ymin, double xmax, double ymax) {
    points.resize(2 * static_cast<std::size_t>(std::max(n, 0)) + 4);
    return KorClipVPoly(points.data(), n, {xmin, ymin, 0}, {xmax, ymax, 0});
}

TEST(ClipVPoly, CrossingsAreUnroundedAndSinglePointsJudgedByTheWindow) {
    std::vector<vpoint> slanted = {{-3, 0, 1}, {4, 8, 8}};
    ASSERT_EQ(clipV(slanted, 2, 0, 0, 10, 10), 2);
    EXPECT_DOUBLE_EQ(slanted[0].y, 3 * (8.0 / 7));
    EXPECT_DOUBLE_EQ(slanted[0].z, 4.0);  // z interpolated along the segment
    EXPECT_EQ(slanted[1].z, 8);           // taken over with its point
    std::vector<vpoint> far = {{20, 20, 0}, {30, 25, 0}}, touching = {{10, 10, 0}, {30, 25, 0}}, none;
    EXPECT_EQ(clipV(far, 2, 0, 0, 10, 10), 0);
    EXPECT_EQ(clipV(touching, 2, 0, 0, 10, 10), 2);  // touching counts as overlapping
    EXPECT_EQ(clipV(none, 0, 0, 0, 10, 10), 0);
    // The bounding box starts from +-1e12, so it cannot see a point beyond that, nor a window edge that is not
    // a number; the single point, which no edge pass clips, must still be tested itself. The window is closed.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        vpoint p;
        double xmin, ymin, xmax, ymax;
        int32_t kept;
    } singles[] = {{{5, 5, 0}, 0, 0, 10, 10, 1},         {{50, 5, 0}, 0, 0, 10, 10, 0},
                   {{3e12, 5, 0}, 0, 0, 2e12, 10, 0},     {{3e12, 5, 0}, 0, 0, 4e12, 10, 1},
                   {{nan, 5, 0}, -2e12, -2e12, 2e12, 2e12, 0}, {{5, 5, 0}, nan, 0, 10, 10, 0},
                   {{5, 5, 0}, 0, 0, 10, nan, 0},         {{5, 5, 0}, 5, 5, 5, 5, 1}};
    for (const auto &c : singles) {
        std::vector<vpoint> one = {c.p};
        EXPECT_EQ(clipV(one, 1, c.xmin, c.ymin, c.xmax, c.ymax), c.kept) << c.p.x << " " << c.xmin;
        EXPECT_TRUE(c.kept == 0 || one[0].x == c.p.x);
    }
}

TEST(ClipVPoly, NonFiniteCoordinatesNeverReachTheOutput) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double specials[] = {nan, inf, -inf, 5.0, -20.0, 20.0};
    std::mt19937 rng(3);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 12);
        std::vector<vpoint> p;
        p.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            p.push_back({specials[rng() % 6], specials[rng() % 6], specials[rng() % 6]});
        }
        if (rng() % 2) p.back() = p.front();
        const int32_t count = clipV(p, n, 0, 0, 10, 10);
        ASSERT_GE(count, 0);
        ASSERT_LE(count, 2 * n + 4);
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_TRUE(p[i].x >= 0 && p[i].x <= 10 && p[i].y >= 0 && p[i].y <= 10) << trial;
        }
    }
    // A segment from an infinitely distant point along y = 5 still clips to the edge.
    std::vector<vpoint> ray = {{-inf, 5, 0}, {5, 5, 0}};
    ASSERT_EQ(clipV(ray, 2, 0, 0, 10, 10), 2);
    EXPECT_EQ(ray[0].x, 0);
    EXPECT_EQ(ray[0].y, 5);
}

// Random lists stay inside; closed ones keep the area the straightforward clip of the polygon has.
TEST(ClipVPoly, RandomListsStayInsideAndClosedOnesKeepTheClippedArea) {
    std::mt19937 rng(99);
    std::uniform_real_distribution<double> coord(-50, 50);
    for (int trial = 0; trial < 3000; ++trial) {
        const int n = 2 + static_cast<int>(rng() % 50);
        std::vector<vpoint> p;
        p.reserve(static_cast<std::size_t>(n) + 1);
        for (int i = 0; i < n; ++i) p.push_back({coord(rng), coord(rng), coord(rng)});
        const bool closed = rng() % 2;
        const vutil::test::Ring ring = p, window = {{-10, -5, 0}, {20, -5, 0}, {20, 15, 0}, {-10, 15, 0}};
        if (closed) p.push_back(p.front());
        const auto m = static_cast<int32_t>(p.size());
        const int32_t count = clipV(p, m, -10, -5, 20, 15);
        if (closed) {
            const vutil::test::Ring part = vutil::test::sutherlandHodgman(ring, window);
            ASSERT_NEAR(vutil::test::shoelace(p.data(), static_cast<std::size_t>(std::max(count, 0))),
                        vutil::test::shoelace(part.data(), part.size()), 1e-9)
                << trial;
        }
        ASSERT_LE(count, 2 * m + 4);
        for (int32_t i = 0; i < count; ++i) {
            ASSERT_TRUE(p[i].x >= -10 - 1e-9 && p[i].x <= 20 + 1e-9 && p[i].y >= -5 - 1e-9 && p[i].y <= 15 + 1e-9);
        }
    }
}

// Thinning keeps every third point of paths of 150 points and more (and the last twice),
// leaves shorter paths alone, keeps zero-length paths within their room, and gives the ends
// alone when a coordinate is not a number.
TEST(CullPolyline, ThinsLongPathsOnly) {
    const struct {
        int count;
        double dx;
        int nanAt;
        int32_t kept;
    } cases[] = {{301, 1.0, -1, 102}, {150, 1.0, -1, 0}, {149, 1.0, -1, 149}, {150, 0.0, -1, 150}, {151, 0.0, -1, 151},
                 {200, 0.0, -1, 151}, {1000, 0.0, -1, 151}, {200, 1.0, 50, 2}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.count);
        std::vector<vpoint> p(static_cast<std::size_t>(c.count) + 8, vpoint{-9, -9, -9});
        for (int i = 0; i < c.count; ++i) p[static_cast<std::size_t>(i)] = {i * c.dx + 1, 2, 3};
        if (c.nanAt >= 0) p[static_cast<std::size_t>(c.nanAt)].y = std::numeric_limits<double>::quiet_NaN();
        const auto before = p;
        int32_t n = c.count;
        EXPECT_EQ(KorCullPolyline(p.data(), &n), 1);
        if (c.kept == 0) {
            // Thinned at the threshold: fewer points, from the first to the last, in order.
            EXPECT_LT(n, c.count);
            EXPECT_EQ(p[0].x, 1);
            EXPECT_EQ(p[static_cast<std::size_t>(n) - 1].x, c.count);
            for (int32_t i = 1; i < n; ++i) EXPECT_GT(p[static_cast<std::size_t>(i)].x, p[static_cast<std::size_t>(i) - 1].x);
            continue;
        }
        ASSERT_EQ(n, c.kept);
        EXPECT_EQ(p[static_cast<std::size_t>(c.count)].x, -9) << "nothing past the caller's points";
        if (c.nanAt >= 0) {
            EXPECT_EQ(p[1].x, before[static_cast<std::size_t>(c.count) - 1].x);
        } else if (c.dx != 0 && c.count >= 150) {
            for (int32_t i = 0; i + 1 < n; ++i) EXPECT_EQ(p[static_cast<std::size_t>(i)].x, 3.0 * i + 1) << i;
            EXPECT_EQ(p[static_cast<std::size_t>(n) - 1].x, before[static_cast<std::size_t>(c.count) - 1].x);
        } else if (c.dx != 0) {
            for (int i = 0; i < c.count; ++i) EXPECT_EQ(p[static_cast<std::size_t>(i)].x, before[static_cast<std::size_t>(i)].x);
        }
    }
}

}  // namespace
