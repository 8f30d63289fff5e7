// Tests of the homogeneous matrices: building and flags, unit test, transpose, product, point paths.
#include <gtest/gtest.h>

#include <cmath>

#include "vutil/geometry.h"

namespace {

hmatrix filled(double start, int32_t flags) {
    hmatrix m;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) m.m[i][j] = start + i * 4 + j;
    m.flags = flags;
    return m;
}

TEST(Matrix, UnitMatrix) {
    hmatrix m = filled(3.0, 0);
    create_unitmatrix(&m);
    EXPECT_EQ(m.flags, HM_UNIT);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[i][j], i == j ? 1.0 : 0.0);
    EXPECT_EQ(is_unitmatrix(&m), 1);
}

struct FlagCase {
    double tx, ty, tz, c, s, sx, sy, sz;
    int32_t flags;
};

TEST(Matrix, CreateDerivesFlags) {
    const FlagCase cases[] = {
        {0, 0, 0, 1, 0, 1, 1, 1, HM_UNIT},                       // exactly HM_UNIT, not 7
        {0, 0, 0, 1, 0.0005, 1, 1, 1, HM_UNIT},                  // small sine is still unrotated
        {5, 0, 0, 1, 0, 1, 1, 1, HM_PLANAR | HM_DIAGONAL},       // a translation
        {0, 0, 0, 0.866, 0.5, 1, 1, 2, 0},                       // rotated and z scaled
        {0, 0, 0, 0.866, 0.5, 1, 1, 1, HM_PLANAR},               // rotated in the plane
        {0, 0, 0, 1, 0, 2, 3, 4, HM_DIAGONAL},                   // scaled only
        {0, 0, 0.001, 1, 0, 1, 1, 1, HM_PLANAR | HM_DIAGONAL},   // 0.001 itself fails the tolerance
        {0, 0, 0, -1, 0, 1, 1, 1, HM_PLANAR | HM_DIAGONAL},      // a half turn is not the identity
        {0, 0, 0, 0.9985, 0, 1, 1, 1, HM_PLANAR | HM_DIAGONAL},  // nor a cosine off by 0.0015
    };
    for (const FlagCase &c : cases) {
        hmatrix m;
        create_hmatrix(&m, c.tx, c.ty, c.tz, c.c, c.s, c.sx, c.sy, c.sz);
        EXPECT_EQ(m.flags, c.flags) << c.tx << " " << c.tz << " " << c.c << " " << c.s << " " << c.sz;
    }
}

TEST(Matrix, CreateLaysOutTranslateRotateScale) {
    hmatrix m;
    create_hmatrix(&m, 1, 2, 3, 0.6, 0.8, 2, 3, 4);
    const double expected[4][4] = {{1.2, -(3 * 0.8), 0, 1}, {2 * 0.8, 3 * 0.6, 0, 2}, {0, 0, 4, 3}, {0, 0, 0, 1}};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[i][j], expected[i][j]) << i << "," << j;
}

TEST(Matrix, HalfTurnIsApplied) {
    hmatrix m;
    create_hmatrix(&m, 0, 0, 0, -1, 0, 1, 1, 1);
    double p[3] = {2, 3, 4};
    mult_hmatrix_v(&m, p);
    EXPECT_EQ(p[0], -2);
    EXPECT_EQ(p[1], -3);
    EXPECT_EQ(p[2], 4);
}

TEST(Matrix, NearUnitRotationIsSkipped) {
    hmatrix m;
    create_hmatrix(&m, 0, 0, 0, 1, 0.0005, 1, 1, 1);
    double p[3] = {1000, 2000, 3};
    mult_hmatrix_v(&m, p);
    EXPECT_EQ(p[0], 1000);
    EXPECT_EQ(p[1], 2000);
    EXPECT_EQ(p[2], 3);
}

TEST(Matrix, UnitTestLooksAtSixEntriesOnly) {
    hmatrix m;
    create_unitmatrix(&m);
    m.m[0][3] = 5;
    m.m[0][1] = 0.7;
    m.flags = 0;
    EXPECT_EQ(is_unitmatrix(&m), 1);
    for (double v : {0.999, 1.001}) {
        for (int i = 0; i < 3; ++i) {
            hmatrix d;
            create_unitmatrix(&d);
            d.m[i][i] = v;
            EXPECT_EQ(is_unitmatrix(&d), 0) << i << " " << v;
        }
    }
    create_unitmatrix(&m);
    m.m[3][1] = 0.5;
    EXPECT_EQ(is_unitmatrix(&m), 0);
}

TEST(Matrix, TransposeSwapsLinearPartOnly) {
    hmatrix m = filled(1.0, HM_PLANAR);
    const hmatrix before = m;
    transpose_hmatrix(&m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_EQ(m.m[i][j], before.m[j][i]);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.m[i][3], before.m[i][3]);
    for (int j = 0; j < 4; ++j) EXPECT_EQ(m.m[3][j], before.m[3][j]);
    EXPECT_EQ(m.flags, HM_PLANAR);
}

TEST(Matrix, ProductEntriesAndFlags) {
    const hmatrix a = filled(0.5, HM_PLANAR | HM_DIAGONAL);
    const hmatrix b = filled(-3.25, HM_PLANAR);
    hmatrix r;
    mult_hmatrix(&r, &a, &b);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) sum += a.m[i][k] * b.m[k][j];
            EXPECT_EQ(r.m[i][j], sum);
        }
    }
    EXPECT_EQ(r.flags, HM_PLANAR);

    struct Case {
        int32_t a, b, result;
    };
    const Case cases[] = {
        {HM_UNIT, HM_PLANAR | HM_DIAGONAL, HM_PLANAR | HM_DIAGONAL},
        {HM_UNIT | HM_PLANAR, 0, 0},
        {HM_DIAGONAL, HM_UNIT, HM_DIAGONAL},
        {0, HM_UNIT, 0},
        {HM_DIAGONAL, HM_PLANAR, 0},
        {HM_PLANAR | HM_DIAGONAL, HM_PLANAR | HM_DIAGONAL, HM_PLANAR | HM_DIAGONAL},
    };
    for (const Case &c : cases) {
        hmatrix x = filled(1, c.a), y = filled(2, c.b);
        mult_hmatrix(&r, &x, &y);
        EXPECT_EQ(r.flags, c.result) << c.a << " x " << c.b;
    }
}

TEST(Matrix, ProductKeepsSignedZeroOfTheRunningSum) {
    // Each entry starts from +0.0: a product of -0.0 terms sums to +0.0, not -0.0.
    hmatrix a{}, b{};
    for (int k = 0; k < 4; ++k) a.m[0][k] = -1.0;  // every product of row 0 with column 0 is -0.0
    hmatrix r;
    mult_hmatrix(&r, &a, &b);
    EXPECT_FALSE(std::signbit(r.m[0][0]));
}

TEST(Matrix, PointPathsFollowTheFlags) {
    hmatrix m = filled(0.0, 0);
    m.m[2][2] = 1.0005;
    const double x = 1.5, y = -2.25, z = 3.0;
    struct Case {
        int32_t flags;
        double ex, ey, ez;
    };
    const auto &e = m.m;
    const Case cases[] = {
        {HM_UNIT, x, y, z},
        {HM_UNIT | HM_PLANAR, x, y, z},
        {HM_PLANAR | HM_DIAGONAL, x * e[0][0] + e[0][3], y * e[1][1] + e[1][3], z + e[2][3]},
        {HM_PLANAR, x * e[0][0] + y * e[0][1] + e[0][3], x * e[1][0] + y * e[1][1] + e[1][3], z * e[2][2] + e[2][3]},
        {HM_DIAGONAL, x * e[0][0] + e[0][3], y * e[1][1] + e[1][3], z * e[2][2] + e[2][3]},
        {0, x * e[0][0] + y * e[0][1] + z * e[0][2] + e[0][3], x * e[1][0] + y * e[1][1] + z * e[1][2] + e[1][3],
         x * e[2][0] + y * e[2][1] + z * e[2][2] + e[2][3]},
    };
    for (const Case &c : cases) {
        m.flags = c.flags;
        double p[3] = {x, y, z};
        mult_hmatrix_v(&m, p);
        EXPECT_EQ(p[0], c.ex) << c.flags;
        EXPECT_EQ(p[1], c.ey) << c.flags;
        EXPECT_EQ(p[2], c.ez) << c.flags;
        double px = x, py = y, pz = z;
        mult_hmatrix_p(&m, &px, &py, &pz);
        EXPECT_EQ(px, c.ex);
        EXPECT_EQ(py, c.ey);
        EXPECT_EQ(pz, c.ez);
    }
}

TEST(Matrix, SumsRoundLeftToRight) {
    // 1e16 + 1 - 1e16 is 0 left to right; any regrouping or fused multiply-add would give 1 or 2.
    hmatrix m{};
    m.m[0][0] = 1e16;
    m.m[0][1] = 1.0;
    m.m[0][2] = -1e16;
    m.m[0][3] = 0.0;
    m.flags = 0;
    double p[3] = {1.0, 1.0, 1.0};
    mult_hmatrix_v(&m, p);
    EXPECT_EQ(p[0], 0.0);
}

TEST(Matrix, ProductsAreRoundedBeforeTheyAreAdded) {
    // x * m00 rounds to 1 + 2^-29 (the 2^-60 term is lost) before m03 is added, giving exactly 0; a
    // fused multiply-add would keep 2^-60.
    const double a = 1.0 + std::ldexp(1.0, -30);
    hmatrix m{};
    m.m[0][0] = a;
    m.m[0][3] = -(1.0 + std::ldexp(1.0, -29));
    m.m[1][1] = 1.0;
    m.flags = HM_PLANAR | HM_DIAGONAL;
    double p[3] = {a, 0.0, 0.0};
    mult_hmatrix_v(&m, p);
    EXPECT_EQ(p[0], 0.0);
}

TEST(Matrix, Determinants) {
    EXPECT_EQ(hmatrix_determinant(nullptr), 0.0);
    EXPECT_EQ(hmatrix_determinant2by2(nullptr), 0.0);
    hmatrix m{};
    const double rows[3][3] = {{2, -1, 3}, {4, 0.5, -2}, {1, 5, 7}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = rows[i][j];
    m.m[3][3] = 1;
    const double a = 0.5 * 7 - 5 * -2.0, b = 4 * 7 - 1 * -2.0, d = 4 * 5 - 1 * 0.5;
    EXPECT_EQ(hmatrix_determinant(&m), a * 2 - b * -1 + d * 3);
    EXPECT_EQ(hmatrix_determinant2by2(&m), 2 * 0.5 - (-1.0 * 4));
    hmatrix unit;
    create_unitmatrix(&unit);
    EXPECT_EQ(hmatrix_determinant(&unit), 1.0);
}

}  // namespace
