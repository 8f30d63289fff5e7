// Decimal and based text to 32-bit integers and doubles, by the C runtime's rules.
#pragma once

#include <cstdint>

namespace vutil::runtime {

/// What an integer scan of text found, before it is fitted to a result type.
struct ScannedInteger {
    uint64_t magnitude = 0;    ///< the digits' value, capped just above the 32-bit range
    bool negative = false;     ///< a minus sign preceded the digits
    bool overflow = false;     ///< the digits' value exceeds 0xFFFFFFFF
    const char *end = nullptr; ///< first character not used; the text itself when no digits were found
};

/// Scans an integer by the strtol rules: white space, an optional sign, an
/// optional 0x prefix (base 16 or 0), digits of the base. Base 0 lets the
/// prefix decide (0x hexadecimal, 0 octal, else decimal). A base outside 0 and
/// 2..36 scans nothing.
ScannedInteger scanInteger(const char *text, int base) noexcept;

/// strtol fitted to 32 bits: saturates at INT32_MIN and INT32_MAX.
int32_t toInt32(const ScannedInteger &scan) noexcept;
/// strtoul fitted to 32 bits: UINT32_MAX on overflow; a negative value wraps.
uint32_t toUint32(const ScannedInteger &scan) noexcept;

/// atoi and atol: decimal, saturating at the 32-bit limits; 0 for null or no digits.
int32_t decimalToInt32(const char *text) noexcept;
/// atof: strtod rules in the current locale; 0.0 for null.
double decimalToDouble(const char *text) noexcept;

}  // namespace vutil::runtime
