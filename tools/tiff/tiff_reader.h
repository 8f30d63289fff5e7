// A reader of bilevel TIFF images (scanned drawings), built on the library's file and
// raster services. It reads one page of a classic TIFF file, in either byte order, a strip
// or a row of tiles at a time, and hands its rows out as runs of ink.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace vutil::tool::tiff {

/// Whether the bytes that open a file are those of a TIFF file (classic or BigTIFF).
bool looksLikeTiff(std::span<const uint8_t> head);

/// What the page holds.
struct PageInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t pages = 0;         ///< pages in the file (directories of the chain)
    int32_t compression = 1;   ///< 1 none, 2 Modified Huffman, 3 T.4, 4 T.6, 32773 PackBits
    int32_t photometric = 0;   ///< 0: 0 is white; 1: 0 is black
    int32_t fillOrder = 1;     ///< 1: first pixel in the high bit of a byte; 2: in the low bit
    bool tiled = false;
    int32_t tileWidth = 0;     ///< strips: the image width
    int32_t tileHeight = 0;    ///< strips: rows per strip
    double xResolution = 0;    ///< pixels per unit; 0 when the file does not say
    double yResolution = 0;
    int32_t resolutionUnit = 2;  ///< 1 none, 2 inch, 3 centimetre
    /// Physical size in millimetres; 0 when the resolution is not known.
    double widthMm() const;
    double heightMm() const;
};

/// Takes the rows of the page in order, from top to bottom.
class RowSink {
public:
    virtual ~RowSink() = default;
    /// Row `y` (image coordinates), as pairs of columns (start, end exclusive) that hold ink.
    virtual void row(int32_t y, std::span<const int32_t> ink) = 0;
};

class Reader {
public:
    Reader();
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    /// Opens the file and reads the directory of page `page` (from 0); false with the reason.
    bool open(const std::string &path, int32_t page, std::string &error);
    const PageInfo &info() const;
    /// Decodes rows `first` to `last` - 1 and hands them to the sink; only the strips or rows
    /// of tiles that hold them are read. False with the reason when the data is damaged.
    bool read(int32_t first, int32_t last, RowSink &sink, std::string &error);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace vutil::tool::tiff
