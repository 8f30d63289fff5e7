// Host file-system services over POSIX calls.
#include "platform/file_system.h"

#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "platform/path.h"

namespace vutil::platform {
namespace {

/// The host path of a library path, or nothing when there is no memory for it.
std::optional<std::string> hostPath(std::string_view path) noexcept {
    try {
        return toHostPath(path);
    } catch (...) {
        return std::nullopt;
    }
}

uint32_t modeBits(mode_t mode) noexcept {
    uint32_t type = S_ISDIR(mode)    ? 0x4000u
                    : S_ISREG(mode)  ? 0x8000u
                    : S_ISCHR(mode)  ? 0x2000u
                    : S_ISFIFO(mode) ? 0x1000u
                                     : 0u;
    return type | (static_cast<uint32_t>(mode) & 0777u);
}

}  // namespace

std::optional<FileStatus> fileStatus(std::string_view path) noexcept {
    std::optional<std::string> host = hostPath(path);
    struct stat status {};
    if (!host || host->empty() || ::stat(host->c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileStatus{modeBits(status.st_mode),
                      static_cast<uint64_t>(status.st_size),
                      static_cast<uint64_t>(status.st_nlink),
                      static_cast<int64_t>(status.st_atime),
                      static_cast<int64_t>(status.st_mtime),
                      static_cast<int64_t>(status.st_ctime)};
}

bool nameIsFree(std::string_view path) noexcept {
    std::optional<std::string> host = hostPath(path);
    struct stat status {};
    return host && !host->empty() && ::lstat(host->c_str(), &status) != 0 && errno == ENOENT;
}

bool removeFile(std::string_view path) noexcept {
    std::optional<std::string> host = hostPath(path);
    return host && !host->empty() && ::unlink(host->c_str()) == 0;
}

bool makeDirectory(std::string_view path) noexcept {
    std::optional<std::string> host = hostPath(path);
    return host && !host->empty() && ::mkdir(host->c_str(), 0777) == 0;
}

bool changeDirectory(std::string_view path) noexcept {
    std::optional<std::string> host = hostPath(path);
    return host && !host->empty() && ::chdir(host->c_str()) == 0;
}

std::string currentDirectory() {
    std::string directory(256, '\0');
    while (::getcwd(directory.data(), directory.size()) == nullptr) {
        if (errno != ERANGE) {
            return {};
        }
        directory.resize(directory.size() * 2);
    }
    directory.resize(directory.find('\0'));
    return directory;
}

std::string temporaryDirectory(std::size_t longest) {
    std::string directory = "/tmp";
    // A backslash would be read as a separator when the name comes back to the library.
    if (const char *variable = std::getenv("TMPDIR");
        variable != nullptr && variable[0] == '/' && std::string_view(variable).find('\\') == std::string_view::npos) {
        struct stat status {};
        if (::stat(variable, &status) == 0 && S_ISDIR(status.st_mode)) {
            directory = variable;
        }
    }
    while (!directory.empty() && directory.back() == '/') {
        directory.pop_back();
    }
    directory.push_back('/');
    return directory.size() <= longest ? directory : "/tmp/";
}

uint32_t randomNumber() noexcept {
    uint32_t number = 0;
    if (::getrandom(&number, sizeof number, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof number)) {
        return number;
    }
    auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(ticks) ^ static_cast<uint32_t>(static_cast<uint64_t>(ticks) >> 32);
}

uint32_t processNumber() noexcept {
    return static_cast<uint32_t>(::getpid());
}

}  // namespace vutil::platform
