// Tests of corner ordering, clamping and sorting.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vutil/runtime.h"

namespace {

TEST(Corners, EachPairIsOrderedAndNaNPairsAreLeftAlone) {
    int32_t x1 = 5, y1 = 1, x2 = 2, y2 = 7;
    sortints(&x1, &y1, &x2, &y2);
    EXPECT_EQ(std::vector<int32_t>({x1, y1, x2, y2}), std::vector<int32_t>({2, 1, 5, 7}));
    x1 = 3, y1 = 9, x2 = 3, y2 = -9;
    sortints(&x1, &y1, &x2, &y2);
    EXPECT_EQ(std::vector<int32_t>({x1, y1, x2, y2}), std::vector<int32_t>({3, -9, 3, 9}));
    double a = 4.5, b = NAN, c = -1.0, d = 2.0;
    sortreals(&a, &b, &c, &d);
    EXPECT_EQ(a, -1.0);
    EXPECT_EQ(c, 4.5);
    EXPECT_TRUE(std::isnan(b));
    EXPECT_EQ(d, 2.0);
}

TEST(Corners, PointsAreClampedIntoTheRectangleAndMaxWinsWhenInverted) {
    int32_t x = -3, y = 12;
    squeezeints(&x, &y, 0, 0, 10, 10);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 10);
    for (int32_t start : {-100, 3, 100}) {
        x = y = start;
        squeezelongs(&x, &y, 5, 0, 2, 100);
        EXPECT_EQ(x, 2) << start;
    }
}

TEST(QSort, SortsWithTheCallersComparison) {
    std::vector<int> values = {5, -2, 9, 0, 5, 7, -2};
    KorQSort(values.data(), 7, sizeof(int), [](const void *a, const void *b) {
        const int x = *static_cast<const int *>(a), y = *static_cast<const int *>(b);
        return (x > y) - (x < y);
    });
    EXPECT_EQ(values, (std::vector<int>{-2, -2, 0, 5, 5, 7, 9}));
    KorQSort(nullptr, 3, 4, nullptr);
    KorQSort(values.data(), 1, sizeof(int), nullptr);
    KorQSort(values.data(), 7, 0, nullptr);
}

}  // namespace
