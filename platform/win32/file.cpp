// Host files over Win32 file handles. The sharing modes are the system's own
// share flags, so a conflicting open fails at once with a sharing violation.
#include "platform/file.h"

#include <windows.h>

#include <climits>
#include <string>

#include "platform/path.h"

namespace vutil::platform {
namespace {

/// The system calls of this file, reached through one table so that tests can
/// put failing versions in their place.
struct SystemCalls {
    decltype(&::CreateFileA) createFile;
    decltype(&::ReadFile) readFile;
    decltype(&::WriteFile) writeFile;
    decltype(&::SetFilePointerEx) setFilePointerEx;
    decltype(&::CloseHandle) closeHandle;
    decltype(&::SetEndOfFile) setEndOfFile;
    decltype(&::GetFileSizeEx) getFileSizeEx;
    decltype(&::GetFileType) getFileType;
};

const SystemCalls kHostCalls = {::CreateFileA, ::ReadFile,     ::WriteFile,     ::SetFilePointerEx,
                                ::CloseHandle, ::SetEndOfFile, ::GetFileSizeEx, ::GetFileType};
SystemCalls calls = kHostCalls;

template <typename Function>
SystemCall swap(Function &slot, Function host, SystemCall replacement) noexcept {
    auto previous = reinterpret_cast<SystemCall>(slot);
    slot = replacement != nullptr ? reinterpret_cast<Function>(replacement) : host;
    return previous;
}

/// Kernel handles fit in 32 bits on every Windows, so they travel as the
/// small integers of the buffered-file table.
int32_t toNumber(HANDLE handle) noexcept {
    return static_cast<int32_t>(reinterpret_cast<intptr_t>(handle));
}

HANDLE toHandle(int32_t file) noexcept {
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(file));
}

DWORD shareFlags(FileSharing sharing) noexcept {
    switch (sharing) {
        case FileSharing::Exclusive:
            return 0;
        case FileSharing::Unlocked:
            return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        case FileSharing::Shared:
        default:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
    }
}

HANDLE open(std::string_view path, DWORD access, DWORD share, DWORD disposition) noexcept {
    std::string host;
    try {
        host = toHostPath(path);
    } catch (...) {
        return INVALID_HANDLE_VALUE;  // no memory for the host path
    }
    // Directories cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, so
    // naming one fails here as it should.
    return calls.createFile(host.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int32_t finishOpen(HANDLE handle) noexcept {
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        return -1;
    }
    const int32_t number = toNumber(handle);
    if (number == 0 || number == -1) {
        calls.closeHandle(handle);
        return -1;
    }
    return number;
}

}  // namespace

int32_t openFile(std::string_view path, FileAccess access, FileSharing sharing) noexcept {
    if (path.empty()) {
        return -1;
    }
    const DWORD rights = access == FileAccess::Read    ? GENERIC_READ
                         : access == FileAccess::Write ? GENERIC_WRITE
                                                       : GENERIC_READ | GENERIC_WRITE;
    return finishOpen(open(path, rights, shareFlags(sharing), OPEN_EXISTING));
}

bool createFile(std::string_view path) noexcept {
    if (path.empty()) {
        return false;
    }
    // Opening without truncation first lets the sharing decide before any byte is lost.
    HANDLE handle = open(path, GENERIC_WRITE, shareFlags(FileSharing::Shared), OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool created = calls.setEndOfFile(handle) != FALSE;
    calls.closeHandle(handle);
    return created;
}

int32_t readFile(int32_t file, void *buffer, int32_t count) noexcept {
    if (count <= 0) {
        return 0;
    }
    DWORD got = 0;
    if (!calls.readFile(toHandle(file), buffer, static_cast<DWORD>(count), &got, nullptr)) {
        // The writing end of a pipe went away: the end of the data, not an error.
        return ::GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    return static_cast<int32_t>(got);
}

int32_t writeFile(int32_t file, const void *buffer, int32_t count) noexcept {
    if (count <= 0) {
        return 0;
    }
    const auto *bytes = static_cast<const char *>(buffer);
    int32_t written = 0;
    while (written < count) {
        DWORD put = 0;
        if (!calls.writeFile(toHandle(file), bytes + written, static_cast<DWORD>(count - written), &put, nullptr) ||
            put == 0) {
            return written > 0 ? written : -1;
        }
        written += static_cast<int32_t>(put);
    }
    return written;
}

int32_t seekFile(int32_t file, int64_t offset, SeekOrigin origin) noexcept {
    // A target that cannot be told in 31 bits fails without moving the file, as
    // a refused seek does; otherwise the next write would land beyond 2 GiB.
    HANDLE handle = toHandle(file);
    LARGE_INTEGER before{};
    bool restore = false;
    if (origin == SeekOrigin::Start) {
        if (offset > INT32_MAX) {
            return -1;
        }
    } else if (offset > 0) {
        LARGE_INTEGER none{};
        restore = calls.setFilePointerEx(handle, none, &before, FILE_CURRENT) != FALSE;
    }
    const DWORD method = origin == SeekOrigin::Start     ? FILE_BEGIN
                         : origin == SeekOrigin::Current ? FILE_CURRENT
                                                         : FILE_END;
    LARGE_INTEGER distance{};
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!calls.setFilePointerEx(handle, distance, &position, method)) {
        return -1;
    }
    if (position.QuadPart > INT32_MAX) {
        if (restore) {
            calls.setFilePointerEx(handle, before, nullptr, FILE_BEGIN);
        }
        return -1;
    }
    return static_cast<int32_t>(position.QuadPart);
}

void closeFile(int32_t file) noexcept {
    calls.closeHandle(toHandle(file));
}

int32_t openFileAppending(std::string_view path) noexcept {
    if (path.empty()) {
        return -1;
    }
    return finishOpen(open(path, FILE_APPEND_DATA | SYNCHRONIZE, shareFlags(FileSharing::Shared), OPEN_ALWAYS));
}

int64_t regularFileSize(int32_t file) noexcept {
    HANDLE handle = toHandle(file);
    LARGE_INTEGER size{};
    if (calls.getFileType(handle) != FILE_TYPE_DISK || !calls.getFileSizeEx(handle, &size)) {
        return -1;
    }
    return size.QuadPart;
}

SystemCall setFileSystemCall(std::string_view name, SystemCall replacement) noexcept {
    if (name == "CreateFileA") return swap(calls.createFile, kHostCalls.createFile, replacement);
    if (name == "ReadFile") return swap(calls.readFile, kHostCalls.readFile, replacement);
    if (name == "WriteFile") return swap(calls.writeFile, kHostCalls.writeFile, replacement);
    if (name == "SetFilePointerEx") return swap(calls.setFilePointerEx, kHostCalls.setFilePointerEx, replacement);
    if (name == "CloseHandle") return swap(calls.closeHandle, kHostCalls.closeHandle, replacement);
    if (name == "SetEndOfFile") return swap(calls.setEndOfFile, kHostCalls.setEndOfFile, replacement);
    if (name == "GetFileSizeEx") return swap(calls.getFileSizeEx, kHostCalls.getFileSizeEx, replacement);
    if (name == "GetFileType") return swap(calls.getFileType, kHostCalls.getFileType, replacement);
    return nullptr;
}

}  // namespace vutil::platform
