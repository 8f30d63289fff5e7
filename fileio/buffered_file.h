// Buffered file handles over the host file layer: the file table, reads, writes, lines and seeks.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/linkage.h"

namespace vutil::fileio {

inline constexpr int32_t kMaxFiles = 63;
inline constexpr int32_t kBufferSize = 16384;
/// Largest piece that the chunked transfers hand to one read or write.
inline constexpr int32_t kChunkSize = 32000;

inline constexpr uint32_t kModeWrite = 0x1;
inline constexpr uint32_t kModeReadWrite = 0x2;
inline constexpr uint32_t kModeCreate = 0x100;

/// One open file. In the read modes the valid bytes of the buffer run from
/// `buffer` to `end`, and `next` is the next one to hand out (the count and
/// cursor of the buffered window are `end - buffer` and `next - buffer`; the
/// pointers keep the character path short). A write-mode file keeps its waiting
/// bytes in `pending` and leaves the window empty, so that the read fast paths,
/// which only look at `next < end`, never see them; so does a free record.
/// The caller's position is `origin`, the position of the buffer's first byte,
/// plus the cursor: a buffered read moves only `next`.
struct alignas(64) FileRecord {
    int32_t hfile;  ///< host handle; 0 marks a free record
    uint32_t mode;  ///< the open mode as the caller gave it
    uint8_t *buffer;
    uint8_t *next;
    uint8_t *end;
    int32_t bufferSize;  ///< 16384, or 1 when the buffer could not be allocated
    int32_t pending;     ///< write mode: bytes in the buffer waiting to be written
    int32_t origin;      ///< the position as the caller sees it, less the cursor
    int32_t eof;         ///< 1 after a read that delivered nothing, until the next seek
    uint8_t spare[4];    ///< the first byte is the buffer when allocation failed

    int32_t cursor() const noexcept { return static_cast<int32_t>(next - buffer); }
    int32_t available() const noexcept { return static_cast<int32_t>(end - next); }
    /// Empties the buffered window (the next read refills it).
    void dropWindow() noexcept { next = end = buffer; }

    /// The position as the caller sees it (-1 after a failed seek).
    int32_t position() const noexcept {
        return static_cast<int32_t>(static_cast<uint32_t>(origin) + static_cast<uint32_t>(cursor()));
    }

    bool writeMode() const noexcept { return (mode & kModeWrite) != 0; }
    bool readWriteMode() const noexcept { return (mode & (kModeWrite | kModeReadWrite)) == kModeReadWrite; }
};

/// The process-wide table; index 0 is never used. It is constant-initialised
/// (all zero) so that it needs no constructor at load time.
extern FileRecord gFiles[kMaxFiles + 1] VUTIL_LOCAL;

/// The record of an open file, or null for a handle outside 1..63 or a free one.
inline FileRecord *openRecord(int32_t handle) noexcept {
    if (static_cast<uint32_t>(handle) - 1u >= static_cast<uint32_t>(kMaxFiles)) {
        return nullptr;
    }
    FileRecord *file = &gFiles[handle];
    return file->hfile != 0 ? file : nullptr;
}

/// The record behind a handle in 1..63, open or free. A free record has an
/// empty window and no pending bytes, so the buffered fast paths can run on it
/// unchecked and fall into the slow paths, which check.
inline FileRecord *anyRecord(int32_t handle) noexcept {
    return static_cast<uint32_t>(handle) - 1u < static_cast<uint32_t>(kMaxFiles) ? &gFiles[handle] : nullptr;
}

/// Adds to a position in 32-bit wrap-around arithmetic: positions of files of
/// 2 GiB and more are not meaningful, but they must not be undefined.
inline int32_t advance(int32_t position, int32_t by) noexcept {
    return static_cast<int32_t>(static_cast<uint32_t>(position) + static_cast<uint32_t>(by));
}

/// Opens a file (see KOR_OPEN_*); the handle, or 0 when it cannot be opened.
int32_t openFile(const char *name, uint32_t mode) noexcept;
/// Flushes a write-mode file, closes it and frees its record; false for a handle that is not open.
bool closeFile(int32_t handle) noexcept;

/// Reads when the buffer cannot serve the whole request: refills, end of file, errors.
int32_t readSlow(FileRecord &file, void *destination, int32_t count) noexcept;

/// Reads up to `count` bytes; the bytes delivered. Requests that the buffer can
/// serve are handled here, inline, without a call.
inline int32_t read(FileRecord &file, void *destination, int32_t count) noexcept {
    if (count > 0 && count <= file.available()) {
        std::memcpy(destination, file.next, static_cast<std::size_t>(count));
        file.next += count;
        return count;
    }
    return readSlow(file, destination, count);
}

/// The character read when the buffer is empty: refill, end of file or error.
int32_t getcSlow(FileRecord &file) noexcept;

/// The next byte as 0..255, or -1 when none could be read. The buffered case
/// stays a leaf without a stack frame; everything else is one tail call.
inline int32_t getc(FileRecord &file) noexcept {
    uint8_t *at = file.next;
    if (at < file.end) [[likely]] {
        file.next = at + 1;
        return *at;
    }
    return getcSlow(file);
}

/// Reads in pieces of at most 32000 bytes, stopping after the first short piece.
int32_t readChunked(FileRecord &file, void *destination, int32_t count) noexcept;

/// Reads a line into `destination` (at most size - 1 bytes and a terminator):
/// CR LF becomes LF, a lone CR stays, double-byte characters stay whole. Null at
/// end of file with nothing read, and for a size below 1 (nothing can be stored).
char *gets(FileRecord &file, char *destination, int32_t size) noexcept;

/// Moves the position (`whence` 0 start, 1 current, 2 end); the new position, or -1.
int32_t seek(FileRecord &file, int32_t offset, int32_t whence) noexcept;

/// Writes when the buffer cannot take the bytes, and in the other modes.
int32_t writeSlow(FileRecord &file, const void *source, int32_t count) noexcept;

/// Writes `count` bytes; the number accepted, 0 on failure or for a count below 1.
inline int32_t write(FileRecord &file, const void *source, int32_t count) noexcept {
    if (file.writeMode() && count > 0 && count < file.bufferSize - file.pending) {
        std::memcpy(file.buffer + file.pending, source, static_cast<std::size_t>(count));
        file.pending += count;
        file.origin = advance(file.origin, count);
        return count;
    }
    return writeSlow(file, source, count);
}

/// Writes in pieces of at most 32000 bytes, stopping after the first short piece.
int32_t writeChunked(FileRecord &file, const void *source, int32_t count) noexcept;

/// Writes formatted text of any length; the bytes written (0 for empty text or a format error).
int32_t printFormatted(FileRecord &file, const char *format, std::va_list arguments) noexcept;

/// Makes the next `count` buffer allocations fail, so that tests reach the
/// one-byte fallback buffer; 0 ends it.
void failBufferAllocations(int32_t count) noexcept;

}  // namespace vutil::fileio
