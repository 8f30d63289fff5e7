// Lookup tables for decoding CCITT Group 3 (T.4) and Group 4 (T.6) fax data.
//
// Every index is the next n bits of coded data, first bit in bit 0, so a code
// of length L fills every index whose low L bits spell it: one lookup decodes
// one code of any length.
#include "raster/group34.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "frame/entry.h"
#include "platform/memory.h"

namespace vutil::raster {
namespace {

struct Code {
    int32_t value;
    const char *bits;  ///< first bit first
};

// T.4 white run codes: terminating (0-63) and make-up (64-1728).
constexpr Code kWhiteCodes[] = {
    {0, "00110101"},     {1, "000111"},       {2, "0111"},         {3, "1000"},         {4, "1011"},
    {5, "1100"},         {6, "1110"},         {7, "1111"},         {8, "10011"},        {9, "10100"},
    {10, "00111"},       {11, "01000"},       {12, "001000"},      {13, "000011"},      {14, "110100"},
    {15, "110101"},      {16, "101010"},      {17, "101011"},      {18, "0100111"},     {19, "0001100"},
    {20, "0001000"},     {21, "0010111"},     {22, "0000011"},     {23, "0000100"},     {24, "0101000"},
    {25, "0101011"},     {26, "0010011"},     {27, "0100100"},     {28, "0011000"},     {29, "00000010"},
    {30, "00000011"},    {31, "00011010"},    {32, "00011011"},    {33, "00010010"},    {34, "00010011"},
    {35, "00010100"},    {36, "00010101"},    {37, "00010110"},    {38, "00010111"},    {39, "00101000"},
    {40, "00101001"},    {41, "00101010"},    {42, "00101011"},    {43, "00101100"},    {44, "00101101"},
    {45, "00000100"},    {46, "00000101"},    {47, "00001010"},    {48, "00001011"},    {49, "01010010"},
    {50, "01010011"},    {51, "01010100"},    {52, "01010101"},    {53, "00100100"},    {54, "00100101"},
    {55, "01011000"},    {56, "01011001"},    {57, "01011010"},    {58, "01011011"},    {59, "01001010"},
    {60, "01001011"},    {61, "00110010"},    {62, "00110011"},    {63, "00110100"},    {64, "11011"},
    {128, "10010"},      {192, "010111"},     {256, "0110111"},    {320, "00110110"},   {384, "00110111"},
    {448, "01100100"},   {512, "01100101"},   {576, "01101000"},   {640, "01100111"},   {704, "011001100"},
    {768, "011001101"},  {832, "011010010"},  {896, "011010011"},  {960, "011010100"},  {1024, "011010101"},
    {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"}, {1344, "011011010"},
    {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"}, {1664, "011000"},
    {1728, "010011011"},
};

// T.4 black run codes: terminating (0-63) and make-up (64-1728).
constexpr Code kBlackCodes[] = {
    {0, "0000110111"},
    {1, "010"},
    {2, "11"},
    {3, "10"},
    {4, "011"},
    {5, "0011"},
    {6, "0010"},
    {7, "00011"},
    {8, "000101"},
    {9, "000100"},
    {10, "0000100"},
    {11, "0000101"},
    {12, "0000111"},
    {13, "00000100"},
    {14, "00000111"},
    {15, "000011000"},
    {16, "0000010111"},
    {17, "0000011000"},
    {18, "0000001000"},
    {19, "00001100111"},
    {20, "00001101000"},
    {21, "00001101100"},
    {22, "00000110111"},
    {23, "00000101000"},
    {24, "00000010111"},
    {25, "00000011000"},
    {26, "000011001010"},
    {27, "000011001011"},
    {28, "000011001100"},
    {29, "000011001101"},
    {30, "000001101000"},
    {31, "000001101001"},
    {32, "000001101010"},
    {33, "000001101011"},
    {34, "000011010010"},
    {35, "000011010011"},
    {36, "000011010100"},
    {37, "000011010101"},
    {38, "000011010110"},
    {39, "000011010111"},
    {40, "000001101100"},
    {41, "000001101101"},
    {42, "000011011010"},
    {43, "000011011011"},
    {44, "000001010100"},
    {45, "000001010101"},
    {46, "000001010110"},
    {47, "000001010111"},
    {48, "000001100100"},
    {49, "000001100101"},
    {50, "000001010010"},
    {51, "000001010011"},
    {52, "000000100100"},
    {53, "000000110111"},
    {54, "000000111000"},
    {55, "000000100111"},
    {56, "000000101000"},
    {57, "000001011000"},
    {58, "000001011001"},
    {59, "000000101011"},
    {60, "000000101100"},
    {61, "000001011010"},
    {62, "000001100110"},
    {63, "000001100111"},
    {64, "0000001111"},
    {128, "000011001000"},
    {192, "000011001001"},
    {256, "000001011011"},
    {320, "000000110011"},
    {384, "000000110100"},
    {448, "000000110101"},
    {512, "0000001101100"},
    {576, "0000001101101"},
    {640, "0000001001010"},
    {704, "0000001001011"},
    {768, "0000001001100"},
    {832, "0000001001101"},
    {896, "0000001110010"},
    {960, "0000001110011"},
    {1024, "0000001110100"},
    {1088, "0000001110101"},
    {1152, "0000001110110"},
    {1216, "0000001110111"},
    {1280, "0000001010010"},
    {1344, "0000001010011"},
    {1408, "0000001010100"},
    {1472, "0000001010101"},
    {1536, "0000001011010"},
    {1600, "0000001011011"},
    {1664, "0000001100100"},
    {1728, "0000001100101"},
};

// Extended make-up codes that both colours share, and the end-of-line code.
constexpr Code kSharedCodes[] = {
    {1792, "00000001000"},  {1856, "00000001100"},     {1920, "00000001101"},  {1984, "000000010010"},
    {2048, "000000010011"}, {2112, "000000010100"},    {2176, "000000010101"}, {2240, "000000010110"},
    {2304, "000000010111"}, {2368, "000000011100"},    {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"}, {kRunEol, "000000000001"},
};

// Two-dimensional mode codes.
constexpr Code kModeCodes[] = {
    {0, "1"},        {1, "011"},          {-1, "010"},
    {2, "000011"},   {-2, "000010"},      {3, "0000011"},
    {-3, "0000010"}, {kModePass, "0001"}, {kModeHorizontal, "001"},
};

constexpr int codeLength(const char *bits) noexcept {
    return static_cast<int>(std::char_traits<char>::length(bits));
}

constexpr uint32_t codeIndex(const char *bits) noexcept {
    uint32_t index = 0;
    for (int i = 0; bits[i] != '\0'; ++i) {
        index |= static_cast<uint32_t>(bits[i] == '1') << i;
    }
    return index;
}

/// Fills one run table (values and lengths) of `entries` entries for a set of codes.
void buildRunTable(int32_t *runs, int8_t *lengths, int tableBits, std::span<const Code> colourCodes) noexcept {
    const int entries = 1 << tableBits;
    std::fill_n(runs, entries, kRunInvalid);
    std::fill_n(lengths, entries, int8_t{0});
    auto place = [&](const Code &code) {
        runs[codeIndex(code.bits)] = code.value;
        lengths[codeIndex(code.bits)] = static_cast<int8_t>(codeLength(code.bits));
    };
    for (const Code &code : colourCodes) {
        place(code);
    }
    for (const Code &code : kSharedCodes) {
        place(code);
    }
    // Each code also owns every index whose higher bits are free. A code's own index lies below
    // 2^length; the copies above it are not spread again.
    for (int i = 1; i < entries / 2; ++i) {
        const int length = static_cast<uint8_t>(lengths[i]);  // 0 to 13
        if (length >= 1 && length < tableBits && i < (1 << length)) {
            for (int j = i + (1 << length); j < entries; j += 1 << length) {
                runs[j] = runs[i];
                lengths[j] = lengths[i];
            }
        }
    }
    for (int i = 0; i < entries; ++i) {
        if (runs[i] == kRunInvalid) {
            lengths[i] = 1;
        }
    }
}

void buildModeTable(int8_t *values, int8_t *lengths) noexcept {
    std::fill_n(values, kModeEntries, kModeNone);
    std::fill_n(lengths, kModeEntries, kModeNoneLength);
    for (const Code &code : kModeCodes) {
        const int length = codeLength(code.bits);
        for (uint32_t i = codeIndex(code.bits); i < kModeEntries; i += 1u << length) {
            values[i] = static_cast<int8_t>(code.value);
            lengths[i] = static_cast<int8_t>(length);
        }
    }
}

/// The six scratch blocks of a build, held module-wide so that the unload step
/// can release them should a build ever be left unfinished.
constexpr std::size_t kScratchBytes[6] = {kWhiteRunBytes,    kWhiteLengthBytes, kBlackRunBytes,
                                          kBlackLengthBytes, kModeValueBytes,   kModeLengthBytes};
constexpr uint32_t kScratchFlags = GMEM_SHARE | platform::kGmemMoveable;
HGLOBAL scratch[6] = {};
bool scratchHeld = false;

void freeScratch() noexcept {
    for (HGLOBAL &block : scratch) {
        if (block != nullptr) {
            platform::globalUnlock(block);
            platform::globalFree(block);
            block = nullptr;
        }
    }
    scratchHeld = false;
}

/// Builds into the six buffers given.
void build(int32_t *whiteRuns, int8_t *whiteLengths, int32_t *blackRuns, int8_t *blackLengths, int8_t *modeValues,
           int8_t *modeLengths) noexcept {
    buildRunTable(whiteRuns, whiteLengths, kWhiteBits, kWhiteCodes);
    buildRunTable(blackRuns, blackLengths, kBlackBits, kBlackCodes);
    buildModeTable(modeValues, modeLengths);
}

}  // namespace

void releaseGroup34Scratch() noexcept {
    if (scratchHeld) {
        freeScratch();
    }
}

void fillGroup34Tables(const Group34Tables &tables) noexcept {
    // The spare bytes past the entries carry no meaning; they are written as 0.
    std::memset(tables.whiteLengths.data(), 0, tables.whiteLengths.size());
    std::memset(tables.blackLengths.data(), 0, tables.blackLengths.size());
    std::memset(tables.modeValues.data(), 0, tables.modeValues.size());
    std::memset(tables.modeLengths.data(), 0, tables.modeLengths.size());

    static const bool registered = [] {
        frame::registerUnloadStep(frame::UnloadStep::Group34Scratch, releaseGroup34Scratch);
        return true;
    }();
    (void)registered;

    void *blocks[6] = {};
    bool haveScratch = true;
    scratchHeld = true;
    for (int i = 0; i < 6 && haveScratch; ++i) {
        scratch[i] = platform::globalAlloc(kScratchFlags, kScratchBytes[i]);
        blocks[i] = scratch[i] != nullptr ? platform::globalLock(scratch[i]) : nullptr;
        haveScratch = blocks[i] != nullptr;
    }
    if (haveScratch) {
        build(static_cast<int32_t *>(blocks[0]), static_cast<int8_t *>(blocks[1]), static_cast<int32_t *>(blocks[2]),
              static_cast<int8_t *>(blocks[3]), static_cast<int8_t *>(blocks[4]), static_cast<int8_t *>(blocks[5]));
        std::memcpy(tables.whiteRuns.data(), blocks[0], kWhiteEntries * sizeof(int32_t));
        std::memcpy(tables.whiteLengths.data(), blocks[1], kWhiteEntries);
        std::memcpy(tables.blackRuns.data(), blocks[2], kBlackEntries * sizeof(int32_t));
        std::memcpy(tables.blackLengths.data(), blocks[3], kBlackEntries);
        std::memcpy(tables.modeValues.data(), blocks[4], kModeEntries);
        std::memcpy(tables.modeLengths.data(), blocks[5], kModeEntries);
        freeScratch();
    } else {
        // Without scratch memory the tables are built where they belong.
        freeScratch();
        build(tables.whiteRuns.data(), tables.whiteLengths.data(), tables.blackRuns.data(), tables.blackLengths.data(),
              tables.modeValues.data(), tables.modeLengths.data());
    }
}

}  // namespace vutil::raster
