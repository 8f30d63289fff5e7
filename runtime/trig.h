// Sine and cosine with short series near the quarter turns.
#pragma once

namespace vutil::runtime {

inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kHalfPi = 1.570796326794897;
inline constexpr double kThreeHalfPi = 4.71238898038469;
inline constexpr double kNearQuarterTurn = 0.00174532925199433;  // one tenth of a degree
inline constexpr double kReductionLimit = 1e101;

/// Brings an angle into one turn exactly as repeated subtraction of kTwoPi
/// (while a >= kTwoPi) and then repeated addition (while a < 0) would, but in
/// time bounded by the number of binades instead of the number of turns.
/// Where repeated subtraction would never end (from about 7.2e16 on, kTwoPi
/// vanishes in the rounding), a floating remainder takes over.
double reduceAngle(double angle) noexcept;

double sine(double angle) noexcept;
double cosine(double angle) noexcept;

}  // namespace vutil::runtime
