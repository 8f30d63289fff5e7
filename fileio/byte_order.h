// Single values in Intel (little-endian) and Motorola (big-endian) order, in memory and on buffered files.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "fileio/buffered_file.h"

namespace vutil::fileio {

// Intel order is the host's order: the little-endian readers and writers copy bytes as they are.
static_assert(std::endian::native == std::endian::little, "vutil expects a little-endian host");

/// Reverses the bytes of one value of `Width` bytes in place.
template <int Width>
inline void reverseBytes(uint8_t *bytes) noexcept {
    if constexpr (Width == 2) {
        uint16_t v;
        std::memcpy(&v, bytes, 2);
        v = __builtin_bswap16(v);
        std::memcpy(bytes, &v, 2);
    } else if constexpr (Width == 4) {
        uint32_t v;
        std::memcpy(&v, bytes, 4);
        v = __builtin_bswap32(v);
        std::memcpy(bytes, &v, 4);
    } else if constexpr (Width == 8) {
        uint64_t v;
        std::memcpy(&v, bytes, 8);
        v = __builtin_bswap64(v);
        std::memcpy(bytes, &v, 8);
    }
}

/// Copies one value; destination and source may be the same address.
template <int Width>
inline void copyIntel(void *destination, const void *source) noexcept {
    std::memmove(destination, source, Width);
}

/// Copies one value and reverses its bytes; destination and source may be the same address.
template <int Width>
inline void copyMotor(void *destination, const void *source) noexcept {
    uint8_t scratch[Width];
    std::memcpy(scratch, source, Width);
    reverseBytes<Width>(scratch);
    std::memcpy(destination, scratch, Width);
}

/// Reads one little-endian value straight into the destination; true when it was read whole.
/// After a short read the destination holds the bytes that did arrive, then its old content.
template <int Width>
inline bool readIntel(FileRecord &file, void *destination) noexcept {
    return read(file, destination, Width) == Width;
}

/// Reads one big-endian value. The destination is written even after a short
/// read (with the reversed bytes that arrived and zeros).
template <int Width>
inline bool readMotor(FileRecord &file, void *destination) noexcept {
    uint8_t scratch[Width] = {};
    bool whole = read(file, scratch, Width) == Width;
    reverseBytes<Width>(scratch);
    std::memcpy(destination, scratch, Width);
    return whole;
}

/// Writes one value in the host's (little-endian) order; true when all bytes were accepted.
template <int Width>
inline bool writeIntel(FileRecord &file, const void *source) noexcept {
    return write(file, source, Width) == Width;
}

}  // namespace vutil::fileio
