// Threads that can be started suspended, suspended and resumed with counts, waited for and ended.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vutil::platform {

/// A thread started by startThread. The record lives as long as the process,
/// so a handle stays usable after its thread has ended, as a handle that is
/// never closed does.
struct Thread;

/// Start routine of a thread: receives the context, returns the exit code.
using ThreadRoutine = uint32_t (*)(void *context);

/// Highest suspend count; suspending a thread once more fails.
inline constexpr int32_t kMaxSuspendCount = 127;

/// Starts routine(context) on a new thread with at least stackBytes of stack
/// (0: the host's default). A thread started suspended has a suspend count of
/// 1 and does not run the routine until it is resumed. Null on failure.
Thread *startThread(ThreadRoutine routine, void *context, std::size_t stackBytes, bool suspended) noexcept;

enum class WaitResult : uint8_t { Ended, TimedOut, Failed };

/// Waits up to `milliseconds` for the thread to end (its routine returned or
/// it called exitThread).
WaitResult waitForThread(Thread *thread, uint32_t milliseconds) noexcept;

/// Steps above a thread's starting priority of the highest normal level.
inline constexpr int kHighestPrioritySteps = 2;

/// Sets the thread's scheduling priority to the highest normal level:
/// kHighestPrioritySteps above the priority it started with (on POSIX hosts,
/// its starting nice value less 2), however often it is called. Without the
/// right to raise it, and for a thread that has ended, nothing changes.
void raiseThreadPriority(Thread *thread) noexcept;

/// Adds one to the thread's suspend count. When the count was 0 a running
/// thread stops where it is, and the call returns once it has stopped; a
/// thread may suspend itself. Returns the previous count, or -1 when the
/// thread has ended or the count is already kMaxSuspendCount.
///
/// On POSIX hosts the thread is stopped by a real-time signal, SIGRTMAX - 3,
/// which the service takes for itself: no host service stops one thread of a
/// process otherwise (a stop signal stops them all; tracing needs a second
/// process and takes every signal). The limit that follows: host calls that
/// the signal interrupts and that the host does not restart - sleeps and timed
/// waits such as nanosleep, usleep, poll, select, epoll_wait, sem_timedwait -
/// return early with EINTR once the thread is resumed, as after any signal
/// (nanosleep reports the time that remains). Calls the host restarts (reads,
/// writes, locks, waits for a child or a mutex) carry on. Every wait of the
/// library itself waits to its own deadline.
int32_t suspendThread(Thread *thread) noexcept;

/// Takes one from the suspend count (a count of 0 stays 0); the thread runs
/// on when the count reaches 0. Returns the previous count, or -1 when the
/// thread has ended.
int32_t resumeThread(Thread *thread) noexcept;

/// Ends the calling thread. A thread of startThread ends as if its routine had
/// returned, without running the destructors of the frames it leaves.
[[noreturn]] void exitThread() noexcept;

}  // namespace vutil::platform
