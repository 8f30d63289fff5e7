// Fuzz harness for run lists: MakeRuns and ExpandRuns on arbitrary rows, widths, limits
// and boundaries must stay inside their buffers, and be inverses where they should.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vutil/raster.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const int32_t limit = static_cast<int8_t>(data[0]) * 3;
    const int32_t polarity = data[1] % 3;
    const uint8_t *row = data + 4;
    const auto width = static_cast<int32_t>(size - 4);

    // Exactly limit + 2 entries (none for a negative limit): the sanitizers watch the bound.
    std::vector<int32_t> runs(static_cast<std::size_t>(limit < 0 ? 0 : limit + 2));
    const int32_t count = MakeRuns(runs.data(), row, limit, width, polarity);
    if (count < 0 || count % 2 != 0 || count > (limit < 0 ? 0 : limit + 2)) {
        std::abort();
    }
    std::vector<uint8_t> back(static_cast<std::size_t>(width));
    ExpandRuns(back.data(), runs.data(), count, width);
    if (polarity != 0 && count < limit) {
        // Every column was scanned: the runs are exactly the zero bytes.
        for (int32_t i = 0; i < width; ++i) {
            if ((back[static_cast<std::size_t>(i)] == 0) != (row[i] == 0)) {
                std::abort();
            }
        }
    }
    // Arbitrary boundaries, clipped to the row.
    std::vector<int32_t> wild((size - 4) / 4 + 1);
    std::memcpy(wild.data(), row, (wild.size() - 1) * 4);
    ExpandRuns(back.data(), wild.data(), static_cast<int32_t>(wild.size()), width);
    return 0;
}
