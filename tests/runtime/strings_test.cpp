// Tests of the null-safe string layer, keyword lookup, squeezing and the slot tokenizer.
#include <gtest/gtest.h>

#include <strings.h>

#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/facts.h"
#include "vutil/runtime.h"

namespace {

// Random strings over a small alphabet against the C library and plain loops: copies, appends,
// comparisons (the bounded ones report 1 for any difference), case and squeezing.
TEST(Strings, AgreeWithTheCLibrary) {
    std::mt19937 random(8);
    auto text = [&] {
        std::string t(random() % 9, ' ');
        for (char &c : t) c = "aAbBz ,,"[random() % 8];
        return t;
    };
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    for (int trial = 0; trial < 3000; ++trial) {
        const std::string a = text(), b = text();
        const auto n = static_cast<uint32_t>(random() % 11);
        SCOPED_TRACE(testing::Message() << '"' << a << "\" \"" << b << "\" " << n);
        char buffer[40];
        std::memset(buffer, '#', sizeof buffer);
        const std::string head = a.substr(0, n);
        EXPECT_TRUE(KorStrncpy(buffer, a.c_str(), n) == buffer && buffer == head && buffer[head.size() + 1] == '#') << "wrote past the terminator";
        KorStrcpy(buffer, a.c_str()), KorStrncat(buffer, b.c_str(), n);
        EXPECT_EQ(std::string(buffer), a + b.substr(0, n));
        EXPECT_EQ(KorStrlen(KorStrcat(buffer, a.c_str())), a.size() + std::min<std::size_t>(b.size(), n) + a.size());
        std::string upper = a;
        for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        KorStrupr(buffer);
        EXPECT_EQ(std::string(buffer, a.size()), upper);
        EXPECT_TRUE(KorStrcmp(a.c_str(), b.c_str()) == sign(std::strcmp(a.c_str(), b.c_str())) && KorStricmp(a.c_str(), b.c_str()) == sign(strcasecmp(a.c_str(), b.c_str())));
        EXPECT_TRUE(KorStrncmp(a.c_str(), b.c_str(), n) == (std::strncmp(a.c_str(), b.c_str(), n) != 0) &&
                    KorStrnicmp(a.c_str(), b.c_str(), n) == (strncasecmp(a.c_str(), b.c_str(), n) != 0));
        for (char c : {' ', ','}) {
            std::string removed, collapsed;
            for (char x : a) {
                if (x != c) removed += x;
                if (x != c || collapsed.empty() || collapsed.back() != c) collapsed += x;
            }
            std::string squeezed = a, runs = a;
            squeeze(squeezed.data(), c), ssqueeze(runs.data(), c);
            EXPECT_TRUE(squeezed.c_str() == removed && runs.c_str() == collapsed) << c;
        }
    }
    // Only the first thousand characters are looked at.
    std::string longText(1500, 'a'), runs(1500, 'b');
    longText[10] = longText[1200] = 'x';
    squeeze(longText.data(), 'x'), ssqueeze(runs.data(), 'c');
    EXPECT_TRUE(std::strlen(longText.c_str()) == 999u && std::strlen(runs.c_str()) == 1000u);
}

TEST(Strings, NullRules) {
    char buffer[8] = "abc", other[8] = "abc";
    EXPECT_TRUE(KorStrcpy(buffer, nullptr) == buffer && buffer[0] == '\0' && KorStrncpy(other, nullptr, 5) == other && other[0] == '\0');
    EXPECT_TRUE(KorStrcpy(nullptr, "x") == nullptr && KorStrncpy(nullptr, "x", 1) == nullptr && KorStrlen(nullptr) == 0);
    std::strcpy(buffer, "abc");
    vutil::test::expectFacts({FACT(KorStrcat(buffer, nullptr) == buffer, 1), FACT(KorStrncat(buffer, nullptr, 3) == buffer, 1),
                              FACT(std::strcmp(buffer, "abc"), 0), FACT(KorStrcat(nullptr, "x") == nullptr, 1), FACT(KorStrncat(nullptr, "x", 1) == nullptr, 1)});
    KorStrupr(nullptr), squeeze(nullptr, 'x'), ssqueeze(nullptr, 'x');  // these have no result: they must not crash
    using Compare = int32_t (*)(const char *, const char *);
    for (Compare compare : {Compare{KorStrcmp}, Compare{KorStricmp}})
        EXPECT_TRUE(compare(nullptr, nullptr) == 0 && compare(nullptr, "") == -1 && compare("", nullptr) == 1);
    EXPECT_TRUE(KorStrncmp(nullptr, nullptr, 3) == 0 && KorStrncmp(nullptr, "a", 3) == -1 && KorStrnicmp("a", nullptr, 3) == 1);
}

TEST(Strings, FormattingPassesTheWholeArgumentListThrough) {
    char buffer[64];
    EXPECT_TRUE(KorSprintf(buffer, "%d-%s", 42, "x") == 4 && std::string(buffer) == "42-x" && KORsscanf("", "%d", buffer) == -1);
    // 70 receivers, more than any fixed forwarding would carry.
    std::string text, format;
    for (int i = 0; i < 70; ++i) text.append(std::to_string(i * 3 - 7)).append(" "), format += "%d ";
    int v[70] = {};
    EXPECT_EQ([&]<std::size_t... I>(std::index_sequence<I...>) { return KORsscanf(text.c_str(), format.c_str(), &v[I]...); }(
                  std::make_index_sequence<70>{}), 70);
    for (int i = 0; i < 70; ++i) EXPECT_EQ(v[i], i * 3 - 7);
}

TEST(Strings, KeywordLookupIgnoresCaseAndFallsBackToTheDefault) {
    EXPECT_TRUE(KorGetStringIndex("Two", -1, "one", 1, "two", 2, nullptr) == 2 && KorGetStringIndex("three", -1, "one", 1, "two", 2, nullptr) == -1);
    EXPECT_TRUE(KorGetStringIndex(nullptr, -7, "one", 1, nullptr) == -7 && KorGetStringIndex("one", 5, nullptr) == 5);
    EXPECT_EQ(KorGetStringIndex("dup", 0, "dup", 1, "DUP", 2, nullptr), 1);
}

std::vector<std::string> tokens(int32_t slot, const char *first) {
    std::vector<std::string> out;
    for (const char *t = first; t != nullptr; t = KorStrtok(nullptr, nullptr, &slot)) out.emplace_back(t);
    return out;
}

TEST(Tokenizer, SlotsSplitOnAnyDelimiterIndependentlyAndRoundRobin) {
    int32_t slot = -1, outer = -1, inner = -1;
    const char text[] = "a, b;;c";
    char *first = KorStrtok(text, ", ;", &slot);
    ASSERT_TRUE(slot >= 0 && slot < KOR_STRTOK_SLOTS);
    EXPECT_EQ(tokens(slot, first), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_STREQ(text, "a, b;;c") << "the caller's text must not change";
    // Interleaved tokenizations, each in its own slot.
    const auto named = [](const char *t) { return t != nullptr ? t : "<null>"; };
    std::string seen = named(KorStrtok("x y z", " ", &outer));
    seen.append(named(KorStrtok("1,2", ",", &inner))).append(named(KorStrtok(nullptr, " ", &outer))).append(named(KorStrtok(nullptr, ",", &inner)));
    EXPECT_TRUE(seen.append(named(KorStrtok(nullptr, " ", &outer))) == "x1y2z" && KorStrtok(nullptr, ",", &inner) == nullptr);
    for (int32_t i = 1, next = -1; i <= KOR_STRTOK_SLOTS; ++i, next = -1) EXPECT_TRUE(KorStrtok("a", " ", &next) && next == (inner + i) % KOR_STRTOK_SLOTS);
    // Bad slots and empty text give null; long text is cut to the slot's capacity.
    int32_t high = KOR_STRTOK_SLOTS, low = -1;
    EXPECT_TRUE(KorStrtok(nullptr, " ", &high) == nullptr && KorStrtok(nullptr, " ", &low) == nullptr && KorStrtok(nullptr, " ", nullptr) == nullptr);
    EXPECT_TRUE(KorStrtok("   ", " ", &slot) == nullptr && KorStrtok("", " ", &slot) == nullptr);
    EXPECT_STREQ(KorStrtok("ab", nullptr, nullptr), "ab");
    ASSERT_NE(first = KorStrtok(std::string(10000, 'q').c_str(), " ", &slot), nullptr);
    EXPECT_TRUE(std::strlen(first) == static_cast<std::size_t>(KOR_STRTOK_MAX_TEXT) && KorStrtok(nullptr, " ", &slot) == nullptr);
}

}  // namespace
