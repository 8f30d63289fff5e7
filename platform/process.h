// Programs started detached through the host's command interpreter.
#pragma once

#include <cstdint>

namespace vutil::platform {

enum class StartResult : uint8_t {
    Started,         ///< the interpreter runs the command line
    NoResources,     ///< no process could be made
    NoInterpreter,   ///< the interpreter itself could not be started
};

/// Runs commandLine through the host's command interpreter ("/bin/sh -c") in a
/// process of its own session, with no input, and returns without waiting for
/// it. The caller is never left with a child to reap.
StartResult startDetached(const char *commandLine) noexcept;

}  // namespace vutil::platform
