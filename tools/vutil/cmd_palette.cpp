// vutil palette: writes the library's colour maps as an SVG sheet.
#include <cstdio>
#include <fstream>

#include "commands.h"
#include "palette_svg.h"

namespace vutil::tool {

int runPalette(const Args &args) {
    if (args.size() != 1) {
        return usageError(findCommand("palette"), "expected OUT.svg");
    }
    const std::string svg = paletteSvg();
    std::ofstream out(args[0], std::ios::binary);
    out << svg;
    if (!out) {
        std::fprintf(stderr, "vutil palette: cannot write %s\n", args[0].c_str());
        return 1;
    }
    std::printf("palette written to %s\n", args[0].c_str());
    return 0;
}

}  // namespace vutil::tool
