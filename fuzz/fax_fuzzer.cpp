// Fuzz harness for the tool's Group 3/4 decoder: raw coded data of any kind, at any
// row width and coding, must end in an image or an error, never a fault or a hang.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fax_decoder.h"

namespace fax = vutil::tool::fax;

/// The first four bytes choose the width (1 to 3000), the height (1 to 8), the coding,
/// the bit order and the row alignment; the rest is the coded data.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const int32_t width = 1 + (data[0] | data[1] << 8) % 3000;
    const int32_t height = 1 + data[2] % 8;
    const auto coding = static_cast<fax::Coding>(data[3] % 4);
    const bool msbFirst = (data[3] & 4) != 0;
    const bool byteAligned = (data[3] & 8) != 0;
    const std::vector<uint8_t> coded(data + 4, data + size);
    fax::Image image;
    std::string error;
    const bool decoded = fax::decode(coded, width, height, coding, msbFirst, image, error, byteAligned);
    if ((!decoded && error.empty()) ||
        image.pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {
        std::abort();
    }
    return 0;
}
