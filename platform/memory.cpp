// A locked global block held for a scope, over whichever host's global memory the build has.
#include "platform/memory.h"

namespace vutil::platform {

LockedGlobal::LockedGlobal(uint32_t flags, std::size_t bytes) noexcept : handle_(globalAlloc(flags, bytes)) {
    if (handle_ != nullptr) {
        data_ = globalLock(handle_);
        if (data_ == nullptr) {
            globalFree(handle_);
            handle_ = nullptr;
        }
    }
}

LockedGlobal::~LockedGlobal() {
    if (handle_ != nullptr) {
        globalUnlock(handle_);
        globalFree(handle_);
    }
}

}  // namespace vutil::platform
