// Tests of threads, local time and commands on Windows: the system's thread priorities, threads it started, the
// C runtime's local time, and programs started with WinExec.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"
#include "thread_support.h"
#include "vutil/runtime.h"

namespace vutil::test {

uint64_t currentThreadNumber() {
    return GetCurrentThreadId();
}

int levelOf(uint64_t number) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, static_cast<DWORD>(number));
    const int priority = thread != nullptr ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
    if (thread != nullptr) CloseHandle(thread);
    return priority;
}

// The highest normal priority, from the normal one a thread starts with.
int levelAfterDestroying(int start) {
    EXPECT_EQ(start, THREAD_PRIORITY_NORMAL);
    return THREAD_PRIORITY_HIGHEST;
}

}  // namespace vutil::test

namespace {

using namespace vutil::test;

std::atomic<int> stage{0};
DWORD WINAPI exitAtOnce(LPVOID) {
    return stage = 1, KOR_ExitThread(), stage = 98, 7;
}

// A thread the library did not start ends too, with exit code 0, without returning.
TEST(Threads, ForeignThreadsExitWithCodeZero) {
    stage = 0;
    HANDLE foreign = CreateThread(nullptr, 0, exitAtOnce, nullptr, 0, nullptr);
    ASSERT_NE(foreign, nullptr);
    DWORD code = 99;
    EXPECT_EQ(WaitForSingleObject(foreign, 60000), WAIT_OBJECT_0);
    EXPECT_TRUE(GetExitCodeThread(foreign, &code) && code == 0 && stage.load() == 1);
    CloseHandle(foreign);
}

// The C runtime's localtime knows no time before 1970: the export hands its null on.
TEST(LocalTime, TimesBefore1970GiveNull) {
    EXPECT_EQ(KOR_LocalTime(-1), nullptr);
    EXPECT_EQ(KOR_LocalTime(INT32_MIN), nullptr);
}

// Programs start without being waited for; a program that is not there is reported as not found.
TEST(Command, StartsProgramsAndReportsMissingOnes) {
    TempDir dir;
    const std::string made = dir.file("made");
    EXPECT_EQ(KORsystem("cmd.exe /c mkdir \"%s\"", made.c_str()), 33);
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::is_directory(made); }));
    EXPECT_EQ(KORsystem("%s", dir.file("missing.exe").c_str()), 2);
}

}  // namespace
