// Curves and arcs: Bezier points and samples, the circle through three points, arcs in angle steps.
#pragma once

#include <cstdint>
#include <span>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// The two-pi constant that brings an arc's end angle past its start.
inline constexpr double kTwoPi = 6.283185307179586;
/// An end angle more than this many turns before the start is not brought past it turn by turn: the
/// arc then ends where it starts. Ordinary arcs need at most one turn.
inline constexpr int32_t kMaxArcTurns = 1 << 20;

/// Up to this many control points the binomial weights are formed in 32-bit integers, which hold
/// them exactly.
inline constexpr int32_t kExactBezierPoints = 13;

/// The point at parameter t of the Bezier curve with the given control points, in Bernstein form:
/// each control point weighted by its binomial, multiplied by t and by 1 - t one factor at a time.
/// Longer curves, beyond the integer weights, are evaluated in double precision in linear time.
vpoint bezierPoint(double t, std::span<const vpoint> control) noexcept;
/// Samples the curve at t = s / out.size() for every s; the end point t = 1 is not among them.
void bezierSamples(std::span<vpoint> out, std::span<const vpoint> control) noexcept;

/// A circle: centre and radius, the radius -1 when three points have none.
struct Circle {
    double cx;
    double cy;
    double radius;
};
/// The circle through three points, from the perpendicular bisectors of P1P2 and P2P3.
Circle circleThrough(double x1, double y1, double x2, double y2, double x3, double y3) noexcept;

/// Walks the arc of radii rx, ry about centre from a0 anticlockwise to a1 in steps of `step`, writing at
/// most maxpts points (the last replaced by the exact end point; a single point gets the end point added).
/// Returns the count; nothing is written when maxpts is below 1 or an angle is not a number.
int32_t arcPoints(vpoint *out, const vpoint &centre, double rx, double ry, double a0, double a1, double step,
                  int32_t maxpts) noexcept;

}  // namespace vutil::geometry
