// Exports of the library frame: inert diagnostic entries and the version query.
#include "vutil/frame.h"

extern "C" {

// The diagnostic entries accept their message and arguments and do nothing:
// the library shows no messages of its own.
VUTIL_API void _Error(const char *, ...) noexcept {}
VUTIL_API void _Info(const char *, ...) noexcept {}
VUTIL_API void _InfoBox(const char *, ...) noexcept {}
VUTIL_API void _InfoError(const char *, ...) noexcept {}
VUTIL_API void print_diag(const char *, ...) noexcept {}
VUTIL_API void print_diag2(const char *, ...) noexcept {}
VUTIL_API void KorOleCloseFile(const char *, ...) noexcept {}
VUTIL_API void KorAssert(uint32_t, uint32_t, uint32_t, uint32_t) noexcept {}
VUTIL_API void KorBreak(uint32_t) noexcept {}
VUTIL_API void KorBeginPrivateProfileCache(uint32_t) noexcept {}
VUTIL_API void KorEndPrivateProfileCache(uint32_t) noexcept {}
VUTIL_API int32_t KorError(int32_t) noexcept { return 0; }
VUTIL_API int32_t KorOleOpenFile(uint32_t) noexcept { return 0; }

VUTIL_API int32_t GetMXRLANG(void) noexcept { return VUTIL_VERSION_CODE; }

}  // extern "C"
