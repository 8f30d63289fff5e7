// Tests of the single-value readers, writers and converters in both byte orders.
#include "vutil/fileio.h"

#include <cstring>
#include <random>
#include <string>

#include "file_fixture.h"

namespace vutil::test {
namespace {

using ByteOrder = FileTest;

struct Reader {
    int width;
    bool motor;
    int32_t (*read)(void *, int32_t);
};

#define VUTIL_READER(function, type, width, motor) \
    Reader { width, motor, [](void *to, int32_t handle) { return function(static_cast<type *>(to), handle); } }

const Reader kReaders[] = {
    VUTIL_READER(KorReadIntelChar, uint8_t, 1, false), VUTIL_READER(KorReadMotorChar, uint8_t, 1, false),
    VUTIL_READER(KorReadIntelInt, int16_t, 2, false),  VUTIL_READER(KorReadIntelLong, int32_t, 4, false),
    VUTIL_READER(KorReadIntelFloat, float, 4, false),  VUTIL_READER(KorReadIntelDouble, double, 8, false),
    VUTIL_READER(KorReadMotorInt, int16_t, 2, true),   VUTIL_READER(KorReadMotorLong, int32_t, 4, true),
    VUTIL_READER(KorReadMotorFloat, float, 4, true),   VUTIL_READER(KorReadMotorDouble, double, 8, true),
};

// Every reader, one after another through random bytes: Intel values are the bytes as they
// lie, Motor values the bytes reversed. At the end a short value fails.
TEST_F(ByteOrder, ReadersTakeTheBytesInTheirOrder) {
    std::mt19937 random(3);
    std::string bytes(4000, '\0');
    for (char &byte : bytes) {
        byte = static_cast<char>(random());
    }
    int32_t handle = openWith("values", bytes);
    std::size_t at = 0;
    for (int i = 0; at + 8 <= bytes.size(); ++i) {
        const Reader &reader = kReaders[random() % std::size(kReaders)];
        uint8_t value[9];
        std::memset(value, 0xEE, sizeof value);
        ASSERT_EQ(reader.read(value, handle), 1) << i;
        for (int k = 0; k < reader.width; ++k) {
            ASSERT_EQ(value[k], static_cast<uint8_t>(bytes[at + (reader.motor ? reader.width - 1 - k : k)])) << i;
        }
        ASSERT_EQ(value[reader.width], 0xEE);
        at += static_cast<std::size_t>(reader.width);
    }
    for (const Reader &reader : kReaders) {
        if (reader.width == 1) {
            continue;
        }
        SCOPED_TRACE(reader.width);
        KorSeekFile(handle, static_cast<int32_t>(bytes.size()) - 1, KOR_SEEK_SET);
        uint8_t value[8];
        std::memset(value, 0x55, sizeof value);
        EXPECT_EQ(reader.read(value, handle), 0);
        // Intel: the byte that arrived, then the old content; Motor: reversed, with zeros.
        const uint8_t last = static_cast<uint8_t>(bytes.back());
        EXPECT_EQ(value[reader.motor ? reader.width - 1 : 0], last);
        EXPECT_EQ(value[reader.motor ? 0 : 1], reader.motor ? 0 : 0x55);
        EXPECT_EQ(reader.read(value, handle), 0);
        EXPECT_EQ(KorEof(handle), 1);
    }
}

TEST_F(ByteOrder, WritersPutTheLeastSignificantByteFirst) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    EXPECT_EQ(KorWriteIntelChar(handle, 0x1234), 1);
    EXPECT_EQ(KorWriteIntelInt(handle, 0x7FFF1234), 1);
    EXPECT_EQ(KorWriteIntelLong(handle, 0x01020304), 1);
    EXPECT_EQ(KorWriteIntelFloat(handle, -2.5f), 1);
    EXPECT_EQ(KorWriteIntelDouble(handle, 1.0 / 3.0), 1);
    ASSERT_EQ(KorCloseFile(handle), 1);
    const float single = -2.5f;
    const double value = 1.0 / 3.0;
    EXPECT_EQ(contents("w"), std::string("\x34\x34\x12\x04\x03\x02\x01", 7) +
                                 std::string(reinterpret_cast<const char *>(&single), 4) +
                                 std::string(reinterpret_cast<const char *>(&value), 8));
    handle = openWith("r", "abc");
    EXPECT_EQ(KorWriteIntelChar(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelInt(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelLong(handle, 1), 0);
    EXPECT_EQ(KorWriteIntelFloat(handle, 1.0f), 0);
    EXPECT_EQ(KorWriteIntelDouble(handle, 1.0), 0);
    EXPECT_EQ(KorWriteIntelLong(0, 1), 0);
}

TEST(ByteOrderMemory, ConvertersCopyAndReverse) {
    const struct {
        void (*convert)(void *, const void *);
        int width;
        bool reversed;
    } cases[] = {
        {memcpyIntelChar, 1, false},  {memcpyMotorChar, 1, false},  {memcpyIntelInt, 2, false},
        {memcpyIntelLong, 4, false},  {memcpyIntelFloat, 4, false}, {memcpyIntelDouble, 8, false},
        {memcpyMotorInt, 2, true},    {memcpyMotorLong, 4, true},   {memcpyMotorFloat, 4, true},
        {memcpyMotorDouble, 8, true},
    };
    const uint8_t source[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.width);
        uint8_t out[10];
        std::memset(out, 0xEE, sizeof out);
        c.convert(out, source);
        for (int i = 0; i < c.width; ++i) {
            EXPECT_EQ(out[i], source[c.reversed ? c.width - 1 - i : i]);
        }
        EXPECT_EQ(out[c.width], 0xEE) << "nothing beyond the value is written";
        uint8_t inPlace[8];
        std::memcpy(inPlace, source, 8);
        c.convert(inPlace, inPlace);
        EXPECT_EQ(std::memcmp(inPlace, out, static_cast<std::size_t>(c.width)), 0) << "in place";
    }
}

}  // namespace
}  // namespace vutil::test
