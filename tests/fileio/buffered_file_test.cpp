// Tests of the buffered files: opening, reading, lines, seeking, writing and bad handles.
#include <errno.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "file_fixture.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using BufferedFile = FileTest;

// Counters behind the system-call seam, so tests can tell buffered work from host calls.
int hostReads = 0;
int hostSeeks = 0;
int hostWrites = 0;
ssize_t countingRead(int fd, void *buffer, size_t count) {
    ++hostReads;
    return ::read(fd, buffer, count);
}
off_t countingSeek(int fd, off_t offset, int whence) {
    ++hostSeeks;
    return ::lseek(fd, offset, whence);
}
ssize_t countingWrite(int fd, const void *buffer, size_t count) {
    ++hostWrites;
    return ::write(fd, buffer, count);
}
ssize_t failingRead(int, void *, size_t) {
    errno = EIO;
    return -1;
}
ssize_t threeByteRead(int fd, void *buffer, size_t count) {
    return ::read(fd, buffer, count < 3 ? count : 3);
}
ssize_t fullDiskWrite(int, const void *, size_t) {
    errno = ENOSPC;
    return -1;
}

template <typename Function>
void replaceCall(const char *name, Function function) {
    platform::setFileSystemCall(name, reinterpret_cast<platform::SystemCall>(function));
}

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    return bytes;
}

TEST_F(BufferedFile, OpenRefusesNullEmptyAndMissingNames) {
    int32_t handle = 99;
    EXPECT_EQ(KorOpenFile(nullptr, &handle, KOR_OPEN_READ), 0);
    EXPECT_EQ(handle, 0);
    handle = 99;
    EXPECT_EQ(KorOpenFile("", &handle, KOR_OPEN_READ), 0);
    EXPECT_EQ(handle, 0);
    handle = 99;
    EXPECT_EQ(KorOpenFile(dir.file("missing").c_str(), &handle, KOR_OPEN_READ), 0);
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(KorOpenFile(dir.path().string().c_str(), &handle, KOR_OPEN_READ), 0) << "a directory is not a file";
    EXPECT_EQ(KorOpenFile(dir.write("x", "x").c_str(), nullptr, KOR_OPEN_READ), 0);
}

TEST_F(BufferedFile, HandlesStartAtOneAndRunOutAfterSixtyThree) {
    std::string path = dir.write("shared", "abc");
    std::vector<int32_t> handles;
    for (int i = 0; i < KOR_MAX_FILES; ++i) {
        int32_t handle = 0;
        ASSERT_EQ(KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ), 1) << i;
        handles.push_back(handle);
    }
    EXPECT_EQ(handles.front(), 1);
    EXPECT_EQ(handles.back(), KOR_MAX_FILES);
    int32_t handle = 99;
    EXPECT_EQ(KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ), 0);
    EXPECT_EQ(handle, 0);
    // The lowest free record is taken again.
    EXPECT_EQ(KorCloseFile(7), 1);
    EXPECT_EQ(KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ), 1);
    EXPECT_EQ(handle, 7);
}

TEST_F(BufferedFile, CreateTruncatesAndOpensForWriting) {
    int32_t handle = openWith("f", "old contents", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    EXPECT_EQ(contents("f"), "");
    EXPECT_EQ(KorWriteFile("new", 3, handle), 3);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("f"), "new");

    int32_t created = 0;
    ASSERT_EQ(KorOpenFile(dir.file("fresh").c_str(), &created, KOR_OPEN_CREATE | KOR_OPEN_WRITE), 1);
    EXPECT_EQ(KorCloseFile(created), 1);
    EXPECT_EQ(contents("fresh"), "");
}

TEST_F(BufferedFile, CreateAloneTruncatesAndOpensReadOnly) {
    int32_t handle = openWith("f", "old", KOR_OPEN_CREATE);
    EXPECT_EQ(contents("f"), "");
    EXPECT_EQ(KorWriteFile("x", 1, handle), 0) << "a read-only file takes no writes";
    char byte;
    EXPECT_EQ(KorReadFile(&byte, 1, handle), 0);
    EXPECT_EQ(KorEof(handle), 1);
}

TEST_F(BufferedFile, ReadsShortAtTheEndAndFlagsEndOfFileOnTheEmptyRead) {
    int32_t handle = openWith("ten", "0123456789");
    char buffer[4];
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 4);
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 4);
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 2);
    EXPECT_EQ(std::string(buffer, 2), "89");
    EXPECT_EQ(KorEof(handle), 0);
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 0);
    EXPECT_EQ(KorEof(handle), 1);
    EXPECT_EQ(KorTellFile(handle), 10);
    EXPECT_EQ(KorSeekFile(handle, 0, KOR_SEEK_SET), 0);
    EXPECT_EQ(KorEof(handle), 0);
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 4);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(KorReadFile(buffer, 0, handle), 0);
    EXPECT_EQ(KorReadFile(buffer, -5, handle), 0);
    EXPECT_EQ(KorTellFile(handle), 4);
}

TEST_F(BufferedFile, LargeReadsGoThroughTheBufferAndKeepTheBytesInOrder) {
    std::string bytes = pattern(100000);
    int32_t handle = openWith("big", bytes);
    std::string out(bytes.size() + 10, '\0');
    EXPECT_EQ(KorReadFile(out.data(), 7, handle), 7);
    EXPECT_EQ(KorReadFile(out.data() + 7, 60000, handle), 60000);
    EXPECT_EQ(KorReadFile(out.data() + 60007, 50000, handle), 100000 - 60007);
    out.resize(bytes.size());
    EXPECT_EQ(out, bytes);
}

TEST_F(BufferedFile, GetcReturnsHighBytesAsPositiveValues) {
    int32_t handle = openWith("ff", "\xff\x01");
    EXPECT_EQ(KorGetc(handle), 255);
    EXPECT_EQ(KorGetc(handle), 1);
    EXPECT_EQ(KorGetc(handle), -1);
    EXPECT_EQ(KorEof(handle), 1);
    EXPECT_EQ(KorGetc(handle), -1);
}

TEST_F(BufferedFile, UnGetcStepsBackWithoutStoringTheCharacter) {
    int32_t handle = openWith("u", "xyz");
    EXPECT_EQ(KorGetc(handle), 'x');
    EXPECT_EQ(KorGetc(handle), 'y');
    EXPECT_EQ(KorUnGetc('Q', handle), 'Q');
    EXPECT_EQ(KorTellFile(handle), 1);
    EXPECT_EQ(KorGetc(handle), 'y');
    EXPECT_EQ(KorGetc(handle), 'z');
    EXPECT_EQ(KorGetc(handle), -1);
    EXPECT_EQ(KorUnGetc('z', handle), 'z');
    EXPECT_EQ(KorEof(handle), 0);
    EXPECT_EQ(KorGetc(handle), 'z');
}

TEST_F(BufferedFile, GetsEndsLinesWithOneLineFeed) {
    int32_t handle = openWith("lines", "ab\r\ncd");
    char line[100];
    ASSERT_EQ(KorGets(line, sizeof line, handle), line);
    EXPECT_STREQ(line, "ab\n");
    ASSERT_EQ(KorGets(line, sizeof line, handle), line);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "");
}

TEST_F(BufferedFile, GetsKeepsALoneCarriageReturn) {
    int32_t handle = openWith("cr", "\rx\nlast\r");
    char line[100];
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "\rx\n");
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "last\r") << "a carriage return at the end of the file stays";
    EXPECT_EQ(KorGets(line, sizeof line, handle), nullptr);
}

TEST_F(BufferedFile, GetsCutsLongLinesIntoPieces) {
    int32_t handle = openWith("long", "abcdefg\nh");
    char line[4];
    std::vector<std::string> pieces;
    while (KorGets(line, sizeof line, handle) != nullptr) {
        pieces.emplace_back(line);
    }
    EXPECT_EQ(pieces, (std::vector<std::string>{"abc", "def", "g\n", "h"}));
}

TEST_F(BufferedFile, GetsWithRoomForNothingButTheTerminator) {
    int32_t handle = openWith("s", "abc");
    char line[4] = "zzz";
    EXPECT_EQ(KorGets(line, 1, handle), line);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(KorTellFile(handle), 0);
    // Below 1 there is not even room for the terminator: nothing is touched.
    std::strcpy(line, "zzz");
    EXPECT_EQ(KorGets(line, 0, handle), nullptr);
    EXPECT_EQ(KorGets(line, -3, handle), nullptr);
    EXPECT_STREQ(line, "zzz");
    EXPECT_EQ(KorTellFile(handle), 0);
}

class DoubleByteLines : public FileTest {
protected:
    void SetUp() override { ASSERT_TRUE(platform::setAnsiCodePage(932)); }
    void TearDown() override {
        platform::setAnsiCodePage(1252);
        FileTest::TearDown();
    }
};

TEST_F(DoubleByteLines, GetsNeverSplitsADoubleByteCharacter) {
    int32_t handle = openWith("dbcs", "ab\x82\xa0z\n");
    char line[4];
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "ab");
    EXPECT_EQ(KorTellFile(handle), 2);
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "\x82\xa0z");
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "\n");
}

TEST_F(DoubleByteLines, ATrailByteThatLooksLikeALineFeedStaysInTheCharacter) {
    // The byte after a lead byte is its trail byte, even a carriage return.
    int32_t handle = openWith("pair", "\x81\x0d\n");
    char line[10];
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "\x81\x0d\n");
}

TEST_F(DoubleByteLines, RoomForOneByteNeverTakesADoubleByteCharacter) {
    // With size 2 a double-byte character cannot fit: the line comes back empty
    // and the file stays where it was, call after call.
    int32_t handle = openWith("two", "\x82\xa0");
    char line[2] = "x";
    for (int call = 0; call < 3; ++call) {
        ASSERT_EQ(KorGets(line, 2, handle), line);
        EXPECT_STREQ(line, "");
        EXPECT_EQ(KorTellFile(handle), 0);
    }
}

TEST_F(DoubleByteLines, ALoneLeadByteAtTheEndIsDropped) {
    int32_t handle = openWith("lone", "a\x82");
    char line[10];
    ASSERT_NE(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_STREQ(line, "a");
    EXPECT_EQ(KorGets(line, sizeof line, handle), nullptr);
}

// Lines as the line reader must return them, read plainly from memory.
std::vector<std::string> plainLines(const std::string &bytes, int32_t size) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    for (;;) {
        std::string line;
        int32_t i = 0;
        bool ended = false;
        while (i < size - 1 && !ended) {
            if (pos >= bytes.size()) {
                if (i == 0) {
                    return lines;
                }
                break;
            }
            auto c = static_cast<uint8_t>(bytes[pos++]);
            if (platform::isLeadByte(c)) {
                if (pos >= bytes.size()) {
                    if (i == 0) {
                        return lines;
                    }
                    break;
                }
                if (i == size - 2) {
                    --pos;  // leave the lead byte for the next line
                    break;
                }
                line += static_cast<char>(c);
                line += bytes[pos++];
                i += 2;
            } else if (c == '\r' && pos < bytes.size() && bytes[pos] == '\n') {
                ++pos;
                line += '\n';
                ended = true;
            } else {
                line += static_cast<char>(c);
                ++i;
                ended = c == '\n';
            }
        }
        lines.push_back(line);
    }
}

TEST_F(DoubleByteLines, LinesAcrossBufferRefillsMatchAPlainReader) {
    std::mt19937 random(5);
    const char pieces[][3] = {"a", "b", "\r", "\n", "\r\n", "\x82\xa0", "\x81", "\xff", " "};
    std::string text;
    while (text.size() < 40000) {
        text += pieces[random() % std::size(pieces)];
    }
    // A CR LF and a double-byte character right on the first buffer boundary.
    text.replace(16383, 2, "\r\n");
    text.replace(2 * 16384 - 1, 2, "\x82\xa0");
    for (bool withBuffer : {true, false}) {
        for (int32_t size : {3, 7, 64, 300}) {
            SCOPED_TRACE(testing::Message() << "size " << size << (withBuffer ? "" : " without buffer"));
            fileio::failBufferAllocations(withBuffer ? 0 : 1);
            int32_t handle = openWith("text", text);
            std::vector<std::string> expected = plainLines(text, size);
            std::vector<char> line(static_cast<std::size_t>(size));
            std::size_t index = 0;
            while (KorGets(line.data(), size, handle) != nullptr) {
                ASSERT_LT(index, expected.size());
                std::size_t length = expected[index].size();
                ASSERT_EQ(std::string(line.data(), length), expected[index]) << index;
                ASSERT_EQ(line[length], '\0');
                ++index;
            }
            EXPECT_EQ(index, expected.size());
            KorCloseFile(handle);
        }
    }
}

TEST_F(BufferedFile, ShortSeeksStayInTheBuffer) {
    int32_t handle = openWith("seek", pattern(1000));
    replaceCall("lseek", countingSeek);
    replaceCall("read", countingRead);
    hostSeeks = hostReads = 0;
    char byte;
    ASSERT_EQ(KorReadFile(&byte, 1, handle), 1);  // buffer holds 1000 bytes, cursor 1
    EXPECT_EQ(hostReads, 1);
    EXPECT_EQ(KorSeekFile(handle, 998, KOR_SEEK_CUR), 999) << "one byte short of the window";
    EXPECT_EQ(hostSeeks, 0);
    EXPECT_EQ(KorSeekFile(handle, 0, KOR_SEEK_SET), 0) << "back to the buffer start";
    EXPECT_EQ(hostSeeks, 0);
    EXPECT_EQ(KorSeekFile(handle, 0, KOR_SEEK_CUR), 0);
    EXPECT_EQ(hostSeeks, 0);
    EXPECT_EQ(KorSeekFile(handle, 1000, KOR_SEEK_SET), 1000) << "exactly the window goes to the host";
    EXPECT_EQ(hostSeeks, 1);
    EXPECT_EQ(KorSeekFile(handle, -1, KOR_SEEK_END), 999);
    EXPECT_EQ(hostSeeks, 2);
    ASSERT_EQ(KorReadFile(&byte, 1, handle), 1);
    EXPECT_EQ(static_cast<uint8_t>(byte), static_cast<uint8_t>(pattern(1000)[999]));
}

TEST_F(BufferedFile, AFailedSeekLeavesMinusOne) {
    int32_t handle = openWith("f", "abc");
    EXPECT_EQ(KorSeekFile(handle, -10, KOR_SEEK_SET), -1);
    EXPECT_EQ(KorTellFile(handle), -1);
    EXPECT_EQ(KorSeekFile(handle, 1, 7), -1) << "an unknown origin";
    EXPECT_EQ(KorSeekFile(handle, 1, KOR_SEEK_SET), 1);
    EXPECT_EQ(KorGetc(handle), 'b');
}

// A relative seek past 2 GiB fails; the bytes written next still land where the
// file stood, not two gigabytes further on.
TEST_F(BufferedFile, ASeekPast2GiBFailsWithoutMovingTheFile) {
    int32_t handle = openWith("rw", "", KOR_OPEN_READWRITE);
    ASSERT_EQ(KorWriteFile("hello", 5, handle), 5);
    EXPECT_EQ(KorSeekFile(handle, INT32_MAX, KOR_SEEK_CUR), -1);
    EXPECT_EQ(KorSeekFile(handle, INT32_MAX, KOR_SEEK_END), -1);
    EXPECT_EQ(KorWriteFile("!", 1, handle), 1);
    EXPECT_EQ(KorCloseFile(handle), 1);
    ASSERT_EQ(std::filesystem::file_size(dir.file("rw")), 6u);
    EXPECT_EQ(contents("rw"), "hello!");
}

TEST_F(BufferedFile, WriteModeCollectsUntilTheBufferWouldFill) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    std::string bytes = pattern(16380);
    ASSERT_EQ(KorWriteFile(bytes.data(), 16380, handle), 16380);
    EXPECT_EQ(contents("w").size(), 0u);
    EXPECT_EQ(KorWriteFile("abc", 3, handle), 3) << "16383 bytes still fit";
    EXPECT_EQ(contents("w").size(), 0u);
    EXPECT_EQ(KorWriteFile("d", 1, handle), 1) << "16384 would fill it: the 16383 go first";
    EXPECT_EQ(contents("w").size(), 16383u);
    EXPECT_EQ(KorTellFile(handle), 16384);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("w"), bytes + "abcd");
}

TEST_F(BufferedFile, WriteModeFlushesAFullPendingBufferBeforeFourBytes) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    std::string bytes = pattern(16380);
    ASSERT_EQ(KorWriteFile(bytes.data(), 16380, handle), 16380);
    EXPECT_EQ(KorWriteFile("wxyz", 4, handle), 4);
    EXPECT_EQ(contents("w"), bytes);
}

TEST_F(BufferedFile, LargeWritesBypassTheBufferAfterOneFlush) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    std::string big = pattern(20000);
    ASSERT_EQ(KorWriteFile("head", 4, handle), 4);
    replaceCall("write", countingWrite);
    hostWrites = 0;
    EXPECT_EQ(KorWriteFile(big.data(), 20000, handle), 20000);
    EXPECT_EQ(hostWrites, 2);
    EXPECT_EQ(contents("w"), "head" + big);
    EXPECT_EQ(KorTellFile(handle), 20004);
}

TEST_F(BufferedFile, SeekInWriteModeFlushesFirst) {
    int32_t handle = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    ASSERT_EQ(KorWriteFile("abcdef", 6, handle), 6);
    EXPECT_EQ(KorSeekFile(handle, 2, KOR_SEEK_SET), 2);
    EXPECT_EQ(contents("w"), "abcdef");
    ASSERT_EQ(KorWriteFile("XY", 2, handle), 2);
    EXPECT_EQ(KorUnGetc('?', handle), '?');
    EXPECT_EQ(KorTellFile(handle), 3);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("w"), "abXYef");
}

TEST_F(BufferedFile, ReadWriteModeWritesStraightThrough) {
    int32_t handle = openWith("rw", "0123456789", KOR_OPEN_READWRITE);
    char buffer[3];
    ASSERT_EQ(KorReadFile(buffer, 3, handle), 3);
    // Buffered reads ran ahead of the host position; callers seek before writing.
    EXPECT_EQ(KorSeekFile(handle, KorTellFile(handle), KOR_SEEK_SET), 3);
    EXPECT_EQ(KorWriteFile("ab", 2, handle), 2);
    EXPECT_EQ(contents("rw"), "012ab56789");
    EXPECT_EQ(KorTellFile(handle), 5);
    ASSERT_EQ(KorReadFile(buffer, 3, handle), 3);
    EXPECT_EQ(std::string(buffer, 3), "567");
}

TEST_F(BufferedFile, WriteAndReadWriteTogetherMeanWrite) {
    int32_t handle = openWith("both", "data", KOR_OPEN_WRITE | KOR_OPEN_READWRITE);
    ASSERT_EQ(KorWriteFile("Z", 1, handle), 1);
    EXPECT_EQ(contents("both"), "data") << "writes are buffered as in write mode";
    char byte;
    EXPECT_EQ(KorReadFile(&byte, 1, handle), 0);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("both"), "Zata");
}

TEST_F(BufferedFile, ReadsOnAWriteOnlyFileFail) {
    int32_t handle = openWith("wo", "content", KOR_OPEN_WRITE);
    char line[10];
    EXPECT_EQ(KorReadFile(line, 3, handle), 0);
    EXPECT_EQ(KorGetc(handle), -1);
    EXPECT_EQ(KorGets(line, sizeof line, handle), nullptr);
    EXPECT_EQ(KorTellFile(handle), 0);
    ASSERT_EQ(KorWriteFile("ab", 2, handle), 2);
    EXPECT_EQ(KorReadFile(line, 2, handle), 0) << "pending bytes are not readable";
}

TEST_F(BufferedFile, FPrintfWritesFormattedTextOfAnyLength) {
    int32_t handle = openWith("p", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    EXPECT_EQ(KorFPrintf(handle, "%d", 42), 2);
    EXPECT_EQ(KorFPrintf(handle, "%s", ""), 0);
    std::string longText(50000, 'q');
    EXPECT_EQ(KorFPrintf(handle, "<%s>", longText.c_str()), 50002);
    EXPECT_EQ(KorFPrintf(handle, nullptr), 0);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(contents("p"), "42<" + longText + ">");
}

TEST_F(BufferedFile, ChunkedTransfersStopAtTheFirstShortPiece) {
    std::string bytes = pattern(50000);
    int32_t handle = openWith("l", bytes);
    std::vector<char> out(70000);
    EXPECT_EQ(KorLReadFile(out.data(), 70000, handle), 50000);
    EXPECT_EQ(std::string(out.data(), 50000), bytes);
    EXPECT_EQ(KorLReadFile(out.data(), 10, handle), 0);

    int32_t writer = openWith("lw", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    std::string big = pattern(70000);
    EXPECT_EQ(KorLWriteFile(big.data(), 70000, writer), 70000);
    EXPECT_EQ(KorLWriteFile(big.data(), 0, writer), 0);
    EXPECT_EQ(KorCloseFile(writer), 1);
    EXPECT_EQ(contents("lw"), big);
}

TEST_F(BufferedFile, CloseChecksItsHandleAndFlushes) {
    for (int32_t handle : {0, -1, 64, 1000}) {
        EXPECT_EQ(KorCloseFile(handle), 0) << handle;
    }
    int32_t handle = openWith("c", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    ASSERT_EQ(KorWriteFile("pending", 7, handle), 7);
    EXPECT_EQ(KorCloseFile(handle), 1);
    EXPECT_EQ(KorCloseFile(handle), 0);
    EXPECT_EQ(contents("c"), "pending");
}

TEST_F(BufferedFile, HandlesThatAreNotOpenGetTheFailureResult) {
    int32_t closed = openWith("c", "abc");
    ASSERT_EQ(KorCloseFile(closed), 1);
    for (int32_t handle : {closed, 0, -1, 64, 1 << 30, INT32_MIN}) {
        SCOPED_TRACE(handle);
        char buffer[8] = "keep";
        EXPECT_EQ(KorReadFile(buffer, 4, handle), 0);
        EXPECT_EQ(KorLReadFile(buffer, 4, handle), 0);
        EXPECT_EQ(KorGetc(handle), -1);
        EXPECT_EQ(KorUnGetc('a', handle), -1);
        EXPECT_EQ(KorGets(buffer, sizeof buffer, handle), nullptr);
        EXPECT_STREQ(buffer, "keep");
        EXPECT_EQ(KorSeekFile(handle, 0, KOR_SEEK_SET), -1);
        EXPECT_EQ(KorEof(handle), 1);
        EXPECT_EQ(KorTellFile(handle), -1);
        EXPECT_EQ(KorWriteFile("x", 1, handle), 0);
        EXPECT_EQ(KorLWriteFile("x", 1, handle), 0);
        EXPECT_EQ(KorFPrintf(handle, "x"), 0);
        EXPECT_EQ(KorGetFileHandle(handle), 0);
        EXPECT_EQ(KorError(handle), 0);
    }
}

TEST_F(BufferedFile, TheHostHandleIsNeverZero) {
    int saved = ::dup(0);
    ASSERT_GE(saved, 0);
    ::close(0);
    int32_t handle = openWith("h", "abc");
    int32_t host = KorGetFileHandle(handle);
    EXPECT_GT(host, 0);
    EXPECT_EQ(KorGetc(handle), 'a');
    KorCloseFile(handle);
    ::dup2(saved, 0);
    ::close(saved);
}

TEST_F(BufferedFile, SharingFollowsTheAccessMode) {
    std::string path = dir.write("s", "abc");
    int32_t reader1 = 0, reader2 = 0, writer = 0;
    ASSERT_EQ(KorOpenFile(path.c_str(), &reader1, KOR_OPEN_READ), 1);
    EXPECT_EQ(KorOpenFile(path.c_str(), &reader2, KOR_OPEN_READ), 1) << "readers share";
    EXPECT_EQ(KorOpenFile(path.c_str(), &writer, KOR_OPEN_WRITE), 0) << "a writer needs the file alone";
    EXPECT_EQ(KorOpenFile(path.c_str(), &writer, KOR_OPEN_READWRITE), 0);
    EXPECT_EQ(KorOpenFile(path.c_str(), &writer, KOR_OPEN_CREATE), 1) << "truncating beside readers is allowed";
    KorCloseFile(writer);
    KorCloseFile(reader1);
    KorCloseFile(reader2);

    ASSERT_EQ(KorOpenFile(path.c_str(), &writer, KOR_OPEN_READWRITE), 1);
    EXPECT_EQ(KorOpenFile(path.c_str(), &reader1, KOR_OPEN_READ), 0);
    EXPECT_EQ(KorOpenFile(path.c_str(), &reader1, KOR_OPEN_CREATE | KOR_OPEN_WRITE), 0);
    EXPECT_EQ(reader1, 0);
    KorCloseFile(writer);
    EXPECT_EQ(KorOpenFile(path.c_str(), &reader1, KOR_OPEN_READ), 1) << "closing releases the lock";
}

TEST_F(BufferedFile, WithoutItsBufferAFileWorksByteByByte) {
    fileio::failBufferAllocations(2);
    int32_t reader = openWith("r", "line one\r\nline two");
    int32_t writer = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    char line[32];
    ASSERT_NE(KorGets(line, sizeof line, reader), nullptr);
    EXPECT_STREQ(line, "line one\n");
    EXPECT_EQ(KorGetc(reader), 'l');
    EXPECT_EQ(KorUnGetc('l', reader), 'l');
    EXPECT_EQ(KorReadFile(line, 30, reader), 8);
    EXPECT_EQ(KorWriteFile("ab", 2, writer), 2);
    EXPECT_EQ(KorWriteFile("c", 1, writer), 1);
    EXPECT_EQ(KorCloseFile(writer), 1);
    EXPECT_EQ(contents("w"), "abc");
}

TEST_F(BufferedFile, ReadErrorsCountAsEndOfFile) {
    int32_t handle = openWith("e", "abcdef");
    replaceCall("read", failingRead);
    char buffer[4];
    EXPECT_EQ(KorReadFile(buffer, 4, handle), 0);
    EXPECT_EQ(KorEof(handle), 1);
    EXPECT_EQ(KorGetc(handle), -1);
}

TEST_F(BufferedFile, ShortHostReadsAreRefilledUntilTheRequestIsMet) {
    std::string bytes = pattern(100);
    int32_t handle = openWith("short", bytes);
    replaceCall("read", threeByteRead);
    std::string out(100, '\0');
    EXPECT_EQ(KorReadFile(out.data(), 100, handle), 100);
    EXPECT_EQ(out, bytes);
}

TEST_F(BufferedFile, AFullDiskFailsDirectWrites) {
    int32_t writer = openWith("full", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    int32_t both = openWith("full2", "", KOR_OPEN_READWRITE);
    replaceCall("write", fullDiskWrite);
    std::string big = pattern(20000);
    EXPECT_EQ(KorWriteFile(big.data(), 20000, writer), 0);
    EXPECT_EQ(KorTellFile(writer), 0);
    EXPECT_EQ(KorWriteFile("abc", 3, both), 0);
    EXPECT_EQ(KorTellFile(both), 0);
}

// The pending bytes and a count near 2^31 must not be added up in 32 bits: the
// sum would wrap and send two gigabytes into the 16 KiB buffer.
TEST_F(BufferedFile, AWriteOfNearly2GiBAfterPendingBytesGoesToTheHost) {
    int32_t writer = openWith("huge", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    ASSERT_EQ(KorWriteFile("head", 4, writer), 4);
    replaceCall("write", fullDiskWrite);
    static const char source[1] = {};  // never read: the host refuses the write
    EXPECT_EQ(KorWriteFile(source, INT32_MAX, writer), 0);
    EXPECT_EQ(KorTellFile(writer), 4);
}

}  // namespace
}  // namespace vutil::test
