// View matrices: a rotation with an offset, a twist about one axis, and the world-to-view frame of a direction.
#pragma once

#include <span>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// Wraps a row-major 3 x 3 rotation and an offset into a matrix and flags it from the rotation's entries.
void buildViewMatrix(hmatrix &out, std::span<const double, 9> rotation, double tx, double ty, double tz) noexcept;
/// A rotation about the first axis (x, then y, then z) whose angle is not exactly 0; the others are ignored.
void buildTwistMatrix(hmatrix &out, double ax, double ay, double az) noexcept;
/// The matrix taking world coordinates into the frame of a view looking along (dx, dy, dz), whose x axis
/// follows the arbitrary axis rule of drawing exchange files; a positive twist then turns the view
/// anticlockwise about its z axis (a negative one is ignored).
void buildWorldToView(hmatrix &out, double dx, double dy, double dz, double twist) noexcept;

}  // namespace vutil::geometry
