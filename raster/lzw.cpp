// Decoder of LZW streams in the Unix compress (.Z) format.
//
// The stream's rules (codes packed in groups of `width` bytes, a fresh group
// after every width change and CLEAR, short last groups, the table growing up
// to the width limit) are kept exactly. Speed comes from two caches beside the
// prefix and suffix tables: every entry also records its string's length,
// first byte and where in the output it last appeared, so a string is copied
// from the recent output instead of being walked back through its prefixes
// (one or two bytes come straight from the entry).
//
// A code beyond the next free code can only come from a damaged stream; like
// the compress tools, the decoder ends the data there.
//
// The caches are only sound while every entry below the next free code was
// defined from a shorter, earlier entry, which is how every stream made by an
// encoder looks. A damaged stream can still break that (a first code above
// 255, a code above 255 right after a CLEAR); from that point on the decoder
// falls back to walking the prefix and suffix tables through a bounded stack,
// which gives the same bytes for every stream and stops a chain that loops.
//
// In block mode every CLEAR starts the table over, including a CLEAR that
// directly follows another: an encoder may send it again before any other code,
// and the compress tools decode such streams in full.
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

/// Output buffer: decoded bytes collect here and go to the sink in large
/// chunks; after each hand-over the last `kHistoryBytes` stay as the history
/// that strings are copied from. The slack lets copies run in 16-byte steps.
constexpr std::size_t kHistoryBytes = std::size_t{256} * 1024;
constexpr std::size_t kBufferBytes = std::size_t{1024} * 1024;
constexpr std::size_t kCopySlack = 32;

/// One table entry: the prefix and suffix of the stream's rules, and the
/// caches of the fast path (the string's length and first byte).
struct Entry {
    uint16_t prefix;
    uint16_t length;
    uint8_t suffix;
    uint8_t first;
    uint16_t unused;
};
static_assert(sizeof(Entry) == 8);

/// The two work blocks, both zero-filled so that codes never assigned read as
/// the empty entry (prefix 0, suffix 0): the entries, and the last output
/// positions with the pending-byte stack of the exact walk.
constexpr std::size_t kEntryBlockBytes = kCodeCount * sizeof(Entry);
constexpr std::size_t kStackOffset = kCodeCount * sizeof(uint32_t);
constexpr std::size_t kWhereBlockBytes = kStackOffset + kLzwStackCapacity;
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

/// Where the reader stands in the code groups: small enough to live in
/// registers in the hot loop.
struct GroupState {
    int32_t width = kFirstWidth;
    int32_t ceiling = kFirstCeiling;
    int32_t offset = 0;  ///< bit offset in the group
    int32_t limit = 0;   ///< codes start below this bit offset
    bool clearPending = false;
};

/// Reads codes group by group, with the stream's rules for widths and groups.
class CodeReader {
public:
    CodeReader(LzwSource &source, int32_t widthLimit) noexcept
        : source_(source), widthLimit_(widthLimit), tableLimit_(1 << widthLimit) {}

    int32_t tableLimit() const noexcept { return tableLimit_; }

    /// The next code, or kNoCode at the end of the data.
    inline int32_t read(GroupState &state, int32_t nextFree) noexcept {
        if (state.clearPending || state.offset >= state.limit || nextFree > state.ceiling) [[unlikely]] {
            state = refill(state, nextFree);
            if (state.limit <= 0) {
                return kNoCode;
            }
        }
        const uint32_t word = loadLittle32(group_ + (state.offset >> 3));
        const auto code = static_cast<int32_t>((word >> (state.offset & 7)) & ((1u << state.width) - 1));
        state.offset += state.width;
        return code;
    }

private:
    /// Starts a fresh group (growing or resetting the width first); a limit
    /// of 0 or less at the end of the data.
    [[gnu::noinline]] GroupState refill(GroupState state, int32_t nextFree) noexcept {
        if (nextFree > state.ceiling) {
            ++state.width;
            state.ceiling = state.width == widthLimit_ ? tableLimit_ : (1 << state.width) - 1;
        }
        if (state.clearPending) {
            state.width = kFirstWidth;
            state.ceiling = kFirstCeiling;
            state.clearPending = false;
        }
        int32_t got = source_.read(std::span<uint8_t>(group_, static_cast<std::size_t>(state.width)));
        got = std::clamp(got, 0, state.width);
        state.offset = 0;
        // A last group of one byte cannot hold a whole code: the data ends there rather
        // than producing a code from bits that were never read.
        state.limit = got < 1 ? 0 : 8 * got - (state.width - 1);
        return state;
    }

    LzwSource &source_;
    int32_t widthLimit_;
    int32_t tableLimit_;
    /// One group (at most 16 bytes) and room for a 4-byte load at its last code.
    uint8_t group_[kLzwMaxWidth + 8] = {};
};

/// Decoded bytes on their way to the sink. Positions are counts of bytes
/// produced since the start, which never exceed the 32-bit signed limit.
class Output {
public:
    explicit Output(LzwSink *sink) noexcept : sink_(sink) {
        if (sink_ != nullptr) {
            // Zero-filled, so that the 16-byte copies never read bytes that were not written.
            buffer_.reset(new (std::nothrow) uint8_t[kBufferBytes + kCopySlack]());
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

    uint8_t *buffer() noexcept { return buffer_.get(); }

    /// True when `n` more bytes fit after position `end`.
    static bool fits(uint32_t base, uint32_t end, std::size_t n) noexcept {
        return end - base + n + kCopySlack <= kBufferBytes;
    }

    /// Makes room for `n` more bytes after position `end`, handing the bytes
    /// before it to the sink and keeping the recent history.
    void reserve(uint32_t end, std::size_t n) noexcept {
        if (!fits(base_, end, n)) [[unlikely]] {
            makeRoom(end);
        }
    }

    [[gnu::noinline]] void makeRoom(uint32_t end) noexcept {
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
    Decoder(LzwSource &source, Output &output, Entry *entries, uint8_t *whereBlock, int32_t widthLimit, bool blockMode,
            uint32_t maxBytes) noexcept
        : reader_(source, widthLimit),
          out_(output),
          entries_(entries),
          where_(reinterpret_cast<uint32_t *>(whereBlock)),
          stack_(whereBlock + kStackOffset),
          blockMode_(blockMode),
          maxBytes_(maxBytes),
          nextFree_(blockMode ? kClear + 1 : kLiterals) {
        for (int32_t c = 0; c < kLiterals; ++c) {
            entries_[c] = {0, 1, static_cast<uint8_t>(c), static_cast<uint8_t>(c), 0};
        }
    }

    int32_t run() noexcept {
        int32_t code = reader_.read(bits_, nextFree_);
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
    /// Decoding while every entry below the next free code is sound (see the
    /// file comment). Leaves for the exact walk at the first code that does
    /// not fit that picture: a code beyond the one being defined, the code being
    /// defined when the table is full, or a code above 255 right after a CLEAR.
    ///
    /// The state lives in locals here: the byte stores into the output could
    /// otherwise alias the members and force them to be reloaded all the time.
    template <bool kWrite>
    void runFast() noexcept {
        const int32_t tableLimit = reader_.tableLimit();
        const int32_t clearCode = blockMode_ ? kClear : kCodeCount;  // the latter is never read
        const uint32_t maxBytes = maxBytes_;
        Entry *const entries = entries_;
        uint32_t *const where = where_;
        GroupState bits = bits_;
        int32_t nextFree = nextFree_;
        int32_t prev = prev_;
        uint8_t lastFirst = lastFirst_;
        uint32_t count = count_;
        uint32_t prevAt = 0;      // where the previous code's string begins
        uint32_t prevLength = 1;  // and its length
        uint8_t *buffer = kWrite ? out_.buffer() : nullptr;
        uint32_t base = out_.base();

        auto save = [&] {
            bits_ = bits;
            nextFree_ = nextFree;
            prev_ = prev;
            lastFirst_ = lastFirst;
            count_ = count;
        };
        auto leaveForExactWalk = [&](int32_t code) {
            save();
            if (stepExact(code)) {
                runExact();
            }
        };
        for (;;) {
            int32_t code = reader_.read(bits, nextFree);
            uint32_t length;
            uint8_t first;
            // One test catches the end of the data (-1), CLEAR and every code not yet defined.
            if (static_cast<uint32_t>(code) >= static_cast<uint32_t>(nextFree) || code == clearCode) [[unlikely]] {
                if (code == clearCode) {
                    // A CLEAR right after a CLEAR is another CLEAR, as the compress tools read it.
                    do {
                        nextFree = kClear;
                        bits.clearPending = true;
                        code = reader_.read(bits, nextFree);
                    } while (code == clearCode);
                    if (code >= kLiterals) {
                        return leaveForExactWalk(code);
                    }
                }
                if (code < 0) {
                    return save();
                }
                if (code > nextFree) {
                    return save();
                }
                if (code == nextFree && nextFree >= tableLimit) {
                    return leaveForExactWalk(code);
                }
            }
            const uint32_t at = count;
            if (kWrite && !Output::fits(base, at, kCodeCount + 1)) [[unlikely]] {
                out_.makeRoom(at);
                buffer = out_.buffer();
                base = out_.base();
            }
            if (code < nextFree) [[likely]] {
                const Entry entry = entries[code];
                length = entry.length;
                first = entry.first;
                if constexpr (kWrite) {
                    uint8_t *dst = buffer + (at - base);
                    if (length <= 2) {
                        // A literal or a pair: both bytes are in the entry itself.
                        dst[0] = entry.first;
                        dst[length - 1] = entry.suffix;
                    } else {
                        const uint32_t from = where[code];
                        if (from >= base) [[likely]] {
                            copyForward(dst, buffer + (from - base), length);
                        } else {
                            walkInto(dst + length - 1, code);
                        }
                        where[code] = at;
                    }
                }
            } else {
                // The code being defined right now: the previous string and its own first byte.
                length = prevLength + 1;
                first = lastFirst;
                if constexpr (kWrite) {
                    uint8_t *dst = buffer + (at - base);
                    copyForward(dst, buffer + (prevAt - base), prevLength);
                    dst[prevLength] = first;
                }
            }
            if (length >= maxBytes - at) {
                count = maxBytes;
                return save();
            }
            count = at + length;
            if (nextFree < tableLimit) {
                entries[nextFree] = {static_cast<uint16_t>(prev), static_cast<uint16_t>(prevLength + 1), first,
                                     lastFirst, 0};
                if constexpr (kWrite) {
                    where[nextFree] = prevAt;
                }
                ++nextFree;
            }
            lastFirst = first;
            prev = code;
            prevAt = at;
            prevLength = length;
        }
    }

    /// Writes a code's string backwards from `last` by walking its prefixes.
    void walkInto(uint8_t *last, int32_t code) const noexcept {
        while (code >= kLiterals) {
            const Entry &entry = entries_[code];
            *last-- = entry.suffix;
            code = entry.prefix;
        }
        *last = static_cast<uint8_t>(code);
    }

    /// The plain decoding loop over the prefix and suffix tables.
    void runExact() noexcept {
        const int32_t clearCode = blockMode_ ? kClear : kCodeCount;
        for (;;) {
            int32_t code = reader_.read(bits_, nextFree_);
            while (code == clearCode) {
                nextFree_ = kClear;
                bits_.clearPending = true;
                code = reader_.read(bits_, nextFree_);
            }
            if (code == kNoCode || !stepExact(code)) {
                return;
            }
        }
    }

    /// Decodes one code by walking its prefix chain onto the stack; false when
    /// decoding stops (byte limit reached, a code beyond the next free code, or
    /// a chain that never ends).
    bool stepExact(int32_t code) noexcept {
        if (code > nextFree_) {
            return false;  // damaged: a code that is not defined yet
        }
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
            stack_[depth++] = entries_[code].suffix;
            code = entries_[code].prefix;
        }
        lastFirst_ = entries_[code].suffix;
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
            entries_[nextFree_].prefix = static_cast<uint16_t>(prev_);
            entries_[nextFree_].suffix = lastFirst_;
            ++nextFree_;
        }
        prev_ = incoming;
        return true;
    }

    CodeReader reader_;
    GroupState bits_;
    Output &out_;
    Entry *entries_;
    uint32_t *where_;
    uint8_t *stack_;
    bool blockMode_;
    uint32_t maxBytes_;
    int32_t nextFree_;
    int32_t prev_ = 0;
    uint8_t lastFirst_ = 0;
    uint32_t count_ = 0;
};

}  // namespace

int32_t lzwDecode(LzwSource &source, LzwSink *sink, int32_t maxBytes) noexcept {
    platform::LockedGlobal entries(kTableFlags, kEntryBlockBytes);
    if (!entries) {
        return 0;
    }
    platform::LockedGlobal positions(kTableFlags, kWhereBlockBytes);
    if (!positions) {
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
    Decoder decoder(source, output, static_cast<Entry *>(entries.data()), static_cast<uint8_t *>(positions.data()),
                    flags & kLzwWidthMask, (flags & kLzwBlockMode) != 0, limit);
    return decoder.run();
}

}  // namespace vutil::raster
