// Tests of the text coordinate readers and the real-list readers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vutil/fileio.h"

namespace vutil::test {
namespace {

TEST(CoordinateReader, OneValue) {
    struct Case {
        const char *text;
        int32_t found;
        double value;
    };
    const Case cases[] = {
        {"Z = -12.25", 1, -12.25}, {"none", 0, 0.0}, {"+5", 1, 5.0},      {".5", 1, 5.0}, {"", 0, 0.0},
        {"x=3e2;", 1, 300.0},      {"-", 1, 0.0},    {"\t\r\n7", 1, 7.0},
    };
    for (const Case &c : cases) {
        double value = 99.0;
        EXPECT_EQ(read_lf_coord(c.text, &value), c.found) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

TEST(CoordinateReader, Pairs) {
    struct Case {
        const char *text;
        int32_t found;
        double x, y;
    };
    const Case cases[] = {
        {"10,20", 2, 10, 20},   {"10", 1, 10, 0},         {"10 abc", 1, 10, 0}, {"1.5, -2", 2, 1.5, -2},
        {"x=1.5;2", 2, 1.5, 2}, {"X=1.5 Y=2", 1, 1.5, 0}, {"  ", 0, 0, 0},      {"a1 b2", 2, 1, 2},
        {"1;;;,,  2", 2, 1, 2}, {"1 ab-3", 2, 1, -3},     {"1 =2", 2, 1, 2},
    };
    for (const Case &c : cases) {
        double x = 99, y = 99;
        EXPECT_EQ(read_lf_coord_pair(c.text, &x, &y), c.found) << c.text;
        EXPECT_EQ(x, c.x) << c.text;
        EXPECT_EQ(y, c.y) << c.text;
    }
}

TEST(CoordinateReader, IntegerPairs) {
    int32_t x = 99, y = 99;
    EXPECT_EQ(read_d_coord_pair("12.9 -3", &x, &y), 2);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, -3);
    EXPECT_EQ(read_d_coord_pair("P 99999999999", &x, &y), 1);
    EXPECT_EQ(x, INT32_MAX);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(read_d_coord_pair("nothing", &x, &y), 0);
    EXPECT_EQ(x, 0);
}

TEST(CoordinateReader, OnlyTheFirst239CharactersAreRead) {
    std::string line(236, ' ');
    line += "12345";  // the number starts at index 236; index 239 is cut off
    double value = 0;
    EXPECT_EQ(read_lf_coord(line.c_str(), &value), 1);
    EXPECT_EQ(value, 123.0);
    std::string far(239, ' ');
    far += "5";
    EXPECT_EQ(read_lf_coord(far.c_str(), &value), 0);
    EXPECT_EQ(value, 0.0);
}

TEST(CoordinateReader, TheCallersTextIsNotModified) {
    const char text[] = "1,2";
    char copy[sizeof text];
    std::memcpy(copy, text, sizeof text);
    double x, y;
    EXPECT_EQ(read_lf_coord_pair(copy, &x, &y), 2);
    EXPECT_STREQ(copy, text);
    EXPECT_EQ(read_lf_coord(nullptr, &x), 0);
}

TEST(RealReader, TwoAndFourReals) {
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
    EXPECT_EQ(b, 7.0);

    double r[4] = {9, 9, 9, 9};
    EXPECT_EQ(Read4Reals("1 2 3 4", &r[0], &r[1], nullptr, &r[3]), 0);
    EXPECT_EQ(r[0], 1.0);
    EXPECT_EQ(r[1], 2.0);
    EXPECT_EQ(r[3], 9.0);
    EXPECT_EQ(Read4Reals("1 2 3 4", &r[0], &r[1], &r[2], &r[3]), 1);
    EXPECT_EQ(r[3], 4.0);
}

TEST(RealReader, ASignThatStartsNoNumberReadsZeroWithoutMoving) {
    double a = 9, b = 9, c = 9;
    EXPECT_EQ(ReadNReals(3, "-x 5", &a, &b, &c), 1);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(c, 0.0);
    EXPECT_EQ(ReadNReals(0, "", &a), 1);
    EXPECT_EQ(ReadNReals(1, "abc", &a), 0);
}

}  // namespace
}  // namespace vutil::test
