// Global memory blocks: movable and fixed blocks with lock counts, and a failure seam for tests.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vutil/platform.h"

namespace vutil::platform {

inline constexpr uint32_t kGmemMoveable = GMEM_MOVEABLE;
inline constexpr uint32_t kGmemZeroInit = GMEM_ZEROINIT;

/// Allocates a block; null when memory runs out (or the failure seam says so).
HGLOBAL globalAlloc(uint32_t flags, std::size_t bytes) noexcept;
/// Locks a block and returns its address; null for a bad handle or an empty movable block.
void *globalLock(HGLOBAL block) noexcept;
/// Undoes one lock; true while the block stays locked.
bool globalUnlock(HGLOBAL block) noexcept;
/// Frees a block; false for a bad handle.
bool globalFree(HGLOBAL block) noexcept;
/// The size the block was allocated with; 0 for a bad handle.
std::size_t globalSize(HGLOBAL block) noexcept;
/// Number of blocks currently allocated, for leak checks in tests.
std::size_t globalBlocksInUse() noexcept;

/// Makes the allocation after `successes` more successful ones fail (negative: never fail).
/// Tests use it to reach the out-of-memory paths of the services that take global memory.
void setGlobalAllocFailureAfter(long successes) noexcept;

/// Owns a global block locked for the length of a scope, as the services use their work tables.
class LockedGlobal {
public:
    LockedGlobal(uint32_t flags, std::size_t bytes) noexcept;
    ~LockedGlobal();
    LockedGlobal(const LockedGlobal &) = delete;
    LockedGlobal &operator=(const LockedGlobal &) = delete;

    /// The locked address, or null when the block could not be had.
    void *data() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    HGLOBAL handle_ = nullptr;
    void *data_ = nullptr;
};

}  // namespace vutil::platform
