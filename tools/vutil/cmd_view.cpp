// vutil view: a drawing file drawn as PNG or SVG, by the reader its content calls for.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "output.h"
#include "view_dxf.h"

namespace vutil::tool {
namespace {

bool parseNumbers(const std::string &text, double *out, int count, char separator) {
    const char *p = text.c_str();
    for (int i = 0; i < count; ++i) {
        char *end = nullptr;
        errno = 0;
        out[i] = std::strtod(p, &end);
        if (end == p || errno != 0 || !std::isfinite(out[i])) {
            return false;
        }
        p = end;
        if (i + 1 < count) {
            if (*p != separator) {
                return false;
            }
            ++p;
        }
    }
    return *p == '\0';
}

}  // namespace

int runView(const Args &args) {
    const Command &command = findCommand("view");
    ViewOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i], value;
        const bool option = arg.size() > 1 && arg[0] == '-';
        const std::size_t equals = arg.find('=');
        if (option && arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        const bool takesValue = arg == "-o" || arg == "--size" || arg == "--extents" || arg == "--margin" ||
                                arg == "--layer";
        if (takesValue && value.empty() && equals == std::string::npos) {
            if (i + 1 >= args.size()) {
                return usageError(command, arg + " needs a value");
            }
            value = args[++i];
        }
        if (arg == "-o") {
            options.output = value;
        } else if (arg == "--size") {
            double size[2];
            if (!parseNumbers(value, size, 2, 'x') || size[0] < 1 || size[1] < 1 || size[0] > 16384 ||
                size[1] > 16384 || size[0] != std::floor(size[0]) || size[1] != std::floor(size[1])) {
                return usageError(command, "--size takes WIDTHxHEIGHT in pixels, 1 to 16384: " + value);
            }
            options.width = static_cast<int>(size[0]);
            options.height = static_cast<int>(size[1]);
        } else if (arg == "--extents") {
            if (!parseNumbers(value, options.extents, 4, ',') || !(options.extents[2] > options.extents[0]) ||
                !(options.extents[3] > options.extents[1])) {
                return usageError(command, "--extents takes XMIN,YMIN,XMAX,YMAX with XMIN < XMAX and YMIN < YMAX: " +
                                               value);
            }
            options.haveExtents = true;
        } else if (arg == "--margin") {
            if (!parseNumbers(value, &options.margin, 1, ',') || options.margin < 0 || options.margin > 10) {
                return usageError(command, "--margin takes a share of the extents from 0 to 10: " + value);
            }
        } else if (arg == "--layer") {
            options.layers.push_back(value);
        } else if (arg == "--stats" && equals == std::string::npos) {
            options.stats = true;
        } else if (option) {
            return usageError(command, "unknown option " + args[i]);
        } else if (options.input.empty()) {
            options.input = arg;
        } else {
            return usageError(command, "one input file only");
        }
    }
    if (options.input.empty() || options.output.empty()) {
        return usageError(command, "an input file and -o OUT are needed");
    }
    const std::string kind = options.output.size() >= 4 ? options.output.substr(options.output.size() - 4) : "";
    if (kind != ".png" && kind != ".svg" && kind != ".PNG" && kind != ".SVG") {
        return usageError(command, "the output name must end in .png or .svg: " + options.output);
    }
    std::FILE *file = std::fopen(options.input.c_str(), "rb");
    if (file == nullptr) {
        return failure("view", options.input, "cannot be opened");
    }
    std::string head(512, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::fclose(file);
    if (looksLikeDxf(head)) {
        return view_dxf(options);
    }
    return failure("view", options.input, "not a drawing this vutil reads (DXF)");
}

}  // namespace vutil::tool
