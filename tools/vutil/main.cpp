// vutil: command-line access to the library, and its demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"

namespace vutil::tool {

const std::vector<Command> &commands() {
    static const std::vector<Command> table = {
        {"info", "", "library version, export table and host settings", runInfo},
        {"demo", "[--out DIR]", "a tour of the library on built-in data", runDemo},
        {"records", "FILE DESCRIPTOR [--motor] [--offset N] [--count N]", "dump a file's records field by field",
         runRecords},
        {"uncompress", "IN [OUT] [--max N]", "expand a .Z file (or count its bytes)", runUncompress},
        {"palette", "OUT.svg", "the colour maps as an SVG sheet of swatches", runPalette},
        {"fax", "WIDTH HEIGHT {g3|g3-2d|g4} IN.raw OUT.pbm [--msb-first]", "decode raw Group 3/4 data to PBM", runFax},
        {"ole", "{ls FILE [PATH] | cat FILE PATH}", "list a compound document's storage, or write a stream out", runOle},
        {"path", "{normalize|split|xref} ARGS...", "normalise and split names, trace a reference search", runPath},
    };
    return table;
}

const Command &findCommand(const char *name) {
    for (const Command &command : commands()) {
        if (std::strcmp(command.name, name) == 0) {
            return command;
        }
    }
    std::fprintf(stderr, "vutil: no command '%s'\n", name);
    std::abort();
}

int usageError(const Command &command, const std::string &message) {
    std::fprintf(stderr, "vutil %s: %s\nusage: vutil %s %s\n", command.name, message.c_str(), command.name,
                 command.usage);
    return 2;
}

namespace {

void printHelp(std::FILE *out) {
    std::fprintf(out, "usage: vutil COMMAND [ARGS]\n\ncommands:\n");
    for (const Command &command : commands()) {
        std::fprintf(out, "  %-10s %-40s %s\n", command.name, command.usage, command.summary);
    }
}

}  // namespace
}  // namespace vutil::tool

int main(int argc, char **argv) {
    using namespace vutil::tool;
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "help") == 0) {
        printHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command &command : commands()) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(Args(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "vutil: unknown command '%s'\n", argv[1]);
    printHelp(stderr);
    return 2;
}
