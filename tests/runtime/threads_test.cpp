// Tests of threads (start, suspension counts, grace wait, exit), local time and commands, on every host.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/thread.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"
#include "thread_support.h"
#include "vutil/runtime.h"

namespace {

using namespace vutil::test;

TEST(Threads, SuspensionCountsHoldTheThreadUntilTheyReachZero) {
    Counter counter;
    kor_thread *thread = KOR_CreateThread(Counter::run, 0, &counter, 1);
    auto *host = reinterpret_cast<vutil::platform::Thread *>(thread);
    ASSERT_NE(thread, nullptr);
    // The suspend counts of the host: each call answers the count before it, up to the highest.
    for (int32_t i = 1; i < vutil::platform::kMaxSuspendCount; ++i) ASSERT_EQ(vutil::platform::suspendThread(host), i);
    EXPECT_EQ(KOR_SuspendThread(thread), 0) << "beyond the highest count";
    for (int32_t i = vutil::platform::kMaxSuspendCount; i > 1; --i) ASSERT_EQ(vutil::platform::resumeThread(host), i);
    EXPECT_TRUE(counter.standsStill() && counter.count.load() == 0) << "ran with a suspend count of 1";
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && waitUntil([&] { return counter.count.load() > 0; }));
    EXPECT_EQ(KOR_ResumeThread(thread), 1) << "resuming a running thread is no failure";
    // A running thread really stops, and one resumption of two does not let it go.
    EXPECT_TRUE(KOR_SuspendThread(thread) + KOR_SuspendThread(thread) == 2 && counter.standsStill());
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && counter.standsStill()) << "one resumption of two let it go";
    const uint64_t stopped = counter.count.load();
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && waitUntil([&] { return counter.count.load() > stopped; }));
    // Destroying waits 50 ms for a running thread and fails, however often it is called; the first call sets the
    // thread's level to the host's one, and the later ones leave it there.
    const int raised = levelAfterDestroying(levelOf(counter.id));
    for (auto [call, began] = std::pair(0, Clock::now()); call < 3; ++call, began = Clock::now()) {
        EXPECT_TRUE(KOR_DestroyThread(thread) == 0 && Clock::now() - began >= 50ms) << call;
        EXPECT_EQ(levelOf(counter.id), raised) << call;
    }
    counter.stop = true;
    EXPECT_TRUE(waitUntil([&] { return KOR_DestroyThread(thread) == 1; }));
    const auto began = Clock::now();
    for (int call = 0; call < 100; ++call) EXPECT_EQ(KOR_DestroyThread(thread), 1);
    EXPECT_LT(Clock::now() - began, 100 * 50ms) << "an ended thread is answered without the 50 ms wait";
    EXPECT_TRUE(KOR_SuspendThread(thread) + KOR_ResumeThread(thread) == 0 && KOR_DestroyThread(nullptr) == 1) << "an ended thread";
}

// A thread can suspend itself and end from any depth; suspension and resumption over and over never cut the
// library's own waits short.
TEST(Threads, AThreadCanSuspendItselfAndExitFromAnyDepthAndTheGraceWaitIsNeverCutShort) {
    Worker stopper, exiting, waiter;
    Counter witness;
    waiter.bombard(Worker::destroyRunning);
    EXPECT_TRUE(waiter.result == 0 && waiter.took >= 50ms) << "the grace wait was cut short";
    stopper.self = KOR_CreateThread(Worker::suspendItself, 0, &stopper, 1), KOR_ResumeThread(stopper.self);
    ASSERT_TRUE(waitUntil([&] { return stopper.stage.load() == 1; }));
    EXPECT_TRUE(witness.standsStill() && stopper.stage.load() == 1) << "went on while suspended";
    KOR_ResumeThread(stopper.self);
    EXPECT_TRUE(waitUntil([&] { return KOR_DestroyThread(stopper.self) == 1 && stopper.stage.load() == 2; }));
    kor_thread *thread = KOR_CreateThread(Worker::exitFromDepth, 0, &exiting, 0);
    ASSERT_TRUE(waitUntil([&] { return KOR_DestroyThread(thread) == 1; }) && exiting.stage.load() == 1);
}

uint32_t deepStack(void *context) {
    volatile char block[1 << 20];  // 1 MiB of stack: far more than a 16-bit stack size
    block[0] = 1;
    block[sizeof block - 1] = 2;
    return static_cast<std::atomic<int> *>(context)->store(block[0] + block[sizeof block - 1]), 0;
}

TEST(Threads, EveryThreadHasAtLeastTheDefaultStack) {
    for (uint32_t size : {0u, 4096u, 0x12345678u}) {
        std::atomic<int> result{0};
        kor_thread *thread = KOR_CreateThread(deepStack, size, &result, 0);
        EXPECT_TRUE(thread != nullptr && waitUntil([&] { return KOR_DestroyThread(thread) == 1 && result.load() == 3; })) << "stack size " << size;
    }
    EXPECT_TRUE(KOR_CreateThread(nullptr, 0, nullptr, 0) == nullptr && KOR_YieldThread() == 1);
}

// The runtime's local time of times from 1970 on, in the one shared record. (Times before 1970 are the hosts'
// own: see their tests.)
TEST(LocalTime, TimesFrom1970OnInTheSharedRecord) {
    const ScopedEnv utc("TZ", "UTC");
    const int32_t cases[][4] = {{0, 70, 0, 0}, {951782400, 100, 59, 0}, {INT32_MAX, 138, 18, 11647}};
    const struct tm *t = nullptr;
    for (const auto &[seconds, year, yearDay, secondOfDay] : cases)
        ASSERT_TRUE((t = KOR_LocalTime(seconds)) != nullptr && t->tm_year == year && t->tm_yday == yearDay && t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec == secondOfDay) << seconds;
    EXPECT_EQ(KOR_LocalTime(1), KOR_LocalTime(2)) << "one shared record";
}

// Command lines longer than 1023 characters are refused, not cut, as are empty ones.
TEST(Command, LongAndEmptyLinesAreRefused) {
    EXPECT_EQ(KORsystem("x%s", std::string(1023, 'x').c_str()), 11);
    EXPECT_TRUE(KORsystem("%s", "") == 11 && KORsystem("%s", " \t ") == 11 && KORsystem(nullptr) == 11);
}

}  // namespace
