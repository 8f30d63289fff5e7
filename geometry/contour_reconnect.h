// Reconnection of contours cut by one clip edge into closed loops along the edge line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "geometry/work_table.h"
#include "vutil/geometry.h"

namespace vutil::geometry {

/// One visible run of a cut contour: `length` points of the edge result, taken cyclically from
/// position `start` of the contour that begins at index `offset` and holds `count` points. A chain
/// whose length has been set to 0 has been used.
struct Chain {
    int32_t offset;
    int32_t count;
    int32_t start;
    int32_t length;
};

/// A contour of the edge result that the edge did not cut: `count` points from index `offset`.
struct ContourRun {
    int32_t offset;
    int32_t count;
};

/// Crossings whose places along the edge repeat (or are not numbers) are put in order by an exchange
/// sort, in time that grows with the square of their number; an edge with more of them is refused.
inline constexpr std::size_t kMaxExchangeSorted = std::size_t{1} << 14;

/// A crossing with its place along the edge line, for sorting.
struct KeyedCrossing {
    double key;
    int32_t index;
};

/// The tables the reconnection works in. They belong to the clipping state and are reused by every
/// edge of every clip.
struct ReconnectTables {
    WorkTable<int32_t> sortedPosition;  ///< per point: its place in the sorted crossing list, or -1
    WorkTable<int32_t> chainStart;      ///< per point: the chain that begins there, or -1
    WorkTable<KeyedCrossing> keyed;     ///< the crossings being sorted
    WorkTable<Chain> chains;
    WorkTable<ContourRun> untouched;
    WorkTable<vpoint> gathered;  ///< the new contours before they replace the edge result

    void release() noexcept;
};

/// The directed clip edge: its start and its direction (end minus start, not normalised).
struct EdgeLine {
    vpoint start;
    double dx;
    double dy;
};

/// The result of clipping every contour against one edge: `total` points in `points`, split into
/// `contours` contours whose sizes are in `counts`, and the indices of the crossing points in the
/// order they were recorded (each index below `total`, none twice).
struct CutContours {
    WorkTable<vpoint> &points;
    int32_t total;
    WorkTable<int32_t> &counts;
    int32_t contours;
    std::span<int32_t> crossings;
};

/// Sorts the crossings along the edge, splits the cut contours into chains between crossings, joins
/// the chains into closed loops by walking along the edge line from each crossing to its partner,
/// and replaces the points and counts with the loops followed by the uncut contours, which keep their
/// order. Consecutive points at one place appear once in a loop, and every loop ends at its first
/// point. A crossing list that breaks the pairing (an odd count, a partner where no chain begins)
/// leaves a loop as far as it was walked, closed, and drops the chains never reached.
/// Returns the new total, or -1 when memory runs out or more than kMaxExchangeSorted crossings would
/// need the exchange sort.
int32_t reconnectContours(CutContours &cut, const EdgeLine &edge, ReconnectTables &tables) noexcept;

}  // namespace vutil::geometry
