// Tests of number text conversion: the C runtime's rules, with results saturated or wrapped to 32 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfenv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/facts.h"
#include "vutil/runtime.h"

namespace {

/// Where the "0" of a "0x" prefix with no hex digit after it stands (after blanks and a sign), else npos. By the C
/// standard's rule the number is that 0 and ends before the x; glibc keeps the rule, msvcrt converts nothing there.
/// The library keeps the rule on every host, so these texts are not asked of the host.
std::size_t bareHexPrefix(const std::string &text, int base) {
    std::size_t at = text.find_first_not_of(" \t");
    if (at == std::string::npos || (base != 0 && base != 16)) return std::string::npos;
    at += text[at] == '+' || text[at] == '-';
    const bool prefix = text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0;
    return prefix && !(at + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + 2]))) ? at : std::string::npos;
}

// Random texts of signs, blanks, prefixes and digits of every base, and long runs of digits, against
// the host's 64-bit conversions: the same end, the value saturated (signed) or wrapped and saturated
// (unsigned) to 32 bits.
TEST(Numbers, AgreeWithTheHostConversionsNarrowedToThirtyTwoBits) {
    std::mt19937 random(17);
    const char alphabet[] = " \t+-00xX1979aAfFgzZ";
    for (int trial = 0; trial < 20000; ++trial) {
        std::string text;
        const std::size_t length = random() % 9;
        for (std::size_t i = 0; i < length; ++i) text += alphabet[random() % (sizeof alphabet - 1)];
        if (trial % 10 == 0) text += std::to_string(random()) + std::to_string(random() % 100000);
        if (trial % 10 == 1) text = std::string(random() % 2 ? "-" : "").append(std::to_string(2147483640u + random() % 16));
        if (trial % 10 == 2)
            text = std::string(&"-0x"[random() % 4])
                       .append(std::to_string(4294967290u + random() % 12));  // -0x, 0x, x or nothing before about 2^32
        const int base = std::vector<int>{0, 2, 8, 10, 16, 36}[random() % 6];
        SCOPED_TRACE(testing::Message() << '"' << text << "\" base " << base);
        char *hostEnd = nullptr, *end = nullptr;
        errno = 0;
        long long wide = std::strtoll(text.c_str(), &hostEnd, base);
        if (const std::size_t zero = bareHexPrefix(text, base); zero != std::string::npos) wide = 0, hostEnd = text.data() + zero + 1;
        const bool huge = errno == ERANGE;
        const long long narrow = std::clamp<long long>(wide, INT32_MIN, INT32_MAX);
        vutil::test::expectFacts({FACT(KorStrToL(text.c_str(), &end, base), narrow), FACT(end, hostEnd)});
        const unsigned long long magnitude = wide < 0 ? 0ull - static_cast<unsigned long long>(wide) : wide;
        const uint32_t wrapped = huge || magnitude > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(wide < 0 ? 0u - magnitude : magnitude);
        vutil::test::expectFacts({FACT(KorStrToUL(text.c_str(), &end, base), wrapped), FACT(end, hostEnd)});
        EXPECT_TRUE(base != 10 || (KOR_atoi(text.c_str()) == narrow && KOR_atol(text.c_str()) == narrow));
    }
}

TEST(Numbers, BadBasesNullTextAndReals) {
    const char *text = "012";  // base 1 would take the 0
    for (int base : {1, 37, -1}) {
        char *end = nullptr;
        EXPECT_TRUE(KorStrToL(text, &end, base) == 0 && end == text) << base;
    }
    EXPECT_TRUE(KorStrToL("5", nullptr, 10) == 5 && KorStrToL(nullptr, nullptr, 10) == 0 && KorStrToUL("-2", nullptr, 10) == UINT32_MAX - 1);
    EXPECT_TRUE(KOR_atoi(nullptr) == 0 && KOR_atof(nullptr) == 0.0);  // reals' texts: see the next test
}

// Reals as a drawing file writes them (shortest, 17 and 20 digits, fixed, with exponents, subnormal,
// out of range) and texts strtod takes its own way (hexadecimal, infinities, blanks, odd signs),
// against the host's strtod bit for bit, in each rounding mode.
TEST(Numbers, RealsAreTheHostsBitForBit) {
    std::mt19937_64 rng(20);
    std::vector<std::string> texts = {"0", "-0", "+0", "0.0", "-0.0", ".5", "5.", "-.5", "+.5", "1e", "1e+",
                                      "1e-", "1E5", "+1e-5", "+-1", "-+1", "--1", "++1", ".", "-.", ".e5", "e5",
                                      "0x1p3", "-0X10", "0x", "inf", "-Infinity", "nan", "nan(1)", " 7.5",
                                      "\t-7.5", "7.5 ", "1e400", "-1e400", "1e-400", "4.9e-324", "2.2250738585072011e-308",
                                      "2.2250738585072014e-308", "1.7976931348623157e308", "1.7976931348623159e308",
                                      "9007199254740993", "0.1000000000000000055511151231257827", "123456789012345678901234567890",
                                      "0.000000000000000000000000000000000000001", "1_000", "3,25", "12abc", ""};
    char buffer[64];
    for (int i = 0; i < 3000; ++i) {
        uint64_t bits = rng();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) continue;
        int exponent = 0;  // the same digits at a size a drawing has
        const double scaled = std::ldexp(std::fabs(std::frexp(value, &exponent)), static_cast<int>(rng() % 40) - 20);
        for (const char *format : {"%.17g", "%.20g", "%.15g", "%g", "%.12f", "%.3e"}) {
            std::snprintf(buffer, sizeof buffer, format, i % 2 == 0 ? value : (i % 4 == 1 ? scaled : -scaled));
            texts.emplace_back(buffer);
        }
    }
    for (const int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
        ASSERT_EQ(std::fesetround(mode), 0);
        for (const std::string &text : texts) {
            const double expected = std::strtod(text.c_str(), nullptr), got = KOR_atof(text.c_str());
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << "\"" << text << "\" in mode " << mode << ": " << got;
        }
    }
    std::fesetround(FE_TONEAREST);
}

}  // namespace
