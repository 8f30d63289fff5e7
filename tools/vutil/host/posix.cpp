// The tool's host services on POSIX systems.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "host.h"

namespace vutil::tool::host {

bool fileStatus(const std::string &path, FileStatus &status) {
    struct stat found {};
    status = FileStatus{};
    if (::stat(path.c_str(), &found) != 0) {
        return errno == ENOENT;
    }
    status.exists = true;
    status.directory = S_ISDIR(found.st_mode);
    status.regular = S_ISREG(found.st_mode);
    status.permissions = found.st_mode & 07777;
    status.size = static_cast<uint64_t>(found.st_size);
    return true;
}

std::string resolvedName(const std::string &path) {
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

uint32_t creationPermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

int createUnique(std::string &name) {
    name += "XXXXXX";
    return ::mkstemp(name.data());
}

bool setPermissions(int descriptor, uint32_t permissions) {
    return ::fchmod(descriptor, static_cast<mode_t>(permissions)) == 0;
}

int reopen(const std::string &path) { return ::open(path.c_str(), O_RDWR | O_CLOEXEC); }

int openForWriting(const std::string &path) { return ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC); }

int standardOutput() { return STDOUT_FILENO; }

long writeSome(int descriptor, const char *data, std::size_t size) {
    ssize_t done;
    do {
        done = ::write(descriptor, data, size);
    } while (done < 0 && errno == EINTR);
    return static_cast<long>(done);
}

long readSome(int descriptor, char *data, std::size_t size) {
    ssize_t got;
    do {
        got = ::read(descriptor, data, size);
    } while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool rewind(int descriptor) { return ::lseek(descriptor, 0, SEEK_SET) == 0; }

bool close(int descriptor) { return ::close(descriptor) == 0; }

bool syncAndClose(int descriptor) {
    const bool synced = ::fsync(descriptor) == 0;
    const int saved = errno;
    const bool closed = ::close(descriptor) == 0;
    if (!synced) {
        errno = saved;
    }
    return synced && closed;
}

bool replace(const std::string &from, const std::string &to) { return ::rename(from.c_str(), to.c_str()) == 0; }

bool remove(const std::string &path) { return ::unlink(path.c_str()) == 0; }

std::string errorText() { return std::strerror(errno); }

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

void useBinaryStandardStreams() {}

const char *fallbackTemporaryDirectory() { return "/tmp"; }

const char *nullDevice() { return "/dev/null"; }

bool libraryExports(const char *name) { return ::dlsym(RTLD_DEFAULT, name) != nullptr; }

const char *defaultCodePage() { return "1252"; }

const char *driveLetterNote() { return ""; }

}  // namespace vutil::tool::host
