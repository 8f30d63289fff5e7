// Cutting a scaled drawing area into a grid of tiles handed back in global memory.
#include "raster/tiling.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/memory.h"

namespace vutil::raster {
namespace {

/// 2^-52: a length that is an exact multiple of the pitch gains no tile through rounding.
constexpr double kCountEpsilon = 2.220446049250313e-16;
constexpr uint32_t kTileFlags = platform::kGmemMoveable | platform::kGmemZeroInit;

/// One axis of the grid: where it starts and ends, the signed pitch and gap, and the count.
struct Axis {
    double start;
    double end;
    double pitch;
    double gap;
    double count;  ///< integer valued when valid; checked by the caller
};

Axis axisOf(const kor_tile_request &request, int a) noexcept {
    const double sign = request.scale[a] >= 0 ? 1.0 : -1.0;
    Axis axis;
    axis.gap = sign * request.gap[a];
    axis.pitch = sign * request.tileSize[a];
    axis.start = request.origin[a];
    axis.end = request.origin[a] +
               std::fabs(request.extentsMax[a] - request.extentsMin[a] + request.gap[a]) * request.scale[a] - axis.gap;
    axis.count = std::ceil(std::fabs(axis.end - axis.start + axis.gap) / request.tileSize[a] - kCountEpsilon);
    return axis;
}

bool validCount(double count) noexcept {
    return std::isfinite(count) && count >= 0 && count <= static_cast<double>(std::numeric_limits<int32_t>::max());
}

/// The low and high edges of every tile along an axis: each tile begins one gap after its
/// neighbour ends and spans the pitch less the gap; the last one is cut back to the end.
void layOut(const Axis &axis, int32_t count, std::vector<double> &low, std::vector<double> &high) {
    low.resize(static_cast<std::size_t>(count));
    high.resize(static_cast<std::size_t>(count));
    for (std::size_t i = 0; i < low.size(); ++i) {
        low[i] = i == 0 ? axis.start : high[i - 1] + axis.gap;
        high[i] = low[i] + axis.pitch - axis.gap;
    }
    const std::size_t last = low.size() - 1;
    const double excess = high[last] - axis.end;
    if (excess != 0) {
        high[last] = low[last] + (axis.pitch - excess) - axis.gap;
    }
}

}  // namespace

int32_t tileRect(kor_tile_request &request) noexcept {
    request.tiles = nullptr;
    if (request.tileSize[0] == 0 || request.tileSize[1] == 0 || std::isnan(request.tileSize[0]) ||
        std::isnan(request.tileSize[1])) {
        return 0;
    }
    const Axis columnsAxis = axisOf(request, 0);
    const Axis rowsAxis = axisOf(request, 1);
    if (!validCount(columnsAxis.count) || !validCount(rowsAxis.count)) {
        return 0;
    }
    const auto columns = static_cast<int32_t>(columnsAxis.count);
    const auto rows = static_cast<int32_t>(rowsAxis.count);
    const uint64_t tiles = static_cast<uint64_t>(rows) * static_cast<uint64_t>(columns);
    if (tiles == 0) {
        return 1;
    }
    // Tested before multiplying: two counts near 2^31 make a product that wraps 64 bits.
    if (tiles > (std::numeric_limits<uint32_t>::max() - kTileHeaderBytes) / kTileBytes) {
        return 0;
    }
    const uint64_t bytes = tiles * kTileBytes + kTileHeaderBytes;

    std::vector<double> x0, x1, y0, y1;
    try {
        layOut(columnsAxis, columns, x0, x1);
        layOut(rowsAxis, rows, y0, y1);
    } catch (...) {
        return 0;
    }

    HGLOBAL block = platform::globalAlloc(kTileFlags, static_cast<std::size_t>(bytes));
    if (block == nullptr) {
        return 0;
    }
    auto *data = static_cast<uint8_t *>(platform::globalLock(block));
    if (data == nullptr) {
        platform::globalFree(block);
        return 0;
    }
    std::memcpy(data, &rows, 4);
    std::memcpy(data + 4, &columns, 4);
    uint8_t *tile = data + kTileHeaderBytes;
    for (int32_t r = 0; r < rows; ++r) {
        for (int32_t c = 0; c < columns; ++c) {
            const double corners[6] = {x0[static_cast<std::size_t>(c)], y0[static_cast<std::size_t>(r)], 0.0,
                                       x1[static_cast<std::size_t>(c)], y1[static_cast<std::size_t>(r)], 0.0};
            std::memcpy(tile, corners, sizeof corners);
            tile += kTileBytes;
        }
    }
    platform::globalUnlock(block);
    request.tiles = block;
    return 1;
}

}  // namespace vutil::raster
