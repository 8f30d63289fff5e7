// vutil text: draws a string in the stroke font, or in a host outline font, as an SVG file of paths.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "commands.h"
#include "output.h"
#include "text_drawing.h"

namespace vutil::tool {
namespace {

bool parseNumber(const std::string &text, double &value) {
    try {
        std::size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size() && std::isfinite(value);
    } catch (...) {
        return false;
    }
}

/// An SVG page around the segments, y up, with a margin of half the text height.
std::string svgPage(const Segments &segments, bool outline, double height) {
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (const Segment &s : segments) {
        minX = std::min({minX, s.x1, s.x2});
        maxX = std::max({maxX, s.x1, s.x2});
        minY = std::min({minY, s.y1, s.y2});
        maxY = std::max({maxY, s.y1, s.y2});
    }
    const double margin = std::fabs(height) / 2 + 1;
    char head[512];
    std::snprintf(head, sizeof head,
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"%.6g %.6g %.6g %.6g\" width=\"%.6g\" "
                  "height=\"%.6g\">\n<rect x=\"%.6g\" y=\"%.6g\" width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                  minX - margin, -maxY - margin, maxX - minX + 2 * margin, maxY - minY + 2 * margin,
                  maxX - minX + 2 * margin, maxY - minY + 2 * margin, minX - margin, -maxY - margin);
    char style[160];
    if (outline) {
        std::snprintf(style, sizeof style, "fill=\"#1a1a1a\" fill-rule=\"nonzero\" stroke=\"none\"");
    } else {
        std::snprintf(style, sizeof style,
                      "fill=\"none\" stroke=\"#1a1a1a\" stroke-width=\"%.4g\" stroke-linecap=\"round\" "
                      "stroke-linejoin=\"round\"",
                      std::fabs(height) / 12);
    }
    return std::string(head) + "<path " + style + " d=\"" + svgPathData(segments) + "\"/>\n</svg>\n";
}

}  // namespace

int runText(const Args &args) {
    const Command &command = findCommand("text");
    std::string text, font, output;
    bool haveText = false;
    TextLayout layout;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &into) {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        auto numberValue = [&](double &into) {
            std::string v;
            return value(v) && parseNumber(v, into);
        };
        if (arg == "--font") {
            if (!value(font) || font.empty() || font.size() > 31) {
                return usageError(command, "--font needs a face name of 1 to 31 bytes");
            }
        } else if (arg == "--height" || arg == "--width" || arg == "--angle" || arg == "--oblique") {
            double &target = arg == "--height"  ? layout.height
                             : arg == "--width" ? layout.width
                             : arg == "--angle" ? layout.angle
                                                : layout.oblique;
            if (!numberValue(target)) {
                return usageError(command, arg + " needs a number");
            }
        } else if (arg == "--vertical") {
            layout.vertical = true;
        } else if (arg == "--backward") {
            layout.backward = true;
        } else if (arg == "--upside-down") {
            layout.upsideDown = true;
        } else if (arg == "-o") {
            if (!value(output) || output.empty()) {
                return usageError(command, "-o needs a file name");
            }
        } else if (!haveText && (arg.empty() || arg[0] != '-')) {
            text = arg;
            haveText = true;
        } else {
            return usageError(command, "unexpected argument '" + arg + "'");
        }
    }
    if (!haveText || output.empty()) {
        return usageError(command, "expected TEXT and -o OUT.svg");
    }
    if (!font.empty() && layout.vertical) {
        return usageError(command, "--vertical is for stroke text only");
    }
    if (layout.height <= 0 || layout.width < 0) {
        return usageError(command, "--height must be positive and --width not negative");
    }
    const Segments segments = font.empty() ? strokeText(text, layout) : outlineText(text, font, layout);
    if (!font.empty() && segments.empty() && text.find_first_not_of(' ') != std::string::npos) {
        return failure("text", font, "no outline font can be opened for this face name");
    }
    if (const int status = writeOutput("text", output, svgPage(segments, !font.empty(), layout.height)); status != 0) {
        return status;
    }
    if (output != kStandardOutput) {
        std::printf("%zu segments written to %s\n", segments.size(), output.c_str());
    }
    return 0;
}

}  // namespace vutil::tool
