// Tests of the LZW (.Z) decoder on in-memory streams: ncompress's streams, streams of the tests' own encoder,
// hand-made code sequences, the byte limit, bad headers and damaged streams, all against the reference decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

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

TEST(LzwNcompress, CommittedStreamsOfEveryWidthDecodeToTheSample) {
    const Bytes original = readFile(dataPath("lzw/sample.bin"));
    for (int width = 10; width <= 16; ++width) {
        EXPECT_TRUE(decodeChecked(readFile(dataPath("lzw/sample.b" + std::to_string(width) + ".Z"))).bytes == original)
            << width;
    }
}

struct EncoderCase {
    int width;
    bool block;
    std::size_t clearEvery;
};

class LzwOwnEncoder : public ::testing::TestWithParam<EncoderCase> {};

// Streams of every width limit, with and without block mode and CLEAR codes, with the bits a decoder skips
// clear or set: the input comes back, and gzip (an independent decoder) agrees.
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
        EXPECT_TRUE(decodeChecked(stream).bytes == original);
        if (haveTool("gzip")) {
            TempDir dir;
            writeFile(dir.file("in.Z"), stream);
            ASSERT_TRUE(runCommand("gzip -dc < " + dir.file("in.Z") + " > " + dir.file("out")));
            EXPECT_TRUE(readFile(dir.file("out")) == original) << "gzip -dc decodes it differently";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, LzwOwnEncoder,
                         ::testing::Values(EncoderCase{9, true, 0}, EncoderCase{9, false, 0},
                                           EncoderCase{9, true, 30000}, EncoderCase{10, false, 0},
                                           EncoderCase{12, false, 0}, EncoderCase{13, true, 50000},
                                           EncoderCase{16, false, 0}, EncoderCase{16, true, 64000}));

TEST(LzwOwnEncoder, RepeatedClearsDecodeAsTheCompressToolsDecodeThem) {
    // CLEAR sent twice and three times in a row, while the codes are 9 bits wide and after they have
    // grown; each CLEAR after the first is read 9 bits wide at the start of a fresh group.
    const Bytes original = makeData(DataKind::Text, 150000, 9);
    const struct {
        std::size_t clearEvery;
        int repeats;
    } cases[] = {{150, 2}, {150, 3}, {40000, 2}, {40000, 3}};
    for (const auto &c : cases) {
        SCOPED_TRACE("CLEAR " + std::to_string(c.repeats) + " times every " + std::to_string(c.clearEvery));
        const Bytes stream = LzwEncoder(16, true, c.clearEvery, c.repeats).encode(original);
        int clears = 0;
        decodeWithReference(stream, 0, &clears);
        EXPECT_EQ(clears, c.repeats * static_cast<int>(original.size() / c.clearEvery));
        EXPECT_TRUE(decodeChecked(stream).bytes == original);
        TempDir dir;
        writeFile(dir.file("in.Z"), stream);
        for (const char *tool : {"gzip -dc", "uncompress.real -c"}) {
            const std::string program(tool, std::strchr(tool, ' '));
            if (haveTool(program)) {
                ASSERT_TRUE(runCommand(std::string(tool) + " < " + dir.file("in.Z") + " > " + dir.file("out")));
                EXPECT_TRUE(readFile(dir.file("out")) == original) << tool << " decodes it differently";
            }
        }
    }
}

// Code sequences packed as they are, valid or not: what each decodes to.
TEST(LzwCodes, HandMadeSequences) {
    const struct {
        int width;
        bool block;
        std::vector<int32_t> codes;
        const char *decoded;
    } cases[] = {
        // Width limits below 9 add no entries: the next free code stays, sent anyway it is the "code being
        // defined" case on the previous string, and a code beyond it ends the data.
        {8, false, {'x', 'y', 256, 'z', 257, 'w'}, "xyyyz"},
        {0, true, {'x', 'y', 257, 'z', 258, 'w'}, "xyyyz"},
        // Without block mode 256 is the first entry; in block mode it is CLEAR and the next code a literal.
        {16, false, {'a', 'b', 256, 258, 'c'}, "abababac"},
        {16, true, {'a', 'b', 257, 256, 'c', 'd', 257, 'e'}, "ababcdcde"},
        // A code beyond the next free code ends the data.
        {16, false, {'a', 'b', 259, 'c', 'd'}, "ab"},
        {16, true, {'a', 'b', 259, 'c', 'd'}, "ab"},
        {16, true, {'x', 'y', 'z', 257, 259, 5000 & 511}, "xyzxyzx"},
        // CLEAR after CLEAR starts the table over each time, on both decoding paths.
        {16, true, {'a', 'b', 256, 'c', 256, 256, 256, 'd'}, "abcd"},
        {16, true, {300, 'a', 256, 256, 'b', 'c', 257, 'd'}, ",abcbcd"},
        // Odd codes after a CLEAR follow the tables.
        {16, true, {'a', 'b', 257, 256, 257, 'c', 257, 258}, nullptr},
        {16, true, {'a', 'b', 257, 256, 900, 'c', 257, 258}, nullptr},
        {16, false, {300, 'a', 256, 'b', 257, 258, 259, 'c'}, nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.decoded ? c.decoded : "-");
        const Bytes stream = LzwEncoder(c.width, c.block).encodeCodes(c.codes);
        const Decoded decoded = decodeChecked(stream);
        if (c.decoded != nullptr) {
            EXPECT_EQ(decoded.bytes, stringBytes(c.decoded));
        }
        for (int32_t limit = 1; limit <= decoded.count; ++limit) {
            EXPECT_EQ(decodeChecked(stream, limit).count, limit);
        }
    }
    EXPECT_EQ(decodeChecked(LzwEncoder(16, true).encode({})).count, 0);
    EXPECT_EQ(decodeChecked(LzwEncoder(16, true).encode(stringBytes("B"))).bytes, stringBytes("B"));
}

TEST(LzwCodes, APrefixChainThatLoopsEndsTheCall) {
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
    // The first code above 255 sends the whole stream down the exact walk: the byte limit holds there too.
    for (int32_t limit = 1; limit <= decoded.count; limit += 7) {
        ASSERT_EQ(decodeChecked(stream, limit).count, limit);
    }
    ASSERT_FALSE(decoded.bytes.empty());
    EXPECT_EQ(decoded.bytes.back(), 'c') << "the call ends before the looping string";
}

TEST(LzwLimit, LimitsBelowOneDecodeEverythingAndOthersCutExactly) {
    const Bytes original = makeData(DataKind::Records, 20000, 21);
    const Bytes stream = LzwEncoder(12, true, 9000).encode(original);
    for (int32_t limit : {0, -1, INT32_MIN}) {
        EXPECT_EQ(decodeChecked(stream, limit).bytes, original) << limit;
    }
    // Every limit, most of them inside a string: exactly that many bytes, the input's first ones.
    for (int32_t limit = 1; limit <= 20001; limit += limit < 40 ? 1 : 997) {
        Decoded decoded = decodeChecked(stream, limit);
        ASSERT_EQ(decoded.count, std::min<int32_t>(limit, 20000)) << limit;
        ASSERT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.end(), original.begin())) << limit;
    }
    // A peek reads only the beginning of the input.
    const Bytes large = LzwEncoder(16, true).encode(makeData(DataKind::Text, 200000, 23));
    MemorySource source(large), countingSource(large);
    VectorSink sink;
    EXPECT_EQ(raster::lzwDecode(source, &sink, 100), 100);
    EXPECT_LT(source.consumed(), 200u);
    EXPECT_EQ(raster::lzwDecode(countingSource, nullptr, 5000), 5000);
    EXPECT_LT(countingSource.consumed(), 5000u);
}

TEST(LzwHeader, BadHeadersAndEmptyStreamsGiveZero) {
    const Bytes cases[] = {
        {},
        {0x1F},
        {0x1F, 0x9D},
        {0x1F, 0x9D, 0x90},
        {0x1F, 0x9D, 0x90, 0x41},  // less than a code
        {0x1E, 0x9D, 0x90, 0x41, 0x00},
        {0x1F, 0x9E, 0x90, 0x41, 0x00},
        {0x1F, 0x8B, 0x08, 0x00, 0x00},  // gzip
        {0x1F, 0x9D, 0x91, 0x41, 0x00},  // width limits 17 and 31
        {0x1F, 0x9D, 0x1F, 0x41, 0x00},
    };
    for (const Bytes &stream : cases) {
        EXPECT_EQ(decodeChecked(stream).count, 0) << stream.size();
    }
    // Bits 5 and 6 of the flags are ignored.
    EXPECT_EQ(decodeChecked({0x1F, 0x9D, 0xF0, 0x41, 0x00}).bytes, stringBytes("A"));
}

TEST(LzwDamaged, RandomDamageAgreesWithTheReference) {
    std::mt19937 random(1234);
    std::vector<Bytes> seeds;
    for (const char *name : {"lzw/sample.b10.Z", "lzw/sample.b12.Z", "lzw/sample.b16.Z"}) {
        Bytes stream = readFile(dataPath(name));
        stream.resize(1500);
        seeds.push_back(std::move(stream));
    }
    seeds.push_back(LzwEncoder(9, false).encode(makeData(DataKind::Text, 3000, 2)));
    seeds.push_back(LzwEncoder(13, true, 700).encode(makeData(DataKind::Records, 3000, 2)));
    for (int round = 0; round < 400; ++round) {
        Bytes stream = seeds[static_cast<std::size_t>(round) % seeds.size()];
        if (round >= 340) {  // pure noise behind a valid header
            stream.resize(400);
            for (std::size_t i = 2; i < stream.size(); ++i) {
                stream[i] = static_cast<uint8_t>(random());
            }
        }
        for (int i = static_cast<int>(random() % 8); i >= 0; --i) {
            const std::size_t at = 3 + random() % (stream.size() - 3);
            stream[at] = static_cast<uint8_t>(random() % 3 == 0 ? random() : stream[at] ^ (1u << (random() % 8)));
        }
        if (round % 7 == 0) {
            stream.resize(3 + random() % (stream.size() - 3));
        }
        decodeChecked(stream, round % 3 == 0 ? static_cast<int32_t>(random() % 50000) : 0);
        if (::testing::Test::HasFailure()) {
            FAIL() << "round " << round;
        }
    }
}

}  // namespace
}  // namespace vutil::test
