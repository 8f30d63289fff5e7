// Homogeneous 4 x 4 transforms: building, flags, products, point transforms and determinants.
#include "geometry/matrix.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace vutil::geometry {

void buildTransform(hmatrix &out, double tx, double ty, double tz, double c, double s, double sx, double sy,
                    double sz) noexcept {
    auto &m = out.m;
    m[0][0] = sx * c;
    m[0][1] = -(sy * s);
    m[0][2] = 0.0;
    m[0][3] = tx;
    m[1][0] = sx * s;
    m[1][1] = sy * c;
    m[1][2] = 0.0;
    m[1][3] = ty;
    m[2][0] = 0.0;
    m[2][1] = 0.0;
    m[2][2] = sz;
    m[2][3] = tz;
    m[3][0] = 0.0;
    m[3][1] = 0.0;
    m[3][2] = 0.0;
    m[3][3] = 1.0;

    out.flags = 0;
    // The cosine test keeps a half turn (cosine -1, sine 0) from being taken for the identity and
    // skipped by the point transform.
    if (nearZero(s) && nearOne(c) && nearOne(sx) && nearOne(sy) && nearOne(sz) && nearZero(tx) && nearZero(ty) &&
        nearZero(tz)) {
        out.flags = HM_UNIT;
        return;
    }
    if (nearZero(s)) {
        out.flags |= HM_DIAGONAL;
    }
    if (nearOne(sz)) {
        out.flags |= HM_PLANAR;
    }
}

void buildIdentity(hmatrix &out) noexcept {
    std::memset(&out, 0, sizeof out);
    for (int i = 0; i < 4; ++i) {
        out.m[i][i] = 1.0;
    }
    out.flags = HM_UNIT;
}

bool passesUnitTest(const hmatrix &matrix) noexcept {
    const auto &m = matrix.m;
    return nearOne(m[0][0]) && nearOne(m[1][1]) && nearOne(m[2][2]) && nearZero(m[3][0]) && nearZero(m[3][1]) &&
           nearZero(m[3][2]);
}

void transposeLinearPart(hmatrix &matrix) noexcept {
    auto &m = matrix.m;
    std::swap(m[0][1], m[1][0]);
    std::swap(m[0][2], m[2][0]);
    std::swap(m[1][2], m[2][1]);
}

void multiply(hmatrix &result, const hmatrix &a, const hmatrix &b) noexcept {
    const int32_t flagsA = a.flags;
    const int32_t flagsB = b.flags;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            result.m[i][j] = 0.0;
            for (int k = 0; k < 4; ++k) {
                result.m[i][j] += a.m[i][k] * b.m[k][j];
            }
        }
    }
    int32_t flags = 0;
    if (flagsA != 0 && flagsB != 0) {
        if (flagsA & HM_UNIT) {
            flags = flagsB;
        } else if (flagsB & HM_UNIT) {
            flags = flagsA;
        } else {
            flags = flagsA & flagsB & (HM_PLANAR | HM_DIAGONAL);
        }
    }
    result.flags = flags;
}

double linearDeterminant(const hmatrix &matrix) noexcept {
    const auto &m = matrix.m;
    const double a = m[1][1] * m[2][2] - m[2][1] * m[1][2];
    const double b = m[1][0] * m[2][2] - m[2][0] * m[1][2];
    const double d = m[1][0] * m[2][1] - m[2][0] * m[1][1];
    return a * m[0][0] - b * m[0][1] + d * m[0][2];
}

double planarDeterminant(const hmatrix &matrix) noexcept {
    const auto &m = matrix.m;
    return m[0][0] * m[1][1] - m[0][1] * m[1][0];
}

}  // namespace vutil::geometry
