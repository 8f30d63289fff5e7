/* Runtime services: strings, number text, atoms and list boxes, settings files,
 * sorting, threads and time, sine and cosine, RC4 and hex text. */
#ifndef VUTIL_RUNTIME_H
#define VUTIL_RUNTIME_H

#include "vutil/frame.h"

struct tm;

/** A list of owned string copies, made by KorCreateListBox. */
typedef struct kor_listbox kor_listbox;
/** Comparison of two elements: negative, zero or positive. */
typedef int (*kor_compare_proc)(const void *a, const void *b);
/** A thread started by KOR_CreateThread; the caller keeps the handle. */
typedef struct kor_thread kor_thread;
/** Start routine of a thread: receives the context, returns the exit code. */
typedef uint32_t (*kor_thread_proc)(void *context);

/* Number of tokenizer slots of KorStrtok and the longest text one slot holds. */
#define KOR_STRTOK_SLOTS 64
#define KOR_STRTOK_MAX_TEXT 8191
/* Capacity of the atom table. */
#define KOR_ATOM_CAPACITY 128
/* Number of RC4 key slots. */
#define KOR_RC4_SLOTS 4

VUTIL_BEGIN_DECLS

/* ---- Strings: null-safe copy, length, comparison ------------------------- */

/** Copies src (null: empty text) into dst; null dst does nothing. Returns dst. */
VUTIL_API char *KorStrcpy(char *dst, const char *src) VUTIL_NOEXCEPT;
/** Copies at most n characters and always a terminator (dst holds n + 1 bytes; null src: empty text; null dst
 *  does nothing). Returns dst. */
VUTIL_API char *KorStrncpy(char *dst, const char *src, uint32_t n) VUTIL_NOEXCEPT;
/** Appends src to dst; nothing when either is null. Returns dst. */
VUTIL_API char *KorStrcat(char *dst, const char *src) VUTIL_NOEXCEPT;
/** Appends at most n characters of src and a terminator; nothing when either is null. Returns dst. */
VUTIL_API char *KorStrncat(char *dst, const char *src, uint32_t n) VUTIL_NOEXCEPT;
/** Length of s in bytes; 0 for null. */
VUTIL_API uint32_t KorStrlen(const char *s) VUTIL_NOEXCEPT;
/** Upper-cases s in place, byte by byte, in the current locale; null is accepted. */
VUTIL_API void KorStrupr(char *s) VUTIL_NOEXCEPT;
/** Locale-aware comparison; null sorts before any text, two nulls are equal. */
VUTIL_API int32_t KorStrcmp(const char *a, const char *b) VUTIL_NOEXCEPT;
/** As KorStrcmp without regard to case. */
VUTIL_API int32_t KorStricmp(const char *a, const char *b) VUTIL_NOEXCEPT;
/** 0 when the first n characters agree (or both texts end together), else 1; never negative for a difference. */
VUTIL_API int32_t KorStrncmp(const char *a, const char *b, uint32_t n) VUTIL_NOEXCEPT;
/** As KorStrncmp, comparing upper-cased bytes. */
VUTIL_API int32_t KorStrnicmp(const char *a, const char *b, uint32_t n) VUTIL_NOEXCEPT;

/* ---- Strings: formatting, scanning, keywords, squeezing, tokens ---------- */

/** Formats by the printf rules into dst (the caller guarantees the room); returns the characters written, 0 for a
 *  null dst or format, negative when the host cannot format. */
VUTIL_API int32_t KorSprintf(char *dst, const char *format, ...) VUTIL_NOEXCEPT;
/** Scans text by the scanf rules; returns the number of fields stored, or -1 at end of input and for a null text
 *  or format. */
VUTIL_API int32_t KORsscanf(const char *text, const char *format, ...) VUTIL_NOEXCEPT;
/** Walks (name, int32 value) pairs ended by a null name; returns the value whose name equals key ignoring case, else def. */
VUTIL_API int32_t KorGetStringIndex(const char *key, int32_t def, ...) VUTIL_NOEXCEPT;
/** Removes every c from s (first 1000 characters only; the text is cut there); a null s is skipped. */
VUTIL_API void squeeze(char *s, int32_t c) VUTIL_NOEXCEPT;
/** Collapses runs of c in s to one c (first 1000 characters only; the text is cut there); a null s is skipped. */
VUTIL_API void ssqueeze(char *s, int32_t c) VUTIL_NOEXCEPT;
/** Re-entrant tokenizer: a non-null s starts a tokenization in the next of 64 slots (stored through slot);
 *  null s continues the tokenization of *slot. Returns the next token in the slot's copy, or null when there is
 *  none or for a null slot. */
VUTIL_API char *KorStrtok(const char *s, const char *delimiters, int32_t *slot) VUTIL_NOEXCEPT;

/* ---- Number text conversion (32-bit results on every host) --------------- */

/** Decimal text to a 32-bit integer by the atoi rules, saturating at the 32-bit limits; 0 for null or no number. */
VUTIL_API int32_t KOR_atoi(const char *text) VUTIL_NOEXCEPT;
/** Decimal text to a 32-bit integer by the atol rules, saturating at the 32-bit limits; 0 for null or no number. */
VUTIL_API int32_t KOR_atol(const char *text) VUTIL_NOEXCEPT;
/** Decimal text to a double by the atof rules; 0 for null or no number. */
VUTIL_API double KOR_atof(const char *text) VUTIL_NOEXCEPT;
/** Text to a 32-bit signed integer by the strtol rules (base 0 or 2..36), saturating; 0 for null text, a
 *  base outside 0 and 2..36 or no number; *end (if given) gets the first unused character (text itself then). */
VUTIL_API int32_t KorStrToL(const char *text, char **end, int32_t base) VUTIL_NOEXCEPT;
/** Text to a 32-bit unsigned integer by the strtoul rules, saturating; 0 for null text, a
 *  base outside 0 and 2..36 or no number; *end (if given) gets the first unused character (text itself then). */
VUTIL_API uint32_t KorStrToUL(const char *text, char **end, int32_t base) VUTIL_NOEXCEPT;

/* ---- Atom table and list boxes --------------------------------------------*/

/** Sets the value of key (replacing it, or taking a free entry); 1, or 0 when all 128 entries are in use. */
VUTIL_API int32_t KorAddAtom(uint32_t key, uint32_t value) VUTIL_NOEXCEPT;
/** Value of key, or 0 when there is none. */
VUTIL_API uint32_t KorFindAtom(uint32_t key) VUTIL_NOEXCEPT;
/** Frees every entry of key; always 1. */
VUTIL_API int32_t KorDeleteAtom(uint32_t key) VUTIL_NOEXCEPT;
/** New empty list box, or null when memory runs out. Release it with KorDestroyListBox. */
VUTIL_API kor_listbox *KorCreateListBox(void) VUTIL_NOEXCEPT;
/** Frees the list and all its strings; 1, or 0 for null. */
VUTIL_API int32_t KorDestroyListBox(kor_listbox *list) VUTIL_NOEXCEPT;
/** Appends a copy of s; 1, or 0 for a null list or text or when the list cannot grow. */
VUTIL_API int32_t KorAddToListBox(kor_listbox *list, const char *s) VUTIL_NOEXCEPT;
/** Removes the entry at index (the rest keep their order; an index out of range or a null list changes nothing);
 *  always 0, so success and failure look alike. */
VUTIL_API int32_t KorRemoveFromListBox(kor_listbox *list, uint32_t index) VUTIL_NOEXCEPT;
/** Removes every entry; 1, or 0 for null. */
VUTIL_API int32_t KorRemoveAllFromListBox(kor_listbox *list) VUTIL_NOEXCEPT;
/** The list's own copy of the entry at index (not to be freed), or null. */
VUTIL_API const char *KorQueryListBoxEntry(const kor_listbox *list, uint32_t index) VUTIL_NOEXCEPT;
/** Number of entries; 0 for null. */
VUTIL_API uint32_t KorQueryListBoxNumEntries(const kor_listbox *list) VUTIL_NOEXCEPT;
/** Sorts the entries; compare receives pointers to two entries (const char *const *). 1, or 0 for null arguments. */
VUTIL_API int32_t KorSortListBox(kor_listbox *list, kor_compare_proc compare) VUTIL_NOEXCEPT;

/* ---- Settings files --------------------------------------------------------*/

/** Reads a key of a section into buffer (size bytes); returns the characters stored. */
VUTIL_API int32_t KorGetPrivateProfileString(const char *section, const char *key, const char *def,
                                             char *buffer, int32_t size, const char *file) VUTIL_NOEXCEPT;
/** Reads a key as a 32-bit integer, or def. */
VUTIL_API int32_t KorGetPrivateProfileInt(const char *section, const char *key, int32_t def,
                                          const char *file) VUTIL_NOEXCEPT;
/** Writes a key (creating file, section and key as needed); nonzero on success, 0 with the file left as it
 *  was when it may not be written or cannot be changed. Another name (hard link) of the file sees the change. */
VUTIL_API int32_t KorWritePrivateProfileString(const char *section, const char *key, const char *value,
                                               const char *file) VUTIL_NOEXCEPT;
/** Writes a 32-bit integer as decimal text; nonzero on success. */
VUTIL_API int32_t KorWritePrivateProfileInt(const char *section, const char *key, int32_t value,
                                            const char *file) VUTIL_NOEXCEPT;
/** Reads a key as a real number (stored to 3 significant digits), or def. */
VUTIL_API double KorGetPrivateProfileReal(const char *section, const char *key, double def,
                                          const char *file) VUTIL_NOEXCEPT;
/** Writes a real number to 3 significant digits; nonzero on success. */
VUTIL_API int32_t KorWritePrivateProfileReal(const char *section, const char *key, double value,
                                             const char *file) VUTIL_NOEXCEPT;

/* ---- Sorting and clamping --------------------------------------------------*/

/** Orders the corners so that *x1 <= *x2 and *y1 <= *y2. */
VUTIL_API void sortints(int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2) VUTIL_NOEXCEPT;
/** Orders double corners; a pair with a NaN is left alone. */
VUTIL_API void sortreals(double *x1, double *y1, double *x2, double *y2) VUTIL_NOEXCEPT;
/** Clamps the point into the rectangle (max wins when min > max). */
VUTIL_API void squeezeints(int32_t *x, int32_t *y, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) VUTIL_NOEXCEPT;
/** Same as squeezeints. */
VUTIL_API void squeezelongs(int32_t *x, int32_t *y, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) VUTIL_NOEXCEPT;
/** Sorts count elements of size bytes with the caller's comparison; cannot fail. */
VUTIL_API void KorQSort(void *base, size_t count, size_t size, kor_compare_proc compare) VUTIL_NOEXCEPT;

/* ---- Threads, time and commands --------------------------------------------*/

/** Starts routine(context) on a new thread (stack size: low 16 bits, 0 = default; suspended when nonzero); the handle, or null. */
VUTIL_API kor_thread *KOR_CreateThread(kor_thread_proc routine, uint32_t stack_size, void *context,
                                       int32_t suspended) VUTIL_NOEXCEPT;
/** Sets the thread's priority to the highest normal level (2 above its starting level; on POSIX hosts, where
 *  allowed, its starting nice value less 2) and waits up to 50 ms for it to end: 1 if it ended (or for null),
 *  0 if it still runs. */
VUTIL_API int32_t KOR_DestroyThread(kor_thread *thread) VUTIL_NOEXCEPT;
/** Does nothing; returns 1. */
VUTIL_API int32_t KOR_YieldThread(void) VUTIL_NOEXCEPT;
/** Suspends the thread once; 1 on success, 0 for null or failure. On POSIX hosts a signal stops the thread:
 *  a host sleep or timed wait it is in (nanosleep, usleep, poll, select, sem_timedwait) returns early with EINTR
 *  once it is resumed, as after any signal; the library's own waits keep their deadlines. */
VUTIL_API int32_t KOR_SuspendThread(kor_thread *thread) VUTIL_NOEXCEPT;
/** Resumes the thread once; 1 on success, 0 for null or failure. */
VUTIL_API int32_t KOR_ResumeThread(kor_thread *thread) VUTIL_NOEXCEPT;
/** Ends the calling thread with exit code 0; does not return. */
VUTIL_API void KOR_ExitThread(void) VUTIL_NOEXCEPT;
/** Broken-down local time of a 32-bit time value, in the runtime's shared record; null when the host cannot
 *  convert it. */
VUTIL_API struct tm *KOR_LocalTime(int32_t seconds) VUTIL_NOEXCEPT;
/** Formats a command line (at most 1023 characters) and starts it detached; above 31 when it started, else 0 (no
 *  resources), 2 (no command interpreter) or 11 (a null format, or a line that is empty or too long). */
VUTIL_API int32_t KORsystem(const char *format, ...) VUTIL_NOEXCEPT;

/* ---- Sine and cosine -------------------------------------------------------*/

/** Sine of an angle in radians, with short series within 0.1 degree of the quarter turns. */
VUTIL_API double KOR_Sin(double angle) VUTIL_NOEXCEPT;
/** Cosine of an angle in radians, with short series within 0.1 degree of the quarter turns. */
VUTIL_API double KOR_Cos(double angle) VUTIL_NOEXCEPT;
/** Stores KOR_Sin and KOR_Cos of the angle. */
VUTIL_API void KOR_SinCos(double angle, double *sine, double *cosine) VUTIL_NOEXCEPT;

/* ---- RC4 and hex text ------------------------------------------------------*/

/** Schedules a key into the next of four slots (round robin, starting at 1); returns the slot. */
VUTIL_API int32_t KOR_prepare_rc4key(const uint8_t *key, int32_t length) VUTIL_NOEXCEPT;
/** Enciphers or deciphers length bytes in place, continuing the keystream of the slot (a slot outside 0..3, a null
 *  data or a length below 1 does nothing). */
VUTIL_API void KOR_rc4(uint8_t *data, int32_t length, int32_t slot) VUTIL_NOEXCEPT;
/** Writes the bytes as upper-case hex text (2 * length + 1 bytes with the terminator); returns that count, or 0
 *  for a null text. */
VUTIL_API int32_t KOR_BinHex(const uint8_t *data, int32_t length, char *text) VUTIL_NOEXCEPT;
/** Converts length characters of hex text to length / 2 bytes; returns length / 2, or 0 for a null text or data
 *  or a length below 2. */
VUTIL_API int32_t KOR_HexBin(const char *text, int32_t length, uint8_t *data) VUTIL_NOEXCEPT;

VUTIL_END_DECLS

#endif /* VUTIL_RUNTIME_H */
