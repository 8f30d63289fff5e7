// File names in the library's notation: split and build, the name normaliser and the searches for files.
#include "fileio/file_names.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fileio/file_system.h"
#include "frame/entry.h"
#include "platform/codepage.h"
#include "platform/file_system.h"
#include "platform/module.h"
#include "platform/path.h"
#include "runtime/strings.h"

namespace vutil::fileio {
namespace {

namespace pf = vutil::platform;

/// Calls `visit(index)` for the first byte of every character of the text; a
/// double-byte character of the ANSI code page is one character.
template <typename Visit>
void forEachCharacter(std::string_view text, Visit visit) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        visit(i);
        if (pf::isLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size()) {
            ++i;
        }
    }
}

bool hasDrive(std::string_view path) noexcept {
    return path.size() >= 2 && path[1] == ':';
}

std::string concat(std::initializer_list<std::string_view> pieces) {
    std::string text;
    for (std::string_view piece : pieces) {
        text += piece;
    }
    return text;
}

/// True for a candidate that names something and fits a caller's path buffer.
bool existsAndFits(const std::string &candidate) noexcept {
    return candidate.size() < kMaxPath && kindOf(candidate) != kKindNone;
}

bool isFileAndFits(const std::string &candidate) noexcept {
    return candidate.size() < kMaxPath && kindOf(candidate) == kKindFile;
}

}  // namespace

// Splitting, building and the environment search are the library's own on every host, not the C runtime's
// _splitpath, _makepath and _searchenv, whose results a caller would see differ: the runtime's split stores
// no part of a component longer than its 256-byte limit (msvcrt under Wine empties all four parts) where this
// one cuts it at a character boundary; its build keeps only the first character of a drive ("\\srv" gives
// "\:") and writes without limit into a 260-byte buffer; both follow the runtime's multibyte code page, not
// the library's; and its search gives a match in a relative directory of the list, or one written with
// slashes, as the relative text it tried ("..\two\b.shx", "two/b.shx"), not as a full name, and for an
// empty file name gives the first directory of the list.
PathParts splitPath(std::string_view path) noexcept {
    PathParts parts;
    if (hasDrive(path)) {
        parts.drive = path.substr(0, 2);
        path.remove_prefix(2);
    }
    std::size_t nameStart = 0;
    std::size_t lastDot = std::string_view::npos;
    forEachCharacter(path, [&](std::size_t i) {
        if (isSeparator(path[i])) {
            nameStart = i + 1;
            lastDot = std::string_view::npos;
        } else if (path[i] == '.') {
            lastDot = i;
        }
    });
    parts.directory = path.substr(0, nameStart);
    std::size_t extensionStart = lastDot != std::string_view::npos ? lastDot : path.size();
    parts.name = path.substr(nameStart, extensionStart - nameStart);
    parts.extension = path.substr(extensionStart);
    return parts;
}

bool endsWithSeparator(std::string_view path) noexcept {
    bool last = false;
    forEachCharacter(path, [&](std::size_t i) { last = isSeparator(path[i]); });
    return last;
}

std::string makePath(std::string_view drive, std::string_view directory, std::string_view name,
                     std::string_view extension) {
    std::string path(drive);
    if (drive.size() == 1) {
        path.push_back(':');
    }
    path += directory;
    if (!directory.empty() && !endsWithSeparator(directory)) {
        path.push_back('\\');
    }
    path += name;
    if (!extension.empty() && extension[0] != '.') {
        path.push_back('.');
    }
    path += extension;
    return path;
}

bool storePath(char *out, std::string_view path) noexcept {
    if (path.size() >= kMaxPath) {
        out[0] = '\0';
        return false;
    }
    if (!path.empty()) {
        std::memcpy(out, path.data(), path.size());
    }
    out[path.size()] = '\0';
    return true;
}

void storeComponent(char *out, std::string_view component, std::size_t room) noexcept {
    std::size_t length = 0;
    forEachCharacter(component, [&](std::size_t i) {
        std::size_t end =
            pf::isLeadByte(static_cast<uint8_t>(component[i])) && i + 1 < component.size() ? i + 2 : i + 1;
        if (length == i && end < room) {
            length = end;
        }
    });
    if (length > 0) {
        std::memcpy(out, component.data(), length);
    }
    out[length] = '\0';
}

bool isAbsoluteName(std::string_view name) noexcept {
    return (!name.empty() && isSeparator(name[0])) || (name.size() >= 3 && name[1] == ':' && isSeparator(name[2]));
}

std::string normalizeName(std::string_view name, std::string_view currentDirectory) {
    // Slashes are read as backslashes (a slash is never the second byte of a
    // double-byte character), so that names written either way resolve alike.
    auto withBackslashes = [](std::string_view text) {
        std::string copy(text);
        std::replace(copy.begin(), copy.end(), '/', '\\');
        return copy;
    };
    std::string text;
    if (isAbsoluteName(name)) {
        text = withBackslashes(name);
    } else {
        text = withBackslashes(currentDirectory);
        if (!endsWithSeparator(text)) {
            text.push_back('\\');
        }
        text += withBackslashes(name);
    }

    // The real separators: backslashes that are not second bytes of double-byte characters.
    std::vector<std::size_t> separators;
    forEachCharacter(text, [&](std::size_t i) {
        if (text[i] == '\\') {
            separators.push_back(i);
        }
    });
    if (!separators.empty() && separators.back() == text.size() - 1) {
        text.pop_back();
        separators.pop_back();
    }

    // Components lie after each separator; the text before the first one stays.
    // Right to left, ".." removes the next ordinary component to its left.
    const std::size_t count = separators.size();
    std::vector<bool> kept(count, false);
    std::size_t pending = 0;
    for (std::size_t k = count; k-- > 0;) {
        std::size_t begin = separators[k] + 1;
        std::size_t end = k + 1 < count ? separators[k + 1] : text.size();
        std::string_view component(text.data() + begin, end - begin);
        if (component == "..") {
            ++pending;
        } else if (component != ".") {
            if (pending > 0) {
                --pending;
            } else {
                kept[k] = true;
            }
        }
    }
    std::string result(text, 0, count > 0 ? separators[0] : text.size());
    for (std::size_t k = 0; k < count; ++k) {
        if (kept[k]) {
            std::size_t end = k + 1 < count ? separators[k + 1] : text.size();
            result.append(text, separators[k], end - separators[k]);
        }
    }
    // Climbing above the root, or resolving to nothing ("\a\.."), ends at the root.
    if (pending > 0 || result.empty()) {
        return "\\";
    }

    // Runs of backslashes become one, except a first backslash after the drive:
    // a leading double backslash names a network share.
    std::size_t start = hasDrive(result) ? 2 : 0;
    if (result[start] == '\\') {  // at the end, result[start] is the terminator
        ++start;
    }
    std::string collapsed;
    collapsed.reserve(result.size());
    bool afterSeparator = false;
    forEachCharacter(result, [&](std::size_t i) {
        bool separator = i >= start && result[i] == '\\';
        if (!(separator && afterSeparator)) {
            collapsed.push_back(result[i]);
            if (pf::isLeadByte(static_cast<uint8_t>(result[i])) && i + 1 < result.size()) {
                collapsed.push_back(result[i + 1]);
            }
        }
        afterSeparator = separator;
    });
    return collapsed;
}

std::string currentDirectory() {
    return pf::fromHostPath(pf::currentDirectory());
}

std::string moduleFileName() {
    void *module = frame::moduleHandle();
    return pf::moduleFileName(module != nullptr ? module : pf::currentModule());
}

std::string moduleDirFile(std::string_view name) {
    std::string library = moduleFileName();
    PathParts parts = splitPath(library);
    return makePath(parts.drive, parts.directory, name, {});
}

std::optional<std::string> searchEnvironment(std::string_view file, const char *variable) {
    if (file.empty() || variable == nullptr) {
        return std::nullopt;
    }
    std::string here = currentDirectory();
    auto fullName = [&](const std::string &candidate) -> std::optional<std::string> {
        if (kindOf(candidate) == kKindNone) {
            return std::nullopt;
        }
        std::string full = normalizeName(candidate, here);
        return full.size() < kMaxPath ? std::optional(full) : std::nullopt;
    };
    if (auto found = fullName(std::string(file))) {
        return found;
    }
    const char *list = std::getenv(variable);
    if (list == nullptr) {
        return std::nullopt;
    }
    std::string_view rest(list);
    while (!rest.empty()) {
        std::size_t end = rest.find(';');
        std::string_view directory = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (directory.empty()) {
            continue;
        }
        std::string candidate(directory);
        if (!endsWithSeparator(candidate)) {
            candidate.push_back('\\');
        }
        candidate += file;
        if (auto found = fullName(candidate)) {
            return found;
        }
    }
    return std::nullopt;
}

std::optional<std::string> searchPaths(std::string_view file, const char *directories) {
    std::string library = moduleFileName();
    PathParts own = splitPath(library);
    if (directories != nullptr) {
        runtime::Tokenizer &tokenizer = runtime::Tokenizer::shared();
        int32_t slot = 0;
        for (const char *token = tokenizer.start(directories, ";,", &slot); token != nullptr;
             token = tokenizer.next(slot)) {
            std::string_view directory(token);
            bool relative = !isSeparator(directory[0]) && !hasDrive(directory);
            if (relative) {
                std::string candidate = makePath(own.drive, concat({own.directory, directory}), file, {});
                if (isFileAndFits(candidate)) {
                    return candidate;
                }
            }
            std::string candidate = makePath({}, directory, file, {});
            if (isFileAndFits(candidate)) {
                return candidate;
            }
        }
    }
    std::string candidate(file);
    if (isFileAndFits(candidate)) {
        return candidate;
    }
    candidate = makePath(own.drive, own.directory, file, {});
    if (isFileAndFits(candidate)) {
        return candidate;
    }
    return std::nullopt;
}

std::optional<std::string> findReference(std::string_view referenced, std::string_view place1, std::string_view place2,
                                         std::string_view extension) {
    PathParts reference = splitPath(referenced);
    std::string candidate = concat({reference.drive, reference.directory, reference.name, extension});
    if (existsAndFits(candidate)) {
        return candidate;
    }
    for (std::string_view place : {place1, place2}) {
        PathParts parts = splitPath(place);
        candidate = concat({parts.drive, parts.directory, reference.name, extension});
        if (existsAndFits(candidate)) {
            return candidate;
        }
    }
    return searchEnvironment(concat({reference.name, extension}), "ACAD");
}

}  // namespace vutil::fileio
