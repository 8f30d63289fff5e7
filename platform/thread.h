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

/// Raises the thread's scheduling priority one step if the host allows it;
/// without the right to do so, and for a thread that has ended, nothing changes.
void raiseThreadPriority(Thread *thread) noexcept;

/// Adds one to the thread's suspend count. When the count was 0 a running
/// thread stops where it is, and the call returns once it has stopped; a
/// thread may suspend itself. (On POSIX hosts the thread is stopped by a
/// real-time signal, SIGRTMAX - 3, which the service takes for itself.) Returns the previous count, or -1 when the
/// thread has ended or the count is already kMaxSuspendCount.
int32_t suspendThread(Thread *thread) noexcept;

/// Takes one from the suspend count (a count of 0 stays 0); the thread runs
/// on when the count reaches 0. Returns the previous count, or -1 when the
/// thread has ended.
int32_t resumeThread(Thread *thread) noexcept;

/// Ends the calling thread. A thread of startThread ends as if its routine had
/// returned, without running the destructors of the frames it leaves.
[[noreturn]] void exitThread() noexcept;

}  // namespace vutil::platform
