// Tests of KOR_decompress: .Z files in, files or counts out, through the buffered files.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/memory.h"
#include "raster/external_tools.h"
#include "raster/lzw_support.h"
#include "support/facts.h"
#include "support/host_faults.h"
#include "support/temp_dir.h"
#include "vutil/fileio.h"
#include "vutil/raster.h"

namespace vutil::test {
namespace {

namespace fs = std::filesystem;

// The decoded file, emptied first when it exists; without an output (or one that cannot be opened) the call
// only counts; a limit leaves exactly that many bytes. A bad stream, or no memory for the tables, leaves an
// empty output; a missing input creates none. Megabytes, more than the decoder holds at once, come whole.
TEST(LzwFile, WritesOrCountsTheDecodedBytesAndFailuresGiveZero) {
    TempDir dir;
    const std::string input = dataPath("lzw/sample.b16.Z"), output = dir.file("out"), bad = dir.file("bad.Z");
    int32_t firstFree = 0;  // no buffered file is left open: afterwards the next open gets this handle again
    ASSERT_EQ(KorOpenFile(input.c_str(), &firstFree, KOR_OPEN_READ), 1);
    KorCloseFile(firstFree);
    const Bytes original = readFile(dataPath("lzw/sample.bin"));
    writeFile(output, Bytes(100000, 'x'));
    for (int32_t limit : {0, -7, 1, 3, 4097, 49151, 49152, 49153}) {
        const int32_t expected = limit < 1 ? 49152 : std::min(limit, 49152);
        EXPECT_EQ(KOR_decompress(input.c_str(), output.c_str(), limit), expected) << limit;
        EXPECT_TRUE(readFile(output) == Bytes(original.begin(), original.begin() + expected)) << limit;
        EXPECT_EQ(KOR_decompress(input.c_str(), limit == 3 ? "" : nullptr, limit), expected) << limit;
    }
    EXPECT_EQ(KOR_decompress(input.c_str(), dir.file("missing-directory/out").c_str(), 0), 49152);
    fs::remove(output);
    EXPECT_EQ(KOR_decompress(dir.file("no-such-file.Z").c_str(), output.c_str(), 0), 0);
    EXPECT_FALSE(fs::exists(output) || fs::exists(dir.file("missing-directory")));
    for (const Bytes &stream : {Bytes{}, Bytes{0x1F, 0x9D, 0x90}, Bytes{0x1F, 0x9C, 0x90, 0x41, 0x00}}) {
        fs::remove(output);
        writeFile(bad, stream);
        EXPECT_EQ(KOR_decompress(bad.c_str(), output.c_str(), 0), 0);
        EXPECT_TRUE(fs::exists(output) && fs::file_size(output) == 0) << stream.size();
    }
    const std::size_t before = platform::globalBlocksInUse();
    for (long failAfter : {0L, 1L}) {
        for (const char *out : {output.c_str(), static_cast<const char *>(nullptr)}) {
            platform::setGlobalAllocFailureAfter(failAfter);
            EXPECT_EQ(KOR_decompress(input.c_str(), out, 0), 0);
            platform::setGlobalAllocFailureAfter(-1);
            EXPECT_TRUE(fs::file_size(output) == 0 && platform::globalBlocksInUse() == before);
        }
    }
    Bytes data = makeData(true, 600000, 31), noise = makeData(false, 300000, 32), text = makeData(true, 500000, 33);
    data.insert(data.end(), noise.begin(), noise.end());
    data.insert(data.end(), text.begin(), text.end());
    for (int width : {10, 16}) {
        writeFile(bad, lzwEncode(data, width, true, 450000));
        EXPECT_EQ(KOR_decompress(bad.c_str(), nullptr, 0), static_cast<int32_t>(data.size()));
        EXPECT_EQ(KOR_decompress(bad.c_str(), output.c_str(), 0), static_cast<int32_t>(data.size()));
        EXPECT_TRUE(readFile(output) == data) << width;
    }
    // A disk that refuses every write changes nothing of the count, which does not depend on the writes.
    faults::fullDisk();
    const int32_t count = KOR_decompress(input.c_str(), output.c_str(), 0);
    faults::restore();
    int32_t handle = 0;
    expectFacts({FACT(count, 49152), FACT(fs::file_size(output), 0), FACT(KorOpenFile(input.c_str(), &handle, KOR_OPEN_READ), 1), FACT(handle, firstFree)});
    KorCloseFile(handle);
}

}  // namespace
}  // namespace vutil::test
