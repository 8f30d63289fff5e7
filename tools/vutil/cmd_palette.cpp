// vutil palette: writes the library's colour maps as an SVG sheet.
#include <cstdio>

#include "commands.h"
#include "output.h"
#include "palette_svg.h"

namespace vutil::tool {

int runPalette(const Args &args) {
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        return usageError(findCommand("palette"), "expected OUT.svg");
    }
    if (writeOutput("palette", args[0], paletteSvg()) != 0) {
        return 1;
    }
    if (args[0] != kStandardOutput) {
        std::printf("palette written to %s\n", args[0].c_str());
    }
    return 0;
}

}  // namespace vutil::tool
