// Tests of the view, twist and world-to-view matrices.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "support/facts.h"
#include "vutil/geometry.h"

namespace {

/// The linear part has these rows (to `tolerance`), with the translation and fourth row those of no translation.
void expectRows(const hmatrix &m, const double (&rows)[3][3], double tolerance = 0) {
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(m.m[i / 4][i % 4], i < 12 && i % 4 < 3 ? rows[i / 4][i % 4] : i == 15, tolerance) << "entry " << i;
}

TEST(ViewMatrix, LayoutAndFlagsFromTheRotation) {
    const struct {
        double r[9], t[3];
        int32_t flags;
    } cases[] = {{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, HM_UNIT | HM_PLANAR},
                 {{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 5}, HM_DIAGONAL | HM_PLANAR},
                 {{2, 0, 0, 0, 3, 0, 0, 0, 4}, {0, 0, 0}, HM_DIAGONAL},
                 {{0.6, -0.8, 0, 0.8, 0.6, 0, 0, 0, 1}, {1.5, 2.5, 3.5}, HM_PLANAR},
                 {{1, 0, 0, 0, 0.6, -0.8, 0, 0.8, 0.6}, {0, 0, 0}, 0}};
    for (const auto &c : cases) {
        hmatrix m;
        std::fill(&m.m[0][0], &m.m[0][0] + 16, 7.5);  // every entry is written
        create_viewmatrix(&m, c.r, c.t[0], c.t[1], c.t[2]);
        const double layout[4][4] = {{c.r[0], c.r[1], c.r[2], c.t[0]}, {c.r[3], c.r[4], c.r[5], c.t[1]},
                                     {c.r[6], c.r[7], c.r[8], c.t[2]}, {0, 0, 0, 1}};
        SCOPED_TRACE(&c - cases);
        vutil::test::expectFacts({FACT(m.flags, c.flags), FACT(std::memcmp(m.m, layout, sizeof layout), 0)});
    }
}

TEST(TwistMatrix, FirstNonZeroAngleOnly) {
    const double angles[][3] = {{0, 0, 0}, {0.1, 0, 0.2}, {0, 0.3, 0.2}, {0, 0, 0.3}};
    for (const auto &a : angles) {
        hmatrix m;
        create_twistmatrix(&m, a[0], a[1], a[2]);
        const int axis = a[0] != 0 ? 0 : a[1] != 0 ? 1 : 2;
        const double s = std::sin(a[axis]), c = std::cos(a[axis]);  // the host's, to the series' truncation
        const double rows[3][3][3] = {{{1, 0, 0}, {0, c, -s}, {0, s, c}}, {{c, 0, s}, {0, 1, 0}, {-s, 0, c}}, {{c, -s, 0}, {s, c, 0}, {0, 0, 1}}};
        SCOPED_TRACE(axis);
        expectRows(m, rows[axis], 1e-15);
        EXPECT_EQ(m.flags, axis < 2 ? 0 : a[2] == 0 ? HM_UNIT | HM_PLANAR : HM_PLANAR);
    }
}

TEST(WorldToView, AxisDirectionsNearZClampingAndNotANumber) {
    const struct { double dx, dy, dz, twist; double rows[3][3]; int32_t flags; } cases[] = {
        {0, 0, 5, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, HM_UNIT},
        {0, 0, 0, 0, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, HM_UNIT},      // no direction behaves as +z
        {5e-13, -5e-13, 1, -1, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, HM_UNIT},  // below 1e-12 snaps; no negative twist
        {-4e-13, 9e-13, -1, 0, {{-1, 0, 0}, {0, 1, 0}, {0, 0, -1}}, 0},
        {1, 0, 0, 0, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}}, 0}, {0, -3, 0, 0, {{1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, 0}};
    hmatrix a, b;
    for (const auto &c : cases) {
        create_vmatrix(&a, c.dx, c.dy, c.dz, c.twist);
        SCOPED_TRACE(&c - cases);
        expectRows(a, c.rows);
        EXPECT_EQ(a.flags, c.flags);
    }
    // Just off +z in the first quadrant the world-z rule is kept: the x axis is (-Ny, Nx, 0); below the x
    // axis, or on its diagonal to 1e-4, it is world y cross N: (Nz, 0, -Nx).
    for (const auto &[x, y] : {std::pair{0.001, 0.0005}, {0.001, -0.0005}, {0.0005, 0.0005 * (1 + 1e-5)}}) {
        const double z = std::sqrt(1.0 - x * x - y * y), xy = std::hypot(x, y), zx = std::hypot(z, x);
        create_vmatrix(&a, x, y, z, 0);
        const double axis[3] = {y == 0.0005 ? -y / xy : z / zx, y == 0.0005 ? x / xy : 0, y == 0.0005 ? 0 : -x / zx};
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(a.m[0][i], axis[i], axis[i] == 0 ? 0 : 1e-9) << y << " " << i;
    }
    // Components are clamped to a million before normalising.
    create_vmatrix(&a, 3000000, 0, 1, 0), create_vmatrix(&b, 1000000, 0, 1, 0);
    EXPECT_EQ(std::memcmp(a.m, b.m, sizeof a.m), 0);
    create_vmatrix(&a, NAN, 0, 1, 0.5), create_vmatrix(&b, 0, 0, 1, 0.5);  // the latter a twist about the z axis alone
    vutil::test::expectFacts({FACT(b.flags, HM_PLANAR), FACT(a.m[3][3], 1)});
}

// Random directions and twists: the frame is orthonormal and right-handed, its third row is the
// direction, its first row lies in the world xy plane (or, for directions within 1/64 of the
// z axis, in the plane of world x and z), and the twist turns the first two rows anticlockwise.
TEST(WorldToView, FramesOfRandomDirections) {
    std::mt19937 random(6);
    std::uniform_real_distribution<double> component(-2, 2), twist(0, 6);
    for (int trial = 0; trial < 1000; ++trial) {
        const double scale = trial % 4 == 0 ? 0.005 : 1.0;  // every fourth near the z axis
        const double d[3] = {component(random) * scale, component(random) * scale, component(random)};
        const double t = trial % 2 ? twist(random) : 0.0, c = std::cos(t), s = std::sin(t);
        hmatrix m, plain;
        create_vmatrix(&m, d[0], d[1], d[2], t), create_vmatrix(&plain, d[0], d[1], d[2], 0);
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (int i = 0; i < 3; ++i) {
            ASSERT_NEAR(m.m[2][i], d[i] / length, 1e-12);
            ASSERT_NEAR(m.m[0][i], c * plain.m[0][i] - s * plain.m[1][i], 1e-12);
            ASSERT_NEAR(m.m[1][i], s * plain.m[0][i] + c * plain.m[1][i], 1e-12);
            for (int j = 0; j < 3; ++j)
                ASSERT_NEAR(m.m[i][0] * m.m[j][0] + m.m[i][1] * m.m[j][1] + m.m[i][2] * m.m[j][2], i == j, 1e-12);
        }
        ASSERT_NEAR(hmatrix_determinant(&m), 1.0, 1e-12);
        if (std::fabs(d[0] / length) >= 1.0 / 64 || std::fabs(d[1] / length) >= 1.0 / 64) {  // world z cross the direction
            ASSERT_TRUE(plain.m[0][2] == 0.0 && plain.m[0][0] * -d[1] + plain.m[0][1] * d[0] > 0) << trial;
        } else if (!(d[0] > 0 && d[1] > 0)) {  // world y cross the direction
            ASSERT_TRUE(plain.m[0][1] == 0.0 && plain.m[0][0] * d[2] - plain.m[0][2] * d[0] > 0) << trial;
        }
    }
}

}  // namespace
