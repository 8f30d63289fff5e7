// vutil fax: decodes raw Group 3/4 coded data into a PBM image.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "commands.h"
#include "fax_decoder.h"
#include "output.h"

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
    bool msbFirst = false, byteAligned = false;
    for (const std::string &arg : args) {
        if (arg == "--msb-first") {
            msbFirst = true;
        } else if (arg == "--byte-aligned") {
            byteAligned = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError(command, "unknown option '" + arg + "'");
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
    } else if (positional[2] == "mh") {
        coding = fax::Coding::MH;
    } else {
        return usageError(command, "coding must be g3, g3-2d, g4 or mh");
    }
    const std::string &input = positional[3], &target = positional[4];
    std::error_code error;
    if (std::filesystem::is_directory(input, error)) {
        return failure("fax", input, "is a directory");
    }
    std::ifstream in(input, std::ios::binary);
    if (!in) {
        return failure("fax", input, std::string("cannot open: ") + std::strerror(errno));
    }
    std::vector<uint8_t> data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return failure("fax", input, "cannot read");
    }
    fax::Image image;
    std::string reason;
    if (!fax::decode(data, width, height, coding, msbFirst, image, reason, byteAligned)) {
        return failure("fax", input, reason);
    }
    const std::vector<uint8_t> pbm = fax::toPbm(image);
    if (writeOutput("fax", target, {reinterpret_cast<const char *>(pbm.data()), pbm.size()}) != 0) {
        return 1;
    }
    if (target == kStandardOutput) {
        return 0;
    }
    std::printf("%d x %d pixels written to %s\n", width, height, target.c_str());
    return 0;
}

}  // namespace vutil::tool
