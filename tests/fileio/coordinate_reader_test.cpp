// Tests of the text coordinate readers against a plain model, and of the real-list readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

#include "support/facts.h"
#include "vutil/fileio.h"

namespace vutil::test {
namespace {

/// The coordinate rules written plainly: of the first 239 characters, the number starts at the
/// first digit or '-' and runs to a separator; the next item, from its first digit or '-', is the second.
int32_t modelPair(std::string text, std::string numbers[2]) {
    const char *const separators = "\t\r\n=,; ", *const starts = "0123456789-";
    text.resize(std::min<std::size_t>(text.size(), 239));
    std::size_t at = text.find_first_of(starts);
    if (at == std::string::npos) return 0;
    std::size_t end = text.find_first_of(separators, at);
    numbers[0] = text.substr(at, end - at);
    std::size_t next = end == std::string::npos ? end : text.find_first_not_of(separators, end);
    std::string item = next == std::string::npos ? "" : text.substr(next, text.find_first_of(separators, next) - next);
    if (item.find_first_of(starts) == std::string::npos) return 1;
    numbers[1] = item.substr(item.find_first_of(starts));
    return 2;
}

// Random texts of digits, signs, points, exponents, separators and other characters, some
// pushed towards the 239th character: every reader gives what the model gives.
TEST(CoordinateReader, AgreesWithAPlainModelAndRealListsReadByTheCRules) {
    const char alphabet[] = "0123456789-+.eEa/:=,; \t\r\n\v5-1";
    std::mt19937 random(17);
    for (int i = 0; i < 30000; ++i) {
        std::string text(random() % 8 == 0 ? 225 + random() % 14 : 0, ' ');
        for (auto length = random() % 14; length > 0; --length) text += alphabet[random() % (sizeof alphabet - 1)];
        SCOPED_TRACE("\"" + text + "\"");
        std::string numbers[2];
        const int32_t found = modelPair(text, numbers);
        const auto real = [](const std::string &n) { return std::strtod(n.c_str(), nullptr); };
        const auto integer = [](const std::string &n) {
            return static_cast<int32_t>(std::clamp<long long>(std::strtoll(n.c_str(), nullptr, 10), INT32_MIN, INT32_MAX));
        };
        double x = 99, y = 99;
        ASSERT_EQ(read_lf_coord_pair(text.c_str(), &x, &y), found);
        ASSERT_EQ(x, real(numbers[0]));
        ASSERT_EQ(y, real(numbers[1]));
        ASSERT_EQ(read_lf_coord(text.c_str(), &x), std::min(found, 1));
        ASSERT_EQ(x, real(numbers[0]));
        int32_t a = 99, b = 99;
        ASSERT_EQ(read_d_coord_pair(text.c_str(), &a, &b), found);
        ASSERT_EQ(a, integer(numbers[0]));
        ASSERT_EQ(b, integer(numbers[1]));
    }
    char text[] = "1,2";
    double a, b, c = 9, r[4] = {9, 9, 9, 9};
    expectFacts({FACT(read_lf_coord_pair(text, &a, &b), 2), FACT(read_lf_coord(nullptr, &a), 0)});
    // A missing output reads nothing, and the other output is cleared.
    int32_t i = 9;
    expectFacts({FACT(read_lf_coord(text, nullptr), 0), FACT(read_lf_coord_pair(text, &a, nullptr), 0), FACT(a, 0),
                 FACT(read_lf_coord_pair(text, nullptr, &b), 0), FACT(b, 0), FACT(read_d_coord_pair(text, nullptr, &i), 0),
                 FACT(i, 0), FACT(read_d_coord_pair(text, &i, nullptr), 0)});
    EXPECT_STREQ(text, "1,2") << "the caller's text is left alone";

    // The real readers take each number from the next digit or sign, by the C library's rules.
    a = b = 99;
    expectFacts({FACT(Read2Reals("(1.5, -2e3)", &a, &b), 1), FACT(a, 1.5), FACT(b, -2000)});
    expectFacts({FACT(Read2Reals("x+.25 7", &a, &b), 1), FACT(a, 0.25)});
    a = b = 99;
    expectFacts({FACT(Read2Reals("1.5", &a, &b), 0), FACT(Read2Reals(nullptr, &a, &b), 0), FACT(Read2Reals("", &a, &b), 0),
                 FACT(a, 1.5), FACT(b, 99)});
    expectFacts({FACT(Read4Reals("1 2 3 4", &r[0], &r[1], nullptr, &r[3]), 0), FACT(r[1], 2), FACT(r[3], 9)});
    expectFacts({FACT(Read4Reals("1 2 3 4", &r[0], &r[1], &r[2], &r[3]), 1), FACT(r[3], 4)});
    // A sign that starts no number reads zero without moving on.
    expectFacts({FACT(ReadNReals(3, "-x 5", &a, &b, &c), 1), FACT(c, 0), FACT(ReadNReals(0, "", &a), 1),
                 FACT(ReadNReals(1, "abc", &a), 0)});
}

}  // namespace
}  // namespace vutil::test
