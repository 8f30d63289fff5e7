// Library paths to host paths and back, with the case-insensitive lookup of names that do not exist as written.
#include "platform/path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/codepage.h"

namespace vutil::platform {
namespace {

/// The directory of the drive variable VUTIL_DRIVE_<letter>, or null when unset or empty.
const char *driveRoot(char letter) noexcept {
    char variable[] = "VUTIL_DRIVE_X";
    variable[sizeof variable - 2] = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const char *root = std::getenv(variable);
    return root != nullptr && *root != '\0' ? root : nullptr;
}

bool exists(const std::string &path) noexcept {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0;
}

bool equalIgnoringCase(std::string_view a, const char *b) noexcept {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

/// The one entry of `directory` that equals `name` ignoring case; empty when
/// there is none, or more than one, or the directory cannot be read.
std::string onlyCaseVariant(const std::string &directory, std::string_view name) {
    std::unique_ptr<DIR, int (*)(DIR *)> listing(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
    if (listing == nullptr) {
        return {};
    }
    std::string match;
    int matches = 0;
    while (const dirent *entry = ::readdir(listing.get())) {
        if (equalIgnoringCase(name, entry->d_name) && ++matches == 1) {
            match = entry->d_name;
        }
    }
    return matches == 1 ? match : std::string();
}

/// Replaces each component of a missing path that does not exist by its only
/// case variant. The search starts below the longest prefix that exists, found
/// from the right, so that the usual case (a new name in an existing directory)
/// costs two looks and one listing. Case variants have the same length, so the
/// text keeps its shape; the walk stops at the first component it cannot resolve.
void resolveCase(std::string &path) {
    struct Span {
        std::size_t begin, end;
    };
    std::vector<Span> components;
    for (std::size_t begin = 0; begin < path.size();) {
        std::size_t end = std::min(path.find('/', begin), path.size());
        if (end > begin) {
            components.push_back({begin, end});
        }
        begin = end + 1;
    }
    auto prefixExists = [&](std::size_t k) { return exists(path.substr(0, components[k].end)); };
    std::size_t missing = components.size() - 1;  // the whole path is known to be missing
    while (missing > 0 && !prefixExists(missing - 1)) {
        --missing;
    }
    for (std::size_t k = missing; k < components.size(); ++k) {
        if (k > missing && prefixExists(k)) {
            continue;
        }
        if (errno != ENOENT && k > missing) {
            return;  // not a directory, no permission: nothing to find
        }
        std::string_view name(path.data() + components[k].begin, components[k].end - components[k].begin);
        std::string variant =
            name == "." || name == ".." ? std::string() : onlyCaseVariant(path.substr(0, components[k].begin), name);
        if (variant.empty()) {
            return;
        }
        path.replace(components[k].begin, variant.size(), variant);
    }
}

}  // namespace

std::string toHostNotation(std::string_view path) {
    std::string host;
    host.reserve(path.size() + 16);
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        if (const char *root = driveRoot(path[0]); root != nullptr) {
            host = root;
            bool rootEndsWithSlash = host.back() == '/';
            bool restIsRooted = path.size() > 2 && (path[2] == '\\' || path[2] == '/');
            if (rootEndsWithSlash && restIsRooted) {
                host.pop_back();
            } else if (!rootEndsWithSlash && !restIsRooted && path.size() > 2) {
                host.push_back('/');
            }
        }
        path.remove_prefix(2);
    }
    for (std::size_t i = 0; i < path.size(); ++i) {
        char c = path[i];
        host.push_back(c == '\\' ? '/' : c);
        if (isLeadByte(static_cast<uint8_t>(c)) && i + 1 < path.size()) {
            host.push_back(path[++i]);  // a second byte of 0x5C is part of the character
        }
    }
    return host;
}

std::string toHostPath(std::string_view path) {
    std::string host = toHostNotation(path);
    if (host.find_first_not_of('/') != std::string::npos && !exists(host) && errno == ENOENT) {
        resolveCase(host);
    }
    return host;
}

std::string fromHostPath(std::string_view host) {
    std::string library;
    std::size_t rootLength = 0;
    bool onDrive = false;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char *root = driveRoot(letter);
        if (root == nullptr || root[0] != '/') {
            continue;
        }
        std::string_view prefix(root);
        while (!prefix.empty() && prefix.back() == '/') {
            prefix.remove_suffix(1);
        }
        bool inside = host.starts_with(prefix) && (host.size() == prefix.size() || host[prefix.size()] == '/');
        if (inside && (!onDrive || prefix.size() > rootLength)) {
            library.assign({letter, ':'});
            rootLength = prefix.size();
            onDrive = true;
        }
    }
    host.remove_prefix(rootLength);
    if (onDrive && host.empty()) {
        library.push_back('\\');
    }
    for (char c : host) {
        library.push_back(c == '/' ? '\\' : c);
    }
    return library;
}

}  // namespace vutil::platform
