// Tests of the colour maps: the AutoCAD Color Index palette against its hue, saturation and value
// definition, the maps handed to a driver and the pseudo-true-colour cube.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <vector>

#include "vutil/raster.h"

namespace vutil::test {
namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | g << 8 | b << 16;
}

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
        const double grey = round((std::min(index, 253) - 248 + (index == 255 ? 2 : 0)) * 255.0 / 7.0);
        return rgb(static_cast<uint32_t>(grey), static_cast<uint32_t>(grey), static_cast<uint32_t>(grey));
    }
    const double hue = (index / 10 - 1) * 15.0;
    const double value = 255.0 * (5 - index % 10 / 2) / 5;
    const double saturation = index % 2 == 0 ? 1.0 : 0.5;
    // Hue, saturation and value to red, green and blue, the textbook way.
    const int sector = static_cast<int>(hue / 60);
    const double f = hue / 60 - sector;
    const double p = value * (1 - saturation), q = value * (1 - saturation * f), t = value * (1 - saturation * (1 - f));
    const double channels[6][3] = {{value, t, p}, {q, value, p}, {p, value, t}, {p, q, value}, {t, p, value}, {value, p, q}};
    const double *c = channels[sector];
    return rgb(round(c[0]), round(c[1]), round(c[2]));
}

TEST(AcadColours, EveryEntryFollowsTheDefinition) {
    for (int32_t i = -2; i < 256; ++i) {
        EXPECT_EQ(GetAcadRGBColor(i), aciColour(i)) << i;
    }
    EXPECT_EQ(GetAcadRGBColor(INT32_MIN), 0u);
    // Indices past the palette keep a defined grey (the sanitizers watch the arithmetic).
    for (int32_t i : {256, 1000, INT32_MAX}) {
        const uint32_t colour = GetAcadRGBColor(i);
        EXPECT_EQ(colour >> 24, 0u);
        EXPECT_EQ(colour & 0xFF, (colour >> 8) & 0xFF) << "a grey";
    }
    std::array<uint8_t, 260> red, green, blue;
    red.fill(0xEE);
    green.fill(0xEE);
    blue.fill(0xEE);
    CreateDefaultColors(red.data(), green.data(), blue.data());
    for (std::size_t i = 0; i < 260; ++i) {
        const uint32_t expected = i < 256 ? aciColour(static_cast<int32_t>(i)) : rgb(0xEE, 0xEE, 0xEE);
        ASSERT_EQ(rgb(red[i], green[i], blue[i]), expected) << i;
    }
}

/// What a driver was handed.
struct Received {
    int calls = 0;
    intptr_t context = 0;
    int16_t bits = 0;
    int32_t first = -1, last = -1;
    bool nullTables = false;
    std::vector<uint32_t> colours;
};

Received *current = nullptr;

int32_t record(intptr_t context, int16_t bits, int32_t first, int32_t last, const uint8_t *red, const uint8_t *green,
               const uint8_t *blue) {
    current->calls++;
    current->context = context;
    current->bits = bits;
    current->first = first;
    current->last = last;
    current->nullTables = red == nullptr && green == nullptr && blue == nullptr;
    for (int32_t i = first; red != nullptr && i <= last; ++i) {
        current->colours.push_back(rgb(red[i], green[i], blue[i]));
    }
    return 77;
}

template <typename Set>
Received handTo(Set set) {
    Received received;
    current = &received;
    kor_output_driver driver{};
    driver.set_colormap = record;
    EXPECT_EQ(set(INTPTR_MAX - 3, &driver), 77) << "the driver's result comes back";
    current = nullptr;
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.context, INTPTR_MAX - 3);
    EXPECT_EQ(received.first, 0);
    return received;
}

TEST(ColourMaps, StandardMapsReachTheDriver) {
    Received acad = handTo(SetAcadColormap);
    EXPECT_EQ(acad.bits, 8);
    ASSERT_EQ(acad.colours.size(), 256u);
    Received cube = handTo(SetPseudoTrueColormap);
    EXPECT_EQ(cube.bits, 8);
    ASSERT_EQ(cube.colours.size(), 256u);
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(acad.colours[static_cast<std::size_t>(i)], aciColour(i));
        EXPECT_EQ(cube.colours[static_cast<std::size_t>(i)], GetPseudoTrueColorRGB(i));
    }
    // The 16-colour map: bits 0-2 of the index turn on blue, green and red, bit 3 brightens what
    // is off; entries 6 and 7 are brown and light grey.
    Received vga = handTo(SetVGAColormap);
    EXPECT_EQ(vga.bits, 4);
    ASSERT_EQ(vga.colours.size(), 16u);
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t off = i & 8 ? 85 : 0;
        const uint32_t expected = i == 6   ? rgb(255, 85, 0)
                                  : i == 7 ? rgb(170, 170, 170)
                                           : rgb(i & 4 ? 255 : off, i & 2 ? 255 : off, i & 1 ? 255 : off);
        EXPECT_EQ(vga.colours[i], expected) << i;
    }
    Received mono = handTo(SetMonoColormap);
    EXPECT_EQ(mono.bits, 1);
    EXPECT_EQ(mono.colours, (std::vector<uint32_t>{0, rgb(255, 255, 255)}));
    Received reverse = handTo(SetReverseMonoColormap);
    EXPECT_EQ(reverse.colours, (std::vector<uint32_t>{rgb(255, 255, 255), 0}));
    Received trueColour = handTo(SetTrueColormap);
    EXPECT_EQ(trueColour.bits, 24);
    EXPECT_EQ(trueColour.last, 0);
    EXPECT_TRUE(trueColour.nullTables);
    EXPECT_EQ(SetAcadColormap(0, nullptr), 0);
    kor_output_driver empty{};
    EXPECT_EQ(SetGrayColormap(0, &empty, 8), 0);
}

// Grey ramps of 2^bits evenly spread entries (at most 256) from black to white.
TEST(ColourMaps, GreyRamps) {
    for (int32_t bits : {-3, 0, 1, 2, 3, 4, 7, 8, 12}) {
        Received grey = handTo([&](intptr_t context, const kor_output_driver *driver) {
            return SetGrayColormap(context, driver, bits);
        });
        const int32_t entries = bits <= 0 ? 1 : bits >= 8 ? 256 : 1 << bits;
        EXPECT_EQ(grey.bits, bits);
        ASSERT_EQ(grey.colours.size(), static_cast<std::size_t>(entries)) << bits;
        EXPECT_EQ(grey.last, entries - 1);
        for (int32_t i = 0; i < entries; ++i) {
            const uint32_t g = entries == 1 ? 0 : static_cast<uint32_t>(i * 255 / (entries - 1));
            EXPECT_EQ(grey.colours[static_cast<std::size_t>(i)], rgb(g, g, g)) << bits << " entry " << i;
        }
    }
}

TEST(PseudoTrueColour, CubeAndIndex) {
    // Entry i: blue (i / 32) * 32, green ((i / 4) % 8) * 32, red (i % 4) * 64; the last is white.
    for (int32_t i = 0; i < 256; ++i) {
        const uint32_t expected = i == 255 ? rgb(255, 255, 255)
                                           : rgb(static_cast<uint32_t>(i % 4 * 64), static_cast<uint32_t>(i / 4 % 8 * 32),
                                                 static_cast<uint32_t>(i / 32 * 32));
        EXPECT_EQ(GetPseudoTrueColorRGB(i), expected) << i;
        EXPECT_EQ(GetPseudoTrueColorIndex(expected), i);
    }
    for (int32_t i : {256, -1, INT32_MIN}) {
        EXPECT_EQ(GetPseudoTrueColorRGB(i), 0u);
    }
    // Only the top bits of each channel count; bits 24-31 are ignored.
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(0x3F, 0x1F, 0x1F) | 0xFF000000u), 0);
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(0x40, 0x20, 0x20)), 1 | 4 | 32);
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(192, 224, 224)), 255);
}

}  // namespace
}  // namespace vutil::test
