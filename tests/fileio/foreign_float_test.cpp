// Tests of the VAX F and D conversions, DEC integers and the ecvt/fcvt/gcvt texts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "vutil/fileio.h"

namespace vutil::test {
namespace {

template <std::size_t N>
std::array<uint8_t, N> bytesOf(std::initializer_list<int> values) {
    std::array<uint8_t, N> out{};
    std::size_t i = 0;
    for (int v : values) {
        out[i++] = static_cast<uint8_t>(v);
    }
    return out;
}

std::array<uint8_t, 4> floatBytes(float value) {
    std::array<uint8_t, 4> out;
    std::memcpy(out.data(), &value, 4);
    return out;
}

TEST(VaxF, OneAndMinusHalfConvertBothWays) {
    auto vaxOne = bytesOf<4>({0x80, 0x40, 0x00, 0x00});
    std::array<uint8_t, 4> ieee;
    ieee.fill(0xEE);
    EXPECT_EQ(_xdr_float_to_ieee(vaxOne.data(), ieee.data()), 1);
    EXPECT_EQ(ieee, bytesOf<4>({0x00, 0x00, 0x80, 0x3F}));
    std::array<uint8_t, 4> back;
    EXPECT_EQ(_xdr_ieee_to_float(back.data(), ieee.data()), 1);
    EXPECT_EQ(back, vaxOne);

    auto vaxMinusHalf = bytesOf<4>({0x00, 0xC0, 0x00, 0x00});
    EXPECT_EQ(_xdr_float_to_ieee(vaxMinusHalf.data(), ieee.data()), 1);
    EXPECT_EQ(ieee, floatBytes(-0.5f));
}

TEST(VaxF, ExponentsTooSmallForANormalSingleGiveZero) {
    std::array<uint8_t, 4> ieee;
    for (int exponent : {1, 2}) {
        ieee.fill(0xEE);
        auto vax = bytesOf<4>({(exponent << 7) & 0xFF, exponent >> 1, 0x34, 0x12});
        EXPECT_EQ(_xdr_float_to_ieee(vax.data(), ieee.data()), 0) << exponent;
        EXPECT_EQ(ieee, bytesOf<4>({0, 0, 0, 0}));
    }
    // A VAX zero of either sign is +0.0.
    auto negativeZero = bytesOf<4>({0x00, 0x80, 0x55, 0x55});
    EXPECT_EQ(_xdr_float_to_ieee(negativeZero.data(), ieee.data()), 1);
    EXPECT_EQ(ieee, bytesOf<4>({0, 0, 0, 0}));
}

TEST(VaxF, SinglesTooLargeForFAreRefused) {
    std::array<uint8_t, 4> vax;
    for (float value : {std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                        std::numeric_limits<float>::max(), -std::ldexp(1.0f, 127)}) {
        vax.fill(0xEE);
        auto ieee = floatBytes(value);
        EXPECT_EQ(_xdr_ieee_to_float(vax.data(), ieee.data()), 0) << value;
        EXPECT_EQ(vax, bytesOf<4>({0, 0, 0, 0}));
    }
    auto ieee = floatBytes(std::ldexp(1.0f, 126));
    EXPECT_EQ(_xdr_ieee_to_float(vax.data(), ieee.data()), 1);
    // -0.0 is not all zero bits: it becomes a tiny non-zero F value with exponent 2.
    ieee = floatBytes(-0.0f);
    EXPECT_EQ(_xdr_ieee_to_float(vax.data(), ieee.data()), 1);
    EXPECT_EQ(vax, bytesOf<4>({0x00, 0x81, 0, 0}));
}

TEST(VaxF, EveryNormalSingleInRangeRoundTrips) {
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        uint32_t bits = random();
        uint32_t exponent = bits >> 23 & 0xFF;
        if (exponent == 0 || exponent >= 254) {
            continue;
        }
        std::array<uint8_t, 4> ieee, vax, back;
        std::memcpy(ieee.data(), &bits, 4);
        ASSERT_EQ(_xdr_ieee_to_float(vax.data(), ieee.data()), 1);
        ASSERT_EQ(_xdr_float_to_ieee(vax.data(), back.data()), 1);
        ASSERT_EQ(back, ieee) << std::hex << bits;
    }
}

TEST(VaxD, OneConvertsAndLowBitsAreDropped) {
    auto vaxOne = bytesOf<8>({0x80, 0x40, 0, 0, 0, 0, 0, 0});
    std::array<uint8_t, 8> ieee;
    EXPECT_EQ(_xdr_double_to_ieee(vaxOne.data(), ieee.data()), 1);
    EXPECT_EQ(ieee, bytesOf<8>({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
    EXPECT_EQ(conv_d_dec(vaxOne.data()), 1.0);

    auto lowBits = bytesOf<8>({0x80, 0x40, 0, 0, 0, 0, 0x07, 0x00});
    EXPECT_EQ(_xdr_double_to_ieee(lowBits.data(), ieee.data()), 1);
    std::array<uint8_t, 8> back;
    EXPECT_EQ(_xdr_ieee_to_double(back.data(), ieee.data()), 1);
    EXPECT_EQ(back, vaxOne);

    auto zero = bytesOf<8>({0x00, 0x80, 1, 2, 3, 4, 5, 6});
    EXPECT_EQ(conv_d_dec(zero.data()), 0.0);
    EXPECT_FALSE(std::signbit(conv_d_dec(zero.data())));
}

TEST(VaxD, RangeOfTheReverseConversion) {
    std::array<uint8_t, 8> vax;
    auto convert = [&](double value) {
        vax.fill(0xEE);
        return _xdr_ieee_to_double(vax.data(), &value);
    };
    EXPECT_EQ(convert(std::ldexp(1.0, 127)), 0);
    EXPECT_EQ(convert(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(convert(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(convert(std::nextafter(std::ldexp(1.0, 127), 0.0)), 1);
    EXPECT_EQ(convert(std::ldexp(1.0, -128)), 1);
    EXPECT_NE(vax, bytesOf<8>({0, 0, 0, 0, 0, 0, 0, 0}));
    // Below the D range the value flushes to a true VAX zero.
    for (double tiny : {std::ldexp(1.0, -129), -1e-300, std::numeric_limits<double>::denorm_min(), -0.0}) {
        EXPECT_EQ(convert(tiny), 1) << tiny;
        EXPECT_EQ(vax, bytesOf<8>({0, 0, 0, 0, 0, 0, 0, 0})) << tiny;
    }
}

TEST(VaxD, EveryDoubleInRangeRoundTrips) {
    std::mt19937_64 random(11);
    for (int i = 0; i < 20000; ++i) {
        uint64_t bits = random();
        uint64_t exponent = bits >> 52 & 0x7FF;
        if (exponent < 895 || exponent > 1149) {
            continue;
        }
        std::array<uint8_t, 8> ieee, vax, back;
        std::memcpy(ieee.data(), &bits, 8);
        ASSERT_EQ(_xdr_ieee_to_double(vax.data(), ieee.data()), 1);
        ASSERT_EQ(_xdr_double_to_ieee(vax.data(), back.data()), 1);
        ASSERT_EQ(back, ieee);
    }
}

TEST(DecLong, HalvesAreExchanged) {
    uint32_t value;
    const uint8_t in[4] = {1, 2, 3, 4};
    std::memcpy(&value, in, 4);
    uint32_t swapped = conv_dec_long(value);
    uint8_t out[4];
    std::memcpy(out, &swapped, 4);
    EXPECT_EQ(out[0], 3);
    EXPECT_EQ(out[1], 4);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(out[3], 2);
}

struct DigitCase {
    double value;
    int32_t count;
    const char *digits;
    int32_t decpt;
    int32_t sign;
};

TEST(Ecvt, SignificantDigits) {
    const DigitCase cases[] = {
        {1.2, 5, "12000", 1, 0},
        {-123.456, 4, "1235", 3, 1},
        {9.99, 2, "10", 2, 0},
        {0.001234, 2, "12", -2, 0},
        {0.0, 3, "000", 0, 0},
        {-0.0, 3, "000", 0, 0},
        {0.1, 30, "100000000000000005551115123126", 0, 0},
        {123.0, 0, "", 3, 0},
        {1e300, 3, "000", 0, 0},  // outside the D range
        {1e-300, 3, "000", 0, 0},
    };
    for (const DigitCase &c : cases) {
        SCOPED_TRACE(c.value);
        int32_t decpt = 99, sign = 99;
        const char *text = KORecvt(c.value, c.count, &decpt, &sign);
        EXPECT_STREQ(text, c.digits);
        EXPECT_EQ(decpt, c.decpt);
        EXPECT_EQ(sign, c.sign);
    }
}

TEST(Ecvt, HugeCountsStopAtTheAreaSize) {
    int32_t decpt = 0, sign = 0;
    const char *text = KORecvt(1.0, 100000, &decpt, &sign);
    EXPECT_EQ(std::strlen(text), 348u);
    EXPECT_EQ(text[0], '1');
    EXPECT_EQ(text[347], '0');
    EXPECT_EQ(decpt, 1);
    // The area is reused by the next call.
    const char *again = KORecvt(2.0, 1, &decpt, &sign);
    EXPECT_EQ(again, text);
    EXPECT_STREQ(again, "2");
}

TEST(Fcvt, DigitsAfterThePoint) {
    const DigitCase cases[] = {
        {3.1415926535, 7, "31415927", 1, 0},
        {-1234.5678, 2, "123457", 4, 1},
        {0.012, 3, "12", -1, 0},
        {0.0001, 2, "00", 0, 0},
        {0.0, 4, "0000", 0, 0},
        {99.96, 1, "1000", 3, 0},
        {7.0, -3, "7", 1, 0},
    };
    for (const DigitCase &c : cases) {
        SCOPED_TRACE(c.value);
        int32_t decpt = 99, sign = 99;
        const char *text = KORfcvt(c.value, c.count, &decpt, &sign);
        EXPECT_STREQ(text, c.digits);
        EXPECT_EQ(decpt, c.decpt);
        EXPECT_EQ(sign, c.sign);
    }
    int32_t decpt = 0, sign = 0;
    EXPECT_EQ(std::strlen(KORfcvt(12345.0, 100000, &decpt, &sign)), 348u);
    EXPECT_EQ(decpt, 5);
}

TEST(Gcvt, FixedAndExponentForms) {
    struct Case {
        double value;
        int32_t digits;
        const char *text;
    };
    const Case cases[] = {
        {-1234567890.123, 12, "-1234567890.12"},
        {-12345678901.23, 12, "-12345678901.2"},
        {-123456789012.3, 12, "-123456789012."},
        {-1234567890123.0, 12, "-1.23456789012e+012"},
        {-12.34567890123, 12, "-12.3456789012"},
        {-1.234567890123, 12, "-1.23456789012"},
        {-0.1234567890123, 12, "-0.123456789012"},
        {-0.01234567890123, 12, "-1.23456789012e-002"},
        {-3.1415e5, 7, "-314150."},
        {0.0, 5, "0."},
        {1e5, 3, "1.e+005"},
        {999.0, 3, "999."},
        {999.5, 3, "1.e+003"},
        {0.5, 3, "0.5"},
        {0.01, 3, "1.e-002"},
        {1.0, 1, "1."},
        {1.5e38, 3, "1.5e+038"},
        {1e300, 6, "0."},
    };
    for (const Case &c : cases) {
        char text[400];
        EXPECT_EQ(KORgcvt(c.value, c.digits, text), text);
        EXPECT_STREQ(text, c.text) << c.value;
    }
}

TEST(Gcvt, CountsOutsideTheUsefulRange) {
    char text[400];
    std::memset(text, 'x', sizeof text);
    EXPECT_STREQ(KORgcvt(1.5, 0, text), "");
    EXPECT_STREQ(KORgcvt(1.5, -4, text), "");
    KORgcvt(-1.0 / 3.0, 100000, text);
    EXPECT_LT(std::strlen(text), 349u);
    EXPECT_EQ(std::string(text, 4), "-0.3");
    EXPECT_EQ(KORgcvt(1.0, 3, nullptr), nullptr);
}

}  // namespace
}  // namespace vutil::test
