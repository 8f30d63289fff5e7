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
    void SetUp() override {
        original = readFile(dataPath("lzw/sample.bin"));
        input = dataPath("lzw/sample.b16.Z");
    }

    /// True when no buffered file is left open: the next open gets the first handle.
    static bool noFileLeftOpen(const TempDir &dir) {
        const std::string probe = dir.write("probe", "x");
        int32_t handle = 0;
        const bool first = KorOpenFile(probe.c_str(), &handle, KOR_OPEN_READ) == 1 && handle == 1;
        KorCloseFile(handle);
        return first;
    }

    Bytes original;
    std::string input;
    TempDir dir;
};

// The decoded file, emptied first when it exists; without an output (or one that cannot be
// opened) the call only counts; a limit leaves exactly that many bytes.
TEST_F(LzwFile, WritesOrCountsTheDecodedBytes) {
    const std::string output = dir.file("out");
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
    EXPECT_TRUE(noFileLeftOpen(dir));
}

TEST_F(LzwFile, FailuresGiveZero) {
    const std::string output = dir.file("out");
    EXPECT_EQ(KOR_decompress(dir.file("no-such-file.Z").c_str(), output.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(output)) << "no output is created when the input cannot be opened";
    const Bytes streams[] = {{}, {0x1F, 0x9D, 0x90}, {0x1E, 0x9D, 0x90, 0x41, 0x00}, {0x1F, 0x9C, 0x90, 0x41, 0x00},
                             {0x1F, 0x9D, 0x91, 0x41, 0x00}};
    for (const Bytes &stream : streams) {
        const std::string path = dir.file("bad.Z");
        writeFile(path, stream);
        fs::remove(output);
        EXPECT_EQ(KOR_decompress(path.c_str(), output.c_str(), 0), 0) << stream.size();
        EXPECT_TRUE(fs::exists(output));
        EXPECT_EQ(fs::file_size(output), 0u);
    }
    EXPECT_TRUE(noFileLeftOpen(dir));
}

TEST_F(LzwFile, WithoutTablesTheOutputStaysEmpty) {
    const std::string output = dir.file("out");
    const std::size_t before = platform::globalBlocksInUse();
    for (long failAfter : {0L, 1L}) {
        platform::setGlobalAllocFailureAfter(failAfter);
        const int32_t count = KOR_decompress(input.c_str(), output.c_str(), 0);
        platform::setGlobalAllocFailureAfter(-1);
        EXPECT_EQ(count, 0);
        EXPECT_EQ(fs::file_size(output), 0u);
        EXPECT_EQ(platform::globalBlocksInUse(), before);
    }
    EXPECT_TRUE(noFileLeftOpen(dir));
}

TEST_F(LzwFile, MatchesUncompressOnALargeFile) {
    REQUIRE_TOOL("compress", "ncompress");
    REQUIRE_TOOL("uncompress.real", "ncompress");
    Bytes data = makeData(DataKind::Records, 1500000, 31);
    Bytes random = makeData(DataKind::Random, 500000, 32);
    data.insert(data.end(), random.begin(), random.end());
    writeFile(dir.file("in"), data);
    ASSERT_TRUE(runCommand("compress -b 16 -c " + dir.file("in") + " > " + dir.file("in.Z")));
    ASSERT_TRUE(runCommand("uncompress.real -c " + dir.file("in.Z") + " > " + dir.file("peer")));
    EXPECT_EQ(KOR_decompress(dir.file("in.Z").c_str(), dir.file("out").c_str(), 0), static_cast<int32_t>(data.size()));
    EXPECT_TRUE(readFile(dir.file("out")) == readFile(dir.file("peer")));
    EXPECT_TRUE(readFile(dir.file("out")) == data);
}

}  // namespace
}  // namespace vutil::test
