// Tests of the RC4 slots (against published test vectors) and hex text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vutil/runtime.h"

namespace {

std::vector<uint8_t> keystream(const std::vector<uint8_t> &key, std::size_t skip, std::size_t count) {
    int32_t slot = KOR_prepare_rc4key(key.data(), static_cast<int32_t>(key.size()));
    std::vector<uint8_t> discard(skip, 0);
    if (skip > 0) {
        KOR_rc4(discard.data(), static_cast<int32_t>(skip), slot);
    }
    std::vector<uint8_t> stream(count, 0);
    KOR_rc4(stream.data(), static_cast<int32_t>(count), slot);
    return stream;
}

// Keystream bytes published in RFC 6229, at several offsets into the stream.
TEST(Rc4, MatchesRfc6229Vectors) {
    struct Vector {
        std::vector<uint8_t> key;
        std::size_t offset;
        std::vector<uint8_t> expected;
    };
    const Vector vectors[] = {
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 0,
         {0xb2, 0x39, 0x63, 0x05, 0xf0, 0x3d, 0xc0, 0x27, 0xcc, 0xc3, 0x52, 0x4a, 0x0a, 0x11, 0x18, 0xa8}},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 16,
         {0x69, 0x82, 0x94, 0x4f, 0x18, 0xfc, 0x82, 0xd5, 0x89, 0xc4, 0x03, 0xa4, 0x7a, 0x0d, 0x09, 0x19}},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 240,
         {0x28, 0xcb, 0x11, 0x32, 0xc9, 0x6c, 0xe2, 0x86, 0x42, 0x1d, 0xca, 0xad, 0xb8, 0xb6, 0x9e, 0xae}},
        {{0x01, 0x02, 0x03, 0x04, 0x05}, 256,
         {0x1c, 0xfc, 0xf6, 0x2b, 0x03, 0xed, 0xdb, 0x64, 0x1d, 0x77, 0xdf, 0xcf, 0x7f, 0x8d, 0x8c, 0x93}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07}, 0,
         {0x29, 0x3f, 0x02, 0xd4, 0x7f, 0x37, 0xc9, 0xb6, 0x33, 0xf2, 0xaf, 0x52, 0x85, 0xfe, 0xb4, 0x6b}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, 0,
         {0x97, 0xab, 0x8a, 0x1b, 0xf0, 0xaf, 0xb9, 0x61, 0x32, 0xf2, 0xf6, 0x72, 0x58, 0xda, 0x15, 0xa8}},
        {{0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x10}, 0,
         {0x9a, 0xc7, 0xcc, 0x9a, 0x60, 0x9d, 0x1e, 0xf7, 0xb2, 0x93, 0x28, 0x99, 0xcd, 0xe4, 0x1b, 0x97}},
    };
    for (const Vector &v : vectors) {
        EXPECT_EQ(keystream(v.key, v.offset, v.expected.size()), v.expected)
            << "key length " << v.key.size() << " offset " << v.offset;
    }
}

TEST(Rc4, PiecesContinueOneKeystreamAndTwiceRestores) {
    const uint8_t key[] = "secret";
    std::string plain = "thirty bytes of plain text ...";
    ASSERT_EQ(plain.size(), 30u);
    std::vector<uint8_t> whole(plain.begin(), plain.end());
    std::vector<uint8_t> pieces = whole;

    int32_t a = KOR_prepare_rc4key(key, 6);
    KOR_rc4(whole.data(), 30, a);
    int32_t b = KOR_prepare_rc4key(key, 6);
    KOR_rc4(pieces.data(), 10, b);
    KOR_rc4(pieces.data() + 10, 20, b);
    EXPECT_EQ(whole, pieces);

    int32_t c = KOR_prepare_rc4key(key, 6);
    KOR_rc4(whole.data(), 30, c);
    EXPECT_EQ(std::string(whole.begin(), whole.end()), plain);
}

TEST(Rc4, SlotsAreUsedRoundRobinAndTheFifthKeyOverwritesTheFirst) {
    const uint8_t keys[5][2] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
    int32_t slots[5];
    for (int i = 0; i < 5; ++i) {
        slots[i] = KOR_prepare_rc4key(keys[i], 2);
    }
    for (int i = 1; i < 5; ++i) {
        EXPECT_EQ(slots[i], (slots[i - 1] + 1) % KOR_RC4_SLOTS);
    }
    EXPECT_EQ(slots[4], slots[0]);
    uint8_t data[4] = {};
    KOR_rc4(data, 4, slots[0]);
    uint8_t expected[4] = {};
    int32_t fresh = KOR_prepare_rc4key(keys[4], 2);
    KOR_rc4(expected, 4, fresh);
    EXPECT_EQ(std::memcmp(data, expected, 4), 0) << "slot holds the fifth key's schedule";
}

TEST(Rc4, LongBuffersAndInvalidArgumentsAreSafe) {
    // One call may carry more than 32767 bytes; the keystream is the same as in pieces.
    std::vector<uint8_t> big(70000, 0x5A);
    std::vector<uint8_t> split = big;
    const uint8_t key[] = {9, 8, 7};
    KOR_rc4(big.data(), 70000, KOR_prepare_rc4key(key, 3));
    int32_t slot = KOR_prepare_rc4key(key, 3);
    for (std::size_t done = 0; done < split.size(); done += 30000) {
        std::size_t piece = std::min<std::size_t>(30000, split.size() - done);
        KOR_rc4(split.data() + done, static_cast<int32_t>(piece), slot);
    }
    EXPECT_EQ(big, split);

    // An empty key schedules without dividing by zero, and deterministically.
    uint8_t x[8] = {};
    uint8_t y[8] = {};
    KOR_rc4(x, 8, KOR_prepare_rc4key(nullptr, 0));
    KOR_rc4(y, 8, KOR_prepare_rc4key(key, 0));
    EXPECT_EQ(std::memcmp(x, y, 8), 0);

    uint8_t untouched[4] = {1, 2, 3, 4};
    KOR_rc4(untouched, 4, 4);
    KOR_rc4(untouched, 4, -1);
    KOR_rc4(untouched, -5, 0);
    KOR_rc4(nullptr, 4, 0);
    EXPECT_EQ(untouched[0], 1);
    EXPECT_EQ(untouched[3], 4);
}

TEST(HexText, BytesToUpperCaseDigits) {
    const uint8_t bytes[] = {0x0F, 0xA0};
    char text[8];
    std::memset(text, '#', sizeof text);
    EXPECT_EQ(KOR_BinHex(bytes, 2, text), 5);
    EXPECT_STREQ(text, "0FA0");
    EXPECT_EQ(text[5], '#');

    std::vector<uint8_t> many(300);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<uint8_t>(i * 7);
    }
    std::string big(601, '\0');
    EXPECT_EQ(KOR_BinHex(many.data(), 300, big.data()), 601);
    std::vector<uint8_t> back(300);
    EXPECT_EQ(KOR_HexBin(big.c_str(), 600, back.data()), 300);
    EXPECT_EQ(back, many);

    EXPECT_EQ(KOR_BinHex(bytes, 0, text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(KOR_BinHex(bytes, -3, text), 1);
}

TEST(HexText, DigitsBackToBytes) {
    uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(KOR_HexBin("0FA0", 4, out), 2);
    EXPECT_EQ(out[0], 0x0F);
    EXPECT_EQ(out[1], 0xA0);
    EXPECT_EQ(out[2], 0xEE);
    // Lower-case letters are not hex digits here: 'a' is 97 - 55 = 42.
    EXPECT_EQ(KOR_HexBin("0a", 2, out), 1);
    EXPECT_EQ(out[0], static_cast<uint8_t>(0 * 16 | 42));
    // An odd length converts whole pairs only and writes nothing beyond them.
    out[1] = 0xEE;
    EXPECT_EQ(KOR_HexBin("123", 3, out), 1);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0xEE);
    EXPECT_EQ(KOR_HexBin("12", 1, out), 0);
    EXPECT_EQ(KOR_HexBin(nullptr, 2, out), 0);
}

}  // namespace
