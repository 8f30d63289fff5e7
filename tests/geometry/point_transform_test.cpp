// Tests of the single-point transforms: rotate, rotateoblique, reflect, rotate_point, inbox.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "support/facts.h"
#include "vutil/geometry.h"

namespace {

// Random points, centres, lines and angles: each transform against its geometric meaning.
TEST(PointTransforms, AgreeWithTheirGeometry) {
    std::mt19937 random(9);
    std::uniform_real_distribution<double> coordinate(-100, 100), angle(-3.1, 3.1);
    for (int trial = 0; trial < 200; ++trial) {
        const double x = coordinate(random), y = coordinate(random), cx = coordinate(random), cy = coordinate(random);
        const double a = angle(random), c = std::cos(a), s = std::sin(a);
        // Rotation: multiplication by e^ia about the centre.
        const std::complex<double> centre(cx, cy), turned = (std::complex<double>(x, y) - centre) * std::polar(1.0, a);
        double rx = x, ry = y, sx = x;  // slant: x moves by the height above the centre times the tangent
        rotate(&rx, &ry, cx, cy, c, s), rotateoblique(&sx, y, cx, cy, c, s);
        ASSERT_NEAR(std::abs(std::complex<double>(rx, ry) - centre - turned), 0, 1e-9);
        ASSERT_NEAR(sx, x + (y - cy) * std::tan(a), 1e-6 * (1 + std::fabs(std::tan(a))));
        // Reflection: twice is the identity, the midpoint lies on the line, the move is normal to it.
        const double x2 = coordinate(random), y2 = coordinate(random), ux = x2 - cx, uy = y2 - cy;
        double fx = x, fy = y;
        reflect(&fx, &fy, cx, cy, x2, y2);
        const double midpoint = ((fx + x) / 2 - cx) * uy - ((fy + y) / 2 - cy) * ux, move = (fx - x) * ux + (fy - y) * uy;
        reflect(&fx, &fy, cx, cy, x2, y2);
        vutil::test::expectFacts({NEAR_FACT(midpoint, 0, 1e-8), NEAR_FACT(move, 0, 1e-8), NEAR_FACT(fx, x, 1e-9), NEAR_FACT(fy, y, 1e-9)});
        // A 3 x 3 matrix by rows, against a wider sum; an output may be the variable that supplied an input.
        const double m[9] = {a, c, s, cx, cy, x2, y2, -a, 2 * c};
        double px = x, py = y, pz = cx, only = 0;
        rotate_point(px, py, pz, &only, nullptr, nullptr, m), rotate_point(px, py, pz, &px, &py, &pz, m);
        const auto row = [&](int r) { return static_cast<double>(cx * static_cast<long double>(m[3 * r + 2]) + y * m[3 * r + 1] + x * m[3 * r]); };
        vutil::test::expectFacts({NEAR_FACT(only, row(0), 1e-10), FACT(px, only), NEAR_FACT(py, row(1), 1e-10), NEAR_FACT(pz, row(2), 1e-10)});
    }
    // Upright slants (cosine 1, or 0, which would divide by zero) leave x alone; -1 does not.
    for (double c : {1.0, 0.0, -1.0}) {
        double x = 1.5;
        rotateoblique(&x, 4, 0.5, 0.25, c, 0.5);
        EXPECT_EQ(x, c < 0 ? 0.5 + 1.0 - 0.5 * 3.75 : 1.5) << c;
    }
    double x = 1.5, y = 2.5;
    reflect(&x, &y, 3, 3, 3, 3);
    vutil::test::expectFacts({FACT(x, 1.5), FACT(y, 2.5)});  // a line of no length: the point stays
}

TEST(PointTransforms, InboxIsHalfOpenWithCornersInAnyOrder) {
    const int32_t cases[][7] = {
        {0, 0, 10, 10, 0, 0, 1}, {10, 5, 10, 10, 0, 0, 0}, {9, 9, 10, 10, 0, 0, 1},   {5, 10, 0, 0, 10, 10, 0},
        {5, 0, 0, 10, 10, 0, 1}, {-1, 5, 0, 0, 10, 10, 0}, {3, 3, 3, 3, 3, 3, 0},     {5, -1, 0, 0, 10, 10, 0},
        {INT32_MIN, 0, INT32_MIN, -1, INT32_MAX, 1, 1}};
    for (const auto &c : cases) EXPECT_EQ(inbox(c[0], c[1], c[2], c[3], c[4], c[5]), c[6]) << c[0] << "," << c[1];
}

}  // namespace
