// Tests of threads (start, suspension counts, grace wait, exit), local time and detached commands.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
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
    for (auto limit = Clock::now() + 5s; Clock::now() < limit && !done();) std::this_thread::sleep_for(1ms);
    return done();
}

/// A worker that counts as fast as it can until told to stop.
struct Counter {
    std::atomic<uint64_t> count{0};
    std::atomic<bool> stop{false};
    static uint32_t run(void *context) {
        for (auto *self = static_cast<Counter *>(context); !self->stop.load();) self->count.fetch_add(1);
        return 0;
    }
    /// True when the count does not move for a while.
    bool standsStill() {
        const uint64_t before = count.load();
        return std::this_thread::sleep_for(20ms), count.load() == before;
    }
};

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
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && eventually([&] { return counter.count.load() > 0; }));
    EXPECT_EQ(KOR_ResumeThread(thread), 1) << "resuming a running thread is no failure";
    // A running thread really stops, and one resumption of two does not let it go.
    EXPECT_TRUE(KOR_SuspendThread(thread) + KOR_SuspendThread(thread) == 2 && counter.standsStill());
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && counter.standsStill()) << "one resumption of two let it go";
    const uint64_t stopped = counter.count.load();
    EXPECT_TRUE(KOR_ResumeThread(thread) == 1 && eventually([&] { return counter.count.load() > stopped; }));
    // Destroying waits 50 ms for a running thread and fails; an ended one is answered at once.
    auto start = Clock::now();
    EXPECT_TRUE(KOR_DestroyThread(thread) == 0 && Clock::now() - start >= 49ms && Clock::now() - start < 2s) << "the thread still runs";
    counter.stop = true;
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
    start = Clock::now();
    EXPECT_TRUE(KOR_DestroyThread(thread) == 1 && Clock::now() - start < 45ms) << "an ended thread is answered at once";
    EXPECT_TRUE(KOR_SuspendThread(thread) + KOR_ResumeThread(thread) == 0 && KOR_DestroyThread(nullptr) == 1) << "an ended thread";
}

/// Suspends itself, or calls exit from some depth; the stage tells how far it got.
struct Worker {
    kor_thread *self = nullptr;
    std::atomic<int> stage{0};
    static uint32_t suspendItself(void *context) {
        auto *me = static_cast<Worker *>(context);
        me->stage = 1, KOR_SuspendThread(me->self), me->stage = 2;
        return 0;
    }
    void exitAt(int depth) {
        stage = 1;
        depth == 0 ? KOR_ExitThread() : exitAt(depth - 1);
        stage = 98;  // never reached
    }
    static uint32_t exitFromDepth(void *context) { return static_cast<Worker *>(context)->exitAt(5), 7; }
};

TEST(Threads, AThreadCanSuspendItselfAndExitFromAnyDepth) {
    Worker stopper, exiting;
    stopper.self = KOR_CreateThread(Worker::suspendItself, 0, &stopper, 1), KOR_ResumeThread(stopper.self);
    ASSERT_TRUE(eventually([&] { return stopper.stage.load() == 1; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(stopper.stage.load(), 1) << "went on while suspended";
    KOR_ResumeThread(stopper.self);
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(stopper.self) == 1 && stopper.stage.load() == 2; }));
    kor_thread *thread = KOR_CreateThread(Worker::exitFromDepth, 0, &exiting, 0);
    ASSERT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }) && exiting.stage.load() == 1);
    // A thread the library did not start ends too, without returning.
    exiting.stage = 0;
    pthread_t foreign;
    void *result = &exiting;
    ASSERT_EQ(pthread_create(&foreign, nullptr, [](void *s) -> void * { return Worker::exitFromDepth(s), s; }, &exiting), 0);
    ASSERT_EQ(pthread_join(foreign, &result), 0);
    EXPECT_TRUE(result == nullptr && exiting.stage.load() == 1) << "the thread returned instead of exiting";
}

TEST(Threads, SuspendingAndResumingOverAndOverNeedsNoMoreStack) {
    pthread_attr_t normal, small;  // a thread with a small stack, so that piled-up stops would overflow it
    ASSERT_EQ(pthread_getattr_default_np(&normal), 0);
    pthread_attr_init(&small), pthread_attr_setstacksize(&small, 256 * 1024), pthread_setattr_default_np(&small);
    Counter counter;
    kor_thread *thread = KOR_CreateThread(Counter::run, 0, &counter, 0);
    pthread_setattr_default_np(&normal), pthread_attr_destroy(&small), pthread_attr_destroy(&normal);
    ASSERT_NE(thread, nullptr);
    for (int i = 0; i < 5000; ++i) ASSERT_TRUE(KOR_SuspendThread(thread) && KOR_ResumeThread(thread)) << i;
    counter.stop = true;
    EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1; }));
}

uint32_t deepStack(void *context) {
    volatile char block[1 << 20];  // 1 MiB of stack: far more than a 16-bit stack size
    block[0] = 1;
    block[sizeof block - 1] = 2;
    static_cast<std::atomic<int> *>(context)->store(block[0] + block[sizeof block - 1]);
    return 0;
}

TEST(Threads, EveryThreadHasAtLeastTheDefaultStack) {
    for (uint32_t size : {0u, 4096u, 0x12345678u}) {
        std::atomic<int> result{0};
        kor_thread *thread = KOR_CreateThread(deepStack, size, &result, 0);
        ASSERT_NE(thread, nullptr) << "stack size " << size;
        EXPECT_TRUE(eventually([&] { return KOR_DestroyThread(thread) == 1 && result.load() == 3; })) << size;
    }
    EXPECT_TRUE(KOR_CreateThread(nullptr, 0, nullptr, 0) == nullptr && KOR_YieldThread() == 1);
}

TEST(LocalTime, AllThirtyTwoBitTimesInTheSharedRecord) {
    const std::string saved = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    setenv("TZ", "UTC", 1);
    const int32_t cases[][4] = {{0, 70, 0, 0}, {951782400, 100, 59, 0}, {INT32_MAX, 138, 18, 11647}, {-1, 69, 364, 86399}, {INT32_MIN, 1, 346, 74752}};
    for (const auto &[seconds, year, yearDay, secondOfDay] : cases) {
        const struct tm *t = KOR_LocalTime(seconds);
        ASSERT_TRUE(t != nullptr && t->tm_year == year && t->tm_yday == yearDay && t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec == secondOfDay) << seconds;
    }
    EXPECT_EQ(KOR_LocalTime(1), KOR_LocalTime(2)) << "one shared record";
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
}

TEST(Command, StartsDetachedThroughTheShellWithoutWaitingOrInheriting) {
    vutil::test::TempDir dir;
    const std::string done = dir.file("done");
    // This process reads from a pipe and has another file open that it would hand to its children: the
    // command must get neither. It reports its session, its input and the other file, after a pause the
    // call must not wait for.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const int savedInput = dup(0);
    dup2(pipeEnds[0], 0);
    const auto start = Clock::now();
    const int32_t result = KORsystem("sleep 1; { cut -d' ' -f6 /proc/$$/stat; readlink /proc/$$/fd/0; ls /proc/$$/fd/%d 2>/dev/null; echo %d; } "
                                     "> %s.part && mv %s.part %s", pipeEnds[1], 42, done.c_str(), done.c_str(), done.c_str());
    const auto took = Clock::now() - start;
    dup2(savedInput, 0), close(savedInput), close(pipeEnds[0]), close(pipeEnds[1]);
    EXPECT_TRUE(result == 33 && took < 900ms && waitpid(-1, nullptr, WNOHANG) == -1) << "not waited for, and not this process's child";
    ASSERT_TRUE(eventually([&] { return std::filesystem::exists(done); }));
    const std::string report = vutil::test::TempDir::read(done);
    const std::size_t firstLine = report.find('\n');
    EXPECT_NE(std::stol(report.substr(0, firstLine)), static_cast<long>(getsid(0))) << "a session of its own";
    EXPECT_EQ(report.substr(firstLine), "\n/dev/null\n42\n") << "no input and no other file";
    // Lines longer than 1023 characters are refused, not cut: ": xxx; touch PATH" of 1024, then 1023.
    const std::string marker = dir.file("m"), tail = "; touch " + marker;
    EXPECT_EQ(KORsystem(": %s%s", std::string(1024 - 2 - tail.size(), 'x').c_str(), tail.c_str()), 11);
    EXPECT_TRUE(KORsystem(": %s%s", std::string(1023 - 2 - tail.size(), 'x').c_str(), tail.c_str()) == 33 && eventually([&] { return std::filesystem::exists(marker); }));
    EXPECT_TRUE(KORsystem("%s", "") == 11 && KORsystem("%s", " \t ") == 11 && KORsystem(nullptr) == 11);
}

}  // namespace
