// Homogeneous 4 x 4 transforms: building, flags, products, point transforms and determinants.
#pragma once

#include <cstdint>
#include <span>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// Entries closer than this (strictly) count as equal when the flags are derived.
inline constexpr double kMatrixTolerance = 0.001;

/// True when |value| is below the tolerance.
inline bool nearZero(double value) noexcept {
    return value < kMatrixTolerance && value > -kMatrixTolerance;
}
/// True when value lies within the tolerance of 1. Compared with the bounds themselves, so that
/// 0.999 and 1.001 both fail, as a difference of exactly 0.001 must (1.001 - 1 in doubles falls
/// just short of 0.001).
inline bool nearOne(double value) noexcept {
    return value > 0.999 && value < 1.001;
}

/// Builds translate(t) * rotate-z(c, s) * scale(s) and flags it. A matrix counts as the identity only
/// when its cosine is also near 1, so a half turn is flagged diagonal and still applied.
void buildTransform(hmatrix &out, double tx, double ty, double tz, double c, double s, double sx, double sy,
                    double sz) noexcept;
/// The identity, flagged HM_UNIT.
void buildIdentity(hmatrix &out) noexcept;
/// The historical unit test: the diagonal and the fourth row's first three entries only.
bool passesUnitTest(const hmatrix &matrix) noexcept;
/// Transposes the 3 x 3 linear part; the flags stay valid for the transpose.
void transposeLinearPart(hmatrix &matrix) noexcept;
/// result = a * b. Each entry is accumulated in place from 0 in k order, so the sums round exactly
/// as the callers' stored drawings were computed; the flags come from the operands' flags alone.
void multiply(hmatrix &result, const hmatrix &a, const hmatrix &b) noexcept;
/// Determinant of the linear part by cofactors of the first row.
double linearDeterminant(const hmatrix &matrix) noexcept;
/// Determinant of the upper-left 2 x 2 block.
double planarDeterminant(const hmatrix &matrix) noexcept;

/// Transforms xyz in place along the shortest path the flags allow. Every vertex of a drawing passes
/// here, so it is defined where the exports can inline it.
inline void transformPoint(const hmatrix &matrix, std::span<double, 3> xyz) noexcept {
    const int32_t flags = matrix.flags;
    if (flags & HM_UNIT) {
        return;
    }
    const auto &m = matrix.m;
    const double x = xyz[0];
    const double y = xyz[1];
    const double z = xyz[2];
    // Views of three-dimensional drawings have no special form, so the full product is tried first.
    const int32_t form = flags & (HM_PLANAR | HM_DIAGONAL);
    if (form == 0) {
        xyz[0] = x * m[0][0] + y * m[0][1] + z * m[0][2] + m[0][3];
        xyz[1] = x * m[1][0] + y * m[1][1] + z * m[1][2] + m[1][3];
        xyz[2] = x * m[2][0] + y * m[2][1] + z * m[2][2] + m[2][3];
    } else if (form == (HM_PLANAR | HM_DIAGONAL)) {
        // The z scale is taken as exactly 1 on this path.
        xyz[0] = x * m[0][0] + m[0][3];
        xyz[1] = y * m[1][1] + m[1][3];
        xyz[2] = z + m[2][3];
    } else if (form == HM_PLANAR) {
        xyz[0] = x * m[0][0] + y * m[0][1] + m[0][3];
        xyz[1] = x * m[1][0] + y * m[1][1] + m[1][3];
        xyz[2] = z * m[2][2] + m[2][3];
    } else {
        xyz[0] = x * m[0][0] + m[0][3];
        xyz[1] = y * m[1][1] + m[1][3];
        xyz[2] = z * m[2][2] + m[2][3];
    }
}

}  // namespace vutil::geometry
