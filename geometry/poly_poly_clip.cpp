// Clipping of closed contours against a convex polygon, edge by edge, with the pieces that each edge
// cuts apart reconnected along the edge line into separate closed contours.
#include "geometry/poly_poly_clip.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "geometry/contour_reconnect.h"
#include "geometry/work_table.h"

namespace vutil::geometry {
namespace {

/// The process-wide clipping state: tables made on first need and kept for the next clip. Calls
/// must not overlap.
struct ClipState {
    WorkTable<vpoint> work;        ///< the subject as clipped so far
    WorkTable<vpoint> edge;        ///< the output of one edge clip
    WorkTable<int32_t> counts;     ///< contour sizes, of the work polygon and then of the edge result
    WorkTable<int32_t> crossings;  ///< indices of the crossing points in the edge result
    ReconnectTables reconnect;
};

constinit ClipState state;

/// Edges shorter than this are skipped.
constexpr double kShortestEdge = 1e-6;
/// A ring starts at a vertex farther than this from the edge line.
constexpr double kOffLine = 0.001;

/// The directed edge A -> B with its unit normal, which points to the invisible (right) side.
struct ClipEdge {
    EdgeLine line;
    double nx;
    double ny;

    /// Positive on the visible side: n . (A - P).
    double side(const vpoint &p) const noexcept { return nx * (line.start.x - p.x) + ny * (line.start.y - p.y); }
};

enum class Piece { kInvisible, kWhole, kEntering, kLeaving };

struct ClassifiedSegment {
    Piece piece;
    vpoint crossing;  ///< where an entering or leaving segment meets the edge line
};

/// Classifies the segment p0 -> p1 against the edge by the sides of its two ends: a visible end is
/// strictly on the visible side, and a segment between a visible and an invisible end crosses the
/// edge line at w / (w - w1) of its way, where w and w1 are the ends' distances from the line. Both
/// segments at a vertex see it on the same side, so every leaving crossing of a ring has its entering
/// one however thin the ring or small the angle; a segment on the line itself is invisible. A segment
/// whose direction, side or crossing is not a number is invisible.
ClassifiedSegment classify(const vpoint &p0, const vpoint &p1, const ClipEdge &edge) noexcept {
    const double ux = p1.x - p0.x;
    const double uy = p1.y - p0.y;
    const double w = edge.side(p0);
    const double w1 = edge.side(p1);
    if (std::isnan(ux) || std::isnan(uy) || std::isnan(w) || std::isnan(w1)) {
        return {Piece::kInvisible, {}};
    }
    const bool from = w > 0.0;
    const bool to = w1 > 0.0;
    if (from == to) {
        return {from ? Piece::kWhole : Piece::kInvisible, {}};
    }
    // w and w1 lie on opposite sides of 0 (or w1 is 0), so w - w1 is at least |w|: t is in [0, 1].
    const double t = w / (w - w1);
    if (std::isnan(t)) {
        return {Piece::kInvisible, {}};  // both ends at infinite distances
    }
    return {from ? Piece::kLeaving : Piece::kEntering, {p0.x + t * ux, p0.y + t * uy, 0.0}};
}

/// Rotates the closed ring of `count` points (the last repeating the first) so that it begins at
/// its first vertex clearly off the edge line, and rewrites the closing point to match; a ring with
/// no such vertex is rotated by one. A vertex at the edge's start counts as on the line.
void rotateRing(vpoint *ring, int32_t count, const ClipEdge &edge) noexcept {
    int32_t first = 0;
    while (first < count && !(std::fabs(edge.side(ring[first])) > kOffLine)) {
        ++first;
    }
    if (first == 0 || count < 2) {
        return;  // a single point has nothing to turn
    }
    const int32_t vertices = count - 1;  // before the closing point
    std::rotate(ring, ring + (first == count ? 1 : first) % vertices, ring + vertices);
    ring[vertices] = ring[0];
}

/// Output of one edge clip: the points and crossings written so far.
class EdgeOutput {
public:
    EdgeOutput(vpoint *points, int32_t *crossings) noexcept : points_(points), crossings_(crossings) {}

    void add(const vpoint &p) noexcept { points_[written_++] = p; }
    /// Records that the next point written is a crossing.
    void markNextAsCrossing() noexcept { crossings_[crossingCount_++] = written_; }

    int32_t written() const noexcept { return written_; }
    int32_t crossingCount() const noexcept { return crossingCount_; }

private:
    vpoint *points_;
    int32_t *crossings_;
    int32_t written_ = 0;
    int32_t crossingCount_ = 0;
};

/// Clips the contour `ring` of `count` points into `out`; returns the number of points written.
int32_t clipContour(vpoint *ring, int32_t count, const ClipEdge &edge, EdgeOutput &out) noexcept {
    rotateRing(ring, count, edge);
    const int32_t start = out.written();
    for (int32_t j = 0; j + 1 < count; ++j) {
        const ClassifiedSegment s = classify(ring[j], ring[j + 1], edge);
        switch (s.piece) {
            case Piece::kWhole:
                if (out.written() == start) {
                    out.add(ring[j]);
                }
                // A contour that ends inside after an unpaired crossing ends on a crossing.
                if (j + 2 == count && out.crossingCount() % 2 == 1) {
                    out.markNextAsCrossing();
                }
                out.add(ring[j + 1]);
                break;
            case Piece::kEntering:
                out.markNextAsCrossing();
                out.add(s.crossing);
                out.add(ring[j + 1]);
                break;
            case Piece::kLeaving:
                if (out.written() == start) {
                    out.add(ring[j]);
                }
                out.markNextAsCrossing();
                out.add(s.crossing);
                break;
            case Piece::kInvisible:
                break;
        }
    }
    return out.written() - start;
}

/// Clips the work polygon of `total` points in `contours` contours against the edge a -> b and
/// reconnects the pieces; the result replaces the work polygon and its counts. Returns the new
/// total (the same for an edge too short to clip), 0 when nothing is visible, -1 when memory runs out.
int32_t clipAgainstEdge(int32_t total, int32_t &contours, const vpoint &a, const vpoint &b) noexcept {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length < kShortestEdge) {
        return total;
    }
    // Each segment writes at most two points and records at most one crossing.
    const auto room = static_cast<std::size_t>(total);
    if (!state.edge.reserve(2 * room) || !state.crossings.reserve(room)) {
        return -1;
    }
    const ClipEdge edge{{a, dx, dy}, dy / length, -dx / length};
    EdgeOutput out(state.edge.data(), state.crossings.data());
    int32_t kept = 0;
    int32_t offset = 0;
    for (int32_t c = 0; c < contours; ++c) {
        const int32_t count = state.counts[c];
        const int32_t written = clipContour(state.work.data() + offset, count, edge, out);
        if (written > 0) {
            state.counts[kept++] = written;  // a contour with nothing visible is dropped
        }
        offset += count;
    }
    contours = kept;
    // The pieces are reconnected along the edge; without a crossing nothing changes.
    CutContours cut{state.edge, out.written(), state.counts, contours,
                    std::span<int32_t>(state.crossings.data(), static_cast<std::size_t>(out.crossingCount()))};
    const int32_t result = reconnectContours(cut, edge.line, state.reconnect);
    contours = cut.contours;
    state.work.swap(state.edge);
    return result;
}

bool samePoint(const vpoint &a, const vpoint &b) noexcept {
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

/// Smallest and largest x and y of a point list, starting from its first point.
struct Box {
    double minX, minY, maxX, maxY;

    explicit Box(std::span<const vpoint> points) noexcept
        : minX(points[0].x), minY(points[0].y), maxX(points[0].x), maxY(points[0].y) {
        for (const vpoint &p : points) {
            minX = p.x < minX ? p.x : minX;
            maxX = p.x > maxX ? p.x : maxX;
            minY = p.y < minY ? p.y : minY;
            maxY = p.y > maxY ? p.y : maxY;
        }
    }
    bool misses(const Box &o) const noexcept {
        return minX > o.maxX || maxX < o.minX || minY > o.maxY || maxY < o.minY;
    }
};

/// The number of points the contours hold, or -1 when a size is negative.
int64_t contourPoints(const int32_t *counts, int32_t contours) noexcept {
    int64_t sum = 0;
    for (int32_t c = 0; c < contours; ++c) {
        if (counts[c] < 0) {
            return -1;
        }
        sum += counts[c];
    }
    return sum;
}

/// The refusal of a result: the caller's points stay, no contour is reported.
int32_t refuse(int32_t *counts, int32_t &contours) noexcept {
    contours = 0;
    counts[0] = 0;
    return 0;
}

}  // namespace

void reserveClipState(int32_t maxPoints, int32_t maxContours) noexcept {
    const auto points = static_cast<std::size_t>(std::clamp(maxPoints, 0, kMaxReservedPoints));
    const auto contours = static_cast<std::size_t>(std::clamp(maxContours, 0, kMaxReservedPoints));
    // Failures are of no consequence here: the tables grow when a clip needs them.
    state.work.reserve(2 * points);
    state.edge.reserve(2 * points);
    state.reconnect.gathered.reserve(2 * points);
    state.counts.reserve(points);
    state.crossings.reserve(2 * contours);
}

void releaseClipState() noexcept {
    state.work.release();
    state.edge.release();
    state.counts.release();
    state.crossings.release();
    state.reconnect.release();
}

int32_t clipContours(vpoint *&points, int32_t n, int32_t *counts, int32_t &contours,
                     std::span<const vpoint> clip) noexcept {
    if (clip.size() < 3 || n < 1 || points == nullptr) {
        return 0;
    }
    const std::span<const vpoint> subject(points, static_cast<std::size_t>(n));
    if (Box(subject).misses(Box(clip)) || contours < 0) {
        return 0;
    }
    const int64_t covered = contourPoints(counts, contours);
    if (covered < 0 || covered > n) {
        return 0;
    }
    if (covered == 0) {
        contours = 0;  // nothing to clip, nothing visible
        return 0;
    }
    // Points beyond the last contour belong to none: they take no part, even when no edge clips.
    auto total = static_cast<int32_t>(covered);
    if (total > kMaxClipPoints || !state.work.reserve(static_cast<std::size_t>(total)) ||
        !state.counts.reserve(static_cast<std::size_t>(contours))) {
        return refuse(counts, contours);
    }
    std::copy_n(points, total, state.work.data());
    std::copy_n(counts, contours, state.counts.data());

    int32_t kept = contours;
    const std::size_t m = clip.size();
    const std::size_t edges = samePoint(clip[m - 1], clip[0]) ? m - 1 : m;  // an open polygon closes itself
    for (std::size_t i = 0; i < edges; ++i) {
        if (total > kMaxClipPoints) {
            return refuse(counts, contours);
        }
        total = clipAgainstEdge(total, kept, clip[i], clip[(i + 1) % m]);
        if (total < 0) {
            return refuse(counts, contours);
        }
        if (total == 0) {
            contours = 0;
            return 0;
        }
    }
    // The caller's counts have room for n contours.
    if (kept > n) {
        return refuse(counts, contours);
    }
    auto *result = static_cast<vpoint *>(clipMalloc(static_cast<std::size_t>(total) * sizeof(vpoint)));
    if (result == nullptr) {
        return refuse(counts, contours);
    }
    std::copy_n(state.work.data(), total, result);
    std::free(points);
    points = result;
    std::copy_n(state.counts.data(), kept, counts);
    contours = kept;
    return total;
}

}  // namespace vutil::geometry
