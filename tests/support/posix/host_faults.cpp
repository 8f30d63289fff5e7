// Faults of the POSIX file calls: read, write and lseek replaced through the seam.
#include "support/host_faults.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/file.h"

namespace vutil::test::faults {
namespace {

int readsLeft = 0, seekCount = 0, writeCount = 0;

template <typename Function> void replace(const char *name, Function function) {
    platform::setFileSystemCall(name, reinterpret_cast<platform::SystemCall>(function));
}

ssize_t failingRead(int fd, void *buffer, size_t count) {
    if (readsLeft > 0) return --readsLeft, ::read(fd, buffer, count);
    return errno = EIO, -1;
}
ssize_t threeByteRead(int fd, void *buffer, size_t count) { return ::read(fd, buffer, std::min<size_t>(count, 3)); }
ssize_t fullDiskWrite(int, const void *, size_t) { return errno = ENOSPC, -1; }
off_t failingSeek(int, off_t, int) { return errno = EIO, -1; }
off_t countingSeek(int fd, off_t offset, int whence) { return ++seekCount, ::lseek(fd, offset, whence); }
ssize_t countingWrite(int fd, const void *buffer, size_t count) { return ++writeCount, ::write(fd, buffer, count); }

}  // namespace

void failReads(int after) { readsLeft = after, replace("read", failingRead); }
void shortReads() { replace("read", threeByteRead); }
void fullDisk() { replace("write", fullDiskWrite); }
void failSeeks() { replace("lseek", failingSeek); }
void countCalls() { seekCount = writeCount = 0, replace("lseek", countingSeek), replace("write", countingWrite); }
int seeks() { return seekCount; }
int writes() { return writeCount; }

void restore() {
    for (const char *name : {"open", "read", "write", "lseek", "close", "flock", "ftruncate", "fstat", "fcntl"}) {
        platform::setFileSystemCall(name, nullptr);
    }
}

}  // namespace vutil::test::faults
