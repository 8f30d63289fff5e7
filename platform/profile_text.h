// Initialisation-file text: sections of key=value lines, read by the private-profile rules and edited in place.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vutil::platform {

/// The text of an initialisation file, split into lines. The rules:
/// - a line whose first non-blank character is '[' and that has a ']' later
///   is a section header; the name is what lies between them, blanks trimmed;
/// - a line whose first non-blank character is ';' or '#' is a comment;
/// - any other line with an '=' inside a section is a key: the name is the
///   text before the first '=', the value the text after it, both trimmed of
///   blanks, and a value enclosed in a pair of single or double quotation
///   marks loses them;
/// - everything else (lines before the first section, lines without '=') is
///   kept but means nothing.
/// Names are compared without regard to ASCII case. When a section appears
/// twice the first one counts, and so does the first of two equal keys.
/// Editing changes only the lines it must and keeps every other byte.
class ProfileText {
public:
    /// Text of 4 GiB or more is taken as empty.
    explicit ProfileText(std::string text = {});

    /// The value of key in section, or nothing when either is absent.
    std::optional<std::string_view> value(std::string_view section, std::string_view key) const;
    /// The names of the sections in file order, each once.
    std::vector<std::string_view> sectionNames() const;
    /// The names of the keys of section in file order, each once.
    std::vector<std::string_view> keyNames(std::string_view section) const;

    /// Sets key in section to value: the value part of an existing key line is
    /// replaced (its name and the blanks after '=' stay); a new key goes after
    /// the section's last line of content; a new section goes at the end.
    /// Returns whether the text changed.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);
    /// Removes every line of key in the section. Returns whether the text changed.
    bool removeKey(std::string_view section, std::string_view key);
    /// Removes every section of that name, header to the next header. Returns whether the text changed.
    bool removeSection(std::string_view section);

    const std::string &text() const noexcept { return text_; }

    /// Whether a write may use these names and value: a name must not be empty
    /// after trimming nor hold a line break; a section name must not hold ']';
    /// a key must not hold '=' nor start with '[', ';' or '#'; a value must not
    /// hold a line break. Anything else would read back differently, or would
    /// put lines of its own into the file.
    static bool writable(std::string_view section, std::string_view key, std::string_view value) noexcept;

private:
    enum class Kind : uint8_t { Other, Comment, Header, Key };
    /// Offsets into the text, in 32 bits: a file's lines are indexed whole,
    /// and the index should stay small beside the text.
    struct Line {
        uint32_t begin;       ///< first byte of the line
        uint32_t end;         ///< end of the content, before any CR LF or LF
        uint32_t next;        ///< first byte of the following line
        uint32_t nameBegin;   ///< section or key name, trimmed
        uint32_t nameSize;
        uint32_t valueBegin;  ///< for keys: the value part, after '=' and its blanks
        Kind kind;
    };

    std::string_view nameOf(const Line &line) const {
        return std::string_view(text_).substr(line.nameBegin, line.nameSize);
    }
    void parse();
    /// Removes the lines for which removed(index) holds, in file order; true when there were any.
    bool removeLines(const std::function<bool(std::size_t)> &removed);
    /// Index of the first header of section, or lines_.size().
    std::size_t findSection(std::string_view section) const;
    /// One past the last line of the section whose header is at index header.
    std::size_t sectionEnd(std::size_t header) const;
    std::string_view contentOf(const Line &line) const;
    /// The line break the file uses: CR LF when its first line ends so.
    std::string_view lineBreak() const;

    std::string text_;
    std::vector<Line> lines_;
};

/// Copies text and a terminator into buffer, cut to buffer.size() - 1
/// characters. Returns the characters copied; nothing is written to an empty buffer.
int32_t copyProfileString(std::string_view text, std::span<char> buffer) noexcept;

/// Copies names as a list: each followed by a NUL, the list by one more NUL.
/// Returns the characters copied without the last NUL. When the list does not
/// fit, the last name that does is cut, two NULs end the buffer and the result
/// is buffer.size() - 2.
int32_t copyProfileList(const std::vector<std::string_view> &names, std::span<char> buffer) noexcept;

/// GetPrivateProfileString over the text of a file (null: no file): a null
/// section lists the section names, a null key the key names of the section;
/// otherwise the key's value, or def (null: empty) without its trailing blanks
/// when the key is absent.
int32_t readProfileString(const ProfileText *text, const char *section, const char *key, const char *def,
                          std::span<char> buffer) noexcept;

/// GetPrivateProfileInt over the text of a file (null: no file): the decimal
/// value of the key (optional sign, digits up to the first other character,
/// saturating at the 32-bit limits, 0 without digits), or def when the key is
/// absent or its value empty.
int32_t readProfileInt(const ProfileText *text, const char *section, const char *key, int32_t def) noexcept;

enum class ProfileEdit : uint8_t { Changed, Unchanged, Refused };

/// Whether editProfile takes these arguments: a section, and for a new value
/// names and a value that ProfileText::writable accepts.
bool profileEditAllowed(const char *section, const char *key, const char *value) noexcept;

/// WritePrivateProfileString applied to text: a null value removes the key, a
/// null key the whole section. Arguments that profileEditAllowed refuses leave
/// it alone (Refused).
ProfileEdit editProfile(ProfileText &text, const char *section, const char *key, const char *value);

}  // namespace vutil::platform
