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

constexpr uint8_t kGuard = 0xA5;
constexpr std::size_t kGuardBytes = 16;

/// The six buffers of one call, each followed by guard bytes that must stay untouched.
struct TableSet {
    TableSet() {
        for (auto *buffer : {&whiteRuns, &whiteLengths, &blackRuns, &blackLengths, &modeValues, &modeLengths}) {
            buffer->assign(buffer->size(), kGuard);
        }
        FillGroup34Tables(
            reinterpret_cast<int32_t *>(whiteRuns.data()), reinterpret_cast<int8_t *>(whiteLengths.data()),
            reinterpret_cast<int32_t *>(blackRuns.data()), reinterpret_cast<int8_t *>(blackLengths.data()),
            reinterpret_cast<int8_t *>(modeValues.data()), reinterpret_cast<int8_t *>(modeLengths.data()));
    }
    /// Value and code length of entry i of the white (0), black (1) or mode (2) table.
    std::pair<int32_t, int> entry(int table, std::size_t i) const {
        if (table == 2) {
            return {static_cast<int8_t>(modeValues[i]), static_cast<int8_t>(modeLengths[i])};
        }
        int32_t run;
        std::memcpy(&run, (table == 0 ? whiteRuns : blackRuns).data() + 4 * i, 4);
        return {run, static_cast<int8_t>((table == 0 ? whiteLengths : blackLengths)[i])};
    }

    std::vector<uint8_t> whiteRuns = std::vector<uint8_t>(G34_WHITE_RUNS_BYTES + kGuardBytes);
    std::vector<uint8_t> whiteLengths = std::vector<uint8_t>(G34_WHITE_LENGTHS_BYTES + kGuardBytes);
    std::vector<uint8_t> blackRuns = std::vector<uint8_t>(G34_BLACK_RUNS_BYTES + kGuardBytes);
    std::vector<uint8_t> blackLengths = std::vector<uint8_t>(G34_BLACK_LENGTHS_BYTES + kGuardBytes);
    std::vector<uint8_t> modeValues = std::vector<uint8_t>(G34_MODE_VALUES_BYTES + kGuardBytes);
    std::vector<uint8_t> modeLengths = std::vector<uint8_t>(G34_MODE_LENGTHS_BYTES + kGuardBytes);
};

// Codes are read least significant bit first: every entry belongs to the code in its low bits. The run tables
// hold exactly the T.4 terminating and make-up runs plus EOL (twelve bits), the mode table the T.4 two-dimensional
// modes with their code lengths; all other patterns are invalid.
TEST(Group34Tables, EveryEntryBelongsToItsCode) {
    TableSet t;
    std::set<int32_t> runs = {G34_RUN_EOL};
    for (int32_t run = 0; run < 64; ++run) {
        runs.insert(run);
    }
    for (int32_t run = 64; run <= 2560; run += 64) {
        runs.insert(run);
    }
    const std::map<int32_t, int> modes = {{0, 1},  {1, 3},  {-1, 3}, {2, 6},   {-2, 6},
                                          {3, 7},  {-3, 7}, {-8, 4}, {-9, 3}, {G34_MODE_NONE, 16}};
    const struct {
        std::size_t entries;
        int longest, invalid;
    } tables[] = {{4096, 12, 15}, {8192, 13, 30}, {128, 16, 0}};
    for (int table = 0; table < 3; ++table) {
        SCOPED_TRACE(table);
        std::set<int32_t> values;
        int invalid = 0;
        for (std::size_t i = 0; i < tables[table].entries; ++i) {
            const auto [value, length] = t.entry(table, i);
            if (table < 2 && value == G34_RUN_INVALID) {
                ++invalid;
                ASSERT_EQ(length, 1) << i;
                ASSERT_EQ(i & 0xFF, 0u) << "invalid patterns begin with eight 0 bits: " << i;
                continue;
            }
            ASSERT_GE(length, 1) << i;
            ASSERT_LE(length, tables[table].longest) << i;
            if (table == 2) {
                ASSERT_EQ(modes.at(value), length) << i;
            }
            const std::size_t owner = i & ((std::size_t{1} << std::min(length, 7 + 6 * (table < 2))) - 1);
            ASSERT_EQ(t.entry(table, owner), t.entry(table, i)) << i;
            values.insert(value);
        }
        EXPECT_EQ(invalid, tables[table].invalid);
        if (table < 2) {
            EXPECT_EQ(values, runs);
            EXPECT_EQ(t.entry(table, 2048), (std::pair<int32_t, int>{G34_RUN_EOL, 12}));
            EXPECT_EQ(t.entry(table, 128), (std::pair<int32_t, int>{1792, 11})) << "the shared extended make-up";
        } else {
            EXPECT_EQ(values.size(), modes.size());
        }
    }
}

TEST(Group34Tables, SpareBytesAreZeroAndNothingPastTheBuffers) {
    TableSet t;
    const struct {
        const std::vector<uint8_t> *buffer;
        std::size_t used, size;
    } buffers[] = {
        {&t.whiteRuns, 16384, G34_WHITE_RUNS_BYTES}, {&t.whiteLengths, 4096, G34_WHITE_LENGTHS_BYTES},
        {&t.blackRuns, 32768, G34_BLACK_RUNS_BYTES}, {&t.blackLengths, 8192, G34_BLACK_LENGTHS_BYTES},
        {&t.modeValues, 128, G34_MODE_VALUES_BYTES}, {&t.modeLengths, 128, G34_MODE_LENGTHS_BYTES},
    };
    for (const auto &b : buffers) {
        for (std::size_t i = b.used; i < b.size + kGuardBytes; ++i) {
            EXPECT_EQ((*b.buffer)[i], i < b.size ? 0 : kGuard) << i << " of " << b.size;
        }
    }
}

TEST(Group34Tables, CallsAreIdenticalAndLeaveNoScratchBehind) {
    const std::size_t before = platform::globalBlocksInUse();
    TableSet first;
    EXPECT_EQ(platform::globalBlocksInUse(), before);
    // Again, and without scratch memory (the tables are then built in place): the same result.
    for (long failAfter = -1; failAfter < 6; ++failAfter) {
        platform::setGlobalAllocFailureAfter(failAfter);
        TableSet again;
        platform::setGlobalAllocFailureAfter(-1);
        EXPECT_EQ(platform::globalBlocksInUse(), before) << failAfter;
        for (auto part : {&TableSet::whiteRuns, &TableSet::whiteLengths, &TableSet::blackRuns, &TableSet::blackLengths,
                          &TableSet::modeValues, &TableSet::modeLengths}) {
            EXPECT_EQ(again.*part, first.*part) << failAfter;
        }
    }
    // The unload step finds nothing held and frees nothing.
    raster::releaseGroup34Scratch();
    EXPECT_EQ(platform::globalBlocksInUse(), before);
}

}  // namespace
}  // namespace vutil::test
