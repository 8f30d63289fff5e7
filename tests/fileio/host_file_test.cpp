// Tests of the host file layer: locks, handles, positions and the system-call seam.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <climits>
#include <cstdarg>
#include <string>

#include "platform/file.h"
#include "support/temp_dir.h"

namespace vutil::test {
namespace {

namespace pf = vutil::platform;

class HostFile : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char *name : {"open", "read", "lseek", "ftruncate", "fcntl"}) {
            pf::setFileSystemCall(name, nullptr);
        }
    }
    TempDir dir;
};

TEST_F(HostFile, ExclusiveAndSharedOpensConflictWithinOneProcess) {
    std::string path = dir.write("f", "abc");
    int32_t shared1 = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared);
    int32_t shared2 = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared);
    ASSERT_GT(shared1, 0);
    ASSERT_GT(shared2, 0);
    EXPECT_EQ(pf::openFile(path, pf::FileAccess::Write, pf::FileSharing::Exclusive), -1);
    pf::closeFile(shared1);
    pf::closeFile(shared2);
    int32_t exclusive = pf::openFile(path, pf::FileAccess::ReadWrite, pf::FileSharing::Exclusive);
    ASSERT_GT(exclusive, 0);
    EXPECT_EQ(pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared), -1);
    EXPECT_FALSE(pf::createFile(path)) << "creation must not truncate a file held exclusively";
    EXPECT_EQ(TempDir::read(path), "abc");
    pf::closeFile(exclusive);
    EXPECT_TRUE(pf::createFile(path));
    EXPECT_EQ(TempDir::read(path), "");
}

// A seek whose target cannot be told in 31 bits fails, and fails the way a refused
// seek does: the file stays where it was.
TEST_F(HostFile, ASeekBeyond31BitsLeavesThePositionAlone) {
    std::string path = dir.write("f", "abcdef");
    int32_t file = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared);
    ASSERT_GT(file, 0);
    EXPECT_EQ(pf::seekFile(file, -10, pf::SeekOrigin::Start), -1);
    EXPECT_EQ(pf::seekFile(file, 2, pf::SeekOrigin::Start), 2);
    EXPECT_EQ(pf::seekFile(file, int64_t{1} << 31, pf::SeekOrigin::Start), -1);
    EXPECT_EQ(pf::seekFile(file, INT32_MAX, pf::SeekOrigin::Current), -1);
    EXPECT_EQ(pf::seekFile(file, INT32_MAX, pf::SeekOrigin::End), -1);
    char buffer[8];
    EXPECT_EQ(pf::readFile(file, buffer, 8), 4);
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    EXPECT_EQ(pf::seekFile(file, INT32_MAX, pf::SeekOrigin::Start), INT32_MAX) << "the last position that fits";
    pf::closeFile(file);
}

// Refuses to tell a descriptor's flags; setting them would work.
int failingFcntl(int fd, int command, ...) {
    if (command != F_GETFL) {
        va_list arguments;
        va_start(arguments, command);
        int value = va_arg(arguments, int);
        va_end(arguments);
        return ::fcntl(fd, command, value);
    }
    errno = EBADF;
    return -1;
}

// A named pipe where a drawing was expected must not hang the open: with no
// writer it reads as an empty file, with no reader it cannot be opened to write.
TEST_F(HostFile, ANamedPipeDoesNotBlockTheOpen) {
    std::string path = dir.file("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    int32_t reader = pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared);
    ASSERT_GT(reader, 0);
    char byte;
    EXPECT_EQ(pf::readFile(reader, &byte, 1), 0);
    pf::closeFile(reader);
    EXPECT_EQ(pf::openFile(path, pf::FileAccess::Write, pf::FileSharing::Exclusive), -1);
    EXPECT_FALSE(pf::createFile(path));
    // A pipe whose blocking mode cannot be restored is not opened.
    pf::setFileSystemCall("fcntl", reinterpret_cast<pf::SystemCall>(&failingFcntl));
    EXPECT_EQ(pf::openFile(path, pf::FileAccess::Read, pf::FileSharing::Shared), -1);
}

int failingTruncate(int, off_t) {
    errno = EIO;
    return -1;
}

TEST_F(HostFile, CreationFailsWhenTheHostCannotTruncate) {
    std::string path = dir.write("f", "abc");
    EXPECT_NE(pf::setFileSystemCall("ftruncate", reinterpret_cast<pf::SystemCall>(&failingTruncate)), nullptr);
    EXPECT_FALSE(pf::createFile(path));
    EXPECT_EQ(pf::setFileSystemCall("no such call", nullptr), nullptr);
}

}  // namespace
}  // namespace vutil::test
