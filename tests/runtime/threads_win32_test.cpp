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
uint64_t currentThreadNumber() { return GetCurrentThreadId(); }
}  // namespace vutil::test

namespace {

using namespace vutil::test;

int priorityOf(uint64_t id) {
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, static_cast<DWORD>(id));
    const int priority = thread != nullptr ? GetThreadPriority(thread) : THREAD_PRIORITY_ERROR_RETURN;
    if (thread != nullptr) CloseHandle(thread);
    return priority;
}

// Destroying a running thread sets its priority to the highest normal level (2) at the first call, and leaves
// it there.
TEST(Threads, DestroyingSetsTheHighestNormalPriorityAtOnce) {
    Counter counter;
    kor_thread *thread = KOR_CreateThread(Counter::run, 0, &counter, 0);
    ASSERT_TRUE(thread != nullptr && waitUntil([&] { return counter.id.load() != 0; }));
    EXPECT_EQ(priorityOf(counter.id), THREAD_PRIORITY_NORMAL);
    for (int call = 0; call < 3; ++call) {
        EXPECT_EQ(KOR_DestroyThread(thread), 0) << call;
        EXPECT_EQ(priorityOf(counter.id), THREAD_PRIORITY_HIGHEST) << call;
    }
    counter.stop = true;
    EXPECT_TRUE(waitUntil([&] { return KOR_DestroyThread(thread) == 1; }));
}

std::atomic<int> stage{0};
DWORD WINAPI exitAtOnce(LPVOID) { return stage = 1, KOR_ExitThread(), stage = 98, 7; }

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
