// Tables of (call, expected) facts: each value is checked on its own, and a failure names its call.
#pragma once

#include <initializer_list>

#include <gtest/gtest.h>

namespace vutil::test {

struct Fact {
    const char *call;
    long double value, expected;  // wide enough for every 32-bit integer and double exactly
};

/// Checks the facts in the order written (the calls are evaluated in that order too).
inline void expectFacts(std::initializer_list<Fact> facts) {
    for (const Fact &fact : facts) EXPECT_EQ(fact.value, fact.expected) << fact.call;
}

}  // namespace vutil::test

#define FACT(call, expected) ::vutil::test::Fact{#call, static_cast<long double>(call), static_cast<long double>(expected)}
