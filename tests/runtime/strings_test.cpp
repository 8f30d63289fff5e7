// Tests of the null-safe string layer, keyword lookup, squeezing and the slot tokenizer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "vutil/runtime.h"

namespace {

TEST(StringCopy, BoundedCopyWritesAtMostNCharactersAndATerminator) {
    struct Case {
        uint32_t n;
        const char *expected;
        std::size_t bytesWritten;
    };
    for (const Case &c : {Case{3, "HEL", 4}, Case{5, "HELLO", 6}, Case{9, "HELLO", 6}, Case{0, "", 1}}) {
        char buffer[16];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(KorStrncpy(buffer, "HELLO", c.n), buffer);
        EXPECT_STREQ(buffer, c.expected) << "n = " << c.n;
        EXPECT_EQ(buffer[c.bytesWritten], '#') << "wrote past the terminator for n = " << c.n;
    }
}

TEST(StringCopy, NullSourceEmptiesAndNullDestinationIsIgnored) {
    char buffer[8] = "abc";
    EXPECT_EQ(KorStrcpy(buffer, nullptr), buffer);
    EXPECT_STREQ(buffer, "");
    std::strcpy(buffer, "abc");
    EXPECT_EQ(KorStrncpy(buffer, nullptr, 5), buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(KorStrcpy(nullptr, "x"), nullptr);
    EXPECT_EQ(KorStrncpy(nullptr, "x", 1), nullptr);
}

TEST(StringCopy, ConcatenationAndLength) {
    char buffer[16] = "ab";
    KorStrcat(buffer, "cd");
    EXPECT_STREQ(buffer, "abcd");
    KorStrcat(buffer, nullptr);
    KorStrcat(nullptr, "x");
    EXPECT_STREQ(buffer, "abcd");
    KorStrncat(buffer, "efgh", 2);
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_EQ(KorStrlen(buffer), 6u);
    EXPECT_EQ(KorStrlen(nullptr), 0u);
    KorStrupr(buffer);
    EXPECT_STREQ(buffer, "ABCDEF");
    KorStrupr(nullptr);
}

TEST(StringCompare, NullRules) {
    using Compare = int32_t (*)(const char *, const char *);
    for (Compare compare : {Compare{KorStrcmp}, Compare{KorStricmp}}) {
        EXPECT_EQ(compare(nullptr, nullptr), 0);
        EXPECT_EQ(compare(nullptr, ""), -1);
        EXPECT_EQ(compare("", nullptr), 1);
    }
    EXPECT_EQ(KorStrncmp(nullptr, nullptr, 3), 0);
    EXPECT_EQ(KorStrncmp(nullptr, "a", 3), -1);
    EXPECT_EQ(KorStrnicmp("a", nullptr, 3), 1);
}

TEST(StringCompare, OrderingAndCase) {
    EXPECT_LT(KorStrcmp("abc", "abd"), 0);
    EXPECT_GT(KorStrcmp("abd", "abc"), 0);
    EXPECT_EQ(KorStrcmp("abc", "abc"), 0);
    EXPECT_NE(KorStrcmp("abc", "ABC"), 0);
    EXPECT_EQ(KorStricmp("abc", "ABC"), 0);
    EXPECT_LT(KorStricmp("ab", "ABC"), 0);
}

TEST(StringCompare, BoundedComparisonReportsOneForAnyDifference) {
    struct Case {
        const char *a;
        const char *b;
        uint32_t n;
        int32_t exact;
        int32_t ignoringCase;
    };
    const Case cases[] = {
        {"abc", "ABD", 2, 1, 0}, {"abc", "ABD", 3, 1, 1}, {"a", "b", 1, 1, 1},   {"b", "a", 1, 1, 1},
        {"AB", "ABC", 3, 1, 1},  {"AB", "ABC", 2, 0, 0},  {"ab", "ab", 10, 0, 0}, {"x", "y", 0, 0, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(KorStrncmp(c.a, c.b, c.n), c.exact) << c.a << " " << c.b << " " << c.n;
        EXPECT_EQ(KorStrnicmp(c.a, c.b, c.n), c.ignoringCase) << c.a << " " << c.b << " " << c.n;
    }
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

TEST(Squeeze, RemovesAndCollapses) {
    struct Case {
        const char *input;
        char c;
        const char *squeezed;
        const char *collapsed;
    };
    const Case cases[] = {
        {"a b c", ' ', "abc", "a b c"},
        {"a  b   c", ' ', "abc", "a b c"},
        {"a,,,b", ',', "ab", "a,b"},
        {",,", ',', "", ","},
        {"", 'x', "", ""},
    };
    for (const Case &c : cases) {
        std::string a = c.input;
        std::string b = c.input;
        squeeze(a.data(), c.c);
        ssqueeze(b.data(), c.c);
        EXPECT_STREQ(a.c_str(), c.squeezed) << c.input;
        EXPECT_STREQ(b.c_str(), c.collapsed) << c.input;
    }
    squeeze(nullptr, 'x');
    ssqueeze(nullptr, 'x');
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
