// VAX F and D floating-point values, DEC 32-bit integers, and the ecvt/fcvt/gcvt digit conversions.
#pragma once

#include <cstdint>
#include <string>

namespace vutil::fileio {

/// VAX F (4 bytes as they lie in memory) to an IEEE single; false, with a zero
/// result, for exponents 1 and 2, which have no normal IEEE counterpart.
bool vaxFToIeee(const uint8_t vax[4], uint8_t ieee[4]) noexcept;
/// IEEE single to VAX F; false, with a zero result, for exponent fields 254 and 255.
bool ieeeToVaxF(uint8_t vax[4], const uint8_t ieee[4]) noexcept;
/// VAX D (8 bytes) to an IEEE double; the 3 lowest fraction bits are dropped.
bool vaxDToIeee(const uint8_t vax[8], uint8_t ieee[8]) noexcept;
/// IEEE double to VAX D; false, with a zero result, above the D range (this
/// includes infinities and NaN). Values below the D range become VAX zero.
bool ieeeToVaxD(uint8_t vax[8], const uint8_t ieee[8]) noexcept;
/// The value after a round trip through VAX D: unchanged inside the D range,
/// zero outside it.
double throughVaxD(double value) noexcept;
/// Exchanges the two 16-bit halves of a 32-bit value.
uint32_t swapHalves(uint32_t value) noexcept;

/// Longest digit text that the conversions produce (the C runtime's
/// _CVTBUFSIZE of 349 bytes, terminator included); larger counts are cut to it.
inline constexpr int32_t kMaxConversionDigits = 348;

/// Digits of a conversion and where the decimal point and sign stand.
struct DigitText {
    std::string digits;
    int32_t decimalPoint = 0;  ///< digits before the point; 0 or less: the point is left of the first digit
    int32_t negative = 0;
};

/// `count` significant digits, correctly rounded (the runtime's _ecvt). Zero gives
/// `count` zeros and point position 0; a count below 1 gives no digits.
DigitText significantDigits(double value, int32_t count);
/// Digits up to `count` places after the point (the runtime's _fcvt); a count
/// below 0 counts as 0. A value that rounds to zero gives `count` zeros and position 0.
DigitText fixedDigits(double value, int32_t count);
/// `count` significant digits as text (the runtime's _gcvt): fixed notation when
/// the decimal exponent lies in -1 .. count - 1, else "d.ddde+XXX" with at least
/// three exponent digits; trailing zeros after the point are dropped, the point stays.
/// At most 340 digits are produced, so that the text fits in 349 bytes.
std::string generalText(double value, int32_t count);

}  // namespace vutil::fileio
