// Exports of the geometry: clipping, curves, point transforms, matrices and polygon fill.
#include <span>

#include "geometry/curves.h"
#include "geometry/line_clip.h"
#include "geometry/matrix.h"
#include "geometry/point_transform.h"
#include "geometry/poly_clip.h"
#include "geometry/poly_poly_clip.h"
#include "geometry/polygon_fill.h"
#include "geometry/view_matrix.h"
#include "vutil/geometry.h"

namespace geo = vutil::geometry;

extern "C" {

/* ---- Line clipping ---- */

VUTIL_API int32_t KorClipLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ipoint *out1, ipoint *out2, int32_t xmin,
                              int32_t ymin, int32_t xmax, int32_t ymax) noexcept {
    return geo::clipSegment(ipoint{x1, y1}, ipoint{x2, y2}, *out1, *out2, geo::IntWindow{xmin, ymin, xmax, ymax}) ? 1
                                                                                                                  : 0;
}

VUTIL_API int32_t KorClipVLine(vpoint p1, vpoint p2, vpoint *out1, vpoint *out2, vpoint wmin, vpoint wmax) noexcept {
    return geo::clipSegment(p1, p2, *out1, *out2, geo::RealWindow{wmin.x, wmin.y, wmax.x, wmax.y}) ? 1 : 0;
}

/* ---- Polyline and polygon clipping ---- */

VUTIL_API int32_t KorClipPoly(ipoint *points, int32_t n, int32_t xmin, int32_t ymin, int32_t xmax,
                              int32_t ymax) noexcept {
    return geo::clipPointList(points, n, geo::IntWindow{xmin, ymin, xmax, ymax});
}

VUTIL_API int32_t KorClipVPoly(vpoint *points, int32_t n, vpoint wmin, vpoint wmax) noexcept {
    return geo::clipPointList(points, n, geo::RealWindow{wmin.x, wmin.y, wmax.x, wmax.y});
}

VUTIL_API int32_t KorCullPolyline(vpoint *points, int32_t *n) noexcept {
    geo::cullPolyline(points, *n);
    return 1;
}

/* ---- Curves and arcs ---- */

VUTIL_API void BezierPoint(vpoint *out, double t, int32_t k, const vpoint *control) noexcept {
    *out = geo::bezierPoint(t, std::span<const vpoint>(control, k > 0 ? static_cast<std::size_t>(k) : 0));
}

VUTIL_API void Bezier(vpoint *out, int32_t nsteps, const vpoint *control, int32_t k) noexcept {
    geo::bezierSamples(std::span<vpoint>(out, nsteps > 0 ? static_cast<std::size_t>(nsteps) : 0),
                       std::span<const vpoint>(control, k > 0 ? static_cast<std::size_t>(k) : 0));
}

VUTIL_API void getradiusfrom3points(double x1, double y1, double x2, double y2, double x3, double y3, double *cx,
                                    double *cy, double *radius) noexcept {
    const geo::Circle circle = geo::circleThrough(x1, y1, x2, y2, x3, y3);
    *cx = circle.cx;
    *cy = circle.cy;
    *radius = circle.radius;
}

VUTIL_API int32_t get_arc_points(vpoint *out, const vpoint *centre, double rx, double ry, double a0, double a1,
                                 double step, int32_t maxpts) noexcept {
    return geo::arcPoints(out, *centre, rx, ry, a0, a1, step, maxpts);
}

/* ---- Point transforms ---- */

VUTIL_API void rotate(double *x, double *y, double cx, double cy, double c, double s) noexcept {
    geo::rotateAbout(*x, *y, cx, cy, c, s);
}

VUTIL_API void rotateoblique(double *x, double y, double cx, double cy, double c, double s) noexcept {
    geo::slantX(*x, y, cx, cy, c, s);
}

VUTIL_API void reflect(double *x, double *y, double x1, double y1, double x2, double y2) noexcept {
    geo::reflectInLine(*x, *y, x1, y1, x2, y2);
}

VUTIL_API void rotate_point(double x, double y, double z, double *ox, double *oy, double *oz,
                            const double *matrix) noexcept {
    const std::span<const double, 9> m(matrix, 9);
    if (ox != nullptr) {
        *ox = geo::applyMatrixRow(m, 0, x, y, z);
    }
    if (oy != nullptr) {
        *oy = geo::applyMatrixRow(m, 1, x, y, z);
    }
    if (oz != nullptr) {
        *oz = geo::applyMatrixRow(m, 2, x, y, z);
    }
}

VUTIL_API int32_t inbox(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) noexcept {
    return geo::inHalfOpenBox(x, y, x1, y1, x2, y2) ? 1 : 0;
}

/* ---- Homogeneous matrices ---- */

VUTIL_API void create_hmatrix(hmatrix *out, double tx, double ty, double tz, double c, double s, double sx, double sy,
                              double sz) noexcept {
    geo::buildTransform(*out, tx, ty, tz, c, s, sx, sy, sz);
}

VUTIL_API void create_unitmatrix(hmatrix *out) noexcept {
    geo::buildIdentity(*out);
}

VUTIL_API int32_t is_unitmatrix(const hmatrix *matrix) noexcept {
    return geo::passesUnitTest(*matrix) ? 1 : 0;
}

VUTIL_API void transpose_hmatrix(hmatrix *matrix) noexcept {
    geo::transposeLinearPart(*matrix);
}

VUTIL_API void mult_hmatrix(hmatrix *result, const hmatrix *a, const hmatrix *b) noexcept {
    geo::multiply(*result, *a, *b);
}

VUTIL_API void mult_hmatrix_v(const hmatrix *matrix, double *xyz) noexcept {
    geo::transformPoint(*matrix, std::span<double, 3>(xyz, 3));
}

VUTIL_API void mult_hmatrix_p(const hmatrix *matrix, double *x, double *y, double *z) noexcept {
    double xyz[3] = {*x, *y, *z};
    geo::transformPoint(*matrix, xyz);
    *x = xyz[0];
    *y = xyz[1];
    *z = xyz[2];
}

VUTIL_API double hmatrix_determinant(const hmatrix *matrix) noexcept {
    return matrix != nullptr ? geo::linearDeterminant(*matrix) : 0.0;
}

VUTIL_API double hmatrix_determinant2by2(const hmatrix *matrix) noexcept {
    return matrix != nullptr ? geo::planarDeterminant(*matrix) : 0.0;
}

/* ---- View and twist matrices ---- */

VUTIL_API void create_viewmatrix(hmatrix *out, const double *rotation, double tx, double ty, double tz) noexcept {
    geo::buildViewMatrix(*out, std::span<const double, 9>(rotation, 9), tx, ty, tz);
}

VUTIL_API void create_twistmatrix(hmatrix *out, double ax, double ay, double az) noexcept {
    geo::buildTwistMatrix(*out, ax, ay, az);
}

VUTIL_API void create_vmatrix(hmatrix *out, double dx, double dy, double dz, double twist) noexcept {
    geo::buildWorldToView(*out, dx, dy, dz, twist);
}

/* ---- Polygon fill ---- */

VUTIL_API void FillPolygon(intptr_t context, intptr_t device, const ipoint *points, int32_t n, int32_t step,
                           intptr_t user, fill_segment_proc segment, fill_rect_proc rect) noexcept {
    if (points == nullptr || n < 2 || segment == nullptr) {
        return;
    }
    geo::fillPolygon(std::span<const ipoint>(points, static_cast<std::size_t>(n)), step,
                     geo::FillTarget{context, device, user, segment, rect});
}

/* ---- Polygon-against-polygon clipping ---- */

VUTIL_API int32_t KorInitClipVPolyPoly(int32_t max_points, int32_t max_contours) noexcept {
    geo::reserveClipState(max_points, max_contours);
    return 1;
}

VUTIL_API int32_t KorClipVPolyPoly(vpoint **points, int32_t n, int32_t **counts, int32_t *ncontours, const vpoint *clip,
                                   int32_t m) noexcept {
    if (points == nullptr || counts == nullptr || *counts == nullptr || ncontours == nullptr || clip == nullptr ||
        m < 3) {
        return 0;
    }
    return geo::clipContours(*points, n, *counts, *ncontours,
                             std::span<const vpoint>(clip, static_cast<std::size_t>(m)));
}

VUTIL_API int32_t KorTermClipVPolyPoly(void) noexcept {
    geo::releaseClipState();
    return 1;
}

}  // extern "C"
