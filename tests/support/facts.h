// Tables of (call, expected) facts: each value is checked on its own, and a failure names its call.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

#include <gtest/gtest.h>

namespace vutil::test {

struct Fact {
    const char *call;
    double value, expected, tolerance;  // every 32-bit integer is a double exactly; tolerance 0 asks for equality
};

/// A number, or an address as one (exact in a double on every host the tests run on).
template <typename T>
double factValue(T value) {
    if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) return double(reinterpret_cast<std::uintptr_t>(value));
    else return static_cast<double>(value);
}

/// Checks the facts in the order written (the calls are evaluated in that order too).
inline void expectFacts(std::initializer_list<Fact> facts) {
    for (const Fact &f : facts) EXPECT_NEAR(f.value, f.expected, f.tolerance) << f.call;
}

}  // namespace vutil::test

#define FACT(call, expected) NEAR_FACT(call, expected, 0)
#define NEAR_FACT(call, expected, tolerance) \
    ::vutil::test::Fact{#call, ::vutil::test::factValue(call), ::vutil::test::factValue(expected), tolerance}
