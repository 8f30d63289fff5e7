// Tests of the initialisation-file text: the reading rules, the result buffers and the edits.
#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "platform/profile_text.h"

namespace {

using namespace vutil::platform;

/// The value read through the string rules, or "<absent>".
std::string read(const ProfileText &text, const char *section, const char *key) {
    char buffer[64];
    const int32_t n = readProfileString(&text, section, key, "<absent>", buffer);
    return std::string(buffer, static_cast<std::size_t>(n));
}

TEST(ProfileText, ReadingRules) {
    const ProfileText text(
        "top=level\n[ View ]  trailing words\n  Scale =  0.5  \nTitle=\"  quoted  \"\nSingle='x'\nOdd=\"unbalanced\n"
        "Lone=\"\nMixed='a\"\nEmpty=\n=no name\n; Hidden=comment\n# Also=comment\n[not a header\nScale=second\n"
        "Eq=a=b\r\nZed=z\n[view]\nLater=ignored\n[Other]\nk\t=\tv\t\n[]\ninEmpty=1\n");
    struct Case { const char *section, *key, *expected; };
    // Blanks and case do not matter, and the first key counts; quotes go, the blanks inside them stay, single quotes
    // too, but only a pair of the same quotes goes; present and empty; the first '=' splits and CR LF ends the line;
    // A to Z, both ends; comments; a second [view] section does not count; tabs are blanks; nor does a section
    // without a name; lines before the first section are no keys.
    for (const Case &c : {Case{" VIEW ", " sCALE ", "0.5"}, Case{"View", "Title", "  quoted  "}, Case{"View", "Single", "x"}, Case{"View", "Odd", "\"unbalanced"},
                          Case{"View", "Lone", "\""}, Case{"View", "Mixed", "'a\""}, Case{"View", "Empty", ""}, Case{"View", "Eq", "a=b"}, Case{"vIEW", "zED", "z"},
                          Case{"View", "Hidden", "<absent>"}, Case{"View", "# Also", "<absent>"}, Case{"View", "Later", "<absent>"}, Case{"Other", "k", "v"},
                          Case{"", "inEmpty", "<absent>"}, Case{"none", "top", "<absent>"}})
        EXPECT_EQ(read(text, c.section, c.key), c.expected) << c.section << "/" << c.key;
    // Null names list the sections (whatever the key) and the keys, each once.
    char buffer[64];
    EXPECT_EQ(readProfileString(&text, nullptr, "Scale", "d", buffer), 11);
    EXPECT_EQ(std::string(buffer, 12), std::string("View\0Other\0\0", 12));
    const char keys[] = "Scale\0Title\0Single\0Odd\0Lone\0Mixed\0Empty\0Eq\0Zed\0";
    EXPECT_EQ(readProfileString(&text, "view", nullptr, "d", buffer), static_cast<int32_t>(sizeof keys - 1));
    EXPECT_EQ(std::string(buffer, sizeof keys), std::string(keys, sizeof keys));
    EXPECT_EQ(readProfileString(nullptr, nullptr, nullptr, "d", buffer), 0);
}

// Lists are names each ending in NUL, then one more NUL; a list that does not fit is cut to the room less two
// bytes, followed by two NULs. Checked against that rule for random lists in buffers of every size.
TEST(ProfileText, ListsThatDoNotFitAreCutAndEndInTwoNuls) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<std::string> names(random() % 4);
        std::string whole;
        for (std::string &name : names) {
            name.resize(1 + random() % 6);
            for (char &c : name) c = static_cast<char>('a' + random() % 26);
            whole += name + '\0';
        }
        const std::vector<std::string_view> views(names.begin(), names.end());
        for (std::size_t size = 0; size < whole.size() + 3; ++size) {
            std::string expected = std::string(std::min<std::size_t>(size, 2), '\0');
            std::size_t result = 0;
            if (size >= 2 && !names.empty()) {
                result = whole.size() < size ? whole.size() : size - 2;
                expected = whole.substr(0, result) + std::string(whole.size() < size ? 1 : 2, '\0');
            }
            std::string buffer(size + 1, '#');
            EXPECT_EQ(copyProfileList(views, std::span(buffer.data(), size)), static_cast<int32_t>(result)) << size;
            EXPECT_EQ(buffer.substr(0, expected.size()), expected) << size;
            EXPECT_EQ(buffer[size], '#') << size;
        }
    }
}

TEST(ProfileText, StringsThatDoNotFitAreCutToSizeMinusOne) {
    const ProfileText text("[s]\nk=abcdef\n");
    for (std::size_t size : {0u, 1u, 2u, 6u, 7u, 8u, 40u}) {
        std::string buffer(size + 1, '#');
        const int32_t n = readProfileString(&text, "s", "k", nullptr, std::span(buffer.data(), size));
        const std::size_t kept = size == 0 ? 0 : std::min<std::size_t>(6, size - 1);
        EXPECT_TRUE(n == static_cast<int32_t>(kept) && (size == 0 || buffer.substr(0, kept + 1) == std::string("abcdef").substr(0, kept) + '\0') && buffer[size] == '#') << size;
    }
    char buffer[16];
    EXPECT_EQ(readProfileString(&text, "s", "x", "  def \t ", buffer), 5) << "defaults lose their trailing blanks";
    EXPECT_STREQ(buffer, "  def");
}

TEST(ProfileText, IntegersAreDecimalAndSaturate) {
    const ProfileText text("[n]\na=42\nb=-17x\nc=+8\nd=abc\ne=\nf=99999999999\ng=-99999999999\nh=0x1F\ni=-2147483648\n");
    for (const auto &[key, expected] : std::vector<std::pair<const char *, int32_t>>{
             {"a", 42}, {"b", -17}, {"c", 8}, {"d", 0}, {"e", -5}, {"f", INT32_MAX}, {"g", INT32_MIN}, {"h", 0},
             {"i", INT32_MIN}, {"zz", -5}})
        EXPECT_EQ(readProfileInt(&text, "n", key, -5), expected) << key;
    EXPECT_EQ(readProfileInt(nullptr, "n", "a", 9), 9);
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
    EXPECT_EQ(edited("[s]", "s", "b", "2"), "[s]\nb=2\n");
    EXPECT_EQ(edited("[s]\r\na=1", "s", "b", "2"), "[s]\r\na=1\r\nb=2\r\n");
    // New sections go at the end, after a blank line.
    EXPECT_EQ(edited("", "s", "k", "v"), "[s]\nk=v\n");
    EXPECT_EQ(edited("x", "s", "k", "v"), "x\n\n[s]\nk=v\n");
    EXPECT_EQ(edited("; c\r\n", "s", " k ", ""), "; c\r\n\r\n[s]\r\nk=\r\n");
    // Removals: every line of the key in the first section; every section of the name.
    EXPECT_EQ(edited("[s]\nk=1\nj=2\nK=3\n[s]\nk=4\n", "s", "k", nullptr), "[s]\nj=2\n[s]\nk=4\n");
    EXPECT_EQ(edited("[s]\nk=1\n", "t", "k", nullptr, ProfileEdit::Unchanged), "[s]\nk=1\n");
    EXPECT_EQ(edited("; top\n[s]\nk=1\n; c\n[t]\nx=1\n[S]\ny=2", "s", nullptr, nullptr), "; top\n[t]\nx=1\n");
    EXPECT_EQ(edited("[t]\n", "s", nullptr, nullptr, ProfileEdit::Unchanged), "[t]\n");
}

TEST(ProfileText, WritesThatWouldNotReadBackAreRefused) {
    for (const auto &[section, key, value] : std::vector<std::tuple<const char *, const char *, const char *>>{
             {"  ", "k", "v"}, {"a]b", "k", "v"}, {"a\rb", "k", "v"}, {"s", "", "v"}, {"s", "a=b", "v"},
             {"s", "[k", "v"}, {"s", ";k", "v"}, {"s", "#k", "v"}, {"s", "a\nb", "v"}, {"s", "k", "x\n[evil]"},
             {nullptr, "k", "v"}}) {
        EXPECT_EQ(edited("[s]\n", section, key, value, ProfileEdit::Refused), "[s]\n") << section << "/" << key;
    }
    // Brackets inside a section name and blanks inside names are fine.
    EXPECT_EQ(edited("", "a[b", "k k", "v", ProfileEdit::Changed), "[a[b]\nk k=v\n");
    EXPECT_EQ(read(ProfileText("[a[b]\nk k=v\n"), "a[b", "k k"), "v");
}

TEST(ProfileText, ManyNamesAndRemovalsTakeLinearTime) {
    // 200000 sections of one name or all different, or keys of one name: done in one pass this takes a fraction
    // of a second, compared or copied every one with every other it would take minutes. Measured in this
    // thread's processor time, which other work on the machine does not stretch.
    std::string same, different, keys = "[s]\n";
    for (int i = 0; i < 200000; ++i) {
        same += "[s]\nk=1\n", different += "[s" + std::to_string(i) + "]\n", keys += "K=" + std::to_string(i) + "\n";
    }
    const auto cpuSeconds = [] { timespec now{}; return clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now), now.tv_sec + now.tv_nsec / 1e9; };
    const double start = cpuSeconds();
    ProfileText sameText(same), keyText(keys);
    EXPECT_TRUE(sameText.sectionNames().size() == 1 && sameText.removeSection("S") && sameText.text().empty());
    EXPECT_TRUE(keyText.keyNames("s").size() == 1 && keyText.removeKey("s", "k") && keyText.text() == "[s]\n");
    EXPECT_EQ(ProfileText(different).sectionNames().size(), 200000u);
    EXPECT_LT(cpuSeconds() - start, 30.0);
}

}  // namespace
