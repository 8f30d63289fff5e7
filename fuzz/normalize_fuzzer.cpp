// Fuzz harness for the name normaliser, checked against a plain one, and for split and build of paths.
// Input: one flag byte (bit 0: code page 932), the current directory, a NUL byte, the name.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fileio/file_names.h"
#include "platform/codepage.h"
#include "vutil/fileio.h"

namespace {

/// The normaliser for single-byte text, one pass per rule over plain strings.
std::string plainNormalize(std::string name, std::string cwd) {
    for (std::string *text : {&name, &cwd}) {
        for (char &c : *text) {
            if (c == '/') {
                c = '\\';
            }
        }
    }
    bool absolute = name[0] == '\\' || (name.size() >= 3 && name[1] == ':' && name[2] == '\\');
    std::string text = name;
    if (!absolute) {
        text = cwd.empty() || cwd.back() != '\\' ? cwd + '\\' + name : cwd + name;
    }
    if (!text.empty() && text.back() == '\\') {
        text.pop_back();
    }
    std::size_t first = text.find('\\');
    std::string root = text.substr(0, first);
    std::vector<std::string> kept;
    bool above = false;
    while (first != std::string::npos) {
        std::size_t next = text.find('\\', first + 1);
        std::string component =
            text.substr(first + 1, next == std::string::npos ? std::string::npos : next - first - 1);
        if (component == "..") {
            above = above || kept.empty();
            if (!kept.empty()) {
                kept.pop_back();
            }
        } else if (component != ".") {
            kept.push_back(component);
        }
        first = next;
    }
    std::string joined = root;
    for (const std::string &component : kept) {
        joined += '\\' + component;
    }
    if (above || joined.empty()) {
        return "\\";
    }
    std::size_t keep = joined.size() >= 2 && joined[1] == ':' ? 2 : 0;
    keep += keep < joined.size() && joined[keep] == '\\' ? 1 : 0;
    std::string result = joined.substr(0, keep);
    for (std::size_t i = keep; i < joined.size(); ++i) {
        if (!(joined[i] == '\\' && i > keep && joined[i - 1] == '\\')) {
            result.push_back(joined[i]);
        }
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool doubleByte = (data[0] & 1) != 0;
    vutil::platform::setAnsiCodePage(doubleByte ? 932 : 1252);
    std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
    std::size_t cut = input.find('\0');
    std::string cwd = input.substr(0, cut);
    std::string name = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    name = name.substr(0, name.find('\0'));

    if (!name.empty()) {
        std::string normalized = vutil::fileio::normalizeName(name, cwd);
        if (normalized.empty() || normalized.size() > cwd.size() + name.size() + 1) {
            std::abort();
        }
        if (!doubleByte && normalized != plainNormalize(name, cwd)) {
            std::abort();
        }
    }

    // Split never writes beyond its components' room, and building the parts of
    // a path that fits them gives the path back.
    char drive[3 + 1], dir[256 + 1], base[256 + 1], ext[256 + 1];
    for (char *area : {drive, dir, base, ext}) {
        std::memset(area, 0x7f, 4);
    }
    drive[3] = dir[256] = base[256] = ext[256] = 0x7f;
    KORsplitpath(name.c_str(), drive, dir, base, ext);
    if (drive[3] != 0x7f || dir[256] != 0x7f || base[256] != 0x7f || ext[256] != 0x7f) {
        std::abort();
    }
    char path[KOR_MAX_PATH];
    KORmakepath(path, drive, dir, base, ext);
    if (name.size() < 256 && name != path) {
        std::abort();
    }
    vutil::platform::setAnsiCodePage(1252);
    return 0;
}
