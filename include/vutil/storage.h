/* Compound documents: element listing and stream reading in structured-storage files. */
#ifndef VUTIL_STORAGE_H
#define VUTIL_STORAGE_H

#include "vutil/frame.h"

/* Stream handles run from 1 to KOR_MAX_STREAMS; 0 means none. */
#define KOR_MAX_STREAMS 15

/* Results of KorOleQueryStorage besides 1 (stream) and 2 (storage). */
#define KOR_OLE_NAME_CUT_STREAM (-1)
#define KOR_OLE_NAME_CUT_STORAGE (-2)
#define KOR_OLE_NO_SUCH_ELEMENT (-3)
#define KOR_OLE_NOT_A_STORAGE (-4)

VUTIL_BEGIN_DECLS

/** Names element index of the storage at path inside document into name (name_size characters and a terminator);
 *  1 stream, 2 storage, -1/-2 the same with the name cut, -3 no such index, -4 no storage there, 0 other failure. */
VUTIL_API int32_t KorOleQueryStorage(const char *document, const char *path, int32_t index, int32_t name_size,
                                     char *name) VUTIL_NOEXCEPT;
/** Opens the stream at path inside document; 1 and the handle (1..15), or 0 and handle 0. */
VUTIL_API int32_t KorOleOpenStream(const char *document, const char *path, int32_t *handle) VUTIL_NOEXCEPT;
/** Closes a stream and everything it holds; 1 for a handle in 1..15, else 0. */
VUTIL_API int32_t KorOleCloseStream(int32_t handle) VUTIL_NOEXCEPT;
/** Reads up to count bytes; the bytes read, 0 at the end or on failure. */
VUTIL_API int32_t KorOleReadStream(void *dst, int32_t count, int32_t handle) VUTIL_NOEXCEPT;
/** The next byte as 0..255, or -1 at the end, on a read failure or for a handle that is not open. */
VUTIL_API int32_t KorOleStreamFgetc(int32_t handle) VUTIL_NOEXCEPT;
/** Moves the position (0 start, 1 current, 2 end) to a target inside the stream; 1, or 0 for a target outside
 *  it, an unknown origin or a handle that is not open. */
VUTIL_API int32_t KorOleSeekStream(int32_t handle, int32_t offset, int32_t origin) VUTIL_NOEXCEPT;
/** The reading position, or 0 for a handle that is not open. */
VUTIL_API int32_t KorOleTellStream(int32_t handle) VUTIL_NOEXCEPT;
/** The stream's size (low 32 bits), or 0 for a handle that is not open. */
VUTIL_API int32_t KorOleStreamSize(int32_t handle) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_STORAGE_H */
