// Tests of corner ordering, clamping and sorting.
#include <gtest/gtest.h>

#include <cmath>

#include "vutil/runtime.h"

namespace {

TEST(SortCorners, SwapsEachPairIndependently) {
    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    sortints(&x1, &y1, &x2, &y2);
    EXPECT_EQ(x1, 2);
    EXPECT_EQ(y1, 1);
    EXPECT_EQ(x2, 5);
    EXPECT_EQ(y2, 7);
    x1 = 3, y1 = 9, x2 = 3, y2 = -9;
    sortints(&x1, &y1, &x2, &y2);
    EXPECT_EQ(x1, 3);
    EXPECT_EQ(y1, -9);
    EXPECT_EQ(y2, 9);
}

TEST(SortCorners, RealsLeaveNaNPairsAlone) {
    double x1 = 4.5, y1 = NAN, x2 = -1.0, y2 = 2.0;
    sortreals(&x1, &y1, &x2, &y2);
    EXPECT_EQ(x1, -1.0);
    EXPECT_EQ(x2, 4.5);
    EXPECT_TRUE(std::isnan(y1));
    EXPECT_EQ(y2, 2.0);
}

TEST(Clamp, PointsGoIntoTheRectangleAndMaxWinsWhenInverted) {
    int32_t x = -3, y = 12;
    squeezeints(&x, &y, 0, 0, 10, 10);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 10);
    for (int32_t start : {-100, 3, 100}) {
        x = start;
        y = start;
        squeezelongs(&x, &y, 5, 0, 2, 100);
        EXPECT_EQ(x, 2) << start;
    }
}

TEST(QSort, SortsWithTheCallersComparison) {
    int values[] = {5, -2, 9, 0, 5};
    KorQSort(values, 5, sizeof(int), [](const void *a, const void *b) {
        int x = *static_cast<const int *>(a);
        int y = *static_cast<const int *>(b);
        return (x > y) - (x < y);
    });
    EXPECT_EQ(values[0], -2);
    EXPECT_EQ(values[1], 0);
    EXPECT_EQ(values[2], 5);
    EXPECT_EQ(values[4], 9);
    KorQSort(nullptr, 3, 4, nullptr);
}

}  // namespace
