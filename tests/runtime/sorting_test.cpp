// Tests of corner ordering, clamping and sorting.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vutil/runtime.h"

namespace {

TEST(Corners, EachPairIsOrderedClampedAndNaNPairsAreLeftAlone) {
    for (const auto &[in, out] : {std::pair{std::vector<int32_t>{5, 1, 2, 7}, std::vector<int32_t>{2, 1, 5, 7}},
                                  {{3, 9, 3, -9}, {3, -9, 3, 9}}}) {
        std::vector<int32_t> v = in;
        sortints(&v[0], &v[1], &v[2], &v[3]);
        EXPECT_EQ(v, out);
    }
    double a = 4.5, b = NAN, c = -1.0, d = 2.0;
    sortreals(&a, &b, &c, &d);
    EXPECT_TRUE(a == -1.0 && c == 4.5 && std::isnan(b) && d == 2.0);
    int32_t x = -3, y = 12;
    squeezeints(&x, &y, 0, 0, 10, 10);
    EXPECT_TRUE(x == 0 && y == 10);
    for (int32_t start : {-100, 3, 100}) {
        x = y = start;
        squeezelongs(&x, &y, 5, 0, 2, 100);  // inverted: the maximum wins
        EXPECT_EQ(x, 2) << start;
    }
}

TEST(QSort, SortsWithTheCallersComparison) {
    std::vector<int> values = {5, -2, 9, 0, 5, 7, -2};
    const auto ascending = [](const void *a, const void *b) {
        return (*static_cast<const int *>(a) > *static_cast<const int *>(b)) - (*static_cast<const int *>(a) < *static_cast<const int *>(b));
    };
    KorQSort(values.data(), 7, sizeof(int), ascending);
    EXPECT_EQ(values, (std::vector<int>{-2, -2, 0, 5, 5, 7, 9}));
    values = {5, -2, 9, 0, 5, 7, -2};
    KorQSort(nullptr, 3, 4, ascending), KorQSort(values.data(), 1, sizeof(int), nullptr), KorQSort(values.data(), 7, 0, ascending);
    KorQSort(values.data(), 7, sizeof(int), nullptr), KorQSort(values.data(), 0, sizeof(int), ascending);
    EXPECT_EQ(values, (std::vector<int>{5, -2, 9, 0, 5, 7, -2})) << "nothing to do: the data stays as it was";
}

}  // namespace
