// Settings files on Windows: where they live, reading them whole, replacing
// them whole (MoveFileExA) while a lock (LockFileEx) keeps other writers out.
#include "platform/profile.h"

#include <windows.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <tuple>

#include "platform/path.h"
#include "platform/profile_text.h"

namespace vutil::platform {
namespace {

/// Larger files are not read, so that a hostile file cannot make the library
/// take much memory (its lines are indexed too); reads find nothing in them
/// and writes fail. Settings files are a few kilobytes.
constexpr int64_t kMaxFileBytes = int64_t{1} << 20;
/// The new text is written in pieces of this size (the test seam sees each).
constexpr std::size_t kPieceBytes = 4096;

std::atomic<ProfileStepHook> stepHook{nullptr};

bool stepAllowed(ProfileStep step, std::size_t written) noexcept {
    ProfileStepHook hook = stepHook.load();
    return hook == nullptr || hook(step, written);
}

/// An open file handle, closed at the end of its scope.
class Handle {
public:
    explicit Handle(HANDLE handle) noexcept : handle_(handle) {}
    ~Handle() { close(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    HANDLE get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }
    /// Gives up the handle without closing it.
    HANDLE release() noexcept {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    /// Closes now; false when the host reports an error (a write may then be lost).
    bool close() noexcept {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle == INVALID_HANDLE_VALUE || ::CloseHandle(handle) != FALSE;
    }

private:
    HANDLE handle_;
};

HANDLE openFile(const std::string &path, DWORD access, DWORD disposition) noexcept {
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool hasDirectory(std::string_view name) noexcept {
    const bool drive = name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
    return drive || name.find_first_of("/\\") != std::string_view::npos;
}

/// Where names without a directory live: $VUTIL_PROFILE_DIR, else the Windows
/// directory, as for the system's private-profile calls.
std::string settingsDirectory() {
    if (const char *own = std::getenv("VUTIL_PROFILE_DIR"); own != nullptr && *own != '\0') {
        return own;
    }
    char directory[MAX_PATH + 1];
    const UINT length = ::GetWindowsDirectoryA(directory, sizeof directory);
    return length == 0 || length >= sizeof directory ? std::string() : std::string(directory, length);
}

bool isDirectory(const std::string &path) noexcept {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

/// Makes the directory and its missing parents. Something else of that name
/// is found out by the write after.
bool makeDirectories(const std::string &directory) {
    for (std::size_t slash = directory.find_first_of("\\/", 3);; slash = directory.find_first_of("\\/", slash + 1)) {
        const std::string prefix = directory.substr(0, slash);
        if (!prefix.empty() && !isDirectory(prefix) && !::CreateDirectoryA(prefix.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

/// The whole content of a regular file; nothing for other kinds of file, for
/// files above the limit and when a read fails.
std::optional<std::string> readWhole(HANDLE handle) {
    LARGE_INTEGER size{};
    if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) || size.QuadPart > kMaxFileBytes) {
        return std::nullopt;
    }
    std::string content;
    char piece[kPieceBytes];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(handle, piece, sizeof piece, &got, nullptr) ||
            static_cast<int64_t>(content.size()) + got > kMaxFileBytes) {
            return std::nullopt;  // a read error, or a file that grew past the limit meanwhile
        }
        if (got == 0) {
            return content;
        }
        content.append(piece, got);
    }
}

std::optional<ProfileText> load(const char *file) noexcept {
    try {
        if (file == nullptr) {
            return std::nullopt;
        }
        const std::string path = profilePath(file);
        Handle handle(path.empty() ? INVALID_HANDLE_VALUE : openFile(path, GENERIC_READ, OPEN_EXISTING));
        if (!handle) {
            return std::nullopt;
        }
        std::optional<std::string> content = readWhole(handle.get());
        if (!content) {
            return std::nullopt;
        }
        return ProfileText(std::move(*content));
    } catch (...) {
        return std::nullopt;  // no memory: the file reads as empty
    }
}

bool writeAll(HANDLE handle, const std::string &bytes) noexcept {
    for (std::size_t written = 0; written < bytes.size();) {
        if (!stepAllowed(ProfileStep::Write, written)) {
            return false;
        }
        const DWORD piece = static_cast<DWORD>(std::min(kPieceBytes, bytes.size() - written));
        DWORD put = 0;
        if (!::WriteFile(handle, bytes.data() + written, piece, &put, nullptr) || put == 0) {
            return false;
        }
        written += put;
    }
    return true;
}

/// A file's directory, with its closing separator ("" for the current one), and its name.
struct Place {
    std::string directory;
    std::string name;
};

Place placeOf(const std::string &path) {
    std::size_t nameBegin = path.find_last_of("\\/") + 1;  // 0 without a separator
    if (nameBegin == 0 && path.size() >= 2 && path[1] == ':') {
        nameBegin = 2;  // "C:name" lies in the current directory of drive C
    }
    return {path.substr(0, nameBegin), path.substr(nameBegin)};
}

/// Writes bytes to a file beside target, flushes it to the disk and moves it
/// over target, so that target is always either the old text or the new one.
/// The caller holds the lock of target, so the name of the new file is free.
bool replaceWhole(const std::string &target, const std::string &bytes) {
    const Place place = placeOf(target);
    const std::string beside = place.directory + "." + place.name + ".new";
    Handle out(openFile(beside, GENERIC_WRITE, CREATE_ALWAYS));
    if (!out) {
        return false;
    }
    bool written = writeAll(out.get(), bytes) && stepAllowed(ProfileStep::Sync, bytes.size()) &&
                   ::FlushFileBuffers(out.get()) != FALSE;
    written = out.close() && written;
    if (!written || !stepAllowed(ProfileStep::Rename, bytes.size()) ||
        !::MoveFileExA(beside.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileA(beside.c_str());
        return false;
    }
    return true;
}

/// Identity of an open file: its volume and its number on the volume.
std::optional<std::tuple<DWORD, DWORD, DWORD>> identity(HANDLE handle) noexcept {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        return std::nullopt;
    }
    return std::tuple{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

/// True while `name` leads to the file open at `handle`.
bool stillNamed(HANDLE handle, const std::string &name) noexcept {
    Handle byName(::CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!byName) {
        return false;
    }
    const auto held = identity(handle), named = identity(byName.get());
    return held && named && *held == *named;
}

/// How long a writer tries to open a lock file that another writer has just
/// deleted while a third still had it open (the host refuses opens of a file
/// in that state until the last handle goes).
constexpr ULONGLONG kDeletedLockWaitMs = 2000;
/// How often a writer starts over with a lock file deleted while it waited;
/// each time another writer had its turn, so this is never reached while the
/// file system tells files apart.
constexpr int kMaxRestarts = 1000;

/// The turn of one writer of a settings file: an exclusive LockFileEx on
/// ".NAME.lock" beside it. The holder deletes that file before it lets go, so
/// nothing stays beside the settings file (after a writer killed while holding
/// it, the next writer takes it over and deletes it). A writer that waited on a
/// lock file that has been deleted meanwhile notices, once it holds the lock,
/// that the name no longer leads to the file it locked, and starts over with a
/// new one. Only a holder deletes, so the name of a lock that is held and was
/// found still named stays its own: two writers never hold locks on two
/// different files at once.
class WriterTurn {
public:
    explicit WriterTurn(const std::string &name) noexcept {
        const ULONGLONG start = ::GetTickCount64();
        for (int restarts = 0;;) {
            Handle lock(::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!lock) {
                if (::GetLastError() != ERROR_ACCESS_DENIED || ::GetTickCount64() - start > kDeletedLockWaitMs) {
                    return;  // a directory that cannot be written, or a lock file that does not go
                }
                ::Sleep(1);
                continue;
            }
            OVERLAPPED whole{};
            if (!::LockFileEx(lock.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
                return;
            }
            if (stillNamed(lock.get(), name)) {
                handle_ = lock.release();
                return;
            }
            if (++restarts > kMaxRestarts) {
                return;  // a file system whose file numbers do not stay put
            }
        }
    }
    ~WriterTurn() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            FILE_DISPOSITION_INFO remove{TRUE};
            ::SetFileInformationByHandle(handle_, FileDispositionInfo, &remove, sizeof remove);
            ::CloseHandle(handle_);  // which ends the lock
        }
    }
    WriterTurn(const WriterTurn &) = delete;
    WriterTurn &operator=(const WriterTurn &) = delete;

    explicit operator bool() const noexcept { return handle_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

/// The read-modify-write of one settings file. Writers take turns (see
/// WriterTurn), so that none works from a text that another is about to replace.
bool update(const std::string &path, const char *section, const char *key, const char *value) {
    const Place place = placeOf(path);
    if (place.name.empty() || place.name.size() + 6 > MAX_PATH) {
        return false;  // no room for the names of the lock and the new file
    }
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists ? (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 : ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;  // directories are never replaced, and a missing directory is not made
    }
    if (!exists && (key == nullptr || value == nullptr)) {
        return true;  // nothing to remove
    }
    const WriterTurn turn(place.directory + "." + place.name + ".lock");
    if (!turn) {
        return false;
    }
    std::string content;
    {
        Handle current(openFile(path, GENERIC_READ, OPEN_EXISTING));
        if (current) {
            std::optional<std::string> read = readWhole(current.get());
            if (!read) {
                return false;  // not a regular file, too large, or unreadable: left as it is
            }
            content = std::move(*read);
        } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
            return false;
        }
    }
    ProfileText text(std::move(content));
    const ProfileEdit edit = editProfile(text, section, key, value);
    if (edit != ProfileEdit::Changed) {
        return edit == ProfileEdit::Unchanged;  // the same value again, or a removal of nothing
    }
    return replaceWhole(path, text.text());
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
    if (directory.empty()) {
        return {};
    }
    if (directory.back() != '\\' && directory.back() != '/') {
        directory += '\\';
    }
    return directory + std::string(file);
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
        if (!removal && !hasDirectory(file)) {
            const std::size_t separator = path.find_last_of("\\/");
            if (separator != std::string::npos && !makeDirectories(path.substr(0, separator))) {
                return false;
            }
        }
        return update(path, section, key, value);
    } catch (...) {
        return false;  // no memory
    }
}

void setProfileStepHook(ProfileStepHook hook) noexcept {
    stepHook.store(hook);
}

}  // namespace vutil::platform
