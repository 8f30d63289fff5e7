// A reader of bilevel TIFF images, built on the library's file and raster services.
//
// The file is read through the buffered file service: the directory of the chosen page
// once, then each strip (or row of tiles) in pieces of 64 KiB, so that memory stays
// bounded by a row of tiles whatever the file holds. Coded rows become runs of ink:
// CCITT rows straight from the decoder, packed rows through spread_byte and MakeRuns.
#include "tiff_reader.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "fax_decoder.h"
#include "vutil/fileio.h"
#include "vutil/raster.h"

namespace vutil::tool::tiff {
namespace {

constexpr int32_t kMaxWidth = 1 << 20;        // pixels in a row
constexpr int32_t kMaxDirectories = 65536;    // pages followed along the chain
constexpr uint64_t kMaxBandBytes = 64u << 20;  // a row of tiles, packed
constexpr std::size_t kPiece = 64 * 1024;

enum Tag : uint16_t {
    kWidth = 256,
    kHeight = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kT4Options = 292,
    kT6Options = 293,
    kResolutionUnit = 296,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
};

uint32_t typeSize(uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

/// The open file, read by position through the buffered file service.
class File {
public:
    ~File() { close(); }
    bool open(const std::string &path, std::string &error) {
        if (KorOpenFile(path.c_str(), &handle_, KOR_OPEN_READ) != 1) {
            handle_ = 0;
            error = "cannot open";
            return false;
        }
        const int32_t end = KorSeekFile(handle_, 0, 2);
        if (end < 0) {
            error = "cannot find the size of the file";
            return false;
        }
        size_ = static_cast<uint32_t>(end);
        return true;
    }
    void close() {
        if (handle_ != 0) {
            KorCloseFile(handle_);
            handle_ = 0;
        }
    }
    uint32_t size() const { return size_; }
    bool contains(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }
    /// Reads `count` bytes at `offset`; false when they are not all in the file.
    bool readAt(uint64_t offset, void *to, uint32_t count) {
        if (!contains(offset, count)) {
            return false;
        }
        if (KorSeekFile(handle_, static_cast<int32_t>(offset), 0) != static_cast<int32_t>(offset)) {
            return false;
        }
        return count == 0 || KorLReadFile(to, static_cast<int32_t>(count), handle_) == static_cast<int32_t>(count);
    }

private:
    int32_t handle_ = 0;
    uint32_t size_ = 0;
};

/// The bytes of one strip or tile, a piece at a time; bit order turned round when asked.
class StripSource : public fax::ByteSource {
public:
    StripSource(File &file, uint32_t offset, uint32_t count, bool reverse)
        : file_(file), at_(offset), left_(count), reverse_(reverse) {}
    std::span<const uint8_t> next() override {
        const auto size = static_cast<uint32_t>(std::min<std::size_t>(left_, kPiece));
        if (size == 0 || failed_) {
            return {};
        }
        buffer_.resize(size);
        if (!file_.readAt(at_, buffer_.data(), size)) {
            failed_ = true;
            return {};
        }
        if (reverse_) {
            swabbits(buffer_.data(), static_cast<int32_t>(size));
        }
        at_ += size;
        left_ -= size;
        return buffer_;
    }
    bool failed() const { return failed_; }
    /// The next byte, or -1 at the end.
    int get() {
        if (piece_.empty()) {
            piece_ = next();
            if (piece_.empty()) {
                return -1;
            }
        }
        const uint8_t byte = piece_.front();
        piece_ = piece_.subspan(1);
        return byte;
    }

private:
    File &file_;
    uint64_t at_;
    uint32_t left_;
    bool reverse_;
    bool failed_ = false;
    std::vector<uint8_t> buffer_;
    std::span<const uint8_t> piece_;
};

/// Packed rows of a strip or tile stored without compression or with PackBits.
class PackedRows {
public:
    PackedRows(StripSource &source, bool packBits) : source_(source), packBits_(packBits) {}
    bool row(uint8_t *out, std::size_t bytes, std::string &error) {
        for (std::size_t done = 0; done < bytes;) {
            if (!packBits_) {
                const int byte = source_.get();
                if (byte < 0) {
                    error = "the data ends inside a row";
                    return false;
                }
                out[done++] = static_cast<uint8_t>(byte);
                continue;
            }
            if (literal_ == 0 && repeat_ == 0) {
                const int control = source_.get();
                if (control < 0) {
                    error = "the PackBits data ends inside a row";
                    return false;
                }
                if (control < 128) {
                    literal_ = control + 1;
                } else if (control > 128) {
                    const int byte = source_.get();
                    if (byte < 0) {
                        error = "the PackBits data ends inside a run";
                        return false;
                    }
                    repeat_ = 257 - control;
                    value_ = static_cast<uint8_t>(byte);
                }
                continue;
            }
            if (literal_ > 0) {
                const int byte = source_.get();
                if (byte < 0) {
                    error = "the PackBits data ends inside a literal";
                    return false;
                }
                out[done++] = static_cast<uint8_t>(byte);
                --literal_;
            } else {
                const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(repeat_), bytes - done);
                std::memset(out + done, value_, n);
                done += n;
                repeat_ -= static_cast<int>(n);
            }
        }
        return true;
    }

private:
    StripSource &source_;
    bool packBits_;
    int literal_ = 0;
    int repeat_ = 0;
    uint8_t value_ = 0;
};

/// The start and end of ink in a row of pixels, from its packed bits.
class RowRuns {
public:
    void reset(int32_t width, bool inkIsOne) {
        width_ = width;
        polarity_ = inkIsOne ? 0 : 1;  // MakeRuns polarity 0 finds the non-zero bytes
        pixels_.assign((static_cast<std::size_t>(width) + 7) / 8 * 8, 0);
        runs_.assign(static_cast<std::size_t>(width) + 2, 0);
    }
    std::span<const int32_t> runs(const uint8_t *packed) {
        const int32_t bytes = (width_ + 7) / 8;
        for (int32_t i = 0; i < bytes; ++i) {
            spread_byte(packed[i], i * 8, pixels_.data(), width_);
        }
        const int32_t count = MakeRuns(runs_.data(), pixels_.data(), width_, width_, polarity_);
        return {runs_.data(), static_cast<std::size_t>(count)};
    }

private:
    int32_t width_ = 0;
    int32_t polarity_ = 0;
    std::vector<uint8_t> pixels_;
    std::vector<int32_t> runs_;
};

/// Sets the bits [from, to) of a packed row (first pixel in the high bit).
void setBits(uint8_t *row, int32_t from, int32_t to) {
    for (int32_t x = from; x < to;) {
        if (x % 8 == 0 && to - x >= 8) {
            const int32_t whole = (to - x) / 8;
            std::memset(row + x / 8, 0xFF, static_cast<std::size_t>(whole));
            x += whole * 8;
        } else {
            row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            ++x;
        }
    }
}

/// An array of strip or tile offsets or byte counts, read from the file as needed.
struct Array {
    uint16_t type = 0;
    uint32_t count = 0;
    uint32_t offset = 0;  ///< in the file, unless the values lie in the entry
    uint8_t inlined[4] = {};
    bool present = false;
};

struct Entry {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint8_t value[4];
};

}  // namespace

double PageInfo::widthMm() const {
    const double perMm = resolutionUnit == 3 ? 10.0 : 25.4;
    return xResolution > 0 && resolutionUnit != 1 ? width / xResolution * perMm : 0;
}

double PageInfo::heightMm() const {
    const double perMm = resolutionUnit == 3 ? 10.0 : 25.4;
    return yResolution > 0 && resolutionUnit != 1 ? height / yResolution * perMm : 0;
}

bool looksLikeTiff(std::span<const uint8_t> head) {
    if (head.size() < 4) {
        return false;
    }
    const bool intel = head[0] == 'I' && head[1] == 'I' && head[3] == 0 && (head[2] == 42 || head[2] == 43);
    const bool motorola = head[0] == 'M' && head[1] == 'M' && head[2] == 0 && (head[3] == 42 || head[3] == 43);
    return intel || motorola;
}

struct Reader::State {
    File file;
    bool little = true;
    PageInfo info;
    Array offsets, counts;
    uint32_t t4Options = 0;
    int32_t tilesAcross = 1;
    int32_t tilesDown = 1;

    uint16_t u16(const uint8_t *p) const {
        return little ? static_cast<uint16_t>(p[0] | p[1] << 8) : static_cast<uint16_t>(p[0] << 8 | p[1]);
    }
    uint32_t u32(const uint8_t *p) const {
        return little ? (u16(p) | static_cast<uint32_t>(u16(p + 2)) << 16)
                      : (static_cast<uint32_t>(u16(p)) << 16 | u16(p + 2));
    }

    /// The first value of an integer entry; false when it is not one.
    bool number(const Entry &entry, uint32_t &value) const {
        if (entry.count == 0) {
            return false;
        }
        switch (entry.type) {
        case 1: value = entry.value[0]; return true;
        case 3: value = u16(entry.value); return true;
        case 4: value = u32(entry.value); return true;
        default: return false;
        }
    }

    bool rational(const Entry &entry, double &value) {
        uint8_t bytes[8];
        if (entry.type != 5 || entry.count == 0 || !file.readAt(u32(entry.value), bytes, 8)) {
            return false;
        }
        const uint32_t denominator = u32(bytes + 4);
        value = denominator == 0 ? 0 : static_cast<double>(u32(bytes)) / denominator;
        return true;
    }

    bool array(const Entry &entry, Array &out) {
        if (entry.type != 3 && entry.type != 4) {
            return false;
        }
        out.type = entry.type;
        out.count = entry.count;
        const uint64_t bytes = static_cast<uint64_t>(entry.count) * typeSize(entry.type);
        if (bytes <= 4) {
            std::memcpy(out.inlined, entry.value, 4);
        } else {
            out.offset = u32(entry.value);
            if (!file.contains(out.offset, bytes)) {
                return false;
            }
        }
        out.present = true;
        return true;
    }

    bool element(const Array &from, uint32_t index, uint32_t &value) {
        const uint32_t size = typeSize(from.type);
        uint8_t bytes[4];
        if (static_cast<uint64_t>(from.count) * size <= 4) {
            std::memcpy(bytes, from.inlined + index * size, size);
        } else if (!file.readAt(from.offset + static_cast<uint64_t>(index) * size, bytes, size)) {
            return false;
        }
        value = size == 2 ? u16(bytes) : u32(bytes);
        return true;
    }

    bool open(const std::string &path, int32_t page, std::string &error);
    bool parse(const std::vector<Entry> &entries, std::string &error);
    bool read(int32_t first, int32_t last, RowSink &sink, std::string &error);
};

bool Reader::State::open(const std::string &path, int32_t page, std::string &error) {
    if (!file.open(path, error)) {
        return false;
    }
    uint8_t header[8];
    if (!file.readAt(0, header, sizeof header) || !looksLikeTiff(header)) {
        error = "not a TIFF file";
        return false;
    }
    little = header[0] == 'I';
    if (u16(header + 2) == 43) {
        error = "BigTIFF files are not read (only classic TIFF)";
        return false;
    }
    std::vector<Entry> chosen;
    std::set<uint32_t> seen;
    std::string broken;
    int32_t pages = 0;
    for (uint32_t at = u32(header + 4); at != 0 && pages < kMaxDirectories; ++pages) {
        uint8_t count[2];
        if (!seen.insert(at).second) {
            broken = "the chain of pages loops back after page " + std::to_string(pages);
            break;
        }
        if (!file.readAt(at, count, 2)) {
            broken = "page " + std::to_string(pages + 1) + " lies past the end of the file";
            break;
        }
        const uint32_t n = u16(count);
        std::vector<uint8_t> bytes(12 * static_cast<std::size_t>(n) + 4);
        if (!file.readAt(at + 2ull, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
            broken = "the directory of page " + std::to_string(pages + 1) + " runs past the end of the file";
            break;
        }
        if (pages == page) {
            for (uint32_t i = 0; i < n; ++i) {
                const uint8_t *p = bytes.data() + 12 * static_cast<std::size_t>(i);
                Entry entry{u16(p), u16(p + 2), u32(p + 4), {p[8], p[9], p[10], p[11]}};
                chosen.push_back(entry);
            }
            if (n == 0) {
                error = "page " + std::to_string(page + 1) + " has an empty directory";
                return false;
            }
        }
        at = u32(bytes.data() + 12 * static_cast<std::size_t>(n));
    }
    info.pages = pages;
    if (page >= pages) {
        error = broken.empty() ? "no page " + std::to_string(page + 1) + " (the file has " + std::to_string(pages) +
                                     (pages == 1 ? " page)" : " pages)")
                               : broken;
        return false;
    }
    return parse(chosen, error);
}

bool Reader::State::parse(const std::vector<Entry> &entries, std::string &error) {
    // The first entry of a tag counts; the order of the entries does not matter.
    auto find = [&](uint16_t tag) -> const Entry * {
        for (const Entry &entry : entries) {
            if (entry.tag == tag) {
                return &entry;
            }
        }
        return nullptr;
    };
    auto number = [&](uint16_t tag, uint32_t fallback, uint32_t &value, const char *name) {
        const Entry *entry = find(tag);
        value = fallback;
        if (entry != nullptr && !this->number(*entry, value)) {
            error = std::string("the ") + name + " is not a number";
            return false;
        }
        return true;
    };
    uint32_t width = 0, height = 0, bits = 1, samples = 1, compression = 1, photometric = 0, fill = 1;
    uint32_t rows = 0xFFFFFFFF, tileWidth = 0, tileHeight = 0, unit = 2, t6 = 0;
    if (!number(kWidth, 0, width, "image width") || !number(kHeight, 0, height, "image height") ||
        !number(kBitsPerSample, 1, bits, "bits per sample") || !number(kSamplesPerPixel, 1, samples, "samples per pixel") ||
        !number(kCompression, 1, compression, "compression") || !number(kPhotometric, 0, photometric, "photometric interpretation") ||
        !number(kFillOrder, 1, fill, "fill order") || !number(kRowsPerStrip, rows, rows, "rows per strip") ||
        !number(kTileWidth, 0, tileWidth, "tile width") || !number(kTileLength, 0, tileHeight, "tile length") ||
        !number(kResolutionUnit, 2, unit, "resolution unit") || !number(kT4Options, 0, t4Options, "T4 options") ||
        !number(kT6Options, 0, t6, "T6 options")) {
        return false;
    }
    if (width == 0 || height == 0 || width > static_cast<uint32_t>(kMaxWidth) || height > 0x7FFFFFFF) {
        error = "an image of " + std::to_string(width) + " x " + std::to_string(height) +
                " pixels is not read (width 1 to " + std::to_string(kMaxWidth) + ")";
        return false;
    }
    if (samples != 1 || photometric > 1) {
        error = "colour images are not read (photometric interpretation " + std::to_string(photometric) + ", " +
                std::to_string(samples) + " samples per pixel): only bilevel images";
        return false;
    }
    if (bits != 1) {
        error = "images of " + std::to_string(bits) + " bits per sample are not read: only bilevel images";
        return false;
    }
    if (compression != 1 && compression != 2 && compression != 3 && compression != 4 && compression != 32773) {
        error = "compression " + std::to_string(compression) +
                " is not read (only none, CCITT Modified Huffman, T.4, T.6 and PackBits)";
        return false;
    }
    if ((compression == 3 && (t4Options & 2) != 0) || (compression == 4 && (t6 & 2) != 0)) {
        error = "CCITT data with uncompressed mode is not read";
        return false;
    }
    if (fill != 1 && fill != 2) {
        error = "fill order " + std::to_string(fill) + " is not 1 or 2";
        return false;
    }
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);
    info.compression = static_cast<int32_t>(compression);
    info.photometric = static_cast<int32_t>(photometric);
    info.fillOrder = static_cast<int32_t>(fill);
    info.resolutionUnit = static_cast<int32_t>(unit);
    if (const Entry *x = find(kXResolution)) {
        rational(*x, info.xResolution);
    }
    if (const Entry *y = find(kYResolution)) {
        rational(*y, info.yResolution);
    }
    info.tiled = find(kTileOffsets) != nullptr;
    uint64_t units = 0;
    if (info.tiled) {
        if (tileWidth == 0 || tileHeight == 0 || tileWidth % 8 != 0 || tileWidth > static_cast<uint32_t>(kMaxWidth) ||
            tileHeight > 0x7FFFFFFF) {
            error = "tiles of " + std::to_string(tileWidth) + " x " + std::to_string(tileHeight) +
                    " pixels are not read (the width must be a multiple of 8)";
            return false;
        }
        tilesAcross = static_cast<int32_t>((width + tileWidth - 1) / tileWidth);
        tilesDown = static_cast<int32_t>((height + tileHeight - 1) / tileHeight);
        if (static_cast<uint64_t>(tilesAcross) * tileWidth / 8 * tileHeight > kMaxBandBytes) {
            error = "a row of tiles of " + std::to_string(tileHeight) + " rows is too large to read";
            return false;
        }
        units = static_cast<uint64_t>(tilesAcross) * static_cast<uint64_t>(tilesDown);
        info.tileWidth = static_cast<int32_t>(tileWidth);
        info.tileHeight = static_cast<int32_t>(tileHeight);
    } else {
        rows = rows == 0 ? height : std::min(rows, height);
        info.tileWidth = info.width;
        info.tileHeight = static_cast<int32_t>(rows);
        units = (height + static_cast<uint64_t>(rows) - 1) / rows;
    }
    const char *what = info.tiled ? "tile" : "strip";
    const Entry *where = find(info.tiled ? kTileOffsets : kStripOffsets);
    const Entry *sizes = find(info.tiled ? kTileByteCounts : kStripByteCounts);
    if (where == nullptr || sizes == nullptr) {
        error = std::string("the ") + what + (where == nullptr ? " offsets are" : " byte counts are") + " missing";
        return false;
    }
    if (!array(*where, offsets) || !array(*sizes, counts)) {
        error = std::string("the ") + what + " offsets or byte counts are not a table in the file";
        return false;
    }
    if (offsets.count < units || counts.count < units) {
        error = "the file lists " + std::to_string(std::min(offsets.count, counts.count)) + " " + what +
                "s for " + std::to_string(units) + " of them";
        return false;
    }
    return true;
}

bool Reader::State::read(int32_t first, int32_t last, RowSink &sink, std::string &error) {
    const bool ccitt = info.compression >= 2 && info.compression <= 4;
    const fax::Coding coding = info.compression == 2   ? fax::Coding::MH
                               : info.compression == 4 ? fax::Coding::G4
                               : (t4Options & 1) != 0  ? fax::Coding::G3_2D
                                                       : fax::Coding::G3;
    const bool inkIsOne = info.photometric == 0;
    const int32_t unitWidth = info.tileWidth;
    const auto unitBytes = (static_cast<std::size_t>(unitWidth) + 7) / 8;
    const auto rowBytes = (static_cast<std::size_t>(info.width) + 7) / 8;
    fax::RowDecoder decoder(unitWidth, coding, false);
    std::vector<int32_t> runs, ink;
    std::vector<uint8_t> packed(unitBytes);
    std::vector<uint8_t> band;  // a row of tiles, packed
    RowRuns rowRuns;
    rowRuns.reset(info.width, inkIsOne);
    first = std::max(first, 0);
    last = std::min(last, info.height);

    for (int32_t down = first / info.tileHeight; down < tilesDown || !info.tiled; ++down) {
        const int32_t top = down * info.tileHeight;
        if (top >= last) {
            break;
        }
        const int32_t rows = std::min(info.tileHeight, info.height - top);
        const int32_t needed = std::min(rows, last - top);
        if (info.tiled) {
            band.assign(rowBytes * static_cast<std::size_t>(rows) + 1, 0);
        }
        for (int32_t across = 0; across < tilesAcross; ++across) {
            const uint32_t index = static_cast<uint32_t>(down) * static_cast<uint32_t>(tilesAcross) + static_cast<uint32_t>(across);
            uint32_t offset = 0, count = 0;
            const std::string name = std::string(info.tiled ? "tile " : "strip ") + std::to_string(index);
            if (!element(offsets, index, offset) || !element(counts, index, count)) {
                error = "cannot read the place of " + name;
                return false;
            }
            if (info.compression == 1) {
                // Uncompressed data has a known size; writers have been known to put a wrong count.
                count = static_cast<uint32_t>(std::min<uint64_t>(
                    unitBytes * static_cast<uint64_t>(info.tiled ? info.tileHeight : rows), 0xFFFFFFFFu));
            }
            if (!file.contains(offset, count)) {
                error = name + " lies past the end of the file";
                return false;
            }
            StripSource source(file, offset, count, !ccitt && info.fillOrder == 2);
            PackedRows packedRows(source, info.compression == 32773);
            if (ccitt) {
                decoder.start(source, info.fillOrder == 1);
            }
            const int32_t left = across * unitWidth;
            // Tiles are whole even at the image's edges; strips end with the image.
            const int32_t unitRows = info.tiled ? std::min(info.tileHeight, needed) : needed;
            for (int32_t y = 0; y < unitRows; ++y) {
                std::string reason;
                if (ccitt ? !decoder.next(runs, reason) : !packedRows.row(packed.data(), unitBytes, reason)) {
                    error = (source.failed() ? "cannot read " + name : name + ": " + reason);
                    return false;
                }
                if (!info.tiled) {
                    if (top + y < first) {
                        continue;
                    }
                    if (!ccitt) {
                        sink.row(top + y, rowRuns.runs(packed.data()));
                    } else if (inkIsOne) {
                        sink.row(top + y, runs);
                    } else {
                        // Ink is where the code's white runs are: the gaps between the black ones.
                        ink.clear();
                        int32_t previous = 0;
                        for (std::size_t i = 0; i + 1 < runs.size(); i += 2) {
                            ink.push_back(previous);
                            ink.push_back(runs[i]);
                            previous = runs[i + 1];
                        }
                        ink.push_back(previous);
                        ink.push_back(info.width);
                        sink.row(top + y, ink);
                    }
                    continue;
                }
                if (y >= rows) {
                    continue;  // rows of the tile below the image
                }
                uint8_t *target = band.data() + rowBytes * static_cast<std::size_t>(y);
                const int32_t visible = std::min(unitWidth, info.width - left);
                if (ccitt) {
                    for (std::size_t i = 0; i + 1 < runs.size(); i += 2) {
                        setBits(target, left + std::min(runs[i], visible), left + std::min(runs[i + 1], visible));
                    }
                } else {
                    std::memcpy(target + left / 8, packed.data(), (static_cast<std::size_t>(visible) + 7) / 8);
                }
            }
        }
        if (info.tiled) {
            for (int32_t y = std::max(0, first - top); y < needed; ++y) {
                uint8_t *row = band.data() + rowBytes * static_cast<std::size_t>(y);
                if (info.width % 8 != 0) {
                    row[rowBytes - 1] &= static_cast<uint8_t>(0xFF00 >> (info.width % 8));
                }
                sink.row(top + y, rowRuns.runs(row));
            }
        }
        if (!info.tiled && top + rows >= info.height) {
            break;
        }
    }
    return true;
}

Reader::Reader() : state_(std::make_unique<State>()) {}
Reader::~Reader() = default;

bool Reader::open(const std::string &path, int32_t page, std::string &error) {
    state_ = std::make_unique<State>();
    if (page < 0) {
        error = "no page " + std::to_string(page + 1);
        return false;
    }
    return state_->open(path, page, error);
}

const PageInfo &Reader::info() const { return state_->info; }

bool Reader::read(int32_t first, int32_t last, RowSink &sink, std::string &error) {
    return state_->read(first, last, sink, error);
}

}  // namespace vutil::tool::tiff
