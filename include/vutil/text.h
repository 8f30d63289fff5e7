/* Text: stroke text from the built-in vector font and outline text from the host's fonts,
 * handed to the caller as line segments. */
#ifndef VUTIL_TEXT_H
#define VUTIL_TEXT_H

#include "vutil/frame.h"

/* Flags of txt (and the backward and upside-down bits of ttxt). */
#define TXT_BACKWARD 0x0002   /* mirrored across the line crossing the baseline at the insertion point */
#define TXT_UPSIDEDOWN 0x0004 /* mirrored across the baseline */
#define TXT_VERTICAL 0x4000   /* characters stacked downward */

/* Style bits of ttxt. */
#define TTXT_BOLD 0x00001
#define TTXT_ITALIC 0x00002
#define TTXT_UNDERLINE 0x00004
#define TTXT_NATURALWIDTH 0x20000 /* the font's own aspect instead of square cells */
#define TTXT_ASCENTHEIGHT 0x40000 /* scale so that the ascent of capitals is the height */

/** The device's line operation: two points of three doubles. */
typedef void (*draw_line_proc)(intptr_t context, const double *first, const double *second, intptr_t user);
/** The device's text operation: the whole string with its font and layout. */
typedef void (*draw_text_proc)(intptr_t context, const char *face, const double *position, const double *position2,
                               const char *text, double height, double width, double escapement, double orientation,
                               int32_t kind, int32_t style, intptr_t user, int32_t backward, int32_t upsidedown);

/** The caller's output device; the library calls only line (21st member) and text (30th member). */
typedef struct draw_device {
    intptr_t reserved1[20];
    draw_line_proc line;
    intptr_t reserved2[8];
    draw_text_proc text;
} draw_device;

/** Line callback of the text services; it takes precedence over the device's line operation. */
typedef void (*txt_line_proc)(intptr_t context, draw_device *device, const double *first, const double *second,
                              intptr_t user);

/** Font description of ttxt, laid out as the host's LOGFONTA. */
typedef struct kor_logfont {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
} kor_logfont;

VUTIL_BEGIN_DECLS

/** Builds the stroke font's glyph table; returns 1 (it cannot fail). Call once before txt. */
VUTIL_API int32_t init_txt(void) VUTIL_NOEXCEPT;
/** Draws text in the stroke font at (x, y, z) as segments to callback or device->line; end (if given) gets the next insertion point.
 *  Nothing fails: a null text draws nothing, and a character without a glyph draws no strokes. */
VUTIL_API void txt(intptr_t context, draw_device *device, const char *text, double x, double y, double z,
                   double height, double width, double angle, double oblique, const double *matrix, int32_t flags,
                   intptr_t user, txt_line_proc callback, double *end) VUTIL_NOEXCEPT;
/** Draws text in a host outline font: whole to device->text, or as outline segments when a callback or a matrix is given.
 *  Nothing fails: a face the host lacks becomes the nearest one it has, a glyph that cannot be read is skipped, and a
 *  null text (or a null device->text) draws nothing. */
VUTIL_API void ttxt(intptr_t context, draw_device *device, const char *text, const kor_logfont *font, double x,
                    double y, double z, double height, double width, double escapement, double orientation,
                    const double *matrix, int32_t flags, int32_t style, intptr_t user, txt_line_proc callback,
                    intptr_t reserved) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_TEXT_H */
