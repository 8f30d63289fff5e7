// Fuzz harness for the initialisation-file text: lookups against a line-by-line reader, edits that must
// change nothing but their own key, and the result buffers of the profile reads.
//
// Input: one control byte, then section, key and value separated by 0x01, then 0x01 and the file text.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_reader.h"
#include "platform/profile_text.h"

namespace {

using vutil::fuzz::check;
using vutil::platform::ProfileText;

std::string lower(std::string_view s) {
    std::string out(s);
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string_view trimmed(std::string_view s) {
    const char *blanks = " \t\v\f\r";
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

std::string unquoted(std::string_view value) {
    value = trimmed(value);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

/// The lookup written plainly: walk the lines, stay in the first section of
/// the name, take the first key line of the name.
std::optional<std::string> referenceValue(std::string_view text, std::string_view section, std::string_view key) {
    const std::string wantSection = lower(trimmed(section));
    const std::string wantKey = lower(trimmed(key));
    if (wantSection.empty()) {
        return std::nullopt;
    }
    bool inside = false;
    bool seen = false;
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
        line = trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                if (inside) {
                    return std::nullopt;  // the first section of the name has ended
                }
                inside = !seen && lower(trimmed(line.substr(1, close - 1))) == wantSection;
                seen = seen || inside;
            }
            continue;
        }
        const std::size_t equals = line.find('=');
        if (inside && equals != std::string_view::npos && lower(trimmed(line.substr(0, equals))) == wantKey &&
            !wantKey.empty()) {
            return unquoted(line.substr(equals + 1));
        }
    }
    return std::nullopt;
}

using Snapshot = std::vector<std::pair<std::pair<std::string, std::string>, std::optional<std::string>>>;

/// Every value the text holds, by section and key.
Snapshot snapshot(const ProfileText &text) {
    Snapshot all;
    for (std::string_view section : text.sectionNames()) {
        for (std::string_view key : text.keyNames(section)) {
            std::optional<std::string_view> value = text.value(section, key);
            check(value.has_value());
            check(referenceValue(text.text(), section, key) == std::string(*value));
            all.push_back({{lower(section), lower(key)}, std::string(*value)});
        }
    }
    return all;
}

/// After an edit of (section, key), every other value is as it was.
void checkOthersKept(const Snapshot &before, const ProfileText &after, const std::string &section,
                     const std::string &key, bool wholeSection) {
    for (const auto &[name, value] : before) {
        if (name.first == section && (wholeSection || name.second == key)) {
            continue;
        }
        std::optional<std::string_view> now = after.value(name.first, name.second);
        check(now.has_value() && std::string(*now) == *value);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t control = data[0];
    std::string_view rest(reinterpret_cast<const char *>(data + 1), size - 1);
    std::string_view fields[3];
    for (std::string_view &field : fields) {
        const std::size_t separator = rest.find('\x01');
        field = rest.substr(0, separator);
        field = field.substr(0, field.find('\0'));  // as the C interface sees them
        rest = separator == std::string_view::npos ? std::string_view() : rest.substr(separator + 1);
    }
    const std::string section(fields[0]), key(fields[1]), value(fields[2]);

    ProfileText text{std::string(rest)};
    const Snapshot before = snapshot(text);

    // The reads, into buffers of every small size, with a guard byte after them.
    const std::size_t room = control % 24;
    std::vector<char> buffer(room + 1, '\x7f');
    const std::span<char> span(buffer.data(), room);
    const int32_t listed = vutil::platform::readProfileString(&text, nullptr, nullptr, nullptr, span);
    check(buffer[room] == '\x7f' && listed >= 0 && static_cast<std::size_t>(listed) + (room >= 2 ? 2 : 0) <= room + 1);
    vutil::platform::readProfileString(&text, section.c_str(), nullptr, "d", span);
    check(buffer[room] == '\x7f');
    const int32_t read = vutil::platform::readProfileString(&text, section.c_str(), key.c_str(), value.c_str(), span);
    check(buffer[room] == '\x7f' && (room == 0 ? read == 0 : static_cast<std::size_t>(read) < room));
    vutil::platform::readProfileInt(&text, section.c_str(), key.c_str(), 5);

    // One edit, chosen by the control byte.
    const std::string foldedSection = lower(trimmed(section));
    const std::string foldedKey = lower(trimmed(key));
    switch (control >> 6) {
        case 0:
        case 1: {
            const auto result = vutil::platform::editProfile(text, section.c_str(), key.c_str(), value.c_str());
            if (result == vutil::platform::ProfileEdit::Refused) {
                check(!ProfileText::writable(section, key, value));
                break;
            }
            check(text.value(section, key).value_or("<none>") == unquoted(value));
            checkOthersKept(before, text, foldedSection, foldedKey, false);
            break;
        }
        case 2:
            text.removeKey(section, key);
            check(!text.value(section, key).has_value());
            checkOthersKept(before, text, foldedSection, foldedKey, false);
            break;
        default:
            text.removeSection(section);
            check(text.keyNames(section).empty());
            checkOthersKept(before, text, foldedSection, foldedKey, true);
            break;
    }
    snapshot(text);  // the edited text still reads the same both ways
    return 0;
}
