// Polygon fill: even-odd scan conversion of a closed integer polygon into horizontal spans.
//
// The spans are defined edge by edge: on each scan line every edge of the polygon either lies on the
// line (a horizontal edge, drawn as it is), touches it with an end point (a vertex, which crosses the
// line unless it is a turning point), or crosses it strictly (at the truncated intersection). The
// crossings are sorted and paired. Taking every edge on every line costs n per line; here the same
// spans come from three tables built once per call:
//   - the edges that can cross a line strictly, sorted by their lower end; an active list holds the
//     ones spanning the current line, in crossing order, which changes little from line to line;
//   - the vertices that cross the line they lie on, sorted by y (whether a vertex crosses depends
//     only on its neighbours, so it is decided once);
//   - the horizontal edges, sorted by y and then by their place in the polygon, which is the order in
//     which they are drawn.
#include "geometry/polygon_fill.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "geometry/numeric.h"
#include "platform/memory.h"

namespace vutil::geometry {
namespace {

/// An edge that crosses the lines strictly between its ends.
struct SlopedEdge {
    double slope;  ///< dx / dy of the edge, from its start point
    int32_t lo;    ///< lower y of the two ends
    int32_t hi;    ///< upper y
    int32_t x0;    ///< start point, from which the crossing is computed
    int32_t y0;
};

/// A vertex that adds a crossing on the line through it.
struct VertexCrossing {
    int32_t y;
    int32_t x;
};

/// A horizontal edge, drawn on the line through it; `doubled` edges are steps of the boundary, which
/// also add a crossing at their start and are drawn a second time.
struct FlatEdge {
    int32_t y;
    int32_t index;
    int32_t doubled;
};

/// An edge of the active list, with what its crossing needs kept at hand, and its crossing on the
/// current line.
struct ActiveEdge {
    double slope;
    double x0;  ///< the start point, held as doubles: converted once, not on every line
    double y0;
    int32_t hi;
    int32_t x;
};

/// The work area of one call: fixed arrays for small polygons, one global block for larger ones.
struct FillTables {
    SlopedEdge *sloped;
    ActiveEdge *active;
    ActiveEdge *spare;  ///< the active list of the next line is built here, then the two swap
    ActiveEdge *incoming;
    VertexCrossing *vertices;
    FlatEdge *flats;
    int32_t *extras;
};

struct SmallTables {
    SlopedEdge sloped[kSmallFillPolygon];
    ActiveEdge active[kSmallFillPolygon];
    ActiveEdge spare[kSmallFillPolygon];
    ActiveEdge incoming[kSmallFillPolygon];
    VertexCrossing vertices[kSmallFillPolygon];
    FlatEdge flats[kSmallFillPolygon];
    int32_t extras[kSmallFillPolygon];
};

/// Bytes of the global block for n points; each table holds n entries.
std::size_t tableBytes(std::size_t n) noexcept {
    return n *
           (sizeof(SlopedEdge) + 3 * sizeof(ActiveEdge) + sizeof(VertexCrossing) + sizeof(FlatEdge) + sizeof(int32_t));
}

FillTables carveTables(void *block, std::size_t n) noexcept {
    // Laid out by decreasing alignment; the block itself is aligned for any type.
    auto *bytes = static_cast<unsigned char *>(block);
    FillTables t{};
    t.sloped = reinterpret_cast<SlopedEdge *>(bytes);
    bytes += n * sizeof(SlopedEdge);
    t.active = reinterpret_cast<ActiveEdge *>(bytes);
    bytes += n * sizeof(ActiveEdge);
    t.spare = reinterpret_cast<ActiveEdge *>(bytes);
    bytes += n * sizeof(ActiveEdge);
    t.incoming = reinterpret_cast<ActiveEdge *>(bytes);
    bytes += n * sizeof(ActiveEdge);
    t.vertices = reinterpret_cast<VertexCrossing *>(bytes);
    bytes += n * sizeof(VertexCrossing);
    t.flats = reinterpret_cast<FlatEdge *>(bytes);
    bytes += n * sizeof(FlatEdge);
    t.extras = reinterpret_cast<int32_t *>(bytes);
    return t;
}

/// True when b and c lie strictly on the same side of y: the boundary turns back at a vertex on y.
bool turnsAt(int32_t y, int32_t b, int32_t c) noexcept {
    return (b < y && c < y) || (b > y && c > y);
}

/// The crossing of an edge with line y (given as a double) strictly between its ends, truncated
/// toward zero. y - y0 is an integer below 2^33, so it is the same exact value whether the
/// subtraction is made in integers or in doubles. The crossing lies between the edge's two x values
/// up to a rounding far below 1, so it always converts to 32 bits.
int32_t crossingAt(const ActiveEdge &e, double y) noexcept {
    return static_cast<int32_t>((y - e.y0) * e.slope + e.x0);
}

bool byCrossing(const ActiveEdge &a, const ActiveEdge &b) noexcept {
    return a.x < b.x;
}

/// Sorts the active list by crossing. From one line to the next the order barely changes, so an
/// insertion sort is linear; when it meets much disorder (self-intersecting polygons) it hands over
/// to a full sort.
void sortActive(ActiveEdge *active, std::size_t count) noexcept {
    std::size_t budget = 2 * count + 32;
    for (std::size_t i = 1; i < count; ++i) {
        const ActiveEdge item = active[i];
        std::size_t j = i;
        while (j > 0 && active[j - 1].x > item.x) {
            if (budget-- == 0) {
                active[j] = item;
                std::sort(active, active + count, byCrossing);
                return;
            }
            active[j] = active[j - 1];
            --j;
        }
        active[j] = item;
    }
}

class ScanConverter {
public:
    ScanConverter(std::span<const ipoint> points, const FillTarget &target, const FillTables &tables) noexcept
        : p_(points), target_(target), t_(tables) {}

    void run(int32_t step, int32_t ymin, int32_t ymax) noexcept {
        buildTables();
        // Lines ymin + k step for k >= 1 below ymax; a polygon flat or exactly one step high gets the
        // single line ymin + step.
        const bool single = ymin == ymax || int64_t{ymin} + step == ymax;
        int64_t k = 1;
        for (;;) {
            const int64_t y = int64_t{ymin} + k * step;
            if (!single && y >= ymax) {
                break;
            }
            const bool drawn = scanLine(y);
            if (single) {
                break;
            }
            int64_t next = k + 1;
            if (!drawn) {
                // Nothing can be drawn before the next table event: skip the lines in between.
                const int64_t event = nextEvent();
                if (event == kNoEvent) {
                    break;
                }
                if (event > y) {
                    next = std::max(next, (event - ymin + step - 1) / step);
                }
            }
            k = next;
        }
    }

private:
    static constexpr int64_t kNoEvent = INT64_MAX;

    void buildTables() noexcept {
        const auto n = static_cast<int32_t>(p_.size());
        const auto y = [this](int32_t i) { return p_[static_cast<std::size_t>(i)].y; };
        for (int32_t i = 0; i + 1 < n; ++i) {
            const ipoint &a = p_[static_cast<std::size_t>(i)];
            const ipoint &b = p_[static_cast<std::size_t>(i) + 1];
            if (a.y == b.y) {
                const bool isStep =
                    i >= 1 && i <= n - 3 && ((y(i - 1) > a.y && y(i + 2) < a.y) || (y(i - 1) < a.y && y(i + 2) > a.y));
                t_.flats[flatCount_++] = FlatEdge{a.y, i, isStep ? 1 : 0};
            } else {
                const double slope = difference(b.x, a.x) / difference(b.y, a.y);
                t_.sloped[slopedCount_++] = SlopedEdge{slope, std::min(a.y, b.y), std::max(a.y, b.y), a.x, a.y};
            }
        }
        // A vertex crosses the line through it unless the boundary turns back there or runs along the
        // line on both sides. The first vertex looks back to the point before the closing point and is
        // only taken where the first edge leaves the line; the closing vertex itself adds nothing.
        if (n >= 2 && y(1) != y(0) && !turnsAt(y(0), y(n - 2), y(1))) {
            t_.vertices[vertexCount_++] = VertexCrossing{y(0), p_[0].x};
        }
        for (int32_t v = 1; v <= n - 2; ++v) {
            const int32_t here = y(v);
            const int32_t before = y(v - 1);
            const int32_t after = y(v + 1);
            if ((before == here && after == here) || turnsAt(here, before, after)) {
                continue;
            }
            t_.vertices[vertexCount_++] = VertexCrossing{here, p_[static_cast<std::size_t>(v)].x};
        }
        std::sort(t_.sloped, t_.sloped + slopedCount_,
                  [](const SlopedEdge &a, const SlopedEdge &b) { return a.lo < b.lo; });
        std::sort(t_.vertices, t_.vertices + vertexCount_,
                  [](const VertexCrossing &a, const VertexCrossing &b) { return a.y < b.y; });
        // Within a line, flat edges are drawn in polygon order.
        std::sort(t_.flats, t_.flats + flatCount_,
                  [](const FlatEdge &a, const FlatEdge &b) { return a.y < b.y || (a.y == b.y && a.index < b.index); });
    }

    /// Draws line y; false when nothing was drawn on it.
    bool scanLine(int64_t y) noexcept {
        const auto lineY = static_cast<double>(y);
        std::size_t extraCount = 0;
        bool drawn = false;

        while (nextFlat_ < flatCount_ && t_.flats[nextFlat_].y < y) {
            ++nextFlat_;
        }
        for (; nextFlat_ < flatCount_ && t_.flats[nextFlat_].y == y; ++nextFlat_) {
            const FlatEdge &flat = t_.flats[nextFlat_];
            const ipoint a = p_[static_cast<std::size_t>(flat.index)];
            const ipoint b = p_[static_cast<std::size_t>(flat.index) + 1];
            emit(a, b);
            if (flat.doubled) {
                t_.extras[extraCount++] = a.x;
                emit(a, b);
            }
            drawn = true;
        }

        while (nextVertex_ < vertexCount_ && t_.vertices[nextVertex_].y < y) {
            ++nextVertex_;
        }
        for (; nextVertex_ < vertexCount_ && t_.vertices[nextVertex_].y == y; ++nextVertex_) {
            t_.extras[extraCount++] = t_.vertices[nextVertex_].x;
        }

        // Edges whose lower end lies below the line join the active list, unless they end on or
        // below it too (lines skipped by a step above 1).
        std::size_t incomingCount = 0;
        for (; nextSloped_ < slopedCount_ && t_.sloped[nextSloped_].lo < y; ++nextSloped_) {
            const SlopedEdge &entry = t_.sloped[nextSloped_];
            if (entry.hi > y) {
                ActiveEdge edge{entry.slope, static_cast<double>(entry.x0), static_cast<double>(entry.y0), entry.hi, 0};
                edge.x = crossingAt(edge, lineY);
                t_.incoming[incomingCount++] = edge;
            }
        }
        std::sort(t_.incoming, t_.incoming + incomingCount, byCrossing);

        // One pass rebuilds the active list for this line: ended edges leave, the others get their
        // new crossing, and the new edges are merged in. The old order barely changes from line to
        // line; where it did (edges that cross each other), the list is sorted again.
        const ActiveEdge *from = t_.active;
        ActiveEdge *to = t_.spare;
        std::size_t kept = 0;
        std::size_t j = 0;
        bool ordered = true;
        int32_t previous = INT32_MIN;
        for (std::size_t i = 0; i < activeCount_; ++i) {
            if (from[i].hi <= y) {
                continue;
            }
            ActiveEdge edge = from[i];
            edge.x = crossingAt(edge, lineY);
            while (j < incomingCount && t_.incoming[j].x < edge.x) {
                to[kept++] = t_.incoming[j++];
            }
            ordered = ordered && previous <= edge.x;
            previous = edge.x;
            to[kept++] = edge;
        }
        while (j < incomingCount) {
            to[kept++] = t_.incoming[j++];
        }
        std::swap(t_.active, t_.spare);
        activeCount_ = kept;
        if (!ordered) {
            sortActive(t_.active, activeCount_);
        }

        const std::size_t total = activeCount_ + extraCount;
        if (total < 2) {
            return drawn;
        }
        const auto line = static_cast<int32_t>(y);
        const ActiveEdge *active = t_.active;
        if (extraCount == 0) {
            for (std::size_t c = 0; c + 1 < total; c += 2) {
                emit(ipoint{active[c].x, line}, ipoint{active[c + 1].x, line});
            }
            return true;
        }
        // Pair the active crossings merged with the vertex and step crossings of the line. The
        // crossings are counted, so every value pairs, whatever x it has; an odd last one is dropped.
        std::sort(t_.extras, t_.extras + extraCount);
        std::size_t a = 0;
        std::size_t e = 0;
        const auto next = [&]() noexcept {
            if (e == extraCount || (a < activeCount_ && active[a].x <= t_.extras[e])) {
                return active[a++].x;
            }
            return t_.extras[e++];
        };
        for (std::size_t c = 0; c + 1 < total; c += 2) {
            const int32_t left = next();
            const int32_t right = next();
            emit(ipoint{left, line}, ipoint{right, line});
        }
        return true;
    }

    /// The first y at which a table entry can draw something again.
    int64_t nextEvent() const noexcept {
        int64_t event = kNoEvent;
        if (nextFlat_ < flatCount_) {
            event = std::min<int64_t>(event, t_.flats[nextFlat_].y);
        }
        if (nextVertex_ < vertexCount_) {
            event = std::min<int64_t>(event, t_.vertices[nextVertex_].y);
        }
        if (nextSloped_ < slopedCount_) {
            event = std::min<int64_t>(event, int64_t{t_.sloped[nextSloped_].lo} + 1);
        }
        return event;
    }

    void emit(const ipoint &left, const ipoint &right) const noexcept {
        target_.segment(target_.context, target_.device, &left, &right, target_.user);
    }

    std::span<const ipoint> p_;
    const FillTarget &target_;
    FillTables t_;
    std::size_t slopedCount_ = 0;
    std::size_t vertexCount_ = 0;
    std::size_t flatCount_ = 0;
    std::size_t activeCount_ = 0;
    std::size_t nextSloped_ = 0;
    std::size_t nextVertex_ = 0;
    std::size_t nextFlat_ = 0;
};

/// True for five points forming an axis-aligned rectangle, in either winding (the fifth is not looked at).
bool isRectangle(std::span<const ipoint> p) noexcept {
    return (p[0].x == p[3].x && p[1].x == p[2].x && p[0].y == p[1].y && p[2].y == p[3].y) ||
           (p[0].y == p[3].y && p[1].y == p[2].y && p[0].x == p[1].x && p[2].x == p[3].x);
}

}  // namespace

void fillPolygon(std::span<const ipoint> points, int32_t step, const FillTarget &target) noexcept {
    if (points.size() < 2 || target.segment == nullptr) {
        return;
    }
    if (step < 1) {
        step = 1;
    }
    const std::size_t n = points.size();
    SmallTables small;
    FillTables tables{};
    std::optional<platform::LockedGlobal> block;
    if (n <= static_cast<std::size_t>(kSmallFillPolygon)) {
        tables = FillTables{small.sloped,   small.active, small.spare, small.incoming,
                            small.vertices, small.flats,  small.extras};
    } else {
        // Each table has n entries; a count too large to describe in bytes is refused like a failed block.
        if (n > SIZE_MAX / tableBytes(1)) {
            return;
        }
        block.emplace(platform::kGmemMoveable | platform::kGmemZeroInit, tableBytes(n));
        if (!*block) {
            return;
        }
        tables = carveTables(block->data(), n);
    }

    int32_t ymin = points[0].y;
    int32_t ymax = points[0].y;
    for (const ipoint &p : points) {
        ymin = std::min(ymin, p.y);
        ymax = std::max(ymax, p.y);
    }
    if (n == 5 && target.rect != nullptr && isRectangle(points)) {
        target.rect(target.context, target.device, &points[0], &points[2], target.user);
        return;
    }
    ScanConverter(points, target, tables).run(step, ymin, ymax);
}

}  // namespace vutil::geometry
