// The tool's host services on Windows: the C runtime's descriptors, and kernel32 where it
// alone can do the job (replacing a file in one step, the console, the DLL's exports).
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "host.h"

namespace vutil::tool::host {
namespace {

/// The C runtime's error number for a failure of a kernel32 call.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    default:
        return EIO;
    }
}

}  // namespace

bool fileStatus(const std::string &path, FileStatus &status) {
    struct _stat64 found {};
    status = FileStatus{};
    if (::_stat64(path.c_str(), &found) != 0) {
        return errno == ENOENT;
    }
    status.exists = true;
    status.directory = (found.st_mode & _S_IFMT) == _S_IFDIR;
    status.regular = (found.st_mode & _S_IFMT) == _S_IFREG;
    status.size = static_cast<uint64_t>(found.st_size);
    return true;
}

// A replaced file keeps its name; links are not followed.
std::string resolvedName(const std::string &path) { return path; }

// Files have no permission bits here: a new file gets the directory's access rules.
uint32_t creationPermissions() { return 0; }

// The C runtime's mkstemp denies other openers, and the library opens the file by name while
// the tool holds it: the file is made here, shared.
int createUnique(std::string &name) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const std::size_t stem = name.size();
    for (int attempt = 0; attempt < 100; ++attempt) {
        name.resize(stem);
        for (int i = 0; i < 6; ++i) {
            name += kLetters[pick(random)];
        }
        int descriptor = -1;
        const errno_t failed = ::_sopen_s(&descriptor, name.c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                          _SH_DENYNO, _S_IREAD | _S_IWRITE);
        if (failed == 0) {
            return descriptor;
        }
        if (failed != EEXIST) {
            errno = failed;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

bool setPermissions(int, uint32_t) { return true; }

int reopen(const std::string &path) { return ::_open(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT); }

int openForWriting(const std::string &path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_TRUNC | _O_BINARY | _O_NOINHERIT);
}

int standardOutput() {
    std::fflush(stdout);
    ::_setmode(1, _O_BINARY);
    return 1;
}

long writeSome(int descriptor, const char *data, std::size_t size) {
    return ::_write(descriptor, data, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
}

long readSome(int descriptor, char *data, std::size_t size) {
    return ::_read(descriptor, data, static_cast<unsigned>(size > INT_MAX ? INT_MAX : size));
}

bool rewind(int descriptor) { return ::_lseeki64(descriptor, 0, SEEK_SET) == 0; }

bool close(int descriptor) { return ::_close(descriptor) == 0; }

bool syncAndClose(int descriptor) {
    const bool synced = ::_commit(descriptor) == 0;
    const int saved = errno;
    const bool closed = ::_close(descriptor) == 0;
    if (!synced) {
        errno = saved;
    }
    return synced && closed;
}

// The C runtime's rename refuses an existing target.
bool replace(const std::string &from, const std::string &to) {
    if (::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = errnoOf(::GetLastError());
    return false;
}

bool remove(const std::string &path) { return ::_unlink(path.c_str()) == 0; }

std::string errorText() { return std::strerror(errno); }

// A console shows the progress line only if it takes the terminal sequences that redraw it.
bool standardErrorIsTerminal() {
    if (!::_isatty(2)) {
        return false;
    }
    const HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    return ::GetConsoleMode(console, &mode) &&
           ::SetConsoleMode(console, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

void useBinaryStandardStreams() {
    ::_setmode(_fileno(stdout), _O_BINARY);
    ::_setmode(_fileno(stderr), _O_BINARY);
}

const char *fallbackTemporaryDirectory() { return "."; }

const char *nullDevice() { return "NUL"; }

bool libraryExports(const char *name) {
    const HMODULE library = ::GetModuleHandleA("vutil.dll");
    return library != nullptr && ::GetProcAddress(library, name) != nullptr;
}

const char *defaultCodePage() { return "the system's"; }

const char *driveLetterNote() { return "drive letters are the system's own"; }

}  // namespace vutil::tool::host
