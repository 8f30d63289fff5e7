// Number text conversion with 32-bit results on every host.
#include "runtime/numbers.h"

#include <cctype>
#include <cfenv>
#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace vutil::runtime {
namespace {

constexpr uint64_t kCap = uint64_t{0xFFFFFFFF} + 1;  // any value above the 32-bit range

int digitValue(unsigned char c) noexcept {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'Z') {
        return c - 'A' + 10;
    }
    return 99;
}

bool isHexPrefix(const char *p) noexcept {
    return p[0] == '0' && (p[1] == 'x' || p[1] == 'X') && digitValue(static_cast<unsigned char>(p[2])) < 16;
}

}  // namespace

ScannedInteger scanInteger(const char *text, int base) noexcept {
    ScannedInteger scan;
    scan.end = text;
    if (text == nullptr || base < 0 || base == 1 || base > 36) {
        return scan;
    }
    const char *p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) {
        ++p;
    }
    if (*p == '+' || *p == '-') {
        scan.negative = *p == '-';
        ++p;
    }
    if ((base == 0 || base == 16) && isHexPrefix(p)) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = (*p == '0') ? 8 : 10;
    }
    const char *digits = p;
    uint64_t value = 0;
    while (true) {
        int digit = digitValue(static_cast<unsigned char>(*p));
        if (digit >= base) {
            break;
        }
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value >= kCap) {
            value = kCap;
            scan.overflow = true;
        }
        ++p;
    }
    if (p == digits) {
        scan.negative = false;
        return scan;  // no digits: nothing was converted
    }
    scan.magnitude = value;
    scan.end = p;
    return scan;
}

int32_t toInt32(const ScannedInteger &scan) noexcept {
    if (scan.negative) {
        return scan.magnitude >= uint64_t{0x80000000} ? INT32_MIN : -static_cast<int32_t>(scan.magnitude);
    }
    return scan.magnitude > uint64_t{INT32_MAX} ? INT32_MAX : static_cast<int32_t>(scan.magnitude);
}

uint32_t toUint32(const ScannedInteger &scan) noexcept {
    if (scan.overflow) {
        return UINT32_MAX;
    }
    auto value = static_cast<uint32_t>(scan.magnitude);
    return scan.negative ? 0u - value : value;
}

int32_t decimalToInt32(const char *text) noexcept { return toInt32(scanInteger(text, 10)); }

double decimalToDouble(const char *text) noexcept {
    if (text == nullptr) {
        return 0.0;
    }
    // Plain decimals (a sign, digits, a point, an exponent) go through from_chars, which rounds
    // them as strtod does, correctly, in a fraction of its time. That holds while strtod's
    // decimal point is '.' and rounding is to nearest; anything else is strtod's own: blanks,
    // hexadecimal, infinities and NaNs, numbers out of range.
    const char *p = text + (*text == '+' ? 1 : 0);
    const char *digits = p + (*p == '-' ? 1 : 0);
    const bool plain = (*digits >= '0' && *digits <= '9' && !(digits[0] == '0' && (digits[1] | 0x20) == 'x')) ||
                       (*digits == '.' && digits[1] >= '0' && digits[1] <= '9');
    if (plain && !(p != text && *p == '-') && std::fegetround() == FE_TONEAREST) {
        const char *point = std::localeconv()->decimal_point;
        if (point[0] == '.' && point[1] == '\0') {
            double value = 0;
            const auto [end, error] = std::from_chars(p, p + std::strlen(p), value);
            if (error == std::errc() && end != p) {
                return value;
            }
        }
    }
    return std::strtod(text, nullptr);
}

}  // namespace vutil::runtime
