// Threads over POSIX threads, with suspension by a real-time signal whose handler waits until resumed.
#include "platform/thread.h"

#include <pthread.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <ctime>
#include <new>

extern "C" [[noreturn]] void vutil_exit_foreign_thread(void) noexcept;

namespace vutil::platform {

/// How a suspension works: the suspender raises the count and sends the
/// thread the suspend signal; the handler, on the thread itself, reports that the
/// thread has stopped and then waits in sigsuspend until the count is back at
/// 0. The resumer lowers the count and sends the same signal to wake the
/// waiting handler; a delivery that finds no park request, or finds the thread
/// already stopped, starts no wait of its own. The
/// handler touches only atomics, sem_post and the signal-mask calls, all safe
/// in a signal handler.
struct Thread {
    ThreadRoutine routine = nullptr;
    void *context = nullptr;
    pthread_t id{};
    std::atomic<pid_t> kernelId{0};  ///< set when the thread starts, for the priority
    std::atomic<int> startNice{0};   ///< the nice value it started with, set before kernelId

    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;  ///< guards the fields below and the count changes
    pthread_cond_t changed{};                          ///< the thread started, ended, or its count reached 0
    bool running = false;                              ///< past the start gate and not yet ended
    bool ended = false;
    std::atomic<int32_t> suspendCount{0};  ///< changed under lock, read by the handler

    std::atomic<uint32_t> parkRequests{0};  ///< suspensions waiting for the handler to report the stop
    std::atomic<bool> stopped{false};       ///< the handler holds the thread; only the thread itself touches it
    sem_t parked{};                         ///< posted once per park request the handler or the exit answers

    std::jmp_buf exitJump{};  ///< where exitThread leaves the routine's frames
    Thread *nextRecord = nullptr;
};

namespace {

/// Every record ever made, so that they stay reachable for the process's life.
std::atomic<Thread *> records{nullptr};

thread_local Thread *currentThread = nullptr;

/// The real-time signal the thread service takes for itself (its handler is
/// installed when the first thread is started). One near the top of the range,
/// away from the numbers programs count up from SIGRTMIN.
int suspendSignal() noexcept { return SIGRTMAX - 3; }

void onSuspendSignal(int) noexcept {
    const int savedErrno = errno;
    Thread *self = currentThread;
    // A delivery to a thread already stopped here only ends its sigsuspend: the
    // loop below answers it, so that stops never pile up on the thread's stack.
    if (self != nullptr && !self->stopped.load() && self->parkRequests.load() > 0) {
        self->stopped.store(true);
        // While stopped, nothing but the wake-up signal runs on this thread.
        sigset_t waitMask;
        sigfillset(&waitMask);
        sigdelset(&waitMask, suspendSignal());
        for (;;) {
            for (uint32_t requests = self->parkRequests.exchange(0); requests > 0; --requests) {
                sem_post(&self->parked);
            }
            if (self->suspendCount.load() == 0) {
                break;
            }
            sigsuspend(&waitMask);
        }
        self->stopped.store(false);
    }
    errno = savedErrno;
}

pthread_once_t handlerOnce = PTHREAD_ONCE_INIT;
bool handlerInstalled = false;

void installHandler() noexcept {
    struct sigaction action {};
    action.sa_handler = onSuspendSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    handlerInstalled = sigaction(suspendSignal(), &action, nullptr) == 0;
}

/// Blocks the suspend signal on the calling thread for a scope, so that it
/// is not stopped while it holds a record's lock.
class SuspendSignalBlocked {
public:
    SuspendSignalBlocked() noexcept {
        sigset_t block;
        sigemptyset(&block);
        sigaddset(&block, suspendSignal());
        pthread_sigmask(SIG_BLOCK, &block, &previous_);
    }
    ~SuspendSignalBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SuspendSignalBlocked(const SuspendSignalBlocked &) = delete;
    SuspendSignalBlocked &operator=(const SuspendSignalBlocked &) = delete;

private:
    sigset_t previous_{};
};

class Locked {
public:
    explicit Locked(Thread *thread) noexcept : thread_(thread) { pthread_mutex_lock(&thread_->lock); }
    ~Locked() { pthread_mutex_unlock(&thread_->lock); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

private:
    Thread *thread_;
};

void waitForPark(Thread *thread) noexcept {
    while (sem_wait(&thread->parked) != 0 && errno == EINTR) {
    }
}

/// The end of every started thread, whether its routine returned or it called exitThread.
void finish(Thread *thread) noexcept {
    SuspendSignalBlocked blocked;  // a suspension still on its way is answered here instead
    Locked locked(thread);
    thread->running = false;
    thread->ended = true;
    for (uint32_t requests = thread->parkRequests.exchange(0); requests > 0; --requests) {
        sem_post(&thread->parked);
    }
    pthread_cond_broadcast(&thread->changed);
}

void *threadMain(void *argument) {
    auto *thread = static_cast<Thread *>(argument);
    currentThread = thread;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);  // this thread's own, taken from its creator
    thread->startNice.store(errno == 0 ? nice : 0);
    thread->kernelId.store(gettid());
    {
        // The start gate: a thread made suspended waits here for its resumption.
        Locked locked(thread);
        while (thread->suspendCount.load() > 0) {
            pthread_cond_wait(&thread->changed, &thread->lock);
        }
        thread->running = true;
    }
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, suspendSignal());
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    if (setjmp(thread->exitJump) == 0) {
        thread->routine(thread->context);
    }
    finish(thread);
    return nullptr;
}

bool initRecord(Thread *thread) noexcept {
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) {
        return false;
    }
    bool made = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
                pthread_cond_init(&thread->changed, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (made && sem_init(&thread->parked, 0, 0) != 0) {
        pthread_cond_destroy(&thread->changed);
        made = false;
    }
    return made;
}

bool launch(Thread *thread, std::size_t stackBytes) noexcept {
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) {
        return false;
    }
    // Threads are never joined: their end is told by the record.
    bool ready = pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED) == 0;
    std::size_t defaultBytes = 0;
    if (ready && pthread_attr_getstacksize(&attributes, &defaultBytes) == 0 && stackBytes > defaultBytes) {
        ready = pthread_attr_setstacksize(&attributes, stackBytes) == 0;
    }
    bool started = false;
    if (ready) {
        // The thread starts with the suspend signal blocked and unblocks it
        // once it knows its record.
        SuspendSignalBlocked blocked;
        started = pthread_create(&thread->id, &attributes, threadMain, thread) == 0;
    }
    pthread_attr_destroy(&attributes);
    return started;
}

}  // namespace

Thread *startThread(ThreadRoutine routine, void *context, std::size_t stackBytes, bool suspended) noexcept {
    pthread_once(&handlerOnce, installHandler);
    if (routine == nullptr || !handlerInstalled) {
        return nullptr;
    }
    auto *thread = new (std::nothrow) Thread;
    if (thread == nullptr) {
        return nullptr;
    }
    if (!initRecord(thread)) {
        delete thread;
        return nullptr;
    }
    thread->routine = routine;
    thread->context = context;
    thread->suspendCount.store(suspended ? 1 : 0);
    if (!launch(thread, stackBytes)) {
        sem_destroy(&thread->parked);
        pthread_cond_destroy(&thread->changed);
        delete thread;
        return nullptr;
    }
    thread->nextRecord = records.load();
    while (!records.compare_exchange_weak(thread->nextRecord, thread)) {
    }
    return thread;
}

WaitResult waitForThread(Thread *thread, uint32_t milliseconds) noexcept {
    timespec deadline{};
    if (clock_gettime(CLOCK_MONOTONIC, &deadline) != 0) {
        return WaitResult::Failed;
    }
    constexpr int64_t kNanosecondsPerSecond = 1000000000;
    const int64_t nanoseconds = deadline.tv_nsec + int64_t{milliseconds} * 1000000;
    deadline.tv_sec += static_cast<time_t>(nanoseconds / kNanosecondsPerSecond);
    deadline.tv_nsec = static_cast<long>(nanoseconds % kNanosecondsPerSecond);
    SuspendSignalBlocked blocked;
    Locked locked(thread);
    while (!thread->ended) {
        int status = pthread_cond_timedwait(&thread->changed, &thread->lock, &deadline);
        if (status == ETIMEDOUT) {
            return WaitResult::TimedOut;
        }
        if (status != 0) {
            return WaitResult::Failed;
        }
    }
    return WaitResult::Ended;
}

void raiseThreadPriority(Thread *thread) noexcept {
    // Under the lock the thread cannot end meanwhile: the id of an ended thread
    // may name another thread, or another process, by now.
    SuspendSignalBlocked blocked;
    Locked locked(thread);
    const pid_t id = thread->kernelId.load();
    if (id == 0 || thread->ended) {
        return;  // not started yet, or ended
    }
    setpriority(PRIO_PROCESS, static_cast<id_t>(id), std::max(thread->startNice.load() - kHighestPrioritySteps, -20));
}

int32_t suspendThread(Thread *thread) noexcept {
    bool mustPark = false;
    int32_t previous;
    {
        SuspendSignalBlocked blocked;
        Locked locked(thread);
        previous = thread->suspendCount.load();
        if (thread->ended || previous >= kMaxSuspendCount) {
            return -1;
        }
        thread->suspendCount.store(previous + 1);
        mustPark = previous == 0 && thread->running;
        if (mustPark) {
            thread->parkRequests.fetch_add(1);
            // Under the lock the thread cannot have ended, so its id is still
            // valid. A thread suspending itself has the signal blocked here
            // and takes it when the block ends, after the lock is released.
            if (pthread_kill(thread->id, suspendSignal()) != 0) {
                thread->parkRequests.fetch_sub(1);
                thread->suspendCount.store(previous);
                return -1;
            }
        }
    }
    if (mustPark) {
        waitForPark(thread);
    }
    return previous;
}

int32_t resumeThread(Thread *thread) noexcept {
    SuspendSignalBlocked blocked;
    Locked locked(thread);
    const int32_t previous = thread->suspendCount.load();
    if (thread->ended) {
        return -1;
    }
    if (previous > 0) {
        thread->suspendCount.store(previous - 1);
        if (previous == 1) {
            pthread_cond_broadcast(&thread->changed);  // the start gate
            if (thread->running) {
                pthread_kill(thread->id, suspendSignal());  // the waiting handler
            }
        }
    }
    return previous;
}

void exitThread() noexcept {
    if (Thread *self = currentThread; self != nullptr) {
        std::longjmp(self->exitJump, 1);
    }
    vutil_exit_foreign_thread();
}

}  // namespace vutil::platform
