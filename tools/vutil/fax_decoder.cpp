// A small CCITT Group 3/4 decoder for the vutil tool, driven by the library's lookup tables.
//
// Every code (runs, make-ups, EOL, two-dimensional modes) is recognised by one
// lookup in the tables of FillGroup34Tables; the decoder itself only keeps the
// bit position, the reference row and the current row.
#include "fax_decoder.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "vutil.h"

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

/// Bits of the data, first bit in bit 0 of each byte; zeros past the end.
class BitReader {
public:
    explicit BitReader(std::vector<uint8_t> data) : data_(std::move(data)) {}

    uint32_t peek(int n) const {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            value |= static_cast<uint32_t>(bit(position_ + static_cast<std::size_t>(i))) << i;
        }
        return value;
    }
    void skip(int n) { position_ += static_cast<std::size_t>(n); }
    bool atEnd() const { return position_ >= data_.size() * 8; }

private:
    int bit(std::size_t at) const { return at / 8 < data_.size() ? (data_[at / 8] >> (at % 8)) & 1 : 0; }

    std::vector<uint8_t> data_;
    std::size_t position_ = 0;
};

constexpr int32_t kWhite = 0;

class Decoder {
public:
    Decoder(BitReader &bits, const Tables &tables, Image &image, std::string &error)
        : bits_(bits), tables_(tables), image_(image), error_(error) {}

    bool run(Coding coding) {
        const std::size_t width = static_cast<std::size_t>(image_.width);
        // Changing elements of the reference row: the first row refers to an all-white row.
        reference_.assign({image_.width, image_.width});
        for (int32_t row = 0; row < image_.height; ++row) {
            bool twoDimensional = coding == Coding::G4;
            if (coding != Coding::G4) {
                if (!skipEol(row)) {
                    return false;
                }
                if (coding == Coding::G3_2D) {
                    twoDimensional = bits_.peek(1) == 0;
                    bits_.skip(1);
                }
            }
            uint8_t *pixels = image_.pixels.data() + static_cast<std::size_t>(row) * width;
            changes_.clear();
            if (!(twoDimensional ? decodeTwoDimensional(pixels) : decodeOneDimensional(pixels))) {
                error_ += " in row " + std::to_string(row);
                return false;
            }
            changes_.push_back(image_.width);
            changes_.push_back(image_.width);
            reference_.swap(changes_);
        }
        return true;
    }

private:
    /// Skips the EOL that may open a T.4 row, with any zero fill bits before it.
    bool skipEol(int32_t row) {
        for (;;) {
            const uint32_t index = bits_.peek(12);
            if (tables_.whiteRuns[index] == G34_RUN_EOL) {
                bits_.skip(tables_.whiteLengths[index]);
                return true;
            }
            if (index != 0 || bits_.atEnd()) {
                // No EOL here: rows may follow each other without one.
                if (bits_.atEnd()) {
                    error_ = "data ends before row " + std::to_string(row);
                    return false;
                }
                return true;
            }
            bits_.skip(1);  // a fill bit
        }
    }

    /// One run of a colour, make-up codes included; -1 when no valid code is there.
    int32_t readRun(int32_t colour) {
        int32_t total = 0;
        for (;;) {
            const bool white = colour == kWhite;
            const uint32_t index = bits_.peek(white ? 12 : 13);
            const int32_t value = white ? tables_.whiteRuns[index] : tables_.blackRuns[index];
            const int length = static_cast<uint8_t>(white ? tables_.whiteLengths[index] : tables_.blackLengths[index]);
            if (value < 0) {
                error_ = value == G34_RUN_EOL ? "unexpected EOL" : "invalid run code";
                return -1;
            }
            bits_.skip(length);
            total += value;
            if (value < 64) {
                return total;
            }
            if (total > image_.width) {
                error_ = "run longer than the row";
                return -1;
            }
        }
    }

    /// Paints pixels [from, to) of the row and records where the colour changes.
    bool paint(uint8_t *pixels, int32_t from, int32_t to, int32_t colour) {
        if (to < from || to > image_.width) {
            error_ = "run beyond the row";
            return false;
        }
        std::fill(pixels + from, pixels + to, static_cast<uint8_t>(colour));
        return true;
    }

    void change(int32_t at) {
        if (at < image_.width) {
            changes_.push_back(at);
        }
    }

    bool decodeOneDimensional(uint8_t *pixels) {
        int32_t at = 0;
        int32_t colour = kWhite;
        while (at < image_.width) {
            const int32_t run = readRun(colour);
            if (run < 0 || !paint(pixels, at, at + run, colour)) {
                return false;
            }
            at += run;
            colour ^= 1;
            change(at);
        }
        return true;
    }

    bool decodeTwoDimensional(uint8_t *pixels) {
        int32_t a0 = -1;
        int32_t colour = kWhite;
        std::size_t b = 0;  // search start in the reference changes
        while (a0 < image_.width) {
            // b1: the first change of the reference row right of a0 to the colour opposite a0's;
            // changes at even indices turn black, at odd indices white.
            while (reference_[b] <= a0 || static_cast<int32_t>(b % 2) != colour) {
                if (reference_[b] >= image_.width) {
                    break;
                }
                ++b;
            }
            const int32_t b1 = reference_[b];
            const int32_t b2 = b1 >= image_.width ? image_.width : reference_[b + 1];
            const uint32_t index = bits_.peek(7);
            // Mode values are signed: -3 to 3 are vertical offsets, the rest are negative codes.
            const int32_t mode = tables_.modeValues[index];  // NOLINT(bugprone-signed-char-misuse)
            const int32_t start = std::max(a0, 0);
            if (mode == G34_MODE_NONE) {
                error_ = "no two-dimensional code";
                return false;
            }
            bits_.skip(tables_.modeLengths[index]);
            if (mode == G34_MODE_PASS) {
                if (!paint(pixels, start, b2, colour)) {
                    return false;
                }
                a0 = b2;
            } else if (mode == G34_MODE_HORIZONTAL) {
                const int32_t first = readRun(colour);
                const int32_t second = first < 0 ? -1 : readRun(colour ^ 1);
                if (second < 0 || !paint(pixels, start, start + first, colour) ||
                    !paint(pixels, start + first, start + first + second, colour ^ 1)) {
                    return false;
                }
                change(start + first);
                change(start + first + second);
                a0 = start + first + second;
            } else {
                const int32_t a1 = b1 + mode;
                if (a1 < start || !paint(pixels, start, a1, colour)) {
                    error_ = "vertical code outside the row";
                    return false;
                }
                change(a1);
                a0 = a1;
                colour ^= 1;
            }
            if (b > 0) {
                --b;  // b1 of the next step may lie one change back
            }
        }
        return true;
    }

    BitReader &bits_;
    const Tables &tables_;
    Image &image_;
    std::string &error_;
    std::vector<int32_t> reference_;
    std::vector<int32_t> changes_;
};

}  // namespace

bool decode(std::span<const uint8_t> data, int32_t width, int32_t height, Coding coding, bool msbFirst, Image &image,
            std::string &error) {
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    std::vector<uint8_t> bytes(data.begin(), data.end());
    if (msbFirst) {
        swabbits(bytes.data(), static_cast<int32_t>(bytes.size()));
    }
    static const Tables tables;
    BitReader bits(std::move(bytes));
    Decoder decoder(bits, tables, image, error);
    return decoder.run(coding);
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
