// Fuzzes the clippers, the polyline thinning, the arc walk and Bezier curves with arbitrary coordinates: results stay
// in their bounds, clipped points lie in the window, nothing is written beyond the caller's arrays
// (the arrays are allocated to their exact size, so the sanitizers see any overrun), nothing hangs.
//
// Input: one mode byte, then the mode's values read in order (missing bytes read as 0).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_reader.h"
#include "vutil/geometry.h"

namespace {

using vutil::fuzz::check;
using vutil::fuzz::Reader;

struct IntWindow {
    int32_t xmin, ymin, xmax, ymax;
    bool contains(const ipoint &p, int32_t slack) const {
        return int64_t{p.x} >= int64_t{xmin} - slack && int64_t{p.x} <= int64_t{xmax} + slack &&
               int64_t{p.y} >= int64_t{ymin} - slack && int64_t{p.y} <= int64_t{ymax} + slack;
    }
};

IntWindow takeWindow(Reader &in) {
    IntWindow w{in.take<int32_t>(), in.take<int32_t>(), in.take<int32_t>(), in.take<int32_t>()};
    return w;
}

void clipLine(Reader &in) {
    const ipoint a{in.take<int32_t>(), in.take<int32_t>()};
    const ipoint b{in.take<int32_t>(), in.take<int32_t>()};
    const IntWindow w = takeWindow(in);
    ipoint o1{}, o2{};
    const int32_t r = KorClipLine(a.x, a.y, b.x, b.y, &o1, &o2, w.xmin, w.ymin, w.xmax, w.ymax);
    check(r == 0 || r == 1);
    if (r == 1) {
        check(w.contains(o1, 0) && w.contains(o2, 0));
    }
}

/// Largest finite magnitude among the x and y values given: computed crossings are exact up to a
/// rounding proportional to the coordinates they come from.
double magnitude(const vpoint *points, int32_t n, const vpoint &lo, const vpoint &hi) {
    double largest = 1.0;
    const auto take = [&largest](double v) {
        if (std::isfinite(v)) largest = std::fmax(largest, std::fabs(v));
    };
    for (int32_t i = 0; i < n; ++i) {
        take(points[i].x);
        take(points[i].y);
    }
    for (const vpoint *p : {&lo, &hi}) {
        take(p->x);
        take(p->y);
    }
    return largest;
}

bool inside(const vpoint &p, const vpoint &lo, const vpoint &hi, double scale) {
    const double slack = 1e-12 * scale;
    return p.x >= lo.x - slack && p.x <= hi.x + slack && p.y >= lo.y - slack && p.y <= hi.y + slack;
}

vpoint takeVPoint(Reader &in) {
    return vpoint{in.take<double>(), in.take<double>(), in.take<double>()};
}

void clipVLine(Reader &in) {
    const vpoint a = takeVPoint(in), b = takeVPoint(in), lo = takeVPoint(in), hi = takeVPoint(in);
    vpoint o1{}, o2{};
    const int32_t r = KorClipVLine(a, b, &o1, &o2, lo, hi);
    check(r == 0 || r == 1);
    if (r == 1) {
        const vpoint ends[2] = {a, b};
        const double scale = magnitude(ends, 2, lo, hi);
        check(inside(o1, lo, hi, scale) && inside(o2, lo, hi, scale));
    }
}

void clipPoly(Reader &in) {
    const IntWindow w = takeWindow(in);
    const int32_t n = in.take<uint8_t>() % 80;
    const std::size_t room = 2 * static_cast<std::size_t>(n) + 4;
    std::unique_ptr<ipoint[]> points(new ipoint[room]);
    for (int32_t i = 0; i < n; ++i) {
        points[static_cast<std::size_t>(i)] = ipoint{in.take<int32_t>(), in.take<int32_t>()};
    }
    const int32_t count = KorClipPoly(points.get(), n, w.xmin, w.ymin, w.xmax, w.ymax);
    check(count >= 0 && static_cast<std::size_t>(count) <= room);
    if (n >= 2) {
        // Crossings are truncated toward zero, which can take them one unit past an edge.
        for (int32_t i = 0; i < count; ++i) {
            check(w.contains(points[static_cast<std::size_t>(i)], 1));
        }
    }
}

void clipVPoly(Reader &in) {
    const vpoint lo = takeVPoint(in), hi = takeVPoint(in);
    const int32_t n = in.take<uint8_t>() % 80;
    const std::size_t room = 2 * static_cast<std::size_t>(n) + 4;
    std::unique_ptr<vpoint[]> points(new vpoint[room]);
    for (int32_t i = 0; i < n; ++i) {
        points[static_cast<std::size_t>(i)] = takeVPoint(in);
    }
    const int32_t count = KorClipVPoly(points.get(), n, lo, hi);
    check(count >= 0 && static_cast<std::size_t>(count) <= room);
    const bool soundWindow = lo.x <= hi.x && lo.y <= hi.y && std::isfinite(lo.x) && std::isfinite(hi.x) &&
                             std::isfinite(lo.y) && std::isfinite(hi.y);
    if (n >= 1 && soundWindow) {
        for (int32_t i = 0; i < count; ++i) {
            // Exactly inside: crossings lie on their edge and between their segment's ends.
            check(inside(points[static_cast<std::size_t>(i)], lo, hi, 0));
        }
    }
}

void cull(Reader &in) {
    const int32_t n = 150 + in.take<uint8_t>() * 2;
    std::vector<double> values;
    while (in.left() >= sizeof(double) && values.size() < 64) {
        values.push_back(in.take<double>());
    }
    std::unique_ptr<vpoint[]> points(new vpoint[static_cast<std::size_t>(n)]);
    for (int32_t i = 0; i < n; ++i) {
        const double base = values.empty() ? 0.0 : values[static_cast<std::size_t>(i) % values.size()];
        points[static_cast<std::size_t>(i)] = vpoint{base + (i % 3), base, static_cast<double>(i % 2)};
    }
    int32_t count = n;
    check(KorCullPolyline(points.get(), &count) == 1);
    check(count >= 2 && count <= 151 && count <= n);
}

void arc(Reader &in) {
    const vpoint centre = takeVPoint(in);
    const double rx = in.take<double>(), ry = in.take<double>();
    const double a0 = in.take<double>(), a1 = in.take<double>(), step = in.take<double>();
    const int32_t maxpts = static_cast<int32_t>(in.take<uint8_t>() % 70) - 3;
    const auto room = static_cast<std::size_t>(maxpts > 2 ? maxpts : 2);
    std::unique_ptr<vpoint[]> out(new vpoint[room]);
    const int32_t count = get_arc_points(out.get(), &centre, rx, ry, a0, a1, step, maxpts);
    check(count >= 0 && static_cast<std::size_t>(count) <= room);
}

void bezier(Reader &in) {
    const double t = in.take<double>();
    const int32_t k = in.take<uint16_t>() % 3000;
    std::vector<vpoint> control(static_cast<std::size_t>(k));
    for (vpoint &p : control) {
        p = in.left() >= sizeof(double) ? takeVPoint(in) : vpoint{1.0, 2.0, 3.0};
    }
    vpoint out;
    BezierPoint(&out, t, k, control.data());
    vpoint samples[8];
    Bezier(samples, 8, control.data(), k);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) {
        return 0;
    }
    Reader in(data + 1, size - 1);
    switch (data[0] % 7) {
        case 0:
            clipLine(in);
            break;
        case 1:
            clipVLine(in);
            break;
        case 2:
            clipPoly(in);
            break;
        case 3:
            clipVPoly(in);
            break;
        case 4:
            cull(in);
            break;
        case 5:
            arc(in);
            break;
        default:
            bezier(in);
            break;
    }
    return 0;
}
