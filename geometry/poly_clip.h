// Clipping of point lists to a closed window by four half-plane passes, and thinning of long polylines.
#pragma once

#include <cstdint>

#include "geometry/line_clip.h"
#include "vutil/geometry.h"

namespace vutil::geometry {

/// Lists of up to this many points are clipped in a work area inside the call; longer ones take one
/// from the heap.
inline constexpr int32_t kSmallClipList = 32;
/// Room of the fixed work area: 2 * 32 + 4 points.
inline constexpr int32_t kSmallClipArea = 2 * kSmallClipList + 4;

/// Clips the list of n points in place; the array holds 2n + 4 points. Returns the new count, 0 when
/// nothing is visible, when the work area cannot be had, or when a pass would need more room than the
/// caller's 2n + 4 points or the work area (such lists are beyond the supported range; nothing is
/// written beyond either). Fewer than two points are returned unchanged.
int32_t clipPointList(ipoint *points, int32_t n, const IntWindow &window) noexcept;
/// The same for vpoints, after a bounding-box rejection. A crossing point takes the z interpolated
/// along its segment. Coordinates that are not numbers are never inside, and a crossing whose
/// computed coordinates are not finite is dropped, so every point returned lies in the window.
int32_t clipPointList(vpoint *points, int32_t n, const RealWindow &window) noexcept;

/// Paths of fewer points than this are left alone by the thinning.
inline constexpr int32_t kCullThreshold = 150;
/// The thinning samples the path at this many equal lengths.
inline constexpr int32_t kCullSamples = 150;
/// The thinned path holds at most this many points (and never more than the input had).
inline constexpr int32_t kCullArea = 151;

/// Thins a polyline of at least 150 points to about 150 points evenly spaced by length, in place.
/// Sampling stops while one place is left in the thinned path, so the path always ends at the last
/// input point, even for a path of zero length, which would otherwise sample every point.
void cullPolyline(vpoint *points, int32_t &n) noexcept;

}  // namespace vutil::geometry
