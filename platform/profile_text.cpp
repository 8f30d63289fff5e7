// Initialisation-file text: parsing into lines, lookups, edits, and the results of the profile reads.
#include "platform/profile_text.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unordered_set>

namespace vutil::platform {
namespace {

bool isBlank(char c) noexcept { return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r'; }

std::string_view trim(std::string_view s) noexcept {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char foldCase(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldCase(x) == foldCase(y);
           });
}

bool holdsLineBreak(std::string_view s) noexcept { return s.find_first_of("\r\n") != std::string_view::npos; }

/// Collects names in order, each once whatever its case.
class NameList {
public:
    void add(std::string_view name) {
        if (seen_.insert(name).second) {
            names_.push_back(name);
        }
    }
    std::vector<std::string_view> take() { return std::move(names_); }

private:
    struct FoldedHash {
        std::size_t operator()(std::string_view s) const noexcept {
            uint64_t hash = 14695981039346656037ull;
            for (char c : s) {
                hash = (hash ^ static_cast<unsigned char>(foldCase(c))) * 1099511628211ull;
            }
            return static_cast<std::size_t>(hash ^ (hash >> 32));
        }
    };
    struct FoldedEqual {
        bool operator()(std::string_view a, std::string_view b) const noexcept { return sameName(a, b); }
    };
    std::vector<std::string_view> names_;
    std::unordered_set<std::string_view, FoldedHash, FoldedEqual> seen_;
};

}  // namespace

ProfileText::ProfileText(std::string text) : text_(std::move(text)) { parse(); }

void ProfileText::parse() {
    lines_.clear();
    if (text_.size() > UINT32_MAX) {
        text_.clear();
    }
    if (text_.empty()) {
        return;  // no lines, and no allocation: the reads of a missing file use an empty text
    }
    const std::string_view all(text_);
    lines_.reserve(static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n')) + 1);
    auto offset = [&](std::string_view part) { return static_cast<uint32_t>(part.data() - all.data()); };
    for (std::size_t begin = 0; begin < all.size();) {
        std::size_t newline = all.find('\n', begin);
        const std::size_t next = newline == std::string_view::npos ? all.size() : newline + 1;
        std::size_t end = newline == std::string_view::npos ? all.size() : newline;
        if (end > begin && all[end - 1] == '\r') {
            --end;
        }
        Line line{static_cast<uint32_t>(begin), static_cast<uint32_t>(end), static_cast<uint32_t>(next), 0, 0, 0,
                  Kind::Other};
        const std::string_view content = trim(all.substr(begin, end - begin));
        const std::size_t equals = content.find('=');
        const std::size_t close = content.find(']');
        std::string_view name;
        if (!content.empty() && (content.front() == ';' || content.front() == '#')) {
            line.kind = Kind::Comment;
        } else if (!content.empty() && content.front() == '[' && close != std::string_view::npos) {
            line.kind = Kind::Header;
            name = trim(content.substr(1, close - 1));
        } else if (equals != std::string_view::npos && content.front() != '[') {
            name = trim(content.substr(0, equals));
            if (!name.empty()) {
                line.kind = Kind::Key;
                std::size_t value = offset(content) + equals + 1;
                while (value < end && isBlank(all[value])) {
                    ++value;
                }
                line.valueBegin = static_cast<uint32_t>(value);
            }
        }
        if (!name.empty()) {
            line.nameBegin = offset(name);
            line.nameSize = static_cast<uint32_t>(name.size());
        }
        lines_.push_back(line);
        begin = next;
    }
}

std::size_t ProfileText::findSection(std::string_view section) const {
    section = trim(section);
    if (section.empty()) {
        return lines_.size();  // "[]" names no section that can be asked for, or written
    }
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::Header && sameName(nameOf(lines_[i]), section)) {
            return i;
        }
    }
    return lines_.size();
}

std::size_t ProfileText::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && lines_[i].kind != Kind::Header) {
        ++i;
    }
    return i;
}

std::string_view ProfileText::contentOf(const Line &line) const {
    return std::string_view(text_).substr(line.begin, line.end - line.begin);
}

std::string_view ProfileText::lineBreak() const {
    const std::size_t newline = text_.find('\n');
    return newline != std::string::npos && newline > 0 && text_[newline - 1] == '\r' ? "\r\n" : "\n";
}

std::optional<std::string_view> ProfileText::value(std::string_view section, std::string_view key) const {
    const std::size_t header = findSection(section);
    if (header == lines_.size()) {
        return std::nullopt;
    }
    key = trim(key);
    for (std::size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
        const Line &line = lines_[i];
        if (line.kind == Kind::Key && sameName(nameOf(line), key)) {
            std::string_view value = trim(std::string_view(text_).substr(line.valueBegin, line.end - line.valueBegin));
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
                value = value.substr(1, value.size() - 2);
            }
            return value;
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> ProfileText::sectionNames() const {
    NameList names;
    for (const Line &line : lines_) {
        if (line.kind == Kind::Header && line.nameSize > 0) {
            names.add(nameOf(line));
        }
    }
    return names.take();
}

std::vector<std::string_view> ProfileText::keyNames(std::string_view section) const {
    NameList names;
    const std::size_t header = findSection(section);
    if (header < lines_.size()) {
        for (std::size_t i = header + 1, end = sectionEnd(header); i < end; ++i) {
            if (lines_[i].kind == Kind::Key) {
                names.add(nameOf(lines_[i]));
            }
        }
    }
    return names.take();
}

bool ProfileText::setValue(std::string_view section, std::string_view key, std::string_view value) {
    section = trim(section);
    key = trim(key);
    const std::string_view lineBreak = this->lineBreak();
    const std::size_t header = findSection(section);
    if (header == lines_.size()) {
        std::string added;
        if (!text_.empty() && text_.back() != '\n') {
            added += lineBreak;
        }
        if (!lines_.empty() && !trim(contentOf(lines_.back())).empty()) {
            added += lineBreak;  // a blank line before the new section
        }
        added.append("[").append(section).append("]").append(lineBreak);
        added.append(key).append("=").append(value).append(lineBreak);
        text_ += added;
        parse();
        return true;
    }
    const std::size_t end = sectionEnd(header);
    std::size_t insertAfter = header;
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line &line = lines_[i];
        if (line.kind == Kind::Key && sameName(nameOf(line), key)) {
            const std::size_t count = line.end - line.valueBegin;
            if (std::string_view(text_).substr(line.valueBegin, count) == value) {
                return false;
            }
            text_.replace(line.valueBegin, count, value);
            parse();
            return true;
        }
        if (line.kind != Kind::Comment && !trim(contentOf(line)).empty()) {
            insertAfter = i;
        }
    }
    const Line &anchor = lines_[insertAfter];
    std::string added;
    if (anchor.next == text_.size() && text_.back() != '\n') {
        added += lineBreak;  // the anchor is the last line and has no line break
    }
    added.append(key).append("=").append(value).append(lineBreak);
    text_.insert(anchor.next, added);
    parse();
    return true;
}

bool ProfileText::removeKey(std::string_view section, std::string_view key) {
    const std::size_t header = findSection(section);
    if (header == lines_.size()) {
        return false;
    }
    key = trim(key);
    const std::size_t end = sectionEnd(header);
    return removeLines([&](std::size_t i) {
        return i > header && i < end && lines_[i].kind == Kind::Key && sameName(nameOf(lines_[i]), key);
    });
}

bool ProfileText::removeSection(std::string_view section) {
    section = trim(section);
    bool inside = false;
    return removeLines([&](std::size_t i) {
        if (lines_[i].kind == Kind::Header) {
            inside = !section.empty() && sameName(nameOf(lines_[i]), section);
        }
        return inside;
    });
}

bool ProfileText::removeLines(const std::function<bool(std::size_t)> &removed) {
    // One pass that keeps the other lines, so that many lines to remove cost
    // no more than one.
    std::string kept;
    kept.reserve(text_.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (!removed(i)) {
            kept.append(text_, lines_[i].begin, lines_[i].next - lines_[i].begin);
        }
    }
    if (kept.size() == text_.size()) {
        return false;
    }
    text_ = std::move(kept);
    parse();
    return true;
}

bool ProfileText::writable(std::string_view section, std::string_view key, std::string_view value) noexcept {
    section = trim(section);
    key = trim(key);
    return !section.empty() && !holdsLineBreak(section) && section.find(']') == std::string_view::npos &&
           !key.empty() && !holdsLineBreak(key) && key.find('=') == std::string_view::npos && key.front() != '[' &&
           key.front() != ';' && key.front() != '#' && !holdsLineBreak(value);
}

int32_t copyProfileString(std::string_view text, std::span<char> buffer) noexcept {
    if (buffer.empty()) {
        return 0;
    }
    const std::size_t count = std::min(text.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), text.data(), count);
    buffer[count] = '\0';
    return static_cast<int32_t>(count);
}

int32_t copyProfileList(const std::vector<std::string_view> &names, std::span<char> buffer) noexcept {
    if (buffer.size() < 2) {
        if (!buffer.empty()) {
            buffer[0] = '\0';
        }
        return 0;
    }
    std::size_t at = 0;
    for (std::string_view name : names) {
        if (at + name.size() + 1 > buffer.size() - 1) {
            // Cut: as much of this name as fits before the two closing NULs
            // (none when the names before it filled the buffer to the last byte).
            const std::size_t room = at < buffer.size() - 2 ? buffer.size() - 2 - at : 0;
            std::memcpy(buffer.data() + at, name.data(), std::min(room, name.size()));
            buffer[buffer.size() - 2] = '\0';
            buffer[buffer.size() - 1] = '\0';
            return static_cast<int32_t>(buffer.size() - 2);
        }
        std::memcpy(buffer.data() + at, name.data(), name.size());
        at += name.size();
        buffer[at++] = '\0';
    }
    buffer[at] = '\0';
    if (at == 0) {
        buffer[1] = '\0';  // an empty list still ends in two NULs
    }
    return static_cast<int32_t>(at);
}

int32_t readProfileString(const ProfileText *text, const char *section, const char *key, const char *def,
                          std::span<char> buffer) noexcept {
    const ProfileText empty;
    const ProfileText &file = text != nullptr ? *text : empty;
    try {
        if (section == nullptr) {
            return copyProfileList(file.sectionNames(), buffer);
        }
        if (key == nullptr) {
            return copyProfileList(file.keyNames(section), buffer);
        }
    } catch (...) {
        return copyProfileList({}, buffer);  // no memory for the list
    }
    if (std::optional<std::string_view> value = file.value(section, key)) {
        return copyProfileString(*value, buffer);
    }
    std::string_view fallback = def != nullptr ? def : "";
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t')) {
        fallback.remove_suffix(1);
    }
    return copyProfileString(fallback, buffer);
}

int32_t readProfileInt(const ProfileText *text, const char *section, const char *key, int32_t def) noexcept {
    if (text == nullptr || section == nullptr || key == nullptr) {
        return def;
    }
    const std::optional<std::string_view> value = text->value(section, key);
    if (!value || value->empty()) {
        return def;
    }
    std::string_view digits = *value;
    const bool negative = digits.front() == '-';
    if (negative || digits.front() == '+') {
        digits.remove_prefix(1);
    }
    int64_t magnitude = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            break;
        }
        magnitude = std::min<int64_t>(magnitude * 10 + (c - '0'), int64_t{INT32_MAX} + 1);
    }
    const int64_t signedValue = negative ? -magnitude : std::min<int64_t>(magnitude, INT32_MAX);
    return static_cast<int32_t>(signedValue);
}

bool profileEditAllowed(const char *section, const char *key, const char *value) noexcept {
    return section != nullptr && (key == nullptr || value == nullptr || ProfileText::writable(section, key, value));
}

ProfileEdit editProfile(ProfileText &text, const char *section, const char *key, const char *value) {
    if (!profileEditAllowed(section, key, value)) {
        return ProfileEdit::Refused;
    }
    bool changed;
    if (key == nullptr) {
        changed = text.removeSection(section);
    } else if (value == nullptr) {
        changed = text.removeKey(section, key);
    } else {
        changed = text.setValue(section, key, value);
    }
    return changed ? ProfileEdit::Changed : ProfileEdit::Unchanged;
}

}  // namespace vutil::platform
