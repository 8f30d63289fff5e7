// Tests of the single-value readers, writers and converters in both byte orders.
#include <cstring>
#include <random>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using ByteOrder = FileTest;

struct Value {
    int width;
    bool motor;
    int32_t (*read)(void *, int32_t);
    void (*convert)(void *, const void *);
};

#define VUTIL_VALUE(kind, type, width, motor)                                                                     \
    Value {                                                                                                       \
        width, motor, [](void *to, int32_t h) { return KorRead##kind(static_cast<type *>(to), h); }, memcpy##kind \
    }

const Value kValues[] = {
    VUTIL_VALUE(IntelChar, uint8_t, 1, false), VUTIL_VALUE(MotorChar, uint8_t, 1, false),
    VUTIL_VALUE(IntelInt, int16_t, 2, false),  VUTIL_VALUE(IntelLong, int32_t, 4, false),
    VUTIL_VALUE(IntelFloat, float, 4, false),  VUTIL_VALUE(IntelDouble, double, 8, false),
    VUTIL_VALUE(MotorInt, int16_t, 2, true),   VUTIL_VALUE(MotorLong, int32_t, 4, true),
    VUTIL_VALUE(MotorFloat, float, 4, true),   VUTIL_VALUE(MotorDouble, double, 8, true)};

// Every reader and converter, one after another through random bytes: Intel values are the
// bytes as they lie, Motor values the bytes reversed, nothing past the value is touched, and
// the converters work in place. At the end a short value fails.
TEST_F(ByteOrder, ReadersConvertersAndWritersTakeTheBytesInTheirOrder) {
    std::mt19937 random(3);
    const std::string bytes = randomBytes(4000, 3);
    int32_t handle = openWith("values", bytes);
    for (std::size_t at = 0; at + 8 <= bytes.size();) {
        const Value &v = kValues[random() % std::size(kValues)];
        uint8_t read[9], converted[9], inPlace[8];
        std::memset(read, 0xEE, sizeof read);
        std::memset(converted, 0xEE, sizeof converted);
        std::memcpy(inPlace, bytes.data() + at, 8);
        ASSERT_EQ(v.read(read, handle), 1) << at;
        v.convert(converted, bytes.data() + at);
        v.convert(inPlace, inPlace);
        for (int k = 0; k < v.width; ++k) {
            ASSERT_EQ(read[k], static_cast<uint8_t>(bytes[at + (v.motor ? v.width - 1 - k : k)])) << at;
        }
        ASSERT_EQ(read[v.width], 0xEE);
        ASSERT_EQ(std::memcmp(read, converted, sizeof read), 0);
        ASSERT_EQ(std::memcmp(read, inPlace, static_cast<std::size_t>(v.width)), 0);
        at += static_cast<std::size_t>(v.width);
    }
    // A value cut short by the end of the file fails; the next read finds the end.
    for (const Value &v : kValues) {
        KorSeekFile(handle, static_cast<int32_t>(bytes.size()) - 1, KOR_SEEK_SET);
        uint8_t value[8];
        EXPECT_EQ(v.read(value, handle), v.width == 1 ? 1 : 0) << v.width;
        expectFacts({FACT(v.read(value, handle), 0), FACT(KorEof(handle), 1)});
    }
    // The writers put the least significant byte first; a file open for reading takes nothing.
    expectFacts({FACT(KorWriteIntelChar(handle, 1), 0), FACT(KorWriteIntelInt(handle, 1), 0), FACT(KorWriteIntelLong(handle, 1), 0),
                 FACT(KorWriteIntelFloat(handle, 1.0f), 0), FACT(KorWriteIntelDouble(handle, 1.0), 0)});
    handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    const float single = -2.5f;
    const double value = 1.0 / 3.0;
    expectFacts({FACT(KorWriteIntelChar(handle, 0x1234), 1), FACT(KorWriteIntelInt(handle, 0x7FFF1234), 1),
                 FACT(KorWriteIntelLong(handle, 0x01020304), 1), FACT(KorWriteIntelFloat(handle, single), 1),
                 FACT(KorWriteIntelDouble(handle, value), 1)});
    ASSERT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("w"), std::string("\x34\x34\x12\x04\x03\x02\x01", 7) +
                                 std::string(reinterpret_cast<const char *>(&single), 4) +
                                 std::string(reinterpret_cast<const char *>(&value), 8));
}

}  // namespace
}  // namespace vutil::test
