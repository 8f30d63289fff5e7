// Settings as strings, integers and real numbers in initialisation files.
#pragma once

#include <cstdint>
#include <string>

namespace vutil::runtime {

/// Significant digits of the real numbers written to settings files.
inline constexpr int kProfileRealDigits = 3;

/// Formats value by the rules of the C runtime's _gcvt with `digits` significant
/// digits: plain decimal notation when the decimal exponent lies between -1 and
/// digits - 1, else d.ddde+XXX with at least three exponent digits; trailing
/// zeros of the fraction are dropped but the decimal point stays ("1.",
/// "0.125", "1.23e+003", "5.e-002"). Infinities and NaNs come out as "inf", "-inf" and "nan".
std::string gcvt(double value, int digits);

/// Reads a key as a real number: def when the section or key is null, or when
/// the key is absent or empty; otherwise the text read as by atof.
double readProfileReal(const char *section, const char *key, double def, const char *file) noexcept;

/// Writes value to 3 significant digits; nonzero on success.
int32_t writeProfileReal(const char *section, const char *key, double value, const char *file) noexcept;

/// Writes value as decimal text; nonzero on success.
int32_t writeProfileInt(const char *section, const char *key, int32_t value, const char *file) noexcept;

}  // namespace vutil::runtime
