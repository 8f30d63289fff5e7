// Cutting a scaled drawing area into a grid of tiles handed back in global memory.
#pragma once

#include <cstdint>

#include "vutil/raster.h"

namespace vutil::raster {

/// Bytes of the tile block's header (rows, columns) and of one tile (six doubles).
inline constexpr std::size_t kTileHeaderBytes = 8;
inline constexpr std::size_t kTileBytes = 48;

/// Fills request.tiles with the grid of tiles (null when there are none). Returns 1 on
/// success; 0 when the request has no meaningful grid (tile size 0 or not a number, a
/// count that is negative or not finite, a block that does not fit 32 bits) or memory
/// runs out, with request.tiles null.
int32_t tileRect(kor_tile_request &request) noexcept;

}  // namespace vutil::raster
