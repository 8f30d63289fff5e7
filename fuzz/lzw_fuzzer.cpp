// Fuzz harness for KOR_decompress: any file with any byte limit must decode without
// fault, give the same count whether written or only counted, and agree byte for byte
// with the plain reference decoder of the tests.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "fuzz_file.h"
#include "tests/raster/lzw_support.h"
#include "vutil/raster.h"

namespace {

/// The byte limit comes from the input's last bytes: none, small, large or negative.
int32_t limitFor(const uint8_t *data, std::size_t size) {
    if (size < 2 || size % 3 == 0) {
        return 0;
    }
    return static_cast<int32_t>(data[size - 1] | data[size - 2] << 8) - 1000;
}

vutil::test::Bytes readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using namespace vutil::test;
    const Bytes stream(data, data + size);
    const int32_t limit = limitFor(data, size);
    const Decoded reference = decodeWithReference(stream, limit);
    auto &file = vutil::fuzz::scratch();
    const std::string &input = file.write(data, size);
    const std::string output = file.outputPath();
    const int32_t count = KOR_decompress(input.c_str(), output.c_str(), limit);
    if (count != reference.count || readFile(output) != reference.bytes) {
        std::abort();
    }
    if (KOR_decompress(input.c_str(), nullptr, limit) != count) {
        std::abort();
    }
    // The decoder on its own, without files.
    if (!(decodeWithLibrary(stream, limit) == reference) || countWithLibrary(stream, limit) != count) {
        std::abort();
    }
    return 0;
}
