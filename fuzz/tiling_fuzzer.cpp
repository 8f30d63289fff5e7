// Fuzz harness for rectangle tiling: requests of arbitrary doubles (infinities, NaN,
// huge and negative values) give 0 or a block of exactly the stated size.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vutil/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    kor_tile_request request{};
    double values[18] = {};
    if (size > 0) {
        std::memcpy(values, data, size < sizeof values ? size : sizeof values);
    }
    double *fields[] = {request.gap,        request.tileSize, request.extentsMin,
                        request.extentsMax, request.origin,   request.scale};
    for (int i = 0; i < 6; ++i) {
        std::memcpy(fields[i], values + 3 * i, 3 * sizeof(double));
    }
    // Valid grids may be as large as 4 GiB; keep the ones the fuzzer would run out of
    // memory on out of the run.
    for (int a = 0; a < 2; ++a) {
        const double span =
            std::fabs(request.extentsMax[a] - request.extentsMin[a] + request.gap[a]) * std::fabs(request.scale[a]) +
            std::fabs(request.gap[a]) * 2;
        if (std::fabs(span / request.tileSize[a]) > 2000) {
            return 0;
        }
    }
    const int32_t result = KOR_TileRect(&request);
    if (result != 0 && result != 1) {
        std::abort();
    }
    if (request.tiles != nullptr) {
        if (result != 1) {
            std::abort();
        }
        const auto *block = static_cast<const uint8_t *>(GlobalLock(request.tiles));
        int32_t rows, columns;
        std::memcpy(&rows, block, 4);
        std::memcpy(&columns, block + 4, 4);
        if (rows < 1 || columns < 1 ||
            GlobalSize(request.tiles) != static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns) * 48 + 8) {
            std::abort();
        }
        GlobalUnlock(request.tiles);
        GlobalFree(request.tiles);
    }
    return 0;
}
