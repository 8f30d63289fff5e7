// Test helpers for the LZW decoder: in-memory ends, a small encoder and a plain reference decoder.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "raster/lzw.h"

namespace vutil::test {

using Bytes = std::vector<uint8_t>;

/// Serves a byte vector the way the buffered files would.
class MemorySource final : public raster::LzwSource {
public:
    explicit MemorySource(const Bytes &data) : data_(data) {}
    int32_t getByte() noexcept override { return at_ < data_.size() ? data_[at_++] : -1; }
    int32_t read(std::span<uint8_t> group) noexcept override {
        std::size_t n = std::min(group.size(), data_.size() - at_);
        std::memcpy(group.data(), data_.data() + at_, n);
        at_ += n;
        return static_cast<int32_t>(n);
    }
    std::size_t consumed() const { return at_; }

private:
    const Bytes &data_;
    std::size_t at_ = 0;
};

class VectorSink final : public raster::LzwSink {
public:
    void write(std::span<const uint8_t> bytes) noexcept override {
        data.insert(data.end(), bytes.begin(), bytes.end());
    }
    Bytes data;
};

/// Result of a decode: the count returned and the bytes written.
struct Decoded {
    int32_t count;
    Bytes bytes;
    bool operator==(const Decoded &) const = default;
};

inline Decoded decodeWithLibrary(const Bytes &stream, int32_t maxBytes = 0) {
    MemorySource source(stream);
    VectorSink sink;
    int32_t count = raster::lzwDecode(source, &sink, maxBytes);
    return {count, std::move(sink.data)};
}

inline int32_t countWithLibrary(const Bytes &stream, int32_t maxBytes = 0) {
    MemorySource source(stream);
    return raster::lzwDecode(source, nullptr, maxBytes);
}

/// The decoding rules written out plainly, one code and one byte at a time, with the
/// zero-filled tables and the bounded stack; the library's decoder must agree with it
/// on every input, damaged ones included. Damage ends the data: a code beyond the next
/// free code, a chain that loops, a last group too short for a code.
inline Decoded decodeWithReference(const Bytes &stream, int32_t maxBytes = 0, int *clears = nullptr) {
    Decoded result{0, {}};
    if (stream.size() < 3 || stream[0] != 0x1F || stream[1] != 0x9D || (stream[2] & 0x1F) > 16) {
        return result;
    }
    const int32_t widthLimit = stream[2] & 0x1F;
    const bool blockMode = (stream[2] & 0x80) != 0;
    const int32_t tableLimit = 1 << widthLimit;
    const int32_t limit = maxBytes < 1 ? INT32_MAX : maxBytes;
    std::vector<uint16_t> prefix(65536, 0);
    std::vector<uint8_t> suffix(65536, 0);
    std::vector<uint8_t> stack;
    for (int c = 0; c < 256; ++c) {
        suffix[c] = static_cast<uint8_t>(c);
    }
    int32_t width = 9, ceiling = 511, nextFree = blockMode ? 257 : 256;
    bool clearPending = false;
    uint8_t group[16] = {};
    int32_t bitOffset = 0, bitLimit = 0;
    std::size_t at = 3;
    auto readCode = [&]() -> int32_t {
        if (clearPending || bitOffset >= bitLimit || nextFree > ceiling) {
            if (nextFree > ceiling) {
                ++width;
                ceiling = width == widthLimit ? tableLimit : (1 << width) - 1;
            }
            if (clearPending) {
                width = 9;
                ceiling = 511;
                clearPending = false;
            }
            std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(width), stream.size() - at);
            if (n < 1) {
                return -1;
            }
            std::memcpy(group, stream.data() + at, n);
            at += n;
            bitOffset = 0;
            bitLimit = 8 * static_cast<int32_t>(n) - (width - 1);
            if (bitLimit <= 0) {
                return -1;  // a last group too short to hold one code
            }
        }
        int32_t code = 0;
        for (int32_t i = 0; i < width; ++i) {
            int32_t bit = bitOffset + i;
            code |= ((group[bit / 8] >> (bit % 8)) & 1) << i;
        }
        bitOffset += width;
        return code;
    };
    auto put = [&](uint8_t byte) {
        result.bytes.push_back(byte);
        return ++result.count >= limit;
    };
    int32_t code = readCode();
    if (code < 0) {
        return result;
    }
    int32_t previous = code;
    uint8_t lastFirst = static_cast<uint8_t>(code);
    if (put(lastFirst)) {
        return result;
    }
    for (;;) {
        code = readCode();
        if (code < 0) {
            return result;
        }
        if (blockMode && code == 256) {
            if (clears != nullptr) {
                ++*clears;
            }
            nextFree = 256;
            clearPending = true;
            code = readCode();
            if (code < 0) {
                return result;
            }
        }
        if (code > nextFree) {
            return result;  // a code that is not defined yet: the stream is damaged
        }
        const int32_t incoming = code;
        stack.clear();
        if (code >= nextFree) {
            stack.push_back(lastFirst);
            code = previous;
        }
        while (code >= 256) {
            if (stack.size() >= static_cast<std::size_t>(raster::kLzwStackCapacity) - 1) {
                return result;  // a chain that loops
            }
            stack.push_back(suffix[code]);
            code = prefix[code];
        }
        lastFirst = suffix[code];
        stack.push_back(lastFirst);
        while (!stack.empty()) {
            uint8_t byte = stack.back();
            stack.pop_back();
            if (put(byte)) {
                return result;
            }
        }
        if (nextFree < tableLimit) {
            prefix[nextFree] = static_cast<uint16_t>(previous);
            suffix[nextFree] = lastFirst;
            ++nextFree;
        }
        previous = incoming;
    }
}

/// A small compress-style encoder: writes codes in groups exactly as a decoder reads
/// them, including the fresh group after a width change or a CLEAR, so that it can
/// make the streams the peer tool cannot (width limit 9, no block mode).
class LzwEncoder {
public:
    /// `clearEvery`: in block mode, send CLEAR after this many input bytes (0: never).
    LzwEncoder(int widthLimit, bool blockMode, std::size_t clearEvery = 0)
        : widthLimit_(widthLimit), blockMode_(blockMode), clearEvery_(clearEvery), tableLimit_(1 << widthLimit) {}

    /// Fills the bits a decoder skips (the rest of a group before a width change or after a
    /// CLEAR, and the tail of the last byte) with ones instead of zeros.
    LzwEncoder &padWithOnes() {
        padOnes_ = true;
        return *this;
    }

    /// Packs the given codes as they are, valid or not, with the stream's grouping rules.
    Bytes encodeCodes(std::span<const int32_t> codes) {
        out_ = {0x1F, 0x9D, static_cast<uint8_t>(widthLimit_ | (blockMode_ ? 0x80 : 0))};
        decoderNextFree_ = firstCode();
        for (int32_t code : codes) {
            emit(code);
        }
        closeGroup(false);
        return out_;
    }

    Bytes encode(std::span<const uint8_t> input) {
        out_ = {0x1F, 0x9D, static_cast<uint8_t>(widthLimit_ | (blockMode_ ? 0x80 : 0))};
        resetTable();
        decoderNextFree_ = firstCode();
        if (input.empty()) {
            return out_;
        }
        int32_t current = input[0];
        std::size_t sinceClear = 1;
        for (std::size_t i = 1; i < input.size(); ++i) {
            uint8_t byte = input[i];
            auto found = table_.find(key(current, byte));
            if (found != table_.end()) {
                current = found->second;
            } else {
                emit(current);
                if (nextCode_ < tableLimit_) {
                    table_[key(current, byte)] = nextCode_++;
                }
                current = byte;
            }
            if (blockMode_ && clearEvery_ != 0 && ++sinceClear >= clearEvery_) {
                emit(current);
                emit(256);
                resetTable();
                sinceClear = 0;
                if (++i >= input.size()) {
                    current = -1;
                    break;
                }
                current = input[i];
                sinceClear = 1;
            }
        }
        if (current >= 0) {
            emit(current);
        }
        closeGroup(false);
        return out_;
    }

private:
    static uint32_t key(int32_t prefix, uint8_t byte) { return static_cast<uint32_t>(prefix) << 8 | byte; }
    int32_t firstCode() const { return blockMode_ ? 257 : 256; }
    void resetTable() {
        table_.clear();
        nextCode_ = firstCode();
    }

    void emit(int32_t code) {
        // The decoder adds an entry after every data code but the stream's first and
        // the CLEAR itself; mirror its next free code to know when it widens.
        if (previousWasData_ && decoderNextFree_ < tableLimit_) {
            ++decoderNextFree_;
        }
        if (clearPending_ || codesInGroup_ == 8 || decoderNextFree_ > ceiling_) {
            closeGroup(true);
            if (decoderNextFree_ > ceiling_) {
                ++width_;
                ceiling_ = width_ == widthLimit_ ? tableLimit_ : (1 << width_) - 1;
            }
            if (clearPending_) {
                width_ = 9;
                ceiling_ = 511;
                clearPending_ = false;
            }
        }
        for (int i = 0; i < width_; ++i) {
            int bit = codesInGroup_ * width_ + i;
            group_[bit / 8] |= static_cast<uint8_t>(((code >> i) & 1) << (bit % 8));
        }
        ++codesInGroup_;
        // The stream's first code and the code right after a CLEAR are data even when 256.
        if (code == 256 && blockMode_ && seenFirst_ && !justCleared_) {
            decoderNextFree_ = 256;
            clearPending_ = true;
            previousWasData_ = false;
            justCleared_ = true;
        } else {
            previousWasData_ = seenFirst_;
            seenFirst_ = true;
            justCleared_ = false;
        }
    }

    /// Ends the current group: whole (padded) before a new group, or cut to the bytes
    /// its codes need at the end of the stream.
    void closeGroup(bool whole) {
        if (codesInGroup_ > 0) {
            int bytes = whole ? width_ : (codesInGroup_ * width_ + 7) / 8;
            if (padOnes_) {
                for (int bit = codesInGroup_ * width_; bit < bytes * 8; ++bit) {
                    group_[bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
                }
            }
            out_.insert(out_.end(), group_, group_ + bytes);
        }
        std::memset(group_, 0, sizeof group_);
        codesInGroup_ = 0;
    }

    int widthLimit_;
    bool blockMode_;
    std::size_t clearEvery_;
    bool padOnes_ = false;
    int32_t tableLimit_;
    std::unordered_map<uint32_t, int32_t> table_;
    int32_t nextCode_ = 0;
    int32_t decoderNextFree_ = 0;
    int width_ = 9;
    int32_t ceiling_ = 511;
    bool clearPending_ = false;
    bool previousWasData_ = false;
    bool seenFirst_ = false;
    bool justCleared_ = false;
    int codesInGroup_ = 0;
    uint8_t group_[16] = {};
    Bytes out_;
};

/// Deterministic test data: text-like, record-like binary, or random bytes.
enum class DataKind { Text, Records, Random };

inline Bytes makeData(DataKind kind, std::size_t size, uint32_t seed = 1) {
    static const char *const words[] = {"line", "arc", "circle", "layer", "block", "ENTITIES", "SECTION", "ENDSEC",
                                        "0",    "10",  "20",     "62",    "8",     "1.000000", "-12.5",   "3.14159"};
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    auto next = [&]() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    Bytes data;
    while (data.size() < size) {
        if (kind == DataKind::Text) {
            const char *word = words[next() % std::size(words)];
            data.insert(data.end(), word, word + std::strlen(word));
            data.push_back(next() % 7 == 0 ? '\n' : ' ');
        } else if (kind == DataKind::Records) {
            // 32-byte records: a running id, a small type, coordinates that drift.
            const auto id = static_cast<uint32_t>(data.size() / 32);
            const uint32_t record[8] = {id, static_cast<uint32_t>(next() % 4), id * 16 + static_cast<uint32_t>(next() % 8),
                                        id % 1000};
            data.insert(data.end(), reinterpret_cast<const uint8_t *>(record), reinterpret_cast<const uint8_t *>(record + 8));
        } else {
            const uint64_t v = next();
            data.insert(data.end(), reinterpret_cast<const uint8_t *>(&v), reinterpret_cast<const uint8_t *>(&v + 1));
        }
    }
    data.resize(size);
    return data;
}

}  // namespace vutil::test
