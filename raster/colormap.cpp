// Colour maps: the AutoCAD Color Index palette, the standard maps handed to an output
// driver, and the 256-entry pseudo-true-colour cube.
#include "raster/colormap.h"

#include <array>
#include <cmath>

namespace vutil::raster {
namespace {

struct Triple {
    uint8_t blue, green, red;
};

/// The cube keeps 3 bits of blue, 3 of green and 2 of red; its last entry is pure white
/// rather than the cube's corner, so that white maps to white.
constexpr std::array<Triple, 256> makeCube() {
    std::array<Triple, 256> cube{};
    for (int i = 0; i < 256; ++i) {
        cube[static_cast<std::size_t>(i)] = {static_cast<uint8_t>((i / 32) * 32),
                                             static_cast<uint8_t>(((i / 4) % 8) * 32),
                                             static_cast<uint8_t>((i % 4) * 64)};
    }
    cube[255] = {255, 255, 255};
    return cube;
}

constexpr std::array<Triple, 256> kCube = makeCube();

/// The 16-colour map as red, green, blue.
constexpr uint8_t kVga[16][3] = {
    {0, 0, 0},     {0, 0, 255},     {0, 255, 0},    {0, 255, 255},   {255, 0, 0},   {255, 0, 255},
    {255, 85, 0},  {170, 170, 170}, {85, 85, 85},   {85, 85, 255},   {85, 255, 85}, {85, 255, 255},
    {255, 85, 85}, {255, 85, 255},  {255, 255, 85}, {255, 255, 255},
};

struct Tables {
    std::array<uint8_t, 256> red{}, green{}, blue{};
};

int32_t hand(intptr_t context, const kor_output_driver *driver, int32_t bits, int32_t last,
             const Tables *tables) noexcept {
    if (driver == nullptr || driver->set_colormap == nullptr) {
        return 0;
    }
    return driver->set_colormap(
        context, static_cast<int16_t>(bits), 0, last, tables != nullptr ? tables->red.data() : nullptr,
        tables != nullptr ? tables->green.data() : nullptr, tables != nullptr ? tables->blue.data() : nullptr);
}

}  // namespace

uint32_t acadColour(int32_t index) noexcept {
    if (index == 254) {
        index = 253;
    }
    // 64-bit arithmetic: indices far outside the palette still give a defined colour.
    int64_t value = 0, hue = 0, step = 0, saturation = 0;
    if (index <= 0) {
        value = 0;
    } else if (index <= 6) {
        value = 255;
        hue = index;
        saturation = 2;
    } else if (index <= 9) {
        value = (((index + 1) % 3) * 255 + 257) / 3;
    } else if (index <= 249) {
        hue = (index + 30) / 40;
        step = ((index + 30) % 40) / 10;
        value = ((5 - (index % 10) / 2) * 255 + 3) / 5;
        saturation = index % 2 == 0 ? 2 : 1;
    } else {
        // The integer part of a positive value: rounding half up.
        value = static_cast<int64_t>(std::floor((static_cast<double>(index) - 250.0 + 2.0) * 255.0 / 7.0 + 0.5));
    }
    const int64_t low = (value * (2 - saturation) + 1) / 2;
    const int64_t fall = (value * (8 - saturation * step) + 4) / 8;
    const int64_t rise = (value * (8 - saturation * (4 - step)) + 4) / 8;
    auto colour = [](int64_t r, int64_t g, int64_t b) {
        return rgb(static_cast<uint32_t>(r & 0xFF), static_cast<uint32_t>(g & 0xFF), static_cast<uint32_t>(b & 0xFF));
    };
    switch (hue) {
        case 1:
            return colour(value, rise, low);
        case 2:
            return colour(fall, value, low);
        case 3:
            return colour(low, value, rise);
        case 4:
            return colour(low, fall, value);
        case 5:
            return colour(rise, low, value);
        case 6:
            return colour(value, low, fall);
        default:
            return colour(value, value, value);
    }
}

uint32_t pseudoTrueColour(int32_t index) noexcept {
    const Triple &entry = kCube[index >= 0 && index <= 255 ? static_cast<std::size_t>(index) : 0];
    return rgb(entry.red, entry.green, entry.blue);
}

int32_t pseudoTrueIndex(uint32_t colour) noexcept {
    return static_cast<int32_t>((blueOf(colour) & 0xE0) | ((greenOf(colour) >> 3) & 0x1C) | ((redOf(colour) >> 6) & 3));
}

int32_t setColourMap(intptr_t context, const kor_output_driver *driver, StandardMap map) noexcept {
    Tables tables;
    switch (map) {
        case StandardMap::Acad:
            for (int i = 0; i < 256; ++i) {
                uint32_t colour = acadColour(i);
                tables.red[static_cast<std::size_t>(i)] = redOf(colour);
                tables.green[static_cast<std::size_t>(i)] = greenOf(colour);
                tables.blue[static_cast<std::size_t>(i)] = blueOf(colour);
            }
            return hand(context, driver, 8, 255, &tables);
        case StandardMap::Vga:
            for (std::size_t i = 0; i < 16; ++i) {
                tables.red[i] = kVga[i][0];
                tables.green[i] = kVga[i][1];
                tables.blue[i] = kVga[i][2];
            }
            return hand(context, driver, 4, 15, &tables);
        case StandardMap::Mono:
        case StandardMap::ReverseMono: {
            const uint8_t first = map == StandardMap::Mono ? 0 : 255;
            tables.red[0] = tables.green[0] = tables.blue[0] = first;
            tables.red[1] = tables.green[1] = tables.blue[1] = static_cast<uint8_t>(255 - first);
            return hand(context, driver, 1, 1, &tables);
        }
        case StandardMap::True:
            return hand(context, driver, 24, 0, nullptr);
        case StandardMap::PseudoTrue:
            for (std::size_t i = 0; i < 256; ++i) {
                tables.red[i] = kCube[i].red;
                tables.green[i] = kCube[i].green;
                tables.blue[i] = kCube[i].blue;
            }
            return hand(context, driver, 8, 255, &tables);
    }
    return 0;
}

int32_t setGreyMap(intptr_t context, const kor_output_driver *driver, int32_t bits) noexcept {
    // 2^bits entries, cut to 256; a negative depth is treated as 0 bits (one entry).
    const int32_t entries = bits >= 8 ? 256 : bits <= 0 ? 1 : 1 << bits;
    Tables tables;
    for (int32_t i = 0; i < entries; ++i) {
        const auto grey =
            entries == 1 ? uint8_t{0} : static_cast<uint8_t>(static_cast<double>(i) * 255.0 / (entries - 1));
        tables.red[static_cast<std::size_t>(i)] = grey;
        tables.green[static_cast<std::size_t>(i)] = grey;
        tables.blue[static_cast<std::size_t>(i)] = grey;
    }
    return hand(context, driver, bits, entries - 1, &tables);
}

}  // namespace vutil::raster
