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
