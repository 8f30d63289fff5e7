// Programs started with WinExec, minimised and not activated; the library
// never waits for them.
#include "platform/process.h"

#include <windows.h>

namespace vutil::platform {

StartResult startDetached(const char *commandLine) noexcept {
    const UINT result = ::WinExec(commandLine, SW_SHOWMINNOACTIVE);
    if (result > 31) {
        return StartResult::Started;
    }
    // 0: the system is out of memory or resources; the other codes say the
    // program could not be found or is not one.
    return result == 0 ? StartResult::NoResources : StartResult::NoInterpreter;
}

}  // namespace vutil::platform
