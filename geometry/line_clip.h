// Clipping of one segment to a closed axis-parallel window by region codes, in integers and in doubles.
#pragma once

#include <cstdint>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// A closed window in integer device coordinates; xmin <= xmax and ymin <= ymax for a non-empty one.
struct IntWindow {
    int32_t xmin;
    int32_t ymin;
    int32_t xmax;
    int32_t ymax;
};

/// A closed window in double coordinates.
struct RealWindow {
    double xmin;
    double ymin;
    double xmax;
    double ymax;
};

/// The most passes a segment gets; ordinary segments settle in three, the bound ends the rest.
inline constexpr int kClipPasses = 9;

/// Clips the segment a-b; on success out1 is on a's side and out2 on b's side, each made whole by
/// truncation toward zero at every move. False (outputs untouched) when nothing was found inside.
bool clipSegment(ipoint a, ipoint b, ipoint &out1, ipoint &out2, const IntWindow &window) noexcept;
/// The same in double precision; each output keeps the z of the endpoint on its side. A coordinate
/// that is not a number, in the segment or the window, is never inside: such a segment gives false.
bool clipSegment(const vpoint &a, const vpoint &b, vpoint &out1, vpoint &out2, const RealWindow &window) noexcept;

}  // namespace vutil::geometry
