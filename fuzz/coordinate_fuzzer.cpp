// Fuzz harness for the text coordinate readers and the real-list readers.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vutil/fileio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *line = text.c_str();
    double x = 1, y = 1;
    int32_t found = read_lf_coord(line, &x);
    if (found < 0 || found > 1 || (found == 0 && x != 0.0)) {
        std::abort();
    }
    found = read_lf_coord_pair(line, &x, &y);
    if (found < 0 || found > 2 || (found < 2 && y != 0.0)) {
        std::abort();
    }
    int32_t ix = 1, iy = 1;
    found = read_d_coord_pair(line, &ix, &iy);
    if (found < 0 || found > 2 || (found < 2 && iy != 0)) {
        std::abort();
    }
    double r[4];
    if (Read2Reals(line, &r[0], &r[1]) > 1 || Read4Reals(line, &r[0], &r[1], &r[2], &r[3]) > 1 ||
        ReadNReals(3, line, &r[0], &r[1], &r[2]) > 1) {
        std::abort();
    }
    return 0;
}
