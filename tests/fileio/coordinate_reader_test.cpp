// Tests of the text coordinate readers and the real-list readers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "vutil/fileio.h"

namespace vutil::test {
namespace {

TEST(CoordinateReader, OneValueAndPairs) {
    const struct {
        const char *text;
        int32_t found;
        double x, y;
    } cases[] = {
        {"Z = -12.25", 1, -12.25, 0},
        {"none", 0, 0, 0},
        {"+5", 1, 5, 0},
        {".5", 1, 5, 0},
        {"", 0, 0, 0},
        {"x=3e2;", 1, 300, 0},
        {"-", 1, 0, 0},
        {"\t\r\n7", 1, 7, 0},
        {"10,20", 2, 10, 20},
        {"10 abc", 1, 10, 0},
        {"1.5, -2", 2, 1.5, -2},
        {"x=1.5;2", 2, 1.5, 2},
        {"X=1.5 Y=2", 1, 1.5, 0},
        {"  ", 0, 0, 0},
        {"a1 b2", 2, 1, 2},
        {"1;;;,,  2", 2, 1, 2},
        {"1 ab-3", 2, 1, -3},
        {"1 =2", 2, 1, 2},
        {"0.5 09", 2, 0.5, 9},
        {"a09 b-0.25", 2, 9, -0.25},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        double x = 99, y = 99;
        EXPECT_EQ(read_lf_coord_pair(c.text, &x, &y), c.found);
        EXPECT_EQ(x, c.x);
        EXPECT_EQ(y, c.y);
        EXPECT_EQ(read_lf_coord(c.text, &x), c.found > 0 ? 1 : 0);
        EXPECT_EQ(x, c.x);
    }
}

// Every character, in front of "7": the characters that start a number are read with it.
TEST(CoordinateReader, WhichCharactersStartANumber) {
    for (int c = 1; c < 128; ++c) {
        const char start = static_cast<char>(c);
        const std::string text = std::string("a") + start + "7 b" + start + "5";
        SCOPED_TRACE(c);
        const bool coordinate = (start >= '0' && start <= '9') || start == '-';
        double x = 99, y = 99;
        const int32_t found = read_lf_coord_pair(text.c_str(), &x, &y);
        if (coordinate) {
            EXPECT_EQ(found, 2);
            EXPECT_EQ(x, std::strtod((std::string(1, start) + "7").c_str(), nullptr));
            EXPECT_EQ(y, std::strtod((std::string(1, start) + "5").c_str(), nullptr));
        } else if (std::strchr("\t\n\v\f\r =,; ", start) == nullptr) {
            EXPECT_EQ(found, 2);
            EXPECT_EQ(x, 7);
            EXPECT_EQ(y, 5);
        }
        const bool real = coordinate || start == '+';
        double a = 99, b = 99;
        EXPECT_EQ(Read2Reals(text.c_str(), &a, &b), 1);
        EXPECT_EQ(a, real ? std::strtod((std::string(1, start) + "7").c_str(), nullptr) : 7.0);
    }
}

TEST(CoordinateReader, IntegerPairsLimitsAndTheCallersText) {
    int32_t x = 99, y = 99;
    EXPECT_EQ(read_d_coord_pair("12.9 -3", &x, &y), 2);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, -3);
    EXPECT_EQ(read_d_coord_pair("P 99999999999", &x, &y), 1);
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(read_d_coord_pair("nothing", &x, &y), 0);
    EXPECT_EQ(x, 0);
    // Only the first 239 characters are read.
    double value = 0;
    EXPECT_EQ(read_lf_coord((std::string(236, ' ') + "12345").c_str(), &value), 1);
    EXPECT_EQ(value, 123.0);
    EXPECT_EQ(read_lf_coord((std::string(239, ' ') + "5").c_str(), &value), 0);
    EXPECT_EQ(value, 0.0);
    char text[] = "1,2";
    double a, b;
    EXPECT_EQ(read_lf_coord_pair(text, &a, &b), 2);
    EXPECT_STREQ(text, "1,2");
    EXPECT_EQ(read_lf_coord(nullptr, &a), 0);
}

TEST(RealReader, TwoFourAndNReals) {
    double a = 99, b = 99;
    EXPECT_EQ(Read2Reals("(1.5, -2e3)", &a, &b), 1);
    EXPECT_EQ(a, 1.5);
    EXPECT_EQ(b, -2000.0);
    a = b = 99;
    EXPECT_EQ(Read2Reals("1.5", &a, &b), 0);
    EXPECT_EQ(a, 1.5);
    EXPECT_EQ(b, 99.0);
    EXPECT_EQ(Read2Reals(nullptr, &a, &b), 0);
    EXPECT_EQ(Read2Reals("+.25 +7", &a, &b), 1);
    EXPECT_EQ(a, 0.25);
    double r[4] = {9, 9, 9, 9};
    EXPECT_EQ(Read4Reals("1 2 3 4", &r[0], &r[1], nullptr, &r[3]), 0);
    EXPECT_EQ(r[1], 2.0);
    EXPECT_EQ(r[3], 9.0);
    EXPECT_EQ(Read4Reals("1 2 3 4", &r[0], &r[1], &r[2], &r[3]), 1);
    EXPECT_EQ(r[3], 4.0);
    // A sign that starts no number reads zero without moving on.
    double c = 9;
    EXPECT_EQ(ReadNReals(3, "-x 5", &a, &b, &c), 1);
    EXPECT_EQ(c, 0.0);
    EXPECT_EQ(ReadNReals(0, "", &a), 1);
    EXPECT_EQ(ReadNReals(1, "abc", &a), 0);
}

}  // namespace
}  // namespace vutil::test
