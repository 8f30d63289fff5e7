// Clipping of point lists to a closed window by four half-plane passes, and thinning of long polylines.
#include "geometry/poly_clip.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <new>

#include "geometry/numeric.h"

namespace vutil::geometry {
namespace {

enum class Axis { kX, kY };
enum class Side { kLower, kUpper };

/// Coordinate access for one half-plane: `along` is the coordinate tested against the edge, `across`
/// the other one.
template <Axis axis, typename Point>
auto along(const Point &p) noexcept {
    if constexpr (axis == Axis::kX) {
        return p.x;
    } else {
        return p.y;
    }
}
template <Axis axis, typename Point>
auto across(const Point &p) noexcept {
    if constexpr (axis == Axis::kX) {
        return p.y;
    } else {
        return p.x;
    }
}

/// Point rules of the integer lists: the crossing is truncated toward zero, differences are exact.
struct IntRules {
    using Point = ipoint;
    using Coord = int32_t;
    static bool samePlace(const ipoint &a, const ipoint &b) noexcept { return a.x == b.x && a.y == b.y; }

    /// The crossing with the edge line along == e, computed from the endpoint `from`; always made.
    template <Axis axis>
    static bool crossing(const ipoint &from, const ipoint &p1, const ipoint &p2, int32_t e, ipoint &q) noexcept {
        const double slope =
            difference(across<axis>(p2), across<axis>(p1)) / difference(along<axis>(p2), along<axis>(p1));
        const int32_t other = truncateToInt32(difference(e, along<axis>(from)) * slope + across<axis>(from));
        if constexpr (axis == Axis::kX) {
            q = ipoint{e, other};
        } else {
            q = ipoint{other, e};
        }
        return true;
    }
};

/// Point rules of the vpoint lists: unrounded doubles; z interpolated along the segment.
struct RealRules {
    using Point = vpoint;
    using Coord = double;
    static bool samePlace(const vpoint &a, const vpoint &b) noexcept { return a.x == b.x && a.y == b.y; }

    /// The crossing as for integers; false when it is not finite (coordinates that are infinite or not
    /// numbers), so that no such point reaches the output.
    template <Axis axis>
    static bool crossing(const vpoint &from, const vpoint &p1, const vpoint &p2, double e, vpoint &q) noexcept {
        const double run = along<axis>(p2) - along<axis>(p1);
        const double slope = (across<axis>(p2) - across<axis>(p1)) / run;
        double other = (e - along<axis>(from)) * slope + across<axis>(from);
        if (!std::isfinite(other)) {
            return false;
        }
        // The crossing lies between the segment's ends. Rounding can put it beyond them (a slope
        // that underflows, or the difference of two coordinates far larger than the result), and
        // so outside an edge that an earlier pass kept: it is held to their span.
        other = std::clamp(other, std::fmin(across<axis>(p1), across<axis>(p2)),
                           std::fmax(across<axis>(p1), across<axis>(p2)));
        const double z = (e - along<axis>(from)) * ((p2.z - p1.z) / run) + from.z;
        if constexpr (axis == Axis::kX) {
            q = vpoint{e, other, z};
        } else {
            q = vpoint{other, e, z};
        }
        return true;
    }
};

/// Output of one pass: appends up to a fixed room and remembers whether more was wanted.
template <typename Point>
class PassOutput {
public:
    PassOutput(Point *points, std::size_t room) noexcept : points_(points), room_(room) {}
    void append(const Point &p) noexcept {
        if (count_ == room_) {
            overflow_ = true;
            return;
        }
        points_[count_++] = p;
    }
    std::size_t count() const noexcept { return count_; }
    bool overflow() const noexcept { return overflow_; }
    const Point &last() const noexcept { return points_[count_ - 1]; }
    const Point &first() const noexcept { return points_[0]; }

private:
    Point *points_;
    std::size_t room_;
    std::size_t count_ = 0;
    bool overflow_ = false;
};

/// The result of a pass: the new count, or overflow when it needed more room than it had.
struct PassResult {
    int32_t count;
    bool overflow;
};

/// One half-plane pass from `in` (n points) to `out` (room points). The last-to-first segment is not
/// visited; a closed list already repeats its first point, and the pass keeps it closed.
template <typename Rules, Axis axis, Side side>
PassResult edgePass(const typename Rules::Point *in, int32_t n, typename Rules::Point *out, std::size_t room,
                    typename Rules::Coord e) noexcept {
    using Point = typename Rules::Point;
    if (n < 2) {
        return {n, false};
    }
    const auto inside = [e](const Point &p) noexcept {
        if constexpr (side == Side::kLower) {
            return along<axis>(p) >= e;
        } else {
            return along<axis>(p) <= e;
        }
    };
    const bool closed = Rules::samePlace(in[0], in[n - 1]);
    PassOutput<Point> output(out, room);
    for (int32_t i = 0; i + 1 < n && !output.overflow(); ++i) {
        const Point &p1 = in[i];
        const Point &p2 = in[i + 1];
        const bool inside1 = inside(p1);
        const bool inside2 = inside(p2);
        Point a;
        Point b;
        if (inside1 && inside2) {
            a = p1;
            b = p2;
        } else if (inside1) {
            a = p1;
            if (!Rules::template crossing<axis>(p1, p1, p2, e, b)) {
                continue;
            }
        } else if (inside2) {
            b = p2;
            if (!Rules::template crossing<axis>(p2, p1, p2, e, a)) {
                continue;
            }
        } else {
            continue;
        }
        if (output.count() == 0 || !Rules::samePlace(output.last(), a)) {
            output.append(a);
        }
        output.append(b);
    }
    if (closed && output.count() > 0 && !Rules::samePlace(output.last(), output.first())) {
        output.append(output.first());
    }
    return {static_cast<int32_t>(output.count()), output.overflow()};
}

/// Work area of a clip: a fixed area in the call's frame for short lists, the heap for longer ones.
template <typename Point>
class WorkArea {
public:
    explicit WorkArea(int32_t n) noexcept {
        if (n <= kSmallClipList) {
            points_ = fixed_;
            room_ = kSmallClipArea;
        } else {
            room_ = 2 * static_cast<std::size_t>(n) + 4;
            heap_.reset(new (std::nothrow) Point[room_]);
            points_ = heap_.get();
        }
    }
    Point *data() const noexcept { return points_; }
    std::size_t room() const noexcept { return room_; }

private:
    Point fixed_[kSmallClipArea];
    std::unique_ptr<Point[]> heap_;
    Point *points_ = nullptr;
    std::size_t room_ = 0;
};

template <typename Rules, typename Coord>
int32_t clipList(typename Rules::Point *points, int32_t n, Coord xmin, Coord ymin, Coord xmax, Coord ymax) noexcept {
    using Point = typename Rules::Point;
    WorkArea<Point> work(n);
    if (work.data() == nullptr) {
        return 0;
    }
    // The caller's array holds 2n + 4 points; the passes that write into it never go beyond. The first two passes
    // always fit: after them a point inside both edges stays itself, and a point outside gives at most the
    // crossings of its two segments and the corner between them, three only where both its neighbours lie inside;
    // so at most 2n - 1 points, 2n + 2 with the closing ones. The last two passes can run out of room (a star traced
    // twice, whose every edge crosses the window); the clip is then refused.
    const std::size_t callerRoom = n > 0 ? 2 * static_cast<std::size_t>(n) + 4 : 0;
    PassResult r = edgePass<Rules, Axis::kX, Side::kLower>(points, n, work.data(), work.room(), xmin);
    if (!r.overflow) {
        r = edgePass<Rules, Axis::kY, Side::kLower>(work.data(), r.count, points, callerRoom, ymin);
    }
    if (!r.overflow) {
        r = edgePass<Rules, Axis::kY, Side::kUpper>(points, r.count, work.data(), work.room(), ymax);
    }
    if (!r.overflow) {
        r = edgePass<Rules, Axis::kX, Side::kUpper>(work.data(), r.count, points, callerRoom, xmax);
    }
    return r.overflow ? 0 : r.count;
}

}  // namespace

int32_t clipPointList(ipoint *points, int32_t n, const IntWindow &w) noexcept {
    return clipList<IntRules>(points, n, w.xmin, w.ymin, w.xmax, w.ymax);
}

int32_t clipPointList(vpoint *points, int32_t n, const RealWindow &w) noexcept {
    // Lists whose bounding box misses the window are rejected before any pass; the start values
    // reject an empty list too.
    double minX = 1e12;
    double minY = 1e12;
    double maxX = -1e12;
    double maxY = -1e12;
    for (int32_t i = 0; i < n; ++i) {
        const vpoint &p = points[i];
        if (p.x < minX) {
            minX = p.x;
        }
        if (p.x > maxX) {
            maxX = p.x;
        }
        if (p.y < minY) {
            minY = p.y;
        }
        if (p.y > maxY) {
            maxY = p.y;
        }
    }
    if (minX > w.xmax || maxX < w.xmin || minY > w.ymax || maxY < w.ymin) {
        return 0;
    }
    // No edge pass clips a single point, and the box above cannot judge one beyond its start values
    // or against a window edge that is not a number: the point itself is tested.
    if (n == 1) {
        const vpoint &p = points[0];
        return p.x >= w.xmin && p.x <= w.xmax && p.y >= w.ymin && p.y <= w.ymax ? 1 : 0;
    }
    return clipList<RealRules>(points, n, w.xmin, w.ymin, w.xmax, w.ymax);
}

void cullPolyline(vpoint *points, int32_t &n) noexcept {
    const int32_t count = n;
    if (count < kCullThreshold) {
        return;
    }
    std::unique_ptr<float[]> lengths(new (std::nothrow) float[static_cast<std::size_t>(count)]);
    if (!lengths) {
        return;  // Without room for the lengths the path stays as it is.
    }
    lengths[0] = 0.0f;
    float total = 0.0f;
    for (int32_t i = 1; i < count; ++i) {
        const double dx = points[i].x - points[i - 1].x;
        const double dy = points[i].y - points[i - 1].y;
        const double dz = points[i].z - points[i - 1].z;
        lengths[i] = static_cast<float>(std::sqrt(dx * dx + dy * dy + dz * dz));
        total += lengths[i];
    }
    const float step = total / static_cast<float>(kCullSamples);

    // The thinned path never holds more than its area nor more points than the input had; one place
    // is always kept for the last point.
    const int32_t room = std::min(kCullArea, count);
    vpoint thinned[kCullArea];
    int32_t written = 0;
    thinned[written++] = points[0];
    float accumulated = 0.0f;
    for (int32_t i = 1; i < count && written < room - 1; ++i) {
        if (accumulated >= step) {
            thinned[written++] = points[i];
            accumulated = 0.0f;
        } else {
            accumulated += lengths[i];
        }
    }
    thinned[written++] = points[count - 1];
    std::copy(thinned, thinned + written, points);
    n = written;
}

}  // namespace vutil::geometry
