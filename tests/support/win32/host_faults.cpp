// Faults of the Win32 file calls: ReadFile, WriteFile and SetFilePointerEx replaced through the seam.
#include "support/host_faults.h"

#include <windows.h>

#include <algorithm>

#include "platform/file.h"

namespace vutil::test::faults {
namespace {

int readsLeft = 0, seekCount = 0, writeCount = 0;

template <typename Function> void replace(const char *name, Function function) {
    platform::setFileSystemCall(name, reinterpret_cast<platform::SystemCall>(function));
}

BOOL WINAPI failingRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    if (readsLeft > 0) return --readsLeft, ::ReadFile(file, buffer, count, got, overlapped);
    return SetLastError(ERROR_READ_FAULT), FALSE;
}
BOOL WINAPI threeByteRead(HANDLE file, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED overlapped) {
    return ::ReadFile(file, buffer, std::min<DWORD>(count, 3), got, overlapped);
}
BOOL WINAPI fullDiskWrite(HANDLE, LPCVOID, DWORD, LPDWORD put, LPOVERLAPPED) {
    if (put != nullptr) *put = 0;
    return SetLastError(ERROR_DISK_FULL), FALSE;
}
BOOL WINAPI failingSeek(HANDLE, LARGE_INTEGER, PLARGE_INTEGER, DWORD) { return SetLastError(ERROR_SEEK), FALSE; }
BOOL WINAPI countingSeek(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER position, DWORD method) {
    return ++seekCount, ::SetFilePointerEx(file, distance, position, method);
}
BOOL WINAPI countingWrite(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED overlapped) {
    return ++writeCount, ::WriteFile(file, buffer, count, put, overlapped);
}

}  // namespace

void failReads(int after) { readsLeft = after, replace("ReadFile", failingRead); }
void shortReads() { replace("ReadFile", threeByteRead); }
void fullDisk() { replace("WriteFile", fullDiskWrite); }
void failSeeks() { replace("SetFilePointerEx", failingSeek); }
void countCalls() { seekCount = writeCount = 0, replace("SetFilePointerEx", countingSeek), replace("WriteFile", countingWrite); }
int seeks() { return seekCount; }
int writes() { return writeCount; }

void restore() {
    for (const char *name : {"CreateFileA", "ReadFile", "WriteFile", "SetFilePointerEx", "CloseHandle", "SetEndOfFile",
                             "GetFileSizeEx", "GetFileType"}) {
        platform::setFileSystemCall(name, nullptr);
    }
}

}  // namespace vutil::test::faults
