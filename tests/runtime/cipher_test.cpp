// Tests of the RC4 slots (against the algorithm written out and a published keystream) and hex text.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "vutil/runtime.h"

namespace {

/// RC4 written out from its description: the key schedule, then the keystream XORed in.
void plainRc4(const std::vector<uint8_t> &key, std::vector<uint8_t> &data) {
    uint8_t s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + (key.empty() ? 0 : key[static_cast<std::size_t>(i) % key.size()])) & 255;
        std::swap(s[i], s[j]);
    }
    for (std::size_t k = 0, i = 0, j = 0; k < data.size(); ++k) {
        i = (i + 1) & 255, j = (j + s[i]) & 255;
        std::swap(s[i], s[j]);
        data[k] ^= s[(s[i] + s[j]) & 255];
    }
}

// Random keys of every length, data in random pieces (some longer than 32767 bytes): the pieces
// continue one keystream, which is RC4's; twice restores the data.
TEST(Rc4, AgreesWithThePlainAlgorithm) {
    std::mt19937 random(4);
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<uint8_t> key(trial == 0 ? 5 : 1 + random() % 256), data(random() % 3 == 0 ? 70000 : random() % 600);
        for (std::size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(trial == 0 ? i + 1 : random());
        for (uint8_t &byte : data) byte = static_cast<uint8_t>(random());
        std::vector<uint8_t> plain = data, expected = data;
        plainRc4(key, expected);
        const int32_t slot = KOR_prepare_rc4key(key.data(), static_cast<int32_t>(key.size()));
        for (std::size_t done = 0, piece = 0; done < data.size(); done += piece) {
            piece = std::min<std::size_t>(data.size() - done, 1 + random() % 40000);
            KOR_rc4(data.data() + done, static_cast<int32_t>(piece), slot);
        }
        ASSERT_EQ(data, expected) << "key length " << key.size();
        KOR_rc4(data.data(), static_cast<int32_t>(data.size()), KOR_prepare_rc4key(key.data(), static_cast<int32_t>(key.size())));
        ASSERT_EQ(data, plain);
    }
    // The plain algorithm itself, on the keystream RFC 6229 publishes for key 01 02 03 04 05.
    std::vector<uint8_t> zeros(8, 0);
    plainRc4({1, 2, 3, 4, 5}, zeros);
    EXPECT_EQ(zeros, (std::vector<uint8_t>{0xb2, 0x39, 0x63, 0x05, 0xf0, 0x3d, 0xc0, 0x27}));
}

TEST(Rc4, SlotsAreUsedRoundRobinAndBadArgumentsAreSafe) {
    const uint8_t keys[5][2] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}};
    int32_t slots[5];
    for (int i = 0; i < 5; ++i) EXPECT_TRUE((slots[i] = KOR_prepare_rc4key(keys[i], 2)) >= 0 && (i == 0 || slots[i] == (slots[i - 1] + 1) % KOR_RC4_SLOTS)) << i;
    // The fifth key overwrites the first; an empty key schedules without dividing by zero.
    std::vector<uint8_t> data(4, 0), expected(4, 0), x(8, 0), y(8, 0);
    KOR_rc4(data.data(), 4, slots[0]), plainRc4({5, 5}, expected);
    KOR_rc4(x.data(), 8, KOR_prepare_rc4key(nullptr, 0)), plainRc4({}, y);
    EXPECT_TRUE(data == expected && x == y);
    uint8_t untouched[4] = {1, 2, 3, 4};
    KOR_rc4(untouched, 4, 4), KOR_rc4(untouched, 4, -1), KOR_rc4(untouched, -5, 0), KOR_rc4(nullptr, 4, 0);
    EXPECT_EQ(std::vector<uint8_t>(untouched, untouched + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

// Every byte value to upper-case digits and back, the count and terminator exact.
TEST(HexText, EveryByteToUpperCaseDigitsAndBack) {
    std::vector<uint8_t> bytes(256), back(258, 0xEE);
    std::string expected, text(515, '#');
    for (int i = 0; i < 256; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
        expected.append(1, "0123456789ABCDEF"[bytes[i] >> 4]).append(1, "0123456789ABCDEF"[bytes[i] & 15]);
    }
    EXPECT_TRUE(KOR_BinHex(bytes.data(), 256, text.data()) == 513 && text == expected.append(1, '\0').append("##"));
    EXPECT_EQ(KOR_HexBin(text.c_str(), 511, back.data()), 255) << "whole pairs only";
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end() - 1, back.begin()) && back[255] == 0xEE);
    EXPECT_TRUE(KOR_BinHex(bytes.data(), 0, text.data()) == 1 && text[0] == '\0' && KOR_BinHex(bytes.data(), -3, text.data()) == 1);
    // Lower-case letters are not hex digits here: 'a' is 97 - 55 = 42.
    EXPECT_TRUE(KOR_HexBin("0a", 2, back.data()) == 1 && back[0] == 42 && KOR_HexBin("12", 1, back.data()) == 0 && KOR_HexBin(nullptr, 2, back.data()) == 0);
}

}  // namespace
