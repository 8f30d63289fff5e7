// Tests of rectangle tiling: grid counts, tile edges, directions and hostile requests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "platform/memory.h"
#include "vutil/raster.h"

namespace vutil::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Tile {
    double x0, y0, z0, x1, y1, z1;
};

struct Grid {
    int32_t result = -1;
    int32_t rows = 0, columns = 0;
    bool haveBlock = false;
    std::vector<Tile> tiles;
    const Tile &at(int32_t r, int32_t c) const { return tiles[static_cast<std::size_t>(r * columns + c)]; }
};

kor_tile_request request(double extent, double tileSize, double gap = 0, double scale = 1) {
    kor_tile_request r{};
    for (int a = 0; a < 3; ++a) {
        r.gap[a] = gap;
        r.tileSize[a] = tileSize;
        r.extentsMin[a] = 0;
        r.extentsMax[a] = extent;
        r.origin[a] = 0;
        r.scale[a] = scale;
    }
    return r;
}

/// Runs the request, reads the block (checking its size) and frees it.
Grid tile(kor_tile_request r) {
    const std::size_t before = platform::globalBlocksInUse();
    r.tiles = reinterpret_cast<HGLOBAL>(uintptr_t{0x1234});  // overwritten in every case
    Grid grid;
    grid.result = KOR_TileRect(&r);
    grid.haveBlock = r.tiles != nullptr;
    if (r.tiles != nullptr) {
        const auto *data = static_cast<const uint8_t *>(GlobalLock(r.tiles));
        EXPECT_NE(data, nullptr);
        std::memcpy(&grid.rows, data, 4);
        std::memcpy(&grid.columns, data + 4, 4);
        EXPECT_EQ(GlobalSize(r.tiles), static_cast<std::size_t>(grid.rows) * grid.columns * 48 + 8);
        grid.tiles.resize(static_cast<std::size_t>(grid.rows) * static_cast<std::size_t>(grid.columns));
        std::memcpy(grid.tiles.data(), data + 8, grid.tiles.size() * sizeof(Tile));
        EXPECT_EQ(GlobalUnlock(r.tiles), 0) << "the block comes back unlocked";
        EXPECT_EQ(GlobalFree(r.tiles), nullptr);
    }
    EXPECT_EQ(platform::globalBlocksInUse(), before);
    return grid;
}

// Random requests, whole-numbered and fractional, with gaps, overlaps and either direction: the
// grid covers the scaled extents with the fewest tiles, tiles start one pitch apart from the
// origin, each spans the pitch less the gap, and the last one ends where the area ends.
TEST(Tiling, GridsCoverTheScaledExtents) {
    std::mt19937 random(5);
    const double sizes[] = {1, 2, 3, 0.5, 0.1, 7.25, 40};
    for (int trial = 0; trial < 300; ++trial) {
        kor_tile_request r{};
        double length[2], sign[2];
        for (int a = 0; a < 3; ++a) {
            r.tileSize[a] = sizes[random() % std::size(sizes)] * (trial % 3 == 0 ? 1.0 : 1.0 + random() % 100 / 37.0);
            r.gap[a] = random() % 3 == 0 ? 0.0 : r.tileSize[a] * (static_cast<double>(random() % 100) / 200.0 - 0.25);
            r.scale[a] = (random() % 2 ? 1.0 : -1.0) * (random() % 2 ? 1.0 : 0.25 + random() % 16 / 4.0);
            r.origin[a] = static_cast<double>(random() % 200) - 100.0;
            r.extentsMin[a] = static_cast<double>(random() % 100) - 50.0;
            r.extentsMax[a] = r.extentsMin[a] + static_cast<double>(random() % 64) * r.tileSize[a] / 4.0;
            if (a < 2) {
                length[a] = std::fabs(r.extentsMax[a] - r.extentsMin[a] + r.gap[a]) * std::fabs(r.scale[a]);
                sign[a] = r.scale[a] < 0 ? -1.0 : 1.0;
            }
        }
        SCOPED_TRACE(trial);
        Grid grid = tile(r);
        ASSERT_EQ(grid.result, 1);
        const int32_t counts[2] = {grid.columns, grid.rows};
        if (!grid.haveBlock) {
            ASSERT_TRUE(length[0] == 0 || length[1] == 0);
            continue;
        }
        for (int a = 0; a < 2; ++a) {
            // The fewest tiles that cover the length (a length within rounding of a whole number
            // of tiles may go either way).
            ASSERT_GE(counts[a] * r.tileSize[a], length[a] * (1 - 1e-12)) << "axis " << a;
            ASSERT_LT((counts[a] - 1) * r.tileSize[a], length[a] * (1 + 1e-12)) << "axis " << a;
        }
        for (int32_t row = 0; row < grid.rows; ++row) {
            for (int32_t column = 0; column < grid.columns; ++column) {
                const Tile &t = grid.at(row, column);
                const int32_t index[2] = {column, row};
                const double low[2] = {t.x0, t.y0}, high[2] = {t.x1, t.y1};
                for (int a = 0; a < 2; ++a) {
                    const double tolerance = 1e-9 * (1 + std::fabs(r.origin[a]) + length[a]);
                    const double start = r.origin[a] + sign[a] * index[a] * r.tileSize[a];
                    const bool last = index[a] == counts[a] - 1;
                    const double end = last ? r.origin[a] + sign[a] * (length[a] - r.gap[a])
                                            : start + sign[a] * (r.tileSize[a] - r.gap[a]);
                    ASSERT_NEAR(low[a], start, tolerance) << "axis " << a << " tile " << index[a];
                    ASSERT_NEAR(high[a], end, tolerance) << "axis " << a << " tile " << index[a];
                }
                ASSERT_EQ(t.z0, 0.0);
                ASSERT_EQ(t.z1, 0.0);
            }
        }
    }
}

TEST(Tiling, AnExactMultipleGainsNoTile) {
    Grid grid = tile(request(100, 50));
    EXPECT_EQ(grid.rows, 2);
    EXPECT_EQ(grid.columns, 2);
    EXPECT_EQ(grid.at(1, 1).x1, 100);
    Grid tenths = tile(request(0.3, 0.1));  // also where the division is not exact in binary
    EXPECT_EQ(tenths.columns, 3);
    Grid ones = tile(request(3, 1));
    EXPECT_EQ(ones.columns, 3);
    EXPECT_EQ(ones.at(2, 2).y1, 3);
}

TEST(Tiling, NoTiles) {
    Grid grid = tile(request(0, 40));
    EXPECT_EQ(grid.result, 1);
    EXPECT_FALSE(grid.haveBlock);
    // An infinite tile size fits the area zero times.
    Grid huge = tile(request(100, kInf));
    EXPECT_EQ(huge.result, 1);
    EXPECT_FALSE(huge.haveBlock);
}

TEST(Tiling, MeaninglessRequestsAreRejected) {
    const struct {
        const char *what;
        kor_tile_request r;
    } cases[] = {
        {"tile size 0", request(100, 0)},
        {"tile size -0", request(100, -0.0)},
        {"tile size NaN", request(100, kNaN)},
        {"negative tile size", request(100, -40)},
        {"infinite extents", request(kInf, 40)},
        {"NaN extents", request(kNaN, 40)},
        {"NaN scale", request(100, 40, 0, kNaN)},
        {"infinite scale", request(100, 40, 0, kInf)},
        {"NaN gap", request(100, 40, kNaN)},
        {"grid beyond 32 bits", request(1e6, 1)},
        // 2^30 x 2^30 tiles of 48 bytes: the block size wraps 64 bits to 8 bytes.
        {"grid whose size wraps 64 bits", request(1073741824.0, 1)},
        {"count beyond 32 bits", request(1e300, 1e-300)},
        {"huge scale", request(100, 40, 0, 1e308)},
    };
    for (const auto &c : cases) {
        Grid grid = tile(c.r);
        EXPECT_EQ(grid.result, 0) << c.what;
        EXPECT_FALSE(grid.haveBlock) << c.what;
    }
    kor_tile_request one = request(100, 40);
    one.tileSize[1] = 0;
    EXPECT_EQ(tile(one).result, 0);
    EXPECT_EQ(KOR_TileRect(nullptr), 0);
}

TEST(Tiling, OutOfMemoryGivesZero) {
    platform::setGlobalAllocFailureAfter(0);
    Grid grid = tile(request(100, 40));
    platform::setGlobalAllocFailureAfter(-1);
    EXPECT_EQ(grid.result, 0);
    EXPECT_FALSE(grid.haveBlock);
}

}  // namespace
}  // namespace vutil::test
