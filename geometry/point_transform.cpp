// Transforms of single points: rotation about a centre, slant, reflection, 3 x 3 matrix, box test.
#include "geometry/point_transform.h"

#include "vutil/runtime.h"

namespace vutil::geometry {

void rotateAbout(double &x, double &y, double cx, double cy, double c, double s) noexcept {
    const double dx = x - cx;
    const double dy = y - cy;
    x = (dx * c - dy * s) + cx;
    y = (dx * s + dy * c) + cy;
}

void slantX(double &x, double y, double cx, double cy, double c, double s) noexcept {
    // An upright slant (cosine 1) is the common case in text and is skipped outright; a cosine of 0
    // would divide by zero.
    if (c == 0.0 || c == 1.0) {
        return;
    }
    x = (c * (x - cx) + s * (y - cy)) / c + cx;
}

void reflectInLine(double &x, double &y, double x1, double y1, double x2, double y2) noexcept {
    const double ux = x2 - x1;
    const double uy = y2 - y1;
    const double lengthSquared = ux * ux + uy * uy;
    double footX = x;
    double footY = y;
    if (lengthSquared != 0.0) {
        const double t = (ux * (x - x1) + uy * (y - y1)) / lengthSquared;
        footX = ux * t + x1;
        footY = uy * t + y1;
    }
    x = 2.0 * (footX - x) + x;
    y = 2.0 * (footY - y) + y;
}

double applyMatrixRow(std::span<const double, 9> m, int row, double x, double y, double z) noexcept {
    const auto base = static_cast<std::size_t>(row) * 3;
    return (x * m[base] + y * m[base + 1]) + z * m[base + 2];
}

bool inHalfOpenBox(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) noexcept {
    sortints(&x1, &y1, &x2, &y2);
    return x1 <= x && x < x2 && y1 <= y && y < y2;
}

}  // namespace vutil::geometry
