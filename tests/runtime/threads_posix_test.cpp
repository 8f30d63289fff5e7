// Tests of threads and commands on POSIX hosts: nice values, suspension by a signal, pthreads, and commands run by
// the shell. (glibc's local times before 1970 are tested with the host services.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

#include "support/temp_dir.h"
#include "thread_support.h"
#include "vutil/runtime.h"

namespace vutil::test {

uint64_t currentThreadNumber() { return static_cast<uint64_t>(gettid()); }

int levelOf(uint64_t number) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(number));
    return errno == 0 ? nice : INT_MIN;
}

// Two below the start, where a thread of this process may raise its priority so (else it stays).
int levelAfterDestroying(int start) {
    bool canRaise = false;
    std::thread([&] { canRaise = setpriority(PRIO_PROCESS, 0, start - 2) == 0; }).join();
    return canRaise ? std::max(start - 2, -20) : start;
}

}  // namespace vutil::test

namespace {

using namespace vutil::test;

struct Sleeper : Worker {
    int error = 0;
    timespec asked{10, 0}, left{};
    static uint32_t sleepLong(void *context) {
        auto *me = static_cast<Sleeper *>(static_cast<Worker *>(context));
        return me->stage = 1, me->result = nanosleep(&me->asked, &me->left), me->error = errno, me->stage = 2, 0;
    }
};

// Suspension stops a thread with a signal: a host sleep it is in ends early with the time that remains (up to the
// timer's slack, as much as was asked for). A thread the library did not start ends too, from any depth, without
// returning.
TEST(Threads, SuspensionCutsHostSleepsShortAndForeignThreadsExit) {
    Sleeper sleeper;
    Worker exiting;
    sleeper.bombard(Sleeper::sleepLong);
    EXPECT_TRUE(sleeper.result == -1 && sleeper.error == EINTR && sleeper.left.tv_sec <= 10 &&
                sleeper.left.tv_sec + sleeper.left.tv_nsec > 0);
    pthread_t foreign{};
    void *result = &exiting;
    ASSERT_EQ(pthread_create(
                  &foreign, nullptr, [](void *w) -> void * { return Worker::exitFromDepth(w), w; }, &exiting),
              0);
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
    // A line of 1023 characters, the longest, runs whole: ": xxx; touch PATH".
    const std::string marker = dir.file("m"), tail = "; touch " + marker;
    EXPECT_TRUE(KORsystem(": %s%s", std::string(1023 - 2 - tail.size(), 'x').c_str(), tail.c_str()) == 33 && waitUntil([&] { return std::filesystem::exists(marker); }));
    EXPECT_EQ(KORsystem(":"), 33) << "one character";
}

}  // namespace
