// Transforms of single points: rotation about a centre, slant, reflection, 3 x 3 matrix, box test.
#pragma once

#include <cstdint>
#include <span>

namespace vutil::geometry {

/// Turns (x, y) about (cx, cy) by the angle whose cosine is c and sine s (anticlockwise, y up).
void rotateAbout(double &x, double &y, double cx, double cy, double c, double s) noexcept;
/// Slants x by tan(angle) * (y - cy); a cosine of exactly 0 or exactly 1 leaves x alone.
void slantX(double &x, double y, double cx, double cy, double c, double s) noexcept;
/// Mirrors (x, y) in the line through (x1, y1) and (x2, y2); a line of two equal points leaves it alone.
void reflectInLine(double &x, double &y, double x1, double y1, double x2, double y2) noexcept;
/// One row of a row-major 3 x 3 matrix applied to (x, y, z), summed left to right.
double applyMatrixRow(std::span<const double, 9> matrix, int row, double x, double y, double z) noexcept;
/// True when (x, y) lies in the half-open box spanned by two corners given in any order.
bool inHalfOpenBox(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) noexcept;

}  // namespace vutil::geometry
