// Threads and commands over the host's thread and program-start services.
#include "runtime/threads.h"

#include <cstdio>
#include <cstring>

#include "platform/process.h"

namespace vutil::runtime {

int32_t destroyThread(platform::Thread *thread) noexcept {
    platform::raiseThreadPriority(thread);
    return platform::waitForThread(thread, kDestroyGraceMilliseconds) == platform::WaitResult::TimedOut ? 0 : 1;
}

int32_t startCommand(const char *format, va_list arguments) noexcept {
    char line[kCommandLineMax + 1];
    const int length = std::vsnprintf(line, sizeof line, format, arguments);
    // A longer line would not fit the buffer; it is refused rather than cut,
    // since a cut command line is a different command.
    if (length <= 0 || static_cast<std::size_t>(length) > kCommandLineMax ||
        line[std::strspn(line, " \t")] == '\0') {
        return kCommandBadFormat;
    }
    switch (platform::startDetached(line)) {
        case platform::StartResult::Started:
            return kCommandStarted;
        case platform::StartResult::NoInterpreter:
            return kCommandNotFound;
        case platform::StartResult::NoResources:
            break;
    }
    return kCommandNoResources;
}

}  // namespace vutil::runtime
