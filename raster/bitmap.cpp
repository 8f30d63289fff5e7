// Row bitmaps, bit and byte order of raster rows, unpacking of packed pixels, and run lists.
#include "raster/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace vutil::raster {
namespace {

constexpr std::array<uint8_t, 256> makeReverse() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        int r = 0;
        for (int bit = 0; bit < 8; ++bit) {
            r |= ((v >> bit) & 1) << (7 - bit);
        }
        table[static_cast<std::size_t>(v)] = static_cast<uint8_t>(r);
    }
    return table;
}

constexpr std::array<uint8_t, 256> makeIdentity() {
    std::array<uint8_t, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[static_cast<std::size_t>(v)] = static_cast<uint8_t>(v);
    }
    return table;
}

constexpr std::array<uint8_t, 256> kReverse = makeReverse();
constexpr std::array<uint8_t, 256> kIdentity = makeIdentity();

}  // namespace

uint8_t **allocBitmap(int32_t rows, int32_t a, int32_t b) noexcept {
    const std::size_t rowCount = static_cast<std::size_t>(std::max(rows, 1));
    auto **bitmap = static_cast<uint8_t **>(std::calloc(rowCount, sizeof(uint8_t *)));
    if (bitmap == nullptr) {
        return nullptr;
    }
    // The row length is computed in 64 bits so that large factors cannot wrap into a
    // short row; a length below one byte (zero or negative factors) gives one byte.
    const int64_t product = static_cast<int64_t>(a) * static_cast<int64_t>(b);
    const std::size_t rowBytes = product < 1 ? 1 : static_cast<std::size_t>(product);
    for (int32_t i = 0; i < rows; ++i) {
        bitmap[i] = static_cast<uint8_t *>(std::calloc(rowBytes, 1));
        if (bitmap[i] == nullptr) {
            freeBitmap(bitmap, i);
            return nullptr;
        }
    }
    return bitmap;
}

void freeBitmap(uint8_t **bitmap, int32_t rows) noexcept {
    if (bitmap == nullptr) {
        return;
    }
    for (int32_t i = 0; i < rows; ++i) {
        std::free(bitmap[i]);
    }
    std::free(bitmap);
}

const std::array<uint8_t, 256> &reverseBitsTable() noexcept {
    return kReverse;
}
const std::array<uint8_t, 256> &identityTable() noexcept {
    return kIdentity;
}

void reverseBits(std::span<uint8_t> bytes) noexcept {
    for (uint8_t &byte : bytes) {
        byte = kReverse[byte];
    }
}

void swapBytePairs(std::span<uint8_t> bytes) noexcept {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::swap(bytes[i], bytes[i + 1]);
    }
}

void spreadByte(int32_t value, int32_t first, uint8_t *dst, int32_t limit) noexcept {
    if (first < 0 || first >= limit) {
        return;
    }
    // Indexed from the first pixel's address: first + 7 may lie beyond INT32_MAX.
    uint8_t *out = dst + first;
    for (int bit = 0; bit < 8; ++bit) {
        out[bit] = static_cast<uint8_t>((value >> (7 - bit)) & 1);
    }
}

int32_t spreadPackedByte(int32_t value, int32_t index, uint8_t *dst, int32_t limit, int32_t bits) noexcept {
    int32_t perByte;
    switch (bits) {
        case 1:
            perByte = 8;
            break;
        case 2:
            perByte = 4;
            break;
        case 4:
            perByte = 2;
            break;
        default:
            perByte = 1;
            break;
    }
    const int64_t first = static_cast<int64_t>(index) * perByte;
    if (first < 0 || first >= limit) {
        return perByte;
    }
    uint8_t *out = dst + first;
    if (perByte == 1) {
        out[0] = static_cast<uint8_t>(value);
        return perByte;
    }
    const int width = 8 / perByte;
    const int mask = (1 << width) - 1;
    for (int i = 0; i < perByte; ++i) {
        out[i] = static_cast<uint8_t>((value >> (8 - width * (i + 1))) & mask);
    }
    return perByte;
}

int32_t makeRuns(int32_t *runs, const uint8_t *row, int32_t limit, int32_t width, int32_t polarity) noexcept {
    // A negative limit leaves no room at all: nothing is stored.
    if (limit < 0) {
        return 0;
    }
    int32_t count = 0;
    runs[count++] = 0;
    bool inside = true;
    for (int32_t i = 0; i < width && count < limit; ++i) {
        const bool runKind = polarity != 0 ? row[i] == 0 : row[i] != 0;
        if (runKind != inside) {
            runs[count++] = i;
            inside = runKind;
        }
    }
    if (count % 2 != 0) {
        runs[count++] = width;
    } else if (runs[count - 1] != width) {
        runs[count++] = width;
        runs[count++] = width;
    }
    return count;
}

void expandRuns(uint8_t *row, const int32_t *runs, int32_t count, int32_t width) noexcept {
    if (width <= 0) {
        return;
    }
    std::memset(row, 0xFF, static_cast<std::size_t>(width));
    for (int32_t k = 0; k + 1 < count; k += 2) {
        // Runs are clipped to the row on both sides.
        const int32_t start = std::max(runs[k], 0);
        const int32_t end = std::min(runs[k + 1], width);
        if (end > start) {
            std::memset(row + start, 0, static_cast<std::size_t>(end - start));
        }
    }
}

}  // namespace vutil::raster
