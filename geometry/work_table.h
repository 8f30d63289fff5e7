// Working tables of the polygon-against-polygon clipper: heap arrays that grow by doubling and stay
// allocated from one clip to the next.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace vutil::geometry {

namespace detail {
/// Allocations left before the failure seam makes one fail; negative: never.
inline long clipAllocationsBeforeFailure = -1;
}  // namespace detail

/// Makes the clipper's allocation after `successes` more successful ones fail (negative: never fail).
/// Tests use it to reach the out-of-memory paths of the tables and of the result array.
inline void setClipAllocationFailureAfter(long successes) noexcept {
    detail::clipAllocationsBeforeFailure = successes;
}

/// malloc for the clipper's tables and results (never asked for 0 bytes); null when memory runs out
/// or the seam says so.
inline void *clipMalloc(std::size_t bytes) noexcept {
    if (detail::clipAllocationsBeforeFailure == 0) {
        return nullptr;
    }
    if (detail::clipAllocationsBeforeFailure > 0) {
        --detail::clipAllocationsBeforeFailure;
    }
    return std::malloc(bytes);
}

/// An array of plain elements whose storage grows on demand and is kept until released. It has no
/// constructor work and no destructor, so a process-wide state made of such tables needs neither.
template <typename T>
class WorkTable {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    /// A table that has never had storage starts with room for this many elements.
    static constexpr std::size_t kFirstCapacity = 20;

    T *data() const noexcept { return data_; }
    T &operator[](std::size_t i) const noexcept { return data_[i]; }
    std::size_t capacity() const noexcept { return capacity_; }

    /// Makes room for at least `count` elements, doubling the capacity as often as needed; the
    /// elements held are kept. False when memory runs out, with the table as it was.
    bool reserve(std::size_t count) noexcept {
        if (count <= capacity_) {
            return true;
        }
        if (count > kMaxElements) {
            return false;
        }
        std::size_t grown = capacity_ == 0 ? kFirstCapacity : capacity_;
        while (grown < count) {
            grown *= 2;
        }
        T *bigger = static_cast<T *>(clipMalloc(grown * sizeof(T)));
        if (bigger == nullptr) {
            return false;
        }
        if (data_ != nullptr) {
            std::memcpy(static_cast<void *>(bigger), data_, capacity_ * sizeof(T));
            std::free(data_);
        }
        data_ = bigger;
        capacity_ = grown;
        return true;
    }

    /// Frees the storage; the table can grow again afterwards.
    void release() noexcept {
        std::free(data_);
        data_ = nullptr;
        capacity_ = 0;
    }

    void swap(WorkTable &other) noexcept {
        std::swap(data_, other.data_);
        std::swap(capacity_, other.capacity_);
    }

private:
    // 1 TiB, or half the address space where that is smaller.
    static constexpr std::size_t kMaxElements =
        static_cast<std::size_t>(std::min<uint64_t>(uint64_t{1} << 40, SIZE_MAX / 2)) / sizeof(T);

    T *data_ = nullptr;
    std::size_t capacity_ = 0;
};

}  // namespace vutil::geometry
