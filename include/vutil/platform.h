/* Host services that callers share with the library: global memory blocks.
 * On Windows these are the system's own GlobalAlloc family from <windows.h>;
 * elsewhere the library supplies them with the same rules. */
#ifndef VUTIL_PLATFORM_H
#define VUTIL_PLATFORM_H

#include "vutil/frame.h"

#if defined(_WIN32)
#  include <windows.h>
#else

/* A global memory block. Movable blocks are reached through GlobalLock;
 * for a fixed block the handle is the block's address itself. */
typedef struct vutil_global_block *HGLOBAL;

#define GMEM_FIXED 0x0000u    /* the handle is the block's address */
#define GMEM_MOVEABLE 0x0002u /* the handle must be locked to reach the block */
#define GMEM_ZEROINIT 0x0040u /* the block starts zero-filled */
#define GMEM_SHARE 0x2000u    /* accepted and ignored */
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

VUTIL_BEGIN_DECLS

/** Allocates a block of bytes (GMEM_* flags); null when memory runs out. The caller frees it with GlobalFree. */
VUTIL_API HGLOBAL GlobalAlloc(uint32_t flags, size_t bytes) VUTIL_NOEXCEPT;
/** Locks a block and returns its address (null for a bad handle or an empty movable block); counts locks of movable blocks. */
VUTIL_API void *GlobalLock(HGLOBAL block) VUTIL_NOEXCEPT;
/** Undoes one GlobalLock; nonzero while the block stays locked, 0 once unlocked. */
VUTIL_API int32_t GlobalUnlock(HGLOBAL block) VUTIL_NOEXCEPT;
/** Frees a block (locked or not); null on success, the handle itself for a bad handle. */
VUTIL_API HGLOBAL GlobalFree(HGLOBAL block) VUTIL_NOEXCEPT;
/** Size in bytes that the block was allocated with; 0 for a bad handle. */
VUTIL_API size_t GlobalSize(HGLOBAL block) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* !_WIN32 */

#endif /* VUTIL_PLATFORM_H */
