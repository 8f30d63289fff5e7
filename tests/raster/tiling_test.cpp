// Tests of rectangle tiling: grid counts, tile edges, directions and hostile requests.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "support/facts.h"
#include "platform/memory.h"
#include "vutil/raster.h"

namespace vutil::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Grid {
    int32_t result = -1, rows = 0, columns = 0;
    bool haveBlock = false;
    std::vector<std::array<double, 6>> tiles;  ///< x0, y0, z0, x1, y1, z1 of each, row by row
};

kor_tile_request request(double extent, double tileSize, double gap = 0, double scale = 1) {
    kor_tile_request r{};
    for (int a = 0; a < 3; ++a) r.gap[a] = gap, r.tileSize[a] = tileSize, r.extentsMax[a] = extent, r.scale[a] = scale;
    return r;
}

/// Runs the request, reads the block (checking its size) and frees it.
Grid tile(kor_tile_request r) {
    const std::size_t before = platform::globalBlocksInUse();
    r.tiles = reinterpret_cast<HGLOBAL>(uintptr_t{0x1234});  // overwritten in every case
    Grid grid;
    grid.result = KOR_TileRect(&r);
    EXPECT_TRUE(grid.result == 1 || r.tiles == nullptr) << "a block only on success";
    grid.haveBlock = r.tiles != nullptr;
    if (r.tiles != nullptr) {
        const auto *data = static_cast<const uint8_t *>(GlobalLock(r.tiles));
        std::memcpy(&grid.rows, data, 4);
        std::memcpy(&grid.columns, data + 4, 4);
        grid.tiles.resize(static_cast<std::size_t>(grid.rows) * grid.columns);
        EXPECT_EQ(GlobalSize(r.tiles), grid.tiles.size() * 48 + 8);
        std::memcpy(grid.tiles.data(), data + 8, grid.tiles.size() * 48);
        // the block comes back unlocked
        expectFacts({FACT(GlobalUnlock(r.tiles), 0), FACT(GlobalFree(r.tiles), nullptr)});
    }
    EXPECT_EQ(platform::globalBlocksInUse(), before);
    return grid;
}

// Random requests, whole-numbered and fractional, with gaps, overlaps and either direction: the grid covers the
// scaled extents with the fewest tiles, tiles start one pitch apart from the origin, each spans the pitch less
// the gap, and the last one ends where the area ends.
TEST(Tiling, GridsCoverTheScaledExtents) {
    std::mt19937 random(5);
    const double sizes[] = {1, 2, 3, 0.5, 0.1, 7.25, 40};
    for (int trial = 0; trial < 300; ++trial) {
        kor_tile_request r{};
        for (int a = 0; a < 3; ++a) {
            r.tileSize[a] = sizes[random() % std::size(sizes)] * (trial % 3 == 0 ? 1.0 : 1.0 + random() % 100 / 37.0);
            r.gap[a] = random() % 3 == 0 ? 0.0 : r.tileSize[a] * (static_cast<double>(random() % 100) / 200.0 - 0.25);
            r.scale[a] = (random() % 2 ? 1.0 : -1.0) * (random() % 2 ? 1.0 : 0.25 + random() % 16 / 4.0);
            r.origin[a] = static_cast<double>(random() % 200) - 100.0;
            r.extentsMin[a] = static_cast<double>(random() % 100) - 50.0;
            r.extentsMax[a] = r.extentsMin[a] + static_cast<double>(random() % 64) * r.tileSize[a] / 4.0;
        }
        double length[2], sign[2];
        for (int a = 0; a < 2; ++a) {
            length[a] = std::fabs(r.extentsMax[a] - r.extentsMin[a] + r.gap[a]) * std::fabs(r.scale[a]);
            sign[a] = r.scale[a] < 0 ? -1.0 : 1.0;
        }
        SCOPED_TRACE(trial);
        const Grid grid = tile(r);
        ASSERT_EQ(grid.result, 1);
        const int32_t counts[2] = {grid.columns, grid.rows};
        ASSERT_TRUE(grid.haveBlock || length[0] == 0 || length[1] == 0);
        for (int a = 0; a < 2 && grid.haveBlock; ++a) {
            // The fewest tiles that cover the length (within rounding of a whole number of tiles, either way).
            ASSERT_TRUE(counts[a] * r.tileSize[a] >= length[a] * (1 - 1e-12) &&
                        (counts[a] - 1) * r.tileSize[a] < length[a] * (1 + 1e-12)) << "axis " << a << ": " << counts[a];
        }
        for (std::size_t i = 0; i < grid.tiles.size(); ++i) {
            const auto &t = grid.tiles[i];
            const int32_t index[2] = {static_cast<int32_t>(i) % grid.columns, static_cast<int32_t>(i) / grid.columns};
            for (int a = 0; a < 2; ++a) {
                const double tolerance = 1e-9 * (1 + std::fabs(r.origin[a]) + length[a]);
                const double start = r.origin[a] + sign[a] * index[a] * r.tileSize[a];
                const double end = index[a] == counts[a] - 1 ? r.origin[a] + sign[a] * (length[a] - r.gap[a])
                                                             : start + sign[a] * (r.tileSize[a] - r.gap[a]);
                ASSERT_NEAR(t[a], start, tolerance) << "axis " << a << " tile " << index[a];
                ASSERT_NEAR(t[a + 3], end, tolerance) << "axis " << a << " tile " << index[a];
            }
            ASSERT_TRUE(t[2] == 0 && t[5] == 0);
        }
    }
}

// Exact multiples gain no tile, also where the division is not exact in binary: 0.1 * 3 is one step of the last
// bit above 0.3, and divided by 0.1 gives one step above 3, which the count's tolerance takes back; two steps above
// a whole number are beyond it. Nothing to tile (an empty area, or an infinite tile size) succeeds without a block;
// meaningless requests and no memory give 0.
TEST(Tiling, EdgeCasesAndMeaninglessRequests) {
    const double twoStepsAboveOne = std::nextafter(std::nextafter(1.0, 2.0), 2.0);
    for (const auto &[extent, size, count] :
         {std::tuple{100.0, 50.0, 2}, std::tuple{0.3, 0.1, 3}, std::tuple{0.1 * 3, 0.1, 3}, std::tuple{3.0, 1.0, 3},
          std::tuple{twoStepsAboveOne, 1.0, 2}}) {
        const Grid grid = tile(request(extent, size));
        EXPECT_TRUE(grid.rows == count && grid.columns == count) << extent << " " << grid.rows;
        EXPECT_NEAR(grid.tiles.back()[4], extent, extent == std::round(extent) ? 0 : 1e-15);
    }
    for (const kor_tile_request &r : {request(0, 40), request(100, kInf)}) {
        const Grid grid = tile(r);
        expectFacts({FACT(grid.result, 1), FACT(!grid.haveBlock, 1)});
    }
    kor_tile_request zeroX = request(100, 40), zeroY = request(100, 40);
    zeroX.tileSize[0] = zeroY.tileSize[1] = 0;
    // The last but one: 2^30 x 2^30 tiles of 48 bytes, a block size that wraps 64 bits to 8 bytes.
    const kor_tile_request rejected[] = {request(100, 0),
                                         request(100, -0.0),
                                         request(100, kNaN),
                                         request(100, -40),
                                         request(kInf, 40),
                                         request(kNaN, 40),
                                         request(100, 40, 0, kNaN),
                                         request(100, 40, 0, kInf),
                                         request(100, 40, kNaN),
                                         request(1e6, 1),
                                         request(1e300, 1e-300),
                                         request(100, 40, 0, 1e308),
                                         request(1073741824.0, 1),
                                         zeroX,
                                         zeroY};
    for (const kor_tile_request &r : rejected) EXPECT_EQ(tile(r).result, 0) << r.extentsMax[0] << " " << r.tileSize[0];
    EXPECT_EQ(KOR_TileRect(nullptr), 0);
    platform::setGlobalAllocFailureAfter(0);
    EXPECT_EQ(tile(request(100, 40)).result, 0);
    platform::setGlobalAllocFailureAfter(-1);
}

}  // namespace
}  // namespace vutil::test
