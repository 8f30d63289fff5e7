// One road through the library: a compressed drawing file read back and drawn as a format reader would.
#include "road.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "output.h"
#include "text_drawing.h"
#include "vutil.h"

namespace vutil::tool {
namespace {

using drawing::Entity;
using drawing::Kind;
using drawing::Point;

constexpr double kMargin = 24;           ///< pixels around the window
constexpr double kMaxPageHeight = 4000;  ///< pixels; a taller window is taken for damage
constexpr uint32_t kWindowColour = 0xB0B0B0;

const char *kindName(Kind kind) {
    static const char *const names[] = {"", "line", "polyline", "arc", "text", "region"};
    return names[static_cast<int>(kind)];
}

bool finite(const vpoint &p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

/// The view: world points into view coordinates, and the window onto the page.
class Page {
public:
    explicit Page(const drawing::Header &header) {
        create_vmatrix(&view_, header.view[0], header.view[1], header.view[2], header.twist);
        min_ = {header.window[0], header.window[1], 0};
        max_ = {header.window[2], header.window[3], 0};
        scale_ = (kPageWidth - 2 * kMargin) / (max_.x - min_.x);
        height_ = static_cast<int>(std::lround((max_.y - min_.y) * scale_ + 2 * kMargin));
    }

    /// A window the page can be made from: finite, not empty, not absurdly tall.
    static bool usable(const drawing::Header &header) {
        const double *w = header.window;
        const bool numbers = std::all_of(w, w + 4, [](double v) { return std::isfinite(v); }) &&
                             std::isfinite(header.view[0]) && std::isfinite(header.view[1]) &&
                             std::isfinite(header.view[2]) && std::isfinite(header.twist);
        const double width = w[2] - w[0], height = w[3] - w[1];
        // A window narrower than the smallest normal number would need an infinite scale.
        return numbers && width > 0 && height > 0 && std::isfinite(width) && std::isfinite(height) &&
               std::isfinite((kPageWidth - 2 * kMargin) / width) && height / width * kPageWidth < kMaxPageHeight;
    }

    int height() const { return height_; }
    double scale() const { return scale_; }
    const vpoint &min() const { return min_; }
    const vpoint &max() const { return max_; }

    vpoint toView(const Point &p) const {
        double v[3] = {p.x, p.y, p.z};
        mult_hmatrix_v(&view_, v);
        return {v[0], v[1], v[2]};
    }
    PagePoint toPage(const vpoint &v) const {
        return {kMargin + (v.x - min_.x) * scale_, kMargin + (max_.y - v.y) * scale_};
    }
    /// The pixel a point of the window falls in.
    ipoint toPixel(const vpoint &v) const {
        const PagePoint p = toPage(v);
        return {static_cast<int32_t>(std::floor(p.x)), static_cast<int32_t>(std::floor(p.y))};
    }

private:
    hmatrix view_{};
    vpoint min_{}, max_{};
    double scale_ = 1;
    int height_ = 0;
};

/// Draws view-space segments into one path, clipped to the window; a segment that
/// starts where the last one ended continues its piece.
class Pen {
public:
    Pen(const Page &page, PagePath &path, int64_t &segments) : page_(page), path_(path), segments_(segments) {}

    void stroke(const vpoint &a, const vpoint &b) {
        vpoint from{}, to{};
        // Differences of far-apart points can overflow inside the clipper, hence the second test.
        if (segments_ >= kMaxSegments || !finite(a) || !finite(b) ||
            KorClipVLine(a, b, &from, &to, page_.min(), page_.max()) == 0 || !finite(from) || !finite(to)) {
            return;
        }
        ++segments_;
        if (path_.pieces.empty() || from.x != end_.x || from.y != end_.y) {
            path_.pieces.push_back({page_.toPage(from)});
        }
        path_.pieces.back().push_back(page_.toPage(to));
        end_ = to;
    }
    void strokeWorld(const Point &a, const Point &b) { stroke(page_.toView(a), page_.toView(b)); }

private:
    const Page &page_;
    PagePath &path_;
    int64_t &segments_;
    vpoint end_{};
};

/// Segments of text in the plane z = `z`.
void strokeSegments(const Segments &segments, double z, Pen &pen) {
    for (const Segment &s : segments) {
        pen.strokeWorld({s.x1, s.y1, z}, {s.x2, s.y2, z});
    }
}

/// A text entity, set by the library's text services in the plane of its insertion
/// point: in the stroke font (txt), or in the host's outline font (ttxt) when the entity
/// asks for one and the host has a face; else in the stroke font after all.
void drawText(const Entity &text, Pen &pen, RoadSummary &summary) {
    const Point &at = text.points[0];
    TextLayout layout;
    layout.x = at.x;
    layout.y = at.y;
    layout.height = text.height;
    layout.width = text.width;
    layout.angle = text.angle * 180 / std::numbers::pi;
    layout.vertical = (text.flags & TXT_VERTICAL) != 0;
    layout.backward = (text.flags & TXT_BACKWARD) != 0;
    layout.upsideDown = (text.flags & TXT_UPSIDEDOWN) != 0;
    Segments segments;
    if ((text.flags & drawing::kOutlineText) != 0) {
        segments = outlineText(text.text, drawing::kOutlineFace, layout);
        const bool blank = text.text.find_first_not_of(' ') == std::string::npos;
        if (!segments.empty() || blank) {
            ++summary.outlineTexts;
            strokeSegments(segments, at.z, pen);
            return;
        }
        ++summary.outlineFallbacks;
    }
    strokeSegments(strokeText(text.text, layout), at.z, pen);
}

void drawArc(const Entity &arc, const Page &page, Pen &pen) {
    constexpr int32_t kMaxPoints = 520;
    constexpr double kTwoPi = 2 * std::numbers::pi;
    // Chords may stray a fifth of a pixel from the curve: at most `longest` radians each.
    // The walk ends with a piece of up to two steps (its last point moves to the end
    // angle), so the sweep is cut into n + 1/4 steps of at most 0.8 of the longest: the
    // last piece is then 1.25 steps, whichever way the steps' sum rounds.
    const double radius = std::max(std::fabs(arc.rx), std::fabs(arc.ry)) * page.scale();
    const double longest = radius > 0.2 ? 2 * std::acos(1 - 0.2 / radius) : kTwoPi;
    double sweep = arc.end - arc.start;
    if (sweep < 0) {
        sweep += kTwoPi * std::ceil(-sweep / kTwoPi);
    }
    const double pieces = std::ceil(sweep / (0.8 * longest));
    double step = sweep / ((pieces >= 1 && pieces < kMaxPoints - 2 ? pieces : kMaxPoints - 2) + 0.25);
    step = step > 0 ? step : kTwoPi;  // an arc of no sweep (or not a number) is a point
    const vpoint centre{arc.points[0].x, arc.points[0].y, arc.points[0].z};
    std::vector<vpoint> points(kMaxPoints);
    const int32_t count = get_arc_points(points.data(), &centre, arc.rx, arc.ry, arc.start, arc.end, step, kMaxPoints);
    for (int32_t i = 1; i < count; ++i) {
        const auto &a = points[static_cast<std::size_t>(i - 1)], &b = points[static_cast<std::size_t>(i)];
        pen.strokeWorld({a.x, a.y, a.z}, {b.x, b.y, b.z});
    }
}

/// Receives the spans of a filled region as one-pixel-high rectangles of its path.
struct FillSink {
    PagePath *path;
    int64_t *spans;

    void add(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        if (*spans >= kMaxSpans) {
            return;
        }
        const double left = std::min(x0, x1), right = std::max(x0, x1) + 1.0;
        const double top = std::min(y0, y1), bottom = std::max(y0, y1) + 1.0;
        path->pieces.push_back({{left, top}, {right, top}, {right, bottom}, {left, bottom}});
        ++*spans;
    }
};

void fillSpan(intptr_t context, intptr_t, const ipoint *left, const ipoint *right, intptr_t) {
    // The context is the sink of the region being filled.
    reinterpret_cast<FillSink *>(context)->add(left->x, left->y, right->x, right->y);  // NOLINT
}

void fillRectangle(intptr_t context, intptr_t, const ipoint *first, const ipoint *opposite, intptr_t) {
    reinterpret_cast<FillSink *>(context)->add(first->x, first->y, opposite->x, opposite->y);  // NOLINT
}

void fillRegion(const Entity &region, const Page &page, PagePath &path, int64_t &spans) {
    std::vector<vpoint> outline;
    for (const Point &point : region.points) {
        outline.push_back(page.toView(point));
        if (!finite(outline.back())) {
            return;
        }
    }
    if (outline.front().x != outline.back().x || outline.front().y != outline.back().y) {
        outline.push_back(outline.front());
    }
    const auto n = static_cast<int32_t>(outline.size());
    outline.resize(2 * outline.size() + 4);  // room for the clipper's passes
    const int32_t clipped = KorClipVPoly(outline.data(), n, page.min(), page.max());
    if (clipped < 4) {
        return;  // nothing of it, or no more than a line, lies in the window
    }
    std::vector<ipoint> pixels;
    for (int32_t i = 0; i < clipped; ++i) {
        if (!finite(outline[static_cast<std::size_t>(i)])) {
            return;
        }
        pixels.push_back(page.toPixel(outline[static_cast<std::size_t>(i)]));
    }
    FillSink sink{&path, &spans};
    FillPolygon(reinterpret_cast<intptr_t>(&sink), 0, pixels.data(), clipped, region.spacing, 0, fillSpan,
                fillRectangle);
}

PagePath windowFrame(const Page &page) {
    const PagePoint a = page.toPage(page.min()), b = page.toPage(page.max());
    return {"window", kWindowColour, false, {{{a.x, a.y}, {b.x, a.y}, {b.x, b.y}, {a.x, b.y}, {a.x, a.y}}}};
}

}  // namespace

bool drawDrawing(const drawing::Drawing &file, Picture &picture, RoadSummary &summary, std::string &reason) {
    if (!Page::usable(file.header)) {
        reason = "the drawing's view or window is not usable";
        return false;
    }
    const Page page(file.header);
    picture = {};
    picture.width = kPageWidth;
    picture.height = page.height();
    picture.paths.push_back(windowFrame(page));
    for (const Entity &entity : file.entities) {
        PagePath &out = picture.paths.emplace_back(PagePath{kindName(entity.kind),
                                                            GetAcadRGBColor(entity.colour == 7 ? 0 : entity.colour),
                                                            entity.kind == Kind::Region, {}});
        Pen pen(page, out, summary.segments);
        switch (entity.kind) {
            case Kind::Line:
            case Kind::Polyline:
                for (std::size_t i = 1; i < entity.points.size(); ++i) {
                    pen.strokeWorld(entity.points[i - 1], entity.points[i]);
                }
                break;
            case Kind::Arc:
                drawArc(entity, page, pen);
                break;
            case Kind::Text:
                drawText(entity, pen, summary);
                break;
            case Kind::Region:
                fillRegion(entity, page, out, summary.spans);
                break;
        }
        ++summary.byKind[static_cast<std::size_t>(entity.kind)];
    }
    summary.entities = static_cast<int32_t>(file.entities.size());
    return true;
}

bool walkRoad(const std::string &path, Picture &picture, RoadSummary &summary, std::string &reason) {
    const auto started = std::chrono::steady_clock::now();
    summary = {};
    ScratchFile expanded;
    if (expanded.path().empty()) {
        reason = "cannot make a scratch file for the expanded drawing";
        return false;
    }
    summary.expandedBytes = KOR_decompress(path.c_str(), expanded.path().c_str(), 0);
    if (summary.expandedBytes == 0) {
        reason = "not a readable .Z file with data";
        return false;
    }
    int32_t handle = 0;
    if (KorOpenFile(expanded.path().c_str(), &handle, KOR_OPEN_READ) != 1) {
        reason = "cannot open the expanded drawing " + expanded.path();
        return false;
    }
    drawing::Drawing file;
    const bool read = drawing::read(handle, file, reason);
    KorCloseFile(handle);
    if (!read) {
        return false;
    }
    if (!drawDrawing(file, picture, summary, reason)) {
        return false;
    }
    summary.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    return true;
}

std::string describe(const RoadSummary &summary) {
    std::string kinds;
    for (int kind = 1; kind <= drawing::kKinds; ++kind) {
        const int32_t count = summary.byKind[static_cast<std::size_t>(kind)];
        kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + kindName(static_cast<Kind>(kind)) +
                 (count == 1 ? "" : "s");
    }
    char text[256];
    std::snprintf(text, sizeof text, "%d entities (%s): %lld segments, %lld spans in %.2f ms", summary.entities,
                  kinds.c_str(), static_cast<long long>(summary.segments), static_cast<long long>(summary.spans),
                  summary.milliseconds);
    std::string line = text;
    if (summary.outlineTexts > 0) {
        line += "; " + std::to_string(summary.outlineTexts) + " in " + drawing::kOutlineFace + " (or the nearest face)";
    }
    if (summary.outlineFallbacks > 0) {
        line += "; no outline font on this host: " + std::to_string(summary.outlineFallbacks) +
                " in the stroke font instead";
    }
    return line;
}

}  // namespace vutil::tool
