// Tests of sine and cosine: the series near the quarter turns, the reduction into one turn and its bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

#include "runtime/trig.h"
#include "vutil/runtime.h"

namespace {

using vutil::runtime::reduceAngle;
using vutil::runtime::reduceAngleByTurns;

// Near every quarter turn of several turns, and away from them, both functions and the pair agree with the
// host's to within the series' own truncation (d^4 / 24 at most).
TEST(SinCos, AgreeWithTheHostNearAndAwayFromTheQuarterTurns) {
    const double halfPi = std::acos(0.0);
    for (int turn = -3; turn <= 3; ++turn)
        for (int quarter = 0; quarter < 4; ++quarter)
            for (double d : {0.0, 1e-7, -3e-5, 0.0005, -0.0009, 0.0011, -0.002, 0.3, -0.77}) {
                const double angle = turn * 4 * halfPi + quarter * halfPi + d;
                double sine = 9, cosine = 9;
                KOR_SinCos(angle, &sine, &cosine);
                const double truncation = std::fabs(d) < 0.01 ? d * d * d * d / 20 + 1e-14 : 1e-14;
                EXPECT_TRUE(std::fabs(sine - std::sin(angle)) <= truncation && std::fabs(cosine - std::cos(angle)) <= truncation) << turn << " " << quarter << " " << d;
                EXPECT_TRUE(sine == KOR_Sin(angle) && cosine == KOR_Cos(angle));
            }
    // The series' own values, where the host's differ in the last bits.
    EXPECT_TRUE(KOR_Cos(halfPi) == 4.440892098500626e-16 && KOR_Sin(halfPi) == 1.0 && KOR_Sin(-halfPi) == -1.0);
    EXPECT_EQ(KOR_Cos(1e102), std::cos(1e102));
}

// Angles over many binades, up to about a million, and awkward ones: the reduction into one turn is
// exactly the one repeated subtraction of turns gives; huge angles end in bounded time within one turn.
TEST(Reduction, MatchesRepeatedSubtractionBitForBitAndEndsInBoundedTime) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> magnitude(0.0, 1.0);
    for (int i = 0; i < 400; ++i) {
        const double a = std::ldexp(magnitude(random), i % 21) * (i % 3 == 0 ? -1 : 1);
        EXPECT_EQ(reduceAngle(a), reduceAngleByTurns(a)) << std::hexfloat << a;
    }
    for (double a : {6.283185307179586, 64.0, 127.99999999999999, 128.0, -6.283185307179586, -1e-300, 1e6 + 0.5, -2.5e7})
        EXPECT_EQ(reduceAngle(a), reduceAngleByTurns(a)) << std::hexfloat << a;
    const auto start = std::chrono::steady_clock::now();
    for (double a : {1e16, 7.3e16, 1e20, 1e100, -1e17, -1e100})
        EXPECT_TRUE(reduceAngle(a) >= 0.0 && reduceAngle(a) <= vutil::runtime::kTwoPi && std::isfinite(KOR_Sin(a))) << a;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_TRUE(std::isnan(KOR_Sin(NAN)) && std::isnan(KOR_Cos(INFINITY)));
}

}  // namespace
