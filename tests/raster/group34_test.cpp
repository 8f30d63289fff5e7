// Tests of the Group 3/4 lookup tables: the shape of every table, the buffers' spare bytes and the scratch memory
// (the fax tests decode libtiff's images through the same tables).
#include "raster/group34.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "platform/memory.h"
#include "vutil/raster.h"

namespace vutil::test {
namespace {

/// The six buffers of one call, each followed by 16 guard bytes that must stay untouched.
struct TableSet {
    static constexpr std::size_t kSizes[6] = {G34_WHITE_RUNS_BYTES,    G34_WHITE_LENGTHS_BYTES, G34_BLACK_RUNS_BYTES,
                                              G34_BLACK_LENGTHS_BYTES, G34_MODE_VALUES_BYTES,   G34_MODE_LENGTHS_BYTES};
    TableSet() {
        for (int i = 0; i < 6; ++i) buffers[i].assign(kSizes[i] + 16, 0xA5);
        EXPECT_EQ(FillGroup34Tables(
                      reinterpret_cast<int32_t *>(buffers[0].data()), reinterpret_cast<int8_t *>(buffers[1].data()),
                      reinterpret_cast<int32_t *>(buffers[2].data()), reinterpret_cast<int8_t *>(buffers[3].data()),
                      reinterpret_cast<int8_t *>(buffers[4].data()), reinterpret_cast<int8_t *>(buffers[5].data())),
                  1);
    }
    /// Value and code length of entry i of the white (0), black (1) or mode (2) table.
    std::pair<int32_t, int> entry(int table, std::size_t i) const {
        int32_t value;
        if (table < 2) {
            std::memcpy(&value, buffers[2 * table].data() + 4 * i, 4);
        } else {
            value = static_cast<int8_t>(buffers[4][i]);
        }
        return {value, static_cast<int8_t>(buffers[2 * table + 1][i])};
    }
    std::vector<uint8_t> buffers[6];
};

// Codes are read least significant bit first: every entry belongs to the code in its low bits. The run tables
// hold exactly the T.4 terminating and make-up runs plus EOL (twelve bits), the mode table the T.4 two-dimensional
// modes with their code lengths; all other patterns are invalid. Spare bytes are 0, nothing is written past them.
TEST(Group34Tables, EveryEntryBelongsToItsCodeAndSpareBytesAreZero) {
    TableSet t;
    std::set<int32_t> runs = {G34_RUN_EOL};
    for (int32_t run = 0; run <= 2560; run += run < 64 ? 1 : 64) runs.insert(run);
    const std::map<int32_t, int> modes = {{0, 1}, {1, 3},  {-1, 3}, {2, 6},  {-2, 6},
                                          {3, 7}, {-3, 7}, {-8, 4}, {-9, 3}, {G34_MODE_NONE, 16}};
    const std::size_t entries[] = {4096, 8192, 128};
    const int longest[] = {12, 13, 16}, invalids[] = {15, 30, 0};
    for (int table = 0; table < 3; ++table) {
        SCOPED_TRACE(table);
        std::set<int32_t> values;
        int invalid = 0;
        for (std::size_t i = 0; i < entries[table]; ++i) {
            const auto [value, length] = t.entry(table, i);
            if (table < 2 && value == G34_RUN_INVALID) {
                ++invalid;
                ASSERT_TRUE(length == 1 && (i & 0xFF) == 0) << "invalid patterns begin with eight 0 bits: " << i;
                continue;
            }
            ASSERT_TRUE(length >= 1 && length <= longest[table]) << i;
            ASSERT_TRUE(table < 2 || modes.at(value) == length) << i;
            const std::size_t owner = i & ((std::size_t{1} << std::min(length, 7 + 6 * (table < 2))) - 1);
            ASSERT_EQ(t.entry(table, owner), t.entry(table, i)) << i;
            values.insert(value);
        }
        EXPECT_EQ(invalid, invalids[table]);
        EXPECT_TRUE(table < 2 ? values == runs : values.size() == modes.size());
        EXPECT_TRUE(table == 2 || t.entry(table, 2048) == std::make_pair(G34_RUN_EOL, 12));
        EXPECT_TRUE(table == 2 || t.entry(table, 128) == std::make_pair(1792, 11)) << "a shared make-up";
    }
    const std::size_t used[6] = {16384, 4096, 32768, 8192, 128, 128};
    for (int b = 0; b < 6; ++b) {
        for (std::size_t i = used[b]; i < t.buffers[b].size(); ++i) {
            EXPECT_EQ(t.buffers[b][i], i < TableSet::kSizes[b] ? 0 : 0xA5) << b << " " << i;
        }
    }
}

TEST(Group34Tables, CallsAreIdenticalAndLeaveNoScratchBehind) {
    const std::size_t before = platform::globalBlocksInUse();
    const TableSet first;
    EXPECT_EQ(platform::globalBlocksInUse(), before);
    // Again, and without scratch memory (the tables are then built in place): the same result.
    for (long failAfter = -1; failAfter < 6; ++failAfter) {
        platform::setGlobalAllocFailureAfter(failAfter);
        const TableSet again;
        platform::setGlobalAllocFailureAfter(-1);
        EXPECT_EQ(platform::globalBlocksInUse(), before) << failAfter;
        EXPECT_TRUE(std::equal(again.buffers, again.buffers + 6, first.buffers)) << failAfter;
    }
    raster::releaseGroup34Scratch();  // the unload step finds nothing held and frees nothing
    EXPECT_EQ(platform::globalBlocksInUse(), before);
}

}  // namespace
}  // namespace vutil::test
