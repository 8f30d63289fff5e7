// Tests of row bitmaps, bit and byte order, pixel unpacking and run lists.
#include <gtest/gtest.h>

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

// Rows are zero-filled and whole; rows of zero or negative length still get one byte, no rows still an array;
// freeing gives back the array. Rows of 33 MB are larger than any heap keeps in its own blocks.
TEST(Bitmap, AllocatesZeroFilledRowsAndFreesThem) {
    for (auto [rows, a, b] : {std::tuple{3, 5, 7}, std::tuple{0, 10, 10}, std::tuple{2, -3, 4}, std::tuple{2, -2, -2},
                              std::tuple{3, 5800, 5800}}) {
        uint8_t **bitmap = nullptr;
        ASSERT_TRUE(alloc_bitmap(&bitmap, rows, a, b) == 1 && bitmap != nullptr);
        const std::size_t size = a * b > 0 ? a * b : 1;
        for (int r = 0; r < rows; ++r) {
            EXPECT_TRUE(std::all_of(bitmap[r], bitmap[r] + size, [](int v) { return v == 0; }));
            bitmap[r][size - 1] = 1;  // the last byte belongs to the row
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
    Row bits(256);
    for (int v = 0; v < 256; ++v) {
        int mirrored = 0;
        for (int b = 0; b < 8; ++b) mirrored |= ((v >> b) & 1) << (7 - b);
        EXPECT_TRUE(reverse[v] == mirrored && identity[v] == v) << v;
        bits[v] = static_cast<uint8_t>(v);
    }
    for (int32_t count : {0, -4, 255}) swabbits(bits.data(), count);
    for (int v = 0; v < 256; ++v) EXPECT_EQ(bits[v], v < 255 ? reverse[v] : 255) << v;
    for (int32_t count : {5, 4, 1, 0, -1}) {
        Row bytes = {0, 1, 2, 3, 4, 5};
        swabbytes(bytes.data(), count);
        for (int i = 0; i < 6; ++i) EXPECT_EQ(bytes[i], i < count / 2 * 2 ? i ^ 1 : i) << count << " " << i;
    }
}

// Both unpackers against a plain model: pixels of `bits` bits (other depths: whole bytes), the first one's
// index below the limit, or nothing is written.
TEST(Unpacking, SpreadByteAndSpreadByte2FollowTheModel) {
    for (int bits : {1, 2, 3, 4, 8}) {
        const int32_t perByte = bits == 1 ? 8 : bits == 2 ? 4 : bits == 4 ? 2 : 1, width = 8 / perByte;
        for (int32_t index : {-1, 0, 1, 3, 5}) {
            for (int32_t limit : {0, 4, 5, 9, 100}) {
                Row packed(60, 9), expected(60, 9), plain(60, 9), plainExpected(60, 9);
                const int32_t value = 0xB4 ^ (index * 37 + limit);
                for (int32_t i = 0; i < perByte && index >= 0 && index * perByte < limit; ++i) {
                    expected[index * perByte + i] = (value >> (8 - width * (i + 1))) & ((1 << width) - 1);
                }
                for (int32_t i = 0; i < 8 && index >= 0 && index < limit; ++i) {
                    plainExpected[index + i] = (value >> (7 - i)) & 1;
                }
                EXPECT_EQ(spread_byte2(value, index, packed.data(), limit, bits), perByte);
                spread_byte(value, index, plain.data(), limit);
                EXPECT_TRUE(packed == expected && plain == plainExpected) << bits << " " << index << " " << limit;
            }
        }
    }
    // A row of 2^31 + 6 pixels: the last byte's pixels lie past INT32_MAX. The block is mapped lazily; a 32-bit
    // process has no room for it.
    if constexpr (sizeof(std::size_t) > 4) {
        constexpr std::size_t first = INT32_MAX - 1;
        if (auto *row = static_cast<uint8_t *>(std::calloc(first + 8, 1))) {
            spread_byte(0x81, first, row, INT32_MAX);
            EXPECT_EQ(row[first] + 2 * row[first + 1] + 4 * row[first + 7], 5);
            std::free(row);
        }
    }
}

/// MakeRuns with room for `limit` + 6 entries: it must use at most `limit` + 2.
Runs makeRuns(const Row &row, int32_t polarity, int32_t limit) {
    Runs runs(std::max(limit, 0) + 6, -99);
    const int32_t count = MakeRuns(runs.data(), row.data(), limit, static_cast<int32_t>(row.size()), polarity);
    EXPECT_TRUE(std::all_of(runs.begin() + std::max(limit + 2, 0), runs.end(), [](int32_t v) { return v == -99; }));
    runs.resize(count);
    return runs;
}

// Boundaries of the runs of 0 (polarity 1) or of the rest (0), from a run of them at 0, ended by the width;
// the scan stops when the limit is reached, and a negative limit leaves no room: nothing is stored.
TEST(Runs, MakeRunsListsTheBoundariesUpToTheLimit) {
    const Row alternating = {0, 9, 0, 9, 0, 9, 0, 9, 0, 9};
    const std::tuple<Row, int32_t, int32_t, Runs> cases[] = {{{0, 0, 255, 255, 0}, 0, 100, {0, 0, 2, 4, 5, 5}},
                                                             {{255, 0}, 1, 100, {0, 0, 1, 2}},
                                                             {{}, 1, 100, {0, 0}},
                                                             {alternating, 1, 3, {0, 1, 2, 10}},
                                                             {alternating, 1, 4, {0, 1, 2, 3, 10, 10}},
                                                             {alternating, 1, 1, {0, 10}}, {alternating, 1, -3, {}}};
    for (const auto &[row, polarity, limit, runs] : cases) EXPECT_EQ(makeRuns(row, polarity, limit), runs) << limit;
}

TEST(Runs, ExpandRunsClipsToTheRowAndUndoesMakeRuns) {
    // Runs outside the row are clipped on both sides; an odd last boundary is ignored.
    Row guarded(12, 1);
    const Runs wild = {-5, 1, 3, 3, 4, 99, 7};
    ExpandRuns(guarded.data() + 2, wild.data(), 7, 8);
    ExpandRuns(guarded.data(), wild.data(), 7, -3);
    EXPECT_EQ(guarded, (Row{1, 1, 0, 255, 255, 255, 0, 0, 0, 0, 1, 1}));
    std::mt19937 random(9);
    for (int round = 0; round < 400; ++round) {
        Row row(random() % 64);
        for (auto &byte : row) byte = random() % 3 == 0 ? 0 : 255;
        const auto width = static_cast<int32_t>(row.size());
        const bool whole = round % 2 == 1, polarity = round % 4 < 2;
        const Runs runs = makeRuns(row, polarity, whole ? width + 2 : static_cast<int32_t>(random() % 12));
        Row back(row.size() + 1, 7);
        ExpandRuns(back.data(), runs.data(), static_cast<int32_t>(runs.size()), width);
        EXPECT_EQ(back.back(), 7);
        // The whole row comes back (inverted for polarity 0) when the list had room, else up to the last
        // boundary listed.
        std::size_t stop = whole ? row.size() : 0;
        for (int32_t boundary : runs) stop = boundary < width ? std::max<std::size_t>(stop, boundary) : stop;
        for (std::size_t i = 0; i < stop; ++i) ASSERT_EQ(back[i], polarity ? row[i] : 255 - row[i]) << round;
    }
}

}  // namespace
}  // namespace vutil::test
