// Ordering of rectangle corners and clamping of points into rectangles.
#pragma once

#include <cstdint>

namespace vutil::runtime {

/// Swaps a and b when a > b (a pair with a NaN stays as it is).
template <typename T>
void orderPair(T &a, T &b) noexcept {
    if (a > b) {
        T t = a;
        a = b;
        b = t;
    }
}

/// Raises v to lo, then lowers it to hi (so hi wins when lo > hi).
inline int32_t clampTo(int32_t v, int32_t lo, int32_t hi) noexcept {
    if (v < lo) {
        v = lo;
    }
    if (v > hi) {
        v = hi;
    }
    return v;
}

}  // namespace vutil::runtime
