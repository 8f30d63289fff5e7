// Tests of sine and cosine: the quarter-turn series, the reduction into one turn and its bounded time.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

#include "runtime/trig.h"
#include "vutil/runtime.h"

namespace {

using vutil::runtime::reduceAngle;
using vutil::runtime::reduceAngleByTurns;

TEST(SinCos, SeriesAtTheQuarterTurns) {
    const double halfPi = std::acos(0.0);  // the double nearest to pi/2
    EXPECT_EQ(KOR_Cos(halfPi), 4.440892098500626e-16);
    EXPECT_EQ(KOR_Sin(halfPi), 1.0);
    EXPECT_EQ(KOR_Sin(-halfPi), -1.0);
    EXPECT_EQ(reduceAngle(-halfPi), vutil::runtime::kThreeHalfPi);
    const double d = 0.001;
    EXPECT_EQ(KOR_Sin(d), (1 - d * d / 6) * d);
    EXPECT_EQ(KOR_Cos(d), 1 - d * d / 2);
    EXPECT_EQ(KOR_Sin(0.002), std::sin(0.002));
    EXPECT_EQ(KOR_Cos(1e102), std::cos(1e102));
    EXPECT_EQ(KOR_Sin(0.0), 0.0);
    EXPECT_EQ(KOR_Cos(0.0), 1.0);
}

TEST(SinCos, EachReferencePointUsesItsSeries) {
    const double d = 0.0005;
    struct Case {
        double reference;
        double sine;
        double cosine;
    };
    const Case cases[] = {
        {vutil::runtime::kPi, (d * d / 6 - 1) * d, d * d / 2 - 1},
        {vutil::runtime::kThreeHalfPi, d * d / 2 - 1, (1 - d * d / 6) * d},
        {vutil::runtime::kHalfPi, 1 - d * d / 2, (d * d / 6 - 1) * d},
    };
    for (const Case &c : cases) {
        double angle = c.reference + d;
        double sine = 0;
        double cosine = 0;
        KOR_SinCos(angle, &sine, &cosine);
        EXPECT_NEAR(sine, c.sine, 1e-15) << c.reference;
        EXPECT_NEAR(cosine, c.cosine, 1e-15) << c.reference;
        EXPECT_EQ(sine, KOR_Sin(angle));
        EXPECT_EQ(cosine, KOR_Cos(angle));
    }
    // Just below two pi, the reduced angle is near the two-pi reference.
    const double below = reduceAngle(-1e-4) - vutil::runtime::kTwoPi;
    EXPECT_EQ(KOR_Sin(-1e-4), (1 - below * below / 6) * below);
    EXPECT_EQ(KOR_Cos(-1e-4), 1 - below * below / 2);
}

TEST(SinCos, AgreesWithTheGeneralFunctionsAwayFromQuarterTurns) {
    for (double a = -20.0; a < 20.0; a += 0.37) {
        EXPECT_NEAR(KOR_Sin(a), std::sin(a), 1e-9) << a;
        EXPECT_NEAR(KOR_Cos(a), std::cos(a), 1e-9) << a;
    }
}

TEST(Reduction, MatchesRepeatedSubtractionBitForBit) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> magnitude(0.0, 1.0);
    for (int i = 0; i < 400; ++i) {
        // Spread the angles over many binades, up to about a million.
        double a = std::ldexp(magnitude(random), static_cast<int>(i % 21));
        if (i % 3 == 0) {
            a = -a;
        }
        EXPECT_EQ(reduceAngle(a), reduceAngleByTurns(a)) << std::hexfloat << a;
    }
    for (double a : {6.283185307179586, 12.566370614359172, 64.0, 127.99999999999999, 128.0, -6.283185307179586,
                     -1e-300, 1e6 + 0.5, 3.0e7, -2.5e7}) {
        EXPECT_EQ(reduceAngle(a), reduceAngleByTurns(a)) << std::hexfloat << a;
    }
}

TEST(Reduction, HugeAnglesEndInBoundedTimeWithinOneTurn) {
    auto start = std::chrono::steady_clock::now();
    for (double a : {1e16, 7.3e16, 1e20, 1e100, -1e17, -1e100}) {
        double r = reduceAngle(a);
        EXPECT_GE(r, 0.0) << a;
        EXPECT_LE(r, vutil::runtime::kTwoPi) << a;
        EXPECT_TRUE(std::isfinite(KOR_Sin(a)));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(Reduction, NotANumberPassesThrough) {
    EXPECT_TRUE(std::isnan(KOR_Sin(NAN)));
    EXPECT_TRUE(std::isnan(KOR_Cos(INFINITY)));
}

}  // namespace
