// Test helpers for the LZW decoder: in-memory ends, a small encoder and a plain reference decoder.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <unordered_map>
#include <vector>

#include "raster/lzw.h"

namespace vutil::test {

using Bytes = std::vector<uint8_t>;

/// Serves a byte vector the way the buffered files would.
struct MemorySource final : raster::LzwSource {
    explicit MemorySource(const Bytes &bytes) : data(bytes) {}
    int32_t getByte() noexcept override { return at < data.size() ? data[at++] : -1; }
    int32_t read(std::span<uint8_t> group) noexcept override {
        const std::size_t n = std::min(group.size(), data.size() - at);
        std::memcpy(group.data(), data.data() + at, n);
        at += n;
        return static_cast<int32_t>(n);
    }
    const Bytes &data;
    std::size_t at = 0;
};

struct VectorSink final : raster::LzwSink {
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

/// The library's decode of a stream: the count returned and the bytes written; and the count when only counting.
inline Decoded decodeWithLibrary(const Bytes &stream, int32_t maxBytes = 0) {
    MemorySource source(stream);
    VectorSink sink;
    const int32_t count = raster::lzwDecode(source, &sink, maxBytes);
    return {count, std::move(sink.data)};
}

inline int32_t countWithLibrary(const Bytes &stream, int32_t maxBytes = 0) {
    MemorySource source(stream);
    return raster::lzwDecode(source, nullptr, maxBytes);
}

/// The decoding rules written out plainly, one code and one byte at a time, with zero-filled tables and the
/// bounded stack. Damage ends the data: a code beyond the next free code, a chain that loops, a last group
/// too short for a code.
inline Decoded decodeWithReference(const Bytes &s, int32_t maxBytes = 0, int *clears = nullptr) {
    Decoded r{0, {}};
    if (s.size() < 3 || s[0] != 0x1F || s[1] != 0x9D || (s[2] & 0x1F) > 16) return r;
    const int32_t widthLimit = s[2] & 0x1F, tableLimit = 1 << widthLimit, limit = maxBytes < 1 ? INT32_MAX : maxBytes;
    const bool block = (s[2] & 0x80) != 0;
    std::vector<uint16_t> prefix(65536, 0);
    std::vector<uint8_t> suffix(65536, 0), stack, group(16);
    for (int c = 0; c < 256; ++c) suffix[c] = static_cast<uint8_t>(c);
    int32_t width = 9, ceiling = 511, nextFree = block ? 257 : 256, bit = 0, bitLimit = 0;
    bool clearPending = false;
    std::size_t at = 3;
    auto readCode = [&]() -> int32_t {
        if (clearPending || bit >= bitLimit || nextFree > ceiling) {
            if (nextFree > ceiling) ceiling = ++width == widthLimit ? tableLimit : (1 << width) - 1;
            if (clearPending) width = 9, ceiling = 511, clearPending = false;
            const std::size_t n = std::min<std::size_t>(width, s.size() - at);
            std::copy_n(s.begin() + at, n, group.begin());
            at += n, bit = 0, bitLimit = 8 * static_cast<int32_t>(n) - (width - 1);
            if (bitLimit <= 0) return -1;  // no group, or a last group too short to hold one code
        }
        int32_t code = 0;
        for (int32_t i = 0; i < width; ++i, ++bit) code |= ((group[bit / 8] >> (bit % 8)) & 1) << i;
        return code;
    };
    auto put = [&](uint8_t byte) {
        r.bytes.push_back(byte);
        return ++r.count >= limit;
    };
    int32_t code = readCode(), previous = code;
    auto first = static_cast<uint8_t>(code);
    if (code < 0 || put(first)) return r;
    for (;;) {
        for (code = readCode(); block && code == 256; code = readCode()) {  // a CLEAR, or several in a row
            if (clears != nullptr) ++*clears;
            nextFree = 256, clearPending = true;
        }
        if (code < 0 || code > nextFree) return r;
        const int32_t incoming = code;
        stack.clear();
        if (code == nextFree) stack.push_back(first), code = previous;
        for (; code >= 256; code = prefix[code]) {
            if (stack.size() >= raster::kLzwStackCapacity - 1u) return r;  // a chain that loops
            stack.push_back(suffix[code]);
        }
        stack.push_back(first = static_cast<uint8_t>(code));
        for (auto byte = stack.rbegin(); byte != stack.rend(); ++byte) if (put(*byte)) return r;
        if (nextFree < tableLimit) prefix[nextFree] = static_cast<uint16_t>(previous), suffix[nextFree++] = first;
        previous = incoming;
    }
}

/// Packs codes as they are, valid or not, the way compress groups them: eight to a group of `width` bytes, and
/// a fresh group whenever the decoder's next free code passes the width's ceiling or after a CLEAR. `ones`
/// fills the bits a decoder skips with ones instead of zeros.
inline Bytes packCodes(std::span<const int32_t> codes, int widthLimit, bool block, bool ones = false) {
    Bytes out = {0x1F, 0x9D, static_cast<uint8_t>(widthLimit | (block ? 0x80 : 0))}, group(16);
    int32_t nextFree = block ? 257 : 256, width = 9, ceiling = 511, inGroup = 0;
    bool clear = false, entry = false;  // entry: the decoder adds one after the previous code
    auto close = [&](bool whole) {
        const int bytes = inGroup == 0 ? 0 : whole ? width : (inGroup * width + 7) / 8;
        for (int bit = inGroup * width; ones && bit < bytes * 8; ++bit) group[bit / 8] |= 1 << (bit % 8);
        out.insert(out.end(), group.begin(), group.begin() + bytes);
        std::fill(group.begin(), group.end(), 0), inGroup = 0;
    };
    for (std::size_t i = 0; i < codes.size(); ++i) {
        nextFree += entry && nextFree < 1 << widthLimit ? 1 : 0;
        if (clear || inGroup == 8 || nextFree > ceiling) {
            close(true);
            if (nextFree > ceiling) ceiling = ++width == widthLimit ? 1 << widthLimit : (1 << width) - 1;
            if (clear) width = 9, ceiling = 511;
        }
        for (int b = 0, bit = inGroup++ * width; b < width; ++b, ++bit) {
            group[bit / 8] |= ((codes[i] >> b) & 1) << (bit % 8);
        }
        clear = block && i > 0 && codes[i] == 256;  // the stream's first code is data even when 256
        entry = i > 0 && !clear;
        nextFree = clear ? 256 : nextFree;
    }
    close(false);
    return out;
}

/// The codes of a compress-style encoder; in block mode, CLEAR `repeats` times after every `clearEvery` bytes.
inline Bytes lzwEncode(std::span<const uint8_t> input, int widthLimit, bool block, std::size_t clearEvery = 0,
                       int repeats = 1, bool ones = false) {
    std::vector<int32_t> codes;
    std::unordered_map<uint32_t, int32_t> table;
    int32_t nextCode = block ? 257 : 256, current = -1;
    for (std::size_t i = 0; i < input.size(); ++i) {
        const uint32_t key = static_cast<uint32_t>(current) << 8 | input[i];
        if (const auto found = table.find(key); current >= 0 && found != table.end()) {
            current = found->second;
        } else {
            if (current >= 0) codes.push_back(current);
            if (current >= 0 && nextCode < 1 << widthLimit) table[key] = nextCode++;
            current = input[i];
        }
        if (block && clearEvery != 0 && (i + 1) % clearEvery == 0) {
            codes.push_back(current);
            codes.insert(codes.end(), repeats, 256);
            table.clear(), nextCode = 257, current = -1;
        }
    }
    if (current >= 0) codes.push_back(current);
    return packCodes(codes, widthLimit, block, ones);
}

/// Deterministic test data: text-like words, or random bytes.
inline Bytes makeData(bool text, std::size_t size, uint32_t seed) {
    static const char *const words[] = {"line", "arc", "circle", "layer", "block", "ENTITIES", "SECTION", "ENDSEC",
                                        "0",    "10",  "20",     "62",    "8",     "1.000000", "-12.5",   "3.14159"};
    std::mt19937 random(seed);
    Bytes data;
    while (data.size() < size) {
        const char *word = words[random() % 16];
        if (text) data.insert(data.end(), word, word + std::strlen(word));
        data.push_back(text ? (random() % 7 == 0 ? '\n' : ' ') : static_cast<uint8_t>(random()));
    }
    data.resize(size);
    return data;
}

}  // namespace vutil::test
