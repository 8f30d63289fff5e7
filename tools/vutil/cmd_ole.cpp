// vutil ole: lists a storage of a compound document, or writes one of its streams out.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "output.h"
#include "platform/codepage.h"
#include "platform/storage.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

constexpr const char *kCommand = "ole";

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
    std::string listing;
    int32_t result = 0;
    Progress progress(kCommand, file);
    for (int32_t index = 0;; ++index) {
        result = KorOleQueryStorage(file.c_str(), path.c_str(), index, static_cast<int32_t>(sizeof name) - 1, name);
        if (result != 1 && result != 2) {
            break;
        }
        char line[128];
        if (result == 2) {
            std::snprintf(line, sizeof line, "storage %10s  ", "-");
        } else {
            // A stream's size comes from opening it: the listing names elements only.
            const std::string child = path.empty() ? std::string(name) : path + "\\" + name;
            int32_t handle = 0;
            std::string size = "?";
            if (KorOleOpenStream(file.c_str(), child.c_str(), &handle) == 1) {
                size = std::to_string(KorOleStreamSize(handle));
                KorOleCloseStream(handle);
            }
            std::snprintf(line, sizeof line, "stream  %10s  ", size.c_str());
        }
        listing += line + printable(name) + "\n";
        progress.update(static_cast<uint64_t>(index) + 1, "elements");
    }
    progress.clear();
    if (result == KOR_OLE_NOT_A_STORAGE) {
        return failure(kCommand, file, "no storage at \"" + path + "\"");
    }
    if (result != KOR_OLE_NO_SUCH_ELEMENT) {
        return failure(kCommand, file, "not a readable compound document");
    }
    std::fputs(listing.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : failure(kCommand, "-", "cannot write the listing");
}

/// The root has no path that KorOleQueryStorage takes (an empty path names the root's first
/// element), so the tool lists it through the storage layer beneath that call.
int listRoot(const std::string &file) {
    namespace pf = vutil::platform;
    const std::optional<std::u16string> wide = pf::toWide(file);
    pf::Storage *root = nullptr;
    pf::ElementEnumerator *elements = nullptr;
    if (!wide || pf::stgOpenStorage(wide->c_str(), pf::kStgmRead | pf::kStgmShareDenyWrite, &root) != pf::stg::kOk ||
        root == nullptr || root->enumElements(&elements) != pf::stg::kOk || elements == nullptr) {
        if (root != nullptr) {
            root->release();
        }
        return failure(kCommand, file, "not a readable compound document");
    }
    std::string listing;
    pf::ElementStatus element{};
    while (elements->next(&element) == pf::stg::kOk) {
        std::string name;
        for (const char16_t *c = element.name; *c != 0; ++c) {
            const std::optional<std::string> one = pf::fromWide(std::u16string_view(c, 1));
            name += one ? *one : std::string("?");
        }
        char line[128];
        if (element.type == pf::kTypeStorage) {
            std::snprintf(line, sizeof line, "storage %10s  ", "-");
        } else {
            std::snprintf(line, sizeof line, "stream  %10llu  ", static_cast<unsigned long long>(element.size & 0xFFFFFFFFu));
        }
        listing += line + printable(name) + "\n";
    }
    elements->release();
    root->release();
    std::fputs(listing.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : failure(kCommand, "-", "cannot write the listing");
}

int cat(const std::string &file, const std::string &path, const std::string &target) {
    int32_t handle = 0;
    if (KorOleOpenStream(file.c_str(), path.c_str(), &handle) != 1) {
        return failure(kCommand, file, "no readable stream at \"" + path + "\"");
    }
    OutputFile output(target);
    std::string reason;
    bool written = output.open(reason);
    std::vector<char> buffer(1 << 16);
    Progress progress(kCommand, file);
    for (int32_t got; written && (got = KorOleReadStream(buffer.data(), static_cast<int32_t>(buffer.size()), handle)) > 0;) {
        written = output.write({buffer.data(), static_cast<std::size_t>(got)}, reason);
        progress.update(static_cast<uint64_t>(KorOleTellStream(handle)), "bytes");
    }
    progress.clear();
    const bool complete = KorOleTellStream(handle) == KorOleStreamSize(handle);
    KorOleCloseStream(handle);
    if (!written) {
        return failure(kCommand, target, reason);
    }
    if (!complete) {
        return failure(kCommand, file, "reading \"" + path + "\" failed part way");
    }
    return output.commit(reason) ? 0 : failure(kCommand, target, reason);
}

}  // namespace

int runOle(const Args &args) {
    if (args.size() >= 2 && args.size() <= 3 && args[0] == "ls") {
        return args.size() == 3 ? list(args[1], args[2]) : listRoot(args[1]);
    }
    if (args.size() >= 3 && args.size() <= 4 && args[0] == "cat") {
        return cat(args[1], args[2], args.size() == 4 ? args[3] : std::string(kStandardOutput));
    }
    return usageError(findCommand(kCommand), "expected ls FILE [PATH] or cat FILE PATH [OUT]");
}

}  // namespace vutil::tool
