// Settings files on a POSIX host: where they live, reading them whole, changing them under a lock of their own.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <ctime>
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
    void reset(int fd) noexcept {
        close();
        fd_ = fd;
    }
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

int openFile(const std::string &path, int flags, mode_t mode = 0666) noexcept {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
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

/// How long a read waits for a writer that holds the file.
constexpr int64_t kReadWaitNanoseconds = 1000000000;

int64_t monotonicNanoseconds() noexcept {
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

/// Takes a shared lock on the regular file open at fd, so that a read does not
/// see a rewrite in place half done. A file that a writer holds for longer
/// than kReadWaitNanoseconds (a foreign program) is read as it is.
void lockSharedBriefly(int fd) noexcept {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return;
    }
    const int64_t deadline = monotonicNanoseconds() + kReadWaitNanoseconds;
    while (::flock(fd, LOCK_SH | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EINTR) &&
           monotonicNanoseconds() < deadline) {
        // A pause cut short by a signal only polls sooner: the deadline stays.
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
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
        lockSharedBriefly(fd.get());
        std::optional<std::string> content = readWhole(fd.get());
        if (!content) {
            return std::nullopt;
        }
        return ProfileText(std::move(*content));
    } catch (...) {
        return std::nullopt;  // no memory: the file reads as empty
    }
}

/// Writes bytes at the start of the file open at fd, in pieces the test seam sees.
bool writeAll(int fd, const std::string &bytes) noexcept {
    for (std::size_t written = 0; written < bytes.size();) {
        if (!stepAllowed(ProfileStep::Write, written)) {
            return false;
        }
        const std::size_t piece = std::min(kPieceBytes, bytes.size() - written);
        const ssize_t put = ::pwrite(fd, bytes.data() + written, piece, static_cast<off_t>(written));
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

bool sameFile(const struct stat &a, const struct stat &b) noexcept {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

enum class Replacement : uint8_t { Done, Failed, Impossible };

/// Writes bytes to a new file beside target, with the mode, owner and group of
/// the old one (`old`), flushes it to the disk and renames it over target, so
/// that target is always either the old text or the new one. The caller holds
/// the lock of target, so the name of the new file is free. Impossible, with
/// nothing left behind, when the directory takes no new file or the new file
/// cannot have the old one's owner and group.
Replacement replaceWhole(const std::string &target, const std::string &bytes, const struct stat &old) {
    const Place place = placeOf(target);
    const std::string beside = place.directory + "." + place.name + ".new";
    Descriptor out(openFile(beside, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600));
    if (!out) {
        return errno == EACCES || errno == EPERM || errno == EROFS ? Replacement::Impossible : Replacement::Failed;
    }
    struct stat made {};
    if (::fstat(out.get(), &made) != 0 ||
        ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(out.get(), old.st_uid, old.st_gid) != 0)) {
        ::unlink(beside.c_str());
        return Replacement::Impossible;
    }
    bool written = ::fchmod(out.get(), old.st_mode & 07777) == 0 && writeAll(out.get(), bytes) &&
                   stepAllowed(ProfileStep::Sync, bytes.size()) && ::fsync(out.get()) == 0;
    written = out.close() && written;
    if (!written || !stepAllowed(ProfileStep::Rename, bytes.size()) || ::rename(beside.c_str(), target.c_str()) != 0) {
        ::unlink(beside.c_str());
        return Replacement::Failed;
    }
    // Make the rename itself lasting; the new text is in place either way.
    Descriptor parent(openFile(place.directory.empty() ? "." : place.directory, O_RDONLY | O_DIRECTORY));
    if (parent) {
        ::fsync(parent.get());
    }
    return Replacement::Done;
}

/// Writes bytes over the file open at fd, cuts it to their length and flushes it.
bool rewriteInPlace(int fd, const std::string &bytes) noexcept {
    return writeAll(fd, bytes) && ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 &&
           stepAllowed(ProfileStep::Sync, bytes.size()) && ::fsync(fd) == 0;
}

bool lockExclusive(int fd) noexcept {
    int result;
    do {
        result = ::flock(fd, LOCK_EX);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

/// The file a write changes: the target of a symbolic link (the link stays a
/// link), or the path itself for a file still to be made. Nothing for a link
/// that leads nowhere and for paths that cannot be looked at.
std::optional<std::string> replacedFile(const std::string &path) {
    // A file that another writer makes between the two looks is looked for again.
    for (int look = 0; look < 8; ++look) {
        std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr), &std::free);
        if (resolved != nullptr) {
            return std::string(resolved.get());
        }
        struct stat status {};
        if (errno != ENOENT) {
            return std::nullopt;
        }
        if (::lstat(path.c_str(), &status) != 0) {
            return errno == ENOENT ? std::optional<std::string>(path) : std::nullopt;
        }
    }
    return std::nullopt;  // a link that leads nowhere
}

/// How often a writer opens the file again because another writer replaced
/// it while it waited for the lock; a bound against a file that something
/// replaces without end.
constexpr int kMaxOpenings = 10000;

/// The read-modify-write of one settings file. Writers take turns on a lock of
/// the file itself; one that finds, once it holds the lock, that the name now
/// leads to another file (a writer before it replaced the file) opens that one.
/// The file is opened for writing first, so that one the caller may not write
/// is refused untouched.
bool update(const std::string &path, const char *section, const char *key, const char *value) {
    const bool removal = key == nullptr || value == nullptr;
    for (int opening = 0; opening < kMaxOpenings; ++opening) {
        const std::optional<std::string> target = replacedFile(path);
        if (!target || placeOf(*target).name.size() + 5 > NAME_MAX) {
            return false;  // no file to write, or no room for the name of the new file
        }
        struct stat status {};
        if (::stat(target->c_str(), &status) == 0 ? !S_ISREG(status.st_mode) : errno != ENOENT) {
            return false;  // directories, pipes and devices are never opened for writing
        }
        bool created = false;
        Descriptor file(openFile(*target, O_RDWR | O_NOFOLLOW));
        if (!file && errno == ENOENT) {
            if (removal) {
                return true;  // nothing to remove
            }
            file.reset(openFile(*target, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW));
            created = static_cast<bool>(file);
        }
        if (!file) {
            if (errno == EEXIST || errno == ELOOP || errno == ENOENT) {
                continue;  // made, replaced by a link or removed meanwhile: look again
            }
            return false;  // the caller may not write the file, or the host fails
        }
        if (!lockExclusive(file.get())) {
            return false;
        }
        struct stat now {};
        if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
            return false;
        }
        if (::stat(target->c_str(), &now) != 0 || !sameFile(now, status)) {
            continue;  // replaced or removed while this writer waited
        }
        const bool written = [&] {
            std::optional<std::string> whole = readWhole(file.get());
            if (!whole) {
                return false;  // too large or unreadable: left as it is
            }
            ProfileText text(std::move(*whole));
            const ProfileEdit edit = editProfile(text, section, key, value);
            if (edit != ProfileEdit::Changed) {
                return edit == ProfileEdit::Unchanged;  // the same value again, or a removal of nothing
            }
            // A file with one name is replaced whole where the directory allows; other names of
            // the file, and a file the caller may write but not replace, are kept by writing in place.
            if (status.st_nlink == 1) {
                const Replacement replaced = replaceWhole(*target, text.text(), status);
                if (replaced != Replacement::Impossible) {
                    return replaced == Replacement::Done;
                }
            }
            return rewriteInPlace(file.get(), text.text());
        }();
        if (!written && created) {
            ::unlink(target->c_str());  // still the empty file this writer made: it holds the lock
        }
        return written;
    }
    return false;
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
