// Host file-system services over the Win32 calls, on real drive letters.
#define _CRT_RAND_S
#include "platform/file_system.h"

#include <stdlib.h>
#include <windows.h>

namespace vutil::platform {
namespace {

/// Seconds since 1970 of a file time (100 ns units since 1601).
int64_t unixSeconds(const FILETIME &time) noexcept {
    const uint64_t ticks = (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
    return static_cast<int64_t>(ticks / 10000000u) - 11644473600LL;
}

bool usable(std::string_view path) noexcept {
    return !path.empty() && path.size() < kLongestHostPath && path.find('\0') == std::string_view::npos;
}

}  // namespace

std::optional<FileStatus> fileStatus(std::string_view path) noexcept {
    if (!usable(path)) {
        return std::nullopt;
    }
    try {
        const std::string host(path);
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExA(host.c_str(), GetFileExInfoStandard, &data)) {
            return std::nullopt;
        }
        const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        // As the C runtime tells them: read for all, write unless read-only,
        // execute for directories.
        uint32_t mode = directory ? 0x4000u | 0555u : 0x8000u | 0444u;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) {
            mode |= 0222u;
        }
        const uint64_t size = directory ? 0 : (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
        return FileStatus{mode,
                          size,
                          1,
                          unixSeconds(data.ftLastAccessTime),
                          unixSeconds(data.ftLastWriteTime),
                          unixSeconds(data.ftCreationTime)};
    } catch (...) {
        return std::nullopt;
    }
}

bool nameIsFree(std::string_view path) noexcept {
    if (!usable(path)) {
        return false;
    }
    try {
        const std::string host(path);
        if (::GetFileAttributesA(host.c_str()) != INVALID_FILE_ATTRIBUTES) {
            return false;
        }
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    } catch (...) {
        return false;
    }
}

bool removeFile(std::string_view path) noexcept {
    try {
        return usable(path) && ::DeleteFileA(std::string(path).c_str()) != FALSE;
    } catch (...) {
        return false;
    }
}

bool makeDirectory(std::string_view path) noexcept {
    try {
        return usable(path) && ::CreateDirectoryA(std::string(path).c_str(), nullptr) != FALSE;
    } catch (...) {
        return false;
    }
}

bool changeDirectory(std::string_view path) noexcept {
    try {
        return usable(path) && ::SetCurrentDirectoryA(std::string(path).c_str()) != FALSE;
    } catch (...) {
        return false;
    }
}

std::string currentDirectory() {
    std::string directory(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetCurrentDirectoryA(static_cast<DWORD>(directory.size()), directory.data());
        if (length == 0) {
            return {};
        }
        if (length < directory.size()) {
            directory.resize(length);
            return directory;
        }
        directory.resize(length + 1);
    }
}

std::string temporaryDirectory(std::size_t longest) {
    std::string directory(MAX_PATH + 1, '\0');
    const DWORD length = ::GetTempPathA(static_cast<DWORD>(directory.size()), directory.data());
    directory.resize(length < directory.size() ? length : 0);
    // One closing backslash, whatever TMP ends with.
    while (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) {
        directory.pop_back();
    }
    if (!directory.empty() && directory.size() < longest) {
        return directory + '\\';
    }
    char windows[MAX_PATH + 1];
    const UINT system = ::GetWindowsDirectoryA(windows, sizeof windows);
    return system >= 3 && system < sizeof windows && windows[1] == ':' ? std::string(windows, 2) + '\\' : "C:\\";
}

uint32_t randomNumber() noexcept {
    unsigned int number = 0;
    if (rand_s(&number) == 0) {
        return number;
    }
    LARGE_INTEGER ticks{};
    ::QueryPerformanceCounter(&ticks);
    return static_cast<uint32_t>(ticks.QuadPart) ^ static_cast<uint32_t>(static_cast<uint64_t>(ticks.QuadPart) >> 32);
}

uint32_t processNumber() noexcept {
    return ::GetCurrentProcessId();
}

}  // namespace vutil::platform
