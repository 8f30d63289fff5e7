// Polygon fill: even-odd scan conversion of a closed integer polygon into horizontal spans.
#pragma once

#include <cstdint>
#include <span>

#include "vutil/geometry.h"

namespace vutil::geometry {

/// Where the spans go: the caller's callbacks and the three values passed through to them unread.
struct FillTarget {
    intptr_t context;
    intptr_t device;
    intptr_t user;
    fill_segment_proc segment;  ///< must not be null
    fill_rect_proc rect;        ///< may be null
};

/// Polygons of up to this many points are filled with work areas inside the call.
inline constexpr int32_t kSmallFillPolygon = 32;

/// Scan-converts the polygon (last point repeating the first) on the lines ymin + step, ymin + 2 step,
/// ... below ymax, pairing the sorted crossings of each line, after the polygon's horizontal edges
/// on that line. A five-point axis-aligned rectangle goes whole to the rectangle callback when there
/// is one. The spans and their order are those of the edge-by-edge scan, but each line costs only
/// the edges that cross it: the edges are sorted by their lower end once, and an active list kept
/// in crossing order is updated from line to line. Lines with nothing to draw are skipped.
/// Fewer than two points draw nothing; so does a failure to obtain the work area.
void fillPolygon(std::span<const ipoint> points, int32_t step, const FillTarget &target) noexcept;

}  // namespace vutil::geometry
