// Clipping of one segment to a closed axis-parallel window by region codes, in integers and in doubles.
#include "geometry/line_clip.h"

#include <cmath>
#include <utility>

#include "geometry/numeric.h"

namespace vutil::geometry {
namespace {

enum : unsigned { kLeft = 1, kRight = 2, kBelow = 4, kAbove = 8 };

/// Integer arithmetic: coordinates are held in 64 bits so that differences of any two 32-bit values
/// are exact, and each move is truncated toward zero.
struct IntArithmetic {
    using Coord = int64_t;
    static constexpr Coord kOne = 1;
    /// start + (d1 * d2) / d3, the product first, in double, truncated toward zero.
    static Coord move(Coord start, Coord d1, Coord d2, Coord d3) noexcept {
        return truncateToInt64(static_cast<double>(start) +
                               (static_cast<double>(d1) * static_cast<double>(d2)) / static_cast<double>(d3));
    }
};

/// Double arithmetic: the same expressions, kept unrounded.
struct RealArithmetic {
    using Coord = double;
    static constexpr Coord kOne = 1.0;
    static Coord move(Coord start, Coord d1, Coord d2, Coord d3) noexcept { return start + (d1 * d2) / d3; }
};

template <typename Coord>
struct Window {
    Coord xmin, ymin, xmax, ymax;
};

/// Region code of a point. The tests are written so that a coordinate that is not a number falls
/// outside the lower edges; ordinary values are coded exactly as by "x < xmin".
template <typename Coord>
unsigned regionCode(Coord x, Coord y, const Window<Coord> &w) noexcept {
    unsigned code = 0;
    if (!(x >= w.xmin)) {
        code = kLeft;
    } else if (x > w.xmax) {
        code = kRight;
    }
    if (!(y >= w.ymin)) {
        code |= kBelow;
    } else if (y > w.ymax) {
        code |= kAbove;
    }
    return code;
}

template <typename Arithmetic>
struct ClipState {
    using Coord = typename Arithmetic::Coord;
    Coord ax, ay, bx, by;
};

/// The region-code clipper shared by both number types. On success the state holds the visible
/// part with a on the first endpoint's side.
template <typename Arithmetic>
bool clip(ClipState<Arithmetic> &s, const Window<typename Arithmetic::Coord> &w) noexcept {
    bool exchanged = false;
    for (int pass = 0; pass < kClipPasses; ++pass) {
        unsigned codeA = regionCode(s.ax, s.ay, w);
        unsigned codeB = regionCode(s.bx, s.by, w);
        if (codeA & codeB) {
            return false;
        }
        if ((codeA | codeB) == 0) {
            if (exchanged) {
                std::swap(s.ax, s.bx);
                std::swap(s.ay, s.by);
            }
            return true;
        }
        if (codeA == 0) {
            std::swap(s.ax, s.bx);
            std::swap(s.ay, s.by);
            std::swap(codeA, codeB);
            exchanged = !exchanged;
        }
        // Both steps use the code from the start of the pass: a corner point is moved onto the
        // horizontal edge line and then along the segment onto the vertical one.
        const unsigned code = codeA;
        if (code & kAbove) {
            s.ax = Arithmetic::move(s.ax, s.bx - s.ax, w.ymax - s.ay, s.by - s.ay);
            s.ay = w.ymax;
        } else if (code & kBelow) {
            s.ax = Arithmetic::move(s.ax, s.bx - s.ax, w.ymin - s.ay, s.by - s.ay);
            s.ay = w.ymin;
        }
        if (code & kRight) {
            if (s.bx - s.ax != 0) {
                s.ay = Arithmetic::move(s.ay, s.by - s.ay, w.xmax - s.ax, s.bx - s.ax);
            } else if (code & kBelow) {
                s.ay = w.ymin;
            } else if (code & kAbove) {
                s.ay = w.ymax - Arithmetic::kOne;
            }
            s.ax = w.xmax;
        } else if (code & kLeft) {
            if (s.bx - s.ax != 0) {
                s.ay = Arithmetic::move(s.ay, s.by - s.ay, w.xmin - s.ax, s.bx - s.ax);
            } else if (code & kBelow) {
                s.ay = w.ymin;
            } else if (code & kAbove) {
                s.ay = w.ymax;
            }
            s.ax = w.xmin;
        }
    }
    return false;
}

}  // namespace

bool clipSegment(ipoint a, ipoint b, ipoint &out1, ipoint &out2, const IntWindow &window) noexcept {
    ClipState<IntArithmetic> s{a.x, a.y, b.x, b.y};
    const Window<int64_t> w{window.xmin, window.ymin, window.xmax, window.ymax};
    if (!clip(s, w)) {
        return false;
    }
    // Accepted points lie inside the window, so they fit 32 bits.
    out1 = ipoint{static_cast<int32_t>(s.ax), static_cast<int32_t>(s.ay)};
    out2 = ipoint{static_cast<int32_t>(s.bx), static_cast<int32_t>(s.by)};
    return true;
}

bool clipSegment(const vpoint &a, const vpoint &b, vpoint &out1, vpoint &out2, const RealWindow &window) noexcept {
    if (std::isnan(window.xmin) || std::isnan(window.ymin) || std::isnan(window.xmax) || std::isnan(window.ymax)) {
        return false;
    }
    ClipState<RealArithmetic> s{a.x, a.y, b.x, b.y};
    const Window<double> w{window.xmin, window.ymin, window.xmax, window.ymax};
    if (!clip(s, w)) {
        return false;
    }
    const double za = a.z;
    const double zb = b.z;
    out1 = vpoint{s.ax, s.ay, za};
    out2 = vpoint{s.bx, s.by, zb};
    return true;
}

}  // namespace vutil::geometry
