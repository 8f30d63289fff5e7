// Tests of rectangle tiling: grid counts, tile edges, directions and hostile requests.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
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

TEST(Tiling, ThreeByThreeWithAShortLastColumnAndRow) {
    Grid grid = tile(request(100, 40));
    EXPECT_EQ(grid.result, 1);
    ASSERT_EQ(grid.rows, 3);
    ASSERT_EQ(grid.columns, 3);
    const double edges[3][2] = {{0, 40}, {40, 80}, {80, 100}};
    for (int32_t r = 0; r < 3; ++r) {
        for (int32_t c = 0; c < 3; ++c) {
            const Tile &t = grid.at(r, c);
            EXPECT_EQ(t.x0, edges[c][0]);
            EXPECT_EQ(t.x1, edges[c][1]);
            EXPECT_EQ(t.y0, edges[r][0]);
            EXPECT_EQ(t.y1, edges[r][1]);
            EXPECT_EQ(t.z0, 0.0);
            EXPECT_EQ(t.z1, 0.0);
        }
    }
}

TEST(Tiling, AnExactMultipleGainsNoTile) {
    Grid grid = tile(request(100, 50));
    EXPECT_EQ(grid.rows, 2);
    EXPECT_EQ(grid.columns, 2);
    EXPECT_EQ(grid.at(1, 1).x1, 100);
    // Also where the division is not exact in binary.
    Grid tenths = tile(request(0.3, 0.1));
    EXPECT_EQ(tenths.columns, 3);
}

TEST(Tiling, GapsLeaveSpaceBetweenTiles) {
    Grid grid = tile(request(100, 40, 2));
    ASSERT_EQ(grid.columns, 3);
    const double edges[3][2] = {{0, 38}, {40, 78}, {80, 100}};
    for (int32_t c = 0; c < 3; ++c) {
        EXPECT_EQ(grid.at(0, c).x0, edges[c][0]);
        EXPECT_EQ(grid.at(0, c).x1, edges[c][1]);
    }
    // A negative gap makes neighbours overlap.
    Grid overlap = tile(request(100, 40, -5));
    ASSERT_GE(overlap.columns, 2);
    EXPECT_GT(overlap.at(0, 0).x1, overlap.at(0, 1).x0);
}

TEST(Tiling, NegativeScaleRunsTheOtherWay) {
    kor_tile_request r = request(100, 40);
    r.scale[1] = -1;
    Grid grid = tile(r);
    ASSERT_EQ(grid.rows, 3);
    for (int32_t row = 0; row < 3; ++row) {
        EXPECT_LT(grid.at(row, 0).y1, grid.at(row, 0).y0);
    }
    EXPECT_EQ(grid.at(0, 0).y0, 0);
    EXPECT_EQ(grid.at(2, 0).y1, -100);
    EXPECT_EQ(grid.at(2, 2).x1, 100);
}

TEST(Tiling, NeighboursStartOnePitchApart) {
    kor_tile_request r = request(1000, 64, 3, 2.5);
    r.origin[0] = -17;
    r.origin[1] = 40;
    Grid grid = tile(r);
    ASSERT_GT(grid.columns, 3);
    for (int32_t c = 1; c < grid.columns; ++c) {
        EXPECT_NEAR(grid.at(0, c).x0 - grid.at(0, c - 1).x0, 64, 1e-9);
    }
    for (int32_t c = 0; c + 1 < grid.columns; ++c) {
        EXPECT_NEAR(grid.at(0, c).x1 - grid.at(0, c).x0, 61, 1e-9);
    }
    // The area ends at origin + |1000 + 3| * 2.5 - 3.
    EXPECT_EQ(grid.at(grid.rows - 1, grid.columns - 1).x1, -17 + 1003 * 2.5 - 3);
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
