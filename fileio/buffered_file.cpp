// Buffered file handles over the host file layer: the file table, reads, writes, lines and seeks.
#include "fileio/buffered_file.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/codepage.h"
#include "platform/file.h"

namespace vutil::fileio {

FileRecord gFiles[kMaxFiles + 1] = {};

namespace {

namespace pf = vutil::platform;

int32_t allocationFailures = 0;

uint8_t *allocateBuffer() noexcept {
    if (allocationFailures > 0) {
        --allocationFailures;
        return nullptr;
    }
    return new (std::nothrow) uint8_t[kBufferSize];
}

/// Hands the waiting bytes of a write-mode file to the host. Its result is not
/// looked at: a flush has nobody to report to, exactly like the flush on close.
void flushPending(FileRecord &file) noexcept {
    if (file.pending > 0) {
        pf::writeFile(file.hfile, file.buffer, file.pending);
        file.pending = 0;
    }
}

/// Bytes that end the plain copy loop of `gets`: LF, CR and the lead bytes of
/// the code page. One table per thread, rebuilt when the code page changes.
struct LineStops {
    uint32_t codePage;
    bool anyLeadByte;
    bool stop[256];
    bool lead[256];
};
thread_local LineStops lineStops = {};

/// The table of a code page without lead bytes: only LF and CR stop a run.
constexpr LineStops plainLineStops() noexcept {
    LineStops stops{};
    stops.stop[static_cast<uint8_t>('\n')] = true;
    stops.stop[static_cast<uint8_t>('\r')] = true;
    return stops;
}
constexpr LineStops kPlainLineStops = plainLineStops();

/// A code page found to have no lead bytes (in the low 32 bits, with bit 32 set), or 0:
/// lines in it are read with the plain table, without looking up this thread's own.
std::atomic<uint64_t> plainCodePage{0};
constexpr uint64_t kKnownPlain = uint64_t{1} << 32;

const LineStops &lineStopTable() noexcept {
    uint32_t codePage = pf::ansiCodePage();
    if (plainCodePage.load(std::memory_order_relaxed) == (kKnownPlain | codePage)) {
        return kPlainLineStops;
    }
    if (lineStops.codePage != codePage) {
        lineStops.anyLeadByte = false;
        for (int byte = 0; byte < 256; ++byte) {
            bool lead = pf::isLeadByte(static_cast<uint8_t>(byte));
            lineStops.lead[byte] = lead;
            lineStops.stop[byte] = byte == '\n' || byte == '\r' || lead;
            lineStops.anyLeadByte = lineStops.anyLeadByte || lead;
        }
        lineStops.codePage = codePage;
    }
    if (!lineStops.anyLeadByte) {
        // Whether a byte leads depends on the code page alone: any thread may use this.
        plainCodePage.store(kKnownPlain | codePage, std::memory_order_relaxed);
    }
    return lineStops;
}

/// Position of the first LF or CR among the eight bytes of `word` (in memory order), or 8.
int firstLineEnd(uint64_t word) noexcept {
    constexpr uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;
    const uint64_t lineFeeds = word ^ (kOnes * '\n'), carriageReturns = word ^ (kOnes * '\r');
    // A byte's high bit is set where the byte is zero, and possibly in bytes after a zero
    // byte: the lowest set bit is exact.
    const uint64_t zero = (((lineFeeds - kOnes) & ~lineFeeds) | ((carriageReturns - kOnes) & ~carriageReturns)) & kHighs;
    return zero == 0 ? 8 : std::countr_zero(zero) / 8;
}

/// Length of the run of plain bytes at the start of `from` (at most `span`).
int32_t plainRun(const uint8_t *from, int32_t span, const LineStops &stops) noexcept {
    int32_t k = 0;
    if (!stops.anyLeadByte && std::endian::native == std::endian::little) {
        // Only LF and CR end a run: most lines are short, so look at them eight bytes at a
        // time before calling on the library's search.
        for (; k + 8 <= span && k < 32; k += 8) {
            uint64_t word = 0;
            std::memcpy(&word, from + k, sizeof word);
            if (const int at = firstLineEnd(word); at < 8) {
                return k + at;
            }
        }
        const uint8_t *rest = from + k;
        const auto left = static_cast<std::size_t>(span - k);
        const auto *lineFeed = static_cast<const uint8_t *>(std::memchr(rest, '\n', left));
        const std::size_t run = lineFeed != nullptr ? static_cast<std::size_t>(lineFeed - rest) : left;
        const auto *carriageReturn = static_cast<const uint8_t *>(std::memchr(rest, '\r', run));
        return k + static_cast<int32_t>(carriageReturn != nullptr ? carriageReturn - rest : run);
    }
    while (k < span && !stops.stop[from[k]]) {
        ++k;
    }
    return k;
}

/// Steps back one byte, as KorUnGetc does.
void stepBack(FileRecord &file) noexcept {
    seek(file, -1, 1);
}

}  // namespace

void failBufferAllocations(int32_t count) noexcept {
    allocationFailures = count > 0 ? count : 0;
}

int32_t openFile(const char *name, uint32_t mode) noexcept {
    if (name == nullptr || *name == '\0') {
        return 0;
    }
    int32_t handle = 1;
    while (handle <= kMaxFiles && gFiles[handle].hfile != 0) {
        ++handle;
    }
    if (handle > kMaxFiles) {
        return 0;
    }
    if ((mode & kModeCreate) != 0 && !pf::createFile(name)) {
        return 0;
    }
    pf::FileAccess access = (mode & kModeWrite) != 0       ? pf::FileAccess::Write
                            : (mode & kModeReadWrite) != 0 ? pf::FileAccess::ReadWrite
                                                           : pf::FileAccess::Read;
    pf::FileSharing sharing = access == pf::FileAccess::Read ? pf::FileSharing::Shared : pf::FileSharing::Exclusive;
    int32_t hfile = pf::openFile(name, access, sharing);
    if (hfile <= 0) {
        return 0;
    }
    FileRecord &file = gFiles[handle];
    file = FileRecord{};
    file.hfile = hfile;
    file.mode = mode;
    file.buffer = allocateBuffer();
    file.bufferSize = kBufferSize;
    if (file.buffer == nullptr) {
        // Without its buffer the file still works, one byte at a time.
        file.buffer = file.spare;
        file.bufferSize = 1;
    }
    file.dropWindow();
    return handle;
}

bool closeFile(int32_t handle) noexcept {
    FileRecord *file = openRecord(handle);
    if (file == nullptr) {
        return false;
    }
    if (file->writeMode()) {
        flushPending(*file);
    }
    pf::closeFile(file->hfile);
    if (file->buffer != file->spare) {
        delete[] file->buffer;
    }
    *file = FileRecord{};
    return true;
}

int32_t readSlow(FileRecord &file, void *destination, int32_t count) noexcept {
    if (file.eof != 0 || count < 1) {
        return 0;
    }
    if (file.writeMode()) {
        // A write-only file has nothing to read; say so the way end of file does.
        file.eof = 1;
        return 0;
    }
    auto *out = static_cast<uint8_t *>(destination);
    int32_t delivered = 0;
    for (;;) {
        int32_t remaining = count - delivered;
        int32_t available = file.available();
        if (remaining <= available) {
            std::memcpy(out + delivered, file.next, static_cast<std::size_t>(remaining));
            file.next += remaining;
            return count;
        }
        if (available > 0) {
            std::memcpy(out + delivered, file.next, static_cast<std::size_t>(available));
            file.next = file.end;
            delivered += available;
        }
        int32_t got = pf::readFile(file.hfile, file.buffer, file.bufferSize);
        if (got < 1) {
            break;  // end of file and read errors end the transfer alike
        }
        file.origin = file.position();
        file.next = file.buffer;
        file.end = file.buffer + got;
    }
    if (delivered == 0) {
        file.eof = 1;  // the window is already used up
    }
    return delivered;
}

int32_t getcSlow(FileRecord &file) noexcept {
    uint8_t byte = 0;
    return readSlow(file, &byte, 1) == 1 ? byte : -1;
}

namespace {

/// Splits count bytes into chunks of kChunkSize, moves them one after another
/// with transfer, and stops after the first chunk that moves less than its size.
template <typename Byte, typename Transfer>
int32_t inChunks(Byte *bytes, int32_t count, Transfer transfer) noexcept {
    int32_t total = 0;
    while (count > 0) {
        const int32_t piece = count < kChunkSize ? count : kChunkSize;
        const int32_t moved = transfer(bytes + total, piece);
        total += moved;
        if (moved != piece) {
            break;
        }
        count -= piece;
    }
    return total;
}

}  // namespace

int32_t readChunked(FileRecord &file, void *destination, int32_t count) noexcept {
    return inChunks(static_cast<uint8_t *>(destination), count,
                    [&file](uint8_t *chunk, int32_t size) { return read(file, chunk, size); });
}

char *gets(FileRecord &file, char *destination, int32_t size) noexcept {
    if (size < 1) {
        return nullptr;
    }
    const LineStops &stops = lineStopTable();
    char *result = destination;
    int32_t i = 0;
    const int32_t last = size - 1;
    while (i < last) {
        // Plain bytes straight from the buffer: the same as taking them one by one.
        const int32_t span = std::min(file.available(), last - i);
        const uint8_t *from = file.next;
        int32_t k = span > 0 ? plainRun(from, span, stops) : 0;
        std::memcpy(destination + i, from, static_cast<std::size_t>(k));
        file.next += k;
        i += k;
        if (i >= last) {
            break;
        }

        int32_t c = getc(file);
        if (c < 0) {
            if (i == 0) {
                result = nullptr;
            }
            break;
        }
        destination[i] = static_cast<char>(c);
        if (stops.lead[c]) {
            int32_t trail = getc(file);
            if (trail < 0) {
                if (i == 0) {
                    result = nullptr;
                }
                break;  // the lone lead byte gives way to the terminator
            }
            if (i == size - 2) {
                // No room for both halves and the terminator: leave the whole
                // character for the next line.
                stepBack(file);
                stepBack(file);
                break;
            }
            destination[i + 1] = static_cast<char>(trail);
            i += 2;
            continue;
        }
        if (c == '\r') {
            int32_t next = getc(file);
            if (next < 0) {
                ++i;
                break;
            }
            if (next == '\n') {
                destination[i] = '\n';
                ++i;
                break;
            }
            stepBack(file);
            ++i;
            continue;
        }
        if (c == '\n') {
            ++i;
            break;
        }
        ++i;
    }
    destination[i] = '\0';
    return result;
}

int32_t seek(FileRecord &file, int32_t offset, int32_t whence) noexcept {
    const int32_t p = file.position();
    file.eof = 0;
    if (file.writeMode()) {
        flushPending(file);
    } else if (!file.readWriteMode() && (whence == 0 || whence == 1)) {
        int64_t distance = whence == 0 ? int64_t{offset} - p : int64_t{offset};
        if (distance == 0) {
            return p;
        }
        int64_t window = file.available();
        if ((distance > 0 && distance < window) || (distance < 0 && file.cursor() + distance >= 0)) {
            file.next += distance;
            return file.position();
        }
    }
    file.dropWindow();
    int64_t target = offset;
    pf::SeekOrigin from = pf::SeekOrigin::Start;
    if (whence == 1) {
        target = int64_t{p} + offset;
    } else if (whence == 2) {
        from = pf::SeekOrigin::End;
    } else if (whence != 0) {
        // The host knows no other origin; the seek fails as the host's would.
        file.origin = -1;
        return -1;
    }
    file.origin = pf::seekFile(file.hfile, target, from);
    return file.origin;
}

int32_t writeSlow(FileRecord &file, const void *source, int32_t count) noexcept {
    if (count < 1) {
        return 0;
    }
    if (file.writeMode()) {
        if (count < file.bufferSize - file.pending) {  // pending + count could pass 2^31
            std::memcpy(file.buffer + file.pending, source, static_cast<std::size_t>(count));
            file.pending += count;
            file.origin = advance(file.origin, count);
            return count;
        }
        flushPending(file);
        if (count > file.bufferSize) {
            int32_t written = pf::writeFile(file.hfile, source, count);
            if (written < 0) {
                return 0;
            }
            // A write cut short by a full disk reports what reached the file.
            file.origin = advance(file.origin, written);
            return written;
        }
        std::memcpy(file.buffer, source, static_cast<std::size_t>(count));
        file.pending = count;
        file.origin = advance(file.origin, count);
        return count;
    }
    int32_t written = pf::writeFile(file.hfile, source, count);
    if (written < 0) {
        return 0;
    }
    const int32_t p = file.position();
    file.dropWindow();
    file.origin = advance(p, written);
    return written;
}

int32_t writeChunked(FileRecord &file, const void *source, int32_t count) noexcept {
    return inChunks(static_cast<const uint8_t *>(source), count,
                    [&file](const uint8_t *chunk, int32_t size) { return write(file, chunk, size); });
}

int32_t printFormatted(FileRecord &file, const char *format, std::va_list arguments) noexcept {
    if (format == nullptr) {
        return 0;
    }
    char text[1024];
    std::va_list again;
    va_copy(again, arguments);
    int length = std::vsnprintf(text, sizeof text, format, arguments);
    int32_t result = 0;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof text) {
        result = write(file, text, length);
    } else if (length > 0) {
        // Longer text is formatted again into a block of its own size.
        char *large = new (std::nothrow) char[static_cast<std::size_t>(length) + 1];
        if (large != nullptr) {
            std::vsnprintf(large, static_cast<std::size_t>(length) + 1, format, again);
            result = write(file, large, length);
            delete[] large;
        }
    }
    va_end(again);
    return result;
}

}  // namespace vutil::fileio
