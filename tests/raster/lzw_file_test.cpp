// Tests of KOR_decompress: .Z files in, files or counts out, through the buffered files.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/memory.h"
#include "raster/external_tools.h"
#include "raster/lzw_support.h"
#include "support/temp_dir.h"
#include "vutil/fileio.h"
#include "vutil/raster.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

class LzwFile : public ::testing::Test {
protected:
    /// True when no buffered file is left open: the next open gets the first handle.
    void TearDown() override {
        const std::string probe = dir.write("probe", "x");
        int32_t handle = 0;
        EXPECT_TRUE(KorOpenFile(probe.c_str(), &handle, KOR_OPEN_READ) == 1 && handle == 1) << "a file left open";
        KorCloseFile(handle);
    }

    TempDir dir;
    const Bytes original = readFile(dataPath("lzw/sample.bin"));
    const std::string input = dataPath("lzw/sample.b16.Z"), output = dir.file("out");
};

// The decoded file, emptied first when it exists; without an output (or one that cannot be
// opened) the call only counts; a limit leaves exactly that many bytes.
TEST_F(LzwFile, WritesOrCountsTheDecodedBytes) {
    writeFile(output, Bytes(100000, 'x'));
    for (int32_t limit : {0, -7, 1, 2, 3, 1000, 4097, 30001, 49151, 49152, 49153}) {
        const int32_t expected = limit < 1 ? 49152 : std::min(limit, 49152);
        EXPECT_EQ(KOR_decompress(input.c_str(), output.c_str(), limit), expected) << limit;
        EXPECT_TRUE(readFile(output) == Bytes(original.begin(), original.begin() + expected)) << limit;
        EXPECT_EQ(KOR_decompress(input.c_str(), nullptr, limit), expected) << limit;
    }
    EXPECT_EQ(KOR_decompress(input.c_str(), "", 0), 49152);
    const std::string unwritable = dir.file("missing-directory/out");
    EXPECT_EQ(KOR_decompress(input.c_str(), unwritable.c_str(), 0), 49152);
    EXPECT_FALSE(fs::exists(unwritable));
}

// A missing input creates nothing; a bad stream, or no memory for the tables, leaves an empty output.
TEST_F(LzwFile, FailuresGiveZero) {
    EXPECT_EQ(KOR_decompress(dir.file("no-such-file.Z").c_str(), output.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(output));
    const Bytes streams[] = {{}, {0x1F, 0x9D, 0x90}, {0x1E, 0x9D, 0x90, 0x41, 0x00}, {0x1F, 0x9C, 0x90, 0x41, 0x00},
                             {0x1F, 0x9D, 0x91, 0x41, 0x00}};
    const std::string bad = dir.file("bad.Z");
    for (const Bytes &stream : streams) {
        writeFile(bad, stream);
        fs::remove(output);
        EXPECT_EQ(KOR_decompress(bad.c_str(), output.c_str(), 0), 0) << stream.size();
        EXPECT_TRUE(fs::exists(output));
        EXPECT_EQ(fs::file_size(output), 0u);
    }
    const std::size_t before = platform::globalBlocksInUse();
    for (long failAfter : {0L, 1L}) {
        for (const char *out : {output.c_str(), static_cast<const char *>(nullptr)}) {
            platform::setGlobalAllocFailureAfter(failAfter);
            EXPECT_EQ(KOR_decompress(input.c_str(), out, 0), 0);
            platform::setGlobalAllocFailureAfter(-1);
            EXPECT_EQ(fs::file_size(output), 0u);
            EXPECT_EQ(platform::globalBlocksInUse(), before);
        }
    }
}

// Large files through ncompress at three width limits: text, random bytes (which spoil the ratio and make
// compress send CLEAR) and records.
TEST_F(LzwFile, MatchesNcompressOnLargeFiles) {
    REQUIRE_TOOL("compress", "ncompress");
    REQUIRE_TOOL("uncompress.real", "ncompress");
    Bytes data = makeData(DataKind::Text, 400000, 31);
    for (const Bytes &part : {makeData(DataKind::Random, 300000, 32), makeData(DataKind::Records, 600000, 33)}) {
        data.insert(data.end(), part.begin(), part.end());
    }
    writeFile(dir.file("in"), data);
    for (const char *width : {"10", "13", "16"}) {
        ASSERT_TRUE(runCommand(std::string("compress -b ") + width + " -c " + dir.file("in") + " > " + dir.file("in.Z")));
        ASSERT_TRUE(runCommand("uncompress.real -c " + dir.file("in.Z") + " > " + dir.file("peer")));
        int clears = 0;
        EXPECT_TRUE(decodeWithReference(readFile(dir.file("in.Z")), 0, &clears).bytes == data) << width;
        EXPECT_GT(clears, 0) << width;
        EXPECT_EQ(KOR_decompress(dir.file("in.Z").c_str(), nullptr, 0), static_cast<int32_t>(data.size()));
        EXPECT_EQ(KOR_decompress(dir.file("in.Z").c_str(), output.c_str(), 0), static_cast<int32_t>(data.size()));
        EXPECT_TRUE(readFile(output) == readFile(dir.file("peer"))) << width;
        EXPECT_TRUE(readFile(output) == data) << width;
    }
}

}  // namespace
}  // namespace vutil::test
