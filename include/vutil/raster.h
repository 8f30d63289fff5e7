/* Codecs, raster and colour: LZW (.Z) decoding, Group 3/4 tables, bitmaps and runs,
 * colour maps and rectangle tiling. */
#ifndef VUTIL_RASTER_H
#define VUTIL_RASTER_H

#include "vutil/frame.h"
#include "vutil/platform.h"

/* Sizes in bytes of the six arrays of FillGroup34Tables, in argument order. */
#define G34_WHITE_RUNS_BYTES 16384
#define G34_WHITE_LENGTHS_BYTES 4100
#define G34_BLACK_RUNS_BYTES 32768
#define G34_BLACK_LENGTHS_BYTES 8200
#define G34_MODE_VALUES_BYTES 130
#define G34_MODE_LENGTHS_BYTES 130

/* Special run values and mode values of the Group 3/4 tables. */
#define G34_RUN_EOL (-1)
#define G34_RUN_INVALID (-2)
#define G34_MODE_PASS (-8)
#define G34_MODE_HORIZONTAL (-9)
#define G34_MODE_NONE (-11)

/** The set-colour-map operation of an output driver: bits per pixel, first and last index and one
 *  byte per index in each table (null tables for true colour). Its result is returned unchanged. */
typedef int32_t (*kor_set_colormap_proc)(intptr_t context, int16_t bits, int32_t first, int32_t last,
                                         const uint8_t *red, const uint8_t *green, const uint8_t *blue);

/** An output driver's function table; the colour maps use its fifth entry only. */
typedef struct kor_output_driver {
    void (*reserved[4])(void);
    kor_set_colormap_proc set_colormap;
} kor_output_driver;

/** Request of KOR_TileRect: five input triples (x, y, z; z unused) and the resulting block. */
typedef struct kor_tile_request {
    double gap[3];        /* space between neighbouring tiles (negative: overlap) */
    double tileSize[3];   /* pitch of the grid; must not be 0 */
    double extentsMin[3]; /* lower corner of the drawing's extents */
    double extentsMax[3]; /* upper corner of the drawing's extents */
    double origin[3];     /* where the tiled area begins */
    double scale[3];      /* drawing to output units; the sign gives the direction */
    HGLOBAL tiles;        /* set: rows (int32), columns (int32), then rows x columns tiles of six doubles */
} kor_tile_request;

VUTIL_BEGIN_DECLS

/* ---- LZW (.Z) decoding ------------------------------------------------------*/

/** Decodes a compress (.Z) file into output (null or empty: count only), stopping after max_bytes (< 1: no limit);
 *  the bytes produced, or 0 on failure. */
VUTIL_API int32_t KOR_decompress(const char *input, const char *output, int32_t max_bytes) VUTIL_NOEXCEPT;

/* ---- Group 3/4 tables -------------------------------------------------------*/

/** Fills the six lookup tables (sizes G34_*_BYTES) for T.4/T.6 decoding; returns 1 (it cannot fail). */
VUTIL_API int32_t FillGroup34Tables(int32_t *white_runs, int8_t *white_lengths, int32_t *black_runs,
                                    int8_t *black_lengths, int8_t *mode_values, int8_t *mode_lengths) VUTIL_NOEXCEPT;

/* ---- Bitmaps, runs and bit order --------------------------------------------*/

/** Allocates rows zero-filled rows of a * b bytes; 1, or 0 with *bitmap null. Free with free_bitmap. */
VUTIL_API int32_t alloc_bitmap(uint8_t ***bitmap, int32_t rows, int32_t a, int32_t b) VUTIL_NOEXCEPT;
/** Frees a bitmap of alloc_bitmap and sets *bitmap to null (a null bitmap pointer is skipped). */
VUTIL_API void free_bitmap(uint8_t ***bitmap, int32_t rows, int32_t a, int32_t b) VUTIL_NOEXCEPT;
/** Copies the 256-byte bit-reversal table into dst; cannot fail. */
VUTIL_API void GetReverseBits(uint8_t *dst) VUTIL_NOEXCEPT;
/** Copies the 256-byte identity table into dst; cannot fail. */
VUTIL_API void GetNoReverseBits(uint8_t *dst) VUTIL_NOEXCEPT;
/** Reverses the bit order of each of count bytes (a count below 1 does nothing). */
VUTIL_API void swabbits(uint8_t *buffer, int32_t count) VUTIL_NOEXCEPT;
/** Exchanges the bytes of each whole pair of count bytes (a count below 2 does nothing). */
VUTIL_API void swabbytes(uint8_t *buffer, int32_t count) VUTIL_NOEXCEPT;
/** Writes the 8 bits of value (most significant first) as bytes 0/1 at dst[first..first+7] when 0 <= first < limit;
 *  otherwise nothing is written. */
VUTIL_API void spread_byte(int32_t value, int32_t first, uint8_t *dst, int32_t limit) VUTIL_NOEXCEPT;
/** Unpacks one packed byte of 1, 2, 4 or 8 bits per pixel at byte index index; returns pixels per byte
 *  (other depths count as 8 bits), also when the pixels would start outside 0..limit - 1 and nothing is written. */
VUTIL_API int32_t spread_byte2(int32_t value, int32_t index, uint8_t *dst, int32_t limit, int32_t bits) VUTIL_NOEXCEPT;
/** Converts a byte row to run boundaries (runs needs limit + 2 entries); the boundaries stored,
 *  0 for a negative limit. */
VUTIL_API int32_t MakeRuns(int32_t *runs, const uint8_t *row, int32_t limit, int32_t width, int32_t polarity) VUTIL_NOEXCEPT;
/** Sets the row to 0xFF and each run's columns to 0 (runs are cut to the row; a width below 1 does nothing). */
VUTIL_API void ExpandRuns(uint8_t *row, const int32_t *runs, int32_t count, int32_t width) VUTIL_NOEXCEPT;

/* ---- Colour maps (colours are 0x00BBGGRR) -----------------------------------*/

/** Colour of an AutoCAD Color Index entry (any index gives a defined colour: 0 and below black). */
VUTIL_API uint32_t GetAcadRGBColor(int32_t index) VUTIL_NOEXCEPT;
/** Fills three 256-byte tables with the AutoCAD Color Index colours; cannot fail. */
VUTIL_API void CreateDefaultColors(uint8_t *red, uint8_t *green, uint8_t *blue) VUTIL_NOEXCEPT;
/** Hands the 256 AutoCAD colours to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetAcadColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Hands the 16-colour map to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetVGAColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Hands black-and-white (0 black) to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetMonoColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Hands white-and-black (0 white) to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetReverseMonoColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Tells the driver about true colour (24 bits, no tables); its result, or 0 when the driver or its set-colour-map
 *  entry is null. */
VUTIL_API int32_t SetTrueColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Hands the 256-entry pseudo-true-colour cube to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetPseudoTrueColormap(intptr_t context, const kor_output_driver *driver) VUTIL_NOEXCEPT;
/** Hands a grey ramp of 2^bits entries (at most 256) to the driver; its result, or 0 when the driver or its
 *  set-colour-map entry is null. */
VUTIL_API int32_t SetGrayColormap(intptr_t context, const kor_output_driver *driver, int32_t bits) VUTIL_NOEXCEPT;
/** Colour of a pseudo-true-colour cube entry (outside 0..255: black). */
VUTIL_API uint32_t GetPseudoTrueColorRGB(int32_t index) VUTIL_NOEXCEPT;
/** Cube index (0..255) of a colour; cannot fail. */
VUTIL_API int32_t GetPseudoTrueColorIndex(uint32_t colour) VUTIL_NOEXCEPT;

/* ---- Rectangle tiling -------------------------------------------------------*/

/** Cuts the requested area into tiles, handed back in request->tiles (the caller frees it with GlobalFree);
 *  1 on success (tiles 0 when there are none), 0 on failure or an invalid request. */
VUTIL_API int32_t KOR_TileRect(kor_tile_request *request) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_RASTER_H */
