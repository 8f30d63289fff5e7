// Rows of a bitmap as glibc's heap sees them: each row a block of at least its size, and every row given back.
#include <gtest/gtest.h>
#include <malloc.h>

#include <tuple>

#include "vutil/raster.h"

namespace {

TEST(Bitmap, EveryRowIsAHeapBlockOfItsSizeAndFreeingGivesEachBack) {
    // Rows of 33 MB pass the largest threshold malloc adopts by itself: each is mapped, and unmapped when freed.
    for (auto [rows, a, b] : {std::tuple{3, 5, 7}, std::tuple{2, -3, 4}, std::tuple{3, 5800, 5800}}) {
        uint8_t **bitmap = nullptr;
        const std::size_t mappedBefore = mallinfo2().hblkhd;
        ASSERT_TRUE(alloc_bitmap(&bitmap, rows, a, b) == 1 && bitmap != nullptr);
        const std::size_t size = a * b > 0 ? a * b : 1;
        for (int r = 0; r < rows; ++r) EXPECT_GE(malloc_usable_size(bitmap[r]), size);
        free_bitmap(&bitmap, rows, a, b);
        EXPECT_EQ(mallinfo2().hblkhd, mappedBefore) << "every row freed";
    }
}

}  // namespace
