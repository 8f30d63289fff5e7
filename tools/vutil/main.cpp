// vutil: command-line access to the library, and its demo.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "commands.h"
#include "host.h"
#include "output.h"

namespace vutil::tool {

const std::vector<Command> &commands() {
    static const std::vector<Command> table = {
        {"info", "", "library version, export table and host settings", runInfo},
        {"demo", "[--out DIR] [--tour]",
         "a drawing taken through the library end to end, and a tour of it on built-in data\n"
         "Writes a small compressed drawing (drawing.Z), reads it back as a format reader would\n"
         "and draws it as drawing.svg and drawing.png in DIR (default vutil-demo), with sheets of\n"
         "the geometry, text and colour services beside them. --tour also tells what the sheets\n"
         "show and shows the runtime, file and raster services at work.",
         runDemo},
        {"records", "FILE DESCRIPTOR [--motor] [--offset N] [--count N]",
         "dump a file's records field by field\n"
         "Reads records described by DESCRIPTOR (for instance \"C4,L2;D1 I3\") from FILE in Intel\n"
         "byte order, or Motorola with --motor, from byte N of --offset on, at most --count of them.",
         runRecords},
        {"uncompress", "IN [OUT] [--max N]",
         "expand a .Z file (or count its bytes)\n"
         "Without OUT only counts the expanded bytes; OUT \"-\" is standard output. --max N stops\n"
         "after N bytes. OUT is replaced only when the expansion succeeds.",
         runUncompress},
        {"palette", "OUT.svg", "the colour maps as an SVG sheet of swatches\nOUT \"-\" is standard output.",
         runPalette},
        {"fax", "WIDTH HEIGHT {g3|g3-2d|g4|mh} IN.raw OUT.pbm [--msb-first] [--byte-aligned]",
         "decode raw Group 3/4 data to PBM\n"
         "IN.raw holds the coded rows with their first bit in the low bit of each byte, or in the\n"
         "high bit with --msb-first. mh is Modified Huffman: one-dimensional rows without EOLs, each\n"
         "on a byte boundary. --byte-aligned: every row begins on a byte boundary, as TIFF writers\n"
         "make them (zero fill bits before an EOL are always skipped). OUT \"-\" is standard output.",
         runFax},
        {"view",
         "IN -o OUT {.png|.svg|.pbm} [--size WxH|native] [--extents XMIN,YMIN,XMAX,YMAX] [--margin F] "
         "[--layer NAME]... [--page N] [--stats] [--timing]",
         "draw a drawing (DXF) or a scanned drawing (bilevel TIFF) as a picture\n"
         "The reader is chosen by the file's content, whatever its name says.\n"
         "DXF drawings are drawn as PNG or SVG: the model space on a white page of --size pixels\n"
         "(default 800x600), lines one pixel wide, y up. The view shows --extents, or the extents of\n"
         "what is drawn, enlarged on each side by --margin times their width and height (default\n"
         "0.02), centred at the largest scale that fits. --layer draws only the layers named (repeat\n"
         "it for more). --stats lists the entities drawn and skipped by kind and the time spent\n"
         "reading and drawing. Wide polylines are drawn as their centre lines. An empty model space\n"
         "gives a blank page, exit 0 and a note; a damaged file's message names the line.\n"
         "TIFF scans are drawn as PNG or PBM: classic TIFF in either byte order, strips or tiles,\n"
         "uncompressed, CCITT (Modified Huffman, T.4, T.6) or PackBits, one bit per pixel. --size\n"
         "fits the picture into W x H pixels by its physical proportions, averaging the pixels that\n"
         "each output pixel covers, so thin lines stay as grey; it never enlarges. native keeps one\n"
         "pixel per pixel. --extents draws only the window of image pixels XMIN..XMAX-1,\n"
         "YMIN..YMAX-1. --page N takes page N (from 1) of a file of several pages. PBM is black\n"
         "wherever an output pixel holds any ink. --timing reports the time to the first row and the\n"
         "whole time on standard error.",
         runView},
        {"text",
         "TEXT [--font NAME] [--height H] [--width W] [--angle DEG] [--oblique DEG] "
         "[--vertical|--backward|--upside-down] -o OUT.svg",
         "draw text in the stroke font or a host font as SVG paths\n"
         "Draws TEXT in the built-in stroke font, or with --font in the host's outline font of that face\n"
         "name, H high (default 12) and W wide per character (default: H; outline text: the face's own\n"
         "aspect), its baseline turned DEG anticlockwise and its glyphs slanted DEG to the right.\n"
         "--vertical stacks the characters downward (stroke text only); --backward and --upside-down\n"
         "mirror the text about its start. \"%%d\", \"%%p\", \"%%c\", \"%%u\" and \"%%o\" are the stroke font's\n"
         "escapes for degree, plus-minus, diameter, underline and overline. OUT \"-\" is standard output.",
         runText},
        {"ole", "{ls FILE [PATH] | cat FILE PATH [OUT]}",
         "list a storage of a compound document, or write out one of its streams\n"
         "ls lists the elements of the storage that PATH names in FILE, or of the root without PATH:\n"
         "type, size of a stream, name. PATH separates names with backslashes; each component takes\n"
         "the first element whose name begins with it, so an empty PATH names the root's first\n"
         "element. cat writes the stream that PATH names to OUT (\"-\", the default: standard output).\n"
         "Names are in the ANSI code page (VUTIL_ACP); bytes below 0x20 show as \\xNN in listings.",
         runOle},
        {"path", "{normalize|split|xref} ARGS...",
         "normalise and split names, trace a reference search\n"
         "Paths are in the library's notation (drive letters, backslashes); a drive X: is the directory\n"
         "of VUTIL_DRIVE_X, or is dropped, and names that do not exist as written are found without\n"
         "regard to case.\n"
         "  normalize NAME...   the absolute, resolved form of each name (relative names join the\n"
         "                      current directory)\n"
         "  split PATH...       drive, directory, base name and extension of each path\n"
         "  xref REFERENCED EXT [PLACE1 [PLACE2]]\n"
         "                      where a drawing's external reference is found: the referenced name\n"
         "                      with extension EXT (\".dwg\"), then the directories of PLACE1 and PLACE2\n"
         "                      (a directory ends with a backslash), then the current directory and\n"
         "                      the directories of ACAD; each candidate is listed with what is there.\n"
         "                      Exit 1 when nothing is found.",
         runPath},
        {"ini", "FILE [SECTION [KEY [VALUE]]] [--delete]",
         "read and write settings in an initialisation file\n"
         "  vutil ini FILE                    the names of the sections\n"
         "  vutil ini FILE SECTION            the keys of the section, as KEY=VALUE\n"
         "  vutil ini FILE SECTION KEY        the value of the key\n"
         "  vutil ini FILE SECTION KEY VALUE  sets the key (file and section are made as needed)\n"
         "  vutil ini FILE SECTION [KEY] --delete  removes the key, or the whole section\n"
         "Sections and keys are found without regard to case. A FILE without a directory lives in\n"
         "the settings directory: $VUTIL_PROFILE_DIR, else $XDG_CONFIG_HOME/vutil, else\n"
         "~/.config/vutil. A write replaces the file whole, never leaving half of one.",
         runIni},
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

/// The summary's first line, for the list of commands.
std::string_view firstLine(const char *text) {
    const std::string_view all(text);
    return all.substr(0, all.find('\n'));
}

void printHelp(std::FILE *out) {
    std::fprintf(out, "usage: vutil COMMAND [ARGS]\n       vutil COMMAND --help\n\ncommands:\n");
    for (const Command &command : commands()) {
        const std::string_view summary = firstLine(command.summary);
        std::fprintf(out, "  %-10s %-40s %.*s\n", command.name, command.usage, static_cast<int>(summary.size()),
                     summary.data());
    }
    std::fprintf(out, "\nexit status: 0 done, 1 the operation failed, 2 wrong usage\n");
}

int printCommandHelp(const Command &command) {
    std::printf("usage: vutil %s %s\n\n%s\n", command.name, command.usage, command.summary);
    return 0;
}

}  // namespace
}  // namespace vutil::tool

int main(int argc, char **argv) {
    using namespace vutil::tool;
    host::useBinaryStandardStreams();
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        (std::strcmp(argv[1], "help") == 0 && argc == 2)) {
        printHelp(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const bool helpTopic = std::strcmp(argv[1], "help") == 0;
    const char *name = helpTopic ? argv[2] : argv[1];
    for (const Command &command : commands()) {
        if (std::strcmp(name, command.name) != 0) {
            continue;
        }
        const Args args(argv + 2, argv + argc);
        for (const std::string &arg : args) {
            if (arg == "--help" || arg == "-h") {
                return printCommandHelp(command);
            }
        }
        const int status = helpTopic ? printCommandHelp(command) : command.run(args);
        // What a command printed is part of its result: a standard output that cannot take it is a failure.
        if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
            const int failed = failure(command.name, kStandardOutput, "cannot write to standard output");
            return status == 0 ? failed : status;
        }
        return status;
    }
    std::fprintf(stderr, "vutil: unknown command '%s'\n", name);
    printHelp(stderr);
    return 2;
}
