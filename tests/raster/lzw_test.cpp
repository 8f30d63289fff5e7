// Tests of the LZW (.Z) decoder on in-memory streams: real ncompress streams, streams of
// the tests' own encoder, the byte limit, bad headers and damaged streams.
#include <gtest/gtest.h>

#include <random>

#include "platform/memory.h"
#include "raster/external_tools.h"
#include "raster/lzw_support.h"
#include "support/temp_dir.h"

namespace vutil::test {
namespace {

Bytes stringBytes(const std::string &text) {
    return Bytes(text.begin(), text.end());
}

/// Decodes a stream with the library (writing and counting) and the reference, and checks
/// that all three agree; returns the library's result.
Decoded decodeChecked(const Bytes &stream, int32_t maxBytes = 0) {
    Decoded library = decodeWithLibrary(stream, maxBytes);
    Decoded reference = decodeWithReference(stream, maxBytes);
    EXPECT_EQ(library.count, reference.count);
    EXPECT_TRUE(library.bytes == reference.bytes) << "library and reference differ";
    EXPECT_EQ(countWithLibrary(stream, maxBytes), library.count);
    EXPECT_EQ(static_cast<std::size_t>(library.count), library.bytes.size());
    return library;
}

// ---- Streams made by ncompress ------------------------------------------------

class LzwNcompress : public ::testing::TestWithParam<int> {};

TEST_P(LzwNcompress, LargeStreamsMatchTheInputAndUncompress) {
    REQUIRE_TOOL("compress", "ncompress");
    REQUIRE_TOOL("uncompress.real", "ncompress");
    const int width = GetParam();
    TempDir dir;
    // Text, then random bytes, then records: enough to fill a 16-bit table and make
    // compress send CLEAR when the random part spoils its ratio.
    Bytes original = makeData(DataKind::Text, 400000, 3);
    Bytes random = makeData(DataKind::Random, 300000, 4);
    Bytes records = makeData(DataKind::Records, 300000, 5);
    original.insert(original.end(), random.begin(), random.end());
    original.insert(original.end(), records.begin(), records.end());
    writeFile(dir.file("in"), original);
    const std::string w = std::to_string(width);
    ASSERT_TRUE(runCommand("compress -b " + w + " -c " + dir.file("in") + " > " + dir.file("in.Z")));
    ASSERT_TRUE(runCommand("uncompress.real -c " + dir.file("in.Z") + " > " + dir.file("out")));
    const Bytes stream = readFile(dir.file("in.Z"));
    Decoded decoded = decodeWithLibrary(stream);
    EXPECT_EQ(decoded.count, static_cast<int32_t>(original.size()));
    EXPECT_TRUE(decoded.bytes == original);
    EXPECT_TRUE(decoded.bytes == readFile(dir.file("out")));
    EXPECT_EQ(countWithLibrary(stream), decoded.count);
    int clears = 0;
    EXPECT_TRUE(decodeWithReference(stream, 0, &clears).bytes == original);
    EXPECT_GT(clears, 0);
}

INSTANTIATE_TEST_SUITE_P(WidthLimits, LzwNcompress, ::testing::Range(10, 17));

// ---- Streams of the tests' own encoder -------------------------------------------

struct EncoderCase {
    int width;
    bool block;
    std::size_t clearEvery;
};

class LzwOwnEncoder : public ::testing::TestWithParam<EncoderCase> {};

TEST_P(LzwOwnEncoder, DecodesToTheInputAndAgreesWithGzip) {
    const EncoderCase param = GetParam();
    Bytes original = makeData(DataKind::Text, 120000, 7);
    Bytes random = makeData(DataKind::Random, 40000, 8);
    original.insert(original.end(), random.begin(), random.end());
    for (bool ones : {false, true}) {
        SCOPED_TRACE(ones ? "skipped bits set" : "skipped bits clear");
        LzwEncoder encoder(param.width, param.block, param.clearEvery);
        if (ones) {
            encoder.padWithOnes();
        }
        const Bytes stream = encoder.encode(original);
        Decoded decoded = decodeChecked(stream);
        EXPECT_EQ(decoded.count, static_cast<int32_t>(original.size()));
        EXPECT_TRUE(decoded.bytes == original);
        if (haveTool("gzip")) {
            TempDir dir;
            writeFile(dir.file("in.Z"), stream);
            ASSERT_TRUE(runCommand("gzip -dc < " + dir.file("in.Z") + " > " + dir.file("out")));
            EXPECT_TRUE(readFile(dir.file("out")) == original) << "gzip -dc decodes it differently";
        }
    }
    if (!haveTool("gzip")) {
        GTEST_SKIP() << "gzip not found: install the Debian package gzip to compare with it";
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, LzwOwnEncoder,
                         ::testing::Values(EncoderCase{9, true, 0}, EncoderCase{9, false, 0},
                                           EncoderCase{9, true, 30000}, EncoderCase{10, false, 0},
                                           EncoderCase{12, false, 0}, EncoderCase{13, true, 50000},
                                           EncoderCase{16, false, 0}, EncoderCase{16, true, 64000}),
                         [](const auto &info) {
                             return "width" + std::to_string(info.param.width) + (info.param.block ? "_block" : "") +
                                    (info.param.clearEvery ? "_clears" : "");
                         });

TEST(LzwOwnEncoder, WidthLimitsBelowNineAddNoEntries) {
    const Bytes original = stringBytes("abababababababab aaaaaaaaaaaaaaaaaaa");
    for (int width : {0, 1, 8}) {
        for (bool block : {false, true}) {
            SCOPED_TRACE(width);
            const Bytes stream = LzwEncoder(width, block).encode(original);
            // Only literals, each 9 bits wide.
            EXPECT_EQ(stream.size(), 3 + (original.size() * 9 + 7) / 8);
            EXPECT_TRUE(decodeChecked(stream).bytes == original);
            // The next free code stays where it starts; sent anyway, it is the "code being
            // defined" case on the previous string, and a code beyond it ends the data.
            const int32_t nextFree = block ? 257 : 256;
            const int32_t codes[] = {'x', 'y', nextFree, 'z', nextFree + 1, 'w'};
            EXPECT_EQ(decodeChecked(LzwEncoder(width, block).encodeCodes(codes)).bytes, stringBytes("xyyyz"));
        }
    }
}

TEST(LzwOwnEncoder, NonBlockStreamsTreat256AsTheFirstEntry) {
    // "ab" then 256 = "ab", then 257 = "ba" in a stream without block mode.
    const int32_t codes[] = {'a', 'b', 256, 258, 'c'};
    EXPECT_EQ(decodeChecked(LzwEncoder(16, false).encodeCodes(codes)).bytes, stringBytes("abababac"));
    // In block mode 256 is CLEAR: the table starts over and the next code is a literal.
    const int32_t blockCodes[] = {'a', 'b', 257, 256, 'c', 'd', 257, 'e'};
    EXPECT_EQ(decodeChecked(LzwEncoder(16, true).encodeCodes(blockCodes)).bytes, stringBytes("ababcdcde"));
}

TEST(LzwOwnEncoder, EmptyInputAndSingleByte) {
    EXPECT_EQ(decodeChecked(LzwEncoder(16, true).encode({})).count, 0);
    const Bytes one = {0x42};
    Decoded decoded = decodeChecked(LzwEncoder(16, true).encode(one));
    EXPECT_EQ(decoded.bytes, one);
}

// ---- The byte limit ---------------------------------------------------------------

TEST(LzwLimit, LimitsBelowOneDecodeEverythingAndOthersCutExactly) {
    const Bytes original = makeData(DataKind::Records, 20000, 21);
    const Bytes stream = LzwEncoder(12, true, 9000).encode(original);
    for (int32_t limit : {0, -1, -5, INT32_MIN}) {
        EXPECT_EQ(decodeChecked(stream, limit).bytes, original) << limit;
    }
    // Every limit, most of them inside a string: exactly that many bytes, the input's first ones.
    for (int32_t limit = 1; limit <= 20001; limit += limit < 80 ? 1 : 331) {
        Decoded decoded = decodeChecked(stream, limit);
        const int32_t expected = std::min<int32_t>(limit, 20000);
        ASSERT_EQ(decoded.count, expected) << limit;
        ASSERT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.end(), original.begin())) << limit;
    }
}

TEST(LzwLimit, APeekReadsOnlyTheBeginningOfTheInput) {
    const Bytes original = makeData(DataKind::Text, 2000000, 23);
    const Bytes stream = LzwEncoder(16, true).encode(original);
    MemorySource source(stream);
    VectorSink sink;
    EXPECT_EQ(raster::lzwDecode(source, &sink, 100), 100);
    EXPECT_LT(source.consumed(), 200u);
    MemorySource countingSource(stream);
    EXPECT_EQ(raster::lzwDecode(countingSource, nullptr, 5000), 5000);
    EXPECT_LT(countingSource.consumed(), 5000u);
}

// ---- Headers ----------------------------------------------------------------------

TEST(LzwHeader, BadHeadersAndEmptyStreamsGiveZero) {
    const struct {
        const char *what;
        Bytes stream;
    } cases[] = {
        {"empty", {}},
        {"one byte", {0x1F}},
        {"magic only", {0x1F, 0x9D}},
        {"header only", {0x1F, 0x9D, 0x90}},
        {"header and less than a code", {0x1F, 0x9D, 0x90, 0x41}},
        {"wrong first byte", {0x1E, 0x9D, 0x90, 0x41, 0x00}},
        {"wrong second byte", {0x1F, 0x9E, 0x90, 0x41, 0x00}},
        {"gzip magic", {0x1F, 0x8B, 0x08, 0x00, 0x00}},
        {"width limit 17", {0x1F, 0x9D, 0x91, 0x41, 0x00}},
        {"width limit 31", {0x1F, 0x9D, 0x1F, 0x41, 0x00}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(decodeChecked(c.stream).count, 0) << c.what;
    }
    // Bits 5 and 6 of the flags are ignored.
    EXPECT_EQ(decodeChecked({0x1F, 0x9D, 0xF0, 0x41, 0x00}).bytes, stringBytes("A"));
}

// ---- Memory -----------------------------------------------------------------------

TEST(LzwMemory, MissingTablesGiveZeroAndLeaveNothingBehind) {
    const Bytes stream = readFile(dataPath("lzw/sample.b16.Z"));
    const std::size_t before = platform::globalBlocksInUse();
    for (long failAfter : {0L, 1L}) {
        platform::setGlobalAllocFailureAfter(failAfter);
        EXPECT_EQ(decodeWithLibrary(stream).count, 0) << failAfter;
        platform::setGlobalAllocFailureAfter(-1);
        EXPECT_EQ(platform::globalBlocksInUse(), before);
    }
    EXPECT_EQ(decodeWithLibrary(stream).count, 49152);
    EXPECT_EQ(platform::globalBlocksInUse(), before);
}

// ---- Damaged streams ----------------------------------------------------------------

TEST(LzwDamaged, ACodeBeyondTheNextFreeCodeEndsTheData) {
    // "ab", then 259 while the next free code is 257 (258 in block mode): the rest is
    // not decoded.
    const int32_t codes[] = {'a', 'b', 259, 'c', 'd'};
    for (bool block : {false, true}) {
        EXPECT_EQ(decodeChecked(LzwEncoder(16, block).encodeCodes(codes)).bytes, stringBytes("ab"));
    }
    // Far beyond, in a stream that was fine so far.
    std::vector<int32_t> valid = {'x', 'y', 'z', 257, 259};
    valid.push_back(5000 & 511);
    EXPECT_EQ(decodeChecked(LzwEncoder(16, true).encodeCodes(valid)).bytes, stringBytes("xyzxyzx"));
}

TEST(LzwDamaged, APrefixChainThatLoopsEndsTheCall) {
    // A first code above 255 (500) becomes the prefix of entry 256; entry 500 is later
    // made with prefix 256, so decoding 256 then walks round for ever.
    std::vector<int32_t> codes = {500, 'a'};
    for (int32_t nextFree = 257; nextFree < 499; ++nextFree) {
        codes.push_back('b');
    }
    codes.push_back(256);  // makes entry 499; the previous code is now 256
    codes.push_back('c');  // makes entry 500 = (256, 'c')
    const std::size_t before = codes.size();
    codes.push_back(256);
    codes.push_back('d');
    const Bytes stream = LzwEncoder(16, false).encodeCodes(codes);
    Decoded decoded = decodeChecked(stream);
    EXPECT_GE(decoded.count, static_cast<int32_t>(before));
    ASSERT_FALSE(decoded.bytes.empty());
    EXPECT_EQ(decoded.bytes.back(), 'c') << "the call ends before the looping string";
}

TEST(LzwDamaged, OddCodesAfterClearFollowTheTables) {
    const int32_t codeSets[][8] = {
        {'a', 'b', 257, 256, 256, 'c', 257, 258},  // CLEAR, then 256 as data
        {'a', 'b', 257, 256, 900, 'c', 257, 258},  // CLEAR, then a code far beyond
        {300, 'a', 256, 'b', 257, 258, 259, 'c'},  // a first code above 255
        {'a', 'b', 256, 'c', 256, 256, 256, 'd'},  // CLEAR after CLEAR
    };
    for (const auto &codes : codeSets) {
        for (bool block : {true, false}) {
            decodeChecked(LzwEncoder(16, block).encodeCodes(codes));
        }
    }
}

TEST(LzwDamaged, RandomDamageAgreesWithTheReference) {
    std::mt19937 random(1234);
    std::vector<Bytes> seeds;
    for (const char *name : {"lzw/sample.b10.Z", "lzw/sample.b12.Z", "lzw/sample.b16.Z"}) {
        Bytes stream = readFile(dataPath(name));
        stream.resize(3000);
        seeds.push_back(std::move(stream));
    }
    seeds.push_back(LzwEncoder(9, false).encode(makeData(DataKind::Text, 6000, 2)));
    seeds.push_back(LzwEncoder(13, true, 700).encode(makeData(DataKind::Records, 6000, 2)));
    for (int round = 0; round < 1500; ++round) {
        Bytes stream = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int flips = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < flips; ++i) {
            const std::size_t at = 3 + random() % (stream.size() - 3);
            stream[at] = static_cast<uint8_t>(random() % 3 == 0 ? random() : stream[at] ^ (1u << (random() % 8)));
        }
        if (round % 7 == 0) {
            stream.resize(3 + random() % (stream.size() - 3));
        }
        const int32_t limit = round % 3 == 0 ? static_cast<int32_t>(random() % 50000) : 0;
        decodeChecked(stream, limit);
        if (::testing::Test::HasFailure()) {
            FAIL() << "round " << round;
        }
    }
    // Pure noise behind a valid header.
    for (int round = 0; round < 300; ++round) {
        Bytes stream = {0x1F, 0x9D, static_cast<uint8_t>(random())};
        for (int i = 0; i < 400; ++i) {
            stream.push_back(static_cast<uint8_t>(random()));
        }
        decodeChecked(stream);
        if (::testing::Test::HasFailure()) {
            FAIL() << "noise round " << round;
        }
    }
}

}  // namespace
}  // namespace vutil::test
