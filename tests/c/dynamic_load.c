/* A Windows caller that binds vutil.dll at run time, as the format readers do: LoadLibraryA, then each export by
 * its plain name through GetProcAddress. Only the header's types are used; nothing is linked from the library. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include <vutil.h>

typedef int32_t (*version_proc)(void);
typedef int32_t (*string_index_proc)(const char *key, int32_t def, ...);
typedef int32_t (*clip_line_proc)(int32_t, int32_t, int32_t, int32_t, ipoint *, ipoint *, int32_t, int32_t, int32_t,
                                  int32_t);
typedef uint32_t (*strlen_proc)(const char *);
typedef int32_t (*tile_proc)(kor_tile_request *);

static int failures = 0;

/* An export by name, as a function pointer of no particular type (the caller casts it to the right one). */
typedef void (*any_proc)(void);
static any_proc lookup(HMODULE library, const char *name) { return (any_proc)GetProcAddress(library, name); }

static void check(int ok, const char *what) {
    if (!ok) {
        fprintf(stderr, "dynamic_load: %s\n", what);
        ++failures;
    }
}

int main(void) {
    HMODULE library = LoadLibraryA("vutil.dll");
    if (library == NULL) {
        fprintf(stderr, "dynamic_load: LoadLibraryA(\"vutil.dll\") failed: %lu\n", (unsigned long)GetLastError());
        return 1;
    }
    version_proc version = (version_proc)lookup(library, "GetMXRLANG");
    string_index_proc string_index = (string_index_proc)lookup(library, "KorGetStringIndex");
    clip_line_proc clip_line = (clip_line_proc)lookup(library, "KorClipLine");
    strlen_proc length = (strlen_proc)lookup(library, "KorStrlen");
    tile_proc tile_rect = (tile_proc)lookup(library, "KOR_TileRect");
    if (version == NULL || string_index == NULL || clip_line == NULL || length == NULL || tile_rect == NULL) {
        fprintf(stderr, "dynamic_load: an export is missing by its plain name\n");
        return 1;
    }
    /* Plain names only: no stdcall decoration, no leading underscore, and no global-memory functions of its own. */
    check(GetProcAddress(library, "_GetMXRLANG") == NULL && GetProcAddress(library, "GetMXRLANG@0") == NULL,
          "a decorated name is exported");
    check(GetProcAddress(library, "GlobalAlloc") == NULL && GetProcAddress(library, "GlobalFree") == NULL,
          "the library exports global-memory functions of its own");

    /* The names of one operation: one body where the export list says so for this processor, else two. */
    static const struct {
        const char *name, *other;
        int one_body;
    } bodies[] = {
#include "vutil_shared_bodies.inc"
    };
    for (size_t i = 0; i < sizeof bodies / sizeof bodies[0]; ++i) {
        const any_proc name = lookup(library, bodies[i].name), other = lookup(library, bodies[i].other);
        if (name == NULL || other == NULL || (name == other) != bodies[i].one_body) {
            fprintf(stderr, "dynamic_load: %s and %s: %s\n", bodies[i].name, bodies[i].other,
                    bodies[i].one_body ? "not one body" : "one body where the calls differ");
            ++failures;
        }
    }

    /* A float passed to the shared body of the 32-bit writers arrives as its bit pattern. */
    typedef int32_t (*open_proc)(const char *, int32_t *, uint32_t);
    typedef int32_t (*handle_proc)(int32_t);
    typedef int32_t (*write_float_proc)(int32_t, float);
    typedef void (*convert_proc)(void *, const void *);
    open_proc open_file = (open_proc)lookup(library, "KorOpenFile");
    handle_proc close_file = (handle_proc)lookup(library, "KorCloseFile");
    write_float_proc write_float = (write_float_proc)lookup(library, "KorWriteIntelFloat");
    convert_proc motor_float = (convert_proc)lookup(library, "memcpyMotorFloat");
    char written[8] = {0};
    const float value = 1.5f;
    unsigned char reversed[4] = {0};
    int32_t file = 0;
    FILE *in = NULL;
    if (open_file("dynamic_load.bin", &file, KOR_OPEN_WRITE | KOR_OPEN_CREATE) == 1) {
        check(write_float(file, value) == 1 && close_file(file) == 1, "KorWriteIntelFloat");
        in = fopen("dynamic_load.bin", "rb");
    }
    check(in != NULL && fread(written, 1, sizeof written, in) == 4 && memcmp(written, "\0\0\xC0\x3F", 4) == 0,
          "KorWriteIntelFloat writes 1.5 as 00 00 C0 3F");
    if (in != NULL) fclose(in);
    remove("dynamic_load.bin");
    motor_float(reversed, &value);
    check(reversed[0] == 0x3F && reversed[1] == 0xC0 && reversed[2] == 0 && reversed[3] == 0, "memcpyMotorFloat");

    check(version() == VUTIL_VERSION_CODE, "GetMXRLANG");
    check(length("drawing") == 7 && length(NULL) == 0, "KorStrlen");
    /* Variadic through a pointer: the C convention leaves the arguments to the caller. */
    check(string_index("beta", -1, "alpha", (int32_t)10, "BETA", (int32_t)20, (const char *)NULL) == 20,
          "KorGetStringIndex finds a name in any case");
    check(string_index("gamma", -7, "alpha", (int32_t)10, (const char *)NULL) == -7,
          "KorGetStringIndex gives the default for a missing name");
    ipoint from = {0, 0}, to = {0, 0};
    check(clip_line(-5, 5, 15, 5, &from, &to, 0, 0, 10, 10) == 1 && from.x == 0 && from.y == 5 && to.x == 10,
          "KorClipLine cuts a line to the window");
    check(clip_line(-5, 20, 15, 20, &from, &to, 0, 0, 10, 10) == 0, "KorClipLine drops a line above the window");

    /* The tile block is the system's global memory: its size and contents through kernel32, freed by it. */
    kor_tile_request request;
    memset(&request, 0, sizeof request);
    request.tileSize[0] = request.tileSize[1] = 10.0;
    request.extentsMax[0] = 25.0;
    request.extentsMax[1] = 10.0;
    request.scale[0] = request.scale[1] = 1.0;
    check(tile_rect(&request) == 1 && request.tiles != NULL, "KOR_TileRect");
    if (request.tiles != NULL) {
        const int32_t *counts = (const int32_t *)GlobalLock(request.tiles);
        check(counts != NULL && counts[0] >= 1 && counts[1] >= 3, "the tile block holds rows and columns");
        if (counts != NULL) {
            check(GlobalSize(request.tiles) >= (SIZE_T)(counts[0] * counts[1] * 48 + 8), "the tile block's size");
            GlobalUnlock(request.tiles);
        }
        check(GlobalFree(request.tiles) == NULL, "GlobalFree of the tile block");
    }
    check(FreeLibrary(library) != 0, "FreeLibrary");
    if (failures == 0) {
        printf("vutil.dll bound at run time: %d\n", VUTIL_VERSION_CODE);
    }
    return failures == 0 ? 0 : 1;
}
