// Settings files on a POSIX host: where they live, reading them whole, replacing them whole under a lock.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

#include "platform/path.h"
#include "platform/profile_text.h"

namespace vutil::platform {
namespace {

/// Larger files are not read, so that a hostile file cannot make the library
/// take much memory (its lines are indexed too); reads find nothing in them
/// and writes fail. Settings files are a few kilobytes.
constexpr off_t kMaxFileBytes = off_t{1} << 20;
/// The new text is written in pieces of this size (the test seam sees each).
constexpr std::size_t kPieceBytes = 4096;

std::atomic<ProfileStepHook> stepHook{nullptr};

bool stepAllowed(ProfileStep step, std::size_t written) noexcept {
    ProfileStepHook hook = stepHook.load();
    return hook == nullptr || hook(step, written);
}

/// An open descriptor, closed at the end of its scope.
class Descriptor {
public:
    explicit Descriptor(int fd) noexcept : fd_(fd) {}
    ~Descriptor() { close(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    /// Closes now; false when the host reports an error (a write may then be lost).
    bool close() noexcept {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

int openFile(const std::string &path, int flags) noexcept {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool hasDirectory(std::string_view name) noexcept {
    const bool drive = name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
    return drive || name.find_first_of("/\\") != std::string_view::npos;
}

std::string settingsDirectory() {
    auto variable = [](const char *name) -> std::string {
        const char *value = std::getenv(name);
        return value != nullptr ? value : "";
    };
    if (std::string own = variable("VUTIL_PROFILE_DIR"); !own.empty()) {
        return own;
    }
    if (std::string config = variable("XDG_CONFIG_HOME"); !config.empty() && config.front() == '/') {
        return config + "/vutil";
    }
    if (std::string home = variable("HOME"); !home.empty()) {
        return home + "/.config/vutil";
    }
    return {};
}

/// Makes the directory and its missing parents (mode 0700, as for a user's
/// settings). Something else of that name is found out by the write after.
bool makeDirectories(const std::string &directory) {
    for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string prefix = directory.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

/// The whole content of a regular file open at fd; nothing for other kinds of
/// file, for files above the limit and when a read fails.
std::optional<std::string> readWhole(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > kMaxFileBytes) {
        return std::nullopt;
    }
    std::string content;
    char piece[kPieceBytes];
    for (off_t at = 0;;) {
        const ssize_t got = ::pread(fd, piece, sizeof piece, at);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || static_cast<off_t>(content.size()) + got > kMaxFileBytes) {
            return std::nullopt;  // a read error, or a file that grew past the limit meanwhile
        }
        if (got == 0) {
            return content;
        }
        content.append(piece, static_cast<std::size_t>(got));
        at += got;
    }
}

std::optional<ProfileText> load(const char *file) noexcept {
    try {
        if (file == nullptr) {
            return std::nullopt;
        }
        const std::string path = profilePath(file);
        Descriptor fd(path.empty() ? -1 : openFile(path, O_RDONLY));
        if (!fd) {
            return std::nullopt;
        }
        std::optional<std::string> content = readWhole(fd.get());
        if (!content) {
            return std::nullopt;
        }
        return ProfileText(std::move(*content));
    } catch (...) {
        return std::nullopt;  // no memory: the file reads as empty
    }
}

bool writeAll(int fd, const std::string &bytes) noexcept {
    for (std::size_t written = 0; written < bytes.size();) {
        if (!stepAllowed(ProfileStep::Write, written)) {
            return false;
        }
        const std::size_t piece = std::min(kPieceBytes, bytes.size() - written);
        const ssize_t put = ::write(fd, bytes.data() + written, piece);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        written += static_cast<std::size_t>(put);
    }
    return true;
}

/// A file's directory, with its closing slash ("" for the current one), and its name.
struct Place {
    std::string directory;
    std::string name;
};

Place placeOf(const std::string &path) {
    const std::size_t nameBegin = path.rfind('/') + 1;  // 0 without a slash
    return {path.substr(0, nameBegin), path.substr(nameBegin)};
}

/// Writes bytes to a file beside target, flushes it to the disk and renames it
/// over target, so that target is always either the old text or the new one.
/// The caller holds the lock of target, so the name of the new file is free.
/// A new file takes the old one's mode, or the default mode for new files.
bool replaceWhole(const std::string &target, const std::string &bytes, std::optional<mode_t> mode) {
    const Place place = placeOf(target);
    const std::string beside = place.directory + "." + place.name + ".new";
    Descriptor out(openFile(beside, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW));
    if (!out) {
        return false;
    }
    bool written = (!mode || ::fchmod(out.get(), *mode) == 0) && writeAll(out.get(), bytes) &&
                   stepAllowed(ProfileStep::Sync, bytes.size()) && ::fsync(out.get()) == 0;
    written = out.close() && written;
    if (!written || !stepAllowed(ProfileStep::Rename, bytes.size()) || ::rename(beside.c_str(), target.c_str()) != 0) {
        ::unlink(beside.c_str());
        return false;
    }
    // Make the rename itself lasting; the new text is in place either way.
    Descriptor parent(openFile(place.directory.empty() ? "." : place.directory, O_RDONLY | O_DIRECTORY));
    if (parent) {
        ::fsync(parent.get());
    }
    return true;
}

bool lockExclusive(int fd) noexcept {
    int result;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

/// The file a write replaces: the target of a symbolic link (the link stays a
/// link), or the path itself for a file still to be made. Nothing for a link
/// that leads nowhere and for paths that cannot be looked at.
std::optional<std::string> replacedFile(const std::string &path) {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    if (resolved != nullptr) {
        return std::string(resolved.get());
    }
    struct stat status {};
    if (errno == ENOENT && ::lstat(path.c_str(), &status) != 0 && errno == ENOENT) {
        return path;
    }
    return std::nullopt;
}

/// The read-modify-write of one settings file. Writers take turns on a lock
/// file beside it (".NAME.lock", kept for good: removing it would let two
/// writers lock different files), so that none works from a text that another
/// is about to replace.
bool update(const std::string &path, const char *section, const char *key, const char *value) {
    const std::optional<std::string> target = replacedFile(path);
    if (!target) {
        return false;
    }
    const Place place = placeOf(*target);
    if (place.name.size() + 6 > NAME_MAX) {
        return false;  // no room for the names of the lock and the new file
    }
    struct stat status {};
    const bool exists = ::stat(target->c_str(), &status) == 0;
    if (exists ? !S_ISREG(status.st_mode) : errno != ENOENT) {
        return false;  // directories, pipes and devices are never replaced
    }
    if (!exists && (key == nullptr || value == nullptr)) {
        return true;  // nothing to remove, and no lock file left behind for it
    }
    Descriptor lock(openFile(place.directory + "." + place.name + ".lock", O_RDWR | O_CREAT | O_NOFOLLOW));
    if (!lock || !lockExclusive(lock.get())) {
        return false;
    }
    std::string content;
    std::optional<mode_t> mode;
    Descriptor current(openFile(*target, O_RDONLY));
    if (current) {
        std::optional<std::string> whole = ::fstat(current.get(), &status) == 0 ? readWhole(current.get()) : std::nullopt;
        if (!whole) {
            return false;  // not a regular file, too large, or unreadable: left as it is
        }
        content = std::move(*whole);
        mode = status.st_mode & 07777;
    } else if (errno != ENOENT) {
        return false;
    }
    ProfileText text(std::move(content));
    const ProfileEdit edit = editProfile(text, section, key, value);
    if (edit != ProfileEdit::Changed) {
        return edit == ProfileEdit::Unchanged;  // the same value again, or a removal of nothing
    }
    return replaceWhole(*target, text.text(), mode);
}

}  // namespace

std::string profilePath(std::string_view file) {
    if (file.empty()) {
        return {};
    }
    if (hasDirectory(file)) {
        return toHostPath(file);
    }
    std::string directory = settingsDirectory();
    return directory.empty() ? std::string() : directory + "/" + std::string(file);
}

int32_t getProfileString(const char *section, const char *key, const char *def, std::span<char> buffer,
                         const char *file) noexcept {
    const std::optional<ProfileText> text = load(file);
    return readProfileString(text ? &*text : nullptr, section, key, def, buffer);
}

int32_t getProfileInt(const char *section, const char *key, int32_t def, const char *file) noexcept {
    if (section == nullptr || key == nullptr) {
        return def;
    }
    const std::optional<ProfileText> text = load(file);
    return readProfileInt(text ? &*text : nullptr, section, key, def);
}

bool writeProfileString(const char *section, const char *key, const char *value, const char *file) noexcept {
    try {
        if (file == nullptr || !profileEditAllowed(section, key, value)) {
            return false;  // refused before the file system is touched
        }
        const std::string path = profilePath(file);
        if (path.empty()) {
            return false;
        }
        const bool removal = key == nullptr || value == nullptr;
        if (!removal && !hasDirectory(file) && !makeDirectories(path.substr(0, path.rfind('/')))) {
            return false;
        }
        return update(path, section, key, value);
    } catch (...) {
        return false;  // no memory
    }
}

void setProfileStepHook(ProfileStepHook hook) noexcept { stepHook.store(hook); }

}  // namespace vutil::platform
