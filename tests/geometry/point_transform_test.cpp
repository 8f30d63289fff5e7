// Tests of the single-point transforms: rotate, rotate_point, rotateoblique, reflect, inbox.
#include <gtest/gtest.h>

#include "vutil/geometry.h"

namespace {

TEST(Rotate, QuarterTurnAboutACentre) {
    double x = 2, y = 1;
    rotate(&x, &y, 1, 1, 0, 1);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
    // Both new coordinates come from the old point.
    x = 3;
    y = 4;
    rotate(&x, &y, 0, 0, 0.6, 0.8);
    EXPECT_EQ(x, (3 * 0.6 - 4 * 0.8) + 0);
    EXPECT_EQ(y, (3 * 0.8 + 4 * 0.6) + 0);
}

TEST(RotatePoint, RowsAndNullOutputs) {
    const double m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    double ox = -1, oy = -1, oz = -1;
    rotate_point(1, 10, 100, &ox, nullptr, &oz, m);
    EXPECT_EQ(ox, 321);
    EXPECT_EQ(oy, -1);
    EXPECT_EQ(oz, 987);
    // An output may be the variable that supplied an input.
    double x = 1, y = 10, z = 100;
    rotate_point(x, y, z, &x, &y, &z, m);
    EXPECT_EQ(x, 321);
    EXPECT_EQ(y, 654);
    EXPECT_EQ(z, 987);
    rotate_point(1, 1, 1, nullptr, nullptr, nullptr, m);  // nothing to write, nothing happens
}

TEST(RotateOblique, SlantAndTheUprightCases) {
    double x = 1;
    rotateoblique(&x, 4, 0, 0, 0.8, 0.6);
    EXPECT_DOUBLE_EQ(x, 4);
    EXPECT_EQ(x, (0.8 * 1 + 0.6 * 4) / 0.8);
    for (double c : {1.0, 0.0, -0.0}) {
        x = 1;
        rotateoblique(&x, 4, 0, 0, c, 0.5);
        EXPECT_EQ(x, 1) << c;
    }
    x = 1;
    rotateoblique(&x, 4, 0, 0, -1.0, 0.5);  // -1 is slanted like any other cosine
    EXPECT_EQ(x, (-1.0 * 1 + 0.5 * 4) / -1.0);
}

TEST(Reflect, InALineAndInAPoint) {
    double x = 1, y = 2;
    reflect(&x, &y, 0, 0, 1, 1);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 1);
    x = 1;
    y = 2;
    reflect(&x, &y, 3, 3, 3, 3);
    EXPECT_EQ(x, 1);
    EXPECT_EQ(y, 2);
    x = 5;
    y = 7;
    reflect(&x, &y, 0, 1, 10, 1);  // horizontal mirror y = 1
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, -5);
}

TEST(Inbox, HalfOpenWithCornersInAnyOrder) {
    struct Case {
        int32_t x, y, x1, y1, x2, y2, in;
    };
    const Case cases[] = {
        {0, 0, 10, 10, 0, 0, 1}, {10, 5, 10, 10, 0, 0, 0},
        {9, 9, 10, 10, 0, 0, 1}, {5, 10, 0, 0, 10, 10, 0},
        {5, 0, 0, 10, 10, 0, 1}, {-1, 5, 0, 0, 10, 10, 0},
        {3, 3, 3, 3, 3, 3, 0},   {INT32_MIN, 0, INT32_MIN, -1, INT32_MAX, 1, 1},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(inbox(c.x, c.y, c.x1, c.y1, c.x2, c.y2), c.in) << c.x << "," << c.y;
    }
}

}  // namespace
