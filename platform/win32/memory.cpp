// Global memory blocks: the system's own GlobalAlloc family, with a count of
// the blocks the library allocated that are still live, and the failure seam
// of the tests.
#include "platform/memory.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

namespace vutil::platform {
namespace {

/// Blocks the library handed out may be freed by their caller with the
/// system's GlobalFree, which the library does not see. So movable blocks are
/// kept by handle, and the count asks the system which are still valid; fixed
/// blocks (addresses, which cannot be asked about safely) are counted.
std::mutex blocksLock;
std::vector<HGLOBAL> movableBlocks;
std::atomic<std::size_t> fixedBlocks{0};
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

}  // namespace

HGLOBAL globalAlloc(uint32_t flags, std::size_t bytes) noexcept {
    if (shouldFail()) {
        return nullptr;
    }
    HGLOBAL block = ::GlobalAlloc(flags, bytes);
    if (block == nullptr) {
        return nullptr;
    }
    if (!(flags & GMEM_MOVEABLE)) {
        fixedBlocks.fetch_add(1, std::memory_order_relaxed);
        return block;
    }
    try {
        std::lock_guard lock(blocksLock);
        movableBlocks.push_back(block);
    } catch (...) {
        ::GlobalFree(block);  // no memory to keep track of it
        return nullptr;
    }
    return block;
}

void *globalLock(HGLOBAL block) noexcept {
    return block == nullptr ? nullptr : ::GlobalLock(block);
}

bool globalUnlock(HGLOBAL block) noexcept {
    return block != nullptr && ::GlobalUnlock(block) != FALSE;
}

bool globalFree(HGLOBAL block) noexcept {
    if (block == nullptr) {
        return false;
    }
    std::lock_guard lock(blocksLock);
    const auto kept = std::find(movableBlocks.begin(), movableBlocks.end(), block);
    if (::GlobalFree(block) != nullptr) {
        return false;
    }
    if (kept != movableBlocks.end()) {
        movableBlocks.erase(kept);
    } else {
        fixedBlocks.fetch_sub(1, std::memory_order_relaxed);
    }
    return true;
}

std::size_t globalSize(HGLOBAL block) noexcept {
    return block == nullptr ? 0 : ::GlobalSize(block);
}

std::size_t globalBlocksInUse() noexcept {
    std::lock_guard lock(blocksLock);
    std::erase_if(movableBlocks, [](HGLOBAL block) { return ::GlobalFlags(block) == GMEM_INVALID_HANDLE; });
    return fixedBlocks.load(std::memory_order_relaxed) + movableBlocks.size();
}

void setGlobalAllocFailureAfter(long successes) noexcept {
    failureCountdown.store(successes < 0 ? -1 : successes, std::memory_order_relaxed);
}

}  // namespace vutil::platform
