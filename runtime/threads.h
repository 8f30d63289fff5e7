// Threads and commands: the grace wait of a thread's destruction and detached command lines.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "platform/thread.h"

namespace vutil::runtime {

/// How long KOR_DestroyThread waits for a thread to end.
inline constexpr uint32_t kDestroyGraceMilliseconds = 50;

/// Longest command line that KORsystem starts (its buffer holds 1024 bytes with the terminator).
inline constexpr std::size_t kCommandLineMax = 1023;

/// Results of KORsystem, as the program-start service reports them: above 31
/// when the program started.
inline constexpr int32_t kCommandStarted = 33;
inline constexpr int32_t kCommandNoResources = 0;
inline constexpr int32_t kCommandNotFound = 2;
inline constexpr int32_t kCommandBadFormat = 11;

/// Raises the thread's priority and waits up to 50 ms for it to end: 1 when it
/// ended (or the wait failed), 0 when it still runs. The thread is not stopped.
int32_t destroyThread(platform::Thread *thread) noexcept;

/// Formats a command line by the printf rules and starts it detached. A line
/// longer than kCommandLineMax characters, an empty one and a format error
/// start nothing and give kCommandBadFormat.
int32_t startCommand(const char *format, va_list arguments) noexcept;

}  // namespace vutil::runtime
