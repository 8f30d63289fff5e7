// Record descriptors: moving whole records between packed files or images and aligned memory records.
#pragma once

#include <cstdint>
#include <string_view>

#include "fileio/buffered_file.h"

namespace vutil::fileio {

/// Longest descriptor text that is looked at; characters after it are ignored.
inline constexpr std::size_t kMaxDescriptorLength = 511;
/// A descriptor of 511 characters holds at most this many items.
inline constexpr std::size_t kMaxDescriptorItems = 256;

/// One item of a descriptor: an upper-case type letter (C, I, L, D or P) and its repeat count.
struct DescriptorItem {
    char letter;
    int32_t count;
};

/// A descriptor cut into items, up to (not including) the first item that does
/// not start with a type letter.
struct Descriptor {
    DescriptorItem items[kMaxDescriptorItems];
    uint32_t size;
};

/// Cuts a descriptor text into items with a private tokenizer (separators space,
/// comma and semicolon), so that callers may be tokenizing their own text meanwhile.
void parseDescriptor(std::string_view text, Descriptor &descriptor) noexcept;

/// The five ways a descriptor is applied; they differ in the limit test and the result.
enum class RecordOperation : uint8_t { ReadIntel, WriteIntel, ReadMotor, MemoryIntel, MemoryMotor };

/// One run of elements that the walk accepted: `count` elements of `width`
/// bytes at memory offset `offset`.
struct FieldRun {
    uint32_t offset;
    uint32_t width;
    uint32_t count;
};

/// Where the elements of a record go in memory, for one operation and limit.
struct RecordLayout {
    FieldRun runs[kMaxDescriptorItems];
    uint32_t runCount;
    uint32_t memoryEnd;    ///< memory offset after the last accepted item
    uint64_t packedBytes;  ///< bytes on the packed side; past 32 bits when a record is 4 GiB or more
    uint32_t alignment;    ///< largest alignment of the accepted I, L and D items, at least 1
    bool packed;           ///< a leading P1 switched alignment off
    /// The memory offset rounded up to `alignment` (not rounded when packed).
    uint32_t naturalSize() const noexcept;
};

/// Walks a descriptor: applies the operation's limit test, the alignment rule
/// and the packing directive, and lists the runs that are moved.
void layoutRecord(const Descriptor &descriptor, RecordOperation operation, uint32_t limit,
                  RecordLayout &layout) noexcept;

/// The layout of `text` for an operation and limit, from a small per-thread
/// cache of recently used descriptors (format readers use a handful of constant
/// descriptors over and over). The cache is keyed by the text itself, so a
/// descriptor edited in place is parsed again.
const RecordLayout &cachedLayout(const char *text, RecordOperation operation, uint32_t limit) noexcept;

/// Reads a packed record from a file into an aligned memory record; the file
/// bytes moved (Intel) or the natural size (Motor), 0 when an element could not be read.
int32_t readRecord(FileRecord &file, void *record, uint32_t limit, const char *descriptor, bool motor) noexcept;

/// Writes a memory record to a file as a packed little-endian record; the bytes
/// moved, 0 when an element was not accepted.
int32_t writeRecord(FileRecord &file, const void *record, uint32_t limit, const char *descriptor) noexcept;

/// Unpacks a packed image into an aligned memory record; true when the layout's
/// size equals `size`.
bool unpackRecord(void *record, const void *image, uint32_t size, const char *descriptor, bool motor) noexcept;

}  // namespace vutil::fileio
