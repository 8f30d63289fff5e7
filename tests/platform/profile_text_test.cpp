// Tests of the initialisation-file text: the reading rules, the result buffers and the edits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/profile_text.h"

namespace {

using vutil::platform::copyProfileList;
using vutil::platform::editProfile;
using vutil::platform::ProfileEdit;
using vutil::platform::ProfileText;
using vutil::platform::readProfileInt;
using vutil::platform::readProfileString;

const char kSample[] =
    "top=level\n"
    "[ View ]  trailing words\n"
    "  Scale =  0.5  \n"
    "Title=\"  quoted  \"\n"
    "Single='x'\n"
    "Odd=\"unbalanced\n"
    "Lone=\"\n"
    "Blank=''\n"
    "Mixed='a\"\n"
    "Empty=\n"
    "=no name\n"
    "; Hidden=comment\n"
    "# Also=comment\n"
    "[not a header\n"
    "no equals\n"
    "Scale=second\n"
    "Eq=a=b\r\n"
    "Zed=z\n"
    "[view]\n"
    "Later=ignored\n"
    "[Other]\n"
    "k\t=\tv\t\n"
    "[]\n"
    "inEmpty=1\n";

/// The value read through the string rules, or "<absent>".
std::string read(const ProfileText &text, const char *section, const char *key) {
    char buffer[64];
    const int32_t n = readProfileString(&text, section, key, "<absent>", buffer);
    return std::string(buffer, static_cast<std::size_t>(n));
}

TEST(ProfileText, ReadingRules) {
    const ProfileText text(kSample);
    struct Case {
        const char *section;
        const char *key;
        const char *expected;
    };
    for (const Case &c : {
             Case{"View", "Scale", "0.5"},           // blanks around names and values go
             Case{"VIEW", "sCALE", "0.5"},           // case does not matter, and the first key counts
             Case{" view ", " scale ", "0.5"},       // nor do blanks around the names asked for
             Case{"View", "Title", "  quoted  "},    // quotes go, the blanks inside them stay
             Case{"View", "Single", "x"},            // single quotes too
             Case{"View", "Odd", "\"unbalanced"},    // only a pair of quotes goes
             Case{"View", "Lone", "\""},             // a lone quote is no pair
             Case{"View", "Blank", ""},              // a pair with nothing inside
             Case{"View", "Mixed", "'a\""},          // nor are two different ones
             Case{"View", "Empty", ""},              // present, and empty
             Case{"View", "Eq", "a=b"},              // the first '=' splits; CR LF ends the line
             Case{"vIEW", "zED", "z"},               // A to Z, both ends
             Case{"View", "Hidden", "<absent>"},     // comments with ';'
             Case{"View", "# Also", "<absent>"},     // and with '#'
             Case{"View", "Later", "<absent>"},      // a second [view] section does not count
             Case{"Other", "k", "v"},                // tabs are blanks
             Case{"", "inEmpty", "<absent>"},        // nor does a section without a name
             Case{"none", "top", "<absent>"},        // lines before the first section are no keys
             Case{"not a header", "x", "<absent>"},
         }) {
        EXPECT_EQ(read(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
    }
}

std::vector<std::string> list(const ProfileText *text, const char *section, std::size_t size) {
    std::vector<char> buffer(size + 4, '#');
    const int32_t n = readProfileString(text, section, nullptr, "unused", std::span(buffer.data(), size));
    EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
    std::vector<std::string> names;
    for (int32_t at = 0; at < n && buffer[static_cast<std::size_t>(at)] != '\0';) {
        names.emplace_back(&buffer[static_cast<std::size_t>(at)]);
        at += static_cast<int32_t>(names.back().size()) + 1;
    }
    return names;
}

TEST(ProfileText, NullNamesListSectionsAndKeysOnceEach) {
    const ProfileText text(kSample);
    EXPECT_EQ(list(&text, nullptr, 100), (std::vector<std::string>{"View", "Other"}));
    EXPECT_EQ(list(&text, "view", 100),
              (std::vector<std::string>{"Scale", "Title", "Single", "Odd", "Lone", "Blank", "Mixed", "Empty", "Eq", "Zed"}));
    EXPECT_EQ(list(&text, "absent", 100), (std::vector<std::string>{}));
    EXPECT_EQ(list(nullptr, nullptr, 100), (std::vector<std::string>{}));
    // A null section lists sections even with a key given.
    char buffer[32];
    EXPECT_EQ(readProfileString(&text, nullptr, "Scale", "d", buffer), 11);
    EXPECT_EQ(std::string(buffer, 12), std::string("View\0Other\0\0", 12));
}

TEST(ProfileText, ListsThatDoNotFitAreCutAndEndInTwoNuls) {
    const ProfileText text("[ab]\n[cde]\n[f]\n");
    struct Case {
        std::size_t size;
        int32_t result;
        std::string bytes;  // what the buffer holds
    };
    for (const Case &c : {
             Case{12, 9, std::string("ab\0cde\0f\0\0", 10)}, Case{11, 9, std::string("ab\0cde\0f\0\0", 10)},
             Case{10, 9, std::string("ab\0cde\0f\0\0", 10)},  // just fits
             Case{9, 7, std::string("ab\0cde\0\0\0", 9)},     // "f" does not fit with both NULs
             Case{8, 6, std::string("ab\0cde\0\0", 8)}, Case{7, 5, std::string("ab\0cd\0\0", 7)},  // cut
             Case{5, 3, std::string("ab\0\0\0", 5)}, Case{4, 2, std::string("ab\0\0", 4)},
             Case{3, 1, std::string("a\0\0", 3)}, Case{2, 0, std::string("\0\0", 2)}, Case{1, 0, std::string("\0", 1)},
         }) {
        std::string buffer(c.size + 1, '#');
        EXPECT_EQ(copyProfileList(text.sectionNames(), std::span(buffer.data(), c.size)), c.result) << c.size;
        EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.size;
        EXPECT_EQ(buffer[c.size], '#') << c.size;
    }
    // A long last name is cut to the room there is, and no further.
    std::string cut(8, '#');
    EXPECT_EQ(copyProfileList({"ab", "cdefghijklmnop"}, std::span(cut.data(), 7)), 5);
    EXPECT_EQ(cut, std::string("ab\0cd\0\0#", 8));
    std::string buffer(3, '#');
    EXPECT_EQ(copyProfileList({}, std::span(buffer.data(), 3)), 0);
    EXPECT_EQ(buffer, std::string("\0\0#", 3)) << "an empty list ends in two NULs";
    EXPECT_EQ(copyProfileList({}, std::span(buffer.data(), 0)), 0);
}

TEST(ProfileText, StringsThatDoNotFitAreCutToSizeMinusOne) {
    const ProfileText text("[s]\nk=abcdef\n");
    for (std::size_t size : {0u, 1u, 2u, 6u, 7u, 8u, 40u}) {
        std::string buffer(size + 1, '#');
        const int32_t n = readProfileString(&text, "s", "k", nullptr, std::span(buffer.data(), size));
        const std::size_t kept = size == 0 ? 0 : std::min<std::size_t>(6, size - 1);
        EXPECT_EQ(n, static_cast<int32_t>(kept)) << size;
        if (size > 0) {
            EXPECT_EQ(buffer.substr(0, kept + 1), std::string("abcdef").substr(0, kept) + '\0') << size;
        }
        EXPECT_EQ(buffer[size], '#') << size;
    }
    // Defaults lose their trailing blanks.
    char buffer[16];
    EXPECT_EQ(readProfileString(&text, "s", "x", "  def \t ", buffer), 5);
    EXPECT_STREQ(buffer, "  def");
    EXPECT_EQ(readProfileString(&text, "s", "x", nullptr, buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(readProfileString(nullptr, "s", "k", "none", buffer), 4) << "no file";
    EXPECT_STREQ(buffer, "none");
}

TEST(ProfileText, IntegersAreDecimalAndSaturate) {
    const ProfileText text(
        "[n]\na=42\nb=-17x\nc=+8\nd=abc\ne=\nf=99999999999\ng=-99999999999\nh=0x1F\ni=-2147483648\nj=\" 5\"\n");
    struct Case {
        const char *key;
        int32_t expected;
    };
    for (const Case &c : {Case{"a", 42}, Case{"b", -17}, Case{"c", 8}, Case{"d", 0}, Case{"e", -5}, Case{"f", INT32_MAX},
                          Case{"g", INT32_MIN}, Case{"h", 0}, Case{"i", INT32_MIN}, Case{"j", 0}, Case{"zz", -5}}) {
        EXPECT_EQ(readProfileInt(&text, "n", c.key, -5), c.expected) << c.key;
    }
    EXPECT_EQ(readProfileInt(nullptr, "n", "a", 9), 9);
    EXPECT_EQ(readProfileInt(&text, nullptr, "a", 9), 9);
    EXPECT_EQ(readProfileInt(&text, "n", nullptr, 9), 9);
}

/// The text after one edit, and what the edit reported.
std::string edited(const char *before, const char *section, const char *key, const char *value,
                   ProfileEdit expected = ProfileEdit::Changed) {
    ProfileText text(before);
    EXPECT_EQ(editProfile(text, section, key, value), expected) << before;
    return text.text();
}

TEST(ProfileText, EditsTouchOnlyTheirLines) {
    // Values are replaced after the '=' and its blanks.
    EXPECT_EQ(edited("[s]\n K = old \n", "S", "k", "new"), "[s]\n K = new\n");
    EXPECT_EQ(edited("[s]\nk=v\n", "s", "k", "v", ProfileEdit::Unchanged), "[s]\nk=v\n");
    // New keys go after the last line of content, before blank lines and comments.
    EXPECT_EQ(edited("[s]\na=1\n\n; next\n[t]\n", "s", "b", "2"), "[s]\na=1\nb=2\n\n; next\n[t]\n");
    EXPECT_EQ(edited("[s]\n[t]\n", "s", "b", "2"), "[s]\nb=2\n[t]\n");
    EXPECT_EQ(edited("[s]", "s", "b", "2"), "[s]\nb=2\n");
    EXPECT_EQ(edited("[s]\r\na=1", "s", "b", "2"), "[s]\r\na=1\r\nb=2\r\n");
    // New sections go at the end, after a blank line.
    EXPECT_EQ(edited("", "s", "k", "v"), "[s]\nk=v\n");
    EXPECT_EQ(edited("x", "s", "k", "v"), "x\n\n[s]\nk=v\n");
    EXPECT_EQ(edited("[a]\n\n", "s", "k", "v"), "[a]\n\n[s]\nk=v\n");
    EXPECT_EQ(edited("; c\r\n", "s", " k ", ""), "; c\r\n\r\n[s]\r\nk=\r\n");
    // Removals: every line of the key in the first section; every section of the name.
    EXPECT_EQ(edited("[s]\nk=1\nj=2\nK=3\n[s]\nk=4\n", "s", "k", nullptr), "[s]\nj=2\n[s]\nk=4\n");
    EXPECT_EQ(edited("[s]\nk=1\n", "s", "x", nullptr, ProfileEdit::Unchanged), "[s]\nk=1\n");
    EXPECT_EQ(edited("[s]\nk=1\n", "t", "k", nullptr, ProfileEdit::Unchanged), "[s]\nk=1\n");
    EXPECT_EQ(edited("; top\n[s]\nk=1\n; c\n[t]\nx=1\n[S]\ny=2", "s", nullptr, nullptr), "; top\n[t]\nx=1\n");
    EXPECT_EQ(edited("[t]\n", "s", nullptr, nullptr, ProfileEdit::Unchanged), "[t]\n");
}

TEST(ProfileText, WritesThatWouldNotReadBackAreRefused) {
    for (const char *section : {"", "  ", "a]b", "a\nb", "a\rb"}) {
        EXPECT_EQ(edited("", section, "k", "v", ProfileEdit::Refused), "") << section;
    }
    for (const char *key : {"", " ", "a=b", "[k", ";k", "#k", "a\nb"}) {
        EXPECT_EQ(edited("[s]\n", "s", key, "v", ProfileEdit::Refused), "[s]\n") << key;
    }
    EXPECT_EQ(edited("[s]\n", "s", "k", "line\n[evil]\nk=1", ProfileEdit::Refused), "[s]\n");
    EXPECT_EQ(edited("[s]\n", nullptr, "k", "v", ProfileEdit::Refused), "[s]\n");
    EXPECT_EQ(edited("[s]\n", nullptr, nullptr, nullptr, ProfileEdit::Refused), "[s]\n");
    // Names that are fine: brackets inside a section name, blanks inside names.
    EXPECT_EQ(edited("", "a[b", "k k", "v", ProfileEdit::Changed), "[a[b]\nk k=v\n");
    EXPECT_EQ(read(ProfileText("[a[b]\nk k=v\n"), "a[b", "k k"), "v");
}

TEST(ProfileText, ManyNamesAndRemovalsTakeLinearTime) {
    // A hostile file of 200000 sections, all of one name or all different:
    // listing and removing must not compare or copy every one with every other
    // (that would take minutes; done in one pass it takes a fraction of a second,
    // a few seconds under the sanitizers).
    constexpr int kCount = 200000;
    std::string same, different, keys = "[s]\n";
    for (int i = 0; i < kCount; ++i) {
        same += "[s]\nk=1\n";
        different += "[s" + std::to_string(i) + "]\n";
        keys += "K=" + std::to_string(i) + "\n";
    }
    const auto start = std::chrono::steady_clock::now();
    ProfileText sameText(same);
    EXPECT_EQ(sameText.sectionNames().size(), 1u);
    EXPECT_TRUE(sameText.removeSection("S"));
    EXPECT_EQ(sameText.text(), "");
    EXPECT_EQ(ProfileText(different).sectionNames().size(), static_cast<std::size_t>(kCount));
    ProfileText keyText(keys);
    EXPECT_EQ(keyText.keyNames("s").size(), 1u);
    EXPECT_TRUE(keyText.removeKey("s", "k"));
    EXPECT_EQ(keyText.text(), "[s]\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
