// Conversions between the geometry's double arithmetic and its integer coordinates.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace vutil::geometry {

/// Truncates toward zero to a 32-bit integer, as the integer services make computed points whole.
/// The computed points lie between input coordinates, so the clamp never acts on sound input; it
/// keeps the conversion defined (no undefined float-to-int conversion) for anything else. NaN gives 0.
inline int32_t truncateToInt32(double value) noexcept {
    if (!(value > -2147483649.0)) {
        return std::isnan(value) ? 0 : std::numeric_limits<int32_t>::min();
    }
    if (!(value < 2147483648.0)) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

/// Truncates toward zero to a 64-bit integer within +-2^62; NaN gives 0.
inline int64_t truncateToInt64(double value) noexcept {
    constexpr double kLimit = 4611686018427387904.0;  // 2^62
    if (!(value > -kLimit)) {
        return std::isnan(value) ? 0 : -(int64_t{1} << 62);
    }
    if (!(value < kLimit)) {
        return int64_t{1} << 62;
    }
    return static_cast<int64_t>(value);
}

/// The difference of two 32-bit coordinates as a double, formed without overflow.
inline double difference(int64_t a, int64_t b) noexcept {
    return static_cast<double>(a - b);
}

}  // namespace vutil::geometry
