// Tests of the native outline records made from point-and-tag outlines: implied points, starts, cubic arcs.
#include "platform/outline_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using vutil::platform::appendNativeRecords;
using vutil::platform::OutlinePoint;
using vutil::platform::PointKind;

constexpr PointKind On = PointKind::OnCurve;
constexpr PointKind Conic = PointKind::Conic;
constexpr PointKind Cubic = PointKind::Cubic;

/// A decoded contour: its start point and records, in 26.6 units (fractions kept).
struct Record {
    uint16_t type;
    std::vector<std::pair<double, double>> points;
    bool operator==(const Record &) const = default;
};
struct Contour {
    std::pair<double, double> start;
    std::vector<Record> records;
};

int32_t read32(const std::vector<uint8_t> &b, std::size_t at) {
    uint32_t v;
    std::memcpy(&v, &b[at], 4);  // the records are little-endian, as this host
    return static_cast<int32_t>(v);
}

std::vector<Contour> decode(const std::vector<uint8_t> &bytes) {
    std::vector<Contour> contours;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto length = static_cast<std::size_t>(read32(bytes, at));
        EXPECT_EQ(read32(bytes, at + 4), 24);
        Contour c{{read32(bytes, at + 8) / 1024.0, read32(bytes, at + 12) / 1024.0}, {}};
        for (std::size_t r = at + 16; r < at + length;) {
            Record record{static_cast<uint16_t>(bytes[r] | bytes[r + 1] << 8), {}};
            const int count = bytes[r + 2] | bytes[r + 3] << 8;
            for (int i = 0; i < count; ++i) {
                const std::size_t p = r + 4 + 8 * i;
                record.points.emplace_back(read32(bytes, p) / 1024.0, read32(bytes, p + 4) / 1024.0);
            }
            r += 4 + 8 * count;
            c.records.push_back(record);
        }
        at += length;
        contours.push_back(c);
    }
    EXPECT_EQ(at, bytes.size());
    return contours;
}

std::vector<Contour> encode(const std::vector<OutlinePoint> &points, const std::vector<int32_t> &ends) {
    std::vector<uint8_t> out;
    EXPECT_TRUE(appendNativeRecords(points, ends, out));
    return decode(out);
}

TEST(OutlineRecords, LinesCloseImplicitly) {
    const auto c = encode({{0, 0, On}, {640, 0, On}, {640, 640, On}, {0, 640, On}}, {3});
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].start, (std::pair<double, double>{0, 0}));
    EXPECT_EQ(c[0].records, (std::vector<Record>{{1, {{640, 0}, {640, 640}, {0, 640}}}}));
}

TEST(OutlineRecords, ConicRunsKeepImpliedPointsImplied) {
    // on, off, off, on, on: one spline of two controls and its end, then a line; the last line back is implicit.
    const auto c = encode({{0, 0, On}, {64, 128, Conic}, {192, 128, Conic}, {256, 0, On}, {256, -64, On}}, {4});
    EXPECT_EQ(c[0].records, (std::vector<Record>{{2, {{64, 128}, {192, 128}, {256, 0}}}, {1, {{256, -64}}}}));
    // A contour whose last point is a control point closes with a spline ending on the start.
    const auto closing = encode({{0, 0, On}, {64, 0, On}, {64, 64, Conic}}, {2});
    EXPECT_EQ(closing[0].records, (std::vector<Record>{{1, {{64, 0}}}, {2, {{64, 64}, {0, 0}}}}));
}

TEST(OutlineRecords, ContoursOpeningOnAControlPoint) {
    // The last point is on the curve: the contour starts there.
    const auto onLast = encode({{64, 64, Conic}, {128, 0, On}, {0, 0, On}}, {2});
    EXPECT_EQ(onLast[0].start, (std::pair<double, double>{0, 0}));
    EXPECT_EQ(onLast[0].records, (std::vector<Record>{{2, {{64, 64}, {128, 0}}}}));
    // All control points (a circle of four): the start is implied between the last and the first.
    const auto circle = encode({{64, 0, Conic}, {64, 64, Conic}, {-64, 64, Conic}, {-64, 0, Conic}}, {3});
    EXPECT_EQ(circle[0].start, (std::pair<double, double>{0, 0}));
    EXPECT_EQ(circle[0].records, (std::vector<Record>{{2, {{64, 0}, {64, 64}, {-64, 64}, {-64, 0}, {0, 0}}}}));
}

TEST(OutlineRecords, SeveralContoursAndEnds) {
    const auto c = encode({{0, 0, On}, {64, 0, On}, {0, 64, On}, {5, 5, On}, {9, 9, On}}, {2, 4});
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1].start, (std::pair<double, double>{5, 5}));
    EXPECT_EQ(c[1].records, (std::vector<Record>{{1, {{9, 9}}}}));
}

/// Point of a Bezier arc of any degree at t, by repeated interpolation.
std::pair<double, double> bezier(std::vector<std::pair<double, double>> p, double t) {
    for (std::size_t n = p.size() - 1; n > 0; --n) {
        for (std::size_t i = 0; i < n; ++i) {
            p[i] = {p[i].first + (p[i + 1].first - p[i].first) * t, p[i].second + (p[i + 1].second - p[i].second) * t};
        }
    }
    return p[0];
}

/// Largest distance from points of the quadratic pieces to the cubic, in 26.6 units.
double cubicError(const std::vector<std::pair<double, double>> &cubic, const Contour &c) {
    std::vector<std::pair<double, double>> curve;
    for (int i = 0; i <= 4000; ++i) {
        curve.push_back(bezier(cubic, i / 4000.0));
    }
    double worst = 0;
    std::pair<double, double> pen = c.start;
    for (const Record &r : c.records) {
        EXPECT_EQ(r.type, 2);
        EXPECT_EQ(r.points.size(), 2u);
        const std::pair<double, double> control = r.points[0];
        const std::pair<double, double> end = r.points[1];
        for (int i = 0; i <= 20; ++i) {
            const auto q = bezier({pen, control, end}, i / 20.0);
            double nearest = INFINITY;
            for (const auto &p : curve) {
                nearest = std::min(nearest, std::hypot(p.first - q.first, p.second - q.second));
            }
            worst = std::max(worst, nearest);
        }
        pen = end;
    }
    return worst;
}

TEST(OutlineRecords, CubicArcsBecomeCloseQuadratics) {
    // An S-shaped arc far larger than a glyph at this size, and one that closes the contour.
    const std::vector<std::pair<double, double>> s = {{0, 0}, {6400, 9000}, {-3000, 9000}, {3200, 0}};
    const auto c = encode({{0, 0, On}, {6400, 9000, Cubic}, {-3000, 9000, Cubic}, {3200, 0, On}}, {3});
    ASSERT_GT(c[0].records.size(), 2u);
    EXPECT_EQ(c[0].records.back().points.back(), (std::pair<double, double>{3200, 0}));  // exact end
    // 1/16 of a unit is 4 in 26.6; the sampling of the cubic adds a little.
    EXPECT_LE(cubicError(s, c[0]), 4.0 + 0.5);

    const auto closing = encode({{0, 0, On}, {640, 0, On}, {640, 640, Cubic}, {0, 640, Cubic}}, {3});
    ASSERT_GE(closing[0].records.size(), 2u);
    EXPECT_EQ(closing[0].records[0], (Record{1, {{640, 0}}}));
    EXPECT_EQ(closing[0].records.back().points.back(), (std::pair<double, double>{0, 0}));
    Contour arc = closing[0];
    arc.start = {640, 0};
    arc.records.erase(arc.records.begin());
    EXPECT_LE(cubicError({{640, 0}, {640, 640}, {0, 640}, {0, 0}}, arc), 4.0 + 0.5);

    // A straight cubic needs one piece.
    const auto straight = encode({{0, 0, On}, {64, 0, Cubic}, {128, 0, Cubic}, {192, 0, On}}, {3});
    EXPECT_EQ(straight[0].records, (std::vector<Record>{{2, {{96, 0}, {192, 0}}}}));
}

TEST(OutlineRecords, MalformedOutlinesAreRefusedWhole) {
    struct Case {
        std::vector<OutlinePoint> points;
        std::vector<int32_t> ends;
    };
    const Case cases[] = {
        {{{0, 0, Cubic}, {1, 1, Cubic}, {2, 2, On}}, {2}},  // starts on a cubic control point
        {{{0, 0, On}, {1, 1, Cubic}, {2, 2, On}}, {2}},     // a lone cubic control point
        {{{0, 0, On}, {1, 1, Conic}, {2, 2, Cubic}, {3, 3, Cubic}, {4, 4, On}}, {4}},  // conic into cubic
        {{{0, 0, On}, {1, 1, Cubic}, {2, 2, Cubic}, {3, 3, Conic}}, {3}},  // cubic arc not ending on the curve
        {{{0, 0, On}, {1, 1, On}}, {2}},                                   // an end beyond the points
        {{{0, 0, On}, {1, 1, On}, {2, 2, On}}, {1, 0}},                    // ends out of order
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> out = {1, 2, 3};
        EXPECT_FALSE(appendNativeRecords(c.points, c.ends, out));
        EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    }
    // A first contour that is fine does not survive a bad second one.
    std::vector<uint8_t> out;
    EXPECT_FALSE(appendNativeRecords(std::vector<OutlinePoint>{{0, 0, On}, {1, 0, On}, {1, 1, Cubic}},
                                     std::vector<int32_t>{1, 2}, out));
    EXPECT_TRUE(out.empty());
}

}  // namespace
