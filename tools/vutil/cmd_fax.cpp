// vutil fax: decodes raw Group 3/4 coded data into a PBM image.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "fax_decoder.h"

namespace vutil::tool {
namespace {

bool parseSize(const std::string &text, int32_t &value) {
    try {
        std::size_t used = 0;
        long parsed = std::stol(text, &used);
        if (used != text.size() || parsed < 1 || parsed > (1 << 20)) {
            return false;
        }
        value = static_cast<int32_t>(parsed);
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace

int runFax(const Args &args) {
    const Command &command = findCommand("fax");
    Args positional;
    bool msbFirst = false;
    for (const std::string &arg : args) {
        if (arg == "--msb-first") {
            msbFirst = true;
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 5) {
        return usageError(command, "expected WIDTH HEIGHT CODING IN OUT");
    }
    int32_t width = 0, height = 0;
    if (!parseSize(positional[0], width) || !parseSize(positional[1], height) ||
        static_cast<int64_t>(width) * height > (int64_t{1} << 30)) {
        return usageError(command, "width and height must be positive and at most 2^30 pixels together");
    }
    fax::Coding coding;
    if (positional[2] == "g3") {
        coding = fax::Coding::G3;
    } else if (positional[2] == "g3-2d") {
        coding = fax::Coding::G3_2D;
    } else if (positional[2] == "g4") {
        coding = fax::Coding::G4;
    } else {
        return usageError(command, "coding must be g3, g3-2d or g4");
    }
    std::ifstream in(positional[3], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vutil fax: cannot read %s\n", positional[3].c_str());
        return 1;
    }
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    fax::Image image;
    std::string error;
    if (!fax::decode(data, width, height, coding, msbFirst, image, error)) {
        std::fprintf(stderr, "vutil fax: %s\n", error.c_str());
        return 1;
    }
    std::vector<uint8_t> pbm = fax::toPbm(image);
    std::ofstream out(positional[4], std::ios::binary);
    out.write(reinterpret_cast<const char *>(pbm.data()), static_cast<std::streamsize>(pbm.size()));
    if (!out) {
        std::fprintf(stderr, "vutil fax: cannot write %s\n", positional[4].c_str());
        return 1;
    }
    std::printf("%d x %d pixels written to %s\n", width, height, positional[4].c_str());
    return 0;
}

}  // namespace vutil::tool
