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

TEST(BitOrder, TablesAndSwapsTouchOnlyTheCountGiven) {
    uint8_t reverse[256], identity[256];
    GetReverseBits(reverse);
    GetNoReverseBits(identity);
    Row all(256), bits(256);
    for (int v = 0; v < 256; ++v) {
        all[static_cast<std::size_t>(v)] = bits[static_cast<std::size_t>(v)] = static_cast<uint8_t>(v);
        int mirrored = 0;
        for (int b = 0; b < 8; ++b) mirrored |= ((v >> b) & 1) << (7 - b);
        EXPECT_EQ(reverse[v], mirrored) << v;
        EXPECT_EQ(identity[v], v);
    }
    for (int32_t count : {0, -4, 255}) {
        swabbits(bits.data(), count);
    }
    for (int v = 0; v < 256; ++v) {
        EXPECT_EQ(bits[static_cast<std::size_t>(v)], v < 255 ? reverse[v] : 255) << v;
    }
    for (int32_t count : {5, 4, 1, 0, -1}) {
        Row bytes = all;
        swabbytes(bytes.data(), count);
        for (int32_t i = 0; i < 6; ++i) {
            EXPECT_EQ(bytes[static_cast<std::size_t>(i)], i < count / 2 * 2 ? i ^ 1 : i) << count << " " << i;
        }
    }
}

// Both unpackers against a plain model: pixels of `bits` bits (other depths: whole bytes), the first one's
// index below the limit, or nothing is written.
TEST(Unpacking, SpreadByteAndSpreadByte2FollowTheModel) {
    for (int bits : {1, 2, 3, 4, 8}) {
        const int32_t perByte = bits == 1 ? 8 : bits == 2 ? 4 : bits == 4 ? 2 : 1, width = 8 / perByte;
        for (int32_t index : {-1, 0, 1, 3, 5}) {
            for (int32_t limit : {0, 4, 5, 9, 100}) {
                Row row(60, 9), expected(60, 9), plain(60, 9), plainExpected(60, 9);
                const int32_t value = 0xB4 ^ (index * 37 + limit);
                for (int32_t i = 0; i < perByte && index >= 0 && index * perByte < limit; ++i) {
                    expected[static_cast<std::size_t>(index * perByte + i)] =
                        static_cast<uint8_t>((value >> (8 - width * (i + 1))) & ((1 << width) - 1));
                }
                for (int32_t i = 0; i < 8 && index >= 0 && index < limit; ++i) {
                    plainExpected[static_cast<std::size_t>(index + i)] = static_cast<uint8_t>((value >> (7 - i)) & 1);
                }
                EXPECT_EQ(spread_byte2(value, index, row.data(), limit, bits), perByte);
                spread_byte(value, index, plain.data(), limit);
                EXPECT_EQ(row, expected) << bits << " " << index << " " << limit;
                EXPECT_EQ(plain, plainExpected) << index << " " << limit;
            }
        }
    }
    // A row of 2^31 + 6 pixels: the last byte's pixels lie past INT32_MAX. The block is mapped lazily.
    constexpr int32_t first = INT32_MAX - 1;
    auto *row = static_cast<uint8_t *>(std::calloc(static_cast<std::size_t>(first) + 8, 1));
    if (row != nullptr) {
        spread_byte(0x81, first, row, INT32_MAX);
        EXPECT_EQ(row[static_cast<std::size_t>(first)] + 2 * row[static_cast<std::size_t>(first) + 1] +
                      4 * row[static_cast<std::size_t>(first) + 7],
                  5);
        std::free(row);
    }
}

Runs makeRuns(const Row &row, int32_t polarity, int32_t limit = 100) {
    Runs runs(static_cast<std::size_t>(std::max(limit, 0)) + 6, -99);
    const int32_t count = MakeRuns(runs.data(), row.data(), limit, static_cast<int32_t>(row.size()), polarity);
    EXPECT_TRUE(std::all_of(runs.begin() + std::max(limit + 2, 0), runs.end(), [](int32_t v) { return v == -99; }))
        << "at most limit + 2 entries";
    runs.resize(static_cast<std::size_t>(count));
    return runs;
}

TEST(Runs, MakeRunsListsTheBoundariesUpToTheLimit) {
    const struct {
        Row row;
        int32_t polarity, limit;
        Runs runs;
    } cases[] = {
        {{0, 0, 255, 255, 0}, 1, 100, {0, 2, 4, 5}},
        {{0, 0, 255, 255, 0}, 0, 100, {0, 0, 2, 4, 5, 5}},
        {{255, 0}, 1, 100, {0, 0, 1, 2}},
        {{}, 1, 100, {0, 0}},
        {{7, 7, 7}, 0, 100, {0, 3}},
        {{0, 9, 0, 9, 0, 9, 0, 9, 0, 9}, 1, 3, {0, 1, 2, 10}},
        {{0, 9, 0, 9, 0, 9, 0, 9, 0, 9}, 1, 4, {0, 1, 2, 3, 10, 10}},
        {{0, 9, 0, 9, 0, 9, 0, 9, 0, 9}, 1, 1, {0, 10}},
        {{0, 9, 0, 9}, 1, -3, {}},  // a negative limit leaves no room: nothing is stored
    };
    for (const auto &c : cases) {
        EXPECT_EQ(makeRuns(c.row, c.polarity, c.limit), c.runs) << c.row.size() << " " << c.limit;
    }
}

TEST(Runs, ExpandRunsClipsToTheRowAndUndoesMakeRuns) {
    // Runs outside the row are clipped on both sides; an odd last boundary is ignored.
    Row guarded(12, 1);
    const Runs wild = {-5, 1, 3, 3, 4, 99, 7};
    ExpandRuns(guarded.data() + 2, wild.data(), 7, 8);
    EXPECT_EQ(guarded, (Row{1, 1, 0, 255, 255, 255, 0, 0, 0, 0, 1, 1}));
    ExpandRuns(guarded.data(), wild.data(), 7, -3);
    EXPECT_EQ(guarded[0], 1);
    std::mt19937 random(9);
    for (int round = 0; round < 300; ++round) {
        Row row(random() % 64);
        for (auto &byte : row) {
            byte = random() % 3 == 0 ? 0 : 255;
        }
        const auto width = static_cast<int32_t>(row.size());
        const bool whole = round % 2 == 1;
        const Runs runs = makeRuns(row, 1, whole ? width + 2 : static_cast<int32_t>(random() % 12));
        Row back(row.size() + 1, 7);
        ExpandRuns(back.data(), runs.data(), static_cast<int32_t>(runs.size()), width);
        EXPECT_EQ(back.back(), 7);
        // The whole row comes back when the list had room, else the part up to the last boundary listed.
        std::size_t stop = whole ? row.size() : 0;
        for (int32_t boundary : runs) {
            stop = boundary < width ? std::max(stop, static_cast<std::size_t>(boundary)) : stop;
        }
        EXPECT_TRUE(std::equal(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(stop), back.begin()));
    }
}

}  // namespace
}  // namespace vutil::test
