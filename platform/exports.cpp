// The exported global-memory functions.
#include "platform/memory.h"

namespace pf = vutil::platform;

extern "C" {

VUTIL_API HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) noexcept { return pf::globalAlloc(flags, bytes); }

VUTIL_API void *GlobalLock(HGLOBAL block) noexcept { return pf::globalLock(block); }

VUTIL_API int32_t GlobalUnlock(HGLOBAL block) noexcept { return pf::globalUnlock(block) ? 1 : 0; }

VUTIL_API HGLOBAL GlobalFree(HGLOBAL block) noexcept { return pf::globalFree(block) ? nullptr : block; }

VUTIL_API size_t GlobalSize(HGLOBAL block) noexcept { return pf::globalSize(block); }

}  // extern "C"
