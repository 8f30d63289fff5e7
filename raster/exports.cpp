// The exported raster functions: thin C entry points over the raster modules.
#include <algorithm>
#include <span>

#include "raster/bitmap.h"
#include "raster/colormap.h"
#include "raster/group34.h"
#include "raster/lzw_file.h"
#include "raster/tiling.h"
#include "vutil/raster.h"

namespace rs = vutil::raster;

extern "C" {

VUTIL_API int32_t KOR_decompress(const char *input, const char *output, int32_t max_bytes) noexcept {
    return rs::decompressFile(input, output, max_bytes);
}

VUTIL_API int32_t FillGroup34Tables(int32_t *white_runs, int8_t *white_lengths, int32_t *black_runs,
                                    int8_t *black_lengths, int8_t *mode_values, int8_t *mode_lengths) noexcept {
    rs::fillGroup34Tables({
        std::span<int32_t>(white_runs, rs::kWhiteRunBytes / sizeof(int32_t)),
        std::span<int8_t>(white_lengths, rs::kWhiteLengthBytes),
        std::span<int32_t>(black_runs, rs::kBlackRunBytes / sizeof(int32_t)),
        std::span<int8_t>(black_lengths, rs::kBlackLengthBytes),
        std::span<int8_t>(mode_values, rs::kModeValueBytes),
        std::span<int8_t>(mode_lengths, rs::kModeLengthBytes),
    });
    return 1;
}

VUTIL_API int32_t alloc_bitmap(uint8_t ***bitmap, int32_t rows, int32_t a, int32_t b) noexcept {
    *bitmap = rs::allocBitmap(rows, a, b);
    return *bitmap != nullptr ? 1 : 0;
}

VUTIL_API void free_bitmap(uint8_t ***bitmap, int32_t rows, int32_t, int32_t) noexcept {
    if (bitmap != nullptr) {
        rs::freeBitmap(*bitmap, rows);
        *bitmap = nullptr;
    }
}

VUTIL_API void GetReverseBits(uint8_t *dst) noexcept {
    std::copy(rs::reverseBitsTable().begin(), rs::reverseBitsTable().end(), dst);
}

VUTIL_API void GetNoReverseBits(uint8_t *dst) noexcept {
    std::copy(rs::identityTable().begin(), rs::identityTable().end(), dst);
}

VUTIL_API void swabbits(uint8_t *buffer, int32_t count) noexcept {
    if (count > 0) {
        rs::reverseBits(std::span<uint8_t>(buffer, static_cast<std::size_t>(count)));
    }
}

VUTIL_API void swabbytes(uint8_t *buffer, int32_t count) noexcept {
    if (count > 0) {
        rs::swapBytePairs(std::span<uint8_t>(buffer, static_cast<std::size_t>(count)));
    }
}

VUTIL_API void spread_byte(int32_t value, int32_t first, uint8_t *dst, int32_t limit) noexcept {
    rs::spreadByte(value, first, dst, limit);
}

VUTIL_API int32_t spread_byte2(int32_t value, int32_t index, uint8_t *dst, int32_t limit, int32_t bits) noexcept {
    return rs::spreadPackedByte(value, index, dst, limit, bits);
}

VUTIL_API int32_t MakeRuns(int32_t *runs, const uint8_t *row, int32_t limit, int32_t width, int32_t polarity) noexcept {
    return rs::makeRuns(runs, row, limit, width, polarity);
}

VUTIL_API void ExpandRuns(uint8_t *row, const int32_t *runs, int32_t count, int32_t width) noexcept {
    rs::expandRuns(row, runs, count, width);
}

VUTIL_API uint32_t GetAcadRGBColor(int32_t index) noexcept {
    return rs::acadColour(index);
}

VUTIL_API void CreateDefaultColors(uint8_t *red, uint8_t *green, uint8_t *blue) noexcept {
    for (int32_t i = 0; i < 256; ++i) {
        const uint32_t colour = rs::acadColour(i);
        red[i] = rs::redOf(colour);
        green[i] = rs::greenOf(colour);
        blue[i] = rs::blueOf(colour);
    }
}

VUTIL_API int32_t SetAcadColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::Acad);
}

VUTIL_API int32_t SetVGAColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::Vga);
}

VUTIL_API int32_t SetMonoColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::Mono);
}

VUTIL_API int32_t SetReverseMonoColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::ReverseMono);
}

VUTIL_API int32_t SetTrueColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::True);
}

VUTIL_API int32_t SetPseudoTrueColormap(intptr_t context, const kor_output_driver *driver) noexcept {
    return rs::setColourMap(context, driver, rs::StandardMap::PseudoTrue);
}

VUTIL_API int32_t SetGrayColormap(intptr_t context, const kor_output_driver *driver, int32_t bits) noexcept {
    return rs::setGreyMap(context, driver, bits);
}

VUTIL_API uint32_t GetPseudoTrueColorRGB(int32_t index) noexcept {
    return rs::pseudoTrueColour(index);
}

VUTIL_API int32_t GetPseudoTrueColorIndex(uint32_t colour) noexcept {
    return rs::pseudoTrueIndex(colour);
}

VUTIL_API int32_t KOR_TileRect(kor_tile_request *request) noexcept {
    return request != nullptr ? rs::tileRect(*request) : 0;
}

}  // extern "C"
