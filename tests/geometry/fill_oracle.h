// The straightforward polygon fill, edge by edge on every scan line: the reference for FillPolygon.
//
// It takes every edge of the polygon on every line, exactly as the fill is defined, with the counted
// flags per vertex and the sorted crossings paired by count. Tests, the fuzz harness and the
// benchmark compare the library's edge-table fill with it call for call.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "vutil/geometry.h"

namespace vutil::test {

/// One callback call of a fill: a segment ('S') or a rectangle ('R') with its two points.
struct FillCall {
    char kind;
    ipoint a, b;
    friend bool operator==(const FillCall &l, const FillCall &r) {
        return l.kind == r.kind && l.a.x == r.a.x && l.a.y == r.a.y && l.b.x == r.b.x && l.b.y == r.b.y;
    }
};

/// Fills the polygon edge by edge; sink(kind, a, b) receives each call. withRect says whether a
/// rectangle callback is given.
template <typename Sink> void referenceFill(const ipoint *p, int32_t n, int32_t step, bool withRect, Sink &&sink) {
    if (p == nullptr || n < 2) return;
    step = std::max(step, 1);
    const auto count = static_cast<std::size_t>(n);
    std::vector<double> slope(count, 0.0);
    std::vector<char> counted(count, 0);
    std::vector<int32_t> crossings;
    crossings.reserve(count);
    int32_t ymin = p[0].y, ymax = p[0].y;
    for (int32_t i = 0; i < n; ++i) {
        ymin = std::min(ymin, p[i].y), ymax = std::max(ymax, p[i].y);
        if (i > 0 && p[i].y != p[i - 1].y) slope[i] = double(int64_t{p[i].x} - p[i - 1].x) / double(int64_t{p[i].y} - p[i - 1].y);
    }
    if (n == 5 && withRect &&
        ((p[0].x == p[3].x && p[1].x == p[2].x && p[0].y == p[1].y && p[2].y == p[3].y) ||
         (p[0].y == p[3].y && p[1].y == p[2].y && p[0].x == p[1].x && p[2].x == p[3].x))) return sink('R', p[0], p[2]);
    const auto scan = [&](int64_t y) {
        std::fill(counted.begin(), counted.end(), 0);
        crossings.clear();
        for (int32_t i = 0; i + 1 < n; ++i) {
            const ipoint a = p[i], b = p[i + 1];
            const int64_t yp = i == 0 ? p[n - 2].y : p[i - 1].y, yn = i == n - 2 ? p[n - 2].y : p[i + 2].y;
            const auto at = static_cast<std::size_t>(i);
            if (a.y == y && b.y == y) {
                sink('S', a, b);
                if (((yp > y && yn < y) || (yp < y && yn > y)) && i != 0) crossings.push_back(a.x), sink('S', a, b);
            } else if (a.y == y) {
                if ((yp < y && b.y < y) || (yp > y && b.y > y) || counted[at]) continue;
                crossings.push_back(a.x);
                counted[at] = counted[i == 0 ? count - 1 : at] = 1;
            } else if (b.y == y) {
                if ((a.y < y && yn < y) || (a.y > y && yn > y) || counted[at + 1]) continue;
                crossings.push_back(b.x);
                counted[at + 1] = counted[i + 1 == n - 1 ? 0 : at + 1] = 1;
            } else if ((a.y < y && y < b.y) || (b.y < y && y < a.y)) {
                crossings.push_back(static_cast<int32_t>(static_cast<double>(y - a.y) * slope[at + 1] + a.x));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        const auto line = static_cast<int32_t>(y);
        for (std::size_t k = 0; k + 1 < crossings.size(); k += 2) sink('S', ipoint{crossings[k], line}, ipoint{crossings[k + 1], line});
    };
    if (ymin == ymax || int64_t{ymin} + step == ymax) return scan(int64_t{ymin} + step);
    for (int64_t y = int64_t{ymin} + step; y < ymax; y += step) scan(y);
}

/// The reference fill's calls as a list.
inline std::vector<FillCall> referenceCalls(const std::vector<ipoint> &points, int32_t step, bool withRect) {
    std::vector<FillCall> calls;
    referenceFill(points.data(), static_cast<int32_t>(points.size()), step, withRect,
                  [&calls](char kind, ipoint a, ipoint b) { calls.push_back(FillCall{kind, a, b}); });
    return calls;
}

/// A fill callback that records its call, of the given kind, in the vector the context points to.
template <char Kind> void recordCall(intptr_t context, intptr_t, const ipoint *a, const ipoint *b, intptr_t) {
    reinterpret_cast<std::vector<FillCall> *>(context)->push_back(FillCall{Kind, *a, *b});
}

/// The library fill's calls as a list, through FillPolygon and recording callbacks.
inline std::vector<FillCall> libraryCalls(const std::vector<ipoint> &points, int32_t step, bool withRect) {
    std::vector<FillCall> calls;
    FillPolygon(reinterpret_cast<intptr_t>(&calls), 0, points.data(), static_cast<int32_t>(points.size()), step, 0,
                recordCall<'S'>, withRect ? recordCall<'R'> : nullptr);
    return calls;
}

}  // namespace vutil::test
