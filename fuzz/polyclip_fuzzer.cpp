// Fuzzes the polygon-against-polygon clipper with arbitrary subjects and clip polygons: counts that do
// not fit, points that are not numbers, repeated points, zero-length edges, crossings that do not
// pair. Every call ends; the counts are written only within the n places callers give them and add
// up to the result; the result replaces the caller's malloc block, which the sanitizers watch; and
// when every coordinate is a moderate number, each point that comes out lies on the visible side of
// every clip edge.
//
// With bit 5 of the flags byte the input builds a near-degenerate case instead: a simple ring whose
// vertices lie on, or at distances down to 1e-300 from, the edge lines of one of a few convex clip
// polygons, so that its sides run along them, touch them and cross them at angles down to 1e-300, in
// either direction of travel (bit 6). The area of the result must then be that of the straightforward
// clip (Sutherland-Hodgman), within rounding. The bytes after the flags: the clip polygon, the number
// of vertices, then three bytes per vertex: its clip edge, its place along the edge, its distance.
//
// Input: a flags byte (bit 0: close the clip polygon; bit 1: release the state first; bit 2: set it
// up first with the next two bytes as sizes; bit 3: a count that does not fit), a contour count byte,
// a clip size byte, one size byte per contour, then coordinates. A coordinate byte below 0xF0 picks a
// value from a small table (on and around the edges of the unit square scaled by 10, repeated values,
// values that are not numbers); from 0xF0 up, the next eight bytes are the double itself.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <vector>

#include "fuzz_reader.h"
#include "tests/geometry/clip_oracle.h"
#include "vutil/geometry.h"

namespace {

using vutil::fuzz::check;

/// The values of this harness: a byte below 0xF0 picks a coordinate from the table, others are
/// followed by the coordinate itself.
class Values {
public:
    Values(const uint8_t *data, std::size_t size) : in_(data, size) {}
    uint8_t byte() { return in_.take<uint8_t>(); }
    double coordinate() {
        constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
        constexpr double kInf = std::numeric_limits<double>::infinity();
        static const double kTable[] = {-5, -3, 0,      2,      4,   5,    6,   8,    10,   12,
                                        15, 20, 1e-300, 0.0005, 1e6, -0.0, 7.5, kNaN, kInf, -1e300};
        const uint8_t b = byte();
        return b < 0xF0 ? kTable[b % (sizeof kTable / sizeof kTable[0])] : in_.take<double>();
    }
    vpoint point() {
        const double x = coordinate(), y = coordinate();
        return {x, y, coordinate()};
    }

private:
    vutil::fuzz::Reader in_;
};

bool moderate(const vpoint &p) {
    return std::fabs(p.x) <= 1e7 && std::fabs(p.y) <= 1e7;  // false for values that are not numbers
}

/// True when p lies on the left of every clip edge that is long enough to clip, up to rounding.
bool visible(const vpoint &p, const std::vector<vpoint> &clip) {
    for (std::size_t i = 0; i < clip.size(); ++i) {
        const vpoint &a = clip[i];
        const vpoint &b = clip[(i + 1) % clip.size()];
        const double dx = b.x - a.x, dy = b.y - a.y, length = std::sqrt(dx * dx + dy * dy);
        if (length >= 1e-6 && (dx * (p.y - a.y) - dy * (p.x - a.x)) / length < -1e-6) {
            return false;
        }
    }
    return true;
}

/// The near-degenerate case (see the top): the clipper's area against the straightforward clip's.
void clipNearDegenerate(Values &in, uint8_t flags) {
    using vutil::test::Ring;
    static const Ring kClips[] = {vutil::test::xy({{0, 0}, {10, 0}, {10, 10}, {0, 10}}),
                                  vutil::test::xy({{0, 0}, {10, 3}, {4, 9}}),
                                  vutil::test::xy({{1, -2}, {9, 1}, {6, 9}, {-2, 6}})};
    static const double kAlong[] = {0, 0.2, 0.5, 0.8, 1, -0.3, 1.3, 1e-300, 1 - 1e-16};
    static const double kAcross[] = {0,     1e-300, -1e-300, 1e-200, -1e-200, 1e-100, -1e-100, 1e-20, -1e-20,
                                     1e-16, -1e-16, 1e-8,    -1e-8,  1e-3,    -1e-3,  2,      -2,     6, -6};
    const Ring &clip = kClips[in.byte() % std::size(kClips)];
    const int vertices = 3 + in.byte() % 10;
    Ring ring;
    double cx = 0, cy = 0;
    for (int i = 0; i < vertices; ++i) {
        const vpoint &a = clip[in.byte() % clip.size()];
        const vpoint &b = clip[(&a - clip.data() + 1) % clip.size()];
        const double along = kAlong[in.byte() % std::size(kAlong)], across = kAcross[in.byte() % std::size(kAcross)];
        const double dx = b.x - a.x, dy = b.y - a.y, length = std::sqrt(dx * dx + dy * dy);
        // Across is towards the inside, the left of the edge.
        ring.push_back({a.x + along * dx - across * dy / length, a.y + along * dy + across * dx / length, 1.0});
        cx += ring.back().x / vertices, cy += ring.back().y / vertices;
    }
    // Taken in order of their angle about the centroid, the vertices make a simple ring. Vertices at
    // nearly the angle of the one before are left out: rounding could put them in the wrong order,
    // and the ring would cross itself.
    const auto angle = [&](const vpoint &p) { return std::atan2(p.y - cy, p.x - cx); };
    std::stable_sort(ring.begin(), ring.end(), [&](const vpoint &p, const vpoint &q) { return angle(p) < angle(q); });
    ring.erase(std::unique(ring.begin(), ring.end(), [&](const vpoint &p, const vpoint &q) { return angle(q) - angle(p) < 1e-9; }), ring.end());
    if (ring.size() < 3) {
        return;
    }
    if (flags & 64) {
        std::reverse(ring.begin(), ring.end());
    }
    const Ring part = vutil::test::sutherlandHodgman(ring, clip);
    const double expected = vutil::test::shoelace(part.data(), part.size());
    ring.push_back(ring.front());
    auto *points = static_cast<vpoint *>(std::malloc(ring.size() * sizeof(vpoint)));
    std::copy(ring.begin(), ring.end(), points);
    std::vector<int32_t> counts(ring.size(), 0);
    counts[0] = static_cast<int32_t>(ring.size());
    int32_t *countsAt = counts.data();
    int32_t ncontours = 1;
    const int32_t count = KorClipVPolyPoly(&points, static_cast<int32_t>(ring.size()), &countsAt, &ncontours,
                                           clip.data(), static_cast<int32_t>(clip.size()));
    double area = 0;
    for (int32_t c = 0, at = 0; count > 0 && c < ncontours; at += counts[c++]) {
        check(counts[c] > 0 && at + counts[c] <= count);
        area += vutil::test::shoelace(points + at, static_cast<std::size_t>(counts[c]));
        for (int32_t i = at; i < at + counts[c]; ++i) check(visible(points[i], clip));
    }
    check(std::fabs(area - expected) < 1e-9 * 400);
    std::free(points);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Values in(data, size);
    const uint8_t flags = in.byte();
    if (flags & 32) {
        clipNearDegenerate(in, flags);
        return 0;
    }
    const int contours = 1 + in.byte() % 4;
    const int m = in.byte() % 12;
    if (flags & 2) {
        KorTermClipVPolyPoly();
    }
    if (flags & 4) {
        KorInitClipVPolyPoly(in.byte(), in.byte());
    }
    std::vector<int32_t> sizes;
    int32_t n = 0;
    for (int c = 0; c < contours; ++c) {
        sizes.push_back(in.byte() % 40);
        n += sizes.back();
    }
    std::vector<vpoint> subject;
    for (int32_t i = 0; i < n; ++i) {
        subject.push_back(in.point());
    }
    std::vector<vpoint> clip;
    for (int i = 0; i < m; ++i) {
        clip.push_back(in.point());
    }
    if ((flags & 1) && m > 0) {
        clip.push_back(clip.front());
    }
    if (flags & 8) {
        sizes[0] += static_cast<int8_t>(in.byte());
    }

    // The caller's side: a malloc block of n points, counts with room for n contours.
    auto *points = static_cast<vpoint *>(std::malloc(subject.size() * sizeof(vpoint) + 1));
    std::copy(subject.begin(), subject.end(), points);
    std::vector<int32_t> countsRoom(static_cast<std::size_t>(std::max(n, contours)));
    std::copy(sizes.begin(), sizes.end(), countsRoom.begin());
    auto *counts = new int32_t[countsRoom.size()];
    std::copy(countsRoom.begin(), countsRoom.end(), counts);
    int32_t *countsAt = counts;
    int32_t ncontours = contours;
    const int32_t count =
        KorClipVPolyPoly(&points, n, &countsAt, &ncontours, clip.data(), static_cast<int32_t>(clip.size()));
    check(countsAt == counts && count >= 0);
    if (count > 0) {
        check(ncontours >= 1 && ncontours <= n);
        int64_t sum = 0;
        for (int32_t c = 0; c < ncontours; ++c) {
            check(counts[c] >= 0);  // empty contours pass unchanged when no clip edge is long enough
            sum += counts[c];
        }
        check(sum == count);
        bool sane = true;
        for (const vpoint &p : subject) sane = sane && moderate(p);
        for (const vpoint &p : clip) sane = sane && moderate(p);
        for (int32_t i = 0; sane && i < count; ++i) {
            check(visible(points[i], clip));
        }
    }
    delete[] counts;
    std::free(points);
    if (flags & 16) {
        KorTermClipVPolyPoly();
    }
    return 0;
}
