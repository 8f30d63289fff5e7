// Record descriptors: moving whole records between packed files or images and aligned memory records.
#include "fileio/record_descriptor.h"

#include <climits>

#include "fileio/byte_order.h"

namespace vutil::fileio {
namespace {

bool isSeparator(char c) noexcept {
    return c == ' ' || c == ',' || c == ';';
}

bool isSpace(char c) noexcept {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

/// The repeat count: white space, a sign and digits, as the C library's atoi
/// reads them; anything after the digits is ignored, no digits give 0, and
/// values beyond 32 bits stick at the limit instead of overflowing.
int32_t parseCount(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > int64_t{INT32_MAX} + 1) {
            value = int64_t{INT32_MAX} + 1;
        }
    }
    if (negative) {
        return static_cast<int32_t>(-value);
    }
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

uint32_t elementWidth(char letter) noexcept {
    switch (letter) {
        case 'C':
            return 1;
        case 'I':
            return 2;
        case 'L':
            return 4;
        case 'D':
            return 8;
        default:
            return 0;
    }
}

uint32_t roundUp(uint32_t offset, uint32_t alignment) noexcept {
    return (offset + alignment - 1) & ~(alignment - 1);
}

/// The per-thread cache: each entry keeps a descriptor's items and the layout
/// last computed from them.
struct DescriptorCache {
    static constexpr int kEntries = 4;
    struct Entry {
        char text[kMaxDescriptorLength + 1];
        Descriptor descriptor;
        bool hasLayout;
        RecordOperation operation;
        uint32_t limit;
        RecordLayout layout;
    };
    Entry entries[kEntries];
    int used;
    int next;
    int last;  ///< the entry that answered the previous look-up, tried first
};
thread_local DescriptorCache cache;

/// True when a descriptor text, cut at 511 characters, equals a cached one.
bool sameText(const char *cached, const char *text) noexcept {
    return std::strncmp(cached, text, kMaxDescriptorLength) == 0;
}

DescriptorCache::Entry &cachedEntry(const char *text) noexcept {
    DescriptorCache &c = cache;
    if (c.used > 0 && sameText(c.entries[c.last].text, text)) {
        return c.entries[c.last];
    }
    for (int i = 0; i < c.used; ++i) {
        if (sameText(c.entries[i].text, text)) {
            c.last = i;
            return c.entries[i];
        }
    }
    int slot = c.next;
    c.next = (c.next + 1) % DescriptorCache::kEntries;
    if (c.used < DescriptorCache::kEntries) {
        ++c.used;
    }
    DescriptorCache::Entry &entry = c.entries[slot];
    std::size_t length = 0;
    while (length < kMaxDescriptorLength && text[length] != '\0') {
        entry.text[length] = text[length];
        ++length;
    }
    entry.text[length] = '\0';
    parseDescriptor(std::string_view(entry.text, length), entry.descriptor);
    entry.hasLayout = false;
    c.last = slot;
    return entry;
}

template <int Width, bool Motor>
bool readElements(FileRecord &file, uint8_t *to, uint32_t count) noexcept {
    for (uint32_t k = 0; k < count; ++k, to += Width) {
        if (!(Motor ? readMotor<Width>(file, to) : readIntel<Width>(file, to))) {
            return false;
        }
    }
    return true;
}

template <bool Motor>
bool readRun(FileRecord &file, uint8_t *to, const FieldRun &run) noexcept {
    switch (run.width) {
        case 1:
            return readElements<1, false>(file, to, run.count);
        case 2:
            return readElements<2, Motor>(file, to, run.count);
        case 4:
            return readElements<4, Motor>(file, to, run.count);
        default:
            return readElements<8, Motor>(file, to, run.count);
    }
}

template <int Width>
void swapElements(uint8_t *to, const uint8_t *from, uint32_t count) noexcept {
    for (uint32_t k = 0; k < count; ++k, to += Width, from += Width) {
        copyMotor<Width>(to, from);
    }
}

/// Places one run of a packed image in memory, reversing the bytes of each element for Motor order.
void unpackRun(uint8_t *to, const uint8_t *from, const FieldRun &run, bool motor) noexcept {
    if (!motor || run.width == 1) {
        std::memcpy(to, from, static_cast<std::size_t>(run.width) * run.count);
        return;
    }
    switch (run.width) {
        case 2:
            swapElements<2>(to, from, run.count);
            break;
        case 4:
            swapElements<4>(to, from, run.count);
            break;
        default:
            swapElements<8>(to, from, run.count);
            break;
    }
}

}  // namespace

uint32_t RecordLayout::naturalSize() const noexcept {
    return packed ? memoryEnd : roundUp(memoryEnd, alignment);
}

void parseDescriptor(std::string_view text, Descriptor &descriptor) noexcept {
    text = text.substr(0, kMaxDescriptorLength);  // longer descriptors are cut
    descriptor.size = 0;
    std::size_t i = 0;
    while (descriptor.size < kMaxDescriptorItems) {
        while (i < text.size() && isSeparator(text[i])) {
            ++i;
        }
        if (i == text.size()) {
            return;
        }
        std::size_t start = i;
        while (i < text.size() && !isSeparator(text[i])) {
            ++i;
        }
        char letter = text[start];
        if (letter >= 'a' && letter <= 'z') {
            letter = static_cast<char>(letter - 'a' + 'A');
        }
        if (letter != 'P' && elementWidth(letter) == 0) {
            return;  // anything else ends the descriptor
        }
        descriptor.items[descriptor.size++] = {letter, parseCount(text.substr(start + 1, i - start - 1))};
    }
}

void layoutRecord(const Descriptor &descriptor, RecordOperation operation, uint32_t limit,
                  RecordLayout &layout) noexcept {
    layout.runCount = 0;
    layout.memoryEnd = 0;
    layout.packedBytes = 0;
    layout.alignment = 1;
    layout.packed = false;
    const bool memory = operation == RecordOperation::MemoryIntel || operation == RecordOperation::MemoryMotor;
    for (uint32_t i = 0; i < descriptor.size; ++i) {
        const DescriptorItem &item = descriptor.items[i];
        if (item.letter == 'P') {
            if (operation == RecordOperation::ReadMotor) {
                break;
            }
            if (item.count == 1 && layout.memoryEnd == 0) {
                layout.packed = true;
            }
            continue;
        }
        if (item.count < 0) {
            // A negative count would move the offsets backwards, in front of the record.
            break;
        }
        const uint32_t count = static_cast<uint32_t>(item.count);
        const uint32_t width = elementWidth(item.letter);
        const bool alignFirst = memory && width >= 4;
        if (!alignFirst) {
            // The limit test adds in 32 bits, whatever the total has grown to.
            uint32_t measured = operation == RecordOperation::ReadIntel || operation == RecordOperation::WriteIntel
                                    ? static_cast<uint32_t>(layout.packedBytes)
                                    : layout.memoryEnd;
            if (count + measured > limit) {
                break;
            }
        }
        if (!layout.packed) {
            layout.memoryEnd = roundUp(layout.memoryEnd, width);
            layout.alignment = width > layout.alignment ? width : layout.alignment;
        }
        if (alignFirst && count + layout.memoryEnd > limit) {
            break;
        }
        if (count > 0) {
            layout.runs[layout.runCount++] = {layout.memoryEnd, width, count};
        }
        layout.memoryEnd += width * count;
        layout.packedBytes += uint64_t{width} * count;
    }
}

const RecordLayout &cachedLayout(const char *text, RecordOperation operation, uint32_t limit) noexcept {
    DescriptorCache::Entry &entry = cachedEntry(text);
    if (!entry.hasLayout || entry.operation != operation || entry.limit != limit) {
        layoutRecord(entry.descriptor, operation, limit, entry.layout);
        entry.operation = operation;
        entry.limit = limit;
        entry.hasLayout = true;
    }
    return entry.layout;
}

int32_t readRecord(FileRecord &file, void *record, uint32_t limit, const char *descriptor, bool motor) noexcept {
    const RecordLayout &layout =
        cachedLayout(descriptor, motor ? RecordOperation::ReadMotor : RecordOperation::ReadIntel, limit);
    auto *base = static_cast<uint8_t *>(record);
    const uint64_t bytes = layout.packedBytes;
    if (static_cast<uint64_t>(file.available()) >= bytes) {
        // The whole record is in the buffer: no element can fail, so it can be
        // taken in one piece with the same effect as element by element.
        const uint8_t *from = file.next;
        for (uint32_t i = 0; i < layout.runCount; ++i) {
            const FieldRun &run = layout.runs[i];
            unpackRun(base + run.offset, from, run, motor);
            from += static_cast<std::size_t>(run.width) * run.count;
        }
        file.next += bytes;
    } else {
        for (uint32_t i = 0; i < layout.runCount; ++i) {
            const FieldRun &run = layout.runs[i];
            if (!(motor ? readRun<true>(file, base + run.offset, run) : readRun<false>(file, base + run.offset, run))) {
                return 0;
            }
        }
    }
    return motor ? static_cast<int32_t>(roundUp(layout.memoryEnd, layout.alignment)) : static_cast<int32_t>(bytes);
}

int32_t writeRecord(FileRecord &file, const void *record, uint32_t limit, const char *descriptor) noexcept {
    const RecordLayout &layout = cachedLayout(descriptor, RecordOperation::WriteIntel, limit);
    const auto *base = static_cast<const uint8_t *>(record);
    const uint64_t bytes = layout.packedBytes;
    if (file.writeMode() && bytes < static_cast<uint64_t>(file.bufferSize - file.pending)) {
        // Every element would be appended to the buffer: gather them there at once.
        uint8_t *to = file.buffer + file.pending;
        for (uint32_t i = 0; i < layout.runCount; ++i) {
            const FieldRun &run = layout.runs[i];
            std::size_t size = static_cast<std::size_t>(run.width) * run.count;
            std::memcpy(to, base + run.offset, size);
            to += size;
        }
        file.pending += static_cast<int32_t>(bytes);
        file.origin = advance(file.origin, static_cast<int32_t>(bytes));
        return static_cast<int32_t>(bytes);
    }
    for (uint32_t i = 0; i < layout.runCount; ++i) {
        const FieldRun &run = layout.runs[i];
        const uint8_t *from = base + run.offset;
        for (uint32_t k = 0; k < run.count; ++k, from += run.width) {
            if (write(file, from, static_cast<int32_t>(run.width)) != static_cast<int32_t>(run.width)) {
                return 0;
            }
        }
    }
    return static_cast<int32_t>(bytes);
}

bool unpackRecord(void *record, const void *image, uint32_t size, const char *descriptor, bool motor) noexcept {
    const RecordLayout &layout =
        cachedLayout(descriptor, motor ? RecordOperation::MemoryMotor : RecordOperation::MemoryIntel, size);
    auto *base = static_cast<uint8_t *>(record);
    const auto *from = static_cast<const uint8_t *>(image);
    for (uint32_t i = 0; i < layout.runCount; ++i) {
        const FieldRun &run = layout.runs[i];
        unpackRun(base + run.offset, from, run, motor);
        from += static_cast<std::size_t>(run.width) * run.count;
    }
    return layout.naturalSize() == size;
}

}  // namespace vutil::fileio
