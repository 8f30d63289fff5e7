/* File access: buffered files, byte-order values, record descriptors, foreign
 * floating-point formats, text coordinate readers, file names and file-system operations. */
#ifndef VUTIL_FILEIO_H
#define VUTIL_FILEIO_H

#include "vutil/frame.h"

/* Open modes of KorOpenFile. When both WRITE and READWRITE are set, WRITE wins. */
#define KOR_OPEN_READ 0x0000u      /* read only, buffered reads */
#define KOR_OPEN_WRITE 0x0001u     /* write only, buffered writes */
#define KOR_OPEN_READWRITE 0x0002u /* read and write; writes go straight to the file */
#define KOR_OPEN_CREATE 0x0100u    /* create the file empty (or truncate it) first */

/* Buffered-file handles run from 1 to KOR_MAX_FILES; 0 means no file. */
#define KOR_MAX_FILES 63
/* Size of the buffer of an open file. */
#define KOR_FILE_BUFFER_SIZE 16384

/* Origins of KorSeekFile. */
#define KOR_SEEK_SET 0
#define KOR_SEEK_CUR 1
#define KOR_SEEK_END 2

/* Kind codes of direct_f: nothing there, a file, a directory (a bare drive counts as one). */
#define KOR_KIND_NONE 0
#define KOR_KIND_FILE 1
#define KOR_KIND_DIRECTORY 2

/* Room that callers provide for a path. */
#define KOR_MAX_PATH 260

/* Mode bits of kor_stat.st_mode. */
#define KOR_S_IFDIR 0x4000u
#define KOR_S_IFREG 0x8000u

/** File status as KorStat fills it (the layout of the 32-bit runtime's record). */
typedef struct kor_stat {
    uint32_t st_dev;   /* drive number (0 = A:) */
    uint16_t st_ino;
    uint16_t st_mode;  /* KOR_S_IFDIR, KOR_S_IFREG and permission bits */
    int16_t st_nlink;
    int16_t st_uid;
    int16_t st_gid;
    uint32_t st_rdev;
    int32_t st_size;   /* size in bytes, saturated at the 32-bit limit */
    /* Times in seconds since 1970, saturated at the 32-bit limits. (Named apart
     * from st_atime and its kin, which the host's <sys/stat.h> defines as macros.) */
    int32_t st_atime32;
    int32_t st_mtime32;
    int32_t st_ctime32;
} kor_stat;

VUTIL_BEGIN_DECLS

/* ---- Buffered files ---------------------------------------------------------
 * Block, character and line operations take the handle last; KorSeekFile,
 * KorFPrintf and the single-value writers take it first. */

/** Opens a file (KOR_OPEN_* mode); 1 and the handle (1..63), or 0 and handle 0. */
VUTIL_API int32_t KorOpenFile(const char *name, int32_t *handle, uint32_t mode) VUTIL_NOEXCEPT;
/** Flushes pending writes and closes; 1, or 0 for a handle that is not open. */
VUTIL_API int32_t KorCloseFile(int32_t handle) VUTIL_NOEXCEPT;
/** The host file handle of an open file (never 0), or 0 for a handle that is not open. */
VUTIL_API int32_t KorGetFileHandle(int32_t handle) VUTIL_NOEXCEPT;
/** Reads up to count bytes; the number transferred (0 at end of file, which sets the end flag, and for a handle
 *  that is not open). */
VUTIL_API int32_t KorReadFile(void *dst, int32_t count, int32_t handle) VUTIL_NOEXCEPT;
/** As KorReadFile, in chunks of at most 32000 bytes; 0 for a handle that is not open. */
VUTIL_API int32_t KorLReadFile(void *dst, int32_t count, int32_t handle) VUTIL_NOEXCEPT;
/** The next byte as 0..255, or -1 when none could be read. */
VUTIL_API int32_t KorGetc(int32_t handle) VUTIL_NOEXCEPT;
/** Steps the file back one byte; returns c (the byte in the file is read again, not c), or -1 for a handle that
 *  is not open. */
VUTIL_API int32_t KorUnGetc(int32_t c, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a line (CR LF becomes LF) of at most size - 1 bytes into dst; dst, or null at end of file, for a null
 *  dst or a handle that is not open. */
VUTIL_API char *KorGets(char *dst, int32_t size, int32_t handle) VUTIL_NOEXCEPT;
/** Moves the position (KOR_SEEK_*); the new position, or -1 when it cannot move there or for a handle that is
 *  not open. Clears the end flag. */
VUTIL_API int32_t KorSeekFile(int32_t handle, int32_t offset, int32_t origin) VUTIL_NOEXCEPT;
/** 1 after a read that delivered nothing, until the next seek, and for a handle that is not open; else 0. */
VUTIL_API int32_t KorEof(int32_t handle) VUTIL_NOEXCEPT;
/** The position as the caller sees it, or -1 for a handle that is not open. */
VUTIL_API int32_t KorTellFile(int32_t handle) VUTIL_NOEXCEPT;
/** Writes count bytes; the number accepted (0 on failure, for a handle that is not open or for a count of 0). */
VUTIL_API int32_t KorWriteFile(const void *src, int32_t count, int32_t handle) VUTIL_NOEXCEPT;
/** As KorWriteFile, in chunks of at most 32000 bytes; 0 on failure or for a handle that is not open. */
VUTIL_API int32_t KorLWriteFile(const void *src, int32_t count, int32_t handle) VUTIL_NOEXCEPT;
/** Writes formatted text (printf rules, any length); the bytes written, 0 for a handle that is not open, a null
 *  format or a failed write. */
VUTIL_API int32_t KorFPrintf(int32_t handle, const char *format, ...) VUTIL_NOEXCEPT;

/* ---- Single values in Intel (little-endian) and Motorola (big-endian) order ----
 * Readers return 1 when the whole value was read, else 0; writers 1 when the value was accepted, else 0. */

/** Reads one byte; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadIntelChar(uint8_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads one byte (same as KorReadIntelChar); 1, or 0 when it could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadMotorChar(uint8_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a little-endian 16-bit integer; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadIntelInt(int16_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a little-endian 32-bit integer; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadIntelLong(int32_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a little-endian IEEE single; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadIntelFloat(float *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a little-endian IEEE double; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadIntelDouble(double *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a big-endian 16-bit integer; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadMotorInt(int16_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a big-endian 32-bit integer; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadMotorLong(int32_t *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a big-endian IEEE single; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadMotorFloat(float *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Reads a big-endian IEEE double; 1, or 0 when the whole value could not be read (or the handle is not open). */
VUTIL_API int32_t KorReadMotorDouble(double *dst, int32_t handle) VUTIL_NOEXCEPT;
/** Writes the low byte of value; 1, or 0 when not accepted (or the handle is not open). */
VUTIL_API int32_t KorWriteIntelChar(int32_t handle, int32_t value) VUTIL_NOEXCEPT;
/** Writes the low 16 bits of value, little-endian; 1, or 0 when not accepted (or the handle is not open). */
VUTIL_API int32_t KorWriteIntelInt(int32_t handle, int32_t value) VUTIL_NOEXCEPT;
/** Writes a 32-bit integer, little-endian; 1, or 0 when not accepted (or the handle is not open). */
VUTIL_API int32_t KorWriteIntelLong(int32_t handle, int32_t value) VUTIL_NOEXCEPT;
/** Writes an IEEE single, little-endian; 1, or 0 when not accepted (or the handle is not open). */
VUTIL_API int32_t KorWriteIntelFloat(int32_t handle, float value) VUTIL_NOEXCEPT;
/** Writes an IEEE double, little-endian; 1, or 0 when not accepted (or the handle is not open). */
VUTIL_API int32_t KorWriteIntelDouble(int32_t handle, double value) VUTIL_NOEXCEPT;
/** Copies 1 byte; cannot fail. */
VUTIL_API void memcpyIntelChar(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies 1 byte; cannot fail. */
VUTIL_API void memcpyMotorChar(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a little-endian 16-bit value (dst may equal src); cannot fail. */
VUTIL_API void memcpyIntelInt(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a little-endian 32-bit value (dst may equal src); cannot fail. */
VUTIL_API void memcpyIntelLong(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a little-endian IEEE single (dst may equal src); cannot fail. */
VUTIL_API void memcpyIntelFloat(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a little-endian IEEE double (dst may equal src); cannot fail. */
VUTIL_API void memcpyIntelDouble(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a 16-bit value, reversing its bytes (dst may equal src); cannot fail. */
VUTIL_API void memcpyMotorInt(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies a 32-bit value, reversing its bytes (dst may equal src); cannot fail. */
VUTIL_API void memcpyMotorLong(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies an IEEE single, reversing its bytes (dst may equal src); cannot fail. */
VUTIL_API void memcpyMotorFloat(void *dst, const void *src) VUTIL_NOEXCEPT;
/** Copies an IEEE double, reversing all eight bytes (dst may equal src); cannot fail. */
VUTIL_API void memcpyMotorDouble(void *dst, const void *src) VUTIL_NOEXCEPT;

/* ---- Record descriptors -------------------------------------------------------
 * A descriptor such as "C4,L2;D1 I3" lists fields by type letter (C char, I 16-bit,
 * L 32-bit, D double; P1 first turns alignment off) and repeat count. */

/** Reads a little-endian record into rec (naturally aligned); the file bytes moved, or 0 on a short read or for a
 *  handle that is not open. */
VUTIL_API int32_t KorReadIntelStruct(void *rec, uint32_t limit, int32_t handle, const char *descriptor) VUTIL_NOEXCEPT;
/** Writes rec as a packed little-endian record; the file bytes moved, or 0 on a failed write or for a
 *  handle that is not open. */
VUTIL_API int32_t KorWriteIntelStruct(int32_t handle, const void *rec, uint32_t limit, const char *descriptor) VUTIL_NOEXCEPT;
/** Reads a big-endian record into rec; the record's natural size, or 0 on a short read or for a handle
 *  that is not open. */
VUTIL_API int32_t KorReadMotorStruct(void *rec, uint32_t limit, int32_t handle, const char *descriptor) VUTIL_NOEXCEPT;
/** Unpacks a packed little-endian image into rec; 1 when the layout's size equals size, else 0. */
VUTIL_API int32_t memcpyIntelStruct(void *rec, const void *image, uint32_t size, const char *descriptor) VUTIL_NOEXCEPT;
/** Unpacks a packed big-endian image into rec; 1 when the layout's size equals size, else 0. */
VUTIL_API int32_t memcpyMotorStruct(void *rec, const void *image, uint32_t size, const char *descriptor) VUTIL_NOEXCEPT;

/* ---- Foreign floating-point formats --------------------------------------------*/

/** VAX F (4 bytes) to IEEE single; 1, or 0 when too small for a normal single. */
VUTIL_API int32_t _xdr_float_to_ieee(const void *vax, void *ieee) VUTIL_NOEXCEPT;
/** IEEE single to VAX F; 1, or 0 when too large. */
VUTIL_API int32_t _xdr_ieee_to_float(void *vax, const void *ieee) VUTIL_NOEXCEPT;
/** VAX D (8 bytes) to IEEE double; always 1. */
VUTIL_API int32_t _xdr_double_to_ieee(const void *vax, void *ieee) VUTIL_NOEXCEPT;
/** IEEE double to VAX D; 1, or 0 when too large. */
VUTIL_API int32_t _xdr_ieee_to_double(void *vax, const void *ieee) VUTIL_NOEXCEPT;
/** The IEEE value of a VAX D value (any eight bytes have one; cannot fail). */
VUTIL_API double conv_d_dec(const void *vax) VUTIL_NOEXCEPT;
/** Exchanges the two 16-bit halves of a 32-bit value; cannot fail. */
VUTIL_API uint32_t conv_dec_long(uint32_t value) VUTIL_NOEXCEPT;
/** Significant digits of value (ecvt rules) in a library area; *decpt and *sign receive point position and sign;
 *  null when memory runs out. */
VUTIL_API char *KORecvt(double value, int32_t digits, int32_t *decpt, int32_t *sign) VUTIL_NOEXCEPT;
/** Digits of value with digits after the point (fcvt rules) in a library area; null when memory runs out. */
VUTIL_API char *KORfcvt(double value, int32_t digits, int32_t *decpt, int32_t *sign) VUTIL_NOEXCEPT;
/** value as text with digits significant digits (gcvt rules) into text; returns text (left empty when memory runs
 *  out), or null for a null text. */
VUTIL_API char *KORgcvt(double value, int32_t digits, char *text) VUTIL_NOEXCEPT;

/* ---- Text coordinate readers -----------------------------------------------------*/

/** Reads one number from a line of text; the count of values stored (0 or 1): 0 for a null text or output. */
VUTIL_API int32_t read_lf_coord(const char *text, double *value) VUTIL_NOEXCEPT;
/** Reads two numbers from a line of text; 0, 1 or 2 found: 0 for a null text or output (the outputs given are 0). */
VUTIL_API int32_t read_lf_coord_pair(const char *text, double *x, double *y) VUTIL_NOEXCEPT;
/** Reads two integers from a line of text; 0, 1 or 2 found: 0 for a null text or output (the outputs given are 0). */
VUTIL_API int32_t read_d_coord_pair(const char *text, int32_t *x, int32_t *y) VUTIL_NOEXCEPT;
/** Reads n reals into the n double pointers that follow; 1 if all were read, else 0. */
VUTIL_API int32_t ReadNReals(int32_t n, const char *text, ...) VUTIL_NOEXCEPT;
/** Reads two reals; 1 if both were read. */
VUTIL_API int32_t Read2Reals(const char *text, double *a, double *b) VUTIL_NOEXCEPT;
/** Reads four reals; 1 if all were read. */
VUTIL_API int32_t Read4Reals(const char *text, double *a, double *b, double *c, double *d) VUTIL_NOEXCEPT;

/* ---- File names and search paths (paths use drive letters and backslashes) ------- */

/** Splits a path into drive, directory, base name and extension (null outputs are skipped; a part too long for
 *  its buffer is not stored). */
VUTIL_API void KORsplitpath(const char *path, char *drive, char *dir, char *name, char *ext) VUTIL_NOEXCEPT;
/** Builds a path from drive, directory, base name and extension; an empty text when it does not fit 260 bytes. */
VUTIL_API void KORmakepath(char *path, const char *drive, const char *dir, const char *name, const char *ext) VUTIL_NOEXCEPT;
/** 1 if the path's extension equals ext (dot included) ignoring case, else 0. */
VUTIL_API int32_t extension(const char *path, const char *ext) VUTIL_NOEXCEPT;
/** Drive and directory of dir_source with base name and extension of name_source, into out; returns out (an
 *  empty text when the path does not fit), or null for a null out. */
VUTIL_API char *KORsubstitute_dir(const char *dir_source, char *out, const char *name_source) VUTIL_NOEXCEPT;
/** Turns every slash into a backslash in place; returns 1, also for null. */
VUTIL_API int32_t KOR_TranslatePath(char *path) VUTIL_NOEXCEPT;
/** Full file name of the library itself into out (260 bytes, a longer name cut; empty when memory runs out);
 *  1, or 0 for a null out. */
VUTIL_API int32_t KOR_GetModuleFileName(char *out) VUTIL_NOEXCEPT;
/** Full name of the file name next to the library into out (an empty text when it does not fit); 1, or 0 for a
 *  null out. */
VUTIL_API int32_t KOR_GetModuleDirFile(char *out, const char *name) VUTIL_NOEXCEPT;
/** Copies base and appends ".dll" into out (an empty text when it does not fit; a null out is skipped). */
VUTIL_API void KOR_GetDLLFileName(const char *base, char *out) VUTIL_NOEXCEPT;
/** Absolute, resolved form of name in a library area valid until the next call; null for null or empty name. */
VUTIL_API char *KOR_GetNormalizedFName(const char *name) VUTIL_NOEXCEPT;
/** Finds an external reference with extension ext next to it, in two places or on ACAD; 1 and out, or 0. */
VUTIL_API int32_t get_xref_name(char *out, const char *referenced, const char *place1, const char *place2,
                                const void *unused, const char *ext) VUTIL_NOEXCEPT;
/** No alias is ever known: stores an empty text and returns 0. */
VUTIL_API int32_t GetFileAlias(uint32_t code, char *out) VUTIL_NOEXCEPT;
/** Searches the directories of environment variable var for file; out gets the full name or an empty text. */
VUTIL_API void KORsearchenv(const char *file, const char *var, char *out) VUTIL_NOEXCEPT;
/** Searches a ';' or ',' separated directory list (and the library's directory) for file; out, or null. */
VUTIL_API char *KORsearchpaths(const char *file, const char *directories, char *out) VUTIL_NOEXCEPT;

/* ---- File-system operations ------------------------------------------------------*/

/** Kind code of a path (KOR_KIND_*): KOR_KIND_NONE when nothing is there or it cannot be reached. */
VUTIL_API int32_t direct_f(const char *path) VUTIL_NOEXCEPT;
/** Size of a file in bytes, or -1 for nothing there or a directory. */
VUTIL_API int32_t KorFileSize(const char *path) VUTIL_NOEXCEPT;
/** Fills the status record; 0 on success, -1 on failure. */
VUTIL_API int32_t KorStat(const char *path, kor_stat *status) VUTIL_NOEXCEPT;
/** Deletes a file; 1 if deleted, else 0. */
VUTIL_API int32_t KorUnlink(const char *path) VUTIL_NOEXCEPT;
/** Makes a directory the current one: 0 when done; a file or a missing path changes nothing and returns its kind
 *  (KOR_KIND_FILE, or KOR_KIND_NONE, the same 0 as success); -1 when the host refuses. */
VUTIL_API int32_t ChangeDirectory(const char *path) VUTIL_NOEXCEPT;
/** Creates a directory and its missing parents; 1 if it exists afterwards, else 0. */
VUTIL_API int32_t KORmakedir(const char *path) VUTIL_NOEXCEPT;
/** A fresh temporary file name into out (260 bytes; an empty text when memory runs out); 1, or 0 for a null
 *  out. */
VUTIL_API int32_t KorMakeTmpName(char *out) VUTIL_NOEXCEPT;
/** Appends the content of source to destination (a directory gets source's name); 1, also when source is null or
 *  cannot be opened (nothing is appended or created); 0 when the destination cannot be opened or the copy fails. */
VUTIL_API int32_t KorAppendFile(const char *destination, const char *source) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_FILEIO_H */
