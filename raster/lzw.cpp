// Decoder of LZW streams in the Unix compress (.Z) format.
//
// The stream's rules (codes packed in groups of `width` bytes, a fresh group
// after every width change and CLEAR, short last groups, the table growing up
// to the width limit) are kept exactly. Speed comes from two caches beside the
// prefix and suffix tables: every entry also records its string's length,
// first byte and where in the output it last appeared, so a string is copied
// from the recent output instead of being walked back through its prefixes.
//
// Those caches are only sound while every entry below the next free code was
// defined from a shorter, earlier entry, which is how every stream made by an
// encoder looks. A damaged stream can break that (codes beyond the next free
// code, odd codes right after a CLEAR); from that point on the decoder falls
// back to walking the prefix and suffix tables through a bounded stack, which
// gives the same bytes for every stream and stops a chain that loops.
#include "raster/lzw.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "platform/memory.h"

namespace vutil::raster {
namespace {

constexpr int32_t kCodeCount = 1 << kLzwMaxWidth;
constexpr int32_t kLiterals = 256;
constexpr int32_t kClear = 256;
constexpr int32_t kFirstWidth = 9;
constexpr int32_t kFirstCeiling = (1 << kFirstWidth) - 1;
constexpr int32_t kNoCode = -1;

/// Longest string the fast path writes in one go: an entry chain below the
/// next free code, plus one byte for a code that defines itself.
constexpr std::size_t kLongestString = kCodeCount + 1;

/// Output buffer: decoded bytes collect here and go to the sink in large
/// chunks; after each hand-over the last `kHistoryBytes` stay as the history
/// that strings are copied from. The slack lets copies run in 16-byte steps.
constexpr std::size_t kHistoryBytes = 512 * 1024;
constexpr std::size_t kBufferBytes = 2 * 1024 * 1024;
constexpr std::size_t kCopySlack = 32;

/// The two work blocks: bytes (suffix, first byte, stack) and words (prefix,
/// length, last position), both zero-filled so that codes never assigned read
/// as the empty entry (prefix 0, suffix 0).
constexpr std::size_t kSuffixOffset = 0;
constexpr std::size_t kFirstOffset = kSuffixOffset + kCodeCount;
constexpr std::size_t kStackOffset = kFirstOffset + kCodeCount;
constexpr std::size_t kByteBlockBytes = kStackOffset + kLzwStackCapacity;
constexpr std::size_t kPrefixOffset = 0;
constexpr std::size_t kLengthOffset = kPrefixOffset + kCodeCount * sizeof(uint16_t);
constexpr std::size_t kWhereOffset = kLengthOffset + kCodeCount * sizeof(uint16_t);
constexpr std::size_t kWordBlockBytes = kWhereOffset + kCodeCount * sizeof(uint32_t);
constexpr uint32_t kTableFlags = platform::kGmemMoveable | platform::kGmemZeroInit;

inline uint32_t loadLittle32(const uint8_t *p) noexcept {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

/// Copies `n` bytes forward in 16-byte steps; `src + n <= dst` and both have slack behind.
inline void copyForward(uint8_t *dst, const uint8_t *src, std::size_t n) noexcept {
    for (;;) {
        uint8_t chunk[16];
        std::memcpy(chunk, src, 16);
        std::memcpy(dst, chunk, 16);
        if (n <= 16) {
            return;
        }
        n -= 16;
        src += 16;
        dst += 16;
    }
}

/// Reads codes group by group, with the stream's rules for widths and groups.
class CodeReader {
public:
    CodeReader(LzwSource &source, int32_t widthLimit) noexcept
        : source_(source), widthLimit_(widthLimit), tableLimit_(1 << widthLimit) {}

    int32_t tableLimit() const noexcept { return tableLimit_; }
    void clear() noexcept { clearPending_ = true; }

    /// The next code, or kNoCode at the end of the data.
    inline int32_t read(int32_t nextFree) noexcept {
        if (clearPending_ || bitOffset_ >= bitLimit_ || nextFree > ceiling_) [[unlikely]] {
            if (!refill(nextFree)) {
                return kNoCode;
            }
        }
        uint32_t word = loadLittle32(group_ + (bitOffset_ >> 3));
        auto code = static_cast<int32_t>((word >> (bitOffset_ & 7)) & ((1u << width_) - 1));
        bitOffset_ += width_;
        return code;
    }

private:
    bool refill(int32_t nextFree) noexcept {
        if (nextFree > ceiling_) {
            ++width_;
            ceiling_ = width_ == widthLimit_ ? tableLimit_ : (1 << width_) - 1;
        }
        if (clearPending_) {
            width_ = kFirstWidth;
            ceiling_ = kFirstCeiling;
            clearPending_ = false;
        }
        int32_t got = source_.read(std::span<uint8_t>(group_, static_cast<std::size_t>(width_)));
        if (got < 1) {
            return false;
        }
        got = std::min(got, width_);
        bitOffset_ = 0;
        bitLimit_ = 8 * got - (width_ - 1);
        // A last group of one byte cannot hold a whole code: the data ends there rather
        // than producing a code from bits that were never read.
        return bitLimit_ > 0;
    }

    LzwSource &source_;
    int32_t width_ = kFirstWidth;
    int32_t widthLimit_;
    int32_t tableLimit_;
    int32_t ceiling_ = kFirstCeiling;
    bool clearPending_ = false;
    int32_t bitOffset_ = 0;
    int32_t bitLimit_ = 0;
    /// One group (at most 16 bytes) and room for a 4-byte load at its last code.
    uint8_t group_[kLzwMaxWidth + 8] = {};
};

/// Decoded bytes on their way to the sink. Positions are counts of bytes
/// produced since the start, which never exceed the 32-bit signed limit.
class Output {
public:
    explicit Output(LzwSink *sink) noexcept : sink_(sink) {
        if (sink_ != nullptr) {
            buffer_.reset(new (std::nothrow) uint8_t[kBufferBytes + kCopySlack]);
        }
    }
    ~Output() { flush(); }
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    bool usable() const noexcept { return sink_ == nullptr || buffer_ != nullptr; }
    bool counting() const noexcept { return sink_ == nullptr; }

    /// Address of output position `at`; valid while it lies at or after `base()`.
    uint8_t *at(uint32_t position) noexcept { return buffer_.get() + (position - base_); }
    uint32_t base() const noexcept { return base_; }

    /// Makes room for `n` more bytes after position `end`, handing the bytes
    /// before it to the sink and keeping the recent history.
    void reserve(uint32_t end, std::size_t n) noexcept {
        if (end - base_ + n + kCopySlack <= kBufferBytes) [[likely]] {
            return;
        }
        handOver(end);
        std::size_t keep = std::min<std::size_t>(kHistoryBytes, end - base_);
        std::memmove(buffer_.get(), at(end - static_cast<uint32_t>(keep)), keep);
        base_ = end - static_cast<uint32_t>(keep);
    }

    /// Marks the bytes up to `end` as final.
    void commit(uint32_t end) noexcept { end_ = end; }

    void flush() noexcept { handOver(end_); }

private:
    void handOver(uint32_t end) noexcept {
        if (sink_ != nullptr && end > sent_) {
            sink_->write(std::span<const uint8_t>(at(sent_), end - sent_));
            sent_ = end;
        }
    }

    LzwSink *sink_;
    std::unique_ptr<uint8_t[]> buffer_;
    uint32_t base_ = 0;  ///< output position of buffer_[0]
    uint32_t sent_ = 0;  ///< bytes already handed to the sink
    uint32_t end_ = 0;   ///< bytes decoded and final
};

class Decoder {
public:
    Decoder(LzwSource &source, Output &output, uint8_t *bytes, uint8_t *words, int32_t widthLimit, bool blockMode,
            uint32_t maxBytes) noexcept
        : reader_(source, widthLimit),
          out_(output),
          suffix_(bytes + kSuffixOffset),
          first_(bytes + kFirstOffset),
          stack_(bytes + kStackOffset),
          prefix_(reinterpret_cast<uint16_t *>(words + kPrefixOffset)),
          length_(reinterpret_cast<uint16_t *>(words + kLengthOffset)),
          where_(reinterpret_cast<uint32_t *>(words + kWhereOffset)),
          blockMode_(blockMode),
          maxBytes_(maxBytes),
          nextFree_(blockMode ? kClear + 1 : kLiterals) {
        for (int32_t c = 0; c < kLiterals; ++c) {
            suffix_[c] = static_cast<uint8_t>(c);
            first_[c] = static_cast<uint8_t>(c);
            prefix_[c] = 0;
            length_[c] = 1;
        }
    }

    int32_t run() noexcept {
        int32_t code = reader_.read(nextFree_);
        if (code == kNoCode) {
            return 0;
        }
        prev_ = code;
        lastFirst_ = static_cast<uint8_t>(code);
        if (!out_.counting()) {
            out_.reserve(0, 1);
            *out_.at(0) = lastFirst_;
        }
        count_ = 1;
        out_.commit(count_);
        if (count_ >= maxBytes_) {
            return static_cast<int32_t>(count_);
        }
        if (code >= kLiterals) {
            runExact();
        } else if (out_.counting()) {
            runFast<false>();
        } else {
            runFast<true>();
        }
        out_.commit(count_);
        return static_cast<int32_t>(count_);
    }

private:
    /// Reads the code to decode next, handling CLEAR; kNoCode at the end.
    /// Sets `afterClear` when the code is the one that follows a CLEAR.
    inline int32_t nextCode(bool &afterClear) noexcept {
        int32_t code = reader_.read(nextFree_);
        afterClear = false;
        if (blockMode_ && code == kClear) {
            nextFree_ = kClear;
            reader_.clear();
            afterClear = true;
            code = reader_.read(nextFree_);
        }
        return code;
    }

    /// Decoding while every entry below the next free code is sound (see the
    /// file comment). Leaves for the exact walk at the first code that does
    /// not fit that picture.
    template <bool kWrite>
    void runFast() noexcept {
        const int32_t tableLimit = reader_.tableLimit();
        uint32_t prevAt = 0;  // where the previous code's string begins
        for (;;) {
            bool afterClear;
            int32_t code = nextCode(afterClear);
            if (code == kNoCode) {
                return;
            }
            if (code > nextFree_ || (code == nextFree_ && nextFree_ >= tableLimit) ||
                (afterClear && code >= kLiterals)) [[unlikely]] {
                if (stepExact(code)) {
                    runExact();
                }
                return;
            }
            const uint32_t at = count_;
            const uint8_t prevFirst = lastFirst_;
            std::size_t length;
            if (code < kLiterals) {
                length = 1;
                if constexpr (kWrite) {
                    out_.reserve(at, 1);
                    *out_.at(at) = static_cast<uint8_t>(code);
                }
                lastFirst_ = static_cast<uint8_t>(code);
            } else if (code < nextFree_) {
                length = length_[code];
                if constexpr (kWrite) {
                    out_.reserve(at, length);
                    uint8_t *dst = out_.at(at);
                    uint32_t from = where_[code];
                    if (from >= out_.base()) {
                        copyForward(dst, out_.at(from), length);
                    } else {
                        uint8_t *p = dst + length - 1;
                        int32_t c = code;
                        while (c >= kLiterals) {
                            *p-- = suffix_[c];
                            c = prefix_[c];
                        }
                        *p = static_cast<uint8_t>(c);
                    }
                    where_[code] = at;
                }
                lastFirst_ = first_[code];
            } else {
                // The code being defined right now: the previous string and its own first byte.
                std::size_t prevLength = length_[prev_];
                length = prevLength + 1;
                if constexpr (kWrite) {
                    out_.reserve(at, length);
                    uint8_t *dst = out_.at(at);
                    copyForward(dst, out_.at(prevAt), prevLength);
                    dst[prevLength] = prevFirst;
                }
            }
            if (length >= maxBytes_ - count_) {
                count_ = maxBytes_;
                return;
            }
            count_ += static_cast<uint32_t>(length);
            if constexpr (kWrite) {
                out_.commit(count_);
            }
            if (nextFree_ < tableLimit) {
                const int32_t entry = nextFree_++;
                prefix_[entry] = static_cast<uint16_t>(prev_);
                suffix_[entry] = lastFirst_;
                first_[entry] = prevFirst;
                length_[entry] = static_cast<uint16_t>(length_[prev_] + 1);
                where_[entry] = prevAt;
            }
            prev_ = code;
            prevAt = at;
        }
    }

    /// The plain decoding loop over the prefix and suffix tables.
    void runExact() noexcept {
        for (;;) {
            bool afterClear;
            int32_t code = nextCode(afterClear);
            if (code == kNoCode || !stepExact(code)) {
                return;
            }
        }
    }

    /// Decodes one code by walking its prefix chain onto the stack; false when
    /// decoding stops (byte limit reached, or a chain that never ends).
    bool stepExact(int32_t code) noexcept {
        const int32_t incoming = code;
        int32_t depth = 0;
        if (code >= nextFree_) {
            stack_[depth++] = lastFirst_;
            code = prev_;
        }
        while (code >= kLiterals) {
            if (depth >= kLzwStackCapacity - 1) {
                return false;
            }
            stack_[depth++] = suffix_[code];
            code = prefix_[code];
        }
        lastFirst_ = suffix_[code];
        stack_[depth++] = lastFirst_;

        bool stop = false;
        uint32_t n = static_cast<uint32_t>(depth);
        if (n >= maxBytes_ - count_) {
            n = maxBytes_ - count_;
            stop = true;
        }
        if (!out_.counting()) {
            out_.reserve(count_, n);
            uint8_t *dst = out_.at(count_);
            for (uint32_t i = 0; i < n; ++i) {
                dst[i] = stack_[depth - 1 - static_cast<int32_t>(i)];
            }
        }
        count_ += n;
        out_.commit(count_);
        if (stop) {
            return false;
        }
        if (nextFree_ < reader_.tableLimit()) {
            prefix_[nextFree_] = static_cast<uint16_t>(prev_);
            suffix_[nextFree_] = lastFirst_;
            ++nextFree_;
        }
        prev_ = incoming;
        return true;
    }

    CodeReader reader_;
    Output &out_;
    uint8_t *suffix_;
    uint8_t *first_;
    uint8_t *stack_;
    uint16_t *prefix_;
    uint16_t *length_;
    uint32_t *where_;
    bool blockMode_;
    uint32_t maxBytes_;
    int32_t nextFree_;
    int32_t prev_ = 0;
    uint8_t lastFirst_ = 0;
    uint32_t count_ = 0;
};

}  // namespace

int32_t lzwDecode(LzwSource &source, LzwSink *sink, int32_t maxBytes) noexcept {
    platform::LockedGlobal bytes(kTableFlags, kByteBlockBytes);
    if (!bytes) {
        return 0;
    }
    platform::LockedGlobal words(kTableFlags, kWordBlockBytes);
    if (!words) {
        return 0;
    }
    Output output(sink);
    if (!output.usable()) {
        return 0;
    }
    if (source.getByte() != kLzwMagic0 || source.getByte() != kLzwMagic1) {
        return 0;
    }
    int32_t flags = source.getByte();
    if (flags < 0 || (flags & kLzwWidthMask) > kLzwMaxWidth) {
        return 0;
    }
    uint32_t limit = maxBytes < 1 ? static_cast<uint32_t>(INT32_MAX) : static_cast<uint32_t>(maxBytes);
    Decoder decoder(source, output, static_cast<uint8_t *>(bytes.data()), static_cast<uint8_t *>(words.data()),
                    flags & kLzwWidthMask, (flags & kLzwBlockMode) != 0, limit);
    return decoder.run();
}

}  // namespace vutil::raster
