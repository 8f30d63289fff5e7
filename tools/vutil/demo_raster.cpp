// Demo section: codecs, raster and colour.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "demo.h"
#include "palette_svg.h"
#include "vutil.h"

namespace vutil::tool::demo {
namespace {

/// Two lines of text as ncompress 4.2.4.6 wrote them with `compress -b 16`.
const uint8_t kCompressedText[] = {
    0x1f, 0x9d, 0x90, 0x41, 0x40, 0xb8, 0xd0, 0x02, 0x62, 0x0e, 0x1d, 0x39, 0x65, 0xc2, 0xb4, 0x01, 0xd1, 0x26,
    0x0c, 0x99, 0x32, 0x20, 0xc4, 0xe4, 0x01, 0xe1, 0x66, 0xcc, 0x9b, 0x36, 0x70, 0x10, 0xce, 0x99, 0xa3, 0x03,
    0x04, 0x1d, 0x34, 0x69, 0xe6, 0x78, 0x2c, 0x83, 0x87, 0x0e, 0x0b, 0x10, 0x16, 0x31, 0x6a, 0x9c, 0x53, 0x86,
    0x0c, 0x88, 0x3b, 0x69, 0x3e, 0xa2, 0xbc, 0x98, 0xb1, 0xcc, 0x46, 0x10, 0x2d, 0xc4, 0x80, 0x88, 0x61, 0xc3,
    0x85, 0x02, 0x2a, 0x68, 0x20, 0xda, 0x49, 0x53, 0xe6, 0x4e, 0x19, 0x39, 0x20, 0x48, 0xc2, 0x09, 0xe3, 0x86,
    0x8c, 0x48, 0x32, 0x72, 0xc2, 0xc0, 0x74, 0x73, 0x46, 0x24, 0x9b, 0x34, 0x6b, 0x20, 0x7e, 0x0c, 0x09, 0xe2,
    0x8d, 0x1b, 0x88, 0x69, 0xdc, 0xd0, 0x79, 0x03, 0x22, 0xcc, 0x48, 0x8c, 0x6f, 0xa2, 0xca, 0x99, 0x68, 0x26,
    0x0d, 0x1b, 0x88, 0x62, 0xca, 0x98, 0x49, 0x0b, 0x11, 0xa1, 0xc3, 0xb0, 0x67, 0x3c, 0x06, 0x6d, 0xe3, 0x13};

}  // namespace

void rasterSection(Context &context) {
    std::FILE *out = context.out;
    const std::string compressed = context.outputDirectory + "/drawing.Z";
    const std::string expanded = context.outputDirectory + "/drawing.txt";
    context.writeFile("drawing.Z", {reinterpret_cast<const char *>(kCompressedText), sizeof kCompressedText});
    const int32_t size = KOR_decompress(compressed.c_str(), nullptr, 0);
    const int32_t written = KOR_decompress(compressed.c_str(), expanded.c_str(), 0);
    std::fprintf(out, "KOR_decompress: %zu compressed bytes expand to %d bytes (counted first, then %d written)\n",
                 sizeof kCompressedText, size, written);
    const std::string peek = context.outputDirectory + "/drawing-head.txt";
    std::fprintf(out, "  a peek at the first 20 bytes: %d bytes\n",
                 KOR_decompress(compressed.c_str(), peek.c_str(), 20));
    std::ifstream text(expanded);
    for (std::string line; std::getline(text, line);) {
        std::fprintf(out, "  | %s\n", line.c_str());
    }

    std::vector<int32_t> whiteRuns(G34_WHITE_RUNS_BYTES / 4), blackRuns(G34_BLACK_RUNS_BYTES / 4);
    std::vector<int8_t> whiteLengths(G34_WHITE_LENGTHS_BYTES), blackLengths(G34_BLACK_LENGTHS_BYTES);
    std::vector<int8_t> modes(G34_MODE_VALUES_BYTES), modeLengths(G34_MODE_LENGTHS_BYTES);
    FillGroup34Tables(whiteRuns.data(), whiteLengths.data(), blackRuns.data(), blackLengths.data(), modes.data(),
                      modeLengths.data());
    std::fprintf(
        out,
        "Group 3/4 tables: white code 00110101 (index 172) is run %d, %d bits; black 0000110111 is run %d, %d bits\n",
        whiteRuns[172], whiteLengths[172], blackRuns[0x3B0], blackLengths[0x3B0]);

    const uint8_t row[] = {0, 0, 255, 255, 0, 255, 0, 0};
    int32_t runs[8 + 2];
    const int32_t count = MakeRuns(runs, row, 8, 8, 1);
    std::fprintf(out, "MakeRuns of 0 0 255 255 0 255 0 0:");
    for (int32_t i = 0; i < count; i += 2) {
        std::fprintf(out, " [%d,%d)", runs[i], runs[i + 1]);
    }
    std::fprintf(out, "\n");

    kor_tile_request request{};
    for (int a = 0; a < 3; ++a) {
        request.tileSize[a] = 40;
        request.extentsMax[a] = 100;
        request.scale[a] = 1;
        request.gap[a] = 2;
    }
    if (KOR_TileRect(&request) == 1 && request.tiles != nullptr) {
        const auto *block = static_cast<const uint8_t *>(GlobalLock(request.tiles));
        int32_t rows, columns;
        double tile[6];
        std::memcpy(&rows, block, 4);
        std::memcpy(&columns, block + 4, 4);
        std::fprintf(out, "KOR_TileRect of 100 x 100 in tiles of 40 with gap 2: %d x %d tiles; first row:", rows,
                     columns);
        for (int32_t c = 0; c < columns; ++c) {
            std::memcpy(tile, block + 8 + std::size_t{48} * static_cast<std::size_t>(c), sizeof tile);
            std::fprintf(out, " %g-%g", tile[0], tile[3]);
        }
        std::fprintf(out, "\n");
        GlobalUnlock(request.tiles);
        GlobalFree(request.tiles);
    }

    const uint32_t colour = GetAcadRGBColor(11);
    std::fprintf(out, "AutoCAD colour 11 is RGB(%u, %u, %u); white is pseudo-true-colour index %d\n", colour & 0xFF,
                 (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, GetPseudoTrueColorIndex(0xFFFFFF));
    const std::string svg = paletteSvg();
    context.writeFile("palette.svg", svg);
    std::fprintf(out, "palette.svg: the 256 AutoCAD colours and the 16-colour, grey and pseudo-true-colour maps\n");
}

}  // namespace vutil::tool::demo
