// vutil ole: lists a storage of a compound document, or writes one of its streams to standard output.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

constexpr const char *kHelp =
    "usage: vutil ole ls FILE [PATH]\n"
    "       vutil ole cat FILE PATH > OUT\n"
    "\n"
    "ls   lists the elements of the storage that PATH names in the compound document FILE: type, size in\n"
    "     bytes (streams) and name. PATH separates storage names with backslashes; each component matches\n"
    "     the first element whose name begins with it, so an empty PATH names the first element of the root.\n"
    "cat  writes the stream that PATH names to standard output.\n"
    "Names are in the ANSI code page (VUTIL_ACP); bytes below 0x20 show as \\xNN in listings.\n";

std::string printable(const std::string &name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int list(const std::string &file, const std::string &path) {
    char name[64];
    int32_t result = 0;
    for (int32_t index = 0;; ++index) {
        result = KorOleQueryStorage(file.c_str(), path.c_str(), index, static_cast<int32_t>(sizeof name) - 1, name);
        if (result != 1 && result != 2) {
            break;
        }
        const std::string child = path.empty() ? std::string(name) : path + "\\" + name;
        if (result == 2) {
            std::printf("storage %10s  %s\n", "-", printable(name).c_str());
            continue;
        }
        // A stream's size comes from opening it: the listing itself names elements only.
        int32_t handle = 0;
        std::string size = "?";
        if (KorOleOpenStream(file.c_str(), child.c_str(), &handle) == 1) {
            size = std::to_string(KorOleStreamSize(handle));
            KorOleCloseStream(handle);
        }
        std::printf("stream  %10s  %s\n", size.c_str(), printable(name).c_str());
    }
    if (result == KOR_OLE_NO_SUCH_ELEMENT) {
        return 0;
    }
    if (result == KOR_OLE_NOT_A_STORAGE) {
        std::fprintf(stderr, "vutil ole: %s: no storage at \"%s\"\n", file.c_str(), path.c_str());
    } else {
        std::fprintf(stderr, "vutil ole: %s: not a readable compound document\n", file.c_str());
    }
    return 1;
}

int cat(const std::string &file, const std::string &path) {
    int32_t handle = 0;
    if (KorOleOpenStream(file.c_str(), path.c_str(), &handle) != 1) {
        std::fprintf(stderr, "vutil ole: %s: no readable stream at \"%s\"\n", file.c_str(), path.c_str());
        return 1;
    }
    std::vector<char> buffer(1 << 16);
    int32_t got;
    bool written = true;
    while (written && (got = KorOleReadStream(buffer.data(), static_cast<int32_t>(buffer.size()), handle)) > 0) {
        written = std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), stdout) == static_cast<std::size_t>(got);
    }
    const bool complete = KorOleTellStream(handle) == KorOleStreamSize(handle);
    KorOleCloseStream(handle);
    if (std::fflush(stdout) != 0 || !written) {
        std::fprintf(stderr, "vutil ole: cannot write the stream to standard output\n");
        return 1;
    }
    if (!complete) {
        std::fprintf(stderr, "vutil ole: %s: reading \"%s\" failed part way\n", file.c_str(), path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int runOle(const Args &args) {
    const Command &command = findCommand("ole");
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() >= 2 && args.size() <= 3 && args[0] == "ls") {
        return list(args[1], args.size() == 3 ? args[2] : std::string());
    }
    if (args.size() == 3 && args[0] == "cat") {
        return cat(args[1], args[2]);
    }
    return usageError(command, "expected ls FILE [PATH] or cat FILE PATH");
}

}  // namespace vutil::tool
