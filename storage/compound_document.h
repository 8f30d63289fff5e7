// Compound-document streams: the run-time binding to the storage services, the stream table, element listing and
// stream reading.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/linkage.h"
#include "platform/storage.h"

namespace vutil::storage {

inline constexpr int32_t kMaxStreams = 15;
/// Paths, names and the temporary copy's name hold at most this many characters.
inline constexpr int32_t kPathLimit = 260;
/// The document is opened to read while others may not write; what lies inside it, to read alone.
inline constexpr uint32_t kDocumentMode = platform::kStgmRead | platform::kStgmShareDenyWrite;
inline constexpr uint32_t kElementMode = platform::kStgmRead | platform::kStgmShareExclusive;

/// Results of queryStorage besides 1 (a stream or another kind) and 2 (a storage).
inline constexpr int32_t kNameCut = -1;  ///< doubled for a storage
inline constexpr int32_t kNoSuchElement = -3;
inline constexpr int32_t kNotAStorage = -4;

/// The binding to the library of the storage services, made on first use and never retried.
struct Binding {
    platform::StorageLibrary *library;
    platform::CoInitializeFunction coInitialize;
    platform::CoUninitializeFunction coUninitialize;
    platform::StgIsStorageFileFunction stgIsStorageFile;
    platform::StgOpenStorageFunction stgOpenStorage;
    bool attempted;
    /// Operations under way or streams open that need the component services started.
    int32_t users;
};

/// One entry of the stream table. A query works in a slot it claims without setting `handle`.
struct Slot {
    int32_t handle;  ///< the slot's own number while a stream is open in it, else 0
    platform::Stream *stream;
    platform::ElementStatus element;  ///< the element the last enumeration step gave
    int32_t position;
    int32_t size;   ///< the low 32 bits of the stream's size
    int32_t depth;  ///< storages opened below the root
    platform::Storage **storages;               ///< entry 0 the root, entry k the storage at depth k
    platform::ElementEnumerator **enumerators;  ///< entry k lists storages[k]
    char copyName[kPathLimit];                  ///< the document's temporary copy, or empty
};

/// The process-wide state; constant-initialised (all zero), so it needs no constructor at load time.
extern Binding gBinding VUTIL_LOCAL;
extern Slot gSlots[kMaxStreams + 1] VUTIL_LOCAL;

/// Names the element `index` of the storage at `path` in `document` (see the KOR_OLE_* results).
int32_t queryStorage(const char *document, const char *path, int32_t index, int32_t nameSize, char *name) noexcept;
/// Opens the stream at `path`; 1 with the handle in `*handle`, or 0 with handle 0.
int32_t openStream(const char *document, const char *path, int32_t *handle) noexcept;
/// Releases everything a handle holds; 1 for a handle in 1..15 (open or not), 0 otherwise or without a binding.
int32_t closeStream(int32_t handle) noexcept;
int32_t seekStream(int32_t handle, int32_t offset, int32_t origin) noexcept;

/// The slot of a handle in 1..15 while the binding stands, else null.
inline Slot *boundSlot(int32_t handle) noexcept {
    return gBinding.library != nullptr && static_cast<uint32_t>(handle) - 1u < static_cast<uint32_t>(kMaxStreams)
               ? &gSlots[handle]
               : nullptr;
}

/// A failed platform read: the stream goes back to `position`; 0.
int32_t readFailed(Slot &slot) noexcept;

/// Reads up to `count` bytes; the bytes read, 0 at the end, on failure, for a count below 1 or without a destination.
/// Inline, so that reading a byte the stream holds costs a few compares.
inline int32_t readStream(void *destination, int32_t count, int32_t handle) noexcept {
    Slot *slot = boundSlot(handle);
    if (slot == nullptr || slot->position == slot->size || count < 1 || slot->stream == nullptr ||
        destination == nullptr) {
        return 0;
    }
    if (int64_t{slot->position} + count > slot->size) {
        count = slot->size - slot->position;
    }
    uint32_t got = 0;
    if (slot->stream->read(destination, static_cast<uint32_t>(count), &got) != platform::stg::kOk) {
        return readFailed(*slot);
    }
    slot->position += static_cast<int32_t>(got);
    return static_cast<int32_t>(got);
}

/// Reads one byte with readStream: 0..255, or -1.
int32_t streamGetcSlow(int32_t handle) noexcept;

/// The next byte as 0..255, or -1. A byte the stream's window holds is taken without a call; the window holds
/// only bytes of the stream, so the position is then below the size.
inline int32_t streamGetc(int32_t handle) noexcept {
    if (Slot *slot = boundSlot(handle); slot != nullptr && slot->stream != nullptr) {
        if (const int32_t byte = slot->stream->nextByte(); byte >= 0) {
            ++slot->position;
            return byte;
        }
    }
    return streamGetcSlow(handle);
}

/// The unload step: unloads the library and clears the entry points. The attempt stays made; open slots and
/// copies stay as they are.
void releaseBinding() noexcept;

/// Forgets the binding attempt, so that the next query or open binds again. For tests.
void resetBindingForTest() noexcept;
/// Makes the allocation of a slot's lists fail after `successes` more successful ones (negative: never). For tests.
void failListAllocationAfter(int32_t successes) noexcept;
/// Where the library's own diagnostic messages go (the inert _Info unless a test listens). For tests.
using DiagnosticSink = void (*)(const char *message, ...) noexcept;
void setDiagnosticSink(DiagnosticSink sink) noexcept;

}  // namespace vutil::storage
