// Colour maps: the AutoCAD Color Index palette, the standard maps handed to an output
// driver, and the 256-entry pseudo-true-colour cube. Colours are 0x00BBGGRR.
#pragma once

#include <cstdint>

#include "vutil/raster.h"

namespace vutil::raster {

inline constexpr uint32_t rgb(uint32_t red, uint32_t green, uint32_t blue) noexcept {
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}
inline constexpr uint8_t redOf(uint32_t colour) noexcept {
    return static_cast<uint8_t>(colour);
}
inline constexpr uint8_t greenOf(uint32_t colour) noexcept {
    return static_cast<uint8_t>(colour >> 8);
}
inline constexpr uint8_t blueOf(uint32_t colour) noexcept {
    return static_cast<uint8_t>(colour >> 16);
}

/// Colour of an AutoCAD Color Index entry (any index: black below 1, greys from 250 on).
uint32_t acadColour(int32_t index) noexcept;

/// Colour of a pseudo-true-colour cube entry; black outside 0..255.
uint32_t pseudoTrueColour(int32_t index) noexcept;
/// Cube index of a colour: the top bits of blue, green and red.
int32_t pseudoTrueIndex(uint32_t colour) noexcept;

/// The maps an output driver can be given.
enum class StandardMap { Acad, Vga, Mono, ReverseMono, True, PseudoTrue };

/// Hands a standard map to the driver's set-colour-map operation; its result (0 without a driver).
int32_t setColourMap(intptr_t context, const kor_output_driver *driver, StandardMap map) noexcept;
/// Hands a grey ramp of 2^bits entries (at most 256) to the driver.
int32_t setGreyMap(intptr_t context, const kor_output_driver *driver, int32_t bits) noexcept;

}  // namespace vutil::raster
