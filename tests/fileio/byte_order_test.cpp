// Tests of the single-value readers, writers and converters in both byte orders.
#include <cstring>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using ByteOrder = FileTest;

TEST_F(ByteOrder, IntegersReadInBothOrders) {
    int32_t handle = openWith("i", std::string("\x12\x34\x12\x34\x01\x02\x03\x04\x01\x02\x03\x04", 12));
    int16_t half = 0;
    ASSERT_EQ(KorReadIntelInt(&half, handle), 1);
    EXPECT_EQ(half, 0x3412);
    ASSERT_EQ(KorReadMotorInt(&half, handle), 1);
    EXPECT_EQ(half, 0x1234);
    int32_t word = 0;
    ASSERT_EQ(KorReadIntelLong(&word, handle), 1);
    EXPECT_EQ(word, 0x04030201);
    ASSERT_EQ(KorReadMotorLong(&word, handle), 1);
    EXPECT_EQ(word, 0x01020304);
}

TEST_F(ByteOrder, FloatsAndDoublesReadInBothOrders) {
    std::string bytes(
        "\x3f\x80\x00\x00"
        "\x00\x00\x80\x3f"
        "\x3f\xf0\x00\x00\x00\x00\x00\x00"
        "\x00\x00\x00\x00\x00\x00\xf0\x3f",
        24);
    int32_t handle = openWith("f", bytes);
    float single = 0;
    ASSERT_EQ(KorReadMotorFloat(&single, handle), 1);
    EXPECT_EQ(single, 1.0f);
    single = 0;
    ASSERT_EQ(KorReadIntelFloat(&single, handle), 1);
    EXPECT_EQ(single, 1.0f);
    double value = 0;
    ASSERT_EQ(KorReadMotorDouble(&value, handle), 1);
    EXPECT_EQ(value, 1.0);
    value = 0;
    ASSERT_EQ(KorReadIntelDouble(&value, handle), 1);
    EXPECT_EQ(value, 1.0);
}

TEST_F(ByteOrder, CharsAreTheSameInBothOrders) {
    int32_t handle = openWith("c", "\xfe\x7f");
    uint8_t a = 0, b = 0;
    ASSERT_EQ(KorReadIntelChar(&a, handle), 1);
    ASSERT_EQ(KorReadMotorChar(&b, handle), 1);
    EXPECT_EQ(a, 0xFE);
    EXPECT_EQ(b, 0x7F);
    EXPECT_EQ(KorReadMotorChar(&b, handle), 0);
}

TEST_F(ByteOrder, EveryReaderFailsAtTheEndUntilTheFileIsSought) {
    int32_t handle = openWith("e", "\x01\x02\x03");
    int32_t word = 0x55555555;
    EXPECT_EQ(KorReadIntelLong(&word, handle), 0);
    // The three bytes that arrived, then the old fourth byte.
    EXPECT_EQ(static_cast<uint32_t>(word), 0x55030201u);
    int16_t half;
    double value;
    float single;
    uint8_t byte;
    EXPECT_EQ(KorReadIntelInt(&half, handle), 0);
    EXPECT_EQ(KorReadMotorInt(&half, handle), 0);
    EXPECT_EQ(KorReadMotorLong(&word, handle), 0);
    EXPECT_EQ(KorReadMotorFloat(&single, handle), 0);
    EXPECT_EQ(KorReadIntelFloat(&single, handle), 0);
    EXPECT_EQ(KorReadMotorDouble(&value, handle), 0);
    EXPECT_EQ(KorReadIntelDouble(&value, handle), 0);
    EXPECT_EQ(KorReadIntelChar(&byte, handle), 0);
    EXPECT_EQ(KorEof(handle), 1);
    KorSeekFile(handle, 1, KOR_SEEK_SET);
    ASSERT_EQ(KorReadMotorInt(&half, handle), 1);
    EXPECT_EQ(half, 0x0203);
}

TEST_F(ByteOrder, WritersPutTheLeastSignificantByteFirst) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    EXPECT_EQ(KorWriteIntelChar(handle, 0x1234), 1);
    EXPECT_EQ(KorWriteIntelInt(handle, 0x7FFF1234), 1);
    EXPECT_EQ(KorWriteIntelLong(handle, 0x01020304), 1);
    EXPECT_EQ(KorWriteIntelFloat(handle, 1.0f), 1);
    EXPECT_EQ(KorWriteIntelDouble(handle, 1.0), 1);
    ASSERT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("w"), std::string("\x34"
                                         "\x34\x12"
                                         "\x04\x03\x02\x01"
                                         "\x00\x00\x80\x3f"
                                         "\x00\x00\x00\x00\x00\x00\xf0\x3f",
                                         19));
}

TEST_F(ByteOrder, WritersFailOnAReadOnlyFile) {
    int32_t handle = openWith("r", "abc");
    EXPECT_EQ(KorWriteIntelChar(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelInt(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelLong(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelFloat(handle, 1.0f), 0);
    EXPECT_EQ(KorWriteIntelDouble(handle, 1.0), 0);
    EXPECT_EQ(KorWriteIntelLong(0, 1), 0);
}

TEST(ByteOrderMemory, ConvertersCopyAndReverse) {
    struct Case {
        void (*convert)(void *, const void *);
        int width;
        bool reversed;
    };
    const Case cases[] = {
        {memcpyIntelChar, 1, false},  {memcpyMotorChar, 1, false},  {memcpyIntelInt, 2, false},
        {memcpyIntelLong, 4, false},  {memcpyIntelFloat, 4, false}, {memcpyIntelDouble, 8, false},
        {memcpyMotorInt, 2, true},    {memcpyMotorLong, 4, true},   {memcpyMotorFloat, 4, true},
        {memcpyMotorDouble, 8, true},
    };
    const uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.width);
        uint8_t out[10];
        std::memset(out, 0xEE, sizeof out);
        c.convert(out, source);
        for (int i = 0; i < c.width; ++i) {
            EXPECT_EQ(out[i], source[c.reversed ? c.width - 1 - i : i]);
        }
        EXPECT_EQ(out[c.width], 0xEE) << "nothing beyond the value is written";
        // In place gives the same result.
        uint8_t inPlace[8];
        std::memcpy(inPlace, source, 8);
        c.convert(inPlace, inPlace);
        EXPECT_EQ(std::memcmp(inPlace, out, static_cast<std::size_t>(c.width)), 0);
    }
}

}  // namespace
}  // namespace vutil::test
