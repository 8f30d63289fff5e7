// Reconnection of contours cut by one clip edge into closed loops along the edge line.
#include "geometry/contour_reconnect.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace vutil::geometry {
namespace {

bool samePlace(const vpoint &a, const vpoint &b) noexcept {
    return a.x == b.x && a.y == b.y;
}

/// Sorts the keyed crossings by one pass per place: each later entry whose key is less than the one
/// at the place is exchanged into it. Equal keys are never exchanged; where keys repeat, the order
/// this leaves them in decides which crossings pair, so no other sort may stand in for it there.
void exchangeSort(std::span<KeyedCrossing> list) noexcept {
    for (std::size_t i = 0; i < list.size(); ++i) {
        for (std::size_t j = i + 1; j < list.size(); ++j) {
            if (list[j].key < list[i].key) {
                std::swap(list[i], list[j]);
            }
        }
    }
}

/// Sorts the crossings by their place along the edge, (P - A) . e, ascending. When the keys are
/// distinct numbers every ascending sort gives the same order, and the quick one is used; otherwise
/// the exchange sort runs, in time that grows with the square of the crossings. False, with the
/// crossings unsorted, when that sort would have more than kMaxExchangeSorted to order.
bool sortAlongEdge(std::span<int32_t> crossings, const vpoint *points, const EdgeLine &edge,
                   KeyedCrossing *keyed) noexcept {
    const std::span<KeyedCrossing> list(keyed, crossings.size());
    const auto keyAll = [&] {
        bool numbers = true;
        for (std::size_t i = 0; i < crossings.size(); ++i) {
            const vpoint &p = points[crossings[i]];
            list[i] = {(p.x - edge.start.x) * edge.dx + (p.y - edge.start.y) * edge.dy, crossings[i]};
            numbers = numbers && !std::isnan(list[i].key);
        }
        return numbers;
    };
    bool distinct = keyAll();
    if (distinct) {
        std::sort(list.begin(), list.end(),
                  [](const KeyedCrossing &a, const KeyedCrossing &b) { return a.key < b.key; });
        for (std::size_t i = 1; i < list.size() && distinct; ++i) {
            distinct = list[i - 1].key < list[i].key;
        }
    }
    if (!distinct) {
        if (list.size() > kMaxExchangeSorted) {
            return false;
        }
        keyAll();
        exchangeSort(list);
    }
    for (std::size_t i = 0; i < crossings.size(); ++i) {
        crossings[i] = list[i].index;
    }
    return true;
}

/// The walk over the cut contours: chains, then loops gathered as they are walked.
class Reconnection {
public:
    Reconnection(CutContours &cut, ReconnectTables &tables) noexcept
        : cut_(cut), tables_(tables), points_(cut.points.data()) {}

    bool inCrossingList(int32_t index) const noexcept { return tables_.sortedPosition[index] >= 0; }

    /// The crossing paired with the crossing `index`: its neighbour in the sorted list, (0, 1), (2, 3),
    /// ...; the last of an odd number takes the first. (The walk asks only for the last point of a
    /// chain, which is always a crossing.)
    int32_t partner(int32_t index) const noexcept {
        const std::span<const int32_t> sorted = cut_.crossings;
        const auto position = static_cast<std::size_t>(tables_.sortedPosition[index]);
        if (position % 2 == 1) {
            return sorted[position - 1];
        }
        return position + 1 < sorted.size() ? sorted[position + 1] : sorted[0];
    }

    /// Marks the crossings with their places in the sorted list.
    void markCrossings() noexcept {
        std::fill_n(tables_.sortedPosition.data(), cut_.total, -1);
        for (std::size_t p = 0; p < cut_.crossings.size(); ++p) {
            tables_.sortedPosition[cut_.crossings[p]] = static_cast<int32_t>(p);
        }
    }

    /// Where crossings share one place along the edge (a vertex that touches the edge line, or sides
    /// that cross it too near each other to tell their places apart), their order among themselves is
    /// free, and rounding may have mixed it. It is set so that leaving and entering crossings alternate
    /// along the edge, as they do at distinct places, so that each pair joins a leaving crossing to an
    /// entering one. Which kind opens a pair is told by the first place whose crossings are not half of
    /// each kind. `sorted` holds the crossing list in order with its keys; keys apart by no more than
    /// `near` are one place. The crossing list and the marks are brought up to date.
    void alternateTies(std::span<KeyedCrossing> sorted, double near) noexcept {
        // A crossing whose next point in its contour is a crossing too leaves; the others enter. The
        // chain starts are free until the chains are built.
        int32_t *const leaving = tables_.chainStart.data();
        for (int32_t c = 0, offset = 0; c < cut_.contours; offset += cut_.counts[c++]) {
            for (int32_t j = 0; j < cut_.counts[c]; ++j) {
                leaving[offset + j] = inCrossingList(offset + (j + 1 == cut_.counts[c] ? 0 : j + 1)) ? 1 : 0;
            }
        }
        const auto runEnd = [&](std::size_t begin) noexcept {
            std::size_t end = begin + 1;
            while (end < sorted.size() && sorted[end].key - sorted[end - 1].key <= near) {
                ++end;
            }
            return end;
        };
        int32_t opener = 1;  // leaving, when every place holds as many of each kind
        for (std::size_t begin = 0, end = 0; begin < sorted.size(); begin = end) {
            end = runEnd(begin);
            std::size_t leavingHere = 0;
            for (std::size_t p = begin; p < end; ++p) {
                leavingHere += static_cast<std::size_t>(leaving[sorted[p].index]);
            }
            if (2 * leavingHere != end - begin) {
                const int32_t first = 2 * leavingHere > end - begin ? 1 : 0;  // the kind there is more of
                opener = begin % 2 == 0 ? first : 1 - first;
                break;
            }
        }
        for (std::size_t begin = 0, end = 0; begin < sorted.size(); begin = end) {
            end = runEnd(begin);
            for (std::size_t p = begin; p + 1 < end; ++p) {
                const int32_t wanted = p % 2 == 0 ? opener : 1 - opener;
                std::size_t found = p;
                while (found < end && leaving[sorted[found].index] != wanted) {
                    ++found;
                }
                if (found < end) {
                    std::rotate(sorted.begin() + static_cast<std::ptrdiff_t>(p), sorted.begin() + static_cast<std::ptrdiff_t>(found),
                                sorted.begin() + static_cast<std::ptrdiff_t>(found) + 1);
                }
            }
        }
        for (std::size_t p = 0; p < sorted.size(); ++p) {
            cut_.crossings[p] = sorted[p].index;
        }
        markCrossings();
    }

    /// Splits each contour that has a gap (two consecutive points that are both crossings) into
    /// chains running from the second crossing of one gap to the first crossing of the next; the
    /// contours without one are kept whole.
    void buildChains() noexcept {
        std::fill_n(tables_.chainStart.data(), cut_.total, -1);
        int32_t offset = 0;
        for (int32_t c = 0; c < cut_.contours; ++c) {
            const int32_t count = cut_.counts[c];
            const auto next = [count](int32_t j) noexcept { return j + 1 == count ? 0 : j + 1; };
            const auto gap = [&](int32_t j) noexcept {
                return inCrossingList(offset + j) && inCrossingList(offset + next(j));
            };
            int32_t firstGap = 0;
            while (firstGap < count && !gap(firstGap)) {
                ++firstGap;
            }
            if (firstGap == count) {
                tables_.untouched[untouched_++] = {offset, count};
            } else {
                int32_t j = next(firstGap);
                Chain chain{offset, count, j, 0};
                for (int32_t step = 1; step <= count; ++step, j = next(j)) {
                    ++chain.length;
                    if (gap(j) && step < count) {
                        addChain(chain);
                        chain = {offset, count, next(j), 0};
                    }
                }
                addChain(chain);  // it ends at the first gap, where the walk began
            }
            offset += count;
        }
    }

    int32_t chainCount() const noexcept { return chains_; }
    std::size_t untouchedCount() const noexcept { return static_cast<std::size_t>(untouched_); }

    /// Joins the chains into loops and gathers their points. Each step uses one chain, so the walk
    /// ends after as many steps as there are chains, even when a broken pairing sends it to a chain
    /// already used.
    void walkLoops() noexcept {
        int32_t current = 0;
        int32_t used = 0;
        int32_t fresh = 0;  // no chain before it has points left
        while (used < chains_) {
            Chain &chain = tables_.chains[current];
            for (int32_t i = 0, j = chain.start; i < chain.length; ++i, j = j + 1 == chain.count ? 0 : j + 1) {
                addToLoop(chain.offset + j);
            }
            chain.length = 0;
            ++used;
            const int32_t q = partner(lastIndex_);
            if (q != firstIndex_) {
                const int32_t next = tables_.chainStart[q];
                if (next >= 0) {
                    current = next;
                }
                continue;
            }
            addToLoop(firstIndex_);
            closeLoop();
            while (fresh < chains_ && tables_.chains[fresh].length == 0) {
                ++fresh;
            }
            if (fresh < chains_) {
                current = fresh;
            }
        }
        if (loopPoints_ > 0) {
            closeLoop();  // a walk cut short by a broken pairing
        }
    }

    /// Appends the uncut contours whole, after the loops, and returns the number of points written.
    int32_t gatherUntouched() noexcept {
        for (int32_t u = 0; u < untouched_; ++u) {
            const ContourRun &run = tables_.untouched[u];
            std::copy_n(points_ + run.offset, run.count, tables_.gathered.data() + written_);
            written_ += run.count;
            cut_.counts[contoursOut_++] = run.count;
        }
        return written_;
    }

    int32_t contoursOut() const noexcept { return contoursOut_; }

private:
    /// Records a chain; no two chains begin at the same point.
    void addChain(const Chain &chain) noexcept {
        tables_.chainStart[chain.offset + chain.start] = chains_;
        tables_.chains[chains_++] = chain;
    }

    /// Appends the point at `index` to the loop being gathered, unless it repeats the point before.
    void addToLoop(int32_t index) noexcept {
        const vpoint &p = points_[index];
        if (loopPoints_ == 0) {
            firstIndex_ = index;
        } else if (samePlace(p, tables_.gathered[static_cast<std::size_t>(written_) - 1])) {
            lastIndex_ = index;
            return;
        }
        lastIndex_ = index;
        tables_.gathered[static_cast<std::size_t>(written_++)] = p;
        ++loopPoints_;
    }

    /// Ends the loop at its first point and records its count.
    void closeLoop() noexcept {
        const vpoint &first = tables_.gathered[static_cast<std::size_t>(written_ - loopPoints_)];
        if (!samePlace(first, tables_.gathered[static_cast<std::size_t>(written_) - 1])) {
            tables_.gathered[static_cast<std::size_t>(written_++)] = first;
            ++loopPoints_;
        }
        cut_.counts[contoursOut_++] = loopPoints_;
        loopPoints_ = 0;
    }

    CutContours &cut_;
    ReconnectTables &tables_;
    const vpoint *points_;
    int32_t chains_ = 0;
    int32_t untouched_ = 0;
    int32_t written_ = 0;
    int32_t contoursOut_ = 0;
    int32_t loopPoints_ = 0;
    int32_t firstIndex_ = -1;
    int32_t lastIndex_ = -1;
};

}  // namespace

void ReconnectTables::release() noexcept {
    sortedPosition.release();
    chainStart.release();
    keyed.release();
    chains.release();
    untouched.release();
    gathered.release();
}

int32_t reconnectContours(CutContours &cut, const EdgeLine &edge, ReconnectTables &tables) noexcept {
    if (cut.crossings.empty()) {
        return cut.total;
    }
    const auto total = static_cast<std::size_t>(cut.total);
    const std::size_t contours = static_cast<std::size_t>(cut.contours);
    // A contour has at most one chain per point.
    if (!tables.sortedPosition.reserve(total) || !tables.chainStart.reserve(total) ||
        !tables.keyed.reserve(cut.crossings.size()) || !tables.chains.reserve(total) ||
        !tables.untouched.reserve(contours)) {
        return -1;
    }
    // Fewer than four crossings pair up in the order they were recorded.
    if (cut.crossings.size() >= 4 && !sortAlongEdge(cut.crossings, cut.points.data(), edge, tables.keyed.data())) {
        return -1;
    }
    Reconnection walk(cut, tables);
    walk.markCrossings();
    if (cut.crossings.size() >= 4) {
        // Places closer than a trillionth of the edge's length, or of the farthest crossing, are one.
        const std::span<KeyedCrossing> sorted(tables.keyed.data(), cut.crossings.size());
        const double reach = std::max({edge.dx * edge.dx + edge.dy * edge.dy, std::fabs(sorted.front().key), std::fabs(sorted.back().key)});
        walk.alternateTies(sorted, 1e-12 * reach);
    }
    walk.buildChains();
    // Every point goes into a chain or an untouched contour; a loop takes at least one chain and adds
    // at most two closing points.
    const auto chains = static_cast<std::size_t>(walk.chainCount());
    if (!tables.gathered.reserve(total + 2 * chains) || !cut.counts.reserve(chains + walk.untouchedCount())) {
        return -1;
    }
    walk.walkLoops();
    const int32_t newTotal = walk.gatherUntouched();
    cut.contours = walk.contoursOut();
    cut.total = newTotal;
    cut.points.swap(tables.gathered);
    return newTotal;
}

}  // namespace vutil::geometry
