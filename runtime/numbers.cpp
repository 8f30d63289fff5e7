// Number text conversion with 32-bit results on every host.
#include "runtime/numbers.h"

#include <cctype>
#include <cfenv>
#include <cfloat>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <system_error>

#include "platform/codepage.h"

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

/// True when strtod's decimal point is '.', as in the C locale.
bool pointIsDot() noexcept {
    const char *point = platform::decimalPoint();
    return point[0] == '.' && point[1] == '\0';
}

/// The value of a whole text of the form [+-]digits[.digits][e[+-]digits] whose digits make an
/// integer below 2^53 and whose scale is a power of ten up to 10^22: both are exact in a double,
/// so one multiplication or division gives the correctly rounded value, which is strtod's
/// (Clinger's fast path). Nothing for any other text, or when rounding is not to nearest (the
/// compiler may rearrange signs and zeros as only that mode allows). Hosts that compute in
/// extended precision (x87) would round twice, so they never take this path.
std::optional<double> exactDecimal(const char *text) noexcept {
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD == 0
    static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                         1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr uint64_t kExactLimit = uint64_t{1} << 53;
    const char *p = text;
    const bool negative = *p == '-';
    p += (*p == '-' || *p == '+') ? 1 : 0;
    uint64_t mantissa = 0;
    const char *first = p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
        if (mantissa >= kExactLimit) {
            return std::nullopt;
        }
    }
    bool anyDigit = p != first;
    const bool point = *p == '.';
    int scale = 0;
    if (point) {
        first = ++p;
        for (; *p >= '0' && *p <= '9'; ++p) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            if (mantissa >= kExactLimit) {
                return std::nullopt;
            }
        }
        scale = static_cast<int>(first - p);
        anyDigit = anyDigit || p != first;
    }
    if (!anyDigit) {
        return std::nullopt;
    }
    if (*p == 'e' || *p == 'E') {
        ++p;
        const bool negativeExponent = *p == '-';
        p += (*p == '-' || *p == '+') ? 1 : 0;
        int exponent = 0;
        const char *exponentDigits = p;
        while (*p >= '0' && *p <= '9' && p - exponentDigits < 4) {
            exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (p == exponentDigits) {
            return std::nullopt;
        }
        scale += negativeExponent ? -exponent : exponent;
    }
    if (*p != '\0' || (point && !pointIsDot()) || std::fegetround() != FE_TONEAREST) {
        return std::nullopt;
    }
    const double value = negative ? -static_cast<double>(mantissa) : static_cast<double>(mantissa);
    if (mantissa == 0) {
        return value;
    }
    if (scale < -22 || scale > 22) {
        return std::nullopt;
    }
    return scale < 0 ? value / kPowers[-scale] : value * kPowers[scale];
#else
    (void)text;
    return std::nullopt;
#endif
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
    if (const std::optional<double> value = exactDecimal(text)) {
        return *value;
    }
    // Other plain decimals (a sign, digits, a point, an exponent) go through from_chars, which
    // rounds them as strtod does, correctly, in a fraction of its time. That holds while strtod's
    // decimal point is '.' and rounding is to nearest; anything else is strtod's own: blanks,
    // hexadecimal, infinities and NaNs, numbers out of range.
    const char *p = text + (*text == '+' ? 1 : 0);
    const char *digits = p + (*p == '-' ? 1 : 0);
    const bool plain = (*digits >= '0' && *digits <= '9' && !(digits[0] == '0' && (digits[1] | 0x20) == 'x')) ||
                       (*digits == '.' && digits[1] >= '0' && digits[1] <= '9');
    if (plain && !(p != text && *p == '-') && std::fegetround() == FE_TONEAREST && pointIsDot()) {
        double value = 0;
        const auto [end, error] = std::from_chars(p, p + std::strlen(p), value);
        if (error == std::errc() && end != p) {
            return value;
        }
    }
    return std::strtod(text, nullptr);
}

}  // namespace vutil::runtime
