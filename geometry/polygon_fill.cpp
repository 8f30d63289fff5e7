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
//
// The active list is the hot part on dense polygons (thousands of edges crossing each line). It is
// kept column by column and in crossing order from line to line: one pass computes every crossing
// afresh (the same product and sum as the edge-by-edge definition, so the same truncated value; a
// running sum would round differently), notes the edges that have ended and checks the order. The
// list is sorted again only where crossings swapped. Edges that end or begin move the entries
// between them in whole runs, each entry at most once per line. Nothing is allocated per line.
#include "geometry/polygon_fill.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "geometry/numeric.h"
#include "platform/memory.h"

namespace vutil::geometry {
namespace {

/// An edge that crosses the lines strictly between its ends, with its start point held as doubles
/// (converted once, not on every line).
struct SlopedEdge {
    double slope;  ///< dx / dy of the edge, from its start point
    double x0;     ///< start point, from which the crossing is computed
    double y0;
    int32_t lo;  ///< lower y of the two ends
    int32_t hi;  ///< upper y
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

/// One active edge taken out of the columns, to be moved or sorted whole.
struct ActiveEdge {
    double slope;
    double x0;
    double y0;
    int32_t hi;
    int32_t x;
};

/// The active list: the edges spanning the current line, in crossing order, column by column, so
/// that the crossings of a whole line come from one pass over contiguous arrays.
struct ActiveColumns {
    double *slope;
    double *x0;
    double *y0;
    int32_t *hi;
    int32_t *x;  ///< the crossing on the current line

    ActiveEdge get(std::size_t i) const noexcept { return ActiveEdge{slope[i], x0[i], y0[i], hi[i], x[i]}; }
    void set(std::size_t i, const ActiveEdge &e) const noexcept {
        slope[i] = e.slope;
        x0[i] = e.x0;
        y0[i] = e.y0;
        hi[i] = e.hi;
        x[i] = e.x;
    }
    /// Moves entries [from, from + count) to start at `to`; the ranges may overlap.
    void move(std::size_t to, std::size_t from, std::size_t count) const noexcept {
        std::memmove(slope + to, slope + from, count * sizeof(double));
        std::memmove(x0 + to, x0 + from, count * sizeof(double));
        std::memmove(y0 + to, y0 + from, count * sizeof(double));
        std::memmove(hi + to, hi + from, count * sizeof(int32_t));
        std::memmove(x + to, x + from, count * sizeof(int32_t));
    }
};

/// The work area of one call: fixed arrays for small polygons, one global block for larger ones.
/// Each table holds one entry per point.
struct FillTables {
    SlopedEdge *sloped;
    ActiveEdge *scratch;  ///< the active list taken out whole, for a full sort
    ActiveColumns active;
    int32_t *ended;  ///< places in the active list of the edges that end on the current line
    VertexCrossing *vertices;
    FlatEdge *flats;
    int32_t *extras;
};

struct SmallTables {
    SlopedEdge sloped[kSmallFillPolygon];
    ActiveEdge scratch[kSmallFillPolygon];
    double slope[kSmallFillPolygon];
    double x0[kSmallFillPolygon];
    double y0[kSmallFillPolygon];
    int32_t hi[kSmallFillPolygon];
    int32_t x[kSmallFillPolygon];
    int32_t ended[kSmallFillPolygon];
    VertexCrossing vertices[kSmallFillPolygon];
    FlatEdge flats[kSmallFillPolygon];
    int32_t extras[kSmallFillPolygon];

    FillTables tables() noexcept {
        return FillTables{sloped, scratch, ActiveColumns{slope, x0, y0, hi, x}, ended, vertices, flats, extras};
    }
};

/// Bytes of the global block for n points.
std::size_t tableBytes(std::size_t n) noexcept {
    return n * (sizeof(SlopedEdge) + sizeof(ActiveEdge) + 3 * sizeof(double) + 4 * sizeof(int32_t) +
                sizeof(VertexCrossing) + sizeof(FlatEdge));
}

/// Takes `count` entries of T from the block; the tables are laid out by decreasing alignment.
template <typename T>
T *carve(unsigned char *&bytes, std::size_t count) noexcept {
    T *table = reinterpret_cast<T *>(bytes);
    bytes += count * sizeof(T);
    return table;
}

FillTables carveTables(void *block, std::size_t n) noexcept {
    auto *bytes = static_cast<unsigned char *>(block);
    FillTables t{};
    t.sloped = carve<SlopedEdge>(bytes, n);
    t.scratch = carve<ActiveEdge>(bytes, n);
    t.active.slope = carve<double>(bytes, n);
    t.active.x0 = carve<double>(bytes, n);
    t.active.y0 = carve<double>(bytes, n);
    t.active.hi = carve<int32_t>(bytes, n);
    t.active.x = carve<int32_t>(bytes, n);
    t.ended = carve<int32_t>(bytes, n);
    t.vertices = carve<VertexCrossing>(bytes, n);
    t.flats = carve<FlatEdge>(bytes, n);
    t.extras = carve<int32_t>(bytes, n);
    return t;
}

/// True when b and c lie strictly on the same side of y: the boundary turns back at a vertex on y.
bool turnsAt(int32_t y, int32_t b, int32_t c) noexcept {
    return (b < y && c < y) || (b > y && c > y);
}

/// The crossing of an edge with line y (given as a double), before truncation. y - y0 is an integer
/// below 2^33, so it is the same exact value whether the subtraction is made in integers or in
/// doubles. Strictly between the edge's ends the crossing lies between its two x values up to a
/// rounding far below 1, so it always converts to 32 bits.
double crossingAt(double slope, double x0, double y0, double y) noexcept {
    return (y - y0) * slope + x0;
}

/// Crossing order on line y: by the truncated crossing, then by the crossing itself, then by slope,
/// so that edges whose crossings round to the same x are kept in the order they take on the lines
/// above, and the list seldom needs sorting again.
bool crossesBefore(const ActiveEdge &a, const ActiveEdge &b, double y) noexcept {
    if (a.x != b.x) {
        return a.x < b.x;
    }
    const double ax = crossingAt(a.slope, a.x0, a.y0, y);
    const double bx = crossingAt(b.slope, b.x0, b.y0, y);
    return ax < bx || (ax == bx && a.slope < b.slope);
}

class ScanConverter {
public:
    ScanConverter(std::span<const ipoint> points, const FillTarget &target, const FillTables &tables) noexcept
        : p_(points), target_(target), t_(tables), a_(tables.active) {}

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
                t_.sloped[slopedCount_++] = SlopedEdge{slope, static_cast<double>(a.x), static_cast<double>(a.y),
                                                       std::min(a.y, b.y), std::max(a.y, b.y)};
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

        computeCrossings(y, lineY);
        addIncoming(y, lineY);

        const std::size_t total = activeCount_ + extraCount;
        if (total < 2) {
            return drawn;
        }
        const auto line = static_cast<int32_t>(y);
        const int32_t *x = a_.x;
        if (extraCount == 0) {
            const FillTarget target = target_;
            for (std::size_t c = 0; c + 1 < total; c += 2) {
                const ipoint left{x[c], line};
                const ipoint right{x[c + 1], line};
                target.segment(target.context, target.device, &left, &right, target.user);
            }
            return true;
        }
        // Pair the active crossings merged with the vertex and step crossings of the line. The
        // crossings are counted, so every value pairs, whatever x it has; an odd last one is dropped.
        std::sort(t_.extras, t_.extras + extraCount);
        std::size_t a = 0;
        std::size_t e = 0;
        const auto next = [&]() noexcept {
            if (e == extraCount || (a < activeCount_ && x[a] <= t_.extras[e])) {
                return x[a++];
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

    /// The crossings of the active edges with line y, in one pass that also finds the edges ending
    /// on or below the line; these leave the list afterwards, the runs between them moving down in
    /// one piece each. Where edges crossed each other since the last line, the list is sorted again.
    void computeCrossings(int64_t y, double lineY) noexcept {
        const std::size_t count = activeCount_;
        const double *slope = a_.slope;
        const double *x0 = a_.x0;
        const double *y0 = a_.y0;
        const int32_t *hi = a_.hi;
        int32_t *x = a_.x;
        int32_t *ended = t_.ended;
        std::size_t endedCount = 0;
        int32_t previous = INT32_MIN;
        bool ordered = true;
        for (std::size_t i = 0; i < count; ++i) {
            if (hi[i] <= y) [[unlikely]] {
                ended[endedCount++] = static_cast<int32_t>(i);
                continue;
            }
            const auto crossing = static_cast<int32_t>(crossingAt(slope[i], x0[i], y0[i], lineY));
            x[i] = crossing;
            ordered &= previous <= crossing;
            previous = crossing;
        }
        if (endedCount != 0) {
            std::size_t kept = static_cast<std::size_t>(ended[0]);
            for (std::size_t r = 0; r < endedCount; ++r) {
                const std::size_t from = static_cast<std::size_t>(ended[r]) + 1;
                const std::size_t to = r + 1 < endedCount ? static_cast<std::size_t>(ended[r + 1]) : count;
                a_.move(kept, from, to - from);
                kept += to - from;
            }
            activeCount_ = kept;
        }
        if (!ordered) {
            sortActive(lineY);
        }
    }

    /// Sorts the active list by crossing. From one line to the next the order barely changes, so an
    /// insertion sort is linear; when it meets much disorder (self-intersecting polygons) it hands
    /// over to a full sort.
    void sortActive(double y) noexcept {
        const std::size_t count = activeCount_;
        std::size_t budget = 2 * count + 32;
        for (std::size_t i = 1; i < count; ++i) {
            if (a_.x[i - 1] < a_.x[i]) {
                continue;
            }
            const ActiveEdge item = a_.get(i);
            std::size_t j = i;
            while (j > 0 && crossesBefore(item, a_.get(j - 1), y)) {
                if (budget-- == 0) {
                    a_.set(j, item);
                    sortWhole(y);
                    return;
                }
                a_.set(j, a_.get(j - 1));
                --j;
            }
            a_.set(j, item);
        }
    }

    void sortWhole(double y) noexcept {
        const std::size_t count = activeCount_;
        for (std::size_t i = 0; i < count; ++i) {
            t_.scratch[i] = a_.get(i);
        }
        std::sort(t_.scratch, t_.scratch + count,
                  [y](const ActiveEdge &a, const ActiveEdge &b) { return crossesBefore(a, b, y); });
        for (std::size_t i = 0; i < count; ++i) {
            a_.set(i, t_.scratch[i]);
        }
    }

    /// Adds the edges whose lower end lies below line y, unless they end on or below it too (lines
    /// skipped by a step above 1). They come from the edge table in their crossing order, and each
    /// is moved into place from the back of the list, so the entries behind it move only once.
    void addIncoming(int64_t y, double lineY) noexcept {
        const std::size_t first = nextSloped_;
        std::size_t last = first;
        for (; nextSloped_ < slopedCount_ && t_.sloped[nextSloped_].lo < y; ++nextSloped_) {
            if (t_.sloped[nextSloped_].hi > y) {
                t_.sloped[last++] = t_.sloped[nextSloped_];
            }
        }
        if (first == last) {
            return;
        }
        const auto entering = [lineY](const SlopedEdge &s) noexcept {
            return ActiveEdge{s.slope, s.x0, s.y0, s.hi,
                              static_cast<int32_t>(crossingAt(s.slope, s.x0, s.y0, lineY))};
        };
        std::sort(t_.sloped + first, t_.sloped + last, [&](const SlopedEdge &a, const SlopedEdge &b) {
            return crossesBefore(entering(a), entering(b), lineY);
        });
        std::size_t end = activeCount_;
        activeCount_ += last - first;
        for (std::size_t m = last - first; m > 0; --m) {
            const SlopedEdge &source = t_.sloped[first + m - 1];
            const ActiveEdge edge = entering(source);
            // The first place among entries [0, end) whose edge comes after the new one.
            std::size_t lo = 0;
            std::size_t hi = end;
            while (lo < hi) {
                const std::size_t mid = lo + (hi - lo) / 2;
                if (crossesBefore(edge, a_.get(mid), lineY)) {
                    hi = mid;
                } else {
                    lo = mid + 1;
                }
            }
            a_.move(lo + m, lo, end - lo);
            a_.set(lo + m - 1, edge);
            end = lo;
        }
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
    ActiveColumns a_;
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
        tables = small.tables();
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
