// vutil uncompress: expands a .Z file, or counts its decompressed bytes.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "commands.h"
#include "output.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

/// What the input's first bytes say. The library answers 0 both for a file it
/// cannot use and for a stream without data; the header tells the two apart.
enum class Header { Unreadable, NotCompressed, TooWide, HeaderOnly, Stream };

Header inspect(const std::string &path, std::string &reason) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        reason = "is a directory";
        return Header::Unreadable;
    }
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        reason = std::string("cannot open: ") + std::strerror(errno);
        return Header::Unreadable;
    }
    unsigned char bytes[4] = {};
    const std::size_t got = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    if (got < 3 || bytes[0] != 0x1F || bytes[1] != 0x9D) {
        reason = "not a .Z file (it does not begin with the bytes 1F 9D and a flags byte)";
        return Header::NotCompressed;
    }
    if ((bytes[2] & 0x1F) > 16) {
        reason = "codes of up to " + std::to_string(bytes[2] & 0x1F) + " bits; at most 16 are supported";
        return Header::TooWide;
    }
    reason = "no complete code after the header";
    return got == 3 ? Header::HeaderOnly : Header::Stream;
}

}  // namespace

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
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            return usageError(*command, "unknown option '" + args[i] + "'");
        } else {
            positional.push_back(args[i]);
        }
    }
    if (positional.empty() || positional.size() > 2) {
        return usageError(*command, "expected IN [OUT]");
    }
    const std::string &input = positional[0];
    std::string reason;
    const Header header = inspect(input, reason);
    if (header != Header::Stream && header != Header::HeaderOnly) {
        return failure("uncompress", input, reason);
    }
    if (positional.size() == 1) {
        const int32_t count = KOR_decompress(input.c_str(), nullptr, maxBytes);
        if (count == 0 && header != Header::HeaderOnly) {
            return failure("uncompress", input, reason);
        }
        std::printf("%d bytes\n", count);
        return 0;
    }

    const std::string &target = positional[1];
    std::error_code ignored;
    if (std::filesystem::equivalent(input, target, ignored)) {
        return failure("uncompress", target, "is the input as well");
    }
    OutputFile output(target);
    if (!output.open(reason)) {
        return failure("uncompress", target, reason);
    }
    int32_t count = 0;
    Progress progress("uncompress", input);
    const std::string &temporary = output.pathForWriter();
    progress.watchFile(temporary, [&] { count = KOR_decompress(input.c_str(), temporary.c_str(), maxBytes); });
    if (count == 0 && header != Header::HeaderOnly) {
        return failure("uncompress", input, reason);
    }
    // The library does not report write errors; a short file shows them.
    std::error_code error;
    const auto written = std::filesystem::file_size(output.path(), error);
    if (error || written != static_cast<std::uintmax_t>(count)) {
        return failure("uncompress", target,
                       "cannot write: " + std::to_string(error ? 0 : written) + " of " + std::to_string(count) +
                           " bytes reached the file");
    }
    if (!output.commit(reason)) {
        return failure("uncompress", target, reason);
    }
    if (!output.toStandardOutput()) {
        std::printf("%d bytes written to %s\n", count, target.c_str());
    }
    return 0;
}

}  // namespace vutil::tool
