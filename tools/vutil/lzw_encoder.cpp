// An encoder for the .Z (compress) format, whose decoder is the library's KOR_decompress.
#include "lzw_encoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace vutil::tool {
namespace {

constexpr uint32_t kClear = 256;
constexpr uint32_t kFirstFree = 257;

/// The string table: (prefix code, next byte) to code, open addressing.
class Table {
public:
    Table() : keys_(kSlots, kEmpty), codes_(kSlots, 0) {}
    void clear() { std::fill(keys_.begin(), keys_.end(), kEmpty); }
    /// The slot of the key: where it is, or the empty slot where it would go.
    uint32_t find(uint32_t key) const {
        uint32_t slot = (key * 2654435761u) >> (32 - kBits);
        while (keys_[slot] != kEmpty && keys_[slot] != key) {
            slot = (slot + 1) & (kSlots - 1);
        }
        return slot;
    }
    bool holds(uint32_t slot) const { return keys_[slot] != kEmpty; }
    uint32_t code(uint32_t slot) const { return codes_[slot]; }
    void put(uint32_t slot, uint32_t key, uint32_t code) {
        keys_[slot] = key;
        codes_[slot] = code;
    }

private:
    static constexpr int kBits = 17;  // twice the largest table, so probes stay short
    static constexpr uint32_t kSlots = 1u << kBits;
    static constexpr uint32_t kEmpty = UINT32_MAX;
    std::vector<uint32_t> keys_;
    std::vector<uint32_t> codes_;
};

/// Packs codes the way the decoder reads them: eight codes of one width to a group of
/// `width` bytes, the first bit in the low bit of a byte. The decoder takes a fresh
/// group whenever its next free code passes the width's ceiling, and after a CLEAR;
/// the writer keeps the same count of the decoder's table so that it widens at the
/// same code and pads the group the decoder abandons.
class CodeWriter {
public:
    CodeWriter(std::string &out, int widthLimit)
        : out_(out), widthLimit_(widthLimit), tableLimit_(1u << widthLimit) {}

    /// Writes a code that the decoder reads as data (adding a table entry after it,
    /// unless it is the stream's first).
    void data(uint32_t code) {
        put(code);
        if (started_ && decoderFree_ < tableLimit_) {
            ++decoderFree_;
        }
        started_ = true;
    }

    /// Writes CLEAR: the decoder drops the rest of the group and its table, and reads
    /// the next code, 9 bits wide, from a fresh group.
    void clear() {
        put(kClear);
        flushGroup(true);
        width_ = 9;
        ceiling_ = 511;
        decoderFree_ = kClear;
    }

    /// Writes the last group, only as long as its codes need.
    void finish() { flushGroup(false); }

private:
    void put(uint32_t code) {
        if (decoderFree_ > ceiling_) {
            flushGroup(true);
            ++width_;
            ceiling_ = width_ == widthLimit_ ? tableLimit_ : (1u << width_) - 1;
        }
        const int first = codes_ * width_;
        for (int bit = 0; bit < width_; ++bit) {
            if ((code >> bit) & 1) {
                group_[static_cast<std::size_t>((first + bit) / 8)] |= static_cast<uint8_t>(1 << ((first + bit) % 8));
            }
        }
        if (++codes_ == 8) {
            flushGroup(true);
        }
    }

    void flushGroup(bool whole) {
        if (codes_ == 0) {
            return;
        }
        const int bytes = whole ? width_ : (codes_ * width_ + 7) / 8;
        out_.append(reinterpret_cast<const char *>(group_.data()), static_cast<std::size_t>(bytes));
        group_.fill(0);
        codes_ = 0;
    }

    std::string &out_;
    const int widthLimit_;
    const uint32_t tableLimit_;
    int width_ = 9;
    uint32_t ceiling_ = 511;
    uint32_t decoderFree_ = kFirstFree;
    bool started_ = false;
    int codes_ = 0;
    std::array<uint8_t, 16> group_{};
};

}  // namespace

std::string compressLzw(std::string_view data, int widthLimit) {
    widthLimit = std::clamp(widthLimit, 9, 16);
    std::string out = {'\x1F', '\x9D', static_cast<char>(0x80 | widthLimit)};
    if (data.empty()) {
        return out;
    }
    CodeWriter writer(out, widthLimit);
    Table table;
    const uint32_t tableLimit = 1u << widthLimit;
    uint32_t nextFree = kFirstFree;
    uint32_t current = static_cast<uint8_t>(data[0]);
    for (std::size_t i = 1; i < data.size(); ++i) {
        const uint8_t byte = static_cast<uint8_t>(data[i]);
        const uint32_t key = current << 8 | byte;
        const uint32_t slot = table.find(key);
        if (table.holds(slot)) {
            current = table.code(slot);
            continue;
        }
        writer.data(current);
        if (nextFree < tableLimit) {
            table.put(slot, key, nextFree++);
        } else {
            writer.clear();
            table.clear();
            nextFree = kFirstFree;
        }
        current = byte;
    }
    writer.data(current);
    writer.finish();
    return out;
}

}  // namespace vutil::tool
