// Global memory blocks over the C heap.
//
// A movable block's handle is the address of its header with the lowest bit
// set; a fixed block's handle is the address of its data, which the header
// precedes. The tag bit tells the two apart without reading caller memory,
// and a magic word in the header catches handles that were freed or never
// allocated here.
#include "platform/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace vutil::platform {
namespace {

constexpr uint32_t kMagicLive = 0x564D4742;  // "VMGB"
constexpr uint32_t kMagicDead = 0x64656164;
constexpr uintptr_t kMovableTag = 1;

struct alignas(std::max_align_t) BlockHeader {
    uint32_t magic;
    uint32_t flags;
    uint32_t lockCount;
    std::size_t size;
};

std::atomic<std::size_t> blocksInUse{0};
std::atomic<long> failureCountdown{-1};

bool shouldFail() noexcept {
    long current = failureCountdown.load(std::memory_order_relaxed);
    while (current >= 0) {
        if (failureCountdown.compare_exchange_weak(current, current - 1, std::memory_order_relaxed)) {
            return current == 0;
        }
    }
    return false;
}

BlockHeader *headerOf(HGLOBAL block) noexcept {
    if (block == nullptr) {
        return nullptr;
    }
    auto bits = reinterpret_cast<uintptr_t>(block);
    BlockHeader *header;
    if (bits & kMovableTag) {
        header = reinterpret_cast<BlockHeader *>(bits & ~kMovableTag);
    } else {
        if (bits % alignof(BlockHeader) != 0) {
            return nullptr;
        }
        header = reinterpret_cast<BlockHeader *>(bits) - 1;
    }
    if (header->magic != kMagicLive) {
        return nullptr;
    }
    return header;
}

}  // namespace

HGLOBAL globalAlloc(uint32_t flags, std::size_t bytes) noexcept {
    if (bytes > SIZE_MAX - sizeof(BlockHeader) || shouldFail()) {
        return nullptr;
    }
    void *raw = (flags & kGmemZeroInit) ? std::calloc(1, sizeof(BlockHeader) + bytes)
                                         : std::malloc(sizeof(BlockHeader) + bytes);
    if (raw == nullptr) {
        return nullptr;
    }
    auto *header = new (raw) BlockHeader{kMagicLive, flags, 0, bytes};
    blocksInUse.fetch_add(1, std::memory_order_relaxed);
    if (flags & kGmemMoveable) {
        return reinterpret_cast<HGLOBAL>(reinterpret_cast<uintptr_t>(header) | kMovableTag);
    }
    return reinterpret_cast<HGLOBAL>(header + 1);
}

void *globalLock(HGLOBAL block) noexcept {
    BlockHeader *header = headerOf(block);
    if (header == nullptr) {
        return nullptr;
    }
    if (!(header->flags & kGmemMoveable)) {
        return header + 1;
    }
    if (header->size == 0) {
        return nullptr;  // an empty movable block has no memory to lock
    }
    if (header->lockCount < UINT32_MAX) {
        ++header->lockCount;
    }
    return header + 1;
}

bool globalUnlock(HGLOBAL block) noexcept {
    BlockHeader *header = headerOf(block);
    if (header == nullptr || header->lockCount == 0) {
        return false;
    }
    return --header->lockCount != 0;
}

bool globalFree(HGLOBAL block) noexcept {
    BlockHeader *header = headerOf(block);
    if (header == nullptr) {
        return false;
    }
    header->magic = kMagicDead;
    std::free(header);
    blocksInUse.fetch_sub(1, std::memory_order_relaxed);
    return true;
}

std::size_t globalSize(HGLOBAL block) noexcept {
    BlockHeader *header = headerOf(block);
    return header == nullptr ? 0 : header->size;
}

std::size_t globalBlocksInUse() noexcept { return blocksInUse.load(std::memory_order_relaxed); }

void setGlobalAllocFailureAfter(long successes) noexcept {
    failureCountdown.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

}  // namespace vutil::platform
