// Demo section: geometry. Clips lines and polygons, walks arcs and Bezier curves and fills a polygon,
// and draws all of it on one SVG sheet.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "demo.h"
#include "vutil.h"

namespace vutil::tool::demo {
namespace {

/// An SVG sheet of panels; each panel has its own origin with y pointing up, like the drawings.
class Sheet {
public:
    void panel(double left, double top, const char *title, const char *legend) {
        closePanel();
        body_ += format("<text x=\"%g\" y=\"%g\" class=\"title\">%s</text>\n", left, top - 24, title);
        body_ += format("<text x=\"%g\" y=\"%g\" class=\"caption\">%s</text>\n", left, top - 8, legend);
        body_ += format("<g transform=\"translate(%g %g) scale(1 -1)\">\n", left, top + kPanel);
        open_ = true;
    }
    void line(double x1, double y1, double x2, double y2, const char *cls) {
        body_ += format("<line x1=\"%g\" y1=\"%g\" x2=\"%g\" y2=\"%g\" class=\"%s\"/>\n", x1, y1, x2, y2, cls);
    }
    void polyline(const std::vector<std::pair<double, double>> &points, const char *cls, bool closed = false) {
        std::string list;
        for (const auto &[x, y] : points) {
            list += format("%g,%g ", x, y);
        }
        body_ += format("<%s points=\"%s\" class=\"%s\"/>\n", closed ? "polygon" : "polyline", list.c_str(), cls);
    }
    void rect(double x0, double y0, double x1, double y1, const char *cls) {
        body_ += format("<rect x=\"%g\" y=\"%g\" width=\"%g\" height=\"%g\" class=\"%s\"/>\n", std::fmin(x0, x1),
                        std::fmin(y0, y1), std::fabs(x1 - x0), std::fabs(y1 - y0), cls);
    }
    void dot(double x, double y, const char *cls) {
        body_ += format("<circle cx=\"%g\" cy=\"%g\" r=\"2.5\" class=\"%s\"/>\n", x, y, cls);
    }
    std::string text() {
        closePanel();
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"800\" height=\"860\" viewBox=\"0 0 800 860\">\n"
               "<style>\n"
               " .title{font:bold 14px sans-serif} .caption{font:10px sans-serif;fill:#333}\n"
               " .window{fill:#f4f8ff;stroke:#2255aa;stroke-width:1.5}\n"
               " .before{fill:none;stroke:#bbb;stroke-width:1;stroke-dasharray:4 3}\n"
               " .int{fill:none;stroke:#e06030;stroke-opacity:0.5;stroke-width:6}\n"
               " .real{fill:none;stroke:#0a5a2a;stroke-width:1.2}\n"
               " .intfill{fill:#e06030;fill-opacity:0.15;stroke:#e06030;stroke-opacity:0.5;stroke-width:6}\n"
               " .realfill{fill:none;stroke:#0a5a2a;stroke-width:1.2}\n"
               " .control{fill:none;stroke:#999;stroke-width:0.8;stroke-dasharray:2 2}\n"
               " .curve{fill:none;stroke:#7030a0;stroke-width:1.8}\n"
               " .arc{fill:none;stroke:#2255aa;stroke-width:1.8}\n"
               " .vertex{fill:#2255aa} .span{stroke:#d04010;stroke-width:1.5}\n"
               " .outline{fill:none;stroke:#333;stroke-width:0.8}\n"
               "</style>\n<rect width=\"800\" height=\"860\" fill=\"white\"/>\n" +
               body_ + "</svg>\n";
    }

    static constexpr double kPanel = 330;

private:
    template <typename... Args>
    static std::string format(const char *pattern, Args... args) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, pattern, args...);
        return buffer;
    }
    void closePanel() {
        if (open_) {
            body_ += "</g>\n";
            open_ = false;
        }
    }
    std::string body_;
    bool open_ = false;
};

using Outline = std::vector<std::pair<double, double>>;

/// The x and y of count points, for drawing.
template <typename Point>
Outline outlineOf(const Point *points, std::size_t count) {
    Outline list;
    list.reserve(count + 1);
    for (std::size_t i = 0; i < count; ++i) {
        list.emplace_back(points[i].x, points[i].y);
    }
    return list;
}

constexpr int32_t kXmin = 80, kYmin = 80, kXmax = 250, kYmax = 250;

void clipLines(Sheet &sheet, std::FILE *out) {
    sheet.panel(20, 60, "Lines clipped to a window",
                "dashed: input; wide: KorClipLine (integers); thin: KorClipVLine (doubles)");
    sheet.rect(kXmin, kYmin, kXmax, kYmax, "window");
    const int32_t segments[][4] = {{10, 40, 320, 300},  {30, 300, 300, 20},   {165, 10, 165, 320}, {10, 165, 200, 170},
                                   {260, 60, 320, 330}, {100, 120, 230, 200}, {0, 250, 330, 120},  {40, 90, 90, 10}};
    int visible = 0;
    for (const auto &s : segments) {
        sheet.line(s[0], s[1], s[2], s[3], "before");
        ipoint a, b;
        if (KorClipLine(s[0], s[1], s[2], s[3], &a, &b, kXmin, kYmin, kXmax, kYmax)) {
            sheet.line(a.x, a.y, b.x, b.y, "int");
            ++visible;
        }
        vpoint va, vb;
        const vpoint p1{static_cast<double>(s[0]), static_cast<double>(s[1]), 0.0};
        const vpoint p2{static_cast<double>(s[2]), static_cast<double>(s[3]), 1.0};
        if (KorClipVLine(p1, p2, &va, &vb, vpoint{kXmin, kYmin, 0}, vpoint{kXmax, kYmax, 0})) {
            sheet.line(va.x, va.y, vb.x, vb.y, "real");
        }
    }
    std::fprintf(out, "clipped %zu segments to the window (%d,%d)-(%d,%d): %d visible\n",
                 sizeof segments / sizeof segments[0], kXmin, kYmin, kXmax, kYmax, visible);
}

void clipPolygons(Sheet &sheet, std::FILE *out) {
    sheet.panel(420, 60, "Polygons clipped to a window", "dashed: input; wide: KorClipPoly; thin: KorClipVPoly");
    sheet.rect(kXmin, kYmin, kXmax, kYmax, "window");
    // A star around the window's corner and a triangle through one side.
    std::vector<ipoint> star;
    for (int i = 0; i < 10; ++i) {
        const double a = 3.141592653589793 * i / 5;
        const double r = (i % 2 == 0) ? 120 : 50;
        star.push_back({static_cast<int32_t>(std::lround(230 + r * std::cos(a))),
                        static_cast<int32_t>(std::lround(230 + r * std::sin(a)))});
    }
    star.push_back(star.front());
    const std::vector<ipoint> triangle = {{20, 120}, {160, 150}, {40, 310}, {20, 120}};
    for (const auto &shape : {star, triangle}) {
        sheet.polyline(outlineOf(shape.data(), shape.size()), "before");

        std::vector<ipoint> ints(2 * shape.size() + 4);
        std::copy(shape.begin(), shape.end(), ints.begin());
        const int32_t n = KorClipPoly(ints.data(), static_cast<int32_t>(shape.size()), kXmin, kYmin, kXmax, kYmax);
        sheet.polyline(outlineOf(ints.data(), static_cast<std::size_t>(n)), "intfill", true);

        std::vector<vpoint> reals(2 * shape.size() + 4);
        for (std::size_t i = 0; i < shape.size(); ++i) reals[i] = {shape[i].x + 0.5, shape[i].y + 0.5, 0.0};
        const int32_t m = KorClipVPoly(reals.data(), static_cast<int32_t>(shape.size()), vpoint{kXmin, kYmin, 0},
                                       vpoint{kXmax, kYmax, 0});
        sheet.polyline(outlineOf(reals.data(), static_cast<std::size_t>(m)), "realfill");
        std::fprintf(out, "polygon of %zu points clipped to %d points (integer), %d points (double)\n", shape.size(), n,
                     m);
    }
}

void curves(Sheet &sheet, std::FILE *out) {
    sheet.panel(20, 480, "Arcs and Bezier curves", "blue: get_arc_points; purple: Bezier, dotted: controls");
    const vpoint centre{110, 110, 0};
    const double pi = 3.141592653589793;
    const struct {
        double rx, ry, a0, a1, step;
    } arcs[] = {{90, 90, 0, pi / 2, pi / 8}, {70, 40, pi, 2.2 * pi, 0.3}, {40, 60, 1.5 * pi, 0.25 * pi, 0.2}};
    for (const auto &a : arcs) {
        vpoint points[64];
        const int32_t n = get_arc_points(points, &centre, a.rx, a.ry, a.a0, a.a1, a.step, 64);
        for (int32_t i = 0; i < n; ++i) {
            sheet.dot(points[i].x, points[i].y, "vertex");
        }
        sheet.polyline(outlineOf(points, static_cast<std::size_t>(n)), "arc");
        std::fprintf(out, "arc %.2f..%.2f rad in steps of %.2f: %d points\n", a.a0, a.a1, a.step, n);
    }
    const vpoint control[][4] = {{{200, 20, 0}, {230, 200, 0}, {300, 40, 0}, {330, 230, 0}},
                                 {{200, 250, 0}, {260, 330, 0}, {290, 180, 0}, {330, 320, 0}}};
    for (const auto &c : control) {
        vpoint samples[24];
        Bezier(samples, 24, c, 4);
        Outline curve = outlineOf(samples, 24);
        curve.emplace_back(c[3].x, c[3].y);  // the samples stop short of the end point
        sheet.polyline(outlineOf(c, 4), "control");
        sheet.polyline(curve, "curve");
    }
    double cx, cy, r;
    getradiusfrom3points(20, 110, 110, 20, 200, 110, &cx, &cy, &r);
    std::fprintf(out, "circle through (20,110) (110,20) (200,110): centre (%g,%g) radius %g\n", cx, cy, r);
}

struct SpanSink {
    Sheet *sheet;
    int spans;
};

void drawSpan(intptr_t context, intptr_t, const ipoint *a, const ipoint *b, intptr_t) {
    auto *sink = reinterpret_cast<SpanSink *>(context);
    sink->sheet->line(a->x, a->y, b->x, b->y, "span");
    ++sink->spans;
}

void fill(Sheet &sheet, std::FILE *out) {
    sheet.panel(420, 480, "Polygon fill", "FillPolygon, step 4: one line per span");
    // A polygon with a notch, a step along a scan line and a self-crossing part.
    const std::vector<ipoint> polygon = {{20, 20},   {300, 20}, {300, 120}, {200, 120}, {200, 200}, {310, 310},
                                         {160, 240}, {40, 320}, {100, 160}, {20, 200},  {20, 20}};
    sheet.polyline(outlineOf(polygon.data(), polygon.size()), "outline");
    SpanSink sink{&sheet, 0};
    FillPolygon(reinterpret_cast<intptr_t>(&sink), 0, polygon.data(), static_cast<int32_t>(polygon.size()), 4, 0,
                drawSpan, nullptr);
    std::fprintf(out, "filled a %zu-point polygon: %d spans\n", polygon.size(), sink.spans);
}

}  // namespace

void geometrySection(Context &context) {
    Sheet sheet;
    clipLines(sheet, context.out);
    clipPolygons(sheet, context.out);
    curves(sheet, context.out);
    fill(sheet, context.out);
    hmatrix view;
    create_vmatrix(&view, 1, 1, 1, 0);
    double p[3] = {1, 0, 0};
    mult_hmatrix_v(&view, p);
    std::fprintf(context.out, "view along (1,1,1): world x goes to (%.4f, %.4f, %.4f)\n", p[0], p[1], p[2]);
    context.writeFile("geometry.svg", sheet.text());
    std::fprintf(context.out, "geometry sheet: geometry.svg\n");
}

}  // namespace vutil::tool::demo
