// vutil uncompress: expands a .Z file, or counts its decompressed bytes.
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "vutil.h"

namespace vutil::tool {

int runUncompress(const Args &args) {
    const Command *command = &findCommand("uncompress");
    Args positional;
    int32_t maxBytes = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--max") {
            if (i + 1 >= args.size()) {
                return usageError(*command, "--max needs a byte count");
            }
            try {
                std::size_t used = 0;
                const long long value = std::stoll(args[++i], &used);
                if (used != args[i].size() || value > INT32_MAX) {
                    throw std::out_of_range("count");
                }
                maxBytes = value < 1 ? 0 : static_cast<int32_t>(value);
            } catch (...) {
                return usageError(*command, "--max needs a byte count up to 2147483647");
            }
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        return usageError(*command, "expected IN [OUT]");
    }
    const char *output = positional.size() == 2 ? positional[1].c_str() : nullptr;
    // The output is created empty before the input is read: naming the input again
    // would destroy it.
    std::error_code ignored;
    if (output != nullptr && std::filesystem::equivalent(positional[0], positional[1], ignored)) {
        std::fprintf(stderr, "vutil uncompress: %s is both the input and the output\n", output);
        return 1;
    }
    const int32_t count = KOR_decompress(positional[0].c_str(), output, maxBytes);
    if (count == 0) {
        std::fprintf(stderr, "vutil uncompress: %s is not a readable .Z file with data\n", positional[0].c_str());
        return 1;
    }
    if (output != nullptr) {
        std::printf("%d bytes written to %s\n", count, output);
    } else {
        std::printf("%d bytes\n", count);
    }
    return 0;
}

}  // namespace vutil::tool
