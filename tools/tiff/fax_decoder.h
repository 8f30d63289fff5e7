// A CCITT Group 3/4 row decoder driven by the library's lookup tables. It serves both the
// TIFF reader (one strip or tile at a time) and `vutil fax` (raw coded rows).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace vutil::tool::fax {

enum class Coding {
    G3,     ///< T.4 one-dimensional (Modified Huffman) rows, each may start with an EOL
    G3_2D,  ///< T.4 two-dimensional: EOL, a tag bit (1: one-dimensional row, 0: two-dimensional), the row
    G4,     ///< T.6: two-dimensional rows against the previous row, no EOLs
    MH,     ///< Modified Huffman: one-dimensional rows without EOLs, each beginning on a byte boundary
};

/// Where the coded bytes come from, a piece at a time; an empty piece ends the data.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::span<const uint8_t> next() = 0;
};

/// All the bytes at once.
class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const uint8_t> data) : data_(data) {}
    std::span<const uint8_t> next() override { return std::exchange(data_, {}); }

private:
    std::span<const uint8_t> data_;
};

/// Decodes coded rows one at a time. Each row comes back as the black runs of the code
/// (bits that the coding calls black), as pairs of columns: start, end (exclusive).
class RowDecoder {
public:
    /// `byteAligned`: every row begins on a byte boundary of the data (fill bits after a row
    /// that ends inside a byte). Where T.4 rows carry EOLs, zero fill bits before an EOL are
    /// skipped whatever this says.
    RowDecoder(int32_t width, Coding coding, bool byteAligned);
    ~RowDecoder();
    RowDecoder(const RowDecoder &) = delete;
    RowDecoder &operator=(const RowDecoder &) = delete;

    /// Starts new data (a strip): the row before the first one is white. The data's first bit is
    /// bit 7 of its first byte when `msbFirst`, else bit 0.
    void start(ByteSource &source, bool msbFirst);
    /// The next row's black runs; false with a message when the data holds no valid row here.
    bool next(std::vector<int32_t> &runs, std::string &error);

private:
    struct State;
    std::unique_ptr<State> state_;
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
            std::string &error, bool byteAligned = false);

/// The image as a binary PBM file (P4).
std::vector<uint8_t> toPbm(const Image &image);

}  // namespace vutil::tool::fax
