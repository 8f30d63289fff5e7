/* Library frame: conventions shared by every header, diagnostic entries and the version query. */
#ifndef VUTIL_FRAME_H
#define VUTIL_FRAME_H

#include <stddef.h>
#include <stdint.h>

/* Every export uses the C calling convention (cdecl on 32-bit Windows: the
 * caller removes the arguments), as the variadic exports (KorGetStringIndex,
 * KORsscanf, KorFPrintf, the diagnostic entries) require; on Windows the names
 * are exported undecorated from vutil.dll. A caller that declares an export
 * itself, or calls one through a pointer from GetProcAddress, declares it with
 * the C convention too, never __stdcall (WINAPI). */
#if defined(_WIN32) && defined(VUTIL_STATIC)
#  define VUTIL_API /* linked with the static library */
#elif defined(_WIN32)
#  if defined(VUTIL_BUILDING)
#    define VUTIL_API /* exported by the module-definition file alone */
#  else
#    define VUTIL_API __declspec(dllimport)
#  endif
#else
#  define VUTIL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define VUTIL_BEGIN_DECLS extern "C" {
#  define VUTIL_END_DECLS }
#  define VUTIL_NOEXCEPT noexcept
#else
#  define VUTIL_BEGIN_DECLS
#  define VUTIL_END_DECLS
#  define VUTIL_NOEXCEPT
#endif

/* Results shared by the flag-returning operations: 1 succeeded, 0 failed. */
#define VUTIL_OK 1
#define VUTIL_FAILED 0

/* The value GetMXRLANG reports. */
#define VUTIL_VERSION_CODE 300

VUTIL_BEGIN_DECLS

/* ---- Diagnostic entries -------------------------------------------------
 * Callers link against these to report messages; the library shows nothing,
 * so each accepts a message (which may be null) and further arguments and
 * does nothing. */

/** Accepts an error message; does nothing. */
VUTIL_API void _Error(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts an information message; does nothing. The library's own messages ("tag|text") come here. */
VUTIL_API void _Info(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts a message meant for a message box; does nothing. */
VUTIL_API void _InfoBox(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts an error message meant for a message box; does nothing. */
VUTIL_API void _InfoError(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts a diagnostic trace line; does nothing. */
VUTIL_API void print_diag(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts a second-level diagnostic trace line; does nothing. */
VUTIL_API void print_diag2(const char *message, ...) VUTIL_NOEXCEPT;
/** Kept for callers of the old compound-file interface; does nothing. */
VUTIL_API void KorOleCloseFile(const char *message, ...) VUTIL_NOEXCEPT;
/** Accepts an assertion report of four words; does nothing. */
VUTIL_API void KorAssert(uint32_t a, uint32_t b, uint32_t c, uint32_t d) VUTIL_NOEXCEPT;
/** Accepts a break request; does nothing. */
VUTIL_API void KorBreak(uint32_t code) VUTIL_NOEXCEPT;
/** Opens a bracket around a series of settings calls; does nothing. */
VUTIL_API void KorBeginPrivateProfileCache(uint32_t code) VUTIL_NOEXCEPT;
/** Closes a bracket around a series of settings calls; does nothing. */
VUTIL_API void KorEndPrivateProfileCache(uint32_t code) VUTIL_NOEXCEPT;
/** Error state of a buffered file: the library keeps none, so always 0. */
VUTIL_API int32_t KorError(int32_t file) VUTIL_NOEXCEPT;
/** Kept for callers of the old compound-file interface; always 0. */
VUTIL_API int32_t KorOleOpenFile(uint32_t code) VUTIL_NOEXCEPT;

/* ---- Version --------------------------------------------------------------*/

/** The library's interface version: always 300. */
VUTIL_API int32_t GetMXRLANG(void) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_FRAME_H */
