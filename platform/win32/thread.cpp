// Threads over the system's own thread calls: CreateThread, SuspendThread and
// ResumeThread with their suspend counts, WaitForSingleObject, ExitThread.
#include "platform/thread.h"

#include <windows.h>

#include <new>

namespace vutil::platform {

/// The record of a started thread. Its handle is never closed, so that the
/// record, and the handle in it, stay valid for the life of the process.
struct Thread {
    ThreadRoutine routine = nullptr;
    void *context = nullptr;
    HANDLE handle = nullptr;
    DWORD id = 0;
};

namespace {

DWORD WINAPI threadMain(LPVOID argument) {
    auto *thread = static_cast<Thread *>(argument);
    return thread->routine(thread->context);
}

bool ended(const Thread *thread) noexcept {
    return ::WaitForSingleObject(thread->handle, 0) == WAIT_OBJECT_0;
}

}  // namespace

Thread *startThread(ThreadRoutine routine, void *context, std::size_t stackBytes, bool suspended) noexcept {
    if (routine == nullptr) {
        return nullptr;
    }
    auto *thread = new (std::nothrow) Thread;
    if (thread == nullptr) {
        return nullptr;
    }
    thread->routine = routine;
    thread->context = context;
    // The size is what the stack commits to start with; the program's default
    // reservation stays, so no thread gets less stack than the default.
    const DWORD flags = suspended ? CREATE_SUSPENDED : 0;
    thread->handle = ::CreateThread(nullptr, stackBytes, threadMain, thread, flags, &thread->id);
    if (thread->handle == nullptr) {
        delete thread;
        return nullptr;
    }
    return thread;
}

WaitResult waitForThread(Thread *thread, uint32_t milliseconds) noexcept {
    switch (::WaitForSingleObject(thread->handle, milliseconds)) {
        case WAIT_OBJECT_0:
            return WaitResult::Ended;
        case WAIT_TIMEOUT:
            return WaitResult::TimedOut;
        default:
            return WaitResult::Failed;
    }
}

void raiseThreadPriority(Thread *thread) noexcept {
    if (ended(thread)) {
        return;
    }
    // Threads start at the normal level, so the highest normal level is the
    // two steps above it, reached in one call.
    const int priority = ::GetThreadPriority(thread->handle);
    if (priority != THREAD_PRIORITY_ERROR_RETURN && priority < THREAD_PRIORITY_HIGHEST) {
        ::SetThreadPriority(thread->handle, THREAD_PRIORITY_HIGHEST);
    }
}

int32_t suspendThread(Thread *thread) noexcept {
    if (ended(thread)) {
        return -1;
    }
    const DWORD previous = ::SuspendThread(thread->handle);
    if (previous == static_cast<DWORD>(-1)) {
        return -1;
    }
    if (previous >= static_cast<DWORD>(kMaxSuspendCount)) {
        ::ResumeThread(thread->handle);  // a host that counts further: keep to the common limit
        return -1;
    }
    if (previous == 0 && thread->id != ::GetCurrentThreadId()) {
        // SuspendThread may return before the thread has stopped; asking for
        // its registers waits until it has.
        CONTEXT registers{};
        registers.ContextFlags = CONTEXT_CONTROL;
        ::GetThreadContext(thread->handle, &registers);
    }
    return static_cast<int32_t>(previous);
}

int32_t resumeThread(Thread *thread) noexcept {
    if (ended(thread)) {
        return -1;
    }
    const DWORD previous = ::ResumeThread(thread->handle);
    return previous == static_cast<DWORD>(-1) ? -1 : static_cast<int32_t>(previous);
}

void exitThread() noexcept {
    ::ExitThread(0);
}

}  // namespace vutil::platform
