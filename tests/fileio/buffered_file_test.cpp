// Tests of the buffered files: random operations against a plain model of a file, the file table,
// sharing, and the host's failures.
#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "file_fixture.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using BufferedFile = FileTest;

/// Transfer sizes that reach every path: nothing, single bytes, the buffer's and the
/// chunks' edges (one byte more or less), and arbitrary sizes up to `cap`.
int32_t transferSize(std::mt19937 &random, int32_t cap) {
    static const int32_t edges[] = {0, -3, 1, 2, 3, 4, 7, 8, 16383, 16384, 16385, 31999, 32000, 32001, 64001};
    int32_t size = random() % 3 == 0 ? edges[random() % std::size(edges)]
                                     : static_cast<int32_t>(random() % (random() % 4 == 0 ? 70000 : 40));
    return std::min(size, cap);
}

/// What a file must look like to its caller, kept in memory: position, end flag and lines.
struct ModelFile {
    std::string bytes;
    int32_t pos = 0;
    int32_t eof = 0;

    int32_t size() const { return static_cast<int32_t>(bytes.size()); }
    int32_t getc() {
        if (eof == 0 && pos < size()) return static_cast<uint8_t>(bytes[static_cast<std::size_t>(pos++)]);
        eof = 1;
        return -1;
    }
    std::string read(int32_t count, bool chunked) {
        if (count < 1 || eof != 0) return {};
        int32_t got = std::min(count, std::max(0, size() - pos));
        // A (chunked) transfer that asks for more than is left and gets nothing in a piece ends the file.
        if (got == 0 || (chunked && got < count && got % fileio::kChunkSize == 0)) eof = 1;
        std::string out = got > 0 ? bytes.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(got)) : "";
        pos += got;
        return out;
    }
    /// The line reader's rules: CR LF becomes LF, double-byte characters stay whole.
    std::optional<std::string> gets(int32_t room) {
        std::string line;
        bool ended = room < 1, newline = false;
        while (!ended && !newline && static_cast<int32_t>(line.size()) < room - 1) {
            const int32_t c = getc();
            const bool lead = c >= 0 && platform::isLeadByte(static_cast<uint8_t>(c));
            const int32_t trail = lead ? getc() : 0;
            ended = c < 0 || trail < 0;
            if (ended || (lead && static_cast<int32_t>(line.size()) == room - 2)) {
                pos -= ended ? 0 : 2;  // a character without room for both halves waits for the next line
                break;
            }
            line += static_cast<char>(c);
            if (lead) {
                line += static_cast<char>(trail);
            } else if (c == '\r') {
                const int32_t next = getc();
                line.back() = next == '\n' ? '\n' : '\r';
                pos -= next >= 0 && next != '\n' ? 1 : 0;
            }
            newline = !lead && line.back() == '\n';
        }
        return ended && line.empty() ? std::nullopt : std::optional(line);
    }
    void write(const char *data, int32_t count) {
        if (count > 0) {
            bytes.resize(std::max(bytes.size(), static_cast<std::size_t>(pos + count)), '\0');
            bytes.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(count), data,
                          static_cast<std::size_t>(count));
            pos += count;
        }
    }
    /// Seeks the file to `target` from a random origin, as the model does; the library's answer.
    int32_t seek(std::mt19937 &random, int32_t handle, int32_t target) {
        const int whence = static_cast<int>(random() % 3);
        const int32_t offset = target - (whence == KOR_SEEK_SET ? 0 : whence == KOR_SEEK_CUR ? pos : size());
        pos = target;
        eof = 0;
        return KorSeekFile(handle, offset, whence);
    }
};

struct ModelCase {
    uint32_t mode, codePage;
    int failedBuffers;    ///< 1: the file works byte by byte
    bool threeByteReads;  ///< the host hands out at most three bytes a call
    int steps, cap;       ///< the number of operations, the largest transfer
};

class BufferedModel : public FileTest, public ::testing::WithParamInterface<ModelCase> {};

// Every operation, at random sizes and positions, across buffer refills and chunk boundaries,
// gives what the plain model gives: bytes, lines, positions, the end flag and the file's content.
TEST_P(BufferedModel, AgreesWithAPlainModel) {
    const ModelCase param = GetParam();
    const bool reading = (param.mode & (KOR_OPEN_WRITE | KOR_OPEN_READWRITE)) == 0;
    ASSERT_TRUE(platform::setAnsiCodePage(param.codePage));
    std::mt19937 random(param.mode + param.codePage + param.failedBuffers * 10 + param.threeByteReads);
    const std::string_view pieces[] = {"a", "b", "\r", "\n", "\r\n", "\x82\xa0", "\x81", "\xff", " ", {"\x82\0", 2}};
    ModelFile model;
    while (model.bytes.size() < 70000) model.bytes += pieces[random() % std::size(pieces)];
    // A CR LF and a double-byte character right on buffer boundaries.
    model.bytes.replace(16383, 2, "\r\n");
    model.bytes.replace(2 * 16384 - 1, 2, "\x82\xa0");
    fileio::failBufferAllocations(param.failedBuffers);
    int32_t handle = openWith("file", model.bytes, param.mode);
    if (param.mode & KOR_OPEN_CREATE) model.bytes.clear();
    if (param.threeByteReads) faults::shortReads();
    std::string out(80000, '\0');
    const std::string source = randomBytes(81000, 1);
    for (int step = 0; step < param.steps; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step << " at " << model.pos);
        const int op = static_cast<int>(random() % 8);
        const int32_t count = transferSize(random, param.cap);
        if (op <= 1 && reading) {
            std::string expected = model.read(count, op == 1);
            int32_t got = op == 1 ? KorLReadFile(out.data(), count, handle) : KorReadFile(out.data(), count, handle);
            ASSERT_EQ(got, static_cast<int32_t>(expected.size())) << (op == 1 ? "chunked " : "") << count;
            ASSERT_EQ(out.compare(0, expected.size(), expected), 0);
        } else if (op <= 1) {
            const char *from = source.data() + random() % 1000;
            int32_t got = op == 1 ? KorLWriteFile(from, count, handle) : KorWriteFile(from, count, handle);
            ASSERT_EQ(got, std::max(count, 0)) << (op == 1 ? "chunked " : "") << count;
            model.write(from, count);
        } else if (op == 2 && reading) {
            for (int k = static_cast<int>(random() % 5); k >= 0; --k) ASSERT_EQ(KorGetc(handle), model.getc());
        } else if (op == 2) {
            const std::string text = std::to_string(random()) + std::string(random() % 2 ? 1500 : 1, 'x');
            ASSERT_EQ(KorFPrintf(handle, "%s", text.c_str()), static_cast<int32_t>(text.size()));
            model.write(text.data(), static_cast<int32_t>(text.size()));
        } else if (op == 3 && model.pos > 0) {
            ASSERT_EQ(KorUnGetc('?', handle), '?');
            --model.pos;
            model.eof = 0;
        } else if (op == 4 && reading) {
            const auto room = static_cast<int32_t>(random() % 4 == 0 ? random() % 4 : random() % 300);
            std::vector<char> line(static_cast<std::size_t>(room) + 1, '#');
            std::optional<std::string> expected = model.gets(room);
            char *got = KorGets(line.data(), room, handle);
            ASSERT_EQ(got != nullptr, expected.has_value()) << "room " << room;
            ASSERT_TRUE(!expected || std::string(line.data(), expected->size() + 1) == *expected + '\0') << "room " << room;
        } else if (op == 5) {
            const auto target = static_cast<int32_t>(random() % 3 == 0 ? model.pos + random() % 40 - 20
                                                                       : random() % (model.size() + 50));
            ASSERT_EQ(target < 0 ? target : model.seek(random, handle, target), target);
        }
        ASSERT_EQ(KorTellFile(handle), model.pos);
        ASSERT_EQ(KorEof(handle), reading ? model.eof : 0);
    }
    ASSERT_EQ(KorCloseFile(handle), 1);
    EXPECT_TRUE(contents("file") == model.bytes) << "the file differs from the model";
}

INSTANTIATE_TEST_SUITE_P(Files, BufferedModel,
                         ::testing::Values(ModelCase{KOR_OPEN_READ, 1252, 0, false, 3000, 70000},
                                           ModelCase{KOR_OPEN_READ, 932, 0, false, 3000, 70000},
                                           ModelCase{KOR_OPEN_READ, 932, 1, false, 600, 400},
                                           ModelCase{KOR_OPEN_READ, 1252, 0, true, 600, 400},
                                           ModelCase{KOR_OPEN_CREATE | KOR_OPEN_WRITE, 1252, 0, false, 400, 80000},
                                           ModelCase{KOR_OPEN_WRITE, 1252, 1, false, 400, 3000},
                                           ModelCase{KOR_OPEN_READWRITE, 1252, 0, false, 400, 80000},
                                           ModelCase{KOR_OPEN_WRITE | KOR_OPEN_READWRITE, 1252, 0, false, 400, 80000}));

TEST_F(BufferedFile, OpeningTheTableAndSharing) {
    int32_t handle = 99;
    const auto open = tryOpen;
    const std::string missing = dir.file("missing"), directory = dir.path().string();
    for (const char *name : {static_cast<const char *>(nullptr), "", missing.c_str(), directory.c_str()}) {
        EXPECT_EQ(KorOpenFile(name, &handle, KOR_OPEN_READ), 0) << (name ? name : "null");
        EXPECT_EQ(handle, 0);
    }
    const std::string path = dir.write("shared", "abc");
    EXPECT_EQ(KorOpenFile(path.c_str(), nullptr, KOR_OPEN_READ), 0);
    // Readers share; writers need the file alone; truncating beside readers is allowed.
    for (int32_t i = 1; i <= KOR_MAX_FILES; ++i) ASSERT_EQ(open(path, KOR_OPEN_READ), i);
    // the table is full
    // the lowest free record
    expectFacts({FACT(open(path, KOR_OPEN_READ), 0), FACT(KorCloseFile(7), 1),
                 FACT(open(path, KOR_OPEN_WRITE) + open(path, KOR_OPEN_READWRITE), 0),
                 FACT(handle = open(path, KOR_OPEN_CREATE), 7)});
    EXPECT_EQ(contents("shared"), "");
    EXPECT_EQ(KorWriteFile("x", 1, handle), 0) << "create alone opens for reading";
    TearDown();
    const int32_t writer = open(path, KOR_OPEN_READWRITE);
    ASSERT_EQ(KorWriteFile("abc", 3, writer), 3);
    EXPECT_EQ(open(path, KOR_OPEN_READ) + open(path, KOR_OPEN_CREATE), 0);
    KorCloseFile(writer);
    EXPECT_EQ(contents("shared"), "abc") << "not truncated while held";
    EXPECT_EQ(open(path, KOR_OPEN_READ), 1) << "closing releases the lock";
}

TEST_F(BufferedFile, HandlesThatAreNotOpenGetTheFailureResult) {
    int32_t closed = openWith("c", "abc");
    ASSERT_EQ(KorCloseFile(closed), 1);
    for (int32_t handle : {closed, 0, -1, 64, 1 << 30, INT32_MIN}) {
        SCOPED_TRACE(handle);
        char buffer[8] = "keep";
        expectFacts({FACT(KorReadFile(buffer, 4, handle), 0), FACT(KorLReadFile(buffer, 4, handle), 0),
                     FACT(KorWriteFile("x", 1, handle), 0), FACT(KorLWriteFile("x", 1, handle), 0),
                     FACT(KorFPrintf(handle, "x"), 0), FACT(KorGetFileHandle(handle), 0), FACT(KorError(handle), 0),
                     FACT(KorCloseFile(handle), 0), FACT(KorReadMotorLong(reinterpret_cast<int32_t *>(buffer), handle), 0),
                     FACT(KorWriteIntelLong(handle, 1), 0), FACT(KorReadIntelStruct(buffer, 8, handle, "C4"), 0),
                     FACT(KorWriteIntelStruct(handle, buffer, 8, "C4"), 0), FACT(KorGets(buffer, sizeof buffer, handle) == nullptr, 1),
                     FACT(KorGetc(handle), -1), FACT(KorUnGetc('a', handle), -1), FACT(KorSeekFile(handle, 0, KOR_SEEK_SET), -1),
                     FACT(KorTellFile(handle), -1)});
        EXPECT_STREQ(buffer, "keep");
        EXPECT_EQ(KorEof(handle), 1);
    }
    char line[4] = "zzz";
    int32_t handle = openWith("s", "abc");
    EXPECT_EQ(KorGets(line, 0, handle), nullptr) << "no room even for the terminator";
    EXPECT_STREQ(line, "zzz");
    EXPECT_EQ(KorGets(nullptr, 4, handle), nullptr);
}

// Short moves stay in the buffer; pending bytes wait until the buffer would fill.
TEST_F(BufferedFile, TheBufferSavesHostCalls) {
    int32_t handle = openWith("seek", randomBytes(1000, 1));
    faults::countCalls();
    // one byte on
    // the last byte of the window
    // past the window goes to the host
    expectFacts({FACT(KorGetc(handle), static_cast<uint8_t>(randomBytes(1, 1)[0])),
                 FACT(KorSeekFile(handle, 1, KOR_SEEK_CUR), 2), FACT(KorSeekFile(handle, 997, KOR_SEEK_CUR), 999),
                 FACT(KorSeekFile(handle, 0, KOR_SEEK_SET), 0), FACT(faults::seeks(), 0),
                 FACT(KorSeekFile(handle, 1000, KOR_SEEK_SET), 1000), FACT(faults::seeks(), 1)});

    int32_t writer = openWith("w", "", KOR_OPEN_CREATE | KOR_OPEN_WRITE);
    std::string bytes = randomBytes(40000, 1);
    faults::countCalls();
    ASSERT_EQ(KorWriteFile(bytes.data(), 16383, writer), 16383);
    EXPECT_EQ(faults::writes(), 0) << "16383 bytes fit";
    ASSERT_EQ(KorWriteFile(bytes.data() + 16383, 1, writer), 1);
    EXPECT_EQ(faults::writes(), 1) << "16384 would fill it: the 16383 go first";
    ASSERT_EQ(KorWriteFile(bytes.data() + 16384, 20000, writer), 20000);
    // one flush, then the large write bypasses the buffer
    expectFacts({FACT(faults::writes(), 3), FACT(KorCloseFile(writer), 1)});
    EXPECT_EQ(contents("w"), bytes.substr(0, 36384));
}

TEST_F(BufferedFile, FailuresOfSeeksReadsAndWrites) {
    int32_t handle = openWith("f", "abc");
    // an unknown origin
    expectFacts({FACT(KorSeekFile(handle, -10, KOR_SEEK_SET), -1), FACT(KorTellFile(handle), -1),
                 FACT(KorSeekFile(handle, 1, 7), -1)});
    // A relative seek past 2 GiB fails; the bytes written next still land where the file stood.
    int32_t rw = openWith("rw", "", KOR_OPEN_READWRITE);
    ASSERT_EQ(KorWriteFile("hello", 5, rw), 5);
    expectFacts({FACT(KorSeekFile(rw, INT32_MAX, KOR_SEEK_CUR), -1), FACT(KorSeekFile(rw, INT32_MAX, KOR_SEEK_END), -1)});
    EXPECT_EQ(KorWriteFile("!", 1, rw), 1);
    EXPECT_EQ(KorCloseFile(rw), 1);
    EXPECT_EQ(contents("rw"), "hello!");
    // A write-only file has nothing to read, not even its pending bytes.
    int32_t writeOnly = openWith("wo", "content", KOR_OPEN_WRITE);
    char line[10];
    ASSERT_EQ(KorWriteFile("ab", 2, writeOnly), 2);
    expectFacts({FACT(KorReadFile(line, 2, writeOnly), 0), FACT(KorGetc(writeOnly), -1)});
    expectFacts({FACT(KorGets(line, sizeof line, writeOnly), nullptr), FACT(KorEof(writeOnly), 1),
                 FACT(KorTellFile(writeOnly), 2)});
    expectFacts({FACT(KorFPrintf(writeOnly, nullptr), 0), FACT(KorFPrintf(writeOnly, "%s", ""), 0)});
    // Host failures: read errors count as the end of the file; refused writes move nothing.
    int32_t both = openWith("full", "", KOR_OPEN_READWRITE), reader = openWith("e", "abcdef");
    faults::failReads();
    faults::fullDisk();
    expectFacts({FACT(KorReadFile(line, 2, reader), 0), FACT(KorEof(reader), 1)});
    // The pending bytes and a count near 2^31 must not be added up in 32 bits: the sum
    // would wrap and send two gigabytes into the 16 KiB buffer.
    static const char source[1] = {};  // never read: the host refuses the write
    EXPECT_EQ(KorWriteFile(source, INT32_MAX, writeOnly), 0);
    std::string big = randomBytes(20000, 1);
    expectFacts({FACT(KorWriteFile(big.data(), 20000, writeOnly), 0), FACT(KorWriteFile("abc", 3, both), 0),
                 FACT(KorTellFile(writeOnly), 2), FACT(KorTellFile(both), 0)});
}

}  // namespace
}  // namespace vutil::test
