// Host files over POSIX descriptors, with flock locks standing in for sharing modes.
#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/path.h"

namespace vutil::platform {
namespace {

/// The system calls of this file, reached through one table so that tests can
/// put failing versions in their place (the way SQLite's aSyscall does).
struct SystemCalls {
    int (*open)(const char *, int, ...);
    ssize_t (*read)(int, void *, size_t);
    ssize_t (*write)(int, const void *, size_t);
    off_t (*lseek)(int, off_t, int);
    int (*close)(int);
    int (*flock)(int, int);
    int (*ftruncate)(int, off_t);
    int (*fstat)(int, struct stat *);
    int (*fcntl)(int, int, ...);
};

constexpr SystemCalls kHostCalls = {::open, ::read, ::write, ::lseek, ::close, ::flock, ::ftruncate, ::fstat, ::fcntl};
SystemCalls calls = kHostCalls;

template <typename Function>
SystemCall swap(Function &slot, Function host, SystemCall replacement) noexcept {
    auto previous = reinterpret_cast<SystemCall>(slot);
    slot = replacement != nullptr ? reinterpret_cast<Function>(replacement) : host;
    return previous;
}

/// Moves a descriptor off 0, so that the handle a caller sees is never 0 (which
/// means "no file" to the buffered-file service).
int avoidZero(int fd) noexcept {
    if (fd != 0) {
        return fd;
    }
    int moved = calls.fcntl(fd, F_DUPFD_CLOEXEC, 1);
    calls.close(fd);
    return moved;
}

int openDescriptor(std::string_view path, int flags) noexcept {
    std::string host;
    try {
        host = toHostPath(path);
    } catch (...) {
        return -1;  // no memory for the host path
    }
    // O_NONBLOCK keeps a named pipe from holding up the open until the other
    // end appears; on regular files it changes nothing.
    int fd;
    do {
        fd = calls.open(host.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd < 0 ? -1 : avoidZero(fd);
}

/// Takes the lock of a sharing mode without waiting. flock locks belong to the
/// open file description, so two opens in one process conflict as well.
bool lock(int fd, FileSharing sharing) noexcept {
    if (sharing == FileSharing::Unlocked) {
        return true;
    }
    int operation = (sharing == FileSharing::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int result;
    do {
        result = calls.flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

/// Completes an open: refuses directories, takes the sharing lock and lets
/// pipes and devices block on reads and writes as usual. The descriptor, or -1
/// (and the descriptor closed).
int finishOpen(int fd, FileSharing sharing) noexcept {
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (calls.fstat(fd, &status) != 0 || S_ISDIR(status.st_mode) || !lock(fd, sharing)) {
        calls.close(fd);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        int fileFlags = calls.fcntl(fd, F_GETFL);
        if (fileFlags == -1 || calls.fcntl(fd, F_SETFL, fileFlags & ~O_NONBLOCK) == -1) {
            calls.close(fd);
            return -1;
        }
    }
    return fd;
}

}  // namespace

int32_t openFile(std::string_view path, FileAccess access, FileSharing sharing) noexcept {
    if (path.empty()) {
        return -1;
    }
    int flags = access == FileAccess::Read ? O_RDONLY : access == FileAccess::Write ? O_WRONLY : O_RDWR;
    return finishOpen(openDescriptor(path, flags), sharing);
}

bool createFile(std::string_view path) noexcept {
    if (path.empty()) {
        return false;
    }
    // Opening without O_TRUNC first lets the lock decide before any byte is lost.
    int fd = openDescriptor(path, O_WRONLY | O_CREAT);
    if (fd < 0) {
        return false;
    }
    bool created = lock(fd, FileSharing::Shared) && calls.ftruncate(fd, 0) == 0;
    calls.close(fd);
    return created;
}

int32_t readFile(int32_t file, void *buffer, int32_t count) noexcept {
    if (count <= 0) {
        return 0;
    }
    ssize_t got;
    do {
        got = calls.read(file, buffer, static_cast<size_t>(count));
    } while (got < 0 && errno == EINTR);
    return got < 0 ? -1 : static_cast<int32_t>(got);
}

int32_t writeFile(int32_t file, const void *buffer, int32_t count) noexcept {
    if (count <= 0) {
        return 0;
    }
    const auto *bytes = static_cast<const char *>(buffer);
    int32_t written = 0;
    while (written < count) {
        ssize_t put = calls.write(file, bytes + written, static_cast<size_t>(count - written));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return written > 0 ? written : -1;
        }
        written += static_cast<int32_t>(put);
    }
    return written;
}

int32_t seekFile(int32_t file, int64_t offset, SeekOrigin origin) noexcept {
    // A target that cannot be told in 31 bits fails without moving the file, as
    // a refused seek does; otherwise the next write would land beyond 2 GiB.
    off_t before = -1;
    if (origin == SeekOrigin::Start) {
        if (offset > INT32_MAX) {
            return -1;
        }
    } else if (offset > 0) {
        before = calls.lseek(file, 0, SEEK_CUR);
    }
    int whence = origin == SeekOrigin::Start ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    off_t position = calls.lseek(file, static_cast<off_t>(offset), whence);
    if (position > INT32_MAX && before >= 0) {
        calls.lseek(file, before, SEEK_SET);
    }
    if (position < 0 || position > INT32_MAX) {
        return -1;
    }
    return static_cast<int32_t>(position);
}

void closeFile(int32_t file) noexcept {
    // The descriptor is gone after close even when it reports an error; retrying
    // could close a descriptor that another thread has just been given.
    calls.close(file);
}

int32_t openFileAppending(std::string_view path) noexcept {
    if (path.empty()) {
        return -1;
    }
    return finishOpen(openDescriptor(path, O_WRONLY | O_APPEND | O_CREAT), FileSharing::Shared);
}

int64_t regularFileSize(int32_t file) noexcept {
    struct stat status {};
    if (calls.fstat(file, &status) != 0 || !S_ISREG(status.st_mode)) {
        return -1;
    }
    return static_cast<int64_t>(status.st_size);
}

SystemCall setFileSystemCall(std::string_view name, SystemCall replacement) noexcept {
    if (name == "open") return swap(calls.open, kHostCalls.open, replacement);
    if (name == "read") return swap(calls.read, kHostCalls.read, replacement);
    if (name == "write") return swap(calls.write, kHostCalls.write, replacement);
    if (name == "lseek") return swap(calls.lseek, kHostCalls.lseek, replacement);
    if (name == "close") return swap(calls.close, kHostCalls.close, replacement);
    if (name == "flock") return swap(calls.flock, kHostCalls.flock, replacement);
    if (name == "ftruncate") return swap(calls.ftruncate, kHostCalls.ftruncate, replacement);
    if (name == "fstat") return swap(calls.fstat, kHostCalls.fstat, replacement);
    if (name == "fcntl") return swap(calls.fcntl, kHostCalls.fcntl, replacement);
    return nullptr;
}

}  // namespace vutil::platform
