// Tests of number text conversion: the C runtime's rules, with results saturated or wrapped to 32 bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
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
        if (trial % 10 == 2) text = std::string(random() % 2 ? "-0x" : "0x").append(std::to_string(4294967290u + random() % 12));
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
    const char *text = "12";
    for (int base : {1, 37, -1}) {
        char *end = nullptr;
        EXPECT_TRUE(KorStrToL(text, &end, base) == 0 && end == text) << base;
    }
    EXPECT_TRUE(KorStrToL("5", nullptr, 10) == 5 && KorStrToL(nullptr, nullptr, 10) == 0 && KorStrToUL("-2", nullptr, 10) == UINT32_MAX - 1);
    EXPECT_TRUE(KOR_atoi(nullptr) == 0 && KOR_atof("1.5e3xyz") == 1500.0 && KOR_atof("  -0.25") == -0.25);
    EXPECT_TRUE(KOR_atof("abc") == 0.0 && KOR_atof(nullptr) == 0.0);
}

}  // namespace
