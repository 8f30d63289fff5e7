// The native glyph outline format: contour headers followed by line and quadratic-spline records, in 16.16 fixed
// point, little-endian. Font backends whose engine yields point-and-tag outlines encode them here.
#include "platform/outline_records.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace vutil::platform {
namespace {

struct Fixed {
    int32_t x;
    int32_t y;
};

int32_t saturate(int64_t value) noexcept {
    return static_cast<int32_t>(
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t saturate(double value) noexcept {
    return saturate(static_cast<int64_t>(std::clamp(std::round(value), double{std::numeric_limits<int32_t>::min()},
                                                    double{std::numeric_limits<int32_t>::max()})));
}

/// 26.6 to 16.16.
int32_t toFixed(int64_t v) noexcept {
    constexpr int64_t kLimit = int64_t{1} << 21;  // 2^31 in 16.16
    if (v >= -kLimit && v < kLimit) {
        return static_cast<int32_t>(v * 1024);
    }
    return v < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
}

Fixed toFixed(const OutlinePoint &p) noexcept {
    return {toFixed(p.x), toFixed(p.y)};
}

/// Writes one contour: its header, then its records, opening a record whenever the kind of point changes. The
/// caller reserves room first (see maxBytes), so the writes need no checks of their own.
class ContourWriter {
public:
    ContourWriter(uint8_t *cursor, Fixed start) : cursor_(cursor), header_(cursor) {
        put32(0);  // the total length, known at finish
        put32(kContourType);
        putPoint(start);
    }

    /// Appends a point to a record of the given type, opening one if the current record is of another type.
    /// False when a record would exceed its 16-bit point count.
    bool add(uint16_t type, Fixed p) {
        if (type != recordType_ || count_ == 0xFFFF) {
            if (type == recordType_ && type != kLineRecord) {
                return false;  // a spline cannot be cut without making an implied point explicit
            }
            endRecord();
            recordType_ = type;
            record_ = cursor_;
            put32(type);  // type, then a count of 0 until endRecord
        }
        putPoint(p);
        ++count_;
        return true;
    }

    void endRecord() {
        if (recordType_ != 0) {
            record_[2] = static_cast<uint8_t>(count_);
            record_[3] = static_cast<uint8_t>(count_ >> 8);
        }
        recordType_ = 0;
        count_ = 0;
    }

    /// Completes the contour; returns where the next one starts.
    uint8_t *finish() {
        endRecord();
        const auto length = static_cast<uint32_t>(cursor_ - header_);
        for (int i = 0; i < 4; ++i) {
            header_[i] = static_cast<uint8_t>(length >> (8 * i));
        }
        return cursor_;
    }

private:
    void put32(uint32_t value) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(cursor_, &value, 4);
        } else {
            for (int i = 0; i < 4; ++i) {
                cursor_[i] = static_cast<uint8_t>(value >> (8 * i));
            }
        }
        cursor_ += 4;
    }
    void putPoint(Fixed p) {
        put32(static_cast<uint32_t>(p.x));
        put32(static_cast<uint32_t>(p.y));
    }

    uint8_t *cursor_;  // a copy, not a reference: byte stores could otherwise alias it
    uint8_t *header_;
    uint8_t *record_ = nullptr;
    uint16_t recordType_ = 0;
    uint32_t count_ = 0;
};

/// Largest distance, in 16.16 units, between a cubic arc and the quadratic arcs that stand in for it.
constexpr double kCubicTolerance = 65536.0 / 16;
constexpr int kMaxCubicPieces = 64;

/// Replaces the cubic arc p0 c1 c2 p3 by quadratic arcs, each its own spline record (control point, end point).
/// Each piece's control point is where the tangents at its ends meet, taken as the mean of the two estimates;
/// the error of that choice falls with the cube of the number of pieces.
bool addCubic(ContourWriter &writer, Fixed p0, Fixed c1, Fixed c2, Fixed p3) {
    const double x[4] = {static_cast<double>(p0.x), static_cast<double>(c1.x), static_cast<double>(c2.x),
                         static_cast<double>(p3.x)};
    const double y[4] = {static_cast<double>(p0.y), static_cast<double>(c1.y), static_cast<double>(c2.y),
                         static_cast<double>(p3.y)};
    const double dx = x[3] - 3 * x[2] + 3 * x[1] - x[0];
    const double dy = y[3] - 3 * y[2] + 3 * y[1] - y[0];
    const double error = std::sqrt(3.0) / 36 * std::hypot(dx, dy);
    const int pieces = std::clamp(static_cast<int>(std::ceil(std::cbrt(error / kCubicTolerance))), 1, kMaxCubicPieces);
    auto at = [](const double *v, double t) {
        const double u = 1 - t;
        return u * u * u * v[0] + 3 * u * u * t * v[1] + 3 * u * t * t * v[2] + t * t * t * v[3];
    };
    auto slope = [](const double *v, double t) {
        const double u = 1 - t;
        return 3 * (u * u * (v[1] - v[0]) + 2 * u * t * (v[2] - v[1]) + t * t * (v[3] - v[2]));
    };
    for (int piece = 0; piece < pieces; ++piece) {
        const double t0 = double(piece) / pieces;
        const double t1 = double(piece + 1) / pieces;
        const double h = (t1 - t0) / 3;
        // The piece as a cubic q0 q1 q2 q3; its quadratic control point is (3 (q1 + q2) - (q0 + q3)) / 4.
        const double qx0 = at(x, t0), qy0 = at(y, t0);
        const double qx3 = at(x, t1), qy3 = at(y, t1);
        const double qx1 = qx0 + h * slope(x, t0), qy1 = qy0 + h * slope(y, t0);
        const double qx2 = qx3 - h * slope(x, t1), qy2 = qy3 - h * slope(y, t1);
        const Fixed control{saturate((3 * (qx1 + qx2) - (qx0 + qx3)) / 4),
                            saturate((3 * (qy1 + qy2) - (qy0 + qy3)) / 4)};
        const Fixed end = piece + 1 == pieces ? p3 : Fixed{saturate(qx3), saturate(qy3)};
        if (!writer.add(kSplineRecord, control) || !writer.add(kSplineRecord, end)) {
            return false;
        }
        writer.endRecord();
    }
    return true;
}

bool appendContour(std::span<const OutlinePoint> c, uint8_t *&out) {
    const std::size_t n = c.size();
    // The contour starts on its first on-curve point; a contour that opens on a conic point starts on its last
    // point instead, or on the point implied between its last and first points.
    std::size_t begin = 1;
    std::size_t end = n;
    Fixed start = toFixed(c[0]);
    if (c[0].kind == PointKind::Conic) {
        begin = 0;
        if (c[n - 1].kind == PointKind::OnCurve) {
            start = toFixed(c[n - 1]);
            end = n - 1;
        } else {
            const Fixed a = toFixed(c[n - 1]);
            const Fixed b = toFixed(c[0]);
            start = {saturate((int64_t{a.x} + b.x) / 2), saturate((int64_t{a.y} + b.y) / 2)};
        }
    } else if (c[0].kind != PointKind::OnCurve) {
        return false;
    }
    ContourWriter writer(out, start);
    Fixed pen = start;
    bool inSpline = false;
    for (std::size_t i = begin; i < end; ++i) {
        const Fixed p = toFixed(c[i]);
        switch (c[i].kind) {
            case PointKind::OnCurve:
                if (!writer.add(inSpline ? kSplineRecord : kLineRecord, p)) {
                    return false;
                }
                if (inSpline) {
                    writer.endRecord();  // the next conic point starts a spline of its own
                    inSpline = false;
                }
                pen = p;
                break;
            case PointKind::Conic:
                inSpline = true;
                if (!writer.add(kSplineRecord, p)) {
                    return false;
                }
                break;
            case PointKind::Cubic: {
                // Two cubic control points, then the arc's end: an on-curve point, or the start when the contour
                // closes with this arc.
                if (inSpline || i + 1 >= end || c[i + 1].kind != PointKind::Cubic ||
                    (i + 2 < end && c[i + 2].kind != PointKind::OnCurve)) {
                    return false;
                }
                const Fixed arcEnd = i + 2 < end ? toFixed(c[i + 2]) : start;
                writer.endRecord();
                if (!addCubic(writer, pen, p, toFixed(c[i + 1]), arcEnd)) {
                    return false;
                }
                pen = arcEnd;
                i += 2;
                break;
            }
        }
    }
    // A contour closes by a straight line to its start implicitly; a spline still open ends on the start.
    if (inSpline && !writer.add(kSplineRecord, start)) {
        return false;
    }
    out = writer.finish();
    return true;
}

}  // namespace

bool appendNativeRecords(std::span<const OutlinePoint> points, std::span<const int32_t> contourEnds,
                         std::vector<uint8_t> &out) {
    // Room for the worst case: every contour a header, its closing point and a record head; every point a record
    // of its own; every cubic arc (two control points; a lone one is refused) its largest number of pieces.
    std::size_t cubicPoints = 0;
    for (const OutlinePoint &p : points) {
        cubicPoints += p.kind == PointKind::Cubic ? 1 : 0;
    }
    const std::size_t cubicArcs = (cubicPoints + 1) / 2;
    const std::size_t room = contourEnds.size() * (kContourHeaderBytes + kFixedPointBytes + kRecordHeadBytes) +
                             points.size() * (kRecordHeadBytes + kFixedPointBytes) +
                             cubicArcs * kMaxCubicPieces * (kRecordHeadBytes + 2 * kFixedPointBytes);
    const std::size_t before = out.size();
    out.resize(before + room);
    uint8_t *cursor = out.data() + before;
    int64_t first = 0;
    for (const int32_t last : contourEnds) {
        if (last < first || static_cast<std::size_t>(last) >= points.size() ||
            !appendContour(points.subspan(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1)),
                           cursor)) {
            out.resize(before);
            return false;
        }
        first = int64_t{last} + 1;
    }
    out.resize(static_cast<std::size_t>(cursor - out.data()));
    return true;
}

}  // namespace vutil::platform
