// Tests of threads (start, suspension counts, grace wait, exit), local time and detached commands.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>

#include "platform/thread.h"
#include "support/temp_dir.h"
#include "vutil/runtime.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

/// Polls until done() or a generous limit; true when done.
template <typename Done>
bool eventually(Done done) {
    for (auto limit = Clock::now() + 5s; Clock::now() < limit; std::this_thread::sleep_for(1ms)) {
        if (done()) return true;
    }
    return done();
}

/// A worker that counts as fast as it can until told to stop.
struct Counter {
    std::atomic<uint64_t> count{0};
    std::atomic<bool> stop{false};
    static uint32_t run(void *context) {
        auto *self = static_cast<Counter *>(context);
        while (!self->stop.load()) self->count.fetch_add(1);
        return 0;
    }
    /// True when the count does not move for a while.
    bool standsStill() {
        const uint64_t before = count.load();
        std::this_thread::sleep_for(20ms);
        return count.load() == before;
    }
};

vutil::platform::Thread *host(kor_thread *thread) { return reinterpret_cast<vutil::platform::Thread *>(thread); }

TEST(Threads, SuspensionCountsHoldTheThreadUntilTheyReachZero) {
    using vutil::platform::kMaxSuspendCount;
    Counter counter;
    kor_thread *thread = KOR_CreateThread(Counter::run, 0, &counter, 1);
    ASSERT_NE(thread, nullptr);
    // The suspend counts of the host: each call answers the count before it, up to the highest.
    for (int32_t i = 1; i < kMaxSuspendCount; ++i) ASSERT_EQ(vutil::platform::suspendThread(host(thread)), i);
    EXPECT_EQ(vutil::platform::suspendThread(host(thread)), -1) << "beyond the highest count";
    EXPECT_EQ(KOR_SuspendThread(thread), 0);
    for (int32_t i = kMaxSuspendCount; i > 1; --i) ASSERT_EQ(vutil::platform::resumeThread(host(thread)), i);
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(counter.count.load(), 0u) << "ran with a suspend count of 1";
    EXPECT_EQ(KOR_ResumeThread(thread), 1);
    EXPECT_TRUE(eventually([&] { return counter.count.load() > 0; }));
    EXPECT_EQ(KOR_ResumeThread(thread), 1) << "resuming a running thread is no failure";
    EXPECT_EQ(vutil::platform::resumeThread(host(thread)), 0) << "a running thread's count stays 0";
    // A running thread really stops, and one resumption of two does not let it go.
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(KOR_SuspendThread(thread), 1);
        ASSERT_EQ(KOR_SuspendThread(thread), 1);
        EXPECT_TRUE(counter.standsStill()) << "counted on while suspended, round " << round;
        ASSERT_EQ(KOR_ResumeThread(thread), 1);
        EXPECT_TRUE(counter.standsStill()) << "one resumption of two let it go, round " << round;
        const uint64_t stopped = counter.count.load();
        ASSERT_EQ(KOR_ResumeThread(thread), 1);
        EXPECT_TRUE(eventually([&] { return counter.count.load() > stopped; })) << "round " << round;
    }
    // Destroying waits 50 ms for a running thread and fails; an ended one is answered at once.
    auto start = Clock::now();
    EXPECT_EQ(KOR_DestroyThread(thread), 0) << "the thread still runs";
    EXPECT_GE(Clock::now() - start, 49ms);
    EXPECT_LT(Clock::now() - start, 2s);
    counter.stop = true;
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
    start = Clock::now();
    EXPECT_EQ(KOR_DestroyThread(thread), 1);
    EXPECT_LT(Clock::now() - start, 45ms) << "an ended thread is answered at once";
    EXPECT_EQ(KOR_SuspendThread(thread), 0) << "an ended thread";
    EXPECT_EQ(KOR_ResumeThread(thread), 0) << "an ended thread";
    EXPECT_EQ(vutil::platform::suspendThread(host(thread)), -1);
    EXPECT_EQ(vutil::platform::resumeThread(host(thread)), -1);
    EXPECT_EQ(KOR_DestroyThread(nullptr), 1);
}

struct SelfStopper {
    kor_thread *self = nullptr;
    std::atomic<int> stage{0};
    static uint32_t run(void *context) {
        auto *me = static_cast<SelfStopper *>(context);
        me->stage = 1;
        KOR_SuspendThread(me->self);
        me->stage = 2;
        return 0;
    }
};

TEST(Threads, AThreadCanSuspendItself) {
    SelfStopper stopper;
    stopper.self = KOR_CreateThread(SelfStopper::run, 0, &stopper, 1);
    ASSERT_NE(stopper.self, nullptr);
    KOR_ResumeThread(stopper.self);
    ASSERT_TRUE(eventually([&] { return stopper.stage.load() == 1; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(stopper.stage.load(), 1) << "went on while suspended";
    EXPECT_EQ(KOR_DestroyThread(stopper.self), 0);
    KOR_ResumeThread(stopper.self);
    EXPECT_TRUE(eventually([&] { return stopper.stage.load() == 2; }));
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(stopper.self) == 1; }));
}

TEST(Threads, SuspendingAndResumingOverAndOverNeedsNoMoreStack) {
    pthread_attr_t normal, small;  // a thread with a small stack, so that piled-up stops would overflow it
    ASSERT_EQ(pthread_getattr_default_np(&normal), 0);
    pthread_attr_init(&small);
    pthread_attr_setstacksize(&small, 256 * 1024);
    pthread_setattr_default_np(&small);
    Counter counter;
    kor_thread *thread = KOR_CreateThread(Counter::run, 0, &counter, 0);
    pthread_setattr_default_np(&normal);
    pthread_attr_destroy(&small);
    pthread_attr_destroy(&normal);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(KOR_SuspendThread(thread) && KOR_ResumeThread(thread)) << i;
    counter.stop = true;
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
}

/// Calls exit from some depth; the stage tells how far it got.
uint32_t exitFromDepth(void *stage) {
    auto *reached = static_cast<std::atomic<int> *>(stage);
    const auto deeper = [reached](auto &self, int depth) -> void {
        if (depth == 0) {
            reached->store(1);
            KOR_ExitThread();
            reached->store(99);  // never reached
        } else {
            self(self, depth - 1);
            reached->store(98);  // nor this
        }
    };
    deeper(deeper, 5);
    reached->store(97);
    return 7;
}

TEST(Threads, ExitEndsAnyThreadFromAnyDepth) {
    std::atomic<int> stage{0};
    kor_thread *thread = KOR_CreateThread(exitFromDepth, 0, &stage, 0);
    ASSERT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
    EXPECT_EQ(stage.load(), 1);
    EXPECT_EQ(KOR_SuspendThread(thread), 0) << "it has ended";
    // A thread the library did not start ends too, without returning.
    stage = 0;
    pthread_t foreign;
    ASSERT_EQ(pthread_create(&foreign, nullptr, [](void *s) -> void * {
        exitFromDepth(s);
        return s;
    }, &stage), 0);
    void *result = &stage;
    ASSERT_EQ(pthread_join(foreign, &result), 0);
    EXPECT_EQ(result, nullptr) << "the thread returned instead of exiting";
    EXPECT_EQ(stage.load(), 1);
}

uint32_t deepStack(void *context) {
    // 1 MiB of stack: far more than a 16-bit stack size.
    volatile char block[1 << 20];
    block[0] = 1;
    block[sizeof block - 1] = 2;
    static_cast<std::atomic<int> *>(context)->store(block[0] + block[sizeof block - 1]);
    return 0;
}

TEST(Threads, EveryThreadHasAtLeastTheDefaultStack) {
    for (uint32_t size : {0u, 4096u, 65536u, 0x12345678u}) {
        std::atomic<int> result{0};
        kor_thread *thread = KOR_CreateThread(deepStack, size, &result, 0);
        ASSERT_NE(thread, nullptr) << "stack size " << size;
        EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
        EXPECT_EQ(result.load(), 3) << "stack size " << size;
    }
    EXPECT_EQ(KOR_CreateThread(nullptr, 0, nullptr, 0), nullptr);
    EXPECT_EQ(KOR_YieldThread(), 1);
}

TEST(LocalTime, AllThirtyTwoBitTimesInTheSharedRecord) {
    const char *saved = std::getenv("TZ");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TZ", "UTC", 1);
    tzset();
    struct Case {
        int32_t seconds;
        int year, yearDay, secondOfDay;
    };
    for (const Case &c : {Case{0, 70, 0, 0}, Case{951782400, 100, 59, 0}, Case{INT32_MAX, 138, 18, 11647},
                          Case{-1, 69, 364, 86399}, Case{INT32_MIN, 1, 346, 74752}}) {
        const struct tm *t = KOR_LocalTime(c.seconds);
        ASSERT_NE(t, nullptr) << c.seconds;
        EXPECT_EQ(t->tm_year, c.year) << c.seconds;
        EXPECT_EQ(t->tm_yday, c.yearDay) << c.seconds;
        EXPECT_EQ(t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec, c.secondOfDay) << c.seconds;
    }
    EXPECT_EQ(KOR_LocalTime(1), KOR_LocalTime(2)) << "one shared record";
    saved != nullptr ? setenv("TZ", previous.c_str(), 1) : unsetenv("TZ");
    tzset();
}

TEST(Command, StartsDetachedThroughTheShellWithoutWaitingOrInheriting) {
    vutil::test::TempDir dir;
    const std::string done = dir.file("done");
    // This process reads from a pipe and has another file open that it would
    // hand to its children: the command must get neither.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedInput = dup(0);
    dup2(pipeEnds[0], 0);
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
    };
    const auto filesBefore = openFiles();
    const auto start = Clock::now();
    // The command reports its session, its input and the other file, after a
    // pause the call must not wait for.
    const int32_t result = KORsystem(
        "sleep 1; { cut -d' ' -f6 /proc/$$/stat; readlink /proc/$$/fd/0; ls /proc/$$/fd/%d 2>/dev/null; echo %d; } "
        "> %s.part && mv %s.part %s",
        pipeEnds[1], 42, done.c_str(), done.c_str(), done.c_str());
    const auto took = Clock::now() - start;
    EXPECT_EQ(openFiles(), filesBefore) << "the call keeps no file open";
    dup2(savedInput, 0);
    close(savedInput);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    EXPECT_EQ(result, 33);
    EXPECT_LT(took, 900ms);
    // Nothing is left for this process to reap: the command is not its child.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(done); }));
    const std::string report = vutil::test::TempDir::read(done);
    const std::size_t firstLine = report.find('\n');
    EXPECT_NE(std::stol(report.substr(0, firstLine)), static_cast<long>(getsid(0))) << "a session of its own";
    EXPECT_EQ(report.substr(firstLine), "\n/dev/null\n42\n") << "no input and no other file";
    // Lines longer than 1023 characters are refused, not cut: ": xxx; touch PATH" of 1024, then 1023.
    const std::string marker = dir.file("m"), tail = "; touch " + marker;
    EXPECT_EQ(KORsystem(": %s%s", std::string(1024 - 2 - tail.size(), 'x').c_str(), tail.c_str()), 11);
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(std::filesystem::exists(marker)) << "a refused line started";
    EXPECT_EQ(KORsystem(": %s%s", std::string(1023 - 2 - tail.size(), 'x').c_str(), tail.c_str()), 33);
    EXPECT_TRUE(eventually([&] { return std::filesystem::exists(marker); }));
    for (const char *blank : {"", " \t "}) EXPECT_EQ(KORsystem("%s", blank), 11);
    EXPECT_EQ(KORsystem(nullptr), 11);
}

}  // namespace
