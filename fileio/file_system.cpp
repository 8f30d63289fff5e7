// Operations on whole files and directories: kind, size and status, deletion, directories, temporary names, appending.
#include "fileio/file_system.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "fileio/file_names.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace vutil::fileio {
namespace {

namespace pf = vutil::platform;

/// Bytes moved per read and write when appending one file to another.
constexpr int32_t kCopyChunk = 64 * 1024;

/// Two lower-case letters that begin every temporary name.
constexpr char kTemporaryPrefix[] = "vu";

/// The temporary-name counter: 0 until the first name is made, then counting
/// up from a random start for the life of the process.
std::atomic<uint32_t> temporaryCounter{0};

int32_t saturated(uint64_t value) noexcept {
    return value > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(value);
}

int32_t saturated(int64_t value) noexcept {
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

bool isBareDrive(std::string_view path) noexcept {
    return path.size() == 2 && path[1] == ':';
}

/// The drive number of a path (0 for A:): its own drive letter, else the one of
/// the current directory; a host path outside every drive counts as drive C:.
uint32_t driveNumber(std::string_view path) noexcept {
    try {
        std::string here;
        if (!(path.size() >= 2 && path[1] == ':')) {
            here = currentDirectory();
            path = here;
        }
        if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
            return static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(path[0])) - 'A');
        }
    } catch (...) {
        // no memory for the current directory
    }
    return 2;
}

/// The parent that the directory maker creates first: drive and directory of
/// the path without their trailing separator.
std::string parentOf(std::string_view path) {
    PathParts parts = splitPath(path);
    std::string parent(path.substr(0, parts.drive.size() + parts.directory.size()));
    if (!parent.empty() && endsWithSeparator(parent)) {
        parent.pop_back();
    }
    return parent;
}

/// Copies an open source to an open destination; false when a read or a write
/// fails. A regular source is copied up to the size it had when the copy
/// began, so a file appended to itself doubles instead of growing without end.
bool copyContent(int32_t source, int32_t destination) noexcept {
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kCopyChunk]);
    if (buffer == nullptr) {
        return false;
    }
    int64_t remaining = pf::regularFileSize(source);
    while (remaining != 0) {
        int32_t want = remaining < 0 ? kCopyChunk : static_cast<int32_t>(std::min<int64_t>(remaining, kCopyChunk));
        int32_t got = pf::readFile(source, buffer.get(), want);
        if (got <= 0) {
            return got == 0;
        }
        if (pf::writeFile(destination, buffer.get(), got) != got) {
            return false;
        }
        if (remaining > 0) {
            remaining -= got;
        }
    }
    return true;
}

}  // namespace

int32_t kindOf(std::string_view path) noexcept {
    if (isBareDrive(path)) {
        return kKindDirectory;
    }
    std::optional<pf::FileStatus> status = pf::fileStatus(path);
    if (!status) {
        return kKindNone;
    }
    return status->directory() ? kKindDirectory : kKindFile;
}

int32_t fileSize(std::string_view path) noexcept {
    std::optional<pf::FileStatus> status = pf::fileStatus(path);
    if (!status || status->directory()) {
        return -1;
    }
    return saturated(status->size);
}

bool fileStatus(std::string_view path, kor_stat &status) noexcept {
    std::optional<pf::FileStatus> host = pf::fileStatus(path);
    if (!host) {
        return false;
    }
    const uint32_t drive = driveNumber(path);
    status = kor_stat{};
    status.st_dev = drive;
    status.st_rdev = drive;
    status.st_mode = static_cast<uint16_t>(host->mode);
    status.st_nlink = static_cast<int16_t>(std::min<uint64_t>(host->links, INT16_MAX));
    status.st_size = saturated(host->size);
    status.st_atime32 = saturated(host->accessTime);
    status.st_mtime32 = saturated(host->modifyTime);
    status.st_ctime32 = saturated(host->changeTime);
    return true;
}

int32_t changeDirectory(std::string_view path) noexcept {
    try {
        std::string target(path);
        // A trailing separator goes, except from a drive root such as "C:\".
        bool driveRoot = target.size() == 3 && target[1] == ':';
        if (!target.empty() && !driveRoot && endsWithSeparator(target)) {
            target.pop_back();
        }
        int32_t kind = kindOf(target);
        if (kind != kKindDirectory) {
            return kind;
        }
        return pf::changeDirectory(target) ? 0 : -1;
    } catch (...) {
        return -1;
    }
}

bool makeDirectories(std::string_view path) noexcept {
    if (path.size() >= pf::kLongestHostPath) {
        return false;  // the host would refuse it; walking its parents would take long
    }
    try {
        // The missing ancestors, nearest first; each parent is shorter than its
        // child, and a bare drive counts as an existing directory, so the walk ends.
        std::vector<std::string> missing{std::string(path)};
        for (;;) {
            std::string parent = parentOf(missing.back());
            if (parent.empty() || parent.size() >= missing.back().size() || kindOf(parent) == kKindDirectory) {
                break;
            }
            missing.push_back(std::move(parent));
        }
        for (auto directory = missing.rbegin(); directory != missing.rend(); ++directory) {
            if (kindOf(*directory) != kKindDirectory && !pf::makeDirectory(*directory)) {
                return false;
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

std::string makeTemporaryName() {
    if (uint32_t unset = 0; temporaryCounter.load() == unset) {
        temporaryCounter.compare_exchange_strong(unset, pf::randomNumber());
    }
    // Counter (8 hex digits) and process number (so that a forked child does not
    // repeat its parent's names), then ".tmp".
    constexpr std::size_t kNameLength = sizeof kTemporaryPrefix - 1 + 8 + 8 + 4;
    const std::string directory = pf::temporaryDirectory(kMaxPath - 1 - kNameLength);
    const uint32_t process = pf::processNumber();
    std::string name;
    // Names that something already has are skipped; after many, the last one made is taken.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        uint32_t value = temporaryCounter.fetch_add(1);
        char file[32];
        std::snprintf(file, sizeof file, "%s%08x%x.tmp", kTemporaryPrefix, value, process);
        name = directory + file;
        if (pf::nameIsFree(name)) {
            break;
        }
    }
    return name;
}

bool appendFile(std::string_view destination, std::string_view source) noexcept {
    try {
        std::string target(destination);
        if (kindOf(destination) == kKindDirectory) {
            PathParts parts = splitPath(source);
            if (!endsWithSeparator(target)) {
                target.push_back('\\');
            }
            target += parts.name;
            target += parts.extension;
        }
        int32_t input = pf::openFile(source, pf::FileAccess::Read, pf::FileSharing::Shared);
        if (input < 0) {
            return true;  // nothing to append, and nothing is created
        }
        int32_t output = pf::openFileAppending(target);
        if (output < 0) {
            pf::closeFile(input);
            return false;
        }
        bool copied = copyContent(input, output);
        pf::closeFile(output);
        pf::closeFile(input);
        return copied;
    } catch (...) {
        return false;
    }
}

}  // namespace vutil::fileio
