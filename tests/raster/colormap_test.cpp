// Tests of the colour maps: the AutoCAD Color Index palette, the maps handed to a driver
// and the pseudo-true-colour cube.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <vector>

#include "vutil/raster.h"

namespace vutil::test {
namespace {

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) {
    return r | g << 8 | b << 16;
}

TEST(AcadColours, KnownEntries) {
    const struct {
        int32_t index;
        uint32_t colour;
    } cases[] = {
        {1, rgb(255, 0, 0)},
        {2, rgb(255, 255, 0)},
        {3, rgb(0, 255, 0)},
        {4, rgb(0, 255, 255)},
        {5, rgb(0, 0, 255)},
        {6, rgb(255, 0, 255)},
        {7, rgb(255, 255, 255)},
        {8, rgb(85, 85, 85)},
        {9, rgb(170, 170, 170)},
        {11, rgb(255, 128, 128)},
        {13, rgb(204, 102, 102)},
        {19, rgb(51, 26, 26)},
        {48, rgb(51, 38, 0)},
        {50, rgb(255, 255, 0)},
        {129, rgb(26, 51, 45)},
        {249, rgb(51, 26, 32)},
        {250, rgb(73, 73, 73)},
        {251, rgb(109, 109, 109)},
        {252, rgb(146, 146, 146)},
        {253, rgb(182, 182, 182)},
        {254, rgb(182, 182, 182)},
        {255, rgb(255, 255, 255)},
        {0, 0},
        {-1, 0},
        {INT32_MIN, 0},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(GetAcadRGBColor(c.index), c.colour) << c.index;
    }
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(GetAcadRGBColor(i) >> 24, 0u) << i;
    }
    // Indices past the palette keep a defined colour (the sanitizers watch the arithmetic).
    for (int32_t i : {256, 1000, INT32_MAX}) {
        const uint32_t colour = GetAcadRGBColor(i);
        EXPECT_EQ(colour >> 24, 0u);
        EXPECT_EQ(colour & 0xFF, (colour >> 8) & 0xFF) << "a grey";
    }
}

TEST(AcadColours, CreateDefaultColorsWritesExactly256Bytes) {
    std::array<uint8_t, 260> red, green, blue;
    red.fill(0xEE);
    green.fill(0xEE);
    blue.fill(0xEE);
    CreateDefaultColors(red.data(), green.data(), blue.data());
    for (int i = 0; i < 256; ++i) {
        const uint32_t colour = GetAcadRGBColor(i);
        ASSERT_EQ(red[static_cast<std::size_t>(i)], colour & 0xFF);
        ASSERT_EQ(green[static_cast<std::size_t>(i)], (colour >> 8) & 0xFF);
        ASSERT_EQ(blue[static_cast<std::size_t>(i)], (colour >> 16) & 0xFF);
    }
    for (std::size_t i = 256; i < 260; ++i) {
        EXPECT_EQ(red[i], 0xEE);
        EXPECT_EQ(green[i], 0xEE);
        EXPECT_EQ(blue[i], 0xEE);
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
    return received;
}

TEST(ColourMaps, StandardMapsReachTheDriver) {
    Received acad = handTo(SetAcadColormap);
    EXPECT_EQ(acad.bits, 8);
    EXPECT_EQ(acad.first, 0);
    EXPECT_EQ(acad.last, 255);
    ASSERT_EQ(acad.colours.size(), 256u);
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(acad.colours[static_cast<std::size_t>(i)], GetAcadRGBColor(i));
    }

    Received vga = handTo(SetVGAColormap);
    EXPECT_EQ(vga.bits, 4);
    EXPECT_EQ(vga.colours,
              (std::vector<uint32_t>{rgb(0, 0, 0), rgb(0, 0, 255), rgb(0, 255, 0), rgb(0, 255, 255), rgb(255, 0, 0),
                                     rgb(255, 0, 255), rgb(255, 85, 0), rgb(170, 170, 170), rgb(85, 85, 85),
                                     rgb(85, 85, 255), rgb(85, 255, 85), rgb(85, 255, 255), rgb(255, 85, 85),
                                     rgb(255, 85, 255), rgb(255, 255, 85), rgb(255, 255, 255)}));

    Received mono = handTo(SetMonoColormap);
    EXPECT_EQ(mono.bits, 1);
    EXPECT_EQ(mono.colours, (std::vector<uint32_t>{0, rgb(255, 255, 255)}));
    Received reverse = handTo(SetReverseMonoColormap);
    EXPECT_EQ(reverse.colours, (std::vector<uint32_t>{rgb(255, 255, 255), 0}));

    Received trueColour = handTo(SetTrueColormap);
    EXPECT_EQ(trueColour.bits, 24);
    EXPECT_EQ(trueColour.first, 0);
    EXPECT_EQ(trueColour.last, 0);
    EXPECT_TRUE(trueColour.nullTables);

    Received cube = handTo(SetPseudoTrueColormap);
    EXPECT_EQ(cube.bits, 8);
    ASSERT_EQ(cube.colours.size(), 256u);
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(cube.colours[static_cast<std::size_t>(i)], GetPseudoTrueColorRGB(i));
    }
}

TEST(ColourMaps, GreyRamps) {
    const struct {
        int32_t bits;
        int16_t handedBits;
        std::vector<uint32_t> firstGreys;
        std::size_t entries;
    } cases[] = {
        {1, 1, {0, 255}, 2}, {2, 2, {0, 85, 170, 255}, 4}, {8, 8, {0, 1, 2, 3}, 256}, {12, 12, {0, 1, 2, 3}, 256},
        {0, 0, {0}, 1},      {4, 4, {0, 17, 34, 51}, 16},  {-3, -3, {0}, 1},
    };
    for (const auto &c : cases) {
        Received grey = handTo([&](intptr_t context, const kor_output_driver *driver) {
            return SetGrayColormap(context, driver, c.bits);
        });
        EXPECT_EQ(grey.bits, c.handedBits) << c.bits;
        ASSERT_EQ(grey.colours.size(), c.entries) << c.bits;
        EXPECT_EQ(grey.last, static_cast<int32_t>(c.entries) - 1);
        for (std::size_t i = 0; i < c.firstGreys.size(); ++i) {
            const uint32_t g = c.firstGreys[i];
            EXPECT_EQ(grey.colours[i], rgb(g, g, g)) << c.bits << " entry " << i;
        }
        if (c.entries > 1) {
            EXPECT_EQ(grey.colours.back(), rgb(255, 255, 255));
        }
    }
}

TEST(ColourMaps, NoDriverGivesZero) {
    EXPECT_EQ(SetAcadColormap(0, nullptr), 0);
    kor_output_driver empty{};
    EXPECT_EQ(SetGrayColormap(0, &empty, 8), 0);
}

TEST(PseudoTrueColour, CubeAndIndex) {
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(255, 255, 255)), 255);
    EXPECT_EQ(GetPseudoTrueColorRGB(255), rgb(255, 255, 255));
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(192, 224, 224)), 255);
    EXPECT_EQ(GetPseudoTrueColorRGB(256), 0u);
    EXPECT_EQ(GetPseudoTrueColorRGB(-1), 0u);
    EXPECT_EQ(GetPseudoTrueColorRGB(INT32_MIN), 0u);
    EXPECT_EQ(GetPseudoTrueColorRGB(0), 0u);
    // Entry i: blue (i / 32) * 32, green ((i / 4) % 8) * 32, red (i % 4) * 64.
    EXPECT_EQ(GetPseudoTrueColorRGB(1 + 4 * 3 + 32 * 5), rgb(64, 96, 160));
    for (int32_t i = 0; i < 256; ++i) {
        EXPECT_EQ(GetPseudoTrueColorIndex(GetPseudoTrueColorRGB(i)), i);
    }
    // Only the top bits of each channel count; bits 24-31 are ignored.
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(0x3F, 0x1F, 0x1F) | 0xFF000000u), 0);
    EXPECT_EQ(GetPseudoTrueColorIndex(rgb(0x40, 0x20, 0x20)), 1 | 4 | 32);
}

}  // namespace
}  // namespace vutil::test
