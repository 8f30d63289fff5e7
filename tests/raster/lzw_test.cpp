// Tests of the LZW (.Z) decoder on in-memory streams: ncompress's streams, streams of the tests' own encoder,
// hand-made code sequences, the byte limit, bad headers and damaged streams, all against the reference decoder.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <tuple>

#include "raster/external_tools.h"
#include "raster/lzw_support.h"
#include "support/temp_dir.h"

namespace vutil::test {
namespace {

/// Decodes with the library (writing, then only counting) and the reference; all must agree.
Decoded decodeChecked(const Bytes &stream, int32_t maxBytes = 0) {
    Decoded library = decodeWithLibrary(stream, maxBytes);
    EXPECT_TRUE(library == decodeWithReference(stream, maxBytes)) << "library and reference differ";
    EXPECT_EQ(countWithLibrary(stream, maxBytes), library.count);
    return library;
}

TEST(LzwNcompress, CommittedStreamsOfEveryWidthDecodeToTheSample) {
    const Bytes original = readFile(dataPath("lzw/sample.bin"));
    for (int width = 10; width <= 16; ++width) {
        EXPECT_TRUE(decodeChecked(readFile(dataPath("lzw/sample.b" + std::to_string(width) + ".Z"))).bytes == original)
            << width;
    }
}

// Streams of several width limits, with and without block mode, with CLEAR sent once or several times in a row
// (while the codes are 9 bits wide and after they have grown), with the bits a decoder skips clear or set: the
// input comes back, and the compress tools (independent decoders) agree.
TEST(LzwOwnEncoder, DecodesToTheInputAndAgreesWithTheCompressTools) {
    Bytes original = makeData(true, 120000, 7), noise = makeData(false, 30000, 8);
    original.insert(original.end(), noise.begin(), noise.end());
    const std::tuple<int, bool, std::size_t, int> cases[] = {
        {9, true, 0, 1},    {9, false, 0, 1},     {9, true, 30000, 1}, {10, false, 0, 1},
        {12, false, 0, 1},  {13, true, 50000, 1}, {16, false, 0, 1},   {16, true, 64000, 1},
        {16, true, 150, 2}, {16, true, 150, 3},   {16, true, 40000, 3}};
    TempDir dir;
    for (const auto &[width, block, clearEvery, repeats] : cases) {
        SCOPED_TRACE(std::to_string(width) + (block ? " block" : "") + " clear " + std::to_string(repeats) +
                     "x every " + std::to_string(clearEvery));
        const Bytes stream = lzwEncode(original, width, block, clearEvery, repeats, width % 2 == 1);
        int clears = 0;
        decodeWithReference(stream, 0, &clears);
        EXPECT_EQ(clears, clearEvery == 0 ? 0 : repeats * static_cast<int>(original.size() / clearEvery));
        EXPECT_TRUE(decodeChecked(stream).bytes == original);
        writeFile(dir.file("in.Z"), stream);
        for (const char *tool : {"gzip -dc", "uncompress.real -c"}) {
            if (!haveTool(std::string(tool, static_cast<std::size_t>(std::strchr(tool, ' ') - tool)))) continue;
            ASSERT_TRUE(runCommand(std::string(tool) + " < " + dir.file("in.Z") + " > " + dir.file("out")));
            EXPECT_TRUE(readFile(dir.file("out")) == original) << tool << " decodes it differently";
        }
    }
}

// Code sequences packed as they are, valid or not: what each decodes to, and every byte limit on the way.
TEST(LzwCodes, HandMadeSequences) {
    const std::tuple<int, bool, std::vector<int32_t>, const char *> cases[] = {
        // Width limits below 9 add no entries: the next free code stays, sent anyway it is the "code being
        // defined" case on the previous string, and a code beyond it ends the data.
        {8, false, {'x', 'y', 256, 'z', 257, 'w'}, "xyyyz"},
        {0, true, {'x', 'y', 257, 'z', 258, 'w'}, "xyyyz"},
        // Without block mode 256 is the first entry; in block mode it is CLEAR and the next code a literal.
        {16, false, {'a', 'b', 256, 258, 'c'}, "abababac"},
        {16, true, {'a', 'b', 257, 256, 'c', 'd', 257, 'e'}, "ababcdcde"},
        // A code beyond the next free code ends the data.
        {16, false, {'a', 'b', 259, 'c', 'd'}, "ab"},
        {16, true, {'x', 'y', 'z', 257, 259, 5000 & 511}, "xyzxyzx"},
        // CLEAR after CLEAR starts the table over each time, on both decoding paths.
        {16, true, {'a', 'b', 256, 'c', 256, 256, 256, 'd'}, "abcd"},
        {16, true, {300, 'a', 256, 256, 'b', 'c', 257, 'd'}, ",abcbcd"},
        // Odd codes after a CLEAR follow the tables.
        {16, true, {'a', 'b', 257, 256, 257, 'c', 257, 258}, nullptr},
        {16, true, {'a', 'b', 257, 256, 900, 'c', 257, 258}, nullptr},
        {16, false, {300, 'a', 256, 'b', 257, 258, 259, 'c'}, nullptr},
        {16, true, {'B'}, "B"},
        {16, true, {}, ""}};
    for (const auto &[width, block, codes, expected] : cases) {
        SCOPED_TRACE(expected ? expected : "-");
        const Bytes stream = packCodes(codes, width, block);
        const Decoded decoded = decodeChecked(stream);
        EXPECT_TRUE(expected == nullptr || decoded.bytes == Bytes(expected, expected + std::strlen(expected)));
        for (int32_t limit = 1; limit <= decoded.count; ++limit) EXPECT_EQ(decodeChecked(stream, limit).count, limit);
    }
}

TEST(LzwCodes, APrefixChainThatLoopsEndsTheCall) {
    // A first code above 255 (500) becomes the prefix of entry 256; entry 500 is later made with prefix 256,
    // so decoding 256 then walks round for ever.
    std::vector<int32_t> codes = {500, 'a'};
    codes.insert(codes.end(), 499 - 257, 'b');
    codes.insert(codes.end(), {256, 'c', 256, 'd'});  // 256 makes entry 499, 'c' entry 500 = (256, 'c')
    const Bytes stream = packCodes(codes, 16, false);
    Decoded decoded = decodeChecked(stream);
    ASSERT_GE(decoded.bytes.size(), codes.size() - 2);
    EXPECT_EQ(decoded.bytes.back(), 'c') << "the call ends before the looping string";
    // The first code above 255 sends the whole stream down the exact walk: the byte limit holds there too.
    for (int32_t limit = 1; limit <= decoded.count; limit += 7) ASSERT_EQ(decodeChecked(stream, limit).count, limit);
}

TEST(LzwLimit, LimitsBelowOneDecodeEverythingAndOthersCutExactly) {
    const Bytes original = makeData(false, 20000, 21);
    const Bytes stream = lzwEncode(original, 12, true, 9000);
    for (int32_t limit : {0, -1, INT32_MIN}) EXPECT_EQ(decodeChecked(stream, limit).bytes, original) << limit;
    // Most limits fall inside a string: exactly that many bytes, the input's first ones.
    for (int32_t limit = 1; limit <= 20001; limit += limit < 40 ? 1 : 997) {
        Decoded decoded = decodeChecked(stream, limit);
        ASSERT_EQ(decoded.count, std::min<int32_t>(limit, 20000)) << limit;
        ASSERT_TRUE(std::equal(decoded.bytes.begin(), decoded.bytes.end(), original.begin())) << limit;
    }
    // A peek reads only the beginning of the input, writing or counting.
    const Bytes large = lzwEncode(makeData(true, 200000, 23), 16, true);
    MemorySource source(large), countingSource(large);
    VectorSink sink;
    EXPECT_EQ(raster::lzwDecode(source, &sink, 100), 100);
    EXPECT_EQ(raster::lzwDecode(countingSource, nullptr, 5000), 5000);
    EXPECT_TRUE(source.at < 200 && countingSource.at < 5000) << source.at << " " << countingSource.at;
}

// Bad headers give 0 (flag bits 5 and 6 are ignored); random damage, and noise behind a header, give what the
// reference gives.
TEST(LzwDamaged, BadHeadersAndRandomDamageAgreeWithTheReference) {
    for (const Bytes &stream : {Bytes{}, Bytes{0x1F, 0x9D, 0x90}, Bytes{0x1F, 0x9D, 0x90, 0x41} /* less than a code */,
                                Bytes{0x1E, 0x9D, 0x90, 0x41, 0}, Bytes{0x1F, 0x9E, 0x90, 0x41, 0},
                                Bytes{0x1F, 0x9D, 0x91, 0x41, 0}, Bytes{0x1F, 0x9D, 0x1F, 0x41, 0}}) {
        EXPECT_EQ(decodeChecked(stream).count, 0) << stream.size();
    }
    EXPECT_EQ(decodeChecked({0x1F, 0x9D, 0xF0, 0x41, 0x00}).bytes, Bytes{'A'});
    std::mt19937 random(1234);
    std::vector<Bytes> seeds;
    for (int width : {10, 12, 16}) {
        seeds.push_back(readFile(dataPath("lzw/sample.b" + std::to_string(width) + ".Z")));
        seeds.back().resize(1500);
    }
    seeds.push_back(lzwEncode(makeData(true, 3000, 2), 9, false));
    seeds.push_back(lzwEncode(makeData(false, 3000, 2), 13, true, 700));
    for (int round = 0; round < 400; ++round) {
        Bytes stream = seeds[round % seeds.size()];
        if (round >= 340) {  // noise behind the magic bytes
            stream.resize(400);
            std::generate(stream.begin() + 2, stream.end(), [&] { return static_cast<uint8_t>(random()); });
        }
        for (int i = static_cast<int>(random() % 8); i >= 0; --i) {
            const std::size_t at = 3 + random() % (stream.size() - 3);
            stream[at] = static_cast<uint8_t>(random() % 3 == 0 ? random() : stream[at] ^ (1u << (random() % 8)));
        }
        if (round % 7 == 0) stream.resize(3 + random() % (stream.size() - 3));
        decodeChecked(stream, round % 3 == 0 ? static_cast<int32_t>(random() % 50000) : 0);
        ASSERT_FALSE(::testing::Test::HasFailure()) << "round " << round;
    }
}

}  // namespace
}  // namespace vutil::test
