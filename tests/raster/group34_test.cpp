// Tests of the Group 3/4 lookup tables: known entries, the shape of every table, the
// buffers' spare bytes and the scratch memory.
#include "raster/group34.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

#include "frame/entry.h"
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
    int32_t whiteRun(std::size_t i) const { return word(whiteRuns, i); }
    int32_t blackRun(std::size_t i) const { return word(blackRuns, i); }
    int whiteLength(std::size_t i) const { return static_cast<int8_t>(whiteLengths[i]); }
    int blackLength(std::size_t i) const { return static_cast<int8_t>(blackLengths[i]); }
    int mode(std::size_t i) const { return static_cast<int8_t>(modeValues[i]); }
    int modeLength(std::size_t i) const { return static_cast<int8_t>(modeLengths[i]); }

    static int32_t word(const std::vector<uint8_t> &bytes, std::size_t i) {
        int32_t value;
        std::memcpy(&value, bytes.data() + 4 * i, 4);
        return value;
    }

    std::vector<uint8_t> whiteRuns = std::vector<uint8_t>(G34_WHITE_RUNS_BYTES + kGuardBytes);
    std::vector<uint8_t> whiteLengths = std::vector<uint8_t>(G34_WHITE_LENGTHS_BYTES + kGuardBytes);
    std::vector<uint8_t> blackRuns = std::vector<uint8_t>(G34_BLACK_RUNS_BYTES + kGuardBytes);
    std::vector<uint8_t> blackLengths = std::vector<uint8_t>(G34_BLACK_LENGTHS_BYTES + kGuardBytes);
    std::vector<uint8_t> modeValues = std::vector<uint8_t>(G34_MODE_VALUES_BYTES + kGuardBytes);
    std::vector<uint8_t> modeLengths = std::vector<uint8_t>(G34_MODE_LENGTHS_BYTES + kGuardBytes);
};

TEST(Group34Tables, KnownEntries) {
    TableSet t;
    const struct {
        bool white;
        std::size_t index;
        int32_t run;
        int length;
    } cases[] = {
        {true, 1, 3, 4},        // 1000
        {true, 172, 0, 8},      // 00110101
        {true, 2048, -1, 12},   // EOL
        {true, 0, -2, 1},       // twelve zeros
        {true, 128, 1792, 11},  // 00000001000, shared extended make-up
        {true, 2176, 1792, 11},
        {true, 27, 64, 5},   // 11011: make-up 64
        {true, 6, 1664, 6},  // 011000
        {true, 6 + 64 * 37, 1664, 6},
        {false, 3, 2, 2},       // 11
        {false, 0x3B0, 0, 10},  // 0000110111
        {false, 2048, -1, 12},
        {false, 6144, -1, 12},
        {false, 0, -2, 1},
        {false, 128, 1792, 11},
        {false, 2176, 1792, 11},
        {false, 4224, 1792, 11},
        {false, 6272, 1792, 11},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.white ? "white " : "black ") + std::to_string(c.index));
        EXPECT_EQ(c.white ? t.whiteRun(c.index) : t.blackRun(c.index), c.run);
        EXPECT_EQ(c.white ? t.whiteLength(c.index) : t.blackLength(c.index), c.length);
    }
}

/// Checks one run table: every valid entry is owned by the code in its low bits, the codes
/// are exactly the T.4 run values of both kinds plus EOL, and the rest are invalid.
void checkRunTable(const TableSet &t, bool white, int expectedInvalid) {
    const std::size_t entries = white ? 4096 : 8192;
    std::set<int32_t> values;
    int invalid = 0;
    for (std::size_t i = 0; i < entries; ++i) {
        const int32_t run = white ? t.whiteRun(i) : t.blackRun(i);
        const int length = white ? t.whiteLength(i) : t.blackLength(i);
        if (run == G34_RUN_INVALID) {
            ++invalid;
            EXPECT_EQ(length, 1) << i;
            EXPECT_EQ(i & 0xFF, 0u) << "invalid patterns begin with eight 0 bits: " << i;
            continue;
        }
        ASSERT_GE(length, 2) << i;
        ASSERT_LE(length, white ? 12 : 13) << i;
        const std::size_t owner = i & ((std::size_t{1} << length) - 1);
        EXPECT_EQ(white ? t.whiteRun(owner) : t.blackRun(owner), run) << i;
        EXPECT_EQ(white ? t.whiteLength(owner) : t.blackLength(owner), length) << i;
        values.insert(run);
    }
    EXPECT_EQ(invalid, expectedInvalid);
    std::set<int32_t> expected = {G34_RUN_EOL};
    for (int32_t run = 0; run < 64; ++run) {
        expected.insert(run);
    }
    for (int32_t run = 64; run <= 2560; run += 64) {
        expected.insert(run);
    }
    EXPECT_EQ(values, expected);
}

TEST(Group34Tables, RunTablesHoldExactlyTheT4Codes) {
    TableSet t;
    checkRunTable(t, true, 15);
    checkRunTable(t, false, 30);
}

TEST(Group34Tables, ModeTable) {
    TableSet t;
    for (std::size_t i = 0; i < 128; ++i) {
        if (i % 2 == 1) {
            EXPECT_EQ(t.mode(i), 0) << i;
            EXPECT_EQ(t.modeLength(i), 1) << i;
        }
    }
    const struct {
        std::size_t index;
        int mode;
        int length;
    } cases[] = {{0, -11, 16}, {64, -11, 16}, {6, 1, 3},  {2, -1, 3},   {48, 2, 6}, {16, -2, 6},
                 {96, 3, 7},   {32, -3, 7},   {8, -8, 4}, {120, -8, 4}, {4, -9, 3}, {124, -9, 3}};
    for (const auto &c : cases) {
        EXPECT_EQ(t.mode(c.index), c.mode) << c.index;
        EXPECT_EQ(t.modeLength(c.index), c.length) << c.index;
    }
    int none = 0;
    for (std::size_t i = 0; i < 128; ++i) {
        none += t.mode(i) == G34_MODE_NONE;
    }
    EXPECT_EQ(none, 2);
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
        for (std::size_t i = b.used; i < b.size; ++i) {
            EXPECT_EQ((*b.buffer)[i], 0) << i;
        }
        for (std::size_t i = b.size; i < b.size + kGuardBytes; ++i) {
            EXPECT_EQ((*b.buffer)[i], kGuard) << "written past the buffer at " << i;
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
