// Tests of row bitmaps, bit and byte order, pixel unpacking and run lists.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <tuple>
#include <vector>

#include "vutil/raster.h"

namespace vutil::test {
namespace {

using Row = std::vector<uint8_t>;
using Runs = std::vector<int32_t>;

// Rows are zero-filled and whole; rows of zero or negative length still get one byte, no rows still an array.
TEST(Bitmap, AllocatesZeroFilledRowsAndFreesThem) {
    for (auto [rows, a, b] : {std::tuple{3, 5, 7}, std::tuple{0, 10, 10}, std::tuple{2, 0, 5}, std::tuple{2, -3, 4},
                              std::tuple{2, -2, -2}}) {
        uint8_t **bitmap = nullptr;
        ASSERT_EQ(alloc_bitmap(&bitmap, rows, a, b), 1);
        ASSERT_NE(bitmap, nullptr);
        const std::size_t size = a * b > 0 ? static_cast<std::size_t>(a * b) : 1;
        for (int r = 0; r < rows; ++r) {
            EXPECT_GE(malloc_usable_size(bitmap[r]), size);
            EXPECT_EQ(std::count(bitmap[r], bitmap[r] + size, 0), static_cast<std::ptrdiff_t>(size));
        }
        free_bitmap(&bitmap, rows, a, b);
        EXPECT_EQ(bitmap, nullptr);
        free_bitmap(&bitmap, rows, a, b);  // null: nothing to do
    }
    free_bitmap(nullptr, 3, 5, 7);
}

TEST(BitOrder, TablesAndSwaps) {
    uint8_t reverse[256], identity[256];
    GetReverseBits(reverse);
    GetNoReverseBits(identity);
    Row all(256), swapped(256);
    for (int v = 0; v < 256; ++v) {
        int mirrored = 0;
        for (int b = 0; b < 8; ++b) mirrored |= ((v >> b) & 1) << (7 - b);
        EXPECT_EQ(reverse[v], mirrored) << v;
        EXPECT_EQ(identity[v], v);
        all[static_cast<std::size_t>(v)] = static_cast<uint8_t>(v);
        swapped[static_cast<std::size_t>(v)] = static_cast<uint8_t>(mirrored);
    }
    Row buffer = all;
    swabbits(buffer.data(), 255);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end() - 1, swapped.begin()));
    EXPECT_EQ(buffer.back(), 255) << "only the count given";
    swabbits(buffer.data(), 0);
    swabbits(buffer.data(), -4);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end() - 1, swapped.begin()));
    for (int32_t count : {5, 4, 2, 1, 0, -1}) {
        Row bytes = {1, 2, 3, 4, 5, 6};
        swabbytes(bytes.data(), count);
        for (int32_t i = 0; i < 6; ++i) {
            const int32_t pairEnd = count / 2 * 2;
            EXPECT_EQ(bytes[static_cast<std::size_t>(i)], i < pairEnd ? (i ^ 1) + 1 : i + 1) << count << " " << i;
        }
    }
}

TEST(Unpacking, SpreadByte) {
    Row pixels(16, 7);
    spread_byte(0xA5, 4, pixels.data(), 5);
    EXPECT_EQ(pixels, (Row{7, 7, 7, 7, 1, 0, 1, 0, 0, 1, 0, 1, 7, 7, 7, 7}));
    spread_byte(0x3C, 0, pixels.data(), 1);
    EXPECT_EQ(pixels, (Row{0, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 1, 7, 7, 7, 7}));
    Row untouched(16, 7);
    spread_byte(0xFF, 5, untouched.data(), 5);   // first pixel at the limit: nothing
    spread_byte(0xFF, -8, untouched.data(), 5);  // before the row: nothing
    EXPECT_EQ(untouched, Row(16, 7));
}

TEST(Unpacking, SpreadByteAtTheEndOfTheLargestRow) {
    // A row of 2^31 + 6 pixels: the last byte's pixels lie past INT32_MAX. The block is
    // mapped lazily, so only its last page is ever touched.
    constexpr int32_t first = INT32_MAX - 1;
    const std::size_t size = static_cast<std::size_t>(first) + 8;
    auto *row = static_cast<uint8_t *>(std::calloc(size, 1));
    if (row == nullptr) {
        GTEST_SKIP() << "no address space for a 2 GiB row";
    }
    spread_byte(0x81, first, row, INT32_MAX);
    EXPECT_EQ(row[size - 8], 1);
    EXPECT_EQ(row[size - 7], 0);
    EXPECT_EQ(row[size - 1], 1);
    std::free(row);
}

TEST(Unpacking, SpreadByte2) {
    const struct {
        int bits, index, limit;
        int32_t perByte;
        Row expected;
    } cases[] = {
        {2, 1, 100, 4, {9, 9, 9, 9, 2, 3, 1, 0, 9, 9, 9, 9}},
        {1, 1, 9, 8, {9, 9, 9, 9, 9, 9, 9, 9, 1, 0, 1, 1}},  // only the first pixel is tested
        {4, 3, 100, 2, {9, 9, 9, 9, 9, 9, 0xB, 0x4, 9, 9, 9, 9}},
        {8, 5, 100, 1, {9, 9, 9, 9, 9, 0xB4, 9, 9, 9, 9, 9, 9}},
        {3, 5, 100, 1, {9, 9, 9, 9, 9, 0xB4, 9, 9, 9, 9, 9, 9}},
        {2, 1, 4, 4, Row(12, 9)},     // first pixel 4 is at the limit
        {1, -1, 100, 8, Row(12, 9)},  // before the row
    };
    for (const auto &c : cases) {
        Row row(c.expected.size() + 8, 9);
        EXPECT_EQ(spread_byte2(0xB4, c.index, row.data(), c.limit, c.bits), c.perByte) << c.bits;
        EXPECT_EQ(Row(row.begin(), row.begin() + 12), c.expected) << c.bits << " " << c.index;
    }
}

Runs makeRuns(const Row &row, int32_t polarity, int32_t limit = 100) {
    Runs runs(static_cast<std::size_t>(limit) + 2, -99);
    const int32_t count = MakeRuns(runs.data(), row.data(), limit, static_cast<int32_t>(row.size()), polarity);
    EXPECT_EQ(count % 2, 0);
    runs.resize(static_cast<std::size_t>(count));
    return runs;
}

TEST(Runs, MakeRunsExamples) {
    EXPECT_EQ(makeRuns({0, 0, 255, 255, 0}, 1), (Runs{0, 2, 4, 5}));
    EXPECT_EQ(makeRuns({255, 0}, 1), (Runs{0, 0, 1, 2}));
    EXPECT_EQ(makeRuns({0, 255}, 1), (Runs{0, 1, 2, 2}));
    EXPECT_EQ(makeRuns({0, 0, 255, 255, 0}, 0), (Runs{0, 0, 2, 4, 5, 5}));
    EXPECT_EQ(makeRuns({}, 1), (Runs{0, 0}));
    EXPECT_EQ(makeRuns({7, 7, 7}, 1), (Runs{0, 0, 3, 3}));
    EXPECT_EQ(makeRuns({7, 7, 7}, 0), (Runs{0, 3}));
}

TEST(Runs, TheEntryLimitStopsTheScanAndTheListStaysInBounds) {
    const Row row = {0, 9, 0, 9, 0, 9, 0, 9, 0, 9};
    EXPECT_EQ(makeRuns(row, 1, 3), (Runs{0, 1, 2, 10}));
    EXPECT_EQ(makeRuns(row, 1, 4), (Runs{0, 1, 2, 3, 10, 10}));
    EXPECT_EQ(makeRuns(row, 1, 0), (Runs{0, 10}));
    EXPECT_EQ(makeRuns(row, 1, 1), (Runs{0, 10}));
    // A negative limit leaves no room: nothing is stored.
    Runs runs(4, -99);
    EXPECT_EQ(MakeRuns(runs.data(), row.data(), -3, 10, 1), 0);
    EXPECT_EQ(runs, Runs(4, -99));
    // The list never uses more than limit + 2 entries.
    std::mt19937 random(5);
    for (int round = 0; round < 500; ++round) {
        Row noise(1 + random() % 40);
        for (auto &byte : noise) {
            byte = random() % 2 ? 0 : 255;
        }
        const int32_t limit = static_cast<int32_t>(random() % 12);
        Runs guarded(static_cast<std::size_t>(limit) + 2 + 4, -99);
        const int32_t count = MakeRuns(guarded.data(), noise.data(), limit, static_cast<int32_t>(noise.size()), 1);
        ASSERT_LE(count, limit + 2);
        for (std::size_t i = static_cast<std::size_t>(limit) + 2; i < guarded.size(); ++i) {
            ASSERT_EQ(guarded[i], -99);
        }
    }
}

TEST(Runs, ExpandRuns) {
    Row row(5, 1);
    const Runs runs = {0, 2, 4, 5};
    ExpandRuns(row.data(), runs.data(), 4, 5);
    EXPECT_EQ(row, (Row{0, 0, 255, 255, 0}));
    // Runs outside the row are clipped on both sides; an odd last boundary is ignored.
    Row guarded(12, 1);
    const Runs wild = {-5, 1, 3, 3, 4, 99, 7};
    ExpandRuns(guarded.data() + 2, wild.data(), 7, 8);
    EXPECT_EQ(guarded, (Row{1, 1, 0, 255, 255, 255, 0, 0, 0, 0, 1, 1}));
    ExpandRuns(guarded.data(), wild.data(), 7, 0);
    ExpandRuns(guarded.data(), wild.data(), 7, -3);
    EXPECT_EQ(guarded[0], 1);
}

TEST(Runs, MakeAndExpandAreInverses) {
    std::mt19937 random(9);
    for (int round = 0; round < 300; ++round) {
        Row row(random() % 64);
        for (auto &byte : row) {
            byte = random() % 3 == 0 ? 0 : 255;
        }
        const auto width = static_cast<int32_t>(row.size());
        Runs runs(static_cast<std::size_t>(width) + 3);
        const int32_t count = MakeRuns(runs.data(), row.data(), width + 1, width, 1);
        Row back(row.size() + 1, 7);
        ExpandRuns(back.data(), runs.data(), count, width);
        EXPECT_EQ(Row(back.begin(), back.end() - 1), row);
        EXPECT_EQ(back.back(), 7);
    }
}

}  // namespace
}  // namespace vutil::test
