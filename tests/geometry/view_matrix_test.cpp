// Tests of the view, twist and world-to-view matrices.
#include <gtest/gtest.h>

#include <cmath>

#include "vutil/geometry.h"
#include "vutil/runtime.h"

namespace {

constexpr double kPi = 3.141592653589793;

void expectRows(const hmatrix &m, const double (&rows)[3][3], double tolerance = 0.0) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (tolerance == 0.0) {
                EXPECT_EQ(m.m[i][j], rows[i][j]) << i << "," << j;
            } else {
                EXPECT_NEAR(m.m[i][j], rows[i][j], tolerance) << i << "," << j;
            }
        }
        EXPECT_EQ(m.m[i][3], 0.0);
    }
    EXPECT_EQ(m.m[3][0], 0.0);
    EXPECT_EQ(m.m[3][3], 1.0);
}

const double kIdentity[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

TEST(ViewMatrix, FlagsFromTheRotation) {
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    hmatrix m;
    create_viewmatrix(&m, identity, 0, 0, 0);
    EXPECT_EQ(m.flags, HM_UNIT | HM_PLANAR);
    create_viewmatrix(&m, identity, 5, 0, 0);
    EXPECT_EQ(m.flags, HM_DIAGONAL | HM_PLANAR);
    EXPECT_EQ(m.m[0][3], 5.0);
    const double scaled[9] = {2, 0, 0, 0, 3, 0, 0, 0, 4};
    create_viewmatrix(&m, scaled, 0, 0, 0);
    EXPECT_EQ(m.flags, HM_DIAGONAL);
    const double turned[9] = {0.6, -0.8, 0, 0.8, 0.6, 0, 0, 0, 1};
    create_viewmatrix(&m, turned, 1, 2, 3);
    EXPECT_EQ(m.flags, HM_PLANAR);
    EXPECT_EQ(m.m[1][0], 0.8);
    EXPECT_EQ(m.m[2][3], 3.0);
    const double tilted[9] = {1, 0, 0, 0, 0.6, -0.8, 0, 0.8, 0.6};
    create_viewmatrix(&m, tilted, 0, 0, 0);
    EXPECT_EQ(m.flags, 0);
}

TEST(TwistMatrix, FirstNonZeroAngleOnly) {
    hmatrix m;
    create_twistmatrix(&m, 0, 0, 0);
    EXPECT_EQ(m.flags, HM_UNIT | HM_PLANAR);
    expectRows(m, kIdentity);

    double s, c;
    KOR_SinCos(0.1, &s, &c);
    create_twistmatrix(&m, 0.1, 0, 0.2);  // about x only
    const double aboutX[3][3] = {{1, 0, 0}, {0, c, -s}, {0, s, c}};
    expectRows(m, aboutX);
    EXPECT_EQ(m.flags, 0);

    KOR_SinCos(0.3, &s, &c);
    create_twistmatrix(&m, 0, 0.3, 0.2);
    const double aboutY[3][3] = {{c, 0, s}, {0, 1, 0}, {-s, 0, c}};
    expectRows(m, aboutY);

    create_twistmatrix(&m, 0, 0, 0.3);
    const double aboutZ[3][3] = {{c, -s, 0}, {s, c, 0}, {0, 0, 1}};
    expectRows(m, aboutZ);
    EXPECT_EQ(m.flags, HM_PLANAR);
}

TEST(WorldToView, AlongPlusZIsTheIdentity) {
    for (double dz : {1.0, 5.0}) {
        hmatrix m;
        create_vmatrix(&m, 0, 0, dz, 0);
        expectRows(m, kIdentity);
        EXPECT_EQ(m.flags, HM_UNIT);
    }
    hmatrix zero;
    create_vmatrix(&zero, 0, 0, 0, 0);  // no direction behaves as +z
    expectRows(zero, kIdentity);
    EXPECT_EQ(zero.flags, HM_UNIT);
}

TEST(WorldToView, AlongMinusZAndAlongX) {
    hmatrix m;
    create_vmatrix(&m, 0, 0, -1, 0);
    const double minusZ[3][3] = {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}};
    expectRows(m, minusZ);
    EXPECT_EQ(m.flags, 0);
    create_vmatrix(&m, 1, 0, 0, 0);
    const double plusX[3][3] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
    expectRows(m, plusX);
}

TEST(WorldToView, TwistTurnsAnticlockwiseAndNegativeIsIgnored) {
    hmatrix m;
    create_vmatrix(&m, 0, 0, 1, kPi / 2);
    double p[3] = {1, 0, 0};
    mult_hmatrix_v(&m, p);
    EXPECT_NEAR(p[0], 0.0, 1e-12);
    EXPECT_NEAR(p[1], 1.0, 1e-12);
    EXPECT_EQ(m.flags, HM_PLANAR);
    create_vmatrix(&m, 0, 0, 1, -kPi / 2);
    expectRows(m, kIdentity);
    EXPECT_EQ(m.flags, HM_UNIT);
}

TEST(WorldToView, ArbitraryAxisNearZ) {
    // Just off +z in the first quadrant the world-z rule is kept: the x axis is (-Ny, Nx, 0).
    const double nx = 0.001, ny = 0.0005;
    const double nz = std::sqrt(1.0 - nx * nx - ny * ny);
    hmatrix m;
    create_vmatrix(&m, nx, ny, nz, 0);
    EXPECT_EQ(m.m[0][2], 0.0);
    EXPECT_LT(m.m[0][0], 0.0);
    EXPECT_GT(m.m[0][1], 0.0);
    // With Ny negative it is world y cross N: (Nz, 0, -Nx).
    create_vmatrix(&m, nx, -ny, nz, 0);
    EXPECT_EQ(m.m[0][1], 0.0);
    EXPECT_GT(m.m[0][0], 0.99);
    EXPECT_LT(m.m[0][2], 0.0);
    // Beyond the 1/64 threshold world z is used.
    create_vmatrix(&m, 0.02, 0.0, 1.0, 0);
    EXPECT_EQ(m.m[0][2], 0.0);
}

TEST(WorldToView, FrameIsOrthonormal) {
    const double dirs[][3] = {{1, 2, 3}, {-4, 0.5, 0.1}, {0.01, 0.001, -1}, {0, -3, 0}, {1e-3, 2e-3, 1}};
    for (const auto &d : dirs) {
        hmatrix m;
        create_vmatrix(&m, d[0], d[1], d[2], 0.7);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                double dot = 0;
                for (int k = 0; k < 3; ++k) dot += m.m[i][k] * m.m[j][k];
                EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-12);
            }
        }
        EXPECT_NEAR(hmatrix_determinant(&m), 1.0, 1e-12);
    }
}

TEST(WorldToView, ComponentsAreClampedBeforeNormalising) {
    hmatrix a, b;
    create_vmatrix(&a, 3000000, 0, 1, 0);
    create_vmatrix(&b, 1000000, 0, 1, 0);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) EXPECT_EQ(a.m[i][j], b.m[i][j]) << i << "," << j;
    }
    EXPECT_EQ(a.flags, b.flags);
}

TEST(WorldToView, NotANumberGivesADefinedMatrix) {
    hmatrix m;
    create_vmatrix(&m, NAN, 0, 1, 0.5);
    EXPECT_EQ(m.m[3][3], 1.0);
}

}  // namespace
