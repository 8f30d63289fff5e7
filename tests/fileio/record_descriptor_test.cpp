// Tests of the record descriptors: layout, limits, packing, byte order and partial records.
#include "fileio/record_descriptor.h"

#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "file_fixture.h"
#include "vutil/fileio.h"
#include "vutil/runtime.h"

namespace vutil::test {
namespace {

using RecordDescriptor = FileTest;

// The packed 26-byte image of «C4,L2;D1 I3»: bytes 1..26.
std::string sampleImage() {
    std::string image(26, '\0');
    for (int i = 0; i < 26; ++i) {
        image[static_cast<std::size_t>(i)] = static_cast<char>(i + 1);
    }
    return image;
}

struct Sample {
    uint8_t chars[4];
    int32_t longs[2];
    double value;
    int16_t ints[3];
};
static_assert(sizeof(Sample) == 32);

template <typename T>
T load(const uint8_t *bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + 1);
    }
    return bytes;
}

ssize_t refusedWrite(int, const void *, size_t) {
    errno = ENOSPC;
    return -1;
}

TEST_F(RecordDescriptor, ReadsTheWorkedLayoutInBothOrders) {
    std::string image = sampleImage();
    int32_t handle = openWith("rec", image + image);
    uint8_t record[40];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(KorReadIntelStruct(record, 1000, handle, "C4,L2;D1 I3"), 26);
    const auto *bytes = reinterpret_cast<const uint8_t *>(image.data());
    EXPECT_EQ(std::memcmp(record, bytes, 12), 0);
    EXPECT_EQ(record[12], 0xEE) << "padding is left alone";
    EXPECT_EQ(std::memcmp(record + 16, bytes + 12, 8), 0);
    EXPECT_EQ(std::memcmp(record + 24, bytes + 20, 6), 0);
    EXPECT_EQ(record[30], 0xEE);

    Sample motor{};
    EXPECT_EQ(KorReadMotorStruct(&motor, 1000, handle, "C4,L2;D1 I3"), 32);
    EXPECT_EQ(std::memcmp(motor.chars, bytes, 4), 0);
    EXPECT_EQ(motor.longs[0], 0x05060708);
    EXPECT_EQ(motor.longs[1], 0x090A0B0C);
    EXPECT_EQ(load<uint64_t>(reinterpret_cast<uint8_t *>(&motor.value)), 0x0D0E0F1011121314u);
    EXPECT_EQ(motor.ints[0], 0x1516);
    EXPECT_EQ(motor.ints[2], 0x191A);
    EXPECT_EQ(KorTellFile(handle), 52);
}

TEST_F(RecordDescriptor, PackingLeadingTheDescriptor) {
    std::string image = sampleImage();
    int32_t handle = openWith("rec", image);
    uint8_t record[32] = {};
    EXPECT_EQ(KorReadMotorStruct(record, 1000, handle, "P1 C4 L2 D1 I3"), 0) << "Motor records cannot be packed";
    EXPECT_EQ(KorTellFile(handle), 0);
    EXPECT_EQ(KorReadIntelStruct(record, 1000, handle, "P1 C4 L2 D1 I3"), 26);
    EXPECT_EQ(std::memcmp(record, image.data(), 26), 0);
}

TEST(RecordDescriptorMemory, PackingTakesEffectOnlyBeforeTheFirstField) {
    const uint8_t image[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t record[16] = {};
    EXPECT_EQ(memcpyIntelStruct(record, image, 8, "C3 P1 L1"), 1) << "P1 after a field is ignored";
    EXPECT_EQ(load<uint32_t>(record + 4), 0x07060504u);
    std::memset(record, 0, sizeof record);
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, "C0 P1 L1"), 1) << "a C0 does not count as a field";
    EXPECT_EQ(load<uint32_t>(record), 0x04030201u);
    EXPECT_EQ(memcpyIntelStruct(record, image, 5, "P1 C1 L1"), 1);
    EXPECT_EQ(load<uint32_t>(record + 1), 0x05040302u);
    EXPECT_EQ(memcpyIntelStruct(record, image, 8, "P2 C1 L1"), 1) << "only a count of exactly 1 packs";
    EXPECT_EQ(memcpyIntelStruct(record, image, 5, "L P1 C1 L1"), 1) << "a bare letter occupies no memory";
}

TEST(RecordDescriptorMemory, SizeCheckAgainstTheNaturalSize) {
    std::string image = sampleImage();
    Sample record{};
    EXPECT_EQ(memcpyIntelStruct(&record, image.data(), 32, "C4,L2;D1 I3"), 1);
    EXPECT_EQ(record.longs[0], 0x08070605);
    std::memset(&record, 0, sizeof record);
    EXPECT_EQ(memcpyIntelStruct(&record, image.data(), 30, "C4,L2;D1 I3"), 0);
    EXPECT_EQ(load<uint64_t>(reinterpret_cast<uint8_t *>(&record.value)), 0x14131211100F0E0Du)
        << "the D item is still taken with size 30";
    EXPECT_EQ(record.ints[2], 0x1A19);
    std::memset(&record, 0, sizeof record);
    EXPECT_EQ(memcpyMotorStruct(&record, image.data(), 32, "C4,L2;D1 I3"), 1);
    EXPECT_EQ(record.longs[1], 0x090A0B0C);
    EXPECT_EQ(record.chars[3], 4);
}

TEST(RecordDescriptorMemory, LongAndDoubleItemsAreTestedAfterAligning) {
    const uint8_t image[8] = {9, 8, 7, 6, 5, 4, 3, 2};
    uint8_t record[16];
    std::memset(record, 0xEE, sizeof record);
    // The long is refused (1 + 4 > 4) but the offset was already rounded to 4.
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, "C1 L1"), 1);
    EXPECT_EQ(record[0], 9);
    EXPECT_EQ(record[4], 0xEE);
    // An Int is tested before aligning: 1 + 1 <= 2, then aligned to 2.
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, "C1 I1"), 1);
    EXPECT_EQ(load<uint16_t>(record + 2), 0x0708);
}

TEST(RecordDescriptorMemory, BareLettersAlignButMoveNothing) {
    const uint8_t image[2] = {0x11, 0x22};
    uint8_t record[8];
    std::memset(record, 0, sizeof record);
    EXPECT_EQ(memcpyIntelStruct(record, image, 0, "L"), 1);
    EXPECT_EQ(memcpyIntelStruct(record, image, 8, "C1 L C1"), 1);
    EXPECT_EQ(record[0], 0x11);
    EXPECT_EQ(record[4], 0x22);
    EXPECT_EQ(record[1], 0);
}

TEST(RecordDescriptorMemory, UnknownLettersEndTheDescriptor) {
    const uint8_t image[4] = {1, 2, 3, 4};
    struct Case {
        const char *descriptor;
        uint32_t size;
    };
    // Each one moves exactly the items before the unknown one.
    for (const Case &c : {Case{"X2 C1", 0}, Case{"4C C1", 0}, Case{"C1 X2 C1", 1}, Case{"C2 f1 C1", 2},
                          Case{"c1 i1", 4}, Case{"C1 C1 \x80 C1", 2}}) {
        SCOPED_TRACE(c.descriptor);
        uint8_t record[8] = {};
        EXPECT_EQ(memcpyIntelStruct(record, image, c.size, c.descriptor), 1);
    }
}

TEST(RecordDescriptorMemory, SeparatorRunsProduceNoEmptyItems) {
    const uint8_t image[2] = {7, 8};
    uint8_t a[2] = {}, b[2] = {};
    EXPECT_EQ(memcpyIntelStruct(a, image, 2, " ,C1;; ,C1, "), 1);
    EXPECT_EQ(memcpyIntelStruct(b, image, 2, "C1 C1"), 1);
    EXPECT_EQ(std::memcmp(a, b, 2), 0);
    EXPECT_EQ(a[1], 8);
}

TEST(RecordDescriptorMemory, CountsAreReadByTheAtoiRules) {
    const uint8_t image[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t record[8] = {};
    EXPECT_EQ(memcpyIntelStruct(record, image, 3, "C3xyz"), 1);
    EXPECT_EQ(memcpyIntelStruct(record, image, 3, "C+3"), 1);
    EXPECT_EQ(memcpyIntelStruct(record, image, 3, "C\t3"), 1);
    EXPECT_EQ(memcpyIntelStruct(record, image, 0, "Cx3"), 1);
}

TEST(RecordDescriptorMemory, ANegativeCountEndsTheWalk) {
    const uint8_t image[4] = {1, 2, 3, 4};
    uint8_t record[8];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(memcpyIntelStruct(record, image, 2, "C2 C-1 C2"), 1);
    EXPECT_EQ(record[2], 0xEE);
    EXPECT_EQ(memcpyIntelStruct(record, image, 2, "C2 C-99999999999 C2"), 1);
}

TEST(RecordDescriptorMemory, OnlyTheFirst511CharactersCount) {
    std::string descriptor;
    while (descriptor.size() < 600) {
        descriptor += "C1 ";
    }
    std::vector<uint8_t> image(200, 1), record(200, 0);
    EXPECT_EQ(memcpyIntelStruct(record.data(), image.data(), 170, descriptor.c_str()), 1);
    EXPECT_EQ(record[169], 1);
    EXPECT_EQ(record[170], 0);
}

TEST_F(RecordDescriptor, TheLimitCountsElementsNotBytes) {
    int32_t handle = openWith("rec", std::string(64, '\x01'));
    uint8_t record[64] = {};
    EXPECT_EQ(KorReadIntelStruct(record, 10, handle, "C8 C3"), 8);
    EXPECT_EQ(KorTellFile(handle), 8);
    EXPECT_EQ(KorReadIntelStruct(record, 3, handle, "L3"), 12);
    EXPECT_EQ(KorTellFile(handle), 20);
    // Motor records test against the memory offset: 2 + 3 > 4 refuses the Ints.
    EXPECT_EQ(KorReadMotorStruct(record, 4, handle, "C3 I2"), 3);
    EXPECT_EQ(KorTellFile(handle), 23);
    EXPECT_EQ(KorReadMotorStruct(record, 5, handle, "C3 I2"), 8);
    EXPECT_EQ(KorTellFile(handle), 30);
}

TEST_F(RecordDescriptor, EndOfFileInsideARecordGivesZero) {
    int32_t handle = openWith("rec", std::string("\x01\x02\x03\x04\x05\x06\x07", 7));
    uint8_t record[16];
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, "C2 L2"), 0);
    EXPECT_EQ(record[1], 2);
    EXPECT_EQ(load<uint32_t>(record + 4), 0x06050403u);
    EXPECT_EQ(record[8], 7) << "the byte that arrived stays in the last element";
    EXPECT_EQ(KorTellFile(handle), 7);
    EXPECT_EQ(KorEof(handle), 0) << "the short element delivered a byte";
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, "C1"), 0);
    EXPECT_EQ(KorEof(handle), 1);
    KorSeekFile(handle, 0, KOR_SEEK_SET);
    EXPECT_EQ(KorReadMotorStruct(record, 100, handle, "I4"), 0);
    EXPECT_EQ(KorTellFile(handle), 7);
    EXPECT_EQ(KorReadIntelStruct(record, 100, handle, ""), 0) << "an empty record reads nothing";
}

TEST_F(RecordDescriptor, WritesPackedLittleEndianRecords) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    Sample record{{'a', 'b', 'c', 'd'}, {0x01020304, -1}, 1.0, {1, 2, 0x0102}};
    EXPECT_EQ(KorWriteIntelStruct(handle, &record, 1000, "C4,L2;D1 I3"), 26);
    EXPECT_EQ(KorWriteIntelStruct(handle, &record, 5, "C4,L2;D1 I3"), 4);
    ASSERT_EQ(KorCloseFile(handle), 1);
    std::string bytes = contents("w");
    ASSERT_EQ(bytes.size(), 30u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("abcd\x04\x03\x02\x01", 8));
    EXPECT_EQ(bytes.substr(26), "abcd");

    handle = openWith("w", bytes);
    Sample back{};
    EXPECT_EQ(KorReadIntelStruct(&back, 1000, handle, "C4,L2;D1 I3"), 26);
    EXPECT_EQ(std::memcmp(&back.ints, &record.ints, sizeof back.ints), 0);
    EXPECT_EQ(back.value, 1.0);
    EXPECT_EQ(back.longs[1], -1);
}

TEST_F(RecordDescriptor, AFailedWriteGivesZero) {
    int32_t handle = openWith("r", "read only");
    Sample record{};
    EXPECT_EQ(KorWriteIntelStruct(handle, &record, 1000, "C4,L2;D1 I3"), 0);
    EXPECT_EQ(KorWriteIntelStruct(handle, &record, 1000, ""), 0);
}

// Records of 4 GiB and more: the byte total passes 32 bits, which must not make
// the record look small enough to be moved from or into the buffer in one piece.
TEST_F(RecordDescriptor, RecordsBeyond4GiBGoElementByElement) {
    std::string bytes = pattern(40);
    int32_t handle = openWith("big", bytes);
    uint8_t record[64];
    std::memset(record, 0xEE, sizeof record);
    // 16 + 8 * 2^29 bytes, which is 16 in 32 bits, while 40 bytes are buffered.
    EXPECT_EQ(KorReadIntelStruct(record, UINT32_MAX, handle, "C16 D536870912"), 0) << "the file ends in the record";
    EXPECT_EQ(std::memcmp(record, bytes.data(), 40), 0);
    EXPECT_EQ(record[40], 0xEE);
    EXPECT_EQ(KorTellFile(handle), 40);

    KorSeekFile(handle, 0, KOR_SEEK_SET);
    std::memset(record, 0xEE, sizeof record);
    EXPECT_EQ(KorReadMotorStruct(record, UINT32_MAX, handle, "C16 D536870912"), 0);
    EXPECT_EQ(std::memcmp(record, bytes.data(), 16), 0);
    EXPECT_EQ(record[16], static_cast<uint8_t>(bytes[23])) << "the first Double is byte-reversed";
    EXPECT_EQ(KorTellFile(handle), 40);

    // Writing: one-byte buffer, so every Double goes straight to the host, and
    // the host refuses it; only the record's first element is looked at.
    fileio::failBufferAllocations(1);
    int32_t output = openWith("big.out", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    platform::setFileSystemCall("write", reinterpret_cast<platform::SystemCall>(&refusedWrite));
    double first = 1.0;
    EXPECT_EQ(KorWriteIntelStruct(output, &first, UINT32_MAX, "D536870912"), 0);
}

TEST_F(RecordDescriptor, WorksWhileTheCallerIsTokenizing) {
    char text[] = "one two three";
    char *token = std::strtok(text, " ");
    ASSERT_STREQ(token, "one");
    uint8_t record[32];
    std::string image = sampleImage();
    EXPECT_EQ(memcpyIntelStruct(record, image.data(), 32, "C4,L2;D1 I3"), 1);
    double x = 0, y = 0;
    EXPECT_EQ(read_lf_coord_pair("1.5, -2", &x, &y), 2);
    EXPECT_STREQ(std::strtok(nullptr, " "), "two");
    EXPECT_STREQ(std::strtok(nullptr, " "), "three");
}

TEST(RecordDescriptorMemory, ADescriptorEditedInPlaceIsReadAgain) {
    char descriptor[] = "C1 C1";
    const uint8_t image[4] = {1, 2, 3, 4};
    uint8_t record[8] = {};
    EXPECT_EQ(memcpyIntelStruct(record, image, 2, descriptor), 1);
    descriptor[4] = '3';
    EXPECT_EQ(memcpyIntelStruct(record, image, 2, descriptor), 0);
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, descriptor), 1);
    // More descriptors than the cache holds, then the first again.
    for (const char *other : {"C1", "C2", "C3", "C4", "C5"}) {
        memcpyIntelStruct(record, image, 0, other);
    }
    EXPECT_EQ(memcpyIntelStruct(record, image, 4, descriptor), 1);
}

TEST(RecordDescriptorParse, ItemsUpToTheFirstUnknownLetter) {
    fileio::Descriptor descriptor;
    fileio::parseDescriptor("c4,L2;d1 I3 p1 Q9 C1", descriptor);
    ASSERT_EQ(descriptor.size, 5u);
    EXPECT_EQ(descriptor.items[0].letter, 'C');
    EXPECT_EQ(descriptor.items[0].count, 4);
    EXPECT_EQ(descriptor.items[2].letter, 'D');
    EXPECT_EQ(descriptor.items[4].letter, 'P');
    fileio::parseDescriptor("C99999999999", descriptor);
    EXPECT_EQ(descriptor.items[0].count, INT32_MAX);
}

// Records read from the buffer in one piece must match records read element by
// element: a file whose buffer could not be allocated reads every element alone.
TEST_F(RecordDescriptor, WholeRecordReadsMatchElementReads) {
    std::mt19937 random(12345);
    std::string bytes(40000, '\0');
    for (char &byte : bytes) {
        byte = static_cast<char>(random());
    }
    const char *descriptors[] = {"C4,L2;D1 I3", "I1 D2", "L3 C1", "C7", "D1", "P1 I1 L1 D1 C3", "C1 L C1"};
    int32_t buffered = openWith("a", bytes);
    fileio::failBufferAllocations(1);
    int32_t unbuffered = openWith("b", bytes);
    for (int step = 0; step < 40000; ++step) {
        const char *descriptor = descriptors[random() % std::size(descriptors)];
        bool motor = random() % 2 == 0 && descriptor[0] != 'P';
        uint32_t limit = random() % 4 == 0 ? random() % 20 : 1000;
        uint8_t a[64], b[64];
        std::memset(a, 0x5A, sizeof a);
        std::memset(b, 0x5A, sizeof b);
        int32_t ra = motor ? KorReadMotorStruct(a, limit, buffered, descriptor)
                           : KorReadIntelStruct(a, limit, buffered, descriptor);
        int32_t rb = motor ? KorReadMotorStruct(b, limit, unbuffered, descriptor)
                           : KorReadIntelStruct(b, limit, unbuffered, descriptor);
        ASSERT_EQ(ra, rb) << step << " " << descriptor;
        ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << step << " " << descriptor;
        ASSERT_EQ(KorTellFile(buffered), KorTellFile(unbuffered)) << step;
        ASSERT_EQ(KorEof(buffered), KorEof(unbuffered)) << step;
        if (ra == 0 && KorEof(buffered) == 1) {
            break;
        }
    }
    EXPECT_EQ(KorEof(buffered), 1) << "the walk reached the end of the file";
}

}  // namespace
}  // namespace vutil::test
