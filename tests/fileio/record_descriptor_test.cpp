// Tests of the record descriptors: layouts byte by byte, limits, packing, byte order, partial
// records, and whole-record transfers checked against element-by-element ones.
#include "fileio/record_descriptor.h"

#include <array>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using RecordDescriptor = FileTest;

/// Bytes 1, 2, 3, ...
std::string counting(std::size_t size) {
    std::string bytes(size, '\0');
    std::iota(bytes.begin(), bytes.end(), '\1');
    return bytes;
}

/// A record as hex pairs, ".." for a byte left untouched (0xEE), trailing ".." dropped.
std::string picture(const uint8_t *record, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i)
        text += record[i] == 0xEE ? std::string("..") : std::string{digits[record[i] >> 4], digits[record[i] & 15]};
    return text.substr(0, text.find_last_not_of('.') + 1);
}

// Each descriptor applied to the image 01 02 03 ... by the memory operations: the result and
// every byte of the record.
TEST(RecordDescriptorMemory, LayoutsByteByByte) {
    const std::string image = counting(40);
    for (const auto &[descriptor, size, motor, result, picturing] : std::vector<
             std::tuple<const char *, uint32_t, bool, int32_t, std::string>>{
        {"C4,L2;D1 I3", 32, false, 1, "01020304 05060708 090a0b0c ........ 0d0e0f1011121314 15161718191a"},
        {"C4,L2;D1 I3", 30, false, 0, "01020304 05060708 090a0b0c ........ 0d0e0f1011121314 15161718191a"},
        {"C4,L2;D1 I3", 32, true, 1, "01020304 08070605 0c0b0a09 ........ 14131211100f0e0d 161518171a19"},
        {"C4,L2;D1 I3", 16, true, 1, "01020304 08070605 0c0b0a09"},  // the D does not fit after aligning
        // Packing: a leading P1 only; C0 and a bare letter are no fields.
        {"C3 P1 L1", 8, false, 1, "010203.. 04050607"}, {"C0 P1 L1", 4, false, 1, "01020304"},
        {"L P1 C1 L1", 5, false, 1, "01 02030405"},      {"P1 C1 I1 D1", 11, true, 1, "01 0302 0b0a090807060504"},
        {"P2 C1 L1", 8, false, 1, "01...... 02030405"},  {"C1 L C1", 8, false, 1, "01...... 02"},
        // L is refused after aligning to 4, I tested before aligning; the limit takes whole items.
        {"C1 L1", 4, false, 1, "01"}, {"C1 I1", 4, false, 1, "01.. 0203"}, {"C2 I2", 3, false, 0, "0102"},
        {"C2 I2", 6, false, 1, "0102 03040506"},
        // Unknown letters and negative counts end the descriptor; counts are read by the atoi rules.
        {"L", 0, false, 1, ""}, {"X2 C1", 0, false, 1, ""}, {"C2 f1 C1", 2, false, 1, "0102"},
        {" ,C1;; ,C1, ", 2, false, 1, "0102"}, {"C3xyz", 3, false, 1, "010203"}, {"C+3", 3, false, 1, "010203"},
        {"Cx3", 0, false, 1, ""}, {"C2 C-1 C2", 2, false, 1, "0102"}}) {
        SCOPED_TRACE(testing::Message() << descriptor << " size " << size << (motor ? " motor" : ""));
        uint8_t record[40];
        std::memset(record, 0xEE, sizeof record);
        EXPECT_EQ((motor ? memcpyMotorStruct : memcpyIntelStruct)(record, image.data(), size, descriptor), result);
        std::string want = picturing;
        std::erase(want, ' ');
        EXPECT_EQ(picture(record, sizeof record), want);
    }
    // Only the first 511 characters of a descriptor count.
    std::string descriptor;
    while (descriptor.size() < 600) descriptor += "C1 ";
    std::vector<uint8_t> ones(200, 1), record(200, 0);
    expectFacts({FACT(memcpyIntelStruct(record.data(), ones.data(), 170, descriptor.c_str()), 1), FACT(record[169], 1),
                 FACT(record[170], 0)});
}

TEST_F(RecordDescriptor, FileRecordsCountPackedBytesOrTheNaturalSize) {
    std::string image = counting(26);
    int32_t handle = openWith("rec", image + image + std::string(64, '\x01'));
    uint8_t record[40];
    EXPECT_EQ(KorReadIntelStruct(record, 1000, handle, "C4,L2;D1 I3"), 26) << "the layout is the memory one";
    EXPECT_EQ(KorReadMotorStruct(record, 1000, handle, "P1 C4 L2 D1 I3"), 0) << "Motor records cannot be packed";
    EXPECT_EQ(KorReadMotorStruct(record, 1000, handle, "C4,L2;D1 I3"), 32);
    // The limit counts elements: packed bytes for Intel, the memory offset for Motor.
    EXPECT_EQ(KorReadIntelStruct(record, 10, handle, "C8 C3"), 8);
    EXPECT_EQ(KorReadIntelStruct(record, 3, handle, "L3"), 12);
    EXPECT_EQ(KorReadMotorStruct(record, 4, handle, "C3 I2"), 3) << "2 + 3 > 4 refuses the Ints";
    EXPECT_EQ(KorReadMotorStruct(record, 5, handle, "C3 I2"), 8);
    EXPECT_EQ(KorTellFile(handle), 82);
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, ""), 0) << "an empty record reads nothing";
    int32_t writer = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    EXPECT_EQ(KorWriteIntelStruct(writer, record, 5, "C4,L2;D1 I3"), 4);
    expectFacts({FACT(KorWriteIntelStruct(writer, record, 1000, ""), 0), FACT(KorWriteIntelStruct(handle, record, 1000, "C4"), 0)});

    // The end of the file inside a record: zero, the bytes that arrived stay.
    handle = openWith("short", counting(7));
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, "C2 L2"), 0);
    EXPECT_EQ(picture(record, 16), "0102....0304050607") << "the byte that arrived stays in the last element";
    // the short element delivered a byte
    expectFacts({FACT(KorTellFile(handle), 7), FACT(KorEof(handle), 0)});
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, "C1"), 0);
    EXPECT_EQ(KorEof(handle), 1);
    KorSeekFile(handle, 0, KOR_SEEK_SET);
    EXPECT_EQ(KorReadMotorStruct(record, 100, handle, "I4"), 0);
    EXPECT_EQ(KorTellFile(handle), 7);
}

/// A random descriptor of up to six items (type letters, counts, bare letters, packing).
std::string randomDescriptor(std::mt19937 &random, bool packing) {
    std::string text;
    const int items = 1 + static_cast<int>(random() % 6);
    for (int i = 0; i < items; ++i) {
        text += packing && random() % 8 == 0 ? 'P' : "CILDcl"[random() % 6];
        if (random() % 6 != 0) text += std::to_string(random() % 7);
        text += " ,;"[random() % 3];
    }
    return text;
}

// Records moved through the buffer in one piece must match records moved element by element (a
// file whose buffer could not be allocated moves every element alone) and, read with room for
// every item, the same image unpacked in memory.
TEST_F(RecordDescriptor, WholeRecordTransfersMatchElementTransfersAndUnpacking) {
    std::mt19937 random(12345);
    const std::string bytes = randomBytes(40000, 12345);
    int32_t buffered = openWith("a", bytes), writeBuffered = openWith("wa", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    fileio::failBufferAllocations(2);
    int32_t unbuffered = openWith("b", bytes), writeUnbuffered = openWith("wb", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    for (int step = 0; KorEof(buffered) == 0; ++step) {
        const bool motor = random() % 2 == 0;
        const std::string descriptor = randomDescriptor(random, !motor);
        const auto limit = static_cast<uint32_t>(random() % 4 == 0 ? random() % 20 : 1000);
        SCOPED_TRACE(testing::Message() << step << " " << descriptor << " limit " << limit);
        const int32_t at = KorTellFile(buffered);
        std::array<std::array<uint8_t, 400>, 3> records{};
        auto read = [&](int32_t handle, uint8_t *record) {
            return (motor ? KorReadMotorStruct : KorReadIntelStruct)(record, limit, handle, descriptor.c_str());
        };
        const int32_t ra = read(buffered, records[0].data());
        ASSERT_EQ(read(unbuffered, records[1].data()), ra);
        ASSERT_TRUE(records[0] == records[1]);
        ASSERT_EQ(KorTellFile(buffered), KorTellFile(unbuffered));
        ASSERT_EQ(KorEof(buffered), KorEof(unbuffered));
        if (limit == 1000 && ra != 0) {
            (motor ? memcpyMotorStruct : memcpyIntelStruct)(records[2].data(), bytes.data() + at, 1000,
                                                            descriptor.c_str());
            ASSERT_TRUE(records[0] == records[2]);
        }
        const char *from = bytes.data() + random() % 30000;
        const int32_t written = KorWriteIntelStruct(writeBuffered, from, limit, descriptor.c_str());
        ASSERT_EQ(KorWriteIntelStruct(writeUnbuffered, from, limit, descriptor.c_str()), written);
        ASSERT_EQ(KorTellFile(writeBuffered), KorTellFile(writeUnbuffered));
    }
    ASSERT_EQ(KorCloseFile(writeBuffered) + KorCloseFile(writeUnbuffered), 2);
    EXPECT_TRUE(contents("wa") == contents("wb"));
    EXPECT_GT(contents("wa").size(), 10000u);
}

// Records of 4 GiB and more: the byte total passes 32 bits, which must not make the
// record look small enough to be moved from or into the buffer in one piece.
TEST_F(RecordDescriptor, RecordsBeyond4GiBGoElementByElement) {
    std::string bytes = counting(40);
    int32_t handle = openWith("big", bytes);
    uint8_t record[64];
    std::memset(record, 0xEE, sizeof record);
    // 16 + 8 * 2^29 bytes, which is 16 in 32 bits, while 40 bytes are buffered.
    EXPECT_EQ(KorReadIntelStruct(record, UINT32_MAX, handle, "C16 D536870912"), 0) << "the file ends in the record";
    expectFacts({FACT(std::memcmp(record, bytes.data(), 40), 0), FACT(record[40], 0xEE),
                 FACT(KorTellFile(handle), 40)});
    KorSeekFile(handle, 0, KOR_SEEK_SET);
    EXPECT_EQ(KorReadMotorStruct(record, UINT32_MAX, handle, "C16 D536870912"), 0);
    EXPECT_EQ(record[16], bytes[23]) << "the first Double is byte-reversed";
    // Writing: one-byte buffer, so every Double goes straight to the host, which refuses it.
    fileio::failBufferAllocations(1);
    int32_t output = openWith("big.out", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    faults::fullDisk();
    double first = 1.0;
    EXPECT_EQ(KorWriteIntelStruct(output, &first, UINT32_MAX, "D536870912"), 0);
}

TEST_F(RecordDescriptor, DescriptorsAreParsedPrivatelyAndAgainWhenEdited) {
    char text[] = "one two three";
    ASSERT_STREQ(std::strtok(text, " "), "one");
    uint8_t record[32];
    char descriptor[] = "C1 C1";
    const uint8_t image[4] = {1, 2, 3, 4};
    EXPECT_EQ(memcpyIntelStruct(record, image, 2, descriptor), 1);
    double x = 0, y = 0;
    EXPECT_EQ(read_lf_coord_pair("1.5, -2", &x, &y), 2);
    EXPECT_STREQ(std::strtok(nullptr, " "), "two") << "the caller's tokenizing goes on";
    descriptor[4] = '3';
    expectFacts({FACT(memcpyIntelStruct(record, image, 2, descriptor), 0),
                 FACT(memcpyIntelStruct(record, image, 4, descriptor), 1)});
    // More descriptors than the cache holds, then the first again.
    for (const char *other : {"C1", "C2", "C3", "C4", "C5"}) memcpyIntelStruct(record, image, 0, other);
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, descriptor), 1);
    // The terminator ends a descriptor, whatever follows it in the caller's buffer.
    char followed[600] = {};
    std::memcpy(followed, "L1\0 C1 C1", 10);
    expectFacts({FACT(memcpyIntelStruct(record, image, 4, followed), 1),
                 FACT(memcpyIntelStruct(record, image, 8, followed), 0)});
    fileio::Descriptor parsed;
    fileio::parseDescriptor("C99999999999", parsed);
    EXPECT_EQ(parsed.items[0].count, INT32_MAX);
}

}  // namespace
}  // namespace vutil::test
