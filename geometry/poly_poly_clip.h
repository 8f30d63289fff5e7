// Clipping of closed contours against a convex polygon, edge by edge, with the pieces that each edge
// cuts apart reconnected along the edge line into separate closed contours.
#pragma once

#include <cstdint>
#include <limits>
#include <span>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// Working storage is reserved ahead for subjects of up to this many points; larger hints are
/// ignored beyond it, since the tables grow as a subject needs anyway.
inline constexpr int32_t kMaxReservedPoints = 1 << 20;
/// Working totals above this many points are refused: the reconnection can write up to four times
/// an edge's input, and every count stays a 32-bit integer.
inline constexpr int32_t kMaxClipPoints = std::numeric_limits<int32_t>::max() / 4;

/// Reserves the process-wide clipping state for subjects of about `maxPoints` points in
/// `maxContours` contours. Only a hint: a clip grows the state as its subject needs, with or without
/// it, and nothing fails here.
void reserveClipState(int32_t maxPoints, int32_t maxContours) noexcept;

/// Frees the clipping state. Harmless when it holds nothing; a later clip sets it up again.
void releaseClipState() noexcept;

/// Clips the subject (`n` points in `points`, a malloc block; `contours` closed contours whose sizes
/// are in `counts`) against the convex, counter-clockwise polygon `clip`, closed or open. On success
/// the block is freed and replaced by a malloc block of exactly the result's points, the first
/// `contours` entries of `counts` receive the new contour sizes, and the result is the number of
/// points. 0 otherwise:
/// - with nothing changed, for fewer than three clip points, a subject without points, contour sizes
///   that are negative or add up to more than `n`, and bounding boxes that do not meet;
/// - with `contours` 0 and nothing else changed, when nothing is visible;
/// - with `contours` 0, `counts[0]` 0 and the block kept, when memory runs out, more contours would
///   come out than `n` (the room callers are told to give `counts`), or an edge cuts more than
///   kMaxExchangeSorted crossings whose places along it repeat.
int32_t clipContours(vpoint *&points, int32_t n, int32_t *counts, int32_t &contours,
                     std::span<const vpoint> clip) noexcept;

}  // namespace vutil::geometry
