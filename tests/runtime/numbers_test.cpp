// Tests of number text conversion: C runtime rules with 32-bit results.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "runtime/numbers.h"
#include "vutil/runtime.h"

namespace {

TEST(Atoi, DecimalRulesWithThirtyTwoBitSaturation) {
    struct Case {
        const char *text;
        int32_t expected;
    };
    const Case cases[] = {
        {" -12x", -12},          {"x", 0},
        {"", 0},                 {"+7", 7},
        {"\t\n 42", 42},         {"0x1A", 0},
        {"2147483647", INT32_MAX}, {"2147483648", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"-2147483649", INT32_MIN},
        {"99999999999999999999999", INT32_MAX}, {"- 5", 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(KOR_atoi(c.text), c.expected) << c.text;
        EXPECT_EQ(KOR_atol(c.text), c.expected) << c.text;
    }
    EXPECT_EQ(KOR_atoi(nullptr), 0);
}

TEST(Atof, FollowsStrtod) {
    EXPECT_EQ(KOR_atof("1.5e3xyz"), 1500.0);
    EXPECT_EQ(KOR_atof("  -0.25"), -0.25);
    EXPECT_EQ(KOR_atof("abc"), 0.0);
    EXPECT_EQ(KOR_atof(nullptr), 0.0);
}

TEST(StrToL, BasePrefixesAndEndPointer) {
    struct Case {
        const char *text;
        int base;
        int32_t expected;
        std::size_t consumed;
    };
    const Case cases[] = {
        {"0x1A", 0, 26, 4},   {"0x1A", 10, 0, 1},   {"0x1A", 16, 26, 4}, {"1A", 16, 26, 2},
        {"017", 0, 15, 3},    {"017", 10, 17, 3},   {"0x", 0, 0, 1},     {"0xg", 16, 0, 1},
        {"  -z", 36, -35, 4}, {"101", 2, 5, 3},     {"", 10, 0, 0},      {"  +", 10, 0, 0},
        {"12", 1, 0, 0},      {"12", 37, 0, 0},     {"12", -1, 0, 0},    {"-0", 10, 0, 2},
    };
    for (const Case &c : cases) {
        char *end = nullptr;
        EXPECT_EQ(KorStrToL(c.text, &end, c.base), c.expected) << c.text << " base " << c.base;
        EXPECT_EQ(static_cast<std::size_t>(end - c.text), c.consumed) << c.text << " base " << c.base;
    }
    EXPECT_EQ(KorStrToL("5", nullptr, 10), 5);
    EXPECT_EQ(KorStrToL(nullptr, nullptr, 10), 0);
}

TEST(StrToL, SaturatesAtThirtyTwoBits) {
    char *end = nullptr;
    const char *text = "4294967296123";
    EXPECT_EQ(KorStrToL(text, &end, 10), INT32_MAX);
    EXPECT_EQ(*end, '\0') << "the end pointer passes all digits even on overflow";
    EXPECT_EQ(KorStrToL("-9999999999", nullptr, 10), INT32_MIN);
    EXPECT_EQ(KorStrToL("0x7fffffff", nullptr, 0), INT32_MAX);
    EXPECT_EQ(KorStrToL("0x80000000", nullptr, 0), INT32_MAX);
    EXPECT_EQ(KorStrToL("-0x80000000", nullptr, 0), INT32_MIN);
}

TEST(StrToUL, WrapsNegativesAndSaturatesOverflow) {
    EXPECT_EQ(KorStrToUL("4294967295", nullptr, 10), UINT32_MAX);
    EXPECT_EQ(KorStrToUL("4294967296", nullptr, 10), UINT32_MAX);
    EXPECT_EQ(KorStrToUL("-1", nullptr, 10), UINT32_MAX);
    EXPECT_EQ(KorStrToUL("-2", nullptr, 10), UINT32_MAX - 1);
    EXPECT_EQ(KorStrToUL("-4294967296", nullptr, 10), UINT32_MAX);
    EXPECT_EQ(KorStrToUL("0xffffffff", nullptr, 0), UINT32_MAX);
    char *end = nullptr;
    EXPECT_EQ(KorStrToUL("  12abc", &end, 10), 12u);
    EXPECT_STREQ(end, "abc");
}

// Where the host's long is 64 bits wide the library must still agree with the
// C runtime wherever the value fits in 32 bits.
TEST(StrToL, AgreesWithTheCRuntimeInsideThirtyTwoBits) {
    const char *texts[] = {"0", "-1", "  +123", "0777", "0x7FfF", "z", "-zz", "1e5", "  0x", "2147483647"};
    for (const char *text : texts) {
        for (int base : {0, 8, 10, 16, 36}) {
            char *ours = nullptr;
            char *theirs = nullptr;
            long expected = std::strtol(text, &theirs, base);
            if (expected < INT32_MIN || expected > INT32_MAX) {
                EXPECT_EQ(KorStrToL(text, nullptr, base), expected < 0 ? INT32_MIN : INT32_MAX);
                continue;
            }
            EXPECT_EQ(KorStrToL(text, &ours, base), expected) << text << " base " << base;
            EXPECT_EQ(ours, theirs) << text << " base " << base;
        }
    }
}

}  // namespace
