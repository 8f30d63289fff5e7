/* Geometry: line, polyline and polygon clipping, curves and arcs, point transforms,
 * homogeneous matrices, view matrices and polygon fill. */
#ifndef VUTIL_GEOMETRY_H
#define VUTIL_GEOMETRY_H

#include "vutil/frame.h"

/** A point of integer device coordinates. */
typedef struct ipoint {
    int32_t x;
    int32_t y;
} ipoint;

/** A point of three doubles; clipping works in x and y and carries z along. */
typedef struct vpoint {
    double x;
    double y;
    double z;
} vpoint;

/* Flags of an hmatrix; consumers test HM_UNIT first. */
#define HM_UNIT 1     /* identity within the tolerance: points pass unchanged */
#define HM_PLANAR 2   /* z row and column are those of the identity */
#define HM_DIAGONAL 4 /* the linear part is diagonal: scale and translate only */

/** A homogeneous 4 x 4 transform, row-major, points as column vectors, translation in column 3. */
typedef struct hmatrix {
    double m[4][4];
    int32_t flags;
} hmatrix;

/** Receives one span of a filled polygon, from left to right. */
typedef void (*fill_segment_proc)(intptr_t context, intptr_t device, const ipoint *left, const ipoint *right,
                                  intptr_t user);
/** Receives an axis-aligned rectangle of a filled polygon as two opposite corners. */
typedef void (*fill_rect_proc)(intptr_t context, intptr_t device, const ipoint *first, const ipoint *opposite,
                               intptr_t user);

VUTIL_BEGIN_DECLS

/* ---- Line clipping (windows are closed: edges belong to them) ---------------*/

/** Clips an integer segment to the window; 1 with the visible part in out1/out2 (input order kept), else 0. */
VUTIL_API int32_t KorClipLine(int32_t x1, int32_t y1, int32_t x2, int32_t y2, ipoint *out1, ipoint *out2,
                              int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) VUTIL_NOEXCEPT;
/** Clips a vpoint segment to the window wmin..wmax in x and y; 1 with the visible part, else 0. */
VUTIL_API int32_t KorClipVLine(vpoint p1, vpoint p2, vpoint *out1, vpoint *out2, vpoint wmin, vpoint wmax) VUTIL_NOEXCEPT;

/* ---- Polyline and polygon clipping -------------------------------------------*/

/** Clips n points in place (the array holds 2n + 4 points); the new count, 0 when nothing is visible. */
VUTIL_API int32_t KorClipPoly(ipoint *points, int32_t n, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) VUTIL_NOEXCEPT;
/** Clips n vpoints in place (the array holds 2n + 4 points); the new count, 0 when nothing is visible. */
VUTIL_API int32_t KorClipVPoly(vpoint *points, int32_t n, vpoint wmin, vpoint wmax) VUTIL_NOEXCEPT;
/** Thins a long polyline in place to about 150 points evenly spaced by length; always 1. */
VUTIL_API int32_t KorCullPolyline(vpoint *points, int32_t *n) VUTIL_NOEXCEPT;

/* ---- Polygon-against-polygon clipping -----------------------------------------
 * One process-wide working state serves every clip: calls must not overlap. */

/** Reserves the clipper's working storage for subjects of about max_points points in max_contours
 *  contours; optional (a clip sets up and grows what it needs); always 1. */
VUTIL_API int32_t KorInitClipVPolyPoly(int32_t max_points, int32_t max_contours) VUTIL_NOEXCEPT;
/** Clips a subject of closed contours against a convex polygon and returns the visible part as closed
 *  contours; a contour can split into several.
 *  - *points: the subject's n points, all contours one after another. The block must come from malloc:
 *    on success it is released with free and *points receives a new malloc block of exactly the result's
 *    points, which the caller releases with free. Caller and library must therefore share one C heap.
 *  - *counts: the number of points of each of the *ncontours contours. On success its first entries receive
 *    the sizes of the contours that come out, and no entry beyond them is written. It must have room for
 *    every contour that comes out: n entries always suffice (a result of more contours is refused).
 *  - clip: m points of a convex polygon running counter-clockwise (y up; the visible side of each edge is
 *    on its left), closed (last point equal to the first) or open.
 *  Returns the number of points in the new subject, or 0: with nothing changed for fewer than three clip
 *  points, an empty subject, negative counts or counts adding up to more than n, and a subject whose
 *  bounding box misses the clip polygon's; with *ncontours 0 when nothing is visible; and with *ncontours 0,
 *  (*counts)[0] 0 and *points kept when memory runs out or a clip edge is crossed more than 16384 times
 *  at places that repeat along it. Crossing points made by the clip have z = 0. */
VUTIL_API int32_t KorClipVPolyPoly(vpoint **points, int32_t n, int32_t **counts, int32_t *ncontours,
                                   const vpoint *clip, int32_t m) VUTIL_NOEXCEPT;
/** Releases the clipper's working storage; harmless when repeated, and later clips set it up again;
 *  always 1. */
VUTIL_API int32_t KorTermClipVPolyPoly(void) VUTIL_NOEXCEPT;

/* ---- Curves and arcs ----------------------------------------------------------*/

/** Point of the Bezier curve of k control points at parameter t; cannot fail. */
VUTIL_API void BezierPoint(vpoint *out, double t, int32_t k, const vpoint *control) VUTIL_NOEXCEPT;
/** nsteps samples of the Bezier curve at t = s / nsteps (the end point is not included); cannot fail. */
VUTIL_API void Bezier(vpoint *out, int32_t nsteps, const vpoint *control, int32_t k) VUTIL_NOEXCEPT;
/** Centre and radius of the circle through three points; radius -1 when there is none. */
VUTIL_API void getradiusfrom3points(double x1, double y1, double x2, double y2, double x3, double y3, double *cx,
                                    double *cy, double *radius) VUTIL_NOEXCEPT;
/** Points of an arc from a0 anticlockwise to a1 in steps of step radians (at most max(maxpts, 2)); the count. */
VUTIL_API int32_t get_arc_points(vpoint *out, const vpoint *centre, double rx, double ry, double a0, double a1,
                                 double step, int32_t maxpts) VUTIL_NOEXCEPT;

/* ---- Point transforms ----------------------------------------------------------*/

/** Rotates (x, y) about (cx, cy) by the angle of cosine c and sine s; cannot fail. */
VUTIL_API void rotate(double *x, double *y, double cx, double cy, double c, double s) VUTIL_NOEXCEPT;
/** Slants x in proportion to y - cy by the angle of cosine c and sine s; cannot fail. */
VUTIL_API void rotateoblique(double *x, double y, double cx, double cy, double c, double s) VUTIL_NOEXCEPT;
/** Mirrors (x, y) in the line through (x1, y1) and (x2, y2); cannot fail. */
VUTIL_API void reflect(double *x, double *y, double x1, double y1, double x2, double y2) VUTIL_NOEXCEPT;
/** Applies a row-major 3 x 3 matrix to (x, y, z); null outputs are skipped; cannot fail. */
VUTIL_API void rotate_point(double x, double y, double z, double *ox, double *oy, double *oz,
                            const double *matrix) VUTIL_NOEXCEPT;
/** 1 when (x, y) lies in the half-open box of corners (x1, y1), (x2, y2), else 0. */
VUTIL_API int32_t inbox(int32_t x, int32_t y, int32_t x1, int32_t y1, int32_t x2, int32_t y2) VUTIL_NOEXCEPT;

/* ---- Homogeneous matrices --------------------------------------------------------*/

/** Builds translate(tx, ty, tz) * rotate-z(c, s) * scale(sx, sy, sz) with its flags; cannot fail. */
VUTIL_API void create_hmatrix(hmatrix *out, double tx, double ty, double tz, double c, double s, double sx,
                              double sy, double sz) VUTIL_NOEXCEPT;
/** Builds the identity (flags HM_UNIT); cannot fail. */
VUTIL_API void create_unitmatrix(hmatrix *out) VUTIL_NOEXCEPT;
/** 1 when the diagonal is 1 and the fourth row's first entries are 0 within 0.001, else 0. */
VUTIL_API int32_t is_unitmatrix(const hmatrix *matrix) VUTIL_NOEXCEPT;
/** Transposes the 3 x 3 linear part in place; cannot fail. */
VUTIL_API void transpose_hmatrix(hmatrix *matrix) VUTIL_NOEXCEPT;
/** result = a * b (result must be distinct from both), flags derived from the operands' flags; cannot fail. */
VUTIL_API void mult_hmatrix(hmatrix *result, const hmatrix *a, const hmatrix *b) VUTIL_NOEXCEPT;
/** Transforms the point xyz[0..2] in place; cannot fail. */
VUTIL_API void mult_hmatrix_v(const hmatrix *matrix, double *xyz) VUTIL_NOEXCEPT;
/** Transforms the point (*x, *y, *z) in place; cannot fail. */
VUTIL_API void mult_hmatrix_p(const hmatrix *matrix, double *x, double *y, double *z) VUTIL_NOEXCEPT;
/** Determinant of the linear part; 0 for null. */
VUTIL_API double hmatrix_determinant(const hmatrix *matrix) VUTIL_NOEXCEPT;
/** Determinant of the upper-left 2 x 2 block; 0 for null. */
VUTIL_API double hmatrix_determinant2by2(const hmatrix *matrix) VUTIL_NOEXCEPT;

/* ---- View and twist matrices -------------------------------------------------------*/

/** Wraps a row-major 3 x 3 rotation and an offset into a matrix and derives its flags; cannot fail. */
VUTIL_API void create_viewmatrix(hmatrix *out, const double *rotation, double tx, double ty, double tz) VUTIL_NOEXCEPT;
/** Rotation about the first axis (x, then y, then z) whose angle is not 0; cannot fail. */
VUTIL_API void create_twistmatrix(hmatrix *out, double ax, double ay, double az) VUTIL_NOEXCEPT;
/** World-to-view matrix for a view direction, turned by a positive twist about it; cannot fail. */
VUTIL_API void create_vmatrix(hmatrix *out, double dx, double dy, double dz, double twist) VUTIL_NOEXCEPT;

/* ---- Polygon fill -----------------------------------------------------------------*/

/** Scan-converts the closed polygon (n points, last equal to first) every step units, even-odd rule, into spans
 *  for segment; a five-point axis-aligned rectangle goes whole to rect when given. Draws nothing for null points,
 *  fewer than two points or a null segment. */
VUTIL_API void FillPolygon(intptr_t context, intptr_t device, const ipoint *points, int32_t n, int32_t step,
                           intptr_t user, fill_segment_proc segment, fill_rect_proc rect) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_GEOMETRY_H */
