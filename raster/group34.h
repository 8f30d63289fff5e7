// Lookup tables for decoding CCITT Group 3 (T.4) and Group 4 (T.6) fax data.
#pragma once

#include <cstdint>
#include <span>

namespace vutil::raster {

/// Entries of each table (the caller's buffers may be a little larger).
inline constexpr int kWhiteBits = 12;
inline constexpr int kBlackBits = 13;
inline constexpr int kModeBits = 7;
inline constexpr int kWhiteEntries = 1 << kWhiteBits;
inline constexpr int kBlackEntries = 1 << kBlackBits;
inline constexpr int kModeEntries = 1 << kModeBits;

/// Bytes of the caller's buffers, in argument order.
inline constexpr int kWhiteRunBytes = 16384;
inline constexpr int kWhiteLengthBytes = 4100;
inline constexpr int kBlackRunBytes = 32768;
inline constexpr int kBlackLengthBytes = 8200;
inline constexpr int kModeValueBytes = 130;
inline constexpr int kModeLengthBytes = 130;

inline constexpr int32_t kRunEol = -1;
inline constexpr int32_t kRunInvalid = -2;
inline constexpr int8_t kModePass = -8;
inline constexpr int8_t kModeHorizontal = -9;
inline constexpr int8_t kModeNone = -11;
inline constexpr int8_t kModeNoneLength = 16;

/// The six tables, each spanning the caller's whole buffer.
struct Group34Tables {
    std::span<int32_t> whiteRuns;
    std::span<int8_t> whiteLengths;
    std::span<int32_t> blackRuns;
    std::span<int8_t> blackLengths;
    std::span<int8_t> modeValues;
    std::span<int8_t> modeLengths;
};

/// Builds every table into the caller's buffers (spare bytes become 0).
void fillGroup34Tables(const Group34Tables &tables) noexcept;

/// Releases scratch blocks that a build left behind; the library's unload step.
void releaseGroup34Scratch() noexcept;

}  // namespace vutil::raster
