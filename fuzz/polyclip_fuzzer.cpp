// Fuzzes the polygon-against-polygon clipper with arbitrary subjects and clip polygons: counts that do
// not fit, points that are not numbers, repeated points, zero-length edges, crossings that do not
// pair. Every call ends; the counts are written only within the n places callers give them and add
// up to the result; the result replaces the caller's malloc block, which the sanitizers watch; and
// when every coordinate is a moderate number, each point that comes out lies on the visible side of
// every clip edge.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    Values in(data, size);
    const uint8_t flags = in.byte();
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
