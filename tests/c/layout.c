/* Layout of every public record: the interface cannot drift silently. Every
 * export must also be declared by the umbrella header (the generated list
 * takes the address of each one inside sizeof, which needs no definition). */
#define _POSIX_C_SOURCE 200809L
#include <stddef.h>
#include <stdio.h>
#include <sys/stat.h> /* defines st_atime and its kin as macros: the public records must not care */

#include <vutil.h>

#define PTR ((int)sizeof(void *))

_Static_assert(sizeof(int32_t) == 4 && sizeof(double) == 8, "fixed-width types");
_Static_assert(sizeof(ipoint) == 8 && offsetof(ipoint, y) == 4, "ipoint: two 32-bit integers");
_Static_assert(sizeof(vpoint) == 24 && offsetof(vpoint, z) == 16, "vpoint: three doubles");
_Static_assert(offsetof(hmatrix, flags) == 128, "hmatrix: 16 doubles, then the flags");
_Static_assert(offsetof(draw_device, line) == 20 * PTR, "draw_device: line is the 21st member");
_Static_assert(offsetof(draw_device, text) == 29 * PTR, "draw_device: text is the 30th member");
_Static_assert(offsetof(kor_output_driver, set_colormap) == 4 * PTR, "driver table: fifth entry");
_Static_assert(offsetof(kor_tile_request, tiles) == 144, "tile request: six triples, then the block");
_Static_assert(sizeof(kor_logfont) == 60 && offsetof(kor_logfont, lfFaceName) == 28, "LOGFONTA layout");
_Static_assert(offsetof(kor_stat, st_mode) == 6 && offsetof(kor_stat, st_rdev) == 16 &&
                   offsetof(kor_stat, st_size) == 20 && offsetof(kor_stat, st_ctime32) == 32 && sizeof(kor_stat) == 36,
               "file status layout");
_Static_assert(sizeof(HGLOBAL) == sizeof(void *), "a global handle is pointer-sized");
/* The 32-bit target, where the historical callers live: the records as they lay them out, written out in bytes so
 * that a moved field fails this build whatever the pointer-relative rules above still allow. */
#if defined(__i386__) || defined(_M_IX86)
_Static_assert(sizeof(void *) == 4 && sizeof(intptr_t) == 4 && sizeof(HGLOBAL) == 4, "32-bit pointers and handles");
_Static_assert(sizeof(draw_device) == 120 && offsetof(draw_device, line) == 80 && offsetof(draw_device, text) == 116,
               "draw_device: twenty 32-bit members, line, eight more, text");
_Static_assert(sizeof(kor_output_driver) == 20 && offsetof(kor_output_driver, set_colormap) == 16,
               "driver table: five 32-bit entries");
_Static_assert(offsetof(kor_tile_request, scale) == 120 && offsetof(kor_tile_request, tiles) == 144 &&
                   sizeof(((kor_tile_request *)0)->tiles) == 4,
               "tile request: six triples of doubles, then a 32-bit handle");
_Static_assert(sizeof(ipoint) == 8 && sizeof(vpoint) == 24 && offsetof(hmatrix, flags) == 128, "points and matrix");
_Static_assert(sizeof(kor_logfont) == 60 && offsetof(kor_logfont, lfWeight) == 16 && offsetof(kor_logfont, lfItalic) == 20 &&
                   offsetof(kor_logfont, lfCharSet) == 23 && offsetof(kor_logfont, lfPitchAndFamily) == 27,
               "LOGFONTA on 32-bit Windows");
_Static_assert(sizeof(kor_stat) == 36 && offsetof(kor_stat, st_ino) == 4 && offsetof(kor_stat, st_nlink) == 8 &&
                   offsetof(kor_stat, st_atime32) == 24 && offsetof(kor_stat, st_mtime32) == 28,
               "the 32-bit runtime's file status");
#  if defined(_WIN32)
/* Windows compilers align a double in a record to 8 bytes (the System V i386 rule is 4). */
_Static_assert(sizeof(hmatrix) == 136 && sizeof(kor_tile_request) == 152, "records that end after a double's padding");
#  endif
#endif
_Static_assert(KOR_OPEN_READ == 0 && KOR_OPEN_WRITE == 1 && KOR_OPEN_READWRITE == 2 && KOR_OPEN_CREATE == 0x100,
               "open modes");
_Static_assert(HM_UNIT == 1 && HM_PLANAR == 2 && HM_DIAGONAL == 4, "matrix flags");
_Static_assert(TXT_BACKWARD == 2 && TXT_UPSIDEDOWN == 4 && TXT_VERTICAL == 0x4000, "text flags");
_Static_assert(TTXT_BOLD == 1 && TTXT_ITALIC == 2 && TTXT_UNDERLINE == 4 && TTXT_NATURALWIDTH == 0x20000 &&
                   TTXT_ASCENTHEIGHT == 0x40000,
               "outline text styles");
_Static_assert(GMEM_MOVEABLE == 0x2 && GMEM_ZEROINIT == 0x40 && GHND == 0x42, "global memory flags");

int main(void) {
#include "vutil_declared_names.inc"
    printf("layout and declarations checked\n");
    return 0;
}
