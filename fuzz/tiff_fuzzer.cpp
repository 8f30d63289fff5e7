// Fuzz harness for the TIFF reader of `vutil view`: any file must be refused with a reason,
// or drawn into a picture of the size asked for, without a fault, a hang or runaway memory.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_file.h"
#include "raster_view.h"
#include "tiff_reader.h"

namespace tool = vutil::tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = vutil::fuzz::scratch().write(data, size);
    tool::tiff::Reader reader;
    std::string error;
    if (!reader.open(path, 0, error)) {
        return error.empty() ? (std::abort(), 0) : 0;
    }
    const tool::tiff::PageInfo &info = reader.info();
    int32_t width = 0, height = 0;
    tool::fitSize(info.width, info.height, info.xResolution, info.yResolution, 64, 48, width, height);
    tool::AreaFit fit;
    if (!fit.start({0, 0, info.width, info.height}, width, height, error)) {
        std::abort();
    }
    // At most 4096 rows: a page of millions of rows is a matter of time, not of safety.
    if (!reader.read(0, 4096, fit, error) && error.empty()) {
        std::abort();
    }
    if (fit.picture().width != width || fit.picture().height != height) {
        std::abort();
    }
    return 0;
}
