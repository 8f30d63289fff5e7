// Sine and cosine of the library: reduction into one turn and series near the quarter turns.
#include "runtime/trig.h"

#include <cmath>
#include <cstdint>

namespace vutil::runtime {
namespace {

// Repeats a = a - kTwoPi while a >= kTwoPi, with the same rounding at every step.
//
// Within one binade [2^(e-1), 2^e) every double is a multiple of the binade's
// unit u, so as long as a step's exact result stays in the binade it is
// rounded to that grid: the step subtracts kTwoPi rounded to a multiple of u,
// the same amount every time. A run of such steps is done at once in integer
// units of u. Steps that leave the binade, and the small binades below 128
// (one of which rounds kTwoPi to a tie), are done one at a time.
double subtractTurns(double a) noexcept {
    while (a >= kTwoPi) {
        int exponent = 0;
        std::frexp(a, &exponent);  // a lies in [2^(exponent-1), 2^exponent)
        if (exponent <= 7) {
            a -= kTwoPi;
            continue;
        }
        const double unit = std::ldexp(1.0, exponent - 53);
        const auto step = static_cast<int64_t>(std::nearbyint(kTwoPi / unit));
        if (step == 0) {
            // kTwoPi rounds away entirely: subtraction would never end.
            return std::fmod(a, kTwoPi);
        }
        const auto units = static_cast<int64_t>(a / unit);
        const int64_t floor = int64_t{1} << 52;  // 2^(exponent-1) in units
        // Step i keeps an exact result of at least 2^(exponent-1) when
        // units - i*step - (step + 1) >= floor, since kTwoPi < (step + 1) units.
        const int64_t room = units - floor - (step + 1);
        const int64_t runs = room >= 0 ? room / step + 1 : 0;
        if (runs <= 0) {
            a -= kTwoPi;
            continue;
        }
        a = std::ldexp(static_cast<double>(units - runs * step), exponent - 53);
    }
    return a;
}

}  // namespace

double reduceAngle(double a) noexcept {
    if (a >= kTwoPi) {
        return subtractTurns(a);
    }
    if (a < 0) {
        // Adding kTwoPi to a negative a rounds as subtracting it from -a does,
        // with the sign turned: follow -a down, then make the last addition.
        double x = subtractTurns(-a);
        return x > 0 ? kTwoPi - x : 0.0;
    }
    return a;
}

namespace {

enum class Function { Sine, Cosine };

double evaluate(double angle, Function function) noexcept {
    const bool isSine = function == Function::Sine;
    if (std::fabs(angle) > kReductionLimit) {
        return isSine ? std::sin(angle) : std::cos(angle);
    }
    const double a = reduceAngle(angle);
    const double references[] = {0.0, kHalfPi, kPi, kThreeHalfPi, kTwoPi};
    for (int i = 0; i < 5; ++i) {
        const double d = a - references[i];
        if (!(std::fabs(d) < kNearQuarterTurn)) {
            continue;
        }
        const double square = d * d;
        const double linearUp = (1 - square / 6) * d;    // sine near 0
        const double linearDown = (square / 6 - 1) * d;  // sine near pi
        const double cosUp = 1 - square / 2;             // cosine near 0
        const double cosDown = square / 2 - 1;           // cosine near pi
        switch (i) {
        case 0:
        case 4:
            return isSine ? linearUp : cosUp;
        case 1:
            return isSine ? cosUp : linearDown;
        case 2:
            return isSine ? linearDown : cosDown;
        default:
            return isSine ? cosDown : linearUp;
        }
    }
    return isSine ? std::sin(a) : std::cos(a);
}

}  // namespace

double sine(double angle) noexcept { return evaluate(angle, Function::Sine); }

double cosine(double angle) noexcept { return evaluate(angle, Function::Cosine); }

}  // namespace vutil::runtime
