// Exports of the compound-document services.
#include "storage/compound_document.h"
#include "vutil/storage.h"

namespace ole = vutil::storage;

extern "C" {

VUTIL_API int32_t KorOleQueryStorage(const char *document, const char *path, int32_t index, int32_t name_size,
                                     char *name) noexcept {
    return ole::queryStorage(document, path, index, name_size, name);
}

VUTIL_API int32_t KorOleOpenStream(const char *document, const char *path, int32_t *handle) noexcept {
    return ole::openStream(document, path, handle);
}

VUTIL_API int32_t KorOleCloseStream(int32_t handle) noexcept { return ole::closeStream(handle); }

VUTIL_API int32_t KorOleReadStream(void *dst, int32_t count, int32_t handle) noexcept {
    return ole::readStream(dst, count, handle);
}

VUTIL_API int32_t KorOleStreamFgetc(int32_t handle) noexcept { return ole::streamGetc(handle); }

VUTIL_API int32_t KorOleSeekStream(int32_t handle, int32_t offset, int32_t origin) noexcept {
    return ole::seekStream(handle, offset, origin);
}

VUTIL_API int32_t KorOleTellStream(int32_t handle) noexcept {
    const ole::Slot *slot = ole::boundSlot(handle);
    return slot != nullptr ? slot->position : 0;
}

VUTIL_API int32_t KorOleStreamSize(int32_t handle) noexcept {
    const ole::Slot *slot = ole::boundSlot(handle);
    return slot != nullptr ? slot->size : 0;
}

}  // extern "C"
