// Stroke text: lays a string out in the built-in stroke font and hands it out as line segments.
//
// A glyph point goes through three steps, all about the insertion point: the slant, the rotation of the baseline,
// and the caller's matrix. The mirror flags act last, on whole segments, across two lines through the insertion
// point: one crossing the baseline (backward text) and the baseline itself (upside-down text).
#include "text/stroke_text.h"

#include <span>

#include "geometry/point_transform.h"
#include "runtime/trig.h"
#include "text/stroke_font.h"

namespace vutil::text {
namespace {

/// The font's cell is 12 units; this is the scale the layout has always used for it (not quite 1/12).
constexpr double kUnitScale = 0.083333333333333;

/// A point as the segment callbacks take it: x, y, z.
struct Point {
    double at[3];
};

/// Cosine and sine of an angle, with exactly (1, 0) for an angle of exactly 0.
struct Turn {
    double c = 1.0;
    double s = 0.0;
    explicit Turn(double angle) noexcept {
        if (angle != 0.0) {
            c = runtime::cosine(angle);
            s = runtime::sine(angle);
        }
    }
    bool isIdentity() const noexcept { return s == 0.0 && c == 1.0; }
};

class StrokeLayout {
public:
    explicit StrokeLayout(const StrokeText &text) noexcept
        : text_(text),
          sink_(text.sink),
          vertical_((text.flags & TXT_VERTICAL) != 0),
          backward_((text.flags & TXT_BACKWARD) != 0),
          upsideDown_((text.flags & TXT_UPSIDEDOWN) != 0),
          mirrored_(backward_ || upsideDown_),
          // Vertical text turns every glyph a quarter turn the other way (see glyphPoint), so the baseline runs
          // downward with the glyphs upright.
          baseline_(vertical_ ? text.angle - runtime::kHalfPi : text.angle),
          slant_(text.oblique),
          sx_(text.width * kUnitScale),
          sy_(text.height * kUnitScale),
          x_(text.x),
          y_(text.y),
          z_(text.z),
          matrix_(text.matrix),
          // A cosine of exactly 1 is no slant, and one of exactly 0 cannot be divided by: both leave x alone.
          slanted_(slant_.c != 0.0 && slant_.c != 1.0),
          rotated_(!baseline_.isIdentity()),
          plain_(!vertical_ && !mirrored_ && matrix_ == nullptr),
          cx_(text.x) {
        if (backward_ || upsideDown_) {
            backwardEnd_ = {text.x + text.width * baseline_.s, text.y - text.height * baseline_.c};
            upsideDownEnd_ = {text.x + text.height * baseline_.c, text.y + text.width * baseline_.s};
        }
    }

    std::array<double, 3> run() noexcept {
        bool overline = false;
        bool underline = false;
        const auto *s = reinterpret_cast<const unsigned char *>(text_.text);
        while (*s != 0) {
            unsigned code = *s++;
            if (code == '%' && *s == '%') {
                const unsigned char selector = s[1];
                if (selector == 0) {
                    break;  // "%%" at the very end selects nothing
                }
                s += 2;
                switch (selector) {
                    case '%':
                        code = '%';
                        break;
                    case 'c':
                    case 'C':
                        code = 129;  // diameter sign
                        break;
                    case 'd':
                    case 'D':
                        code = 127;  // degree sign
                        break;
                    case 'p':
                    case 'P':
                        code = 128;  // plus-minus sign
                        break;
                    case 'o':
                    case 'O':
                        overline = !overline;
                        continue;
                    case 'u':
                    case 'U':
                        underline = !underline;
                        continue;
                    default:
                        code = 0;
                        if (selector >= '0' && selector <= '9') {
                            code = selector - '0';
                            for (int more = 0; more < 2 && *s >= '0' && *s <= '9'; ++more) {
                                code = code * 10 + (*s++ - '0');
                            }
                        }
                        break;
                }
            }
            if (overline) {
                rule(text_.height);
            }
            if (underline) {
                rule(0.0);
            }
            // Numeric escapes reach 999; the codes beyond the table draw nothing.
            if (code < 256) {
                if (const int8_t *glyph = glyphOf(static_cast<uint8_t>(code))) {
                    if (plain_) {
                        drawGlyph<true>(glyph);
                    } else {
                        drawGlyph<false>(glyph);
                    }
                }
            }
            cx_ += vertical_ ? text_.height : text_.width;
        }
        const double d = cx_ - text_.x;
        return {text_.x + d * baseline_.c, text_.y + d * baseline_.s, text_.z};
    }

private:
    /// A glyph point in the text's own frame, before slant, rotation and matrix.
    /// The steps below take a `Plain` form, for text that is not vertical, mirrored or put
    /// through a matrix (nearly all of it), which tests none of those per point.
    template <bool Plain>
    Point glyphPoint(int8_t gx, int8_t gy) const noexcept {
        if (!Plain && vertical_) {
            return {cx_ - gy * sx_, y_ + gx * sy_, z_};
        }
        return {cx_ + gx * sx_, y_ + gy * sy_, z_};
    }

    /// Slant, rotation and matrix, each about the insertion point. The arithmetic is that of geometry::slantX,
    /// geometry::rotateAbout and geometry::applyMatrixRow, written out here because it runs for every glyph point.
    template <bool Plain>
    void place(Point &p) const noexcept {
        if (slanted_) {
            p.at[0] = (slant_.c * (p.at[0] - x_) + slant_.s * (p.at[1] - y_)) / slant_.c + x_;
        }
        if (rotated_) {
            const double dx = p.at[0] - x_;
            const double dy = p.at[1] - y_;
            p.at[0] = (dx * baseline_.c - dy * baseline_.s) + x_;
            p.at[1] = (dx * baseline_.s + dy * baseline_.c) + y_;
        }
        if (!Plain && matrix_ != nullptr) {
            const double *m = matrix_;
            const double dx = p.at[0] - x_;
            const double dy = p.at[1] - y_;
            const double dz = p.at[2] - z_;
            p = {x_ + ((dx * m[0] + dy * m[1]) + dz * m[2]), y_ + ((dx * m[3] + dy * m[4]) + dz * m[5]),
                 z_ + ((dx * m[6] + dy * m[7]) + dz * m[8])};
        }
    }

    /// Mirrors a placed segment as the flags ask (x and y only) and hands it out.
    template <bool Plain>
    void emit(const Point &a, const Point &b) const noexcept {
        if (Plain || !mirrored_) {
            sink_(a.at, b.at);
            return;
        }
        Point first = a, second = b;
        mirror(first.at, second.at);
        sink_(first.at, second.at);
    }

    void mirror(double *first, double *second) const noexcept {
        for (double *p : {first, second}) {
            if (backward_) {
                geometry::reflectInLine(p[0], p[1], x_, y_, backwardEnd_[0], backwardEnd_[1]);
            }
            if (upsideDown_) {
                geometry::reflectInLine(p[0], p[1], x_, y_, upsideDownEnd_[0], upsideDownEnd_[1]);
            }
        }
    }

    /// An overline or underline across the current character cell, at the given height above the baseline.
    void rule(double above) noexcept {
        Point a{cx_, text_.y + above, text_.z};
        Point b{cx_ + text_.width, text_.y + above, text_.z};
        place<false>(a);
        place<false>(b);
        emit<false>(a, b);
    }

    /// Each stroke of n points gives n - 1 segments; lifting the pen gives none.
    template <bool Plain>
    void drawGlyph(const int8_t *g) noexcept {
        Point a = glyphPoint<Plain>(g[0], g[1]);
        Point b = glyphPoint<Plain>(g[2], g[3]);
        g += 4;
        place<Plain>(a);
        place<Plain>(b);
        for (;;) {
            emit<Plain>(a, b);
            a = b;
            const int8_t gx = g[0];
            const int8_t gy = g[1];
            g += 2;
            if (gx == kGlyphEnd && gy == kGlyphEnd) {
                return;
            }
            if (gx == kPenUp && gy == kPenUp) {
                a = glyphPoint<Plain>(g[0], g[1]);
                b = glyphPoint<Plain>(g[2], g[3]);
                g += 4;
                place<Plain>(a);
            } else {
                b = glyphPoint<Plain>(gx, gy);
            }
            place<Plain>(b);
        }
    }

    const StrokeText &text_;
    const SegmentSink sink_;
    const bool vertical_;
    const bool backward_;
    const bool upsideDown_;
    const bool mirrored_;
    const Turn baseline_;
    const Turn slant_;
    const double sx_;
    const double sy_;
    const double x_, y_, z_;  ///< the insertion point
    const double *const matrix_;
    const bool slanted_;
    const bool rotated_;
    const bool plain_;
    double cx_;  ///< the current character's left end along the baseline, before rotation
    std::array<double, 2> backwardEnd_{};
    std::array<double, 2> upsideDownEnd_{};
};

}  // namespace

std::array<double, 3> drawStrokeText(const StrokeText &text) noexcept {
    return StrokeLayout(text).run();
}

}  // namespace vutil::text
