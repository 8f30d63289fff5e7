// Tests of the null-safe string layer, keyword lookup, squeezing and the slot tokenizer.
#include <gtest/gtest.h>

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <string>
#include <vector>

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
        EXPECT_EQ(KorStrncpy(buffer, a.c_str(), n), buffer);
        const std::string head = a.substr(0, n);
        EXPECT_EQ(std::string(buffer), head);
        EXPECT_EQ(buffer[head.size() + 1], '#') << "wrote past the terminator";
        KorStrcpy(buffer, a.c_str());
        KorStrncat(buffer, b.c_str(), n);
        EXPECT_EQ(std::string(buffer), a + b.substr(0, n));
        KorStrcat(buffer, a.c_str());
        EXPECT_EQ(KorStrlen(buffer), a.size() + std::min<std::size_t>(b.size(), n) + a.size());
        std::string upper = a;
        for (char &c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        KorStrupr(buffer);
        EXPECT_EQ(std::string(buffer, a.size()), upper);
        EXPECT_EQ(KorStrcmp(a.c_str(), b.c_str()), sign(std::strcmp(a.c_str(), b.c_str())));
        EXPECT_EQ(KorStricmp(a.c_str(), b.c_str()), sign(strcasecmp(a.c_str(), b.c_str())));
        EXPECT_EQ(KorStrncmp(a.c_str(), b.c_str(), n), std::strncmp(a.c_str(), b.c_str(), n) != 0 ? 1 : 0);
        EXPECT_EQ(KorStrnicmp(a.c_str(), b.c_str(), n), strncasecmp(a.c_str(), b.c_str(), n) != 0 ? 1 : 0);
        for (char c : {' ', ','}) {
            std::string removed, collapsed;
            for (char x : a) {
                if (x != c) removed += x;
                if (x != c || collapsed.empty() || collapsed.back() != c) collapsed += x;
            }
            std::string squeezed = a, runs = a;
            squeeze(squeezed.data(), c);
            ssqueeze(runs.data(), c);
            EXPECT_EQ(std::string(squeezed.c_str()), removed);
            EXPECT_EQ(std::string(runs.c_str()), collapsed);
        }
    }
}

TEST(Strings, NullRules) {
    char buffer[8] = "abc";
    EXPECT_EQ(KorStrcpy(buffer, nullptr), buffer);
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "abc");
    EXPECT_EQ(KorStrncpy(buffer, nullptr, 5), buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(KorStrcpy(nullptr, "x"), nullptr);
    EXPECT_EQ(KorStrncpy(nullptr, "x", 1), nullptr);
    KorStrcat(buffer, nullptr);
    KorStrcat(nullptr, "x");
    KorStrncat(nullptr, "x", 1);
    KorStrupr(nullptr);
    EXPECT_EQ(KorStrlen(nullptr), 0u);
    using Compare = int32_t (*)(const char *, const char *);
    for (Compare compare : {Compare{KorStrcmp}, Compare{KorStricmp}}) {
        EXPECT_EQ(compare(nullptr, nullptr), 0);
        EXPECT_EQ(compare(nullptr, ""), -1);
        EXPECT_EQ(compare("", nullptr), 1);
    }
    EXPECT_EQ(KorStrncmp(nullptr, nullptr, 3), 0);
    EXPECT_EQ(KorStrncmp(nullptr, "a", 3), -1);
    EXPECT_EQ(KorStrnicmp("a", nullptr, 3), 1);
    squeeze(nullptr, 'x');
    ssqueeze(nullptr, 'x');
}

TEST(StringFormat, SprintfAndSscanfPassThrough) {
    char buffer[64];
    EXPECT_EQ(KorSprintf(buffer, "%d-%s", 42, "x"), 4);
    EXPECT_STREQ(buffer, "42-x");
    int a = 0;
    double b = 0;
    EXPECT_EQ(KORsscanf("7 2.5", "%d %lf", &a, &b), 2);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 2.5);
    EXPECT_EQ(KORsscanf("", "%d", &a), -1);
}

TEST(StringFormat, SscanfTakesMoreThanSixtyFourReceivers) {
    std::string text;
    std::string format;
    for (int i = 0; i < 70; ++i) {
        text += std::to_string(i) + " ";
        format += "%d ";
    }
    int v[70] = {};
    // 70 receiving pointers, spelled out: the variadic list is forwarded whole.
    int stored = KORsscanf(text.c_str(), format.c_str(), &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &v[6], &v[7],
                           &v[8], &v[9], &v[10], &v[11], &v[12], &v[13], &v[14], &v[15], &v[16], &v[17], &v[18],
                           &v[19], &v[20], &v[21], &v[22], &v[23], &v[24], &v[25], &v[26], &v[27], &v[28], &v[29],
                           &v[30], &v[31], &v[32], &v[33], &v[34], &v[35], &v[36], &v[37], &v[38], &v[39], &v[40],
                           &v[41], &v[42], &v[43], &v[44], &v[45], &v[46], &v[47], &v[48], &v[49], &v[50], &v[51],
                           &v[52], &v[53], &v[54], &v[55], &v[56], &v[57], &v[58], &v[59], &v[60], &v[61], &v[62],
                           &v[63], &v[64], &v[65], &v[66], &v[67], &v[68], &v[69]);
    EXPECT_EQ(stored, 70);
    for (int i = 0; i < 70; ++i) {
        EXPECT_EQ(v[i], i);
    }
}

TEST(StringIndex, FindsNamesIgnoringCaseAndFallsBackToTheDefault) {
    EXPECT_EQ(KorGetStringIndex("Two", -1, "one", 1, "two", 2, nullptr), 2);
    EXPECT_EQ(KorGetStringIndex("three", -1, "one", 1, "two", 2, nullptr), -1);
    EXPECT_EQ(KorGetStringIndex(nullptr, -7, "one", 1, nullptr), -7);
    EXPECT_EQ(KorGetStringIndex("one", 5, nullptr), 5);
    EXPECT_EQ(KorGetStringIndex("dup", 0, "dup", 1, "DUP", 2, nullptr), 1);
}

TEST(Squeeze, LooksAtTheFirstThousandCharactersOnly) {
    std::string text(1500, 'a');
    text[10] = 'x';
    text[1200] = 'x';
    squeeze(text.data(), 'x');
    EXPECT_EQ(std::strlen(text.c_str()), 999u);
    std::string runs(1500, 'b');
    ssqueeze(runs.data(), 'c');
    EXPECT_EQ(std::strlen(runs.c_str()), 1000u);
}

std::vector<std::string> tokens(int32_t slot, const char *first) {
    std::vector<std::string> out;
    for (const char *t = first; t != nullptr; t = KorStrtok(nullptr, nullptr, &slot)) {
        out.emplace_back(t);
    }
    return out;
}

TEST(Tokenizer, SplitsOnAnyDelimiterWithoutEmptyTokens) {
    int32_t slot = -1;
    const char text[] = "a, b;;c";
    char *first = KorStrtok(text, ", ;", &slot);
    ASSERT_GE(slot, 0);
    ASSERT_LT(slot, KOR_STRTOK_SLOTS);
    EXPECT_EQ(tokens(slot, first), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_STREQ(text, "a, b;;c") << "the caller's text must not change";
    EXPECT_EQ(KorStrtok(nullptr, ",", &slot), nullptr);
}

TEST(Tokenizer, InterleavedTokenizationsDoNotDisturbEachOther) {
    int32_t outer = -1;
    int32_t inner = -1;
    EXPECT_STREQ(KorStrtok("x y z", " ", &outer), "x");
    EXPECT_STREQ(KorStrtok("1,2", ",", &inner), "1");
    EXPECT_NE(outer, inner);
    EXPECT_STREQ(KorStrtok(nullptr, " ", &outer), "y");
    EXPECT_STREQ(KorStrtok(nullptr, ",", &inner), "2");
    EXPECT_STREQ(KorStrtok(nullptr, " ", &outer), "z");
    EXPECT_EQ(KorStrtok(nullptr, ",", &inner), nullptr);
}

TEST(Tokenizer, SlotsAreHandedOutRoundRobin) {
    int32_t first = -1;
    KorStrtok("a", " ", &first);
    for (int i = 1; i <= KOR_STRTOK_SLOTS; ++i) {
        int32_t slot = -1;
        KorStrtok("a", " ", &slot);
        EXPECT_EQ(slot, (first + i) % KOR_STRTOK_SLOTS);
    }
}

TEST(Tokenizer, BadSlotsAndEmptyTextGiveNull) {
    int32_t slot = 64;
    EXPECT_EQ(KorStrtok(nullptr, " ", &slot), nullptr);
    slot = -1;
    EXPECT_EQ(KorStrtok(nullptr, " ", &slot), nullptr);
    EXPECT_EQ(KorStrtok(nullptr, " ", nullptr), nullptr);
    EXPECT_EQ(KorStrtok("   ", " ", &slot), nullptr);
    EXPECT_EQ(KorStrtok("", " ", &slot), nullptr);
    EXPECT_STREQ(KorStrtok("ab", nullptr, nullptr), "ab");
}

TEST(Tokenizer, LongTextIsCutToTheSlotCapacity) {
    std::string text(10000, 'q');
    int32_t slot = -1;
    char *token = KorStrtok(text.c_str(), " ", &slot);
    ASSERT_NE(token, nullptr);
    EXPECT_EQ(std::strlen(token), static_cast<std::size_t>(KOR_STRTOK_MAX_TEXT));
    EXPECT_EQ(KorStrtok(nullptr, " ", &slot), nullptr);
}

}  // namespace
