// The page drawn straight into pixels (the PNG's page): its lines and spans against plain
// geometry, the same drawing against the path page, and the PNG it gives read back by zlib.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>

#include "dxf_test_util.h"
#include "vutil/raster.h"

#if VUTIL_TOOL_ZLIB
#include <zlib.h>
#endif

namespace vutil::dxf::test {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;

/// Distance from a point to the segment ab.
double distance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay, length = dx * dx + dy * dy;
    const double t = length > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / length, 0.0, 1.0) : 0;
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

std::vector<std::pair<int32_t, int32_t>> inked(const tool::PixelPage &page) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int32_t y = 0; y < page.height; ++y) {
        for (int32_t x = 0; x < page.width; ++x) {
            if (page.at(x, y) != kWhite) {
                out.emplace_back(x, y);
            }
        }
    }
    return out;
}

TEST(PixelPage, LinesInkOnePixelPerStepAlongTheSegmentFromEndToEnd) {
    std::mt19937 rng(20);
    std::uniform_real_distribution<double> x(0, 40), y(0, 30);
    for (int round = 0; round < 300; ++round) {
        const double ax = x(rng), ay = y(rng), bx = x(rng), by = y(rng);
        tool::PixelPage page;
        page.start(40, 30);
        page.line(ax, ay, bx, by, 0x123456);
        const auto ink = inked(page);
        const auto ix0 = static_cast<int32_t>(ax), iy0 = static_cast<int32_t>(ay);
        const auto ix1 = static_cast<int32_t>(bx), iy1 = static_cast<int32_t>(by);
        // One pixel for each column (or row, for a steep line) between the end pixels.
        EXPECT_EQ(ink.size(), static_cast<std::size_t>(std::max(std::abs(ix1 - ix0), std::abs(iy1 - iy0)) + 1));
        EXPECT_EQ(page.at(ix0, iy0), 0x123456u);
        EXPECT_EQ(page.at(ix1, iy1), 0x123456u);
        for (const auto &[px, py] : ink) {
            // The pixel's centre strays from the segment by half a pixel, plus the ends' own place in their pixels.
            EXPECT_LE(distance(px + 0.5, py + 0.5, ax, ay, bx, by), 0.5 + std::sqrt(0.5) + 1e-9)
                << ax << "," << ay << " " << bx << "," << by << " pixel " << px << "," << py;
            // 8-connected: every pixel but an end one has a neighbour on each side of it.
            int neighbours = 0;
            for (const auto &[qx, qy] : ink) {
                neighbours += (qx != px || qy != py) && std::abs(qx - px) <= 1 && std::abs(qy - py) <= 1;
            }
            EXPECT_GE(neighbours, ink.size() == 1 ? 0 : 1);
        }
    }
}

TEST(PixelPage, LinesFromFarAwayOrNotFiniteStayCheapAndOnTheirCourse) {
    tool::PixelPage page;
    page.start(50, 40);
    // Across the page from a billion pixels away: the pixels on the page lie along it.
    page.line(-1e9, 20.25, 1e9, 20.25, 0);
    const auto ink = inked(page);
    ASSERT_EQ(ink.size(), 50u);
    for (const auto &[px, py] : ink) {
        EXPECT_EQ(py, 20);
    }
    tool::PixelPage other;
    other.start(50, 40);
    const double nan = std::nan("");
    other.line(nan, 1, 2, 3, 0);
    other.line(1, 2, INFINITY, 3, 0);
    other.line(-1e300, -1e300, -1e300, 1e300, 0);  // wholly off the page
    other.line(60, 10, 70, 30, 0);
    EXPECT_TRUE(inked(other).empty());
    tool::PixelPage none;
    none.start(0, 10);
    none.line(0, 0, 5, 5, 0);
    none.span(0, 0, 5, 0);
    EXPECT_TRUE(none.pixels.empty());
}

TEST(PixelPage, SpansInkThePixelsWhoseCentresTheyHold) {
    std::mt19937 rng(21);
    std::uniform_real_distribution<double> x(-5, 25);
    for (int round = 0; round < 200; ++round) {
        const double x0 = x(rng), x1 = x(rng);
        tool::PixelPage page;
        page.start(20, 3);
        page.span(1, x0, x1, 0);
        page.span(-1, x0, x1, 0);
        page.span(3, x0, x1, 0);
        for (int32_t y = 0; y < 3; ++y) {
            for (int32_t px = 0; px < 20; ++px) {
                const bool inside = y == 1 && px + 0.5 >= x0 && px + 0.5 < x1;
                EXPECT_EQ(page.at(px, y) != kWhite, inside) << x0 << " " << x1 << " " << px;
            }
        }
    }
}

/// The stroked segments and filled pieces of a path page.
struct Ink {
    std::vector<std::array<double, 4>> segments;
    std::vector<uint32_t> colours;
    std::vector<std::array<double, 4>> boxes;  ///< of the filled pieces
};

Ink inkOf(const tool::Picture &picture) {
    Ink out;
    for (const auto &path : picture.paths) {
        for (const auto &piece : path.pieces) {
            if (path.filled) {
                double b[4] = {1e300, 1e300, -1e300, -1e300};
                for (const auto &p : piece) {
                    b[0] = std::min(b[0], p.x), b[1] = std::min(b[1], p.y);
                    b[2] = std::max(b[2], p.x), b[3] = std::max(b[3], p.y);
                }
                out.boxes.push_back({b[0], b[1], b[2], b[3]});
                continue;
            }
            for (std::size_t i = 0; i < piece.size(); ++i) {
                const auto &a = piece[i], &b = piece[i + 1 < piece.size() ? i + 1 : i];
                out.segments.push_back({a.x, a.y, b.x, b.y});
                out.colours.push_back(path.colour);
            }
        }
    }
    return out;
}

TEST(PixelPage, ADrawingInPixelsFollowsItsPathPage) {
    const Pairs hatch = {{0, "HATCH"}, {62, "3"}, {2, "SOLID"}, {70, "1"}, {71, "0"}, {91, "1"}, {92, "2"},
                         {72, "0"}, {73, "1"}, {93, "4"}, {10, "60"}, {20, "10"}, {10, "90"}, {20, "10"},
                         {10, "90"}, {20, "30"}, {10, "60"}, {20, "30"}, {97, "0"}};
    const Pairs text = {{0, "TEXT"}, {62, "5"}, {10, "10"}, {20, "70"}, {40, "12"}, {50, "15"}, {1, "Vutil 42"}};
    const Pairs arc = {{0, "ARC"}, {62, "1"}, {10, "30"}, {20, "40"}, {40, "25"}, {50, "300"}, {51, "120"}};
    const std::string dxf = drawing(line(0, 0, 100, 100) + line(5, 95, 95, 80, "0", 2) + arc + text + hatch);
    const Drawn paths = draw(dxf, unitPage());
    ASSERT_TRUE(paths.ok);
    tool::PixelPage page;
    RenderResult result;
    render(paths.drawing, unitPage(), page, result);
    ASSERT_EQ(page.width, 100);
    ASSERT_EQ(page.height, 100);
    EXPECT_EQ(result.drawn, paths.result.drawn);
    EXPECT_EQ(std::vector<double>(result.extents, result.extents + 4),
              std::vector<double>(paths.result.extents, paths.result.extents + 4));
    const Ink ink = inkOf(paths.picture);
    ASSERT_GT(ink.segments.size(), 20u);
    // Every inked pixel lies on a stroke, in its colour, or in a fill.
    const auto pixels = inked(page);
    ASSERT_GT(pixels.size(), 300u);
    for (const auto &[px, py] : pixels) {
        bool nearby = false;
        for (std::size_t i = 0; i < ink.segments.size() && !nearby; ++i) {
            const auto &s = ink.segments[i];
            nearby = ink.colours[i] == page.at(px, py) && distance(px + 0.5, py + 0.5, s[0], s[1], s[2], s[3]) < 1.5;
        }
        for (const auto &b : ink.boxes) {
            nearby = nearby || (px + 0.5 >= b[0] && px + 0.5 <= b[2] && py + 0.5 >= b[1] && py + 0.5 <= b[3]);
        }
        EXPECT_TRUE(nearby) << "pixel " << px << "," << py;
    }
    // Every stroke is inked all along, within a pixel.
    for (std::size_t i = 0; i < ink.segments.size(); ++i) {
        const auto &s = ink.segments[i];
        const double length = std::hypot(s[2] - s[0], s[3] - s[1]);
        for (double t = 0; t <= 1; t += length > 0 ? std::min(1.0, 0.5 / length) : 2) {
            const double x = s[0] + t * (s[2] - s[0]), y = s[1] + t * (s[3] - s[1]);
            bool found = false;
            for (int dy = -1; dy <= 1 && !found; ++dy) {
                for (int dx = -1; dx <= 1 && !found; ++dx) {
                    const auto qx = static_cast<int32_t>(std::floor(x)) + dx, qy = static_cast<int32_t>(std::floor(y)) + dy;
                    found = qx < 0 || qy < 0 || qx >= 100 || qy >= 100 || page.at(qx, qy) != kWhite;
                }
            }
            EXPECT_TRUE(found) << "stroke " << i << " at " << x << "," << y;
        }
    }
    // The fill covers the inside of its rectangle: (60,10)-(90,30) is pixels 60-89 across, 70-89 down.
    for (int32_t y = 71; y < 89; ++y) {
        for (int32_t x = 61; x < 89; ++x) {
            EXPECT_EQ(page.at(x, y), GetAcadRGBColor(3)) << x << "," << y;
        }
    }
}

#if VUTIL_TOOL_ZLIB
uint32_t bigEndian(const std::string &s, std::size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 | static_cast<unsigned char>(s[at + 3]);
}

TEST(PixelPage, ThePngHoldsEveryPixelInRgb) {
    tool::PixelPage page;
    page.start(37, 23);
    page.line(0, 0, 36.9, 22.9, 0x0000FF);  // red
    page.line(0, 22, 36, 1, 0x00FF00);     // green
    page.span(5, 3, 30, 0x804020);
    std::string png, reason;
    ASSERT_TRUE(tool::pngOf(page, png, reason)) << reason;
    ASSERT_EQ(png.compare(0, 8, "\x89PNG\r\n\x1a\n", 8), 0);
    // The chunks, each with its checksum; the image data inflated.
    std::string data, header;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const uint32_t length = bigEndian(png, at);
        ASSERT_LE(at + 12 + length, png.size());
        const std::string kind = png.substr(at + 4, 4);
        const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(png.data() + at + 4), length + 4);
        EXPECT_EQ(bigEndian(png, at + 8 + length), crc) << kind;
        (kind == "IHDR" ? header : kind == "IDAT" ? data : reason) += png.substr(at + 8, length);
        at += 12 + length;
    }
    ASSERT_EQ(header.size(), 13u);
    EXPECT_EQ(bigEndian(header, 0), 37u);
    EXPECT_EQ(bigEndian(header, 4), 23u);
    EXPECT_EQ(header[8], 8);
    EXPECT_EQ(header[9], 2);  // RGB
    std::vector<unsigned char> rows(23 * (1 + 37 * 3) + 1);
    uLongf size = rows.size();
    ASSERT_EQ(uncompress(rows.data(), &size, reinterpret_cast<const Bytef *>(data.data()), data.size()), Z_OK);
    ASSERT_EQ(size, 23u * (1 + 37 * 3));
    for (int32_t y = 0; y < 23; ++y) {
        const unsigned char *row = rows.data() + y * (1 + 37 * 3);
        EXPECT_EQ(row[0], 0);  // no filter
        for (int32_t x = 0; x < 37; ++x) {
            const uint32_t c = page.at(x, y);
            EXPECT_EQ(row[1 + 3 * x], c & 0xFF);
            EXPECT_EQ(row[2 + 3 * x], (c >> 8) & 0xFF);
            EXPECT_EQ(row[3 + 3 * x], (c >> 16) & 0xFF);
        }
    }
    tool::PixelPage empty;
    EXPECT_FALSE(tool::pngOf(empty, png, reason));
}
#endif

}  // namespace
}  // namespace vutil::dxf::test
