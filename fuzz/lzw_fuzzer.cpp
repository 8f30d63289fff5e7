// Fuzz harness for the LZW (.Z) decoder: any input with any byte limit must decode
// without fault, give the same count whether written or only counted, and agree
// byte for byte with the plain reference decoder of the tests.
#include <cstdint>
#include <cstdlib>

#include "tests/raster/lzw_support.h"

namespace {

/// The byte limit comes from the input's last bytes: none, small, large or negative.
int32_t limitFor(const uint8_t *data, std::size_t size) {
    if (size < 2 || size % 3 == 0) {
        return 0;
    }
    return static_cast<int32_t>(data[size - 1] | data[size - 2] << 8) - 1000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace vutil::test;
    const Bytes stream(data, data + size);
    const int32_t limit = limitFor(data, size);
    const Decoded decoded = decodeWithLibrary(stream, limit);
    if (decoded.count < 0 || static_cast<std::size_t>(decoded.count) != decoded.bytes.size() ||
        (limit > 0 && decoded.count > limit)) {
        std::abort();
    }
    if (countWithLibrary(stream, limit) != decoded.count) {
        std::abort();
    }
    if (!(decodeWithReference(stream, limit) == decoded)) {
        std::abort();
    }
    return 0;
}
