// Curves and arcs: Bezier points and samples, the circle through three points, arcs in angle steps.
#include "geometry/curves.h"

#include <cmath>

#include "vutil/runtime.h"

namespace vutil::geometry {
namespace {

/// Chords whose ends differ in y by less than this count as horizontal.
constexpr double kFlatChord = 0.001;
/// Bisector slopes closer than this mean the three points are taken as collinear.
constexpr double kParallel = 0.001;

/// The binomial coefficient (k - 1 over i), as the product (i + 1) ... (k - 1) divided in turn by 1,
/// 2, ... k - 1 - i, in 32-bit integers; exact up to kExactBezierPoints.
int32_t binomial(int32_t k, int32_t i) noexcept {
    int32_t product = 1;
    for (int32_t f = i + 1; f <= k - 1; ++f) {
        product *= f;
    }
    for (int32_t d = 1; d <= k - 1 - i; ++d) {
        product /= d;
    }
    return product;
}

/// Curves of more control points, whose binomials would overflow 32 bits (and whose weights cost
/// time in the square of their length), are evaluated in one pass in double precision: the
/// Bernstein sum nested as in Horner's rule, each weight C(n, i) t^i carried over from the last.
/// Beyond t = 1/2 the curve is walked from its other end, so that the weights stay small and both
/// ends come out exactly; weights of curves of thousands of points may still overflow.
vpoint longBezierPoint(double t, std::span<const vpoint> control) noexcept {
    const std::size_t n = control.size() - 1;
    const bool reversed = t > 0.5;
    const auto at = [&](std::size_t i) -> const vpoint & { return control[reversed ? n - i : i]; };
    const double u = reversed ? 1.0 - t : t;
    const double s = 1.0 - u;
    double weight = 1.0;
    vpoint sum{at(0).x * s, at(0).y * s, at(0).z * s};
    for (std::size_t i = 1; i < n; ++i) {
        weight = weight * u * static_cast<double>(n - i + 1) / static_cast<double>(i);
        sum.x = (sum.x + weight * at(i).x) * s;
        sum.y = (sum.y + weight * at(i).y) * s;
        sum.z = (sum.z + weight * at(i).z) * s;
    }
    const double last = weight * u / static_cast<double>(n);
    return vpoint{sum.x + last * at(n).x, sum.y + last * at(n).y, sum.z + last * at(n).z};
}

}  // namespace

vpoint bezierPoint(double t, std::span<const vpoint> control) noexcept {
    if (control.size() > static_cast<std::size_t>(kExactBezierPoints)) {
        return longBezierPoint(t, control);
    }
    vpoint out{0.0, 0.0, 0.0};
    const auto k = static_cast<int32_t>(control.size());
    for (int32_t i = 0; i < k; ++i) {
        double weight = static_cast<double>(binomial(k, i));
        for (int32_t j = 0; j < i; ++j) {
            weight *= t;
        }
        for (int32_t j = 0; j < k - 1 - i; ++j) {
            weight *= 1.0 - t;
        }
        const vpoint &p = control[static_cast<std::size_t>(i)];
        out.x += weight * p.x;
        out.y += weight * p.y;
        out.z += weight * p.z;
    }
    return out;
}

void bezierSamples(std::span<vpoint> out, std::span<const vpoint> control) noexcept {
    const auto steps = static_cast<int32_t>(out.size());
    for (int32_t s = 0; s < steps; ++s) {
        out[static_cast<std::size_t>(s)] = bezierPoint(static_cast<double>(s) / static_cast<double>(steps), control);
    }
}

Circle circleThrough(double x1, double y1, double x2, double y2, double x3, double y3) noexcept {
    const bool flat12 = std::fabs(y1 - y2) < kFlatChord;
    const bool flat23 = std::fabs(y2 - y3) < kFlatChord;
    double cx;
    double cy;
    if (flat12 && flat23) {
        return {0.0, 0.0, -1.0};
    }
    if (flat12) {
        const double m2 = -(x3 - x2) / (y3 - y2);
        cx = (x1 + x2) * 0.5;
        cy = (cx - (x3 + x2) * 0.5) * m2 + (y3 + y2) * 0.5;
    } else if (flat23) {
        const double m1 = -(x1 - x2) / (y1 - y2);
        cx = (x3 + x2) * 0.5;
        cy = (cx - (x1 + x2) * 0.5) * m1 + (y1 + y2) * 0.5;
    } else {
        const double m1 = -(x1 - x2) / (y1 - y2);
        const double m2 = -(x3 - x2) / (y3 - y2);
        const double mx12 = (x1 + x2) * 0.5;
        const double my12 = (y1 + y2) * 0.5;
        const double mx23 = (x3 + x2) * 0.5;
        const double my23 = (y3 + y2) * 0.5;
        if (std::fabs(m1 - m2) < kParallel) {
            return {0.0, 0.0, -1.0};
        }
        cx = (my23 - my12 + m1 * mx12 - m2 * mx23) / (m1 - m2);
        cy = (cx - mx12) * m1 + my12;
    }
    const double dx = cx - x2;
    const double dy = cy - y2;
    const double sum = dx * dx + dy * dy;
    return {cx, cy, sum > 0.0 ? std::sqrt(sum) : 0.0};
}

int32_t arcPoints(vpoint *out, const vpoint &centre, double rx, double ry, double a0, double a1, double step,
                  int32_t maxpts) noexcept {
    // The end angle is brought past the start by whole turns, added one at a time as the angles of
    // stored drawings always were; an end that cannot be brought there (infinite, or too far or too
    // large for a turn to move it) makes the arc end where it starts.
    int32_t turns = 0;
    while (a1 < a0) {
        if (turns == kMaxArcTurns) {
            a1 = a0;
            break;
        }
        a1 += kTwoPi;
        ++turns;
    }
    int32_t count = 0;
    double a = a0;
    while (count < maxpts && a <= a1) {
        out[count++] = vpoint{centre.x + rx * KOR_Cos(a), centre.y + ry * KOR_Sin(a), centre.z};
        a += step;
    }
    const vpoint end{centre.x + rx * KOR_Cos(a1), centre.y + ry * KOR_Sin(a1), centre.z};
    if (count >= 2) {
        out[count - 1] = end;
    } else if (count == 1) {
        out[count++] = end;
    }
    return count;
}

}  // namespace vutil::geometry
