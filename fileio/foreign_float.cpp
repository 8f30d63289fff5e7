// VAX F and D floating-point values, DEC 32-bit integers, and the ecvt/fcvt/gcvt digit conversions.
#include "fileio/foreign_float.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vutil::fileio {
namespace {

// Both formats are read as 16-bit words stored least significant byte first.
uint16_t word(const uint8_t *bytes, std::size_t index) noexcept {
    return static_cast<uint16_t>(bytes[2 * index] | bytes[2 * index + 1] << 8);
}

void putWord(uint8_t *bytes, std::size_t index, uint32_t value) noexcept {
    bytes[2 * index] = static_cast<uint8_t>(value);
    bytes[2 * index + 1] = static_cast<uint8_t>(value >> 8);
}

uint64_t loadDouble(const uint8_t ieee[8]) noexcept {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = bits << 8 | ieee[i];
    }
    return bits;
}

void storeDouble(uint8_t ieee[8], uint64_t bits) noexcept {
    for (int i = 0; i < 8; ++i) {
        ieee[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

constexpr int kVaxToIeeeDoubleBias = 894;

/// "%.*e" or "%.*f" of a finite value into a string of its exact length.
std::string format(const char *pattern, int precision, double value) {
    int length = std::snprintf(nullptr, 0, pattern, precision, value);
    std::string text(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    std::snprintf(text.data(), text.size() + 1, pattern, precision, value);
    return text;
}

void dropTrailingZeros(std::string &digits) {
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
}

}  // namespace

bool vaxFToIeee(const uint8_t vax[4], uint8_t ieee[4]) noexcept {
    std::memset(ieee, 0, 4);
    uint16_t high = word(vax, 0);
    uint32_t exponent = (high >> 7) & 0xFF;
    if (exponent == 0) {
        return true;  // a VAX zero of either sign
    }
    if (exponent <= 2) {
        return false;  // below the smallest normal single
    }
    putWord(ieee, 1, (high & 0x807Fu) | (exponent - 2) << 7);
    putWord(ieee, 0, word(vax, 1));
    return true;
}

bool ieeeToVaxF(uint8_t vax[4], const uint8_t ieee[4]) noexcept {
    std::memset(vax, 0, 4);
    uint16_t high = word(ieee, 1);
    uint16_t low = word(ieee, 0);
    if (high == 0 && low == 0) {
        return true;
    }
    uint32_t exponent = (high >> 7) & 0xFF;
    if (exponent >= 254) {
        return false;  // beyond the F range, infinities and NaN
    }
    putWord(vax, 0, (high & 0x807Fu) | (exponent + 2) << 7);
    putWord(vax, 1, low);
    return true;
}

bool vaxDToIeee(const uint8_t vax[8], uint8_t ieee[8]) noexcept {
    std::memset(ieee, 0, 8);
    uint16_t high = word(vax, 0);
    uint64_t exponent = (high >> 7) & 0xFF;
    if (exponent == 0) {
        return true;
    }
    uint64_t fraction =
        uint64_t{high & 0x7Fu} << 48 | uint64_t{word(vax, 1)} << 32 | uint64_t{word(vax, 2)} << 16 | word(vax, 3);
    uint64_t sign = high >> 15;
    storeDouble(ieee, sign << 63 | (exponent + kVaxToIeeeDoubleBias) << 52 | fraction >> 3);
    return true;
}

bool ieeeToVaxD(uint8_t vax[8], const uint8_t ieee[8]) noexcept {
    std::memset(vax, 0, 8);
    uint64_t bits = loadDouble(ieee);
    if (bits == 0) {
        return true;
    }
    int64_t exponent = static_cast<int64_t>((bits >> 52) & 0x7FF) - kVaxToIeeeDoubleBias;
    if (exponent > 255) {
        return false;
    }
    if (exponent <= 0) {
        // Below the D range (denormals and -0.0 among them): D has no smaller
        // value and no negative zero, so the value flushes to zero.
        return true;
    }
    uint64_t fraction = (bits & ((uint64_t{1} << 52) - 1)) << 3;
    uint32_t sign = static_cast<uint32_t>(bits >> 63);
    putWord(vax, 0, sign << 15 | static_cast<uint32_t>(exponent) << 7 | static_cast<uint32_t>(fraction >> 48 & 0x7F));
    putWord(vax, 1, static_cast<uint32_t>(fraction >> 32 & 0xFFFF));
    putWord(vax, 2, static_cast<uint32_t>(fraction >> 16 & 0xFFFF));
    putWord(vax, 3, static_cast<uint32_t>(fraction & 0xFFFF));
    return true;
}

double throughVaxD(double value) noexcept {
    uint8_t ieee[8];
    uint8_t vax[8];
    std::memcpy(ieee, &value, 8);
    ieeeToVaxD(vax, ieee);
    vaxDToIeee(vax, ieee);
    double result;
    std::memcpy(&result, ieee, 8);
    return result;
}

uint32_t swapHalves(uint32_t value) noexcept {
    return value << 16 | value >> 16;
}

DigitText significantDigits(double value, int32_t count) {
    DigitText result;
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    result.negative = std::signbit(value) ? 1 : 0;
    value = std::fabs(value);
    if (count > kMaxConversionDigits) {
        count = kMaxConversionDigits;
    }
    if (value == 0.0) {
        result.digits.assign(static_cast<std::size_t>(count > 0 ? count : 0), '0');
        return result;
    }
    // "%.*e" rounds the exact binary value to the digits asked for.
    std::string text = format("%.*e", count > 1 ? count - 1 : 0, value);
    std::size_t e = text.find('e');
    result.decimalPoint = std::atoi(text.c_str() + e + 1) + 1;
    if (count > 0) {
        result.digits.push_back(text[0]);
        if (count > 1) {
            result.digits.append(text, 2, e - 2);
        }
    }
    return result;
}

DigitText fixedDigits(double value, int32_t count) {
    DigitText result;
    if (!std::isfinite(value)) {
        value = 0.0;
    }
    result.negative = std::signbit(value) ? 1 : 0;
    value = std::fabs(value);
    if (count < 0) {
        count = 0;
    }
    if (count > kMaxConversionDigits) {
        count = kMaxConversionDigits;
    }
    for (;;) {
        std::string text = format("%.*f", count, value);
        std::size_t point = text.find('.');
        std::string whole = text.substr(0, point);
        std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
        if (whole != "0") {
            result.digits = whole + fraction;
            result.decimalPoint = static_cast<int32_t>(whole.size());
        } else {
            std::size_t zeros = fraction.find_first_not_of('0');
            if (zeros == std::string::npos) {
                // The value rounds to zero at this many places.
                result.digits.assign(static_cast<std::size_t>(count), '0');
                result.decimalPoint = 0;
                return result;
            }
            result.digits = fraction.substr(zeros);
            result.decimalPoint = -static_cast<int32_t>(zeros);
        }
        auto excess = static_cast<int32_t>(result.digits.size()) - kMaxConversionDigits;
        if (excess <= 0 || count == 0) {
            return result;
        }
        count = count > excess ? count - excess : 0;
    }
}

std::string generalText(double value, int32_t count) {
    constexpr int32_t kMaxGeneralDigits = 340;
    if (count < 1) {
        return {};
    }
    if (count > kMaxGeneralDigits) {
        count = kMaxGeneralDigits;
    }
    DigitText digits = significantDigits(value, count);
    std::string text = digits.negative ? "-" : "";
    int32_t exponent = digits.decimalPoint - 1;
    if (exponent < -1 || exponent > count - 1) {
        std::string rest = digits.digits.substr(1);
        dropTrailingZeros(rest);
        char tail[16];
        std::snprintf(tail, sizeof tail, "e%c%03d", exponent < 0 ? '-' : '+', exponent < 0 ? -exponent : exponent);
        text += digits.digits[0];
        text += '.';
        text += rest;
        text += tail;
    } else if (digits.decimalPoint <= 0) {
        std::string rest = digits.digits;
        dropTrailingZeros(rest);
        text += "0.";
        text += rest;
    } else {
        auto point = static_cast<std::size_t>(digits.decimalPoint);
        std::string rest = digits.digits.substr(point);
        dropTrailingZeros(rest);
        text.append(digits.digits, 0, point);
        text += '.';
        text += rest;
    }
    return text;
}

}  // namespace vutil::fileio
