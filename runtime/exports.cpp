// Exports of the runtime services: strings, number text, atoms and list boxes, settings files, sorting,
// threads and commands, sine and cosine, RC4 and hex text.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "platform/profile.h"
#include "platform/thread.h"
#include "runtime/atoms.h"
#include "runtime/cipher.h"
#include "runtime/numbers.h"
#include "runtime/profile.h"
#include "runtime/sorting.h"
#include "runtime/strings.h"
#include "runtime/threads.h"
#include "runtime/trig.h"
#include "vutil/runtime.h"

namespace rt = vutil::runtime;
namespace pf = vutil::platform;

namespace {

// The handles that cross the boundary are the internal records themselves.
rt::ListBox *listBox(kor_listbox *list) noexcept { return reinterpret_cast<rt::ListBox *>(list); }
const rt::ListBox *listBox(const kor_listbox *list) noexcept { return reinterpret_cast<const rt::ListBox *>(list); }
pf::Thread *hostThread(kor_thread *thread) noexcept { return reinterpret_cast<pf::Thread *>(thread); }

}  // namespace

extern "C" {

// ---- Strings ----------------------------------------------------------------

VUTIL_API char *KorStrcpy(char *dst, const char *src) noexcept { return rt::copy(dst, src); }

VUTIL_API char *KorStrncpy(char *dst, const char *src, uint32_t n) noexcept { return rt::copyBounded(dst, src, n); }

VUTIL_API char *KorStrcat(char *dst, const char *src) noexcept { return rt::append(dst, src); }

VUTIL_API char *KorStrncat(char *dst, const char *src, uint32_t n) noexcept { return rt::appendBounded(dst, src, n); }

VUTIL_API uint32_t KorStrlen(const char *s) noexcept { return rt::length(s); }

VUTIL_API void KorStrupr(char *s) noexcept { rt::toUpper(s); }

VUTIL_API int32_t KorStrcmp(const char *a, const char *b) noexcept { return rt::compare(a, b); }

VUTIL_API int32_t KorStricmp(const char *a, const char *b) noexcept { return rt::compareIgnoringCase(a, b); }

VUTIL_API int32_t KorStrncmp(const char *a, const char *b, uint32_t n) noexcept {
    return rt::compareBounded(a, b, n, false);
}

VUTIL_API int32_t KorStrnicmp(const char *a, const char *b, uint32_t n) noexcept {
    return rt::compareBounded(a, b, n, true);
}

VUTIL_API int32_t KorSprintf(char *dst, const char *format, ...) noexcept {
    if (dst == nullptr || format == nullptr) {
        return 0;
    }
    va_list args;
    va_start(args, format);
    int written = std::vsprintf(dst, format, args);
    va_end(args);
    return written;
}

// No limit on the number of receiving pointers: the arguments go on to the
// scanner as they came.
VUTIL_API int32_t KORsscanf(const char *text, const char *format, ...) noexcept {
    if (text == nullptr || format == nullptr) {
        return -1;
    }
    va_list args;
    va_start(args, format);
    int stored = std::vsscanf(text, format, args);
    va_end(args);
    return stored;
}

VUTIL_API int32_t KorGetStringIndex(const char *key, int32_t def, ...) noexcept {
    va_list pairs;
    va_start(pairs, def);
    int32_t value = rt::stringIndex(key, def, pairs);
    va_end(pairs);
    return value;
}

VUTIL_API void squeeze(char *s, int32_t c) noexcept { rt::removeAll(s, static_cast<char>(c)); }

VUTIL_API void ssqueeze(char *s, int32_t c) noexcept { rt::collapseRuns(s, static_cast<char>(c)); }

VUTIL_API char *KorStrtok(const char *s, const char *delimiters, int32_t *slot) noexcept {
    rt::Tokenizer &tokenizer = rt::Tokenizer::shared();
    if (s != nullptr) {
        return tokenizer.start(s, delimiters, slot);
    }
    return slot == nullptr ? nullptr : tokenizer.next(*slot);
}

// ---- Number text --------------------------------------------------------------

VUTIL_API int32_t KOR_atoi(const char *text) noexcept { return rt::decimalToInt32(text); }

VUTIL_API int32_t KOR_atol(const char *text) noexcept { return rt::decimalToInt32(text); }

VUTIL_API double KOR_atof(const char *text) noexcept { return rt::decimalToDouble(text); }

VUTIL_API int32_t KorStrToL(const char *text, char **end, int32_t base) noexcept {
    rt::ScannedInteger scan = rt::scanInteger(text, base);
    if (end != nullptr) {
        *end = const_cast<char *>(scan.end);
    }
    return rt::toInt32(scan);
}

VUTIL_API uint32_t KorStrToUL(const char *text, char **end, int32_t base) noexcept {
    rt::ScannedInteger scan = rt::scanInteger(text, base);
    if (end != nullptr) {
        *end = const_cast<char *>(scan.end);
    }
    return rt::toUint32(scan);
}

// ---- Atom table and list boxes -----------------------------------------------------

VUTIL_API int32_t KorAddAtom(uint32_t key, uint32_t value) noexcept { return rt::AtomTable::shared().add(key, value); }

VUTIL_API uint32_t KorFindAtom(uint32_t key) noexcept { return rt::AtomTable::shared().find(key); }

VUTIL_API int32_t KorDeleteAtom(uint32_t key) noexcept {
    rt::AtomTable::shared().remove(key);
    return 1;
}

VUTIL_API kor_listbox *KorCreateListBox(void) noexcept { return reinterpret_cast<kor_listbox *>(rt::ListBox::create()); }

VUTIL_API int32_t KorDestroyListBox(kor_listbox *list) noexcept {
    delete listBox(list);
    return list != nullptr ? 1 : 0;
}

VUTIL_API int32_t KorAddToListBox(kor_listbox *list, const char *s) noexcept {
    return list != nullptr && s != nullptr && listBox(list)->add(s) ? 1 : 0;
}

// Always 0, after a removal as well: callers cannot tell the two apart.
VUTIL_API int32_t KorRemoveFromListBox(kor_listbox *list, uint32_t index) noexcept {
    if (list != nullptr) {
        listBox(list)->remove(index);
    }
    return 0;
}

VUTIL_API int32_t KorRemoveAllFromListBox(kor_listbox *list) noexcept {
    if (list == nullptr) {
        return 0;
    }
    listBox(list)->clear();
    return 1;
}

VUTIL_API const char *KorQueryListBoxEntry(const kor_listbox *list, uint32_t index) noexcept {
    return list != nullptr ? listBox(list)->entry(index) : nullptr;
}

VUTIL_API uint32_t KorQueryListBoxNumEntries(const kor_listbox *list) noexcept {
    return list != nullptr ? listBox(list)->count() : 0;
}

VUTIL_API int32_t KorSortListBox(kor_listbox *list, kor_compare_proc compare) noexcept {
    if (list == nullptr || compare == nullptr) {
        return 0;
    }
    listBox(list)->sort(compare);
    return 1;
}

// ---- Settings files ---------------------------------------------------------------

VUTIL_API int32_t KorGetPrivateProfileString(const char *section, const char *key, const char *def, char *buffer,
                                             int32_t size, const char *file) noexcept {
    std::span<char> room;
    if (buffer != nullptr && size > 0) {
        room = {buffer, static_cast<std::size_t>(size)};
    }
    return pf::getProfileString(section, key, def, room, file);
}

VUTIL_API int32_t KorGetPrivateProfileInt(const char *section, const char *key, int32_t def, const char *file) noexcept {
    return pf::getProfileInt(section, key, def, file);
}

VUTIL_API int32_t KorWritePrivateProfileString(const char *section, const char *key, const char *value,
                                               const char *file) noexcept {
    return pf::writeProfileString(section, key, value, file) ? 1 : 0;
}

VUTIL_API int32_t KorWritePrivateProfileInt(const char *section, const char *key, int32_t value,
                                            const char *file) noexcept {
    return rt::writeProfileInt(section, key, value, file);
}

VUTIL_API double KorGetPrivateProfileReal(const char *section, const char *key, double def, const char *file) noexcept {
    return rt::readProfileReal(section, key, def, file);
}

VUTIL_API int32_t KorWritePrivateProfileReal(const char *section, const char *key, double value,
                                             const char *file) noexcept {
    return rt::writeProfileReal(section, key, value, file);
}

// ---- Sorting and clamping -----------------------------------------------------------

VUTIL_API void sortints(int32_t *x1, int32_t *y1, int32_t *x2, int32_t *y2) noexcept {
    rt::orderPair(*x1, *x2);
    rt::orderPair(*y1, *y2);
}

VUTIL_API void sortreals(double *x1, double *y1, double *x2, double *y2) noexcept {
    rt::orderPair(*x1, *x2);
    rt::orderPair(*y1, *y2);
}

VUTIL_API void squeezeints(int32_t *x, int32_t *y, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) noexcept {
    *x = rt::clampTo(*x, xmin, xmax);
    *y = rt::clampTo(*y, ymin, ymax);
}

VUTIL_API void squeezelongs(int32_t *x, int32_t *y, int32_t xmin, int32_t ymin, int32_t xmax, int32_t ymax) noexcept {
    squeezeints(x, y, xmin, ymin, xmax, ymax);
}

VUTIL_API void KorQSort(void *base, size_t count, size_t size, kor_compare_proc compare) noexcept {
    if (base != nullptr && compare != nullptr && count > 1 && size > 0) {
        std::qsort(base, count, size, compare);
    }
}

// ---- Threads, time and commands --------------------------------------------------------

// The stack size is what the thread gets to start with; the host's default
// stack, which is larger than any 16-bit size, is reserved for it either way.
VUTIL_API kor_thread *KOR_CreateThread(kor_thread_proc routine, uint32_t stack_size, void *context,
                                       int32_t suspended) noexcept {
    return reinterpret_cast<kor_thread *>(pf::startThread(routine, context, stack_size & 0xFFFFu, suspended != 0));
}

VUTIL_API int32_t KOR_DestroyThread(kor_thread *thread) noexcept {
    return thread == nullptr ? 1 : rt::destroyThread(hostThread(thread));
}

VUTIL_API int32_t KOR_YieldThread(void) noexcept { return 1; }

VUTIL_API int32_t KOR_SuspendThread(kor_thread *thread) noexcept {
    return thread != nullptr && pf::suspendThread(hostThread(thread)) >= 0 ? 1 : 0;
}

VUTIL_API int32_t KOR_ResumeThread(kor_thread *thread) noexcept {
    return thread != nullptr && pf::resumeThread(hostThread(thread)) >= 0 ? 1 : 0;
}

VUTIL_API void KOR_ExitThread(void) noexcept { pf::exitThread(); }

VUTIL_API struct tm *KOR_LocalTime(int32_t seconds) noexcept {
    const std::time_t time = seconds;
    return std::localtime(&time);
}

VUTIL_API int32_t KORsystem(const char *format, ...) noexcept {
    if (format == nullptr) {
        return rt::kCommandBadFormat;
    }
    va_list arguments;
    va_start(arguments, format);
    const int32_t result = rt::startCommand(format, arguments);
    va_end(arguments);
    return result;
}

// ---- Sine and cosine ------------------------------------------------------------------

VUTIL_API double KOR_Sin(double angle) noexcept { return rt::sine(angle); }

VUTIL_API double KOR_Cos(double angle) noexcept { return rt::cosine(angle); }

VUTIL_API void KOR_SinCos(double angle, double *sine, double *cosine) noexcept {
    *sine = rt::sine(angle);
    *cosine = rt::cosine(angle);
}

// ---- RC4 and hex text ------------------------------------------------------------------

VUTIL_API int32_t KOR_prepare_rc4key(const uint8_t *key, int32_t length) noexcept {
    std::span<const uint8_t> bytes;
    if (key != nullptr && length > 0) {
        bytes = {key, static_cast<std::size_t>(length)};
    }
    return rt::Rc4Slots::shared().prepare(bytes);
}

VUTIL_API void KOR_rc4(uint8_t *data, int32_t length, int32_t slot) noexcept {
    if (data != nullptr && length > 0) {
        rt::Rc4Slots::shared().apply({data, static_cast<std::size_t>(length)}, slot);
    }
}

VUTIL_API int32_t KOR_BinHex(const uint8_t *data, int32_t length, char *text) noexcept {
    if (text == nullptr) {
        return 0;
    }
    std::span<const uint8_t> bytes;
    if (data != nullptr && length > 0) {
        bytes = {data, static_cast<std::size_t>(length)};
    }
    return rt::bytesToHex(bytes, text);
}

VUTIL_API int32_t KOR_HexBin(const char *text, int32_t length, uint8_t *data) noexcept {
    if (text == nullptr || data == nullptr || length < 2) {
        return 0;
    }
    return rt::hexToBytes({text, static_cast<std::size_t>(length)}, data);
}

}  // extern "C"
