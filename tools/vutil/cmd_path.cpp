// vutil path: the library's file-name services, for checking how it finds referenced files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"
#include "output.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

const char *kindName(int32_t kind) {
    return kind == KOR_KIND_FILE ? "file" : kind == KOR_KIND_DIRECTORY ? "directory" : "nothing";
}

int normalize(const Args &names) {
    int status = 0;
    for (const std::string &name : names) {
        const char *normalized = KOR_GetNormalizedFName(name.c_str());
        if (normalized == nullptr) {
            status = failure("path", name, "an empty name has no normal form");
            continue;
        }
        std::printf("%s\n", normalized);
    }
    KOR_GetNormalizedFName("");
    return status;
}

int split(const Args &paths) {
    for (const std::string &path : paths) {
        char drive[3], dir[256], name[256], ext[256];
        KORsplitpath(path.c_str(), drive, dir, name, ext);
        std::printf("%s\n  drive     \"%s\"\n  directory \"%s\"\n  name      \"%s\"\n  extension \"%s\"\n",
                    path.c_str(), drive, dir, name, ext);
    }
    return 0;
}

/// Lists the candidates in the order the library tries them, then asks the
/// library itself for its answer.
int xref(const Args &args) {
    const std::string &referenced = args[0];
    const std::string &ext = args[1];
    const std::string place1 = args.size() > 2 ? args[2] : std::string();
    const std::string place2 = args.size() > 3 ? args[3] : std::string();
    char drive[3], dir[256], name[256];
    KORsplitpath(referenced.c_str(), drive, dir, name, nullptr);
    const std::string base = name;
    auto show = [](const std::string &candidate) {
        std::printf("  %-9s %s\n", kindName(direct_f(candidate.c_str())), candidate.c_str());
    };
    std::printf("candidates:\n");
    show(std::string(drive) + dir + base + ext);
    for (const std::string &place : {place1, place2}) {
        KORsplitpath(place.c_str(), drive, dir, nullptr, nullptr);
        show(std::string(drive) + dir + base + ext);
    }
    const char *acad = std::getenv("ACAD");
    std::printf("  then %s%s in the current directory and ACAD (%s)\n", base.c_str(), ext.c_str(),
                acad != nullptr ? acad : "unset");

    char found[KOR_MAX_PATH];
    if (get_xref_name(found, referenced.c_str(), place1.c_str(), place2.c_str(), nullptr, ext.c_str()) != 1) {
        return failure("path", referenced, "not found");
    }
    std::printf("found: %s\n", found);
    return 0;
}

}  // namespace

int runPath(const Args &args) {
    const Command &command = findCommand("path");
    if (args.empty()) {
        return usageError(command, "expected normalize, split or xref");
    }
    const Args rest(args.begin() + 1, args.end());
    if (args[0] == "normalize" && !rest.empty()) {
        return normalize(rest);
    }
    if (args[0] == "split" && !rest.empty()) {
        return split(rest);
    }
    if (args[0] == "xref" && rest.size() >= 2 && rest.size() <= 4) {
        return xref(rest);
    }
    if (args[0] == "normalize" || args[0] == "split" || args[0] == "xref") {
        return usageError(command, "wrong number of arguments for " + args[0] + " (see vutil path --help)");
    }
    return usageError(command, "unknown action '" + args[0] + "'");
}

}  // namespace vutil::tool
