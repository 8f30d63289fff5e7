// Tests of sine and cosine: the series near the quarter turns, the reduction into one turn and its bounded time.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "support/facts.h"
#include "runtime/trig.h"
#include "vutil/runtime.h"

namespace {

using vutil::runtime::kTwoPi;
using vutil::runtime::reduceAngle;

/// The reduction as its definition states it: whole turns taken off, then added, one at a time.
double byTurns(double a) {
    while (a >= kTwoPi) a -= kTwoPi;
    while (a < 0) a += kTwoPi;
    return a;
}

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
                SCOPED_TRACE(testing::Message() << turn << " " << quarter << " " << d);
                vutil::test::expectFacts({NEAR_FACT(sine, std::sin(angle), truncation), NEAR_FACT(cosine, std::cos(angle), truncation),
                                          FACT(sine, KOR_Sin(angle)), FACT(cosine, KOR_Cos(angle))});
            }
    // At the quarter turns the sine is the true one rounded (1 - 1.9e-33, which rounds to 1); beyond the
    // reduction's range the functions are the host's own, unreduced. (Hosts differ there: glibc gives cos(1e102)
    // as -0.6011551099382752, the true value rounded; mingw-w64's runtime gives -0.6470713067076007.)
    volatile double large = 1e102;  // not folded by the compiler: the host's function at run time
    vutil::test::expectFacts({FACT(KOR_Sin(halfPi), 1.0), FACT(KOR_Sin(-halfPi), -1.0),
                              FACT(KOR_Cos(large), std::cos(large)), FACT(KOR_Sin(-large), std::sin(-large))});
}

// Angles over many binades, up to about a million, and awkward ones: the reduction into one turn is
// exactly the one repeated subtraction of turns gives; huge angles end in bounded time within one turn.
TEST(Reduction, MatchesRepeatedSubtractionBitForBitAndEndsInBoundedTime) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> magnitude(0.0, 1.0);
    for (int i = 0; i < 400; ++i) {
        const double a = std::ldexp(magnitude(random), i % 21) * (i % 3 == 0 ? -1 : 1);
        EXPECT_EQ(reduceAngle(a), byTurns(a)) << std::hexfloat << a;
    }
    for (double a : {6.283185307179586, 64.0, 127.99999999999999, 128.0, -6.283185307179586, -1e-300, 1e6 + 0.5, -2.5e7})
        EXPECT_EQ(reduceAngle(a), byTurns(a)) << std::hexfloat << a;
    // Microseconds of work; a reduction turn by turn would take years, and the test's time limit ends it.
    for (double a : {1e16, 7.3e16, 1e20, 1e100, -1e17, -1e100})
        vutil::test::expectFacts({FACT(reduceAngle(a) >= 0, 1), FACT(reduceAngle(a) <= kTwoPi, 1), FACT(std::isfinite(KOR_Sin(a)), 1)});
    vutil::test::expectFacts({FACT(std::isnan(KOR_Sin(NAN)), 1), FACT(std::isnan(KOR_Cos(INFINITY)), 1)});
}

}  // namespace
