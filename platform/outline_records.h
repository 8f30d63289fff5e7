// The native glyph outline format: contour headers followed by line and quadratic-spline records, in 16.16 fixed
// point, little-endian. Font backends whose engine yields point-and-tag outlines encode them here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vutil::platform {

// Layout of the records:
//   contour header: uint32 total bytes (header and its records), uint32 type (24), start point (x, y)
//   curve record:   uint16 type (1 line, 2 quadratic spline), uint16 point count, the points (x, y)
// A point is two 16.16 fixed-point int32 values. Each contour is closed: it ends at its start point.
inline constexpr uint32_t kContourType = 24;
inline constexpr uint16_t kLineRecord = 1;
inline constexpr uint16_t kSplineRecord = 2;
inline constexpr std::size_t kContourHeaderBytes = 16;
inline constexpr std::size_t kRecordHeadBytes = 4;
inline constexpr std::size_t kFixedPointBytes = 8;

/// How a point of an outline takes part in its curve.
enum class PointKind : uint8_t {
    OnCurve,
    Conic,  ///< control point of a quadratic arc; between two of them lies an implied on-curve point
    Cubic,  ///< one of the two control points of a cubic arc
};

/// A point of an outline in 26.6 fixed point, as font engines give them.
struct OutlinePoint {
    int64_t x;
    int64_t y;
    PointKind kind;
};

/// Appends the contours of an outline as native records. Each contour ends at the index in contourEnds; a contour
/// keeps the implied on-curve points of consecutive conic points implied (one spline record holds them), and each
/// cubic arc becomes quadratic arcs within 1/16 of a unit of it. False, with `out` as it was, for an outline that
/// is not well formed (a contour starting on a cubic control point, a lone cubic control point, contour ends out
/// of order or beyond the points).
bool appendNativeRecords(std::span<const OutlinePoint> points, std::span<const int32_t> contourEnds,
                         std::vector<uint8_t> &out);

}  // namespace vutil::platform
