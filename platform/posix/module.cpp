// Module handle and file name through the dynamic loader.
#include "platform/module.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

namespace vutil::platform {

void *currentModule() noexcept {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void *>(&currentModule), &info) != 0 && info.dli_fbase != nullptr) {
        return info.dli_fbase;
    }
    return reinterpret_cast<void *>(&currentModule);
}

std::string moduleFileName(void *module) {
    if (module == nullptr) {
        return {};
    }
    Dl_info info{};
    std::string name;
    if (dladdr(module, &info) != 0 && info.dli_fname != nullptr) {
        name = info.dli_fname;
    }
    // The main program may be reported by the name it was started with.
    char resolved[PATH_MAX];
    if (!name.empty() && realpath(name.c_str(), resolved) != nullptr) {
        return resolved;
    }
    ssize_t length = readlink("/proc/self/exe", resolved, sizeof resolved - 1);
    if (length > 0) {
        resolved[length] = '\0';
        return resolved;
    }
    return name;
}

bool loaderCallsEntry() noexcept { return false; }

}  // namespace vutil::platform
