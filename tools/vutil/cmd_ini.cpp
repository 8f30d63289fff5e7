// vutil ini: lists, reads, writes and removes settings in initialisation files through the library.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

/// What a read gives, with a buffer grown until the answer is not cut.
std::string readProfile(const char *section, const char *key, const char *def, const char *file) {
    // Cut answers fill the buffer to size - 1 (a value) or size - 2 (a list of names).
    const int32_t cut = section != nullptr && key != nullptr ? 1 : 2;
    for (int32_t size = 256;; size *= 4) {
        std::vector<char> buffer(static_cast<std::size_t>(size));
        const int32_t length = KorGetPrivateProfileString(section, key, def, buffer.data(), size, file);
        if (length < size - cut || size >= (1 << 26)) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
    }
}

/// The names of a list answer: NUL-separated, ended by an empty name.
std::vector<std::string> names(const std::string &list) {
    std::vector<std::string> out;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find('\0', at), list.size());
        if (end == at) {
            break;
        }
        out.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

bool hasName(const std::vector<std::string> &list, const std::string &name) {
    for (const std::string &entry : list) {
        if (KorStricmp(entry.c_str(), name.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

int runIni(const Args &args) {
    const Command &command = findCommand("ini");
    Args positional;
    bool remove = false;
    for (const std::string &arg : args) {
        if (arg == "--delete") {
            remove = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usageError(command, "unknown option " + arg);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.empty() || positional.size() > 4) {
        return usageError(command, "expected FILE [SECTION [KEY [VALUE]]]");
    }
    if (remove && (positional.size() < 2 || positional.size() > 3)) {
        return usageError(command, "--delete takes FILE SECTION [KEY]");
    }
    const char *file = positional[0].c_str();
    const char *section = positional.size() > 1 ? positional[1].c_str() : nullptr;
    const char *key = positional.size() > 2 ? positional[2].c_str() : nullptr;

    if (remove || positional.size() == 4) {
        const char *value = positional.size() == 4 ? positional[3].c_str() : nullptr;
        if (KorWritePrivateProfileString(section, key, value, file) == 0) {
            return failure("ini", positional[0],
                          "cannot be written (is its directory there and writable? names must not be empty "
                          "nor hold line breaks, a key no '=', a section no ']')");
        }
        return 0;
    }
    if (section == nullptr) {
        for (const std::string &name : names(readProfile(nullptr, nullptr, nullptr, file))) {
            std::printf("%s\n", name.c_str());
        }
        return 0;
    }
    if (!hasName(names(readProfile(nullptr, nullptr, nullptr, file)), section)) {
        return failure("ini", positional[0], "no section [" + positional[1] + "]");
    }
    if (key == nullptr) {
        for (const std::string &name : names(readProfile(section, nullptr, nullptr, file))) {
            std::printf("%s=%s\n", name.c_str(), readProfile(section, name.c_str(), "", file).c_str());
        }
        return 0;
    }
    // An absent key gives the default: of two different defaults, an empty
    // answer can only be a present key's own empty value.
    const std::string value = readProfile(section, key, "", file);
    if (value.empty() && readProfile(section, key, "-", file) == "-") {
        return failure("ini", positional[0], "no key " + positional[2] + " in section [" + positional[1] + "]");
    }
    std::printf("%s\n", value.c_str());
    return 0;
}

}  // namespace vutil::tool
