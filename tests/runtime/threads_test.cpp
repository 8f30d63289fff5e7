// Tests of threads (start, suspension counts, grace wait, exit), local time and detached commands.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

/// Waits for done(), polling; a bound of a minute only keeps a broken build from hanging. True when done.
bool waitUntil(auto done) {
    for (auto limit = Clock::now() + 60s; Clock::now() < limit && !done();) std::this_thread::yield();
    return done();
}

/// A worker that counts as fast as it can until told to stop.
struct Counter {
    std::atomic<uint64_t> count{0};
    std::atomic<bool> stop{false};
    std::atomic<pid_t> id{0};
    static uint32_t run(void *context) {
        auto *self = static_cast<Counter *>(context);
        for (self->id = gettid(); !self->stop.load();) self->count.fetch_add(1);
        return 0;
    }
    /// True when the count does not move while a free-running twin counts to five million: a clock
    /// that slows down with the machine.
    bool standsStill() {
        Counter twin;
        const uint64_t before = count.load();
        std::thread clock(run, &twin);
        const bool waited = waitUntil([&] { return twin.count.load() >= 5'000'000; });
        return twin.stop = true, clock.join(), waited && count.load() == before;
    }
};

/// The nice value of a kernel thread.
int niceOf(pid_t id) { return errno = 0, getpriority(PRIO_PROCESS, static_cast<id_t>(id)); }

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
    // Destroying waits 50 ms for a running thread and fails, and sets its priority to one level, its starting
    // nice value less 2, where a thread of this process may raise it (else it stays), however often it is called.
    int start = niceOf(0), canRaise = 0;
    std::thread([&] { canRaise = setpriority(PRIO_PROCESS, 0, start - 2) == 0; }).join();
    for (auto [call, began] = std::pair(0, Clock::now()); call < 3; ++call, began = Clock::now())
        EXPECT_TRUE(KOR_DestroyThread(thread) == 0 && Clock::now() - began >= 50ms && niceOf(counter.id) == (canRaise ? std::max(start - 2, -20) : start) && errno == 0) << call;
    counter.stop = true;
    EXPECT_TRUE(waitUntil([&] { return KOR_DestroyThread(thread) == 1; }));
    const auto began = Clock::now();
    for (int call = 0; call < 100; ++call) EXPECT_EQ(KOR_DestroyThread(thread), 1);
    EXPECT_LT(Clock::now() - began, 100 * 50ms) << "an ended thread is answered without the 50 ms wait";
    EXPECT_TRUE(KOR_SuspendThread(thread) + KOR_ResumeThread(thread) == 0 && KOR_DestroyThread(nullptr) == 1) << "an ended thread";
}

/// Suspends itself, sleeps, waits in the library, or calls exit from some depth; the stage tells how far it got.
struct Worker {
    kor_thread *self = nullptr;
    std::atomic<int> stage{0};
    int result = 0, error = 0;
    timespec asked{10, 0}, left{};
    Clock::duration took{};
    static uint32_t suspendItself(void *context) {
        auto *me = static_cast<Worker *>(context);
        return me->stage = 1, KOR_SuspendThread(me->self), me->stage = 2, 0;
    }
    static uint32_t sleepLong(void *context) {
        auto *me = static_cast<Worker *>(context);
        return me->stage = 1, me->result = nanosleep(&me->asked, &me->left), me->error = errno, me->stage = 2, 0;
    }
    static uint32_t destroyRunning(void *context) {
        auto *me = static_cast<Worker *>(context);
        Counter busy;
        kor_thread *other = KOR_CreateThread(Counter::run, 0, &busy, 0);
        const auto began = (me->stage = 1, Clock::now());
        me->result = KOR_DestroyThread(other), me->took = Clock::now() - began, me->stage = 2, busy.stop = true;
        return waitUntil([&] { return KOR_DestroyThread(other) == 1; }), 0;
    }
    /// Starts the routine and suspends and resumes it over and over until it has done its part.
    void bombard(kor_thread_proc routine) {
        self = KOR_CreateThread(routine, 0, this, 0);
        for (int round = 0; stage.load() != 2 && round < 1'000'000; ++round) KOR_SuspendThread(self), KOR_ResumeThread(self);
        waitUntil([&] { return KOR_DestroyThread(self) == 1; });
    }
    void exitAt(int depth) {
        stage = 1, depth == 0 ? KOR_ExitThread() : exitAt(depth - 1);
        stage = 98;  // never reached
    }
    static uint32_t exitFromDepth(void *context) { return static_cast<Worker *>(context)->exitAt(5), 7; }
};

// Suspension stops a thread with a signal: a host sleep it is in ends early with the time that remains (up to the
// timer's slack, as much as was asked for), while the library's own waits go on to their deadlines.
TEST(Threads, AThreadCanSuspendItselfAndExitFromAnyDepthAndSuspensionCutsOnlyHostSleepsShort) {
    Worker stopper, exiting, sleeper, waiter;
    Counter witness;
    sleeper.bombard(Worker::sleepLong), waiter.bombard(Worker::destroyRunning);
    EXPECT_TRUE(sleeper.result == -1 && sleeper.error == EINTR && sleeper.left.tv_sec <= 10 && sleeper.left.tv_sec + sleeper.left.tv_nsec > 0);
    EXPECT_TRUE(waiter.result == 0 && waiter.took >= 50ms) << "the grace wait was cut short";
    stopper.self = KOR_CreateThread(Worker::suspendItself, 0, &stopper, 1), KOR_ResumeThread(stopper.self);
    ASSERT_TRUE(waitUntil([&] { return stopper.stage.load() == 1; }));
    EXPECT_TRUE(witness.standsStill() && stopper.stage.load() == 1) << "went on while suspended";
    KOR_ResumeThread(stopper.self);
    EXPECT_TRUE(waitUntil([&] { return KOR_DestroyThread(stopper.self) == 1 && stopper.stage.load() == 2; }));
    kor_thread *thread = KOR_CreateThread(Worker::exitFromDepth, 0, &exiting, 0);
    ASSERT_TRUE(waitUntil([&] { return KOR_DestroyThread(thread) == 1; }) && exiting.stage.load() == 1);
    // A thread the library did not start ends too, without returning.
    exiting.stage = 0;
    pthread_t foreign{};
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
    EXPECT_TRUE((counter.stop = true, waitUntil([&] { return KOR_DestroyThread(thread) == 1; })));
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

TEST(LocalTime, AllThirtyTwoBitTimesInTheSharedRecord) {
    const std::string saved = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    setenv("TZ", "UTC", 1);
    const int32_t cases[][4] = {{0, 70, 0, 0}, {951782400, 100, 59, 0}, {INT32_MAX, 138, 18, 11647}, {-1, 69, 364, 86399}, {INT32_MIN, 1, 346, 74752}};
    const struct tm *t = nullptr;
    for (const auto &[seconds, year, yearDay, secondOfDay] : cases)
        ASSERT_TRUE((t = KOR_LocalTime(seconds)) != nullptr && t->tm_year == year && t->tm_yday == yearDay && t->tm_hour * 3600 + t->tm_min * 60 + t->tm_sec == secondOfDay) << seconds;
    EXPECT_EQ(KOR_LocalTime(1), KOR_LocalTime(2)) << "one shared record";
    saved.empty() ? unsetenv("TZ") : setenv("TZ", saved.c_str(), 1);
}

TEST(Command, StartsDetachedThroughTheShellWithoutWaitingOrInheriting) {
    vutil::test::TempDir dir;
    const std::string done = dir.file("done"), go = dir.file("go");
    // This process reads from a pipe and has another file open that it would hand to its children: the
    // command must get neither. It reports its session, its input and the other file, and then what it reads
    // from a named pipe that is written only once the call has returned: a call that waited would see the
    // command give up on it.
    int pipeEnds[2];
    ASSERT_TRUE(pipe(pipeEnds) == 0 && mkfifo(go.c_str(), 0600) == 0);
    const int savedInput = dup(0), goEnd = open(go.c_str(), O_RDWR);
    dup2(pipeEnds[0], 0);
    const int32_t result = KORsystem("{ cut -d' ' -f6 /proc/$$/stat; readlink /proc/$$/fd/0; ls /proc/$$/fd/%d 2>/dev/null; echo %d; timeout 60 head -n1 %s; } "
                                     "> %s.part && mv %s.part %s", pipeEnds[1], 42, go.c_str(), done.c_str(), done.c_str(), done.c_str());
    dup2(savedInput, 0), close(savedInput), close(pipeEnds[0]), close(pipeEnds[1]);
    EXPECT_TRUE(result == 33 && waitpid(-1, nullptr, WNOHANG) == -1 && write(goEnd, "go\n", 3) == 3) << "not this process's child";
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(done); }) && close(goEnd) == 0);
    const std::string report = vutil::test::TempDir::read(done);
    const std::size_t firstLine = report.find('\n');
    EXPECT_NE(std::stol(report.substr(0, firstLine)), static_cast<long>(getsid(0))) << "a session of its own";
    EXPECT_EQ(report.substr(firstLine), "\n/dev/null\n42\ngo\n") << "no input and no other file, and not waited for";
    // Lines longer than 1023 characters are refused, not cut: ": xxx; touch PATH" of 1024, then 1023.
    const std::string marker = dir.file("m"), tail = "; touch " + marker;
    EXPECT_EQ(KORsystem(": %s%s", std::string(1024 - 2 - tail.size(), 'x').c_str(), tail.c_str()), 11);
    EXPECT_TRUE(KORsystem(": %s%s", std::string(1023 - 2 - tail.size(), 'x').c_str(), tail.c_str()) == 33 && waitUntil([&] { return std::filesystem::exists(marker); }));
    EXPECT_TRUE(KORsystem("%s", "") == 11 && KORsystem("%s", " \t ") == 11 && KORsystem(nullptr) == 11);
}

}  // namespace
