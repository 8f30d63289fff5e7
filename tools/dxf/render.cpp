// Drawing a DXF drawing: block references through the library's matrices, curves
// through its arc walker, lines clipped by its clipper, fills scan-converted by its
// polygon fill and texts set by its stroke and outline text services.
#include "render.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <span>
#include <thread>

#include "vutil/geometry.h"
#include "vutil/raster.h"
#include "vutil/text.h"

namespace vutil::dxf {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kDegree = kPi / 180;
/// Deepest nesting of block references drawn.
constexpr int kMaxDepth = 100;
/// Points of one curve.
constexpr int32_t kMaxCurvePoints = 4096;
/// Notes about entities kept for the user; a drawing may give one for each of its entities.
constexpr std::size_t kMaxNotes = 100;
constexpr const char *kMoreNotes = "more notes were left out";
/// Lines of one hatch pattern line family.
constexpr int64_t kMaxPatternLines = 20000;
/// A model space of this many entities is drawn onto a page by two renderers at once.
constexpr std::size_t kTwoWayEntities = 4096;
/// The pieces the two renderers share a model space out in; a page pixel's top byte holds the
/// number of the piece that drew it, so there must be fewer than 256.
constexpr std::size_t kPieces = 64;

/// The groups of one entity, looked up by code.
class Fields {
public:
    Fields(const Drawing &d, const Entity &e) : d_(d), g_(d.groupsOf(e)), n_(e.count) {}
    Fields(const Drawing &d, const Group *g, uint32_t n) : d_(d), g_(g), n_(n) {}

    const Group *find(int32_t code) const {
        for (uint32_t i = 0; i < n_; ++i) {
            if (g_[i].code == code) {
                return g_ + i;
            }
            if (g_[i].code == 0) {
                break;  // a VERTEX of a POLYLINE: the entity's own groups end here
            }
        }
        return nullptr;
    }
    double number(int32_t code, double fallback) const {
        const Group *g = find(code);
        return g != nullptr ? g->number : fallback;
    }
    int32_t integer(int32_t code, int32_t fallback) const { return integerOf(find(code), fallback); }
    /// A group's number as an integer; the fallback for no group, or a number out of range.
    static int32_t integerOf(const Group *g, int32_t fallback) {
        const double v = g != nullptr ? g->number : fallback;
        return std::isfinite(v) && std::fabs(v) < 2e9 ? static_cast<int32_t>(v) : fallback;
    }
    std::string_view text(int32_t code) const {
        const Group *g = find(code);
        return g != nullptr ? d_.text(*g) : std::string_view();
    }
    vpoint point(int32_t code) const { return {number(code, 0), number(code + 10, 0), number(code + 20, 0)}; }
    const Group *begin() const { return g_; }
    uint32_t size() const { return n_; }

private:
    const Drawing &d_;
    const Group *g_;
    uint32_t n_;
};

bool finite(const vpoint &p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

hmatrix multiply(const hmatrix &a, const hmatrix &b) {
    hmatrix r;
    mult_hmatrix(&r, &a, &b);
    return r;
}

/// The object coordinate system of an extrusion direction, by the arbitrary axis rule.
bool ocsMatrix(const Fields &f, hmatrix &out) {
    vpoint n = {f.number(210, 0), f.number(220, 0), f.number(230, 1)};
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!std::isfinite(length) || length < 1e-12 || (n.x == 0 && n.y == 0 && n.z > 0)) {
        return false;
    }
    n = {n.x / length, n.y / length, n.z / length};
    vpoint ax = std::fabs(n.x) < 1.0 / 64 && std::fabs(n.y) < 1.0 / 64 ? vpoint{n.z, 0, -n.x} : vpoint{-n.y, n.x, 0};
    const double la = std::sqrt(ax.x * ax.x + ax.y * ax.y + ax.z * ax.z);
    ax = {ax.x / la, ax.y / la, ax.z / la};
    const vpoint ay = {n.y * ax.z - n.z * ax.y, n.z * ax.x - n.x * ax.z, n.x * ax.y - n.y * ax.x};
    const double rotation[9] = {ax.x, ay.x, n.x, ax.y, ay.y, n.y, ax.z, ay.z, n.z};
    create_viewmatrix(&out, rotation, 0, 0, 0);
    return true;
}

/// `m` after the entity's object coordinate system, when it has one.
hmatrix inObjectPlane(const Fields &f, const hmatrix &m) {
    hmatrix ocs;
    return ocsMatrix(f, ocs) ? multiply(m, ocs) : m;
}

/// The stroke font's code of a character, or 0 when it has no glyph.
unsigned char strokeCode(uint32_t c) {
    if (c >= 32 && c < 127) {
        return static_cast<unsigned char>(c);
    }
    switch (c) {
        case 0xB0: return 127;
        case 0xB1: return 128;
        case 0x2300: case 0xD8: case 0xF8: return 129;
        case 0xE9: return 130; case 0xE2: return 131; case 0xE4: return 132; case 0xE0: return 133;
        case 0xE5: return 134; case 0xE7: return 135; case 0xEA: return 136; case 0xEB: return 137;
        case 0xE8: return 138; case 0xEF: return 139; case 0xEE: return 140; case 0xEC: return 141;
        case 0xC4: return 142; case 0xC5: return 143; case 0xC9: return 144; case 0xE6: return 145;
        case 0xC6: return 146; case 0xF4: return 147; case 0xF6: return 148; case 0xF2: return 149;
        case 0xFB: return 150; case 0xF9: return 151; case 0xFF: return 152; case 0xD6: return 153;
        case 0xDC: return 154; case 0xE1: return 160; case 0xED: return 161; case 0xF3: return 162;
        case 0xFA: return 163; case 0xC7: return 180;
        case 0xA0: return ' ';
        default: return c < 32 ? 0 : '?';
    }
}

/// The characters of a UTF-8 text.
std::vector<uint32_t> decode(std::string_view text) {
    std::vector<uint32_t> out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
        uint32_t code = more == 0 ? c : c & (0x3Fu >> more);
        for (std::size_t k = 1; k <= more && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        out.push_back(code);
        i += more + 1;
    }
    return out;
}

/// MTEXT's formatting codes taken out: its lines, as UTF-8.
std::vector<std::string> mtextLines(std::string_view s) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '{' || c == '}') {
            continue;
        }
        if (c != '\\' || i + 1 >= s.size()) {
            lines.back() += c;
            continue;
        }
        const char k = s[++i];
        switch (k) {
            case 'P': lines.emplace_back(); break;
            case '~': lines.back() += ' '; break;
            case '\\': case '{': case '}': lines.back() += k; break;
            case 'L': case 'l': case 'O': case 'o': case 'K': case 'k': case 'N': break;
            case 'S': {
                // Stacked text a^b, a/b or a#b: drawn as a/b.
                const std::size_t end = s.find(';', i);
                const std::string_view stack = s.substr(i + 1, end == std::string_view::npos ? end : end - i - 1);
                for (char x : stack) {
                    lines.back() += x == '^' || x == '#' ? '/' : x;
                }
                i = end == std::string_view::npos ? s.size() : end;
                break;
            }
            case 'A': case 'C': case 'c': case 'F': case 'f': case 'H': case 'h': case 'Q': case 'q':
            case 'T': case 't': case 'W': case 'w': case 'p': case 'X': {
                const std::size_t end = s.find(';', i);
                i = end == std::string_view::npos ? s.size() : end;
                break;
            }
            default: lines.back() += '\\'; lines.back() += k; break;
        }
    }
    return lines;
}

/// The kinds of entity drawn.
enum class Kind { Line, Point, Circle, Arc, Ellipse, LwPolyline, Polyline, Spline, Solid, Face, Hatch, Text, Attrib,
                  MText, Leader, Insert, Dimension, Other };

Kind kindNamed(std::string_view name) {
    static constexpr std::pair<std::string_view, Kind> kNames[] = {
        {"LINE", Kind::Line},     {"POINT", Kind::Point},       {"CIRCLE", Kind::Circle},
        {"ARC", Kind::Arc},       {"ELLIPSE", Kind::Ellipse},   {"LWPOLYLINE", Kind::LwPolyline},
        {"POLYLINE", Kind::Polyline}, {"SPLINE", Kind::Spline}, {"SOLID", Kind::Solid},
        {"TRACE", Kind::Solid},   {"3DFACE", Kind::Face},       {"HATCH", Kind::Hatch},
        {"TEXT", Kind::Text},     {"ATTRIB", Kind::Attrib},     {"MTEXT", Kind::MText},
        {"LEADER", Kind::Leader}, {"INSERT", Kind::Insert},     {"DIMENSION", Kind::Dimension}};
    for (const auto &[known, kind] : kNames) {
        if (name == known) {
            return kind;
        }
    }
    return Kind::Other;
}

class Renderer {
public:
    /// Draws as paths into the picture, or straight into the pixels of the page when one is given.
    Renderer(const Drawing &d, const RenderOptions &o, tool::Picture &picture, tool::PixelPage *page,
             RenderResult &result)
        : d_(d), o_(o), picture_(picture), page_(page), result_(result) {
        kinds_.reserve(d.kinds.size());
        for (const std::string &name : d.kinds) {
            kinds_.push_back(kindNamed(name));
        }
    }

    void run();

private:
    struct Context {
        hmatrix m;                 ///< the entity's coordinates to the output's
        uint32_t blockColour = 0;  ///< the colour BYBLOCK stands for
        std::string blockLayer;    ///< the layer that layer 0 of a block stands for
        int depth = 0;
    };
    struct Style {
        uint32_t colour;
        const char *kind;
    };

    void pass(bool bounds, const hmatrix &page);
    /// One pass over the model space by two renderers at once; false, with nothing changed,
    /// when this one is to make the pass alone.
    bool twoWay(const Context &c);
    /// Where twoWay cuts the model space in this pass: the starts of kPieces pieces of about
    /// equal estimated cost, and the end (both passes' cuts are found once, together).
    const std::vector<std::size_t> &cuts();
    void entities(std::span<const Entity> list, const Context &c);
    void entity(const Entity &e, const Context &c);
    /// Whether the entity shows, and if so its layer and colour.
    bool visible(const Fields &f, const Context &c, std::string &layer, uint32_t &colour) const;
    double unitPixels(const hmatrix &m) const;
    int32_t arcPoints(std::vector<vpoint> &out, const vpoint &centre, double rx, double ry, double a0, double a1,
                      double pixels);
    /// For the extents: the points of the arc from a0 to a1 (a1 >= a0) that reach furthest out
    /// under the matrix, and its ends; the curve's own extents, not those of its chords.
    void arcExtremes(std::vector<vpoint> &out, const hmatrix &m, const vpoint &centre, double r, double a0,
                     double a1);

    // Output: points in the coordinates of matrix m.
    void stroke(const hmatrix &m, const std::vector<vpoint> &points, bool closed, const Style &s);
    void fill(const hmatrix &m, const std::vector<std::vector<vpoint>> &loops, const Style &s);
    tool::PagePath &path(const Style &s, bool filled);
    void emit(const vpoint &a, const vpoint &b, const Style &s);

    void line(const Fields &f, const Context &c, const Style &s);
    void circleOrArc(const Fields &f, const Context &c, const Style &s, bool arc);
    void ellipse(const Fields &f, const Context &c, const Style &s);
    void lwpolyline(const Fields &f, const Context &c, const Style &s);
    void polyline(const Entity &e, const Fields &f, const Context &c, const Style &s);
    void spline(const Fields &f, const Context &c, const Style &s);
    void solid(const Fields &f, const Context &c, const Style &s, bool face);
    void hatch(const Fields &f, const Context &c, const Style &s);
    void text(const Fields &f, const Context &c, const Style &s, bool attribute);
    void mtext(const Fields &f, const Context &c, const Style &s);
    void leader(const Fields &f, const Context &c, const Style &s);
    bool insert(const Fields &f, const Context &c, uint32_t colour, const std::string &layer, bool dimension);

    /// The points from a to b (a excluded) along the bulge's arc, drawn through the matrix m.
    void bulgeTo(std::vector<vpoint> &out, const hmatrix &m, const vpoint &a, const vpoint &b, double bulge,
                 double pixels);
    void splinePoints(std::vector<vpoint> &out, int degree, const std::vector<double> &knots,
                      const std::vector<vpoint> &control, const std::vector<double> &weights, double pixels);
    /// True when every point under the matrix falls strictly inside the extents found so far.
    bool withinBox(const hmatrix &m, const std::vector<vpoint> &points) const;
    void drawString(const hmatrix &m, const std::string &utf8, const Style &s, const std::string &styleName,
                    double height, double widthFactor, double oblique, int32_t flags, int halign, int valign);
    /// A note about what was drawn, once for each text and no more than kMaxNotes of them;
    /// `always` for a note about the whole drawing, which is kept past that limit.
    void note(const std::string &text, bool always = false);
    /// Puts the segments of a string laid out at the origin where the matrix places it. A
    /// stroke's segments follow each other: each starts where the one before ended, whose end
    /// is placed already.
    struct Placer {
        Renderer &r;
        const hmatrix full;
        const Style &s;
        vpoint ended{}, placed{};
        bool have = false;

        void place(vpoint a, vpoint b) {
            if (have && a.x == ended.x && a.y == ended.y && a.z == ended.z) {
                a = placed;
            } else {
                mult_hmatrix_p(&full, &a.x, &a.y, &a.z);
            }
            ended = b;
            mult_hmatrix_p(&full, &b.x, &b.y, &b.z);
            placed = b;
            have = true;
            if (finite(a) && finite(b)) {
                r.emit(a, b, s);
            }
        }
        /// txt's callback, as lineCollect keeps the segments: z is always 0.
        static void segment(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
            reinterpret_cast<Placer *>(context)->place({first[0], first[1], 0}, {second[0], second[1], 0});
        }
    };
    /// Ends the piece of the page being drawn: its last point, if held back, goes in, and
    /// the room it does not use is given back.
    void finishPiece() {
        if (picture_.paths.empty() || picture_.paths.back().pieces.empty()) {
            return;
        }
        std::vector<tool::PagePoint> &piece = picture_.paths.back().pieces.back();
        if (pending_) {
            piece.push_back({last_.x, last_.y});
            pending_ = false;
        }
        if (piece.size() > 2) {
            piece.shrink_to_fit();
        }
    }

    const Drawing &d_;
    const RenderOptions &o_;
    tool::Picture &picture_;
    tool::PixelPage *page_;
    RenderResult &result_;
    bool bounds_ = true;
    double box_[4] = {0, 0, 0, 0};
    bool anything_ = false;
    uint64_t work_ = 0;
    bool cut_ = false;
    std::vector<const Block *> open_;
    vpoint windowMin_{}, windowMax_{};
    vpoint last_{};
    bool continuing_ = false;
    bool pending_ = false;  ///< last_ ends the current piece but is not in it yet
    std::vector<vpoint> segments_;  ///< of the text being drawn, kept for the room they hold
    // The points of the line, circle, arc or light polyline being drawn, kept for their room.
    std::vector<vpoint> curve_, vertices_, arc_;
    std::vector<double> bulges_;
    std::string codes_;
    std::vector<Kind> kinds_;  ///< of each of the drawing's kind names
    std::vector<std::size_t> cuts_[2];  ///< cuts()'s answers for the page and the extents, once found
    // While two renderers share a pass: the piece being drawn, in the top byte of the pixels it
    // draws, and the notes of the pass with the pieces that gave them.
    uint32_t stamp_ = 0;
    bool sharing_ = false;
    std::vector<std::pair<uint32_t, std::string>> pieceNotes_;
};

void Renderer::note(const std::string &text, bool always) {
    if (sharing_) {
        // The first time in this renderer is the first in its pieces' order; twoWay puts the
        // two renderers' notes in order. Each of the first kMaxNotes of the whole pass is among
        // the first kMaxNotes of the renderer that met it first, and a renderer's marker comes
        // after as many notes.
        const auto has = [this](std::string_view wanted) {
            return std::any_of(pieceNotes_.begin(), pieceNotes_.end(),
                               [wanted](const auto &noted) { return noted.second == wanted; });
        };
        if (has(text)) {
            return;
        }
        if (pieceNotes_.size() < kMaxNotes) {
            pieceNotes_.emplace_back(stamp_, text);
        } else if (!has(kMoreNotes)) {
            pieceNotes_.emplace_back(stamp_, kMoreNotes);
        }
        return;
    }
    std::vector<std::string> &notes = result_.notes;
    if (std::find(notes.begin(), notes.end(), text) != notes.end()) {
        return;
    }
    if (always || notes.size() < kMaxNotes) {
        notes.push_back(text);
    } else if (std::find(notes.begin(), notes.end(), kMoreNotes) == notes.end()) {
        notes.emplace_back(kMoreNotes);
    }
}

double Renderer::unitPixels(const hmatrix &m) const {
    const double det = std::fabs(hmatrix_determinant2by2(&m));
    const double s = std::sqrt(det);
    return std::isfinite(s) && s > 0 ? s : 1;
}

tool::PagePath &Renderer::path(const Style &s, bool filled) {
    if (picture_.paths.empty() || picture_.paths.back().colour != s.colour ||
        picture_.paths.back().filled != filled || picture_.paths.back().kind != s.kind) {
        finishPiece();
        picture_.paths.push_back({s.kind, s.colour, filled, {}});
        continuing_ = false;
    }
    return picture_.paths.back();
}

void Renderer::emit(const vpoint &a, const vpoint &b, const Style &s) {
    if (bounds_) {
        for (const vpoint &p : {a, b}) {
            if (!anything_) {
                box_[0] = box_[2] = p.x;
                box_[1] = box_[3] = p.y;
                anything_ = true;
            }
            box_[0] = std::min(box_[0], p.x);
            box_[1] = std::min(box_[1], p.y);
            box_[2] = std::max(box_[2], p.x);
            box_[3] = std::max(box_[3], p.y);
        }
        return;
    }
    // A segment wholly in the window is the clipper's own trivial case: it passes unchanged.
    const bool inside = a.x >= windowMin_.x && a.x <= windowMax_.x && a.y >= windowMin_.y && a.y <= windowMax_.y &&
                        b.x >= windowMin_.x && b.x <= windowMax_.x && b.y >= windowMin_.y && b.y <= windowMax_.y;
    if (inside && page_ != nullptr) {
        page_->line(a.x, a.y, b.x, b.y, s.colour | stamp_);
        anything_ = true;
        return;
    }
    vpoint ca = a, cb = b;
    if (!inside && KorClipVLine(a, b, &ca, &cb, windowMin_, windowMax_) == 0) {
        continuing_ = false;
        return;
    }
    if (page_ != nullptr) {
        page_->line(ca.x, ca.y, cb.x, cb.y, s.colour | stamp_);
        anything_ = true;
        return;
    }
    const bool joins = continuing_ && ca.x == last_.x && ca.y == last_.y;
    if (!joins) {
        finishPiece();
    }
    tool::PagePath &p = path(s, false);
    if (!joins || p.pieces.empty()) {
        p.pieces.emplace_back();
        p.pieces.back().reserve(2);
        p.pieces.back().push_back({ca.x, ca.y});
    }
    // Points closer than a fifth of a pixel to the last one kept are passed over; the
    // piece's own end is always kept.
    std::vector<tool::PagePoint> &piece = p.pieces.back();
    const tool::PagePoint &tail = piece.back();
    pending_ = piece.size() >= 2 && std::fabs(cb.x - tail.x) < 0.2 && std::fabs(cb.y - tail.y) < 0.2;
    if (!pending_) {
        piece.push_back({cb.x, cb.y});
    }
    last_ = cb;
    continuing_ = true;
    anything_ = true;
}

void Renderer::stroke(const hmatrix &m, const std::vector<vpoint> &points, bool closed, const Style &s) {
    continuing_ = false;
    if (points.empty()) {
        return;
    }
    vpoint previous{};
    bool have = false;
    vpoint first{};
    for (const vpoint &local : points) {
        vpoint p = local;
        mult_hmatrix_p(&m, &p.x, &p.y, &p.z);
        if (!finite(p) || std::fabs(p.x) > 1e15 || std::fabs(p.y) > 1e15) {
            have = false;
            continuing_ = false;
            continue;
        }
        if (!have) {
            first = p;
            if (points.size() == 1) {
                emit(p, p, s);
            }
        } else {
            emit(previous, p, s);
        }
        previous = p;
        have = true;
    }
    if (closed && have && points.size() > 2) {
        emit(previous, first, s);
    }
    finishPiece();
    continuing_ = false;
}

/// Where the spans of a fill go: a band a pixel high about each scan line, as a path of the
/// picture or as the row of pixels whose centres it holds.
struct Spans {
    tool::PagePath *path;
    tool::PixelPage *page;
    uint32_t colour;
    double unit;
};

void span(intptr_t, intptr_t, const ipoint *left, const ipoint *right, intptr_t user) {
    auto *spans = reinterpret_cast<Spans *>(user);
    const double y = left->y / spans->unit;
    double x0 = left->x / spans->unit, x1 = right->x / spans->unit;
    if (x0 > x1) {
        std::swap(x0, x1);
    }
    if (spans->page != nullptr) {
        spans->page->span(static_cast<int32_t>(std::ceil(y)) - 1, x0, x1, spans->colour);
        return;
    }
    spans->path->pieces.push_back({{x0, y - 0.5}, {x1, y - 0.5}, {x1, y + 0.5}, {x0, y + 0.5}});
}

void rectangle(intptr_t, intptr_t, const ipoint *a, const ipoint *b, intptr_t user) {
    auto *spans = reinterpret_cast<Spans *>(user);
    const double x0 = std::min(a->x, b->x) / spans->unit, x1 = std::max(a->x, b->x) / spans->unit;
    const double y0 = std::min(a->y, b->y) / spans->unit, y1 = std::max(a->y, b->y) / spans->unit;
    if (spans->page != nullptr) {
        // The rows whose centres lie inside.
        const auto first = static_cast<int32_t>(std::ceil(y0 - 0.5)), end = static_cast<int32_t>(std::ceil(y1 - 0.5));
        for (int32_t y = std::max(first, 0); y < std::min(end, spans->page->height); ++y) {
            spans->page->span(y, x0, x1, spans->colour);
        }
        return;
    }
    spans->path->pieces.push_back({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

void Renderer::fill(const hmatrix &m, const std::vector<std::vector<vpoint>> &loops, const Style &s) {
    // The outlines are stroked too, so that a fill thinner than a pixel still shows.
    for (const auto &loop : loops) {
        stroke(m, loop, true, s);
    }
    if (bounds_) {
        return;
    }
    // All loops as one polygon for the even-odd rule: each loop closed, the loops
    // joined by a bridge to the first point that is walked both ways and so cancels.
    const double unit = std::clamp(std::floor(29000.0 / (std::max(o_.width, o_.height) + 8)), 1.0, 8.0);
    std::vector<ipoint> polygon;
    std::vector<vpoint> work;
    for (const auto &loop : loops) {
        if (loop.size() < 3) {
            continue;
        }
        work.assign(loop.begin(), loop.end());
        work.push_back(loop.front());
        bool ok = true;
        for (vpoint &p : work) {
            mult_hmatrix_p(&m, &p.x, &p.y, &p.z);
            ok = ok && finite(p);
        }
        if (!ok) {
            continue;
        }
        const auto n = static_cast<int32_t>(work.size());
        work.resize(2 * work.size() + 4);
        const int32_t kept = KorClipVPoly(work.data(), n, windowMin_, windowMax_);
        if (kept < 3) {
            continue;
        }
        const std::size_t start = polygon.size();
        for (int32_t i = 0; i < kept; ++i) {
            polygon.push_back({static_cast<int32_t>(std::lround(work[static_cast<std::size_t>(i)].x * unit)),
                               static_cast<int32_t>(std::lround(work[static_cast<std::size_t>(i)].y * unit))});
        }
        if (polygon.back().x != polygon[start].x || polygon.back().y != polygon[start].y) {
            polygon.push_back(polygon[start]);
        }
        if (start > 0) {
            polygon.push_back(polygon.front());
        }
    }
    if (polygon.size() < 4) {
        return;
    }
    Spans spans{page_ != nullptr ? nullptr : &path(s, true), page_, s.colour | stamp_, unit};
    FillPolygon(0, 0, polygon.data(), static_cast<int32_t>(polygon.size()), static_cast<int32_t>(unit),
                reinterpret_cast<intptr_t>(&spans), span, polygon.size() == 5 ? rectangle : nullptr);
    continuing_ = false;
}

int32_t Renderer::arcPoints(std::vector<vpoint> &out, const vpoint &centre, double rx, double ry, double a0,
                            double a1, double pixels) {
    if (!std::isfinite(a0) || !std::isfinite(a1) || !std::isfinite(rx) || !std::isfinite(ry)) {
        out.clear();
        return 0;
    }
    while (a1 < a0) {
        a1 += 2 * kPi;
        if (a1 < a0 - 4 * kPi) {
            a1 = a0 + std::fmod(a1 - a0, 2 * kPi) + 2 * kPi;
        }
    }
    // Steps short enough that the chord strays a fifth of a pixel at most.
    const double r = std::max(std::fabs(rx), std::fabs(ry)) * (bounds_ ? 0 : pixels);
    double step = kPi / 32;
    if (!bounds_) {
        step = r > 0.5 ? 2 * std::acos(std::max(-1.0, 1 - 0.2 / r)) : kPi / 4;
        step = std::clamp(step, 2 * kPi / 2048, kPi / 8);
    }
    // The walker puts the end point in place of the last point it reaches, so the steps
    // are made to end just short of a1: every piece is then one step long.
    const double span = a1 - a0;
    const double pieces = std::clamp(std::ceil(span / step), 1.0, static_cast<double>(kMaxCurvePoints));
    step = span > 0 ? span / pieces * (1 - 1e-9) : kPi;
    const auto most = static_cast<int32_t>(pieces) + 2;
    out.resize(static_cast<std::size_t>(most));
    const int32_t n = get_arc_points(out.data(), &centre, rx, ry, a0, a1, step, most);
    out.resize(static_cast<std::size_t>(n));
    return n;
}

void Renderer::arcExtremes(std::vector<vpoint> &out, const hmatrix &m, const vpoint &centre, double r, double a0,
                           double a1) {
    out.clear();
    if (!std::isfinite(a0) || !std::isfinite(a1) || !std::isfinite(r) || !(a1 >= a0)) {
        return;
    }
    // Under the matrix the arc's x is x0 + r (m00 cos t + m01 sin t), and so on: it is furthest
    // out at t = atan2(m01, m00) and half a turn on, and y likewise. Those of them on the arc
    // and its two ends span its extents.
    double turns[6] = {a0, a1, std::atan2(m.m[0][1], m.m[0][0]), 0, std::atan2(m.m[1][1], m.m[1][0]), 0};
    turns[3] = turns[2] + kPi;
    turns[5] = turns[4] + kPi;
    for (int i = 0; i < 6; ++i) {
        double t = turns[i];
        if (i >= 2) {
            t = a0 + std::fmod(std::fmod(t - a0, 2 * kPi) + 2 * kPi, 2 * kPi);
            if (!(t <= a1)) {
                continue;
            }
        }
        out.push_back({centre.x + r * std::cos(t), centre.y + r * std::sin(t), centre.z});
    }
}

void Renderer::line(const Fields &f, const Context &c, const Style &s) {
    std::vector<vpoint> &points = curve_;
    points.assign({f.point(10), f.point(11)});
    stroke(c.m, points, false, s);
}

void Renderer::circleOrArc(const Fields &f, const Context &c, const Style &s, bool arc) {
    const hmatrix m = inObjectPlane(f, c.m);
    const double r = f.number(40, 0);
    double a0 = 0, a1 = 2 * kPi;
    if (arc) {
        // Equal angles make an empty arc; angles a number of turns apart a full circle.
        const double start = f.number(50, 0), end = f.number(51, 360);
        if (std::fabs(start - end) < 1e-12 || !std::isfinite(start) || !std::isfinite(end)) {
            return;
        }
        a0 = std::fmod(start, 360.0) * kDegree;
        a1 = std::fmod(end, 360.0) * kDegree;
        if (a1 <= a0 + 1e-12) {
            a1 += 2 * kPi;
        }
    }
    if (!(r > 0) || !std::isfinite(r)) {
        return;
    }
    std::vector<vpoint> &points = curve_;
    if (bounds_) {
        arcExtremes(points, m, f.point(10), r, a0, a1);
    } else {
        arcPoints(points, f.point(10), r, r, a0, a1, unitPixels(m));
    }
    stroke(m, points, false, s);
}

void Renderer::ellipse(const Fields &f, const Context &c, const Style &s) {
    const vpoint centre = f.point(10), major = f.point(11);
    const double ratio = f.number(40, 1);
    vpoint n = {f.number(210, 0), f.number(220, 0), f.number(230, 1)};
    const double nl = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(nl > 0) || !std::isfinite(nl) || !finite(major) || !std::isfinite(ratio)) {
        return;
    }
    n = {n.x / nl, n.y / nl, n.z / nl};
    const vpoint minor = {ratio * (n.y * major.z - n.z * major.y), ratio * (n.z * major.x - n.x * major.z),
                          ratio * (n.x * major.y - n.y * major.x)};
    // The unit circle's points taken to the ellipse by the matrix of its axes.
    hmatrix axes;
    create_unitmatrix(&axes);
    axes.m[0][0] = major.x, axes.m[0][1] = minor.x, axes.m[0][2] = 0, axes.m[0][3] = centre.x;
    axes.m[1][0] = major.y, axes.m[1][1] = minor.y, axes.m[1][2] = 0, axes.m[1][3] = centre.y;
    axes.m[2][0] = major.z, axes.m[2][1] = minor.z, axes.m[2][2] = 1, axes.m[2][3] = centre.z;
    axes.flags = 0;
    const hmatrix m = multiply(c.m, axes);
    double a0 = f.number(41, 0), a1 = f.number(42, 2 * kPi);
    if (!std::isfinite(a0) || !std::isfinite(a1)) {
        return;
    }
    a0 = std::fmod(a0, 2 * kPi);
    a1 = std::fmod(a1, 2 * kPi);
    if (a1 <= a0 + 1e-12) {
        a1 += 2 * kPi;
    }
    std::vector<vpoint> points;
    const double majorLength = std::sqrt(major.x * major.x + major.y * major.y + major.z * major.z);
    if (bounds_) {
        arcExtremes(points, m, {0, 0, 0}, 1, a0, a1);
    } else {
        arcPoints(points, {0, 0, 0}, 1, 1, a0, a1, unitPixels(c.m) * majorLength);
    }
    stroke(m, points, false, s);
}

void Renderer::bulgeTo(std::vector<vpoint> &out, const hmatrix &m, const vpoint &a, const vpoint &b, double bulge,
                       double pixels) {
    if (!(std::fabs(bulge) > 1e-9) || !std::isfinite(bulge)) {
        out.push_back(b);
        return;
    }
    // The arc from a to b whose included angle is four times the arctangent of the bulge.
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double chord = std::sqrt(dx * dx + dy * dy);
    if (!(chord > 0)) {
        out.push_back(b);
        return;
    }
    const double angle = 4 * std::atan(bulge);
    const double r = chord / (2 * std::sin(std::fabs(angle) / 2));
    const double h = r * std::cos(angle / 2);  // centre's distance from the chord's middle
    const double sign = bulge > 0 ? 1 : -1;
    const vpoint centre = {(a.x + b.x) / 2 - sign * h * dy / chord, (a.y + b.y) / 2 + sign * h * dx / chord, a.z};
    double a0 = std::atan2(a.y - centre.y, a.x - centre.x);
    double a1 = std::atan2(b.y - centre.y, b.x - centre.x);
    std::vector<vpoint> &arc = arc_;
    if (bounds_) {
        // For the extents, only the arc's extremes count.
        const double from = bulge > 0 ? a0 : a1;
        double to = bulge > 0 ? a1 : a0;
        if (to < from) {
            to += 2 * kPi;
        }
        arcExtremes(arc, m, centre, std::fabs(r), from, to);
        out.insert(out.end(), arc.begin(), arc.end());
    } else if (bulge > 0) {
        arcPoints(arc, centre, std::fabs(r), std::fabs(r), a0, a1, pixels);
        out.insert(out.end(), arc.begin() + (arc.empty() ? 0 : 1), arc.end());
    } else {
        arcPoints(arc, centre, std::fabs(r), std::fabs(r), a1, a0, pixels);
        for (std::size_t i = arc.size(); i-- > 1;) {
            out.push_back(arc[i - 1]);
        }
    }
    if (out.empty() || out.back().x != b.x || out.back().y != b.y) {
        out.push_back(b);
    }
}

void Renderer::lwpolyline(const Fields &f, const Context &c, const Style &s) {
    const hmatrix m = inObjectPlane(f, c.m);
    const double pixels = unitPixels(m);
    const double z = f.number(38, 0);
    std::vector<vpoint> &vertices = vertices_;
    std::vector<double> &bulges = bulges_;
    vertices.clear();
    bulges.clear();
    for (uint32_t i = 0; i < f.size(); ++i) {
        const Group &g = f.begin()[i];
        if (g.code == 10) {
            vertices.push_back({g.number, 0, z});
            bulges.push_back(0);
        } else if (g.code == 20 && !vertices.empty()) {
            vertices.back().y = g.number;
        } else if (g.code == 42 && !bulges.empty()) {
            bulges.back() = g.number;
        }
    }
    if (vertices.empty()) {
        return;
    }
    const bool closed = (f.integer(70, 0) & 1) != 0;
    std::vector<vpoint> &points = curve_;
    points.assign(1, vertices[0]);
    for (std::size_t i = 0; i + 1 < vertices.size(); ++i) {
        bulgeTo(points, m, vertices[i], vertices[i + 1], bulges[i], pixels);
    }
    if (closed && vertices.size() > 1) {
        bulgeTo(points, m, vertices.back(), vertices[0], bulges.back(), pixels);
    }
    stroke(m, points, false, s);
}

void Renderer::polyline(const Entity &e, const Fields &f, const Context &c, const Style &s) {
    const int32_t flags = f.integer(70, 0);
    hmatrix m = c.m, ocs;
    const bool planar = (flags & (8 | 16 | 64)) == 0;
    if (planar && ocsMatrix(f, ocs)) {
        m = multiply(c.m, ocs);
    }
    // The vertices: each behind a (0, VERTEX) group.
    struct Vertex {
        vpoint p;
        double bulge;
        int32_t flags;
        int32_t index[4];
    };
    std::vector<Vertex> vertices;
    const Group *g = d_.groupsOf(e);
    for (uint32_t i = 0; i < e.count; ++i) {
        if (g[i].code == 0) {
            vertices.push_back({{0, 0, 0}, 0, 0, {0, 0, 0, 0}});
            continue;
        }
        if (vertices.empty()) {
            continue;
        }
        Vertex &v = vertices.back();
        switch (g[i].code) {
            case 10: v.p.x = g[i].number; break;
            case 20: v.p.y = g[i].number; break;
            case 30: v.p.z = g[i].number; break;
            case 42: v.bulge = g[i].number; break;
            case 70: v.flags = std::isfinite(g[i].number) ? static_cast<int32_t>(g[i].number) : 0; break;
            case 71: case 72: case 73: case 74:
                v.index[g[i].code - 71] = std::isfinite(g[i].number) && std::fabs(g[i].number) < 2e9 ?
                                              static_cast<int32_t>(g[i].number) : 0;
                break;
            default: break;
        }
    }
    if ((flags & 64) != 0) {
        // Polyface mesh: the faces' visible edges between the numbered vertices.
        std::vector<vpoint> points;
        for (const Vertex &v : vertices) {
            if ((v.flags & 64) != 0 && (v.flags & 128) != 0) {
                points.push_back(v.p);
            }
        }
        for (const Vertex &v : vertices) {
            if ((v.flags & 128) == 0 || (v.flags & 64) != 0) {
                continue;
            }
            int corners = 0;
            while (corners < 4 && v.index[corners] != 0) {
                ++corners;
            }
            for (int k = 0; k < corners; ++k) {
                const int32_t a = v.index[k], b = v.index[(k + 1) % corners];
                const auto ia = static_cast<std::size_t>(std::abs(a) - 1), ib = static_cast<std::size_t>(std::abs(b) - 1);
                if (a > 0 && ia < points.size() && ib < points.size()) {
                    stroke(m, {points[ia], points[ib]}, false, s);
                }
            }
        }
        return;
    }
    if ((flags & 16) != 0) {
        // Polygon mesh of M by N vertices: its rows and columns.
        const int32_t rows = f.integer(71, 0), columns = f.integer(72, 0);
        if (rows < 1 || columns < 1 || static_cast<int64_t>(rows) * columns > static_cast<int64_t>(vertices.size())) {
            return;
        }
        const auto at = [&](int32_t r, int32_t k) { return vertices[static_cast<std::size_t>(r * columns + k)].p; };
        for (int32_t r = 0; r < rows; ++r) {
            std::vector<vpoint> row;
            for (int32_t k = 0; k < columns; ++k) {
                row.push_back(at(r, k));
            }
            stroke(m, row, (flags & 32) != 0, s);
        }
        for (int32_t k = 0; k < columns; ++k) {
            std::vector<vpoint> column;
            for (int32_t r = 0; r < rows; ++r) {
                column.push_back(at(r, k));
            }
            stroke(m, column, (flags & 1) != 0, s);
        }
        return;
    }
    if (vertices.empty()) {
        return;
    }
    const double pixels = unitPixels(m);
    std::vector<vpoint> points{vertices[0].p};
    for (std::size_t i = 0; i + 1 < vertices.size(); ++i) {
        bulgeTo(points, m, vertices[i].p, vertices[i + 1].p, planar ? vertices[i].bulge : 0, pixels);
    }
    if ((flags & 1) != 0 && vertices.size() > 1) {
        bulgeTo(points, m, vertices.back().p, vertices[0].p, planar ? vertices.back().bulge : 0, pixels);
    }
    stroke(m, points, false, s);
}

void Renderer::splinePoints(std::vector<vpoint> &out, int degree, const std::vector<double> &knotsIn,
                            const std::vector<vpoint> &control, const std::vector<double> &weightsIn,
                            double pixels) {
    const auto n = static_cast<int>(control.size());
    const int p = std::clamp(degree, 1, std::max(1, n - 1));
    if (n < 2) {
        out.insert(out.end(), control.begin(), control.end());
        return;
    }
    // Knots that do not fit the control points are replaced by a clamped uniform vector.
    std::vector<double> knots = knotsIn;
    bool ok = static_cast<int>(knots.size()) == n + p + 1;
    for (std::size_t i = 1; ok && i < knots.size(); ++i) {
        ok = std::isfinite(knots[i]) && knots[i] >= knots[i - 1];
    }
    if (!ok || !(knots[static_cast<std::size_t>(n)] > knots[static_cast<std::size_t>(p)])) {
        knots.assign(static_cast<std::size_t>(n + p + 1), 0);
        for (int i = 0; i < n + p + 1; ++i) {
            knots[static_cast<std::size_t>(i)] = std::clamp(i - p, 0, n - p);
        }
    }
    std::vector<double> weights = weightsIn;
    if (static_cast<int>(weights.size()) != n) {
        weights.assign(static_cast<std::size_t>(n), 1.0);
    }
    double length = 0;
    for (int i = 1; i < n; ++i) {
        const vpoint &a = control[static_cast<std::size_t>(i - 1)], &b = control[static_cast<std::size_t>(i)];
        length += std::hypot(b.x - a.x, b.y - a.y);
    }
    // Steps a span by its length on the page; a length that is no number (NaN, or points at infinity) takes the fewest.
    const double wanted = length * pixels / (n - p) / 3;
    const int perSpan = bounds_ ? 16 : !(wanted >= 4) ? 4 : wanted > 64 ? 64 : static_cast<int>(wanted);
    std::vector<double> hx(static_cast<std::size_t>(p + 1)), hy(hx), hz(hx), hw(hx);
    for (int k = p; k < n; ++k) {
        const double u0 = knots[static_cast<std::size_t>(k)], u1 = knots[static_cast<std::size_t>(k + 1)];
        if (!(u1 > u0)) {
            continue;
        }
        const bool last = k == n - 1 || !(knots[static_cast<std::size_t>(n)] > u1);
        for (int step = 0; step <= perSpan; ++step) {
            if (step == perSpan && !last) {
                break;
            }
            if (!out.empty() && step == 0 && k > p) {
                continue;
            }
            const double u = u0 + (u1 - u0) * step / perSpan;
            // de Boor's algorithm in homogeneous coordinates.
            for (int j = 0; j <= p; ++j) {
                const auto idx = static_cast<std::size_t>(j + k - p);
                const double w = weights[idx];
                hx[static_cast<std::size_t>(j)] = control[idx].x * w;
                hy[static_cast<std::size_t>(j)] = control[idx].y * w;
                hz[static_cast<std::size_t>(j)] = control[idx].z * w;
                hw[static_cast<std::size_t>(j)] = w;
            }
            for (int r = 1; r <= p; ++r) {
                for (int j = p; j >= r; --j) {
                    const double a0 = knots[static_cast<std::size_t>(j + k - p)];
                    const double a1 = knots[static_cast<std::size_t>(j + 1 + k - r)];
                    const double alpha = a1 > a0 ? (u - a0) / (a1 - a0) : 0;
                    const auto J = static_cast<std::size_t>(j);
                    hx[J] = (1 - alpha) * hx[J - 1] + alpha * hx[J];
                    hy[J] = (1 - alpha) * hy[J - 1] + alpha * hy[J];
                    hz[J] = (1 - alpha) * hz[J - 1] + alpha * hz[J];
                    hw[J] = (1 - alpha) * hw[J - 1] + alpha * hw[J];
                }
            }
            const auto P = static_cast<std::size_t>(p);
            const double w = hw[P] != 0 ? hw[P] : 1;
            out.push_back({hx[P] / w, hy[P] / w, hz[P] / w});
        }
    }
}

void Renderer::spline(const Fields &f, const Context &c, const Style &s) {
    std::vector<double> knots, weights;
    std::vector<vpoint> control, fit;
    for (uint32_t i = 0; i < f.size(); ++i) {
        const Group &g = f.begin()[i];
        switch (g.code) {
            case 40: knots.push_back(g.number); break;
            case 41: weights.push_back(g.number); break;
            case 10: control.push_back({g.number, 0, 0}); break;
            case 20: if (!control.empty()) control.back().y = g.number; break;
            case 30: if (!control.empty()) control.back().z = g.number; break;
            case 11: fit.push_back({g.number, 0, 0}); break;
            case 21: if (!fit.empty()) fit.back().y = g.number; break;
            case 31: if (!fit.empty()) fit.back().z = g.number; break;
            default: break;
        }
    }
    std::vector<vpoint> points;
    if (control.size() >= 2) {
        splinePoints(points, f.integer(71, 3), knots, control, weights, unitPixels(c.m));
    } else {
        points = fit;  // a spline given by its fit points alone is drawn through them
    }
    stroke(c.m, points, (f.integer(70, 0) & 1) != 0 && control.size() < 2, s);
}

void Renderer::solid(const Fields &f, const Context &c, const Style &s, bool face) {
    if (face) {
        // 3DFACE: the outline, without the edges its flags hide.
        const vpoint p[4] = {f.point(10), f.point(11), f.point(12), f.point(13)};
        const int32_t hidden = f.integer(70, 0);
        for (int k = 0; k < 4; ++k) {
            if ((hidden & (1 << k)) == 0) {
                stroke(c.m, {p[k], p[(k + 1) % 4]}, false, s);
            }
        }
        return;
    }
    const hmatrix m = inObjectPlane(f, c.m);
    // SOLID and TRACE give their corners in the order 1, 2, 4, 3.
    const vpoint a = f.point(10), b = f.point(11), cc = f.point(12);
    const vpoint dd = f.find(13) != nullptr ? f.point(13) : cc;
    fill(m, {{a, b, dd, cc}}, s);
}

void Renderer::leader(const Fields &f, const Context &c, const Style &s) {
    std::vector<vpoint> points;
    for (uint32_t i = 0; i < f.size(); ++i) {
        const Group &g = f.begin()[i];
        if (g.code == 10) {
            points.push_back({g.number, 0, 0});
        } else if (g.code == 20 && !points.empty()) {
            points.back().y = g.number;
        } else if (g.code == 30 && !points.empty()) {
            points.back().z = g.number;
        }
    }
    stroke(c.m, points, false, s);
}

/// Reads a HATCH's groups in their order.
class HatchCursor {
public:
    explicit HatchCursor(const Fields &f) : g_(f.begin()), n_(f.size()) {}
    bool at(int32_t code) const { return i_ < n_ && g_[i_].code == code; }
    bool take(int32_t code, double &value) {
        if (!at(code)) {
            return false;
        }
        value = g_[i_++].number;
        return true;
    }
    double get(int32_t code, double fallback) {
        double v = fallback;
        take(code, v);
        return v;
    }
    /// A whole number; one that is no number or out of range gives the fallback.
    int32_t integer(int32_t code, int32_t fallback) {
        const double v = get(code, fallback);
        return std::isfinite(v) && std::fabs(v) < 2e9 ? static_cast<int32_t>(v) : fallback;
    }
    bool seek(int32_t code) {
        while (i_ < n_ && g_[i_].code != code) {
            ++i_;
        }
        return i_ < n_;
    }
    void skip() { ++i_; }
    bool done() const { return i_ >= n_; }

private:
    const Group *g_;
    uint32_t n_;
    uint32_t i_ = 0;
};

void Renderer::hatch(const Fields &f, const Context &c, const Style &s) {
    const hmatrix m = inObjectPlane(f, c.m);
    const double pixels = unitPixels(m);
    const double z = f.number(30, 0);
    HatchCursor h(f);
    std::vector<std::vector<vpoint>> loops;
    if (!h.seek(91)) {
        return;
    }
    const double declared = h.get(91, 0);
    for (double l = 0; l < declared && h.at(92); ++l) {
        const int32_t type = h.integer(92, 0);
        std::vector<vpoint> loop;
        if ((type & 2) != 0) {
            const bool bulged = h.get(72, 0) != 0;
            const bool closed = h.get(73, 1) != 0;
            h.get(93, 0);
            std::vector<vpoint> vertices;
            std::vector<double> bulges;
            while (h.at(10)) {
                vertices.push_back({h.get(10, 0), h.get(20, 0), z});
                bulges.push_back(bulged ? h.get(42, 0) : 0);
            }
            if (!vertices.empty()) {
                loop.push_back(vertices[0]);
                for (std::size_t i = 0; i + 1 < vertices.size(); ++i) {
                    bulgeTo(loop, m, vertices[i], vertices[i + 1], bulges[i], pixels);
                }
                // A boundary is closed whether or not its flag says so.
                (void)closed;
                bulgeTo(loop, m, vertices.back(), vertices[0], bulges.back(), pixels);
            }
        } else {
            h.get(93, 0);
            while (h.at(72)) {
                const int32_t edge = h.integer(72, 0);
                std::vector<vpoint> piece;
                if (edge == 1) {
                    const double x1 = h.get(10, 0), y1 = h.get(20, 0), x2 = h.get(11, 0), y2 = h.get(21, 0);
                    piece = {{x1, y1, z}, {x2, y2, z}};
                } else if (edge == 2 || edge == 3) {
                    const vpoint centre = {h.get(10, 0), h.get(20, 0), z};
                    double mx = 0, my = 0;
                    if (edge == 3) {
                        mx = h.get(11, 0);
                        my = h.get(21, 0);
                    }
                    const double r = h.get(40, 0);
                    const double start = h.get(50, 0), end = h.get(51, 360);
                    const bool ccw = h.get(73, 1) != 0;
                    double a0 = start * kDegree, a1 = end * kDegree;
                    if (!ccw) {
                        a0 = -end * kDegree;
                        a1 = -start * kDegree;
                    }
                    if (std::fabs(end - start) >= 360 - 1e-9) {
                        a0 = 0, a1 = 2 * kPi;
                    }
                    std::vector<vpoint> unit;
                    if (edge == 2) {
                        arcPoints(piece, centre, r, r, a0, a1, pixels);
                    } else {
                        // Ellipse: the angles are parameters of the unit circle mapped to the axes.
                        const double major = std::hypot(mx, my);
                        arcPoints(unit, {0, 0, 0}, 1, 1, a0, a1, pixels * major);
                        for (const vpoint &u : unit) {
                            piece.push_back({centre.x + u.x * mx - u.y * my * r, centre.y + u.x * my + u.y * mx * r, z});
                        }
                    }
                    if (!ccw) {
                        std::reverse(piece.begin(), piece.end());
                    }
                } else if (edge == 4) {
                    const int degree = std::clamp(h.integer(94, 3), 1, 10);
                    h.get(73, 0);
                    h.get(74, 0);
                    h.get(95, 0);
                    h.get(96, 0);
                    std::vector<double> knots, weights;
                    std::vector<vpoint> control;
                    while (h.at(40)) {
                        knots.push_back(h.get(40, 0));
                    }
                    while (h.at(10)) {
                        control.push_back({h.get(10, 0), h.get(20, 0), z});
                        if (h.at(42)) {
                            weights.push_back(h.get(42, 1));
                        }
                    }
                    h.get(97, 0);
                    std::vector<vpoint> fit;
                    while (h.at(11)) {
                        fit.push_back({h.get(11, 0), h.get(21, 0), z});
                    }
                    for (int code : {12, 22, 13, 23}) {
                        h.get(code, 0);
                    }
                    if (control.size() >= 2) {
                        splinePoints(piece, degree, knots, control, weights, pixels);
                    } else {
                        piece = fit;
                    }
                } else {
                    note("a hatch with an edge of unknown type was not drawn");
                    return;
                }
                // Edges that do not meet begin another contour: one boundary may list several.
                if (piece.empty()) {
                    continue;
                }
                const double tolerance = 1e-6 * (std::fabs(piece.front().x) + std::fabs(piece.front().y) + 1);
                if (!loop.empty() && (std::fabs(loop.back().x - piece.front().x) > tolerance ||
                                      std::fabs(loop.back().y - piece.front().y) > tolerance)) {
                    if (loop.size() >= 2) {
                        loops.push_back(std::move(loop));
                    }
                    loop.clear();
                }
                loop.insert(loop.end(), piece.begin() + (loop.empty() ? 0 : 1), piece.end());
            }
        }
        double sources = 0;
        if (h.take(97, sources)) {
            while (h.at(330)) {
                h.skip();
            }
        }
        if (loop.size() >= 2) {
            loops.push_back(std::move(loop));
        }
    }
    if (loops.empty()) {
        return;
    }
    if (f.integer(70, 0) != 0) {
        fill(m, loops, s);
        return;
    }
    // Pattern: families of lines, each clipped to the loops by the even-odd rule.
    for (const auto &loop : loops) {
        stroke(m, loop, true, s);
    }
    if (bounds_ || !h.seek(78)) {
        return;
    }
    h.skip();
    double lo[2] = {std::numeric_limits<double>::max(), std::numeric_limits<double>::max()};
    double hi[2] = {-lo[0], -lo[1]};
    for (const auto &loop : loops) {
        for (const vpoint &p : loop) {
            lo[0] = std::min(lo[0], p.x), lo[1] = std::min(lo[1], p.y);
            hi[0] = std::max(hi[0], p.x), hi[1] = std::max(hi[1], p.y);
        }
    }
    while (h.at(53)) {
        const double angle = h.get(53, 0) * kDegree;
        const double bx = h.get(43, 0), by = h.get(44, 0), ox = h.get(45, 0), oy = h.get(46, 0);
        h.get(79, 0);
        std::vector<double> dashes;
        while (h.at(49)) {
            dashes.push_back(h.get(49, 0));
        }
        const double dx = std::cos(angle), dy = std::sin(angle);
        const double nx = -dy, ny = dx;
        const double spacing = ox * nx + oy * ny;
        const double shift = ox * dx + oy * dy;
        if (!std::isfinite(spacing) || std::fabs(spacing) < 1e-12 || !std::isfinite(bx + by + shift)) {
            continue;
        }
        double pmin = std::numeric_limits<double>::max(), pmax = -pmin;
        for (double x : {lo[0], hi[0]}) {
            for (double y : {lo[1], hi[1]}) {
                const double p = (x - bx) * nx + (y - by) * ny;
                pmin = std::min(pmin, p), pmax = std::max(pmax, p);
            }
        }
        const double k0 = std::floor(std::min(pmin, pmax) / std::fabs(spacing));
        const double k1 = std::ceil(std::max(pmin, pmax) / std::fabs(spacing));
        if (!(k1 - k0 < kMaxPatternLines)) {
            note("a hatch pattern too dense to draw line by line was filled");
            fill(m, loops, s);
            return;
        }
        double dashTotal = 0;
        for (double dash : dashes) {
            dashTotal += std::fabs(dash);
        }
        const bool dashed = !dashes.empty() && dashTotal * pixels > 1;
        const double sign = spacing > 0 ? 1 : -1;
        for (double k = k0; k <= k1; ++k) {
            // The line through o + t d, with o = base + k offset.
            const double kk = k * sign;
            const double px = bx + kk * ox, py = by + kk * oy;
            std::vector<double> ts;
            for (const auto &loop : loops) {
                for (std::size_t i = 0; i < loop.size(); ++i) {
                    const vpoint &a = loop[i], &b = loop[(i + 1) % loop.size()];
                    const double sa = (a.x - px) * nx + (a.y - py) * ny, sb = (b.x - px) * nx + (b.y - py) * ny;
                    if ((sa < 0) != (sb < 0)) {
                        const double t = sa / (sa - sb);
                        ts.push_back((a.x + (b.x - a.x) * t - px) * dx + (a.y + (b.y - a.y) * t - py) * dy);
                    }
                }
            }
            std::sort(ts.begin(), ts.end());
            for (std::size_t i = 0; i + 1 < ts.size(); i += 2) {
                const double t0 = ts[i], t1 = ts[i + 1];
                if (!dashed) {
                    stroke(m, {{px + t0 * dx, py + t0 * dy, z}, {px + t1 * dx, py + t1 * dy, z}}, false, s);
                    continue;
                }
                // Dashes repeat from the line's origin; walk them from the first before t0.
                double t = std::floor((t0 - kk * shift) / dashTotal) * dashTotal + kk * shift;
                for (int guard = 0; t < t1 && guard < 100000; ++guard) {
                    for (double dash : dashes) {
                        const double a = std::max(t, t0), b = std::min(t + std::fabs(dash), t1);
                        if (dash >= 0 && b >= a) {
                            stroke(m, {{px + a * dx, py + a * dy, z}, {px + b * dx, py + b * dy, z}}, false, s);
                        }
                        t += std::fabs(dash);
                    }
                }
            }
        }
    }
}

void lineCollect(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    auto *segments = reinterpret_cast<std::vector<vpoint> *>(context);
    segments->push_back({first[0], first[1], 0});
    segments->push_back({second[0], second[1], 0});
}

bool Renderer::withinBox(const hmatrix &m, const std::vector<vpoint> &points) const {
    if (!anything_ || points.empty()) {
        return false;
    }
    // The matrix maps the points' box onto a parallelogram that holds them all; its corners,
    // widened by far more than the rounding of the products, must lie strictly inside.
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0, reach = 0;
    for (const vpoint &p : points) {
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
        reach = std::max(reach, std::fabs(p.z));
    }
    reach = std::max({reach, std::fabs(x0), std::fabs(x1), std::fabs(y0), std::fabs(y1)});
    double size = 0;
    for (int r = 0; r < 2; ++r) {
        size += (std::fabs(m.m[r][0]) + std::fabs(m.m[r][1]) + std::fabs(m.m[r][2])) * reach + std::fabs(m.m[r][3]);
    }
    const double slack = size * 1e-9;
    if (!std::isfinite(slack)) {
        return false;
    }
    for (const double x : {x0, x1}) {
        for (const double y : {y0, y1}) {
            for (const double z : {-reach, reach}) {
                vpoint c{x, y, z};
                mult_hmatrix_p(&m, &c.x, &c.y, &c.z);
                if (!(c.x - slack > box_[0] && c.x + slack < box_[2] && c.y - slack > box_[1] &&
                      c.y + slack < box_[3])) {
                    return false;
                }
            }
        }
    }
    return true;
}

hmatrix stringMatrix(const hmatrix &m, double dx, double height, double widthFactor, double oblique, int32_t flags,
                     int valign) {
    const double dy = valign == 1 ? 0.3 : valign == 2 ? -0.5 : valign == 3 ? -1 : 0;
    // Mirrors, slant, width and height about the insertion point.
    const double slant = std::tan(std::clamp(oblique, -85.0, 85.0) * kDegree);
    const double mx = (flags & 2) != 0 ? -1 : 1, my = (flags & 4) != 0 ? -1 : 1;
    hmatrix local;
    create_unitmatrix(&local);
    local.m[0][0] = mx * height * widthFactor;
    local.m[0][1] = mx * height * slant * my;
    local.m[1][1] = my * height;
    local.m[0][3] = mx * height * (dx * widthFactor + dy * slant);
    local.m[1][3] = my * height * dy;
    local.flags = 0;
    return multiply(m, local);
}

const std::vector<vpoint> &strokeReach(std::size_t count) {
    // The farthest any code's strokes reach, and its advance, each laid out alone as drawString
    // lays out a string; a string of codes stays within their sum, widened more than enough.
    static const std::array<double, 4> reach = [] {
        std::array<double, 4> r = {0, 0, 0, 0};  // advance, |x|, lowest y, highest y
        std::vector<vpoint> segments;
        for (int code = 1; code < 256; ++code) {
            const char text[2] = {static_cast<char>(code), '\0'};
            double end[3] = {0, 0, 0};
            segments.clear();
            if (code != '%') {
                txt(reinterpret_cast<intptr_t>(&segments), nullptr, text, 0, 0, 0, 1, 0.85, 0, 0, nullptr, 0, 0,
                    lineCollect, end);
            }
            r[0] = std::max(r[0], std::fabs(end[0]));
            for (const vpoint &p : segments) {
                r[1] = std::max(r[1], std::fabs(p.x));
                r[2] = std::min(r[2], p.y), r[3] = std::max(r[3], p.y);
            }
        }
        return r;
    }();
    // Whatever the alignment moves the string by, at most its advance, is inside the width.
    const double width = static_cast<double>(count) * (2 * reach[0] + 1) + reach[1] + 2;
    thread_local std::vector<vpoint> corners(2);
    corners[0] = {-width, reach[2] - 2, 0};
    corners[1] = {width, reach[3] + 2, 0};
    return corners;
}

void Renderer::drawString(const hmatrix &m, const std::string &utf8, const Style &s, const std::string &styleName,
                          double height, double widthFactor, double oblique, int32_t flags, int halign, int valign) {
    static const int32_t ready = init_txt();
    (void)ready;
    if (!(height > 0) || !std::isfinite(height) || utf8.empty()) {
        return;
    }
    if (!(widthFactor > 0) || !std::isfinite(widthFactor)) {
        widthFactor = 1;
    }
    const std::vector<uint32_t> chars = decode(utf8);
    const auto found = d_.styles.find(upper(styleName));
    std::string font = found != d_.styles.end() ? upper(found->second.font) : std::string();
    const bool outline = font.size() > 4 && (font.ends_with(".TTF") || font.ends_with(".OTF"));
    // Laid out at the origin in units of the height, then placed by the matrix.
    std::vector<vpoint> &segments = segments_;
    segments.clear();
    double advance = 0;
    if (outline) {
        std::string ansi;
        for (uint32_t c : chars) {
            ansi += c < 256 ? static_cast<char>(c) : '?';
        }
        kor_logfont lf{};
        std::string face = found->second.font;
        face = face.substr(0, face.find_last_of('.'));
        const std::size_t slash = face.find_last_of("/\\");
        face = slash == std::string::npos ? face : face.substr(slash + 1);
        std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face.c_str());
        lf.lfWeight = 400;
        ttxt(reinterpret_cast<intptr_t>(&segments), nullptr, ansi.c_str(), &lf, 0, 0, 0, 1, 1, 0, 0, nullptr, 0,
             TTXT_NATURALWIDTH | TTXT_ASCENTHEIGHT, 0, lineCollect, 0);
        for (const vpoint &p : segments) {
            advance = std::max(advance, p.x);
        }
    }
    if (!outline || segments.empty()) {
        std::string &codes = codes_;
        codes.clear();
        bool escapes = false;
        for (uint32_t c : chars) {
            const unsigned char code = strokeCode(c);
            // "%%%" is the stroke font's own escape for "%".
            codes += code == 0 ? " " : code == '%' ? "%%%" : std::string_view(reinterpret_cast<const char *>(&code), 1);
            escapes = escapes || code == '%';
        }
        if (bounds_ && !escapes && withinBox(stringMatrix(m, 0, height, widthFactor, oblique, flags, valign),
                                             strokeReach(codes.size()))) {
            continuing_ = false;
            return;  // wherever its strokes fall, they cannot widen the extents
        }
        double end[3] = {0, 0, 0};
        if (!bounds_ && halign == 0) {
            // Left-aligned on the page: placed before it is laid out, so each segment goes to
            // the page as txt gives it.
            Placer placer{*this, stringMatrix(m, 0, height, widthFactor, oblique, flags, valign), s};
            continuing_ = false;
            txt(reinterpret_cast<intptr_t>(&placer), nullptr, codes.c_str(), 0, 0, 0, 1, 0.85, 0, 0, nullptr, 0, 0,
                Placer::segment, end);
            finishPiece();
            continuing_ = false;
            return;
        }
        txt(reinterpret_cast<intptr_t>(&segments), nullptr, codes.c_str(), 0, 0, 0, 1, 0.85, 0, 0, nullptr, 0, 0,
            lineCollect, end);
        advance = end[0] - 0.85 / 3;
    }
    const double dx = halign == 1 ? -advance / 2 : halign == 2 ? -advance : 0;
    Placer placer{*this, stringMatrix(m, dx, height, widthFactor, oblique, flags, valign), s};
    continuing_ = false;
    if (bounds_ && withinBox(placer.full, segments)) {
        return;  // cannot widen the extents
    }
    for (std::size_t i = 0; i + 1 < segments.size(); i += 2) {
        placer.place(segments[i], segments[i + 1]);
    }
    finishPiece();
    continuing_ = false;
}

void Renderer::text(const Fields &f, const Context &c, const Style &s, bool attribute) {
    if (attribute && (f.integer(70, 0) & 1) != 0) {
        return;  // an invisible attribute
    }
    const hmatrix m = inObjectPlane(f, c.m);
    const std::string styleName(f.text(7).empty() ? std::string_view("STANDARD") : f.text(7));
    const auto style = d_.styles.find(upper(styleName));
    double height = f.number(40, 0);
    if (!(height > 0) && style != d_.styles.end()) {
        height = style->second.height;
    }
    double widthFactor = f.number(41, style != d_.styles.end() ? style->second.width : 1);
    const double oblique = f.number(51, style != d_.styles.end() ? style->second.oblique : 0);
    const int32_t flags = f.integer(71, style != d_.styles.end() ? style->second.flags : 0);
    int halign = f.integer(72, 0);
    const int valign = f.integer(attribute ? 74 : 73, 0);
    vpoint p = f.point(10);
    double angle = f.number(50, 0) * kDegree;
    if (halign != 0 || valign != 0) {
        const vpoint second = f.point(11);
        if (f.find(11) != nullptr) {
            if (halign == 3 || halign == 5) {
                // Aligned and fit: the text runs from the first point to the second.
                const double length = std::hypot(second.x - p.x, second.y - p.y);
                angle = std::atan2(second.y - p.y, second.x - p.x);
                std::vector<vpoint> probe;
                double end[3] = {0, 0, 0};
                const std::string utf8 = toUtf8(f.text(1), d_.codepage);
                txt(reinterpret_cast<intptr_t>(&probe), nullptr, std::string(decode(utf8).size(), 'x').c_str(), 0, 0,
                    0, 1, 0.85, 0, 0, nullptr, 0, 0, lineCollect, end);
                const double natural = std::max(1e-9, end[0] - 0.85 / 3);
                if (halign == 3) {
                    height = length / natural / widthFactor;
                } else {
                    widthFactor = length / natural / (height > 0 ? height : 1);
                }
                halign = 0;
            } else {
                p = second;
            }
        }
    }
    if (halign == 4) {
        halign = 1;
    }
    if (!finite(p) || !std::isfinite(angle)) {
        return;
    }
    hmatrix place;
    create_hmatrix(&place, p.x, p.y, p.z, std::cos(angle), std::sin(angle), 1, 1, 1);
    drawString(multiply(m, place), toUtf8(f.text(1), d_.codepage), s, styleName, height, widthFactor, oblique,
               flags, std::clamp(halign, 0, 2), valign == 4 ? 2 : std::clamp(valign, 0, 3));
}

void Renderer::mtext(const Fields &f, const Context &c, const Style &s) {
    std::string raw;
    for (uint32_t i = 0; i < f.size(); ++i) {
        const Group &g = f.begin()[i];
        if (g.code == 3) {
            raw += d_.text(g);
        }
    }
    raw += f.text(1);
    const std::vector<std::string> lines = mtextLines(toUtf8(raw, d_.codepage));
    const std::string styleName(f.text(7).empty() ? std::string_view("STANDARD") : f.text(7));
    const double height = f.number(40, 1);
    const int attachment = std::clamp(f.integer(71, 1), 1, 9);
    const double spacing = 5.0 / 3 * height * std::clamp(f.number(44, 1), 0.25, 4.0);
    vpoint direction = {1, 0, 0};
    hmatrix m = c.m, ocs;
    if (f.find(11) != nullptr) {
        direction = f.point(11);
    } else {
        const double a = f.number(50, 0) * kDegree;
        direction = {std::cos(a), std::sin(a), 0};
        if (ocsMatrix(f, ocs)) {
            m = multiply(c.m, ocs);
        }
    }
    const double dl = std::hypot(direction.x, direction.y);
    const vpoint p = f.point(10);
    if (!(dl > 0) || !std::isfinite(dl) || !finite(p)) {
        return;
    }
    hmatrix place;
    create_hmatrix(&place, p.x, p.y, p.z, direction.x / dl, direction.y / dl, 1, 1, 1);
    const hmatrix base = multiply(m, place);
    const int halign = (attachment - 1) % 3;
    const int row = (attachment - 1) / 3;  // 0 top, 1 middle, 2 bottom
    const double total = static_cast<double>(lines.size() - 1) * spacing + height;
    const double top = row == 0 ? 0 : row == 1 ? total / 2 : total;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const double y = top - height - static_cast<double>(i) * spacing;
        hmatrix shift;
        create_hmatrix(&shift, 0, y, 0, 1, 0, 1, 1, 1);
        drawString(multiply(base, shift), lines[i], s, styleName, height, 1, 0, 0, halign, 0);
    }
}

bool Renderer::insert(const Fields &f, const Context &c, uint32_t colour, const std::string &layer,
                      bool dimension) {
    const std::string name = upper(f.text(2));
    const auto found = d_.blocks.find(name);
    if (found == d_.blocks.end()) {
        if (!dimension) {
            note("a reference to the undefined block \"" + std::string(f.text(2)) + "\" was skipped");
        }
        return false;
    }
    const Block &block = found->second;
    if (std::find(open_.begin(), open_.end(), &block) != open_.end()) {
        note("the block \"" + block.name + "\" refers to itself; the inner reference was skipped");
        return false;
    }
    if (c.depth >= kMaxDepth) {
        note("blocks nested more than " + std::to_string(kMaxDepth) + " deep were not drawn");
        return false;
    }
    Context inner;
    inner.blockColour = colour;
    inner.blockLayer = layer;
    inner.depth = c.depth + 1;
    hmatrix outer = c.m, ocs;
    if (ocsMatrix(f, ocs)) {
        outer = multiply(c.m, ocs);
    }
    hmatrix base;
    create_hmatrix(&base, -block.base[0], -block.base[1], -block.base[2], 1, 0, 1, 1, 1);
    open_.push_back(&block);
    if (dimension) {
        inner.m = multiply(c.m, base);
        entities(block.entities, inner);
        open_.pop_back();
        return true;
    }
    const vpoint at = f.point(10);
    const double sx = f.number(41, 1), sy = f.number(42, 1), sz = f.number(43, 1);
    const double angle = f.number(50, 0) * kDegree;
    const int32_t columns = std::max(1, f.integer(70, 1)), rows = std::max(1, f.integer(71, 1));
    const double columnSpacing = f.number(44, 0), rowSpacing = f.number(45, 0);
    const double cs = std::cos(angle), sn = std::sin(angle);
    if (!finite(at) || !std::isfinite(sx + sy + sz + angle + columnSpacing + rowSpacing)) {
        open_.pop_back();
        return false;
    }
    for (int32_t r = 0; r < rows && !cut_; ++r) {
        for (int32_t k = 0; k < columns && !cut_; ++k) {
            // Array copies step along the reference's turned axes.
            const double ox = k * columnSpacing, oy = r * rowSpacing;
            hmatrix place;
            create_hmatrix(&place, at.x + ox * cs - oy * sn, at.y + ox * sn + oy * cs, at.z, cs, sn, sx, sy, sz);
            inner.m = multiply(outer, multiply(place, base));
            entities(block.entities, inner);
            if (++work_ > o_.maxWork) {
                cut_ = true;
            }
        }
    }
    open_.pop_back();
    return true;
}

bool Renderer::visible(const Fields &f, const Context &c, std::string &layer, uint32_t &colour) const {
    // The groups that say, found in one walk over the entity's own.
    const Group *name = nullptr, *invisible = nullptr, *space = nullptr, *index = nullptr, *trueColour = nullptr;
    for (const Group *g = f.begin(), *end = g + f.size(); g != end && g->code != 0; ++g) {
        const Group **slot = g->code == 8 ? &name : g->code == 60 ? &invisible : g->code == 67 ? &space
                           : g->code == 62 ? &index : g->code == 420 ? &trueColour : nullptr;
        if (slot != nullptr && *slot == nullptr) {
            *slot = g;
        }
    }
    layer = upper(name != nullptr ? d_.text(*name) : std::string_view());
    if ((layer == "0" || layer.empty()) && c.depth > 0) {
        layer = c.blockLayer;
    }
    if (Fields::integerOf(invisible, 0) != 0 || Fields::integerOf(space, 0) != 0) {
        return false;  // invisible, or in paper space
    }
    const auto found = d_.layers.find(layer);
    const Layer *known = found != d_.layers.end() ? &found->second : nullptr;
    if (known != nullptr && (known->off || known->frozen)) {
        return false;
    }
    auto aci = [](int32_t i) { return i == 7 || i <= 0 || i > 255 ? 0u : GetAcadRGBColor(i); };
    auto rgb = [](int32_t value) {
        return static_cast<uint32_t>(((value >> 16) & 0xFF) | (value & 0xFF00) | ((value & 0xFF) << 16));
    };
    const int32_t aciIndex = Fields::integerOf(index, 256);
    if (trueColour != nullptr && std::isfinite(trueColour->number)) {
        colour = rgb(static_cast<int32_t>(static_cast<int64_t>(trueColour->number) & 0xFFFFFF));
    } else if (aciIndex == 0) {
        colour = c.blockColour;
    } else if (aciIndex == 256 || aciIndex < 0) {
        colour = known == nullptr ? 0 : known->trueColour >= 0 ? rgb(known->trueColour) : aci(known->colour);
    } else {
        colour = aci(aciIndex);
    }
    return true;
}

void Renderer::entities(std::span<const Entity> list, const Context &c) {
    for (const Entity &e : list) {
        if (cut_) {
            return;
        }
        if (++work_ > o_.maxWork) {
            cut_ = true;
            return;
        }
        entity(e, c);
    }
}

void Renderer::entity(const Entity &e, const Context &c) {
    const Kind kind = kinds_[e.kind];
    const Fields f(d_, e);
    std::string layer;
    uint32_t colour = 0;
    const bool counted = c.depth == 0 && bounds_;
    if (!visible(f, c, layer, colour)) {
        return;
    }
    if (!o_.layers.empty() && kind != Kind::Insert &&
        std::find(o_.layers.begin(), o_.layers.end(), layer) == o_.layers.end()) {
        return;
    }
    const Style s{colour, "dxf"};
    bool drawn = true;
    switch (kind) {
        case Kind::Line: line(f, c, s); break;
        case Kind::Point: stroke(c.m, {f.point(10)}, false, s); break;
        case Kind::Circle: case Kind::Arc: circleOrArc(f, c, s, kind == Kind::Arc); break;
        case Kind::Ellipse: ellipse(f, c, s); break;
        case Kind::LwPolyline: lwpolyline(f, c, s); break;
        case Kind::Polyline: polyline(e, f, c, s); break;
        case Kind::Spline: spline(f, c, s); break;
        case Kind::Solid: case Kind::Face: solid(f, c, s, kind == Kind::Face); break;
        case Kind::Hatch: hatch(f, c, s); break;
        case Kind::Text: case Kind::Attrib: text(f, c, s, kind == Kind::Attrib); break;
        case Kind::MText: mtext(f, c, s); break;
        case Kind::Leader: leader(f, c, s); break;
        case Kind::Insert: case Kind::Dimension:
            drawn = insert(f, c, s.colour, layer, kind == Kind::Dimension);
            break;
        case Kind::Other: drawn = false; break;
    }
    if (counted) {
        ++(drawn ? result_.drawn : result_.skipped)[d_.kinds[e.kind]];
    }
}

void Renderer::pass(bool bounds, const hmatrix &page) {
    bounds_ = bounds;
    work_ = 0;
    cut_ = false;
    open_.clear();
    Context c;
    c.m = page;
    if (page_ == nullptr || o_.threads < 2 || d_.entities.size() < kTwoWayEntities || !twoWay(c)) {
        entities(d_.entities, c);
    }
    if (cut_) {
        note("the drawing references more than " + std::to_string(o_.maxWork) + " entities; the rest was not drawn",
             true);
    }
}

const std::vector<std::size_t> &Renderer::cuts() {
    const int pass = bounds_ ? 1 : 0;
    if (!cuts_[pass].empty()) {
        return cuts_[pass];
    }
    // What an entity costs, roughly, in units of a few nanoseconds, on the page and for the
    // extents: a little for each of its groups, more for what is drawn of it. On the page,
    // curves are walked point by point and a text's glyphs stroke by stroke; for the extents, a
    // curve is found by its extremes and a text is seldom laid out. Both cuts are found at once.
    auto costs = [&](const Entity &e) -> std::array<uint64_t, 2> {
        const uint64_t groups = e.count;
        switch (kinds_[e.kind]) {
            case Kind::Circle: case Kind::Arc: case Kind::Ellipse: return {85 + groups, 35 + groups};
            case Kind::LwPolyline: case Kind::Polyline: case Kind::Spline: return {10 + groups * 5, 10 + groups * 3};
            case Kind::Text: case Kind::Attrib: case Kind::MText: {
                const uint64_t characters = Fields(d_, e).text(1).size();
                return {10 + groups + 33 * characters, 10 + groups + 6 * characters};
            }
            default: return {10 + groups, 10 + groups};
        }
    };
    std::vector<std::array<uint64_t, 2>> cost;
    cost.reserve(d_.entities.size());
    std::array<uint64_t, 2> total = {0, 0};
    for (const Entity &e : d_.entities) {
        cost.push_back(costs(e));
        total[0] += cost.back()[0], total[1] += cost.back()[1];
    }
    for (int p = 0; p < 2; ++p) {
        // Piece k ends where the cost so far first reaches k/kPieces of the whole.
        std::vector<std::size_t> &at = cuts_[p];
        at.assign(1, 0);
        uint64_t sum = 0;
        for (std::size_t k = 0; k < d_.entities.size(); ++k) {
            sum += cost[k][p];
            if (sum * kPieces >= total[p] * at.size() && at.size() < kPieces) {
                at.push_back(k + 1);
            }
        }
        at.push_back(d_.entities.size());
    }
    return cuts_[pass];
}

bool Renderer::twoWay(const Context &c) {
    // The model space is cut into pieces of about equal cost. The two renderers, this one and a
    // second on a thread of its own, start on the first and the second piece, then each takes
    // the next piece not yet taken until none is left: neither waits long for the other. The
    // second draws into a page of its own. A pixel's top byte holds the number of the piece that
    // drew it, and the pages join pixel by pixel, the later piece's over the earlier's, as one
    // renderer drawing them in order would leave them. Notes join in the order of their pieces;
    // extents and counts add up.
    const std::span<const Entity> all(d_.entities);
    const std::vector<std::size_t> &at = cuts();
    const std::size_t pieces = at.size() - 1;
    RenderResult theirs;
    tool::PixelPage theirPage;
    tool::Picture unused;
    Renderer other(d_, o_, unused, &theirPage, theirs);
    other.bounds_ = bounds_;
    other.windowMin_ = windowMin_;
    other.windowMax_ = windowMax_;
    if (!bounds_) {
        theirPage.width = page_->width;
        theirPage.height = page_->height;
        theirPage.pixels.assign(page_->pixels.size(), 0);  // piece 0: under any piece's pixels
    }
    const RenderResult before = result_;
    const bool anythingBefore = anything_;
    double boxBefore[4];
    std::copy(box_, box_ + 4, boxBefore);
    std::atomic<std::size_t> next{2};
    auto share = [&](Renderer &r, std::size_t first) {
        r.sharing_ = true;
        for (std::size_t k = first; k < pieces && !r.cut_; k = next.fetch_add(1)) {
            r.stamp_ = static_cast<uint32_t>(k + 1) << 24;
            r.entities(all.subspan(at[k], at[k + 1] - at[k]), c);
        }
        r.sharing_ = false;
        r.stamp_ = 0;
    };
    bool theirsDone = false;
    {
        std::jthread helper;
        try {
            helper = std::jthread([&] {
                try {
                    share(other, 1);
                    theirsDone = true;
                } catch (...) {
                    // out of memory: this renderer makes the pass alone
                }
            });
        } catch (...) {
            return false;
        }
        share(*this, 0);
    }
    std::vector<std::pair<uint32_t, std::string>> notes;
    notes.swap(pieceNotes_);
    if (!theirsDone || cut_ || other.cut_ || work_ + other.work_ > o_.maxWork) {
        // A pass cut short ends where one renderer would cut it: made again, by this one alone,
        // from where it started, on a fresh page.
        result_ = before;
        anything_ = anythingBefore;
        std::copy(boxBefore, boxBefore + 4, box_);
        work_ = 0;
        cut_ = false;
        open_.clear();
        if (!bounds_) {
            page_->start(page_->width, page_->height);
        }
        return false;
    }
    if (other.anything_) {
        if (!anything_) {
            std::copy(other.box_, other.box_ + 4, box_);
        }
        box_[0] = std::min(box_[0], other.box_[0]);
        box_[1] = std::min(box_[1], other.box_[1]);
        box_[2] = std::max(box_[2], other.box_[2]);
        box_[3] = std::max(box_[3], other.box_[3]);
        anything_ = true;
    }
    for (const auto &[kind, count] : theirs.drawn) {
        result_.drawn[kind] += count;
    }
    for (const auto &[kind, count] : theirs.skipped) {
        result_.skipped[kind] += count;
    }
    notes.insert(notes.end(), other.pieceNotes_.begin(), other.pieceNotes_.end());
    std::stable_sort(notes.begin(), notes.end(), [](const auto &x, const auto &y) { return x.first < y.first; });
    for (const auto &noted : notes) {
        note(noted.second);
    }
    if (!bounds_) {
        uint32_t *mine = page_->pixels.data();
        const uint32_t *their = theirPage.pixels.data();
        for (std::size_t i = 0, n = page_->pixels.size(); i < n; ++i) {
            const uint32_t pixel = (their[i] >> 24) > (mine[i] >> 24) ? their[i] : mine[i];
            mine[i] = pixel & 0xFFFFFF;
        }
    }
    return true;
}

void Renderer::run() {
    picture_.width = o_.width;
    picture_.height = o_.height;
    if (page_ != nullptr) {
        page_->start(o_.width, o_.height);
    }
    hmatrix unit;
    create_unitmatrix(&unit);
    pass(true, unit);
    double e[4] = {0, 0, 1, 1};
    if (o_.haveExtents) {
        std::copy(o_.extents, o_.extents + 4, e);
    } else if (anything_) {
        std::copy(box_, box_ + 4, e);
    } else {
        e[0] = e[1] = 0, e[2] = e[3] = 1;
    }
    result_.empty = !anything_;
    double w = e[2] - e[0], h = e[3] - e[1];
    if (!(w > 0) && !(h > 0)) {
        w = h = std::max(1.0, std::fabs(e[0]) + std::fabs(e[1])) * 1e-3;
        e[0] -= w / 2, e[1] -= h / 2, e[2] += w / 2, e[3] += h / 2;
    }
    e[0] -= w * o_.margin, e[2] += w * o_.margin;
    e[1] -= h * o_.margin, e[3] += h * o_.margin;
    std::copy(e, e + 4, result_.extents);
    w = e[2] - e[0], h = e[3] - e[1];
    const double scale = std::min(w > 0 ? o_.width / w : 1e300, h > 0 ? o_.height / h : 1e300);
    if (!std::isfinite(scale) || !(scale > 0)) {
        note("the extents are too small or too large to show", true);
        return;
    }
    const double cx = (e[0] + e[2]) / 2, cy = (e[1] + e[3]) / 2;
    hmatrix page;
    create_hmatrix(&page, o_.width / 2.0 - cx * scale, o_.height / 2.0 + cy * scale, 0, 1, 0, scale, -scale, 1);
    windowMin_ = {-2, -2, 0};
    windowMax_ = {o_.width + 2.0, o_.height + 2.0, 0};
    const bool was = anything_;
    anything_ = false;
    pass(false, page);
    anything_ = was;
}

}  // namespace

void render(const Drawing &drawing, const RenderOptions &options, tool::Picture &picture, RenderResult &result) {
    Renderer(drawing, options, picture, nullptr, result).run();
}

void render(const Drawing &drawing, const RenderOptions &options, tool::PixelPage &page, RenderResult &result) {
    tool::Picture unused;
    Renderer(drawing, options, unused, &page, result).run();
}

}  // namespace vutil::dxf
