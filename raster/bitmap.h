// Row bitmaps, bit and byte order of raster rows, unpacking of packed pixels, and run lists.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vutil::raster {

/// Allocates `rows` zero-filled rows of `a` x `b` bytes from the heap; the row array, or
/// null. Both the array and every row have at least one entry or byte.
uint8_t **allocBitmap(int32_t rows, int32_t a, int32_t b) noexcept;
/// Frees a bitmap of allocBitmap (null does nothing).
void freeBitmap(uint8_t **bitmap, int32_t rows) noexcept;

/// Each byte's bits in reverse order, and each byte itself.
const std::array<uint8_t, 256> &reverseBitsTable() noexcept;
const std::array<uint8_t, 256> &identityTable() noexcept;

void reverseBits(std::span<uint8_t> bytes) noexcept;
/// Exchanges the bytes of each whole pair.
void swapBytePairs(std::span<uint8_t> bytes) noexcept;

/// Writes the bits of `value`, most significant first, as 0/1 bytes at dst[first..first+7]
/// when 0 <= first < limit.
void spreadByte(int32_t value, int32_t first, uint8_t *dst, int32_t limit) noexcept;
/// Unpacks the packed byte at `index` of a row of 1, 2, 4 or (any other) 8 bits per pixel;
/// returns the pixels per byte.
int32_t spreadPackedByte(int32_t value, int32_t index, uint8_t *dst, int32_t limit, int32_t bits) noexcept;

/// Converts a byte row to run boundaries: runs are the zero bytes when `polarity` is
/// non-zero, the non-zero bytes otherwise. `runs` must hold `limit` + 2 entries.
int32_t makeRuns(int32_t *runs, const uint8_t *row, int32_t limit, int32_t width, int32_t polarity) noexcept;
/// Sets the row's `width` bytes to 0xFF and the columns of each run to 0.
void expandRuns(uint8_t *row, const int32_t *runs, int32_t count, int32_t width) noexcept;

}  // namespace vutil::raster
