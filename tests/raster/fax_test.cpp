// Tests of the tool's Group 3/4 decoder, which finds every code through the library's tables: it must reproduce
// the images of an independent encoder (libtiff). The command-line test decodes the committed strips.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "fax_decoder.h"
#include "raster/external_tools.h"
#include "support/temp_dir.h"

namespace vutil::test {
namespace {

namespace fax = vutil::tool::fax;

/// The size and the first strip of a TIFF file that has one strip.
fax::Image readTiff(const std::vector<uint8_t> &file, std::vector<uint8_t> &strip) {
    const bool little = file.at(0) == 'I';
    auto u16 = [&](std::size_t at) -> uint32_t {
        return little ? file.at(at) | file.at(at + 1) << 8 : file.at(at) << 8 | file.at(at + 1);
    };
    auto u32 = [&](std::size_t at) { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    fax::Image size;
    uint32_t offset = 0, count = 0;
    for (uint32_t i = 0, ifd = u32(4); i < u16(ifd); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        const uint32_t tag = u16(entry), value = u16(entry + 2) == 3 ? u16(entry + 8) : u32(entry + 8);
        size.width = tag == 256 ? static_cast<int32_t>(value) : size.width;
        size.height = tag == 257 ? static_cast<int32_t>(value) : size.height;
        offset = tag == 273 ? value : offset;
        count = tag == 279 ? value : count;
    }
    strip.assign(file.begin() + offset, file.begin() + std::min<std::size_t>(offset + count, file.size()));
    return size;
}

/// Images of rectangles, scattered dots, and rows that are all black or all white, coded by libtiff in every
/// coding and either bit order (alternating): the decoder gives the image back.
TEST(FaxLibtiff, DecodesLibtiffsCodingOfTheImage) {
    REQUIRE_TOOL("ppm2tiff", "libtiff-tools");
    REQUIRE_TOOL("tiffcp", "libtiff-tools");
    TempDir dir;
    const std::pair<int32_t, int32_t> sizes[] = {{1, 5},    {7, 9},    {64, 12},  {1728, 20},
                                                 {1729, 7}, {2561, 6}, {5000, 10}};
    const std::pair<const char *, fax::Coding> codings[] = {{"g3", fax::Coding::G3},
                                                            {"g3:fill", fax::Coding::G3},
                                                            {"g3:2d", fax::Coding::G3_2D},
                                                            {"g3:2d:fill", fax::Coding::G3_2D},
                                                            {"g4", fax::Coding::G4}};
    std::mt19937 random(1);
    for (const auto &[w, h] : sizes) {
        const int32_t width = w, height = h;  // plain variables: clang 14 cannot capture a structured binding
        fax::Image image{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width * height), 0)};
        auto at = [&](int32_t x, int32_t y) -> uint8_t & {
            return image.pixels[static_cast<std::size_t>(y * width + x)];
        };
        for (int i = 0; i < 30; ++i) {
            const auto x = static_cast<int32_t>(random() % static_cast<uint32_t>(width));
            const auto y = static_cast<int32_t>(random() % static_cast<uint32_t>(height));
            const auto w = static_cast<int32_t>(1 + random() % 700), h = static_cast<int32_t>(1 + random() % 9);
            for (int32_t yy = y; yy < std::min(height, y + h); ++yy) {
                for (int32_t xx = x; xx < std::min(width, x + w); ++xx) at(xx, yy) ^= 1;
            }
        }
        for (uint8_t &pixel : image.pixels) pixel ^= random() % 53 == 0 ? 1 : 0;
        if (height > 4) {
            std::fill_n(&at(0, 2), width, 1);
            std::fill_n(&at(0, 3), width, 0);
        }
        writeFile(dir.file("image.pbm"), fax::toPbm(image));
        ASSERT_TRUE(runCommand("ppm2tiff -c none " + dir.file("image.pbm") + " " + dir.file("plain.tif")));
        for (const auto &[option, coding] : codings) {
            const bool msbFirst = (width + std::string(option).size()) % 2 == 0;
            SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " " + option +
                         (msbFirst ? " msb" : ""));
            ASSERT_TRUE(runCommand(std::string("tiffcp -r 1000000 -c ") + option + " -f " +
                                   (msbFirst ? "msb2lsb " : "lsb2msb ") + dir.file("plain.tif") + " " +
                                   dir.file("coded.tif")));
            std::vector<uint8_t> strip;
            const fax::Image size = readTiff(readFile(dir.file("coded.tif")), strip);
            ASSERT_TRUE(size.width == width && size.height == height);
            fax::Image decoded;
            std::string error;
            ASSERT_TRUE(fax::decode(strip, width, height, coding, msbFirst, decoded, error)) << error;
            ASSERT_TRUE(decoded.pixels == image.pixels);
        }
    }
}

}  // namespace
}  // namespace vutil::test
