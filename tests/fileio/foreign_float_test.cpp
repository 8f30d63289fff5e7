// Tests of the VAX F and D conversions against the formats' definitions, DEC integers and the
// ecvt/fcvt/gcvt texts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/facts.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

template <typename T> T as(const void *bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

/// The value of VAX bytes by the format's definition: 16-bit words, least significant byte
/// first; sign, 8-bit exponent biased by 128 and a hidden leading 1 just after the binary point.
/// A D value's three lowest fraction bits have no room in a double and are dropped.
double vaxValue(const uint8_t *vax, int words) {
    auto word = [&](int i) { return static_cast<uint64_t>(vax[2 * i] | vax[2 * i + 1] << 8); };
    const int exponent = static_cast<int>(word(0) >> 7 & 0xFF);
    uint64_t fraction = word(0) & 0x7F;
    for (int i = 1; i < words; ++i) fraction = fraction << 16 | word(i);
    const int bits = 7 + 16 * (words - 1);
    uint64_t mantissa = (uint64_t{1} << bits | fraction) >> (words == 4 ? 3 : 0);
    double magnitude = std::ldexp(static_cast<double>(mantissa), exponent - 128 - (bits + 1 - (words == 4 ? 3 : 0)));
    return exponent == 0 ? 0.0 : (word(0) & 0x8000 ? -magnitude : magnitude);
}

// Random bit patterns of every exponent, taken as VAX values, convert to the value they stand for
// (those an IEEE single cannot hold as a normal number give zero and a failure) and back; taken
// as IEEE values, they convert to VAX bytes of the same value, those beyond the F range failing.
// No conversion writes past its four bytes.
TEST(VaxF, ConvertsToItsValueAndBack) {
    std::mt19937 random(7);
    for (int i = 0; i < 40000; ++i) {
        std::array<uint8_t, 8> bits, ieee, vax;
        const uint32_t pattern = static_cast<uint32_t>(random());
        std::memcpy(bits.data(), &pattern, 4);
        const int exponent = static_cast<int>(pattern >> 7 & 0xFF), ieeeExponent = static_cast<int>(pattern >> 23 & 0xFF);
        ieee.fill(0xEE);
        vax.fill(0xEE);
        const int32_t ok = _xdr_float_to_ieee(bits.data(), ieee.data());
        ASSERT_EQ(ok, exponent == 1 || exponent == 2 ? 0 : 1) << std::hex << pattern;
        const float expected = ok ? static_cast<float>(vaxValue(bits.data(), 2)) : 0.0f;
        ASSERT_EQ(as<uint32_t>(ieee.data()), as<uint32_t>(&expected)) << std::hex << pattern;
        ASSERT_EQ(_xdr_ieee_to_float(vax.data(), bits.data()), ieeeExponent >= 254 ? 0 : 1) << std::hex << pattern;
        if (ieeeExponent >= 254) {
            ASSERT_EQ(as<uint32_t>(vax.data()), 0u);
        } else if (ieeeExponent > 0) {
            ASSERT_EQ(vaxValue(vax.data(), 2), as<float>(bits.data())) << std::hex << pattern;
        }
        ASSERT_TRUE(ieee[4] == 0xEE && vax[4] == 0xEE);
    }
    std::array<uint8_t, 4> vax;
    for (float value : {0.0f, -0.0f}) {
        vax.fill(0xEE);
        EXPECT_EQ(_xdr_ieee_to_float(vax.data(), &value), 1) << value;
        // -0.0 is not all zero bits: it becomes a tiny non-zero F value with exponent 2.
        EXPECT_EQ(as<uint32_t>(vax.data()), std::signbit(value) ? 0x8100u : 0u);
    }
}

TEST(VaxD, ConvertsToItsValueAndBack) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 40000; ++i) {
        std::array<uint8_t, 9> vax, ieee, back;
        uint64_t bits = random();
        std::memcpy(vax.data(), &bits, 8);
        ieee.fill(0xEE);
        back.fill(0xEE);
        ASSERT_EQ(_xdr_double_to_ieee(vax.data(), ieee.data()), 1);
        const double expected = vaxValue(vax.data(), 4);
        ASSERT_EQ(as<uint64_t>(ieee.data()), as<uint64_t>(&expected)) << std::hex << bits;
        ASSERT_EQ(conv_d_dec(vax.data()), expected);
        if (vax[1] & 0x7F || vax[0] & 0x80) {
            // Back to VAX: the same bits, less the three that were dropped.
            ASSERT_EQ(_xdr_ieee_to_double(back.data(), ieee.data()), 1);
            vax[6] &= 0xF8;
            ASSERT_EQ(std::memcmp(back.data(), vax.data(), 8), 0);
        }
        ASSERT_TRUE(ieee[8] == 0xEE && back[8] == 0xEE);
    }
    std::array<uint8_t, 8> vax;
    auto convert = [&](double value) {
        vax.fill(0xEE);
        return _xdr_ieee_to_double(vax.data(), &value);
    };
    expectFacts({FACT(convert(std::ldexp(1.0, 127)), 0), FACT(convert(std::numeric_limits<double>::quiet_NaN()), 0),
                 FACT(convert(std::nextafter(std::ldexp(1.0, 127), 0.0)), 1), FACT(convert(std::ldexp(1.0, -128)), 1),
                 FACT(vaxValue(vax.data(), 4), std::ldexp(1.0, -128))});
    // Below the D range the value flushes to a true VAX zero.
    for (double tiny : {std::ldexp(1.0, -129), std::numeric_limits<double>::denorm_min(), -0.0}) {
        EXPECT_EQ(convert(tiny), 1) << tiny;
        EXPECT_EQ(as<uint64_t>(vax.data()), 0u) << tiny;
    }
    EXPECT_EQ(conv_dec_long(0x12345678u), 0x56781234u);
}

TEST(DigitConversions, EcvtFcvtAndGcvt) {
    // ecvt, then fcvt (marked F): digits, point and sign. 1e300 lies outside the D range.
    for (const auto &[function, value, count, digits, point, negative] :
         std::vector<std::tuple<char, double, int32_t, const char *, int32_t, int32_t>>{
             {'E', -123.456, 4, "1235", 3, 1}, {'E', 9.99, 2, "10", 2, 0}, {'E', 0.001234, 2, "12", -2, 0},
             {'E', -0.0, 3, "000", 0, 0},      {'E', 123.0, 0, "", 3, 0},  {'E', 1e300, 3, "000", 0, 0},
             {'E', 0.1, 30, "100000000000000005551115123126", 0, 0},       {'F', -1234.5678, 2, "123457", 4, 1},
             {'F', 0.012, 3, "12", -1, 0},     {'F', 0.0001, 2, "00", 0, 0}, {'F', 99.96, 1, "1000", 3, 0},
             {'F', 7.0, -3, "7", 1, 0}}) {
        SCOPED_TRACE(testing::Message() << function << "cvt " << value << " " << count);
        int32_t decpt = 99, sign = 99;
        EXPECT_STREQ((function == 'F' ? KORfcvt : KORecvt)(value, count, &decpt, &sign), digits);
        expectFacts({FACT(decpt, point), FACT(sign, negative)});
    }
    // Huge counts stop at the area's size; each function's area is reused by its next call.
    int32_t decpt = 0, sign = 0;
    const char *area = KORecvt(1.0, 100000, &decpt, &sign);
    EXPECT_EQ(std::string(area), "1" + std::string(347, '0'));
    expectFacts({FACT(KORecvt(2.0, 1, &decpt, &sign), area),
                 FACT(std::strlen(KORfcvt(12345.0, 100000, &decpt, &sign)), 348u), FACT(decpt, 5)});

    // gcvt: the shorter of the two forms, a three-digit exponent, a point kept.
    char text[400];
    for (const auto &[value, count, expected] : std::vector<std::tuple<double, int32_t, const char *>>{
             {-12345678901.23, 12, "-12345678901.2"},       {-123456789012.3, 12, "-123456789012."},
             {-1234567890123.0, 12, "-1.23456789012e+012"}, {-0.1234567890123, 12, "-0.123456789012"},
             {-0.01234567890123, 12, "-1.23456789012e-002"}, {0.0, 5, "0."}, {999.5, 3, "1.e+003"}, {0.5, 3, "0.5"},
             {1.5e38, 3, "1.5e+038"}, {1e300, 6, "0."}, {1.5, 0, ""}}) {
        EXPECT_EQ(KORgcvt(value, count, text), text);
        EXPECT_STREQ(text, expected) << value;
    }
    KORgcvt(-1.0 / 3.0, 100000, text);
    EXPECT_LT(std::strlen(text), 349u);
    EXPECT_EQ(std::string(text, 19), "-0.3333333333333333");
    EXPECT_EQ(KORgcvt(1.0, 3, nullptr), nullptr);
}

}  // namespace
}  // namespace vutil::test
