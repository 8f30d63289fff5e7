// The straightforward clip against a convex polygon (Sutherland-Hodgman, one edge at a time) and the
// shoelace area, the reference for the areas of KorClipVPolyPoly's results; and a caller's subject.
//
// A polygon clipped this way may come out as one outline whose pieces are joined by runs along the
// clip edges, but its signed area is exactly that of the intersection, which is all it is used for.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <vector>

#include "vutil/geometry.h"

namespace vutil::test {

/// A polygon as its vertices, without repeating the first at the end.
using Ring = std::vector<vpoint>;
using Contours = std::vector<std::vector<vpoint>>;

inline std::vector<vpoint> xy(std::initializer_list<std::pair<double, double>> list, double z = 0.0) {
    std::vector<vpoint> c;
    for (const auto &[x, y] : list) c.push_back({x, y, z});
    return c;
}

/// True when the contours have the same points in x and y, to a rounding.
inline bool sameXY(const Contours &a, const Contours &b) {
    const auto near = [](const vpoint &p, const vpoint &q) { return std::fabs(p.x - q.x) < 1e-12 && std::fabs(p.y - q.y) < 1e-12; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const auto &c, const auto &d) { return std::equal(c.begin(), c.end(), d.begin(), d.end(), near); });
}

/// Signed area of the points taken as a closed polygon (positive counter-clockwise, y up).
inline double shoelace(const vpoint *p, std::size_t count) {
    double twice = 0.0;
    for (std::size_t i = 0; i < count; ++i) twice += p[i].x * p[(i + 1) % count].y - p[(i + 1) % count].x * p[i].y;
    return twice / 2.0;
}

/// Keeps the part of the ring on the left of each edge of the convex counter-clockwise `clip`.
inline Ring sutherlandHodgman(Ring ring, const Ring &clip) {
    for (std::size_t e = 0; e < clip.size(); ++e) {
        const vpoint &a = clip[e], &b = clip[(e + 1) % clip.size()];
        const auto side = [&](const vpoint &p) { return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x); };
        Ring out;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const vpoint &p = ring[i], &q = ring[(i + 1) % ring.size()];
            if (side(p) >= 0) out.push_back(p);
            if ((side(p) >= 0) != (side(q) >= 0)) {
                const double t = side(p) / (side(p) - side(q));
                out.push_back({p.x + t * (q.x - p.x), p.y + t * (q.y - p.y), 0.0});
            }
        }
        ring = out;
    }
    return ring;
}

/// A subject as a caller holds it: the points in a malloc block, and a counts array of `room` places
/// followed by guards that KorClipVPolyPoly must never write.
struct CallerSubject {
    static constexpr int32_t kGuard = -777;
    vpoint *points = nullptr;
    int32_t n = 0, ncontours = 0;
    std::vector<int32_t> counts;
    std::size_t room;

    explicit CallerSubject(const Contours &contours, std::size_t countsRoom = 8) : room(countsRoom) {
        std::vector<vpoint> all;
        for (const auto &c : contours) {
            counts.push_back(static_cast<int32_t>(c.size()));
            all.insert(all.end(), c.begin(), c.end());
        }
        counts.resize(room + 4, kGuard);
        n = static_cast<int32_t>(all.size()), ncontours = static_cast<int32_t>(contours.size());
        points = static_cast<vpoint *>(std::malloc((all.size() + 1) * sizeof(vpoint)));
        std::copy(all.begin(), all.end(), points);
    }
    ~CallerSubject() { std::free(points); }
    CallerSubject(const CallerSubject &) = delete;
    CallerSubject &operator=(const CallerSubject &) = delete;

    /// Clips with the m points at `clip`; false when a guard behind the counts was written.
    int32_t clip(const vpoint *clip, std::size_t m, bool *guardsIntact = nullptr) {
        int32_t *at = counts.data();
        const int32_t r = KorClipVPolyPoly(&points, n, &at, &ncontours, clip, static_cast<int32_t>(m));
        bool intact = at == counts.data();
        for (std::size_t i = room; i < counts.size(); ++i) intact = intact && counts[i] == kGuard;
        if (guardsIntact != nullptr) *guardsIntact = intact;
        n = r > 0 ? r : n;
        return r;
    }
    /// The contours the counts describe, or nothing when they do not add up to n.
    Contours contours() const {
        Contours out;
        int32_t at = 0;
        for (int32_t c = 0; c < ncontours && counts[c] > 0 && at + counts[c] <= n; at += counts[c++]) out.emplace_back(points + at, points + at + counts[c]);
        return at == n ? out : Contours();
    }
};

}  // namespace vutil::test
