// vutil info: version, export table and host settings.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "host.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

struct ExportEntry {
    const char *header;
    const char *name;
};

constexpr ExportEntry kExports[] = {
#include "vutil_export_table.inc"
};

}  // namespace

int runInfo(const Args &args) {
    if (!args.empty()) {
        return usageError(findCommand("info"), "takes no arguments");
    }
    std::printf("vutil interface version %d (GetMXRLANG)\n\n", GetMXRLANG());

    std::printf("host settings:\n");
    const char *acp = std::getenv("VUTIL_ACP");
    std::printf("  VUTIL_ACP   %s (ANSI code page; %s when unset)\n", acp ? acp : "unset", host::defaultCodePage());
    if (const char *note = host::driveLetterNote(); *note != '\0') {
        std::printf("  %s\n", note);
    } else {
        bool anyDrive = false;
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            char variable[] = "VUTIL_DRIVE_X";
            variable[sizeof variable - 2] = letter;
            if (const char *root = std::getenv(variable)) {
                std::printf("  %s %s\n", variable, root);
                anyDrive = true;
            }
        }
        if (!anyDrive) {
            std::printf("  VUTIL_DRIVE_<letter> unset: drive prefixes are dropped (C:\\a is /a)\n");
        }
    }

    std::printf("\nexports (+ implemented, - declared only):\n");
    const char *header = "";
    int implemented = 0;
    int total = 0;
    for (const ExportEntry &entry : kExports) {
        if (std::strcmp(header, entry.header) != 0) {
            header = entry.header;
            std::printf("\n  %s.h\n", header);
        }
        const bool present = host::libraryExports(entry.name);
        std::printf("    %c %s\n", present ? '+' : '-', entry.name);
        implemented += present ? 1 : 0;
        ++total;
    }
    std::printf("\n%d of %d exports implemented\n", implemented, total);
    return 0;
}

}  // namespace vutil::tool
