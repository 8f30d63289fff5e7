// Tests of the buffered files on POSIX hosts: named pipes, each failing call of an open, descriptor 0.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "file_fixture.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

using BufferedFile = FileTest;

int failingTruncate(int, off_t) {
    errno = EIO;
    return -1;
}
int failingOpen(const char *, int, ...) { return errno = EACCES, -1; }
int failingControl(int, int, ...) { return errno = EIO, -1; }
template <typename... Arguments> int failing(Arguments...) { return errno = EIO, -1; }

TEST_F(BufferedFile, PipesFailedHostCallsAndDescriptorZero) {
    const auto open = tryOpen;
    const std::string path = dir.write("shared", "abc");
    // A named pipe where a drawing was expected must not hang the open: with no writer it reads as
    // an empty file, with no reader it cannot be opened to write. A file that cannot be truncated is
    // not created. The host handle is never zero.
    const std::string pipe = dir.file("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    int32_t handle = open(pipe, KOR_OPEN_READ);
    ASSERT_EQ(handle, 1);
    ::alarm(10);  // a read that blocks ends the program here instead of hanging the suite
    EXPECT_EQ(KorGetc(handle), -1);
    ::alarm(0);
    KorCloseFile(handle);
    EXPECT_EQ(open(pipe, KOR_OPEN_WRITE) + open(pipe, KOR_OPEN_CREATE), 0);
    // Each host call of an open that fails gives no handle and leaves no descriptor behind.
    const auto descriptors = [] { return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}); };
    const auto held = descriptors();
    const auto failWith = [&](const char *call, auto function) {
        SCOPED_TRACE(call);
        replaceCall(call, function);
        expectFacts({FACT(open(path, KOR_OPEN_READ), std::string(call) == "fcntl"), FACT(open(pipe, KOR_OPEN_READ), 0)});
        TearDown();
        EXPECT_EQ(descriptors(), held);
    };
    failWith("open", failingOpen), failWith("fstat", failing<int, struct stat *>), failWith("flock", failing<int, int>);
    failWith("fcntl", failingControl);  // only pipes and devices need it
    replaceCall("ftruncate", failingTruncate);
    EXPECT_EQ(open(dir.write("f", "abc"), KOR_OPEN_CREATE), 0);
    EXPECT_EQ(contents("f"), "abc");
    const int input = ::dup(0);
    ::close(0);
    handle = openWith("h", "abc");
    EXPECT_GT(KorGetFileHandle(handle), 0);
    EXPECT_EQ(KorGetc(handle), 'a');
    ::dup2(input, 0);
    ::close(input);
}

}  // namespace
}  // namespace vutil::test
