// A CCITT Group 3/4 row decoder driven by the library's lookup tables.
//
// Every code (runs, make-ups, EOL, two-dimensional modes) is recognised by one
// lookup in the tables of FillGroup34Tables; the decoder itself only keeps the
// bit position, the reference row and the current row, both as lists of the
// columns where the colour changes.
#include "fax_decoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <utility>

#include "vutil/raster.h"

namespace vutil::tool::fax {
namespace {

struct Tables {
    Tables() {
        FillGroup34Tables(whiteRuns.data(), whiteLengths.data(), blackRuns.data(), blackLengths.data(),
                          modeValues.data(), modeLengths.data());
    }
    std::vector<int32_t> whiteRuns = std::vector<int32_t>(G34_WHITE_RUNS_BYTES / 4);
    std::vector<int8_t> whiteLengths = std::vector<int8_t>(G34_WHITE_LENGTHS_BYTES);
    std::vector<int32_t> blackRuns = std::vector<int32_t>(G34_BLACK_RUNS_BYTES / 4);
    std::vector<int8_t> blackLengths = std::vector<int8_t>(G34_BLACK_LENGTHS_BYTES);
    std::vector<int8_t> modeValues = std::vector<int8_t>(G34_MODE_VALUES_BYTES);
    std::vector<int8_t> modeLengths = std::vector<int8_t>(G34_MODE_LENGTHS_BYTES);
};

const Tables &tables() {
    static const Tables built;
    return built;
}

/// Bits of the data, handed out first bit in the lowest bit of a peeked value as the tables
/// index them; zeros past the end.
class BitReader {
public:
    void start(ByteSource &source, bool msbFirst) {
        source_ = &source;
        if (msbFirst) {
            GetReverseBits(order_.data());
        } else {
            GetNoReverseBits(order_.data());
        }
        piece_ = {};
        at_ = 0;
        bits_ = 0;
        count_ = 0;
        zeros_ = 0;
        ended_ = false;
        consumed_ = 0;
    }

    uint32_t peek(int n) {
        if (count_ < n) {
            fill();
        }
        return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    }
    void skip(int n) {
        if (count_ < n) {
            fill();
        }
        bits_ >>= n;
        count_ -= n;
        consumed_ += static_cast<uint64_t>(n);
    }
    /// Whether every bit of the data has been consumed.
    bool atEnd() {
        if (count_ == 0) {
            fill();
        }
        return ended_ && count_ <= zeros_;
    }
    /// Skips to the next byte boundary of the data.
    void align() { skip(static_cast<int>((8 - consumed_ % 8) % 8)); }

private:
    void fill() {
        // Whole bytes while the piece has them; the careful loop below at its end.
        while (count_ <= 56 && piece_.size() - at_ >= 8) {
            const uint8_t *bytes = piece_.data() + at_;
            const int room = (64 - count_) / 8;  // at least one byte, as count_ is at most 56
            for (int i = 0; i < room; ++i) {
                bits_ |= static_cast<uint64_t>(order_[bytes[i]]) << count_;
                count_ += 8;
            }
            at_ += static_cast<std::size_t>(room);
        }
        while (count_ <= 56) {
            if (at_ == piece_.size() && !ended_) {
                piece_ = source_->next();
                at_ = 0;
                ended_ = piece_.empty();
            }
            if (ended_) {
                zeros_ = std::min(zeros_, count_) + 8;
                count_ += 8;
                continue;
            }
            bits_ |= static_cast<uint64_t>(order_[piece_[at_++]]) << count_;
            count_ += 8;
        }
    }

    ByteSource *source_ = nullptr;
    std::array<uint8_t, 256> order_{};
    std::span<const uint8_t> piece_;
    std::size_t at_ = 0;
    uint64_t bits_ = 0;
    int count_ = 0;
    int zeros_ = 0;  ///< how many of the buffered bits lie past the end
    bool ended_ = false;
    uint64_t consumed_ = 0;
};

constexpr int32_t kWhite = 0;

}  // namespace

struct RowDecoder::State {
    State(int32_t width_, Coding coding_, bool byteAligned_) : width(width_), coding(coding_), byteAligned(byteAligned_) {}
    int32_t width;
    Coding coding;
    bool byteAligned;
    BitReader bits;
    const Tables &tables = fax::tables();
    // The tables' arrays, at hand for the inner loops.
    const int32_t *whiteRuns = tables.whiteRuns.data();
    const int8_t *whiteLengths = tables.whiteLengths.data();
    const int32_t *blackRuns = tables.blackRuns.data();
    const int8_t *blackLengths = tables.blackLengths.data();
    const int8_t *modeValues = tables.modeValues.data();
    const int8_t *modeLengths = tables.modeLengths.data();
    std::vector<int32_t> reference;  ///< changes of the previous row, closed by width, width
    std::vector<int32_t> changes;
    std::string error;
    int32_t row = 0;

    /// Skips the EOL that may open a T.4 row, with any zero fill bits before it.
    bool skipEol() {
        for (;;) {
            const uint32_t index = bits.peek(12);
            if (whiteRuns[index] == G34_RUN_EOL) {
                bits.skip(whiteLengths[index]);
                return true;
            }
            if (bits.atEnd()) {
                error = "data ends before row " + std::to_string(row);
                return false;
            }
            if (index != 0) {
                return true;  // no EOL here: rows may follow each other without one
            }
            bits.skip(1);  // a fill bit
        }
    }

    /// Moves to the byte boundary where an aligned row begins, unless an EOL comes first.
    void alignRow() {
        uint32_t index = bits.peek(12);
        if ((index & 0x7FF) == 0) {
            return;  // eleven zeros: an EOL, or fill bits before one
        }
        bits.align();
    }

    /// One run of a colour, make-up codes included; -1 when no valid code is there.
    int32_t readRun(int32_t colour) {
        const bool white = colour == kWhite;
        const int32_t *runs = white ? whiteRuns : blackRuns;
        const int8_t *lengths = white ? whiteLengths : blackLengths;
        const int width12 = white ? 12 : 13;
        int32_t total = 0;
        for (;;) {
            const uint32_t index = bits.peek(width12);
            const int32_t value = runs[index];
            if (value < 0) {
                error = value == G34_RUN_EOL ? "unexpected EOL" : "invalid run code";
                return -1;
            }
            bits.skip(static_cast<uint8_t>(lengths[index]));
            total += value;
            if (value < 64) {
                return total <= width ? total : (error = "run longer than the row", -1);
            }
            if (total > width) {
                error = "run longer than the row";
                return -1;
            }
        }
    }

    /// Records a change of colour; false when the row holds more of them than it could.
    bool change(int32_t at) {
        if (at < width) {
            if (changes.size() > static_cast<std::size_t>(width) + 2) {
                error = "more colour changes than pixels";
                return false;
            }
            changes.push_back(at);
        }
        return true;
    }

    bool decodeOneDimensional() {
        int32_t at = 0;
        int32_t colour = kWhite;
        while (at < width) {
            const int32_t run = readRun(colour);
            if (run < 0) {
                return false;
            }
            if (at + run > width) {
                error = "run beyond the row";
                return false;
            }
            at += run;
            colour ^= 1;
            if (!change(at)) {
                return false;
            }
        }
        return true;
    }

    bool decodeTwoDimensional() {
        int32_t a0 = -1;
        int32_t colour = kWhite;
        std::size_t b = 0;  // search start in the reference changes
        while (a0 < width) {
            // b1: the first change of the reference row right of a0 to the colour opposite a0's;
            // changes at even indices turn black, at odd indices white.
            while (reference[b] <= a0 || static_cast<int32_t>(b % 2) != colour) {
                if (reference[b] >= width) {
                    break;
                }
                ++b;
            }
            const int32_t b1 = reference[b];
            const int32_t b2 = b1 >= width ? width : reference[b + 1];
            const uint32_t index = bits.peek(7);
            // Mode values are signed: -3 to 3 are vertical offsets, the rest are negative codes.
            const int32_t mode = modeValues[index];  // NOLINT(bugprone-signed-char-misuse)
            const int32_t start = std::max(a0, 0);
            if (mode == G34_MODE_NONE) {
                error = "no two-dimensional code";
                return false;
            }
            bits.skip(modeLengths[index]);
            if (mode == G34_MODE_PASS) {
                if (b2 < start) {
                    error = "pass code behind the position";
                    return false;
                }
                a0 = b2;
            } else if (mode == G34_MODE_HORIZONTAL) {
                const int32_t first = readRun(colour);
                const int32_t second = first < 0 ? -1 : readRun(colour ^ 1);
                if (second < 0) {
                    return false;
                }
                if (start + first + second > width) {
                    error = "run beyond the row";
                    return false;
                }
                if (!change(start + first) || !change(start + first + second)) {
                    return false;
                }
                a0 = start + first + second;
            } else {
                const int32_t a1 = b1 + mode;
                if (a1 < start || a1 > width) {
                    error = "vertical code outside the row";
                    return false;
                }
                if (!change(a1)) {
                    return false;
                }
                a0 = a1;
                colour ^= 1;
            }
            if (b > 0) {
                --b;  // b1 of the next step may lie one change back
            }
        }
        return true;
    }
};

RowDecoder::RowDecoder(int32_t width, Coding coding, bool byteAligned)
    : state_(std::make_unique<State>(width, coding, byteAligned)) {}

RowDecoder::~RowDecoder() = default;

void RowDecoder::start(ByteSource &source, bool msbFirst) {
    State &s = *state_;
    s.bits.start(source, msbFirst);
    s.reference.assign({s.width, s.width});
    s.row = 0;
}

bool RowDecoder::next(std::vector<int32_t> &runs, std::string &error) {
    State &s = *state_;
    const bool eols = s.coding == Coding::G3 || s.coding == Coding::G3_2D;
    if (s.row > 0 && (s.byteAligned || s.coding == Coding::MH)) {
        if (eols) {
            s.alignRow();
        } else {
            s.bits.align();
        }
    }
    bool twoDimensional = s.coding == Coding::G4;
    if (eols) {
        if (!s.skipEol()) {
            error = s.error;
            return false;
        }
        if (s.coding == Coding::G3_2D) {
            twoDimensional = s.bits.peek(1) == 0;
            s.bits.skip(1);
        }
    }
    s.changes.clear();
    if (!(twoDimensional ? s.decodeTwoDimensional() : s.decodeOneDimensional())) {
        error = s.error + " in row " + std::to_string(s.row);
        return false;
    }
    // The changes alternate white to black and black to white: the black runs are their pairs.
    runs.assign(s.changes.begin(), s.changes.end());
    if (runs.size() % 2 != 0) {
        runs.push_back(s.width);
    }
    s.changes.push_back(s.width);
    s.changes.push_back(s.width);
    s.reference.swap(s.changes);
    ++s.row;
    return true;
}

bool decode(std::span<const uint8_t> data, int32_t width, int32_t height, Coding coding, bool msbFirst, Image &image,
            std::string &error, bool byteAligned) {
    image.width = width;
    image.height = height;
    const auto rowBytes = static_cast<std::size_t>(width);
    image.pixels.assign(rowBytes * static_cast<std::size_t>(height), 0);
    SpanSource source(data);
    RowDecoder decoder(width, coding, byteAligned);
    decoder.start(source, msbFirst);
    std::vector<int32_t> runs;
    std::vector<uint8_t> row(rowBytes);
    for (int32_t y = 0; y < height; ++y) {
        if (!decoder.next(runs, error)) {
            return false;
        }
        // The black runs become the zero bytes of the row; the image keeps 1 for black.
        ExpandRuns(row.data(), runs.data(), static_cast<int32_t>(runs.size()), width);
        uint8_t *pixels = image.pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        for (std::size_t x = 0; x < rowBytes; ++x) {
            pixels[x] = row[x] == 0 ? 1 : 0;
        }
    }
    return true;
}

std::vector<uint8_t> toPbm(const Image &image) {
    std::string header = "P4\n" + std::to_string(image.width) + " " + std::to_string(image.height) + "\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    const std::size_t rowBytes = (static_cast<std::size_t>(image.width) + 7) / 8;
    for (int32_t y = 0; y < image.height; ++y) {
        std::vector<uint8_t> row(rowBytes, 0);
        for (int32_t x = 0; x < image.width; ++x) {
            if (image.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(image.width) +
                             static_cast<std::size_t>(x)] != 0) {
                row[static_cast<std::size_t>(x) / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

}  // namespace vutil::tool::fax
