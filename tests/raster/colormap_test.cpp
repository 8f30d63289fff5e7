// Tests of the colour maps: the AutoCAD Color Index palette against its hue, saturation and value
// definition, the maps handed to a driver and the pseudo-true-colour cube.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <random>
#include <vector>

#include "vutil/raster.h"

namespace vutil::test {
namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

/// The palette by its definition: 1-6 the primaries and secondaries, 7 white, 8 and 9 greys;
/// 10-249 24 hues 15 degrees apart, each in five values from 255 down in fifths, at full and
/// half saturation; 250-255 a grey ramp in sevenths (254 repeats 253). Channels are rounded half up.
uint32_t aciColour(int32_t index) {
    const auto round = [](double v) { return static_cast<uint32_t>(std::floor(v + 0.5)); };
    if (index <= 0) return 0;
    if (index <= 7) {
        const uint32_t bits[] = {0, 1, 3, 2, 6, 4, 5, 7};  // red, yellow, green, cyan, blue, magenta, white
        const uint32_t b = bits[index];
        return rgb(b & 1 ? 255 : 0, b & 2 ? 255 : 0, b & 4 ? 255 : 0);
    }
    if (index == 8) return rgb(85, 85, 85);
    if (index == 9) return rgb(170, 170, 170);
    if (index >= 250) {
        const uint32_t grey = round((std::min(index, 253) - 248 + (index == 255 ? 2 : 0)) * 255.0 / 7.0);
        return rgb(grey, grey, grey);
    }
    const double hue = (index / 10 - 1) * 15.0;
    const double value = 255.0 * (5 - index % 10 / 2) / 5;
    const double saturation = index % 2 == 0 ? 1.0 : 0.5;
    // Hue, saturation and value to red, green and blue, the textbook way.
    const int sector = static_cast<int>(hue / 60);
    const double f = hue / 60 - sector;
    const double p = value * (1 - saturation), q = value * (1 - saturation * f), t = value * (1 - saturation * (1 - f));
    const double channels[6][3] = {{value, t, p}, {q, value, p}, {p, value, t},
                                   {p, q, value}, {t, p, value}, {value, p, q}};
    const double *c = channels[sector];
    return rgb(round(c[0]), round(c[1]), round(c[2]));
}

/// Entry i of the cube: blue (i / 32) * 32, green ((i / 4) % 8) * 32, red (i % 4) * 64; the last is white.
uint32_t cubeColour(int32_t i) {
    return i == 255 ? rgb(255, 255, 255)
                    : rgb(static_cast<uint32_t>(i % 4 * 64), static_cast<uint32_t>(i / 4 % 8 * 32),
                          static_cast<uint32_t>(i / 32 * 32));
}

TEST(AcadColours, EveryEntryFollowsTheDefinition) {
    for (int32_t i = -2; i < 256; ++i) EXPECT_EQ(GetAcadRGBColor(i), aciColour(i)) << i;
    EXPECT_EQ(GetAcadRGBColor(INT32_MIN), 0u);
    // Indices past the palette keep a defined grey (the sanitizers watch the arithmetic).
    for (int32_t i : {256, 1000, INT32_MAX}) {
        const uint32_t colour = GetAcadRGBColor(i);
        EXPECT_EQ(colour, rgb(colour & 0xFF, colour & 0xFF, colour & 0xFF)) << i;
    }
    std::array<uint8_t, 260> red, green, blue;
    red.fill(0xEE), green.fill(0xEE), blue.fill(0xEE);
    CreateDefaultColors(red.data(), green.data(), blue.data());
    for (std::size_t i = 0; i < 260; ++i) {
        ASSERT_EQ(rgb(red[i], green[i], blue[i]), i < 256 ? aciColour(static_cast<int32_t>(i)) : rgb(0xEE, 0xEE, 0xEE));
    }
}

/// What a driver was handed: its arguments, then the colours of the entries given.
std::vector<intptr_t> received;

int32_t record(intptr_t context, int16_t bits, int32_t first, int32_t last, const uint8_t *red, const uint8_t *green,
               const uint8_t *blue) {
    received = {context, bits, first, last, red == nullptr && green == nullptr && blue == nullptr};
    for (int32_t i = first; red != nullptr && i <= last; ++i) received.push_back(rgb(red[i], green[i], blue[i]));
    return 77;
}

/// Hands a map to a recording driver: once, whole, and the driver's result comes back; no driver, no call.
template <typename Set> void expectHanded(Set set, int16_t bits, const std::vector<uint32_t> &colours) {
    kor_output_driver driver{};
    driver.set_colormap = record;
    received.clear();
    EXPECT_EQ(set(INTPTR_MAX - 3, &driver), 77);
    std::vector<intptr_t> expected = {INTPTR_MAX - 3, bits, 0, colours.empty() ? 0 : std::ssize(colours) - 1,
                                      colours.empty()};
    expected.insert(expected.end(), colours.begin(), colours.end());
    EXPECT_EQ(received, expected) << bits;
    kor_output_driver empty{};
    EXPECT_TRUE(set(0, &empty) == 0 && set(0, nullptr) == 0 && received == expected);
}

TEST(ColourMaps, StandardMapsReachTheDriver) {
    std::vector<uint32_t> acad, cube, vga;
    for (int32_t i = 0; i < 256; ++i) acad.push_back(aciColour(i)), cube.push_back(cubeColour(i));
    // The 16-colour map: bits 0-2 turn on blue, green and red, bit 3 brightens what is off; 6 and 7 are brown
    // and light grey.
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t off = i & 8 ? 85 : 0;
        vga.push_back(i == 6   ? rgb(255, 85, 0)
                      : i == 7 ? rgb(170, 170, 170) : rgb(i & 4 ? 255 : off, i & 2 ? 255 : off, i & 1 ? 255 : off));
    }
    expectHanded(SetAcadColormap, 8, acad);
    expectHanded(SetPseudoTrueColormap, 8, cube);
    expectHanded(SetVGAColormap, 4, vga);
    expectHanded(SetMonoColormap, 1, {0, rgb(255, 255, 255)});
    expectHanded(SetReverseMonoColormap, 1, {rgb(255, 255, 255), 0});
    expectHanded(SetTrueColormap, 24, {});
    // Grey ramps of 2^bits evenly spread entries (at most 256) from black to white.
    for (int32_t bits : {-3, 0, 1, 2, 3, 4, 7, 8, 12}) {
        const int32_t entries = bits <= 0 ? 1 : bits >= 8 ? 256 : 1 << bits;
        std::vector<uint32_t> ramp;
        for (int32_t i = 0; i < entries; ++i) ramp.push_back(entries == 1 ? 0 : i * 255 / (entries - 1) * 0x10101u);
        expectHanded([bits](intptr_t c, const kor_output_driver *d) { return SetGrayColormap(c, d, bits); },
                     static_cast<int16_t>(bits), ramp);
    }
}

TEST(PseudoTrueColour, CubeAndIndex) {
    for (int32_t i = 0; i < 256; ++i) EXPECT_EQ(GetPseudoTrueColorRGB(i), cubeColour(i)) << i;
    for (int32_t i : {256, -1, INT32_MIN}) EXPECT_EQ(GetPseudoTrueColorRGB(i), 0u);
    // Any colour (bits 24-31 ignored) indexes the cube cell holding it: each channel at most one step above.
    std::mt19937 random(3);
    for (int round = 0; round < 2000; ++round) {
        const uint32_t colour = round < 256 ? cubeColour(round) : static_cast<uint32_t>(random());
        const int32_t index = GetPseudoTrueColorIndex(colour);
        ASSERT_TRUE(index >= 0 && index < 256) << colour;
        const uint32_t corner = index == 255 ? rgb(192, 224, 224) : cubeColour(index);
        for (int shift : {0, 8, 16}) {
            const uint32_t have = colour >> shift & 0xFF, low = corner >> shift & 0xFF;
            ASSERT_TRUE(have >= low && have - low < (shift == 0 ? 64u : 32u)) << std::hex << colour << " " << index;
        }
    }
}

}  // namespace
}  // namespace vutil::test
