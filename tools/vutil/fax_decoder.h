// A small CCITT Group 3/4 decoder for the vutil tool, driven by the library's lookup tables.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vutil::tool::fax {

enum class Coding {
    G3,     ///< T.4 one-dimensional (Modified Huffman) rows, each may start with an EOL
    G3_2D,  ///< T.4 two-dimensional: EOL, a tag bit (1: one-dimensional row, 0: two-dimensional), the row
    G4,     ///< T.6: two-dimensional rows against the previous row, no EOLs
};

/// A bilevel image, one byte per pixel: 1 black, 0 white.
struct Image {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

/// Decodes `height` rows of `width` pixels. The data's first bit is bit 0 of its first
/// byte unless `msbFirst`. Returns false with a message when the data is not valid
/// coded data; rows decoded until then are kept and the rest are white.
bool decode(std::span<const uint8_t> data, int32_t width, int32_t height, Coding coding, bool msbFirst, Image &image,
            std::string &error);

/// The image as a binary PBM file (P4).
std::vector<uint8_t> toPbm(const Image &image);

}  // namespace vutil::tool::fax
