// Decoder of LZW streams in the Unix compress (.Z) format.
#pragma once

#include <cstdint>
#include <span>

namespace vutil::raster {

/// Where the decoder takes its input from: a header reader and a group reader.
class LzwSource {
public:
    virtual ~LzwSource() = default;
    /// The next byte as 0..255, or -1 at the end of the data.
    virtual int32_t getByte() noexcept = 0;
    /// Reads up to `group.size()` bytes; the number read, below 1 at the end of the data.
    virtual int32_t read(std::span<uint8_t> group) noexcept = 0;
};

/// Where the decoded bytes go. The decoder hands them over in order, in chunks.
class LzwSink {
public:
    virtual ~LzwSink() = default;
    virtual void write(std::span<const uint8_t> bytes) noexcept = 0;
};

/// Stream header magic and flag bits.
inline constexpr uint8_t kLzwMagic0 = 0x1F;
inline constexpr uint8_t kLzwMagic1 = 0x9D;
inline constexpr uint8_t kLzwWidthMask = 0x1F;
inline constexpr uint8_t kLzwBlockMode = 0x80;
inline constexpr int kLzwMaxWidth = 16;

/// Capacity of the pending-byte stack: far more than the longest string a valid stream can
/// define (65,281 bytes), so only a damaged stream whose prefix chain loops can reach it.
inline constexpr int32_t kLzwStackCapacity = 210468;

/// Decodes one stream from `source`, handing the bytes to `sink` (null: count only), and
/// stops after `maxBytes` bytes (below 1: no limit). Returns the number of bytes produced;
/// 0 for a bad header, a missing first code or when the work tables cannot be had. Damage
/// (a code beyond the next free code, a prefix chain that loops) ends the data there.
/// The tables come from global memory and live only for the call, so calls may overlap.
int32_t lzwDecode(LzwSource &source, LzwSink *sink, int32_t maxBytes) noexcept;

}  // namespace vutil::raster
