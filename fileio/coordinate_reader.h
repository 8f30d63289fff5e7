// Text coordinate readers: one or two numbers from a line of text, or n reals from a text.
#pragma once

#include <cstdint>
#include <span>

namespace vutil::fileio {

/// Characters of a line that the coordinate readers look at; the rest is ignored.
inline constexpr std::size_t kMaxCoordinateLine = 239;

/// Reads up to `values.size()` (1 or 2) reals from a line: skips to the first
/// digit or minus sign, takes the item up to the next separator (tab, CR, LF,
/// '=', ',', ';', space), then looks for the second number inside the next item
/// only. Returns the number of values stored; the others are set to 0.
int32_t readCoordinates(const char *line, std::span<double> values) noexcept;

/// As readCoordinates, with integers read by the atoi rules.
int32_t readIntegerCoordinates(const char *line, std::span<int32_t> values) noexcept;

/// Reads the next real of a text into `destination` and moves `text` past it:
/// skips to the first digit, plus or minus sign, converts by the strtod rules
/// (a sign that starts no number stores 0.0 and does not move). False when the
/// text is null or ends first, or the destination is null.
bool readNextReal(const char *&text, double *destination) noexcept;

/// Reads one real per destination, each from the first digit, plus or minus
/// sign on, by the strtod rules; false as soon as the text ends or a destination
/// is null. Values stored before a failure stay stored.
bool readReals(const char *text, std::span<double *const> destinations) noexcept;

}  // namespace vutil::fileio
