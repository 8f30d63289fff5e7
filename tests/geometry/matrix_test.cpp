// Tests of the homogeneous matrices: building and flags, unit test, transpose, product, point paths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <array>
#include <random>
#include <span>

#include "support/facts.h"
#include "vutil/geometry.h"

namespace {

/// A matrix of random entries away from 0 and 1, so that no factor can hide.
hmatrix randomMatrix(std::mt19937 &random, int32_t flags) {
    std::uniform_real_distribution<double> entry(1.1, 3.7);
    hmatrix m{{}, flags};
    for (double &v : std::span(&m.m[0][0], 16)) v = random() % 2 ? entry(random) : -entry(random);
    return m;
}

// Flags from the parts, with the 0.001 tolerance on both sides of each.
TEST(Matrix, CreateLaysOutAndFlags) {
    const int32_t P = HM_PLANAR, D = HM_DIAGONAL;
    const struct { double tx, ty, tz, c, s, sx, sy, sz; int32_t flags; } cases[] = {
        {0, 0, 0, 1, 0, 1, 1, 1, HM_UNIT}, {0, 0, 0, 1.0009, -0.0009, 0.9991, 1, 1, HM_UNIT}, {0, -5, 0, 1, 0, 1, 1, 1, P | D},
        {0, 0, 0, 0.866, 0.5, 1, 1, 2, 0}, {0, 0, 0, 0.866, -0.5, 1, 1, 1, P}, {0, 0, 0, 1, 0, 2, 3, 4, D},
        {0, 0, 0, 1, 0, 1, 1, 0.999, D},   {0, 0, 0, 1, 0, 1.001, 1, 1, P | D}, {0, 0, 0.001, 1, 0, 1, 1, 1, P | D},
        {0, 0, 0, 1, 0.001, 1, 1, 1, P},   {0, 0, 0, -1, 0, 1, 1, 1, P | D},   {0.0011, 0, 0, 1, 0, 1, 1, 1, P | D}};
    hmatrix m;
    for (const auto &c : cases) {
        create_hmatrix(&m, c.tx, c.ty, c.tz, c.c, c.s, c.sx, c.sy, c.sz);
        EXPECT_EQ(m.flags, c.flags) << &c - cases;
    }
    create_hmatrix(&m, 1.5, 2.5, 3.5, 0.6, 0.8, 2, 3, 4);
    const double expected[4][4] = {{1.2, -(3 * 0.8), 0, 1.5}, {2 * 0.8, 3 * 0.6, 0, 2.5}, {0, 0, 4, 3.5}, {0, 0, 0, 1}};
    EXPECT_EQ(std::memcmp(m.m, expected, sizeof expected), 0);
}

// Only the diagonal and the fourth row's first three entries are looked at, each with the tolerance.
TEST(Matrix, UnitMatrixAndTheUnitTest) {
    std::mt19937 random(1);
    hmatrix pair[2] = {randomMatrix(random, 0), randomMatrix(random, 0)};  // the second guards the first
    const hmatrix guard = pair[1];
    hmatrix &m = pair[0];
    create_unitmatrix(&m);
    const double unit[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    vutil::test::expectFacts({FACT(m.flags, HM_UNIT), FACT(std::memcmp(m.m, unit, sizeof unit), 0), FACT(std::memcmp(pair[1].m, guard.m, sizeof guard.m), 0)});
    for (int i = 0; i < 16; ++i) for (const double d : {0.0011, -0.0011, 0.0009, -0.0009}) {
            const bool looked = i < 15 && (i % 5 == 0 || i >= 12);
            create_unitmatrix(&m);
            m.m[i / 4][i % 4] += looked ? d : 700 * d;
            EXPECT_EQ(is_unitmatrix(&m), !looked || std::fabs(d) < 0.001) << i << " " << d;
        }
}

TEST(Matrix, TransposeAndProductEntriesAndFlags) {
    std::mt19937 random(3);
    hmatrix m = randomMatrix(random, HM_PLANAR), r;
    const hmatrix before = m, a = randomMatrix(random, 0), b = randomMatrix(random, 0);
    transpose_hmatrix(&m);
    mult_hmatrix(&r, &a, &b);
    EXPECT_EQ(m.flags, HM_PLANAR);
    for (int i = 0; i < 16; ++i) {
        const int row = i / 4, col = i % 4;
        EXPECT_EQ(m.m[row][col], row < 3 && col < 3 ? before.m[col][row] : before.m[row][col]);
        long double sum = 0;  // wider than the library's sums: agreement to the last few bits of a double
        for (int k = 3; k >= 0; --k) sum += static_cast<long double>(a.m[row][k]) * b.m[k][col];
        EXPECT_NEAR(r.m[row][col], static_cast<double>(sum), 1e-13) << row << " " << col;
    }
    // Each entry starts from +0.0: a product of -0.0 terms sums to +0.0, not -0.0.
    hmatrix negative{{{-1, -1, -1, -1}}, 0}, zero{};
    mult_hmatrix(&r, &negative, &zero);
    EXPECT_FALSE(std::signbit(r.m[0][0]));
    const int32_t P = HM_PLANAR, D = HM_DIAGONAL, U = HM_UNIT;
    const int32_t cases[][3] = {{U, P | D, P | D}, {U | P, 0, 0}, {D, U | P, D}, {0, U, 0}, {D, P, 0}, {P | D, P | D, P | D}, {P | D, D, D}};
    for (const auto &c : cases) {
        hmatrix x = randomMatrix(random, c[0]), y = randomMatrix(random, c[1]);
        mult_hmatrix(&r, &x, &y);
        EXPECT_EQ(r.flags, c[2]) << c[0] << " x " << c[1];
    }
}

// Each flagged shortcut gives exactly what the full product (the matrix without its flags) gives on a matrix of its
// form, and that agrees with a wider computation.
TEST(Matrix, PointPathsAgreeWithTheFullProduct) {
    std::mt19937 random(4);
    std::uniform_real_distribution<double> coordinate(-50, 50);
    for (int trial = 0; trial < 120; ++trial) {
        const int32_t flags = std::array{0, HM_PLANAR, HM_DIAGONAL, HM_PLANAR | HM_DIAGONAL, HM_UNIT, HM_UNIT | HM_PLANAR}[trial / 20];
        hmatrix m = randomMatrix(random, flags);
        auto &e = m.m;
        if (flags & HM_PLANAR) e[0][2] = e[1][2] = e[2][0] = e[2][1] = 0;
        if (flags & HM_DIAGONAL) e[0][1] = e[0][2] = e[1][0] = e[1][2] = e[2][0] = e[2][1] = 0;
        if (flags == (HM_PLANAR | HM_DIAGONAL)) e[2][2] = 1;
        const double x = coordinate(random), y = coordinate(random), z = coordinate(random);
        hmatrix full = m;
        full.flags = 0;
        double expected[3] = {x, y, z}, p[3] = {x, y, z}, q[3] = {x, y, z};
        if (!(flags & HM_UNIT)) mult_hmatrix_v(&full, expected);
        mult_hmatrix_v(&m, p), mult_hmatrix_p(&m, &q[0], &q[1], &q[2]);
        for (int i = 0; i < 3; ++i) {
            const long double wide = flags & HM_UNIT ? std::array{x, y, z}[i] : e[i][3] + z * static_cast<long double>(e[i][2]) + y * e[i][1] + x * e[i][0];
            vutil::test::expectFacts({FACT(p[i], expected[i]), FACT(q[i], expected[i]), NEAR_FACT(expected[i], wide, 1e-12)});
        }
    }
}

TEST(Matrix, DeterminantsOfTheLinearParts) {
    vutil::test::expectFacts({FACT(hmatrix_determinant(nullptr), 0), FACT(hmatrix_determinant2by2(nullptr), 0)});
    std::mt19937 random(5);
    const int permutations[6][4] = {{0, 1, 2, 1}, {0, 2, 1, -1}, {1, 0, 2, -1}, {1, 2, 0, 1}, {2, 0, 1, 1}, {2, 1, 0, -1}};
    for (int trial = 0; trial < 10; ++trial) {
        hmatrix m = randomMatrix(random, 0);
        double leibniz = 0;
        for (const auto &p : permutations) leibniz += p[3] * m.m[0][p[0]] * m.m[1][p[1]] * m.m[2][p[2]];
        EXPECT_NEAR(hmatrix_determinant(&m), leibniz, 1e-12 * 64);
        EXPECT_NEAR(hmatrix_determinant2by2(&m), m.m[0][0] * m.m[1][1] - m.m[1][0] * m.m[0][1], 1e-13);
    }
}

}  // namespace
