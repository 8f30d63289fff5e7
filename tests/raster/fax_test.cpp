// Tests of the tool's Group 3/4 decoder, which finds every code through the library's
// tables: it must reproduce the images of an independent encoder (libtiff).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fax_decoder.h"
#include "raster/external_tools.h"
#include "support/temp_dir.h"

namespace vutil::test {
namespace {

using Pixels = std::vector<uint8_t>;
namespace fax = vutil::tool::fax;

struct Bilevel {
    int32_t width = 0, height = 0;
    Pixels pixels;  ///< one byte per pixel, 1 black
};

std::vector<uint8_t> toPbm(const Bilevel &image) {
    fax::Image out{image.width, image.height, image.pixels};
    return fax::toPbm(out);
}

/// The first strip of a TIFF file and the fields needed to read it.
struct TiffStrip {
    int32_t width = 0, height = 0;
    std::vector<uint8_t> data;
};

TiffStrip readTiff(const std::vector<uint8_t> &file) {
    TiffStrip strip;
    EXPECT_GE(file.size(), 8u);
    const bool little = file[0] == 'I';
    auto u16 = [&](std::size_t at) { return little ? file[at] | file[at + 1] << 8 : file[at] << 8 | file[at + 1]; };
    auto u32 = [&](std::size_t at) {
        return little ? static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16
                      : static_cast<uint32_t>(u16(at)) << 16 | static_cast<uint32_t>(u16(at + 2));
    };
    const std::size_t ifd = u32(4);
    const int entries = u16(ifd);
    uint32_t offset = 0, count = 0;
    for (int i = 0; i < entries; ++i) {
        const std::size_t entry = ifd + 2 + 12 * static_cast<std::size_t>(i);
        const int tag = u16(entry), type = u16(entry + 2);
        const uint32_t value = type == 3 ? static_cast<uint32_t>(u16(entry + 8)) : u32(entry + 8);
        EXPECT_EQ(u32(entry + 4), 1u) << "one strip, single values: tag " << tag;
        strip.width = tag == 256 ? static_cast<int32_t>(value) : strip.width;
        strip.height = tag == 257 ? static_cast<int32_t>(value) : strip.height;
        offset = tag == 273 ? value : offset;
        count = tag == 279 ? value : count;
    }
    EXPECT_LE(static_cast<std::size_t>(offset) + count, file.size());
    strip.data.assign(file.begin() + offset, file.begin() + offset + count);
    return strip;
}

Bilevel decodeOrFail(const std::vector<uint8_t> &data, int32_t width, int32_t height, fax::Coding coding,
                     bool msbFirst) {
    fax::Image image;
    std::string error;
    EXPECT_TRUE(fax::decode(data, width, height, coding, msbFirst, image, error)) << error;
    return {image.width, image.height, image.pixels};
}

TEST(FaxFixtures, LibtiffStripsDecodeToTheImage) {
    // The committed image, as the tool writes it.
    const std::vector<uint8_t> expected = readFile(dataPath("fax/image.pbm"));
    const struct {
        const char *file;
        fax::Coding coding;
        bool msbFirst;
    } cases[] = {
        {"fax/image.g3.raw", fax::Coding::G3, false},
        {"fax/image.g3-2d.raw", fax::Coding::G3_2D, false},
        {"fax/image.g4.raw", fax::Coding::G4, false},
        {"fax/image.g4-msb.raw", fax::Coding::G4, true},
    };
    for (const auto &c : cases) {
        EXPECT_TRUE(toPbm(decodeOrFail(readFile(dataPath(c.file)), 2600, 16, c.coding, c.msbFirst)) == expected)
            << c.file;
    }
}

/// A test image: rectangles, scattered dots, and rows that are all black or all white.
Bilevel makeImage(int32_t width, int32_t height, uint32_t seed) {
    Bilevel image{width, height, Pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0)};
    std::mt19937 random(seed);
    auto at = [&](int32_t x, int32_t y) -> uint8_t & {
        return image
            .pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)];
    };
    for (int i = 0; i < 30; ++i) {
        const int32_t x = static_cast<int32_t>(random() % static_cast<uint32_t>(width));
        const int32_t y = static_cast<int32_t>(random() % static_cast<uint32_t>(height));
        const int32_t w = 1 + static_cast<int32_t>(random() % 700), h = 1 + static_cast<int32_t>(random() % 9);
        for (int32_t yy = y; yy < std::min(height, y + h); ++yy) {
            for (int32_t xx = x; xx < std::min(width, x + w); ++xx) {
                at(xx, yy) ^= 1;
            }
        }
    }
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            if (random() % 53 == 0) {
                at(x, y) ^= 1;
            }
        }
    }
    if (height > 4) {
        std::fill_n(&at(0, 2), width, 1);
        std::fill_n(&at(0, 3), width, 0);
    }
    return image;
}

TEST(FaxLibtiff, DecodesLibtiffsCodingOfTheImage) {
    REQUIRE_TOOL("ppm2tiff", "libtiff-tools");
    REQUIRE_TOOL("tiffcp", "libtiff-tools");
    TempDir dir;
    const struct {
        int32_t width, height;
    } sizes[] = {{1, 5}, {7, 9}, {64, 12}, {1728, 20}, {1729, 7}, {2560, 6}, {2561, 6}, {5000, 10}};
    const struct {
        const char *option;
        fax::Coding coding;
    } codings[] = {
        {"g3", fax::Coding::G3},       {"g3:fill", fax::Coding::G3},
        {"g3:2d", fax::Coding::G3_2D}, {"g3:2d:fill", fax::Coding::G3_2D},
        {"g4", fax::Coding::G4},
    };
    uint32_t seed = 1;
    for (const auto &size : sizes) {
        const Bilevel image = makeImage(size.width, size.height, seed++);
        writeFile(dir.file("image.pbm"), toPbm(image));
        ASSERT_TRUE(runCommand("ppm2tiff -c none " + dir.file("image.pbm") + " " + dir.file("plain.tif")));
        for (const auto &coding : codings) {
            // One bit order per image and coding, alternating between them.
            for (bool msbFirst : {(seed + std::string(coding.option).size()) % 2 == 0}) {
                SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height) + " " + coding.option +
                             (msbFirst ? " msb-first" : ""));
                const std::string coded = dir.file("coded.tif");
                ASSERT_TRUE(runCommand(std::string("tiffcp -r 1000000 -c ") + coding.option + " -f " +
                                       (msbFirst ? "msb2lsb " : "lsb2msb ") + dir.file("plain.tif") + " " + coded));
                const TiffStrip strip = readTiff(readFile(coded));
                ASSERT_EQ(strip.width, size.width);
                ASSERT_EQ(strip.height, size.height);
                const Bilevel decoded = decodeOrFail(strip.data, size.width, size.height, coding.coding, msbFirst);
                ASSERT_TRUE(decoded.pixels == image.pixels);
            }
        }
    }
}

}  // namespace
}  // namespace vutil::test
