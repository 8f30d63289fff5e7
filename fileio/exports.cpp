// Exports of the file services: buffered files, byte order, record descriptors, foreign floats, coordinate readers,
// file names and file-system operations.
#include <cstdarg>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fileio/buffered_file.h"
#include "fileio/byte_order.h"
#include "fileio/coordinate_reader.h"
#include "fileio/file_names.h"
#include "fileio/file_system.h"
#include "fileio/foreign_float.h"
#include "fileio/record_descriptor.h"
#include "platform/file_system.h"
#include "runtime/strings.h"
#include "vutil/fileio.h"

namespace fio = vutil::fileio;

namespace {

/// The text areas of KORecvt and KORfcvt: one each, valid until that function's next call on the thread.
thread_local char ecvtArea[fio::kMaxConversionDigits + 1];
thread_local char fcvtArea[fio::kMaxConversionDigits + 1];

char *intoArea(char *area, const fio::DigitText &text, int32_t *decpt, int32_t *sign) noexcept {
    std::size_t length =
        text.digits.size() < fio::kMaxConversionDigits ? text.digits.size() : fio::kMaxConversionDigits;
    std::memcpy(area, text.digits.data(), length);
    area[length] = '\0';
    if (decpt != nullptr) {
        *decpt = text.decimalPoint;
    }
    if (sign != nullptr) {
        *sign = text.negative;
    }
    return area;
}

template <int Width>
int32_t readIntel(void *destination, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr && fio::readIntel<Width>(*file, destination) ? 1 : 0;
}

template <int Width>
int32_t readMotor(void *destination, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr && fio::readMotor<Width>(*file, destination) ? 1 : 0;
}

template <int Width>
int32_t writeIntel(int32_t handle, const void *source) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr && fio::writeIntel<Width>(*file, source) ? 1 : 0;
}

const char *orEmpty(const char *descriptor) noexcept {
    return descriptor != nullptr ? descriptor : "";
}

/// A caller's text, a null pointer read as an empty one.
std::string_view textOf(const char *text) noexcept {
    return text != nullptr ? std::string_view(text) : std::string_view();
}

/// Stores the path that `find` gives (a string, or an optional one) into a
/// caller's path buffer of 260 bytes: an empty text when it gives none, when
/// the path does not fit, or when memory runs out. True when a path was stored.
template <typename Find>
bool storeFound(char *out, Find find) noexcept {
    try {
        if (std::optional<std::string> found = find()) {
            return fio::storePath(out, *found);
        }
    } catch (...) {
        // no memory: as if nothing was found
    }
    out[0] = '\0';
    return false;
}

/// The process-wide area of KOR_GetNormalizedFName, made on first use. A text
/// that fits its capacity replaces the last one in place; an empty name frees it.
std::string *normalizedName = nullptr;

}  // namespace

extern "C" {

// ---- Buffered files --------------------------------------------------------
// Handles that are not open get the failure result of each operation.

VUTIL_API int32_t KorOpenFile(const char *name, int32_t *handle, uint32_t mode) noexcept {
    if (handle == nullptr) {
        return 0;
    }
    *handle = fio::openFile(name, mode);
    return *handle != 0 ? 1 : 0;
}

VUTIL_API int32_t KorCloseFile(int32_t handle) noexcept {
    return fio::closeFile(handle) ? 1 : 0;
}

VUTIL_API int32_t KorGetFileHandle(int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? file->hfile : 0;
}

VUTIL_API int32_t KorReadFile(void *dst, int32_t count, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::read(*file, dst, count) : 0;
}

VUTIL_API int32_t KorLReadFile(void *dst, int32_t count, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::readChunked(*file, dst, count) : 0;
}

VUTIL_API int32_t KorGetc(int32_t handle) noexcept {
    // The buffered case first: a free record never takes it (see anyRecord).
    if (fio::FileRecord *file = fio::anyRecord(handle); file != nullptr && file->next < file->end) [[likely]] {
        return fio::getc(*file);
    }
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::getcSlow(*file) : -1;
}

VUTIL_API int32_t KorUnGetc(int32_t c, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    if (file == nullptr) {
        return -1;
    }
    fio::seek(*file, -1, KOR_SEEK_CUR);
    return c;
}

VUTIL_API char *KorGets(char *dst, int32_t size, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr && dst != nullptr ? fio::gets(*file, dst, size) : nullptr;
}

VUTIL_API int32_t KorSeekFile(int32_t handle, int32_t offset, int32_t origin) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::seek(*file, offset, origin) : -1;
}

VUTIL_API int32_t KorEof(int32_t handle) noexcept {
    // A handle that is not open has nothing more to give: report the end, so
    // that loops waiting for it stop.
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? file->eof : 1;
}

VUTIL_API int32_t KorTellFile(int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? file->position() : -1;
}

VUTIL_API int32_t KorWriteFile(const void *src, int32_t count, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::write(*file, src, count) : 0;
}

VUTIL_API int32_t KorLWriteFile(const void *src, int32_t count, int32_t handle) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::writeChunked(*file, src, count) : 0;
}

VUTIL_API int32_t KorFPrintf(int32_t handle, const char *format, ...) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    if (file == nullptr) {
        return 0;
    }
    std::va_list arguments;
    va_start(arguments, format);
    int32_t written = fio::printFormatted(*file, format, arguments);
    va_end(arguments);
    return written;
}

// ---- Single values -----------------------------------------------------------

VUTIL_API int32_t KorReadIntelChar(uint8_t *dst, int32_t handle) noexcept {
    return readIntel<1>(dst, handle);
}
VUTIL_API int32_t KorReadMotorChar(uint8_t *dst, int32_t handle) noexcept {
    return readIntel<1>(dst, handle);
}
VUTIL_API int32_t KorReadIntelInt(int16_t *dst, int32_t handle) noexcept {
    return readIntel<2>(dst, handle);
}
VUTIL_API int32_t KorReadIntelLong(int32_t *dst, int32_t handle) noexcept {
    return readIntel<4>(dst, handle);
}
VUTIL_API int32_t KorReadIntelFloat(float *dst, int32_t handle) noexcept {
    return readIntel<4>(dst, handle);
}
VUTIL_API int32_t KorReadIntelDouble(double *dst, int32_t handle) noexcept {
    return readIntel<8>(dst, handle);
}
VUTIL_API int32_t KorReadMotorInt(int16_t *dst, int32_t handle) noexcept {
    return readMotor<2>(dst, handle);
}
VUTIL_API int32_t KorReadMotorLong(int32_t *dst, int32_t handle) noexcept {
    return readMotor<4>(dst, handle);
}
VUTIL_API int32_t KorReadMotorFloat(float *dst, int32_t handle) noexcept {
    return readMotor<4>(dst, handle);
}
VUTIL_API int32_t KorReadMotorDouble(double *dst, int32_t handle) noexcept {
    return readMotor<8>(dst, handle);
}

VUTIL_API int32_t KorWriteIntelChar(int32_t handle, int32_t value) noexcept {
    auto byte = static_cast<uint8_t>(value);
    return writeIntel<1>(handle, &byte);
}

VUTIL_API int32_t KorWriteIntelInt(int32_t handle, int32_t value) noexcept {
    auto half = static_cast<uint16_t>(value);
    return writeIntel<2>(handle, &half);
}

VUTIL_API int32_t KorWriteIntelLong(int32_t handle, int32_t value) noexcept {
    return writeIntel<4>(handle, &value);
}

VUTIL_API int32_t KorWriteIntelFloat(int32_t handle, float value) noexcept {
    return writeIntel<4>(handle, &value);
}

VUTIL_API int32_t KorWriteIntelDouble(int32_t handle, double value) noexcept {
    return writeIntel<8>(handle, &value);
}

VUTIL_API void memcpyIntelChar(void *dst, const void *src) noexcept {
    fio::copyIntel<1>(dst, src);
}
VUTIL_API void memcpyMotorChar(void *dst, const void *src) noexcept {
    fio::copyIntel<1>(dst, src);
}
VUTIL_API void memcpyIntelInt(void *dst, const void *src) noexcept {
    fio::copyIntel<2>(dst, src);
}
VUTIL_API void memcpyIntelLong(void *dst, const void *src) noexcept {
    fio::copyIntel<4>(dst, src);
}
VUTIL_API void memcpyIntelFloat(void *dst, const void *src) noexcept {
    fio::copyIntel<4>(dst, src);
}
VUTIL_API void memcpyIntelDouble(void *dst, const void *src) noexcept {
    fio::copyIntel<8>(dst, src);
}
VUTIL_API void memcpyMotorInt(void *dst, const void *src) noexcept {
    fio::copyMotor<2>(dst, src);
}
VUTIL_API void memcpyMotorLong(void *dst, const void *src) noexcept {
    fio::copyMotor<4>(dst, src);
}
VUTIL_API void memcpyMotorFloat(void *dst, const void *src) noexcept {
    fio::copyMotor<4>(dst, src);
}
VUTIL_API void memcpyMotorDouble(void *dst, const void *src) noexcept {
    fio::copyMotor<8>(dst, src);
}

// ---- Record descriptors ------------------------------------------------------

VUTIL_API int32_t KorReadIntelStruct(void *rec, uint32_t limit, int32_t handle, const char *descriptor) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::readRecord(*file, rec, limit, orEmpty(descriptor), false) : 0;
}

VUTIL_API int32_t KorWriteIntelStruct(int32_t handle, const void *rec, uint32_t limit,
                                      const char *descriptor) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::writeRecord(*file, rec, limit, orEmpty(descriptor)) : 0;
}

VUTIL_API int32_t KorReadMotorStruct(void *rec, uint32_t limit, int32_t handle, const char *descriptor) noexcept {
    fio::FileRecord *file = fio::openRecord(handle);
    return file != nullptr ? fio::readRecord(*file, rec, limit, orEmpty(descriptor), true) : 0;
}

VUTIL_API int32_t memcpyIntelStruct(void *rec, const void *image, uint32_t size, const char *descriptor) noexcept {
    return fio::unpackRecord(rec, image, size, orEmpty(descriptor), false) ? 1 : 0;
}

VUTIL_API int32_t memcpyMotorStruct(void *rec, const void *image, uint32_t size, const char *descriptor) noexcept {
    return fio::unpackRecord(rec, image, size, orEmpty(descriptor), true) ? 1 : 0;
}

// ---- Foreign floating-point formats -------------------------------------------

VUTIL_API int32_t _xdr_float_to_ieee(const void *vax, void *ieee) noexcept {
    return fio::vaxFToIeee(static_cast<const uint8_t *>(vax), static_cast<uint8_t *>(ieee)) ? 1 : 0;
}

VUTIL_API int32_t _xdr_ieee_to_float(void *vax, const void *ieee) noexcept {
    return fio::ieeeToVaxF(static_cast<uint8_t *>(vax), static_cast<const uint8_t *>(ieee)) ? 1 : 0;
}

VUTIL_API int32_t _xdr_double_to_ieee(const void *vax, void *ieee) noexcept {
    return fio::vaxDToIeee(static_cast<const uint8_t *>(vax), static_cast<uint8_t *>(ieee)) ? 1 : 0;
}

VUTIL_API int32_t _xdr_ieee_to_double(void *vax, const void *ieee) noexcept {
    return fio::ieeeToVaxD(static_cast<uint8_t *>(vax), static_cast<const uint8_t *>(ieee)) ? 1 : 0;
}

VUTIL_API double conv_d_dec(const void *vax) noexcept {
    uint8_t ieee[8];
    fio::vaxDToIeee(static_cast<const uint8_t *>(vax), ieee);
    double value;
    std::memcpy(&value, ieee, sizeof value);
    return value;
}

VUTIL_API uint32_t conv_dec_long(uint32_t value) noexcept {
    return fio::swapHalves(value);
}

VUTIL_API char *KORecvt(double value, int32_t digits, int32_t *decpt, int32_t *sign) noexcept {
    try {
        return intoArea(ecvtArea, fio::significantDigits(fio::throughVaxD(value), digits), decpt, sign);
    } catch (...) {
        return nullptr;
    }
}

VUTIL_API char *KORfcvt(double value, int32_t digits, int32_t *decpt, int32_t *sign) noexcept {
    try {
        return intoArea(fcvtArea, fio::fixedDigits(fio::throughVaxD(value), digits), decpt, sign);
    } catch (...) {
        return nullptr;
    }
}

VUTIL_API char *KORgcvt(double value, int32_t digits, char *text) noexcept {
    if (text == nullptr) {
        return nullptr;
    }
    try {
        std::string general = fio::generalText(fio::throughVaxD(value), digits);
        std::memcpy(text, general.c_str(), general.size() + 1);
    } catch (...) {
        text[0] = '\0';
    }
    return text;
}

// ---- Text coordinate readers ----------------------------------------------------

VUTIL_API int32_t read_lf_coord(const char *text, double *value) noexcept {
    return value == nullptr ? 0 : fio::readCoordinates(text, std::span<double>(value, 1));
}

// A pair read with an output missing reads nothing: 0, and the output given is 0.
VUTIL_API int32_t read_lf_coord_pair(const char *text, double *x, double *y) noexcept {
    double pair[2] = {0, 0};
    const int32_t found = x == nullptr || y == nullptr ? 0 : fio::readCoordinates(text, pair);
    if (x != nullptr) {
        *x = pair[0];
    }
    if (y != nullptr) {
        *y = pair[1];
    }
    return found;
}

VUTIL_API int32_t read_d_coord_pair(const char *text, int32_t *x, int32_t *y) noexcept {
    int32_t pair[2] = {0, 0};
    const int32_t found = x == nullptr || y == nullptr ? 0 : fio::readIntegerCoordinates(text, pair);
    if (x != nullptr) {
        *x = pair[0];
    }
    if (y != nullptr) {
        *y = pair[1];
    }
    return found;
}

VUTIL_API int32_t ReadNReals(int32_t n, const char *text, ...) noexcept {
    std::va_list arguments;
    va_start(arguments, text);
    int32_t result = 1;
    for (int32_t i = 0; i < n; ++i) {
        if (!fio::readNextReal(text, va_arg(arguments, double *))) {
            result = 0;
            break;
        }
    }
    va_end(arguments);
    return result;
}

VUTIL_API int32_t Read2Reals(const char *text, double *a, double *b) noexcept {
    double *const destinations[] = {a, b};
    return fio::readReals(text, destinations) ? 1 : 0;
}

VUTIL_API int32_t Read4Reals(const char *text, double *a, double *b, double *c, double *d) noexcept {
    double *const destinations[] = {a, b, c, d};
    return fio::readReals(text, destinations) ? 1 : 0;
}

// ---- File names and search paths ------------------------------------------------
// Results that do not fit a caller's path buffer of 260 bytes are not stored.

VUTIL_API void KORsplitpath(const char *path, char *drive, char *dir, char *name, char *ext) noexcept {
    fio::PathParts parts = fio::splitPath(textOf(path));
    if (drive != nullptr) {
        fio::storeComponent(drive, parts.drive, 3);
    }
    if (dir != nullptr) {
        fio::storeComponent(dir, parts.directory, fio::kMaxComponent);
    }
    if (name != nullptr) {
        fio::storeComponent(name, parts.name, fio::kMaxComponent);
    }
    if (ext != nullptr) {
        fio::storeComponent(ext, parts.extension, fio::kMaxComponent);
    }
}

VUTIL_API void KORmakepath(char *path, const char *drive, const char *dir, const char *name, const char *ext) noexcept {
    if (path != nullptr) {
        storeFound(path, [&] { return fio::makePath(textOf(drive), textOf(dir), textOf(name), textOf(ext)); });
    }
}

VUTIL_API int32_t extension(const char *path, const char *ext) noexcept {
    std::string own(fio::splitPath(textOf(path)).extension);
    return ext != nullptr && vutil::runtime::compareIgnoringCase(own.c_str(), ext) == 0 ? 1 : 0;
}

VUTIL_API char *KORsubstitute_dir(const char *dir_source, char *out, const char *name_source) noexcept {
    if (out == nullptr) {
        return nullptr;
    }
    storeFound(out, [&] {
        fio::PathParts place = fio::splitPath(textOf(dir_source));
        fio::PathParts file = fio::splitPath(textOf(name_source));
        return fio::makePath(place.drive, place.directory, file.name, file.extension);
    });
    return out;
}

VUTIL_API int32_t KOR_TranslatePath(char *path) noexcept {
    for (char *c = path; c != nullptr && *c != '\0'; ++c) {
        *c = *c == '/' ? '\\' : *c;
    }
    return 1;
}

VUTIL_API int32_t KOR_GetModuleFileName(char *out) noexcept {
    if (out == nullptr) {
        return 0;
    }
    // A longer name is cut, as the host's module-name query cuts it.
    try {
        fio::storeComponent(out, fio::moduleFileName(), fio::kMaxPath);
    } catch (...) {
        out[0] = '\0';
    }
    return 1;
}

VUTIL_API int32_t KOR_GetModuleDirFile(char *out, const char *name) noexcept {
    if (out == nullptr) {
        return 0;
    }
    storeFound(out, [&] { return fio::moduleDirFile(textOf(name)); });
    return 1;
}

VUTIL_API void KOR_GetDLLFileName(const char *base, char *out) noexcept {
    if (out != nullptr) {
        storeFound(out, [&] { return std::string(textOf(base)) + ".dll"; });
    }
}

VUTIL_API char *KOR_GetNormalizedFName(const char *name) noexcept {
    if (name == nullptr) {
        return nullptr;
    }
    if (*name == '\0') {
        delete normalizedName;
        normalizedName = nullptr;
        return nullptr;
    }
    try {
        std::string_view given(name);
        std::string normalized =
            fio::normalizeName(given, fio::isAbsoluteName(given) ? std::string() : fio::currentDirectory());
        if (normalizedName == nullptr) {
            normalizedName = new std::string;
        }
        *normalizedName = normalized;
        return normalizedName->data();
    } catch (...) {
        return nullptr;
    }
}

VUTIL_API int32_t get_xref_name(char *out, const char *referenced, const char *place1, const char *place2,
                                const void * /*unused*/, const char *ext) noexcept {
    if (out == nullptr) {
        return 0;
    }
    return storeFound(
               out, [&] { return fio::findReference(textOf(referenced), textOf(place1), textOf(place2), textOf(ext)); })
               ? 1
               : 0;
}

VUTIL_API int32_t GetFileAlias(uint32_t /*code*/, char *out) noexcept {
    if (out != nullptr) {
        out[0] = '\0';
    }
    return 0;
}

VUTIL_API void KORsearchenv(const char *file, const char *var, char *out) noexcept {
    if (out != nullptr) {
        storeFound(out, [&] { return fio::searchEnvironment(textOf(file), var); });
    }
}

VUTIL_API char *KORsearchpaths(const char *file, const char *directories, char *out) noexcept {
    if (out == nullptr) {
        return nullptr;
    }
    return storeFound(out, [&] { return fio::searchPaths(textOf(file), directories); }) ? out : nullptr;
}

// ---- File-system operations ------------------------------------------------------

VUTIL_API int32_t direct_f(const char *path) noexcept {
    return fio::kindOf(textOf(path));
}

VUTIL_API int32_t KorFileSize(const char *path) noexcept {
    return fio::fileSize(textOf(path));
}

VUTIL_API int32_t KorStat(const char *path, kor_stat *status) noexcept {
    return status != nullptr && fio::fileStatus(textOf(path), *status) ? 0 : -1;
}

VUTIL_API int32_t KorUnlink(const char *path) noexcept {
    return vutil::platform::removeFile(textOf(path)) ? 1 : 0;
}

VUTIL_API int32_t ChangeDirectory(const char *path) noexcept {
    return fio::changeDirectory(textOf(path));
}

VUTIL_API int32_t KORmakedir(const char *path) noexcept {
    return fio::makeDirectories(textOf(path)) ? 1 : 0;
}

VUTIL_API int32_t KorMakeTmpName(char *out) noexcept {
    if (out == nullptr) {
        return 0;
    }
    try {
        fio::storePath(out, fio::makeTemporaryName());
    } catch (...) {
        out[0] = '\0';
    }
    return 1;
}

VUTIL_API int32_t KorAppendFile(const char *destination, const char *source) noexcept {
    if (source == nullptr) {
        return 1;
    }
    return destination != nullptr && fio::appendFile(destination, source) ? 1 : 0;
}

}  // extern "C"
