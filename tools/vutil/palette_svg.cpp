// The library's colour maps drawn as an SVG sheet of swatches.
#include "palette_svg.h"

#include <cstdio>
#include <vector>

#include "vutil.h"

namespace vutil::tool {
namespace {

struct Map {
    int bits = 0;
    std::vector<uint32_t> colours;
};

/// A driver whose set-colour-map operation keeps the map it is given.
int32_t keepMap(intptr_t context, int16_t bits, int32_t first, int32_t last, const uint8_t *red, const uint8_t *green,
                const uint8_t *blue) {
    // The context is the address of the map this driver fills.
    auto *map = reinterpret_cast<Map *>(context);  // NOLINT(performance-no-int-to-ptr)
    map->bits = bits;
    map->colours.clear();
    for (int32_t i = first; red != nullptr && i <= last; ++i) {
        map->colours.push_back(static_cast<uint32_t>(red[i]) | static_cast<uint32_t>(green[i]) << 8 |
                               static_cast<uint32_t>(blue[i]) << 16);
    }
    return 1;
}

Map mapOf(int32_t (*set)(intptr_t, const kor_output_driver *)) {
    kor_output_driver driver{};
    driver.set_colormap = keepMap;
    Map map;
    set(reinterpret_cast<intptr_t>(&map), &driver);
    return map;
}

std::string hex(uint32_t colour) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
    return text;
}

/// Black numbers on light swatches, white on dark ones.
const char *labelColour(uint32_t colour) {
    int luma = 299 * static_cast<int>(colour & 0xFF) + 587 * static_cast<int>((colour >> 8) & 0xFF) +
               114 * static_cast<int>((colour >> 16) & 0xFF);
    return luma > 128000 ? "#000" : "#fff";
}

/// One map as rows of 64 swatches under a title; returns where the next map begins.
int row(std::string &svg, const char *title, const Map &map, int y, int size) {
    svg += "<text x=\"10\" y=\"" + std::to_string(y - 6) + "\" font-size=\"14\">" + title + " (" +
           std::to_string(map.bits) + " bits)</text>\n";
    for (std::size_t i = 0; i < map.colours.size(); ++i) {
        svg += "<rect x=\"" + std::to_string(10 + static_cast<int>(i % 64) * size) + "\" y=\"" +
               std::to_string(y + static_cast<int>(i / 64) * size) + "\" width=\"" + std::to_string(size) +
               "\" height=\"" + std::to_string(size) + "\" fill=\"" + hex(map.colours[i]) + "\"/>\n";
    }
    return y + static_cast<int>((map.colours.size() + 63) / 64) * size + 30;
}

}  // namespace

std::string paletteSvg() {
    const int cell = 36;
    const int width = 20 + 16 * cell;
    std::string body;
    body += "<text x=\"10\" y=\"20\" font-size=\"16\">AutoCAD Color Index</text>\n";
    for (int i = 0; i < 256; ++i) {
        const uint32_t colour = GetAcadRGBColor(i);
        const int x = 10 + (i % 16) * cell, y = 30 + (i / 16) * cell;
        body += "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                std::to_string(cell - 2) + "\" height=\"" + std::to_string(cell - 2) + "\" fill=\"" + hex(colour) +
                "\"/><text x=\"" + std::to_string(x + cell / 2 - 1) + "\" y=\"" + std::to_string(y + cell / 2 + 3) +
                "\" font-size=\"11\" text-anchor=\"middle\" fill=\"" + labelColour(colour) + "\">" + std::to_string(i) +
                "</text>\n";
    }
    kor_output_driver driver{};
    driver.set_colormap = keepMap;
    Map grey;
    SetGrayColormap(reinterpret_cast<intptr_t>(&grey), &driver, 8);
    const int small = (16 * cell) / 64;
    int y = 30 + 16 * cell + 30;
    y = row(body, "16-colour map", mapOf(SetVGAColormap), y, small * 2);
    y = row(body, "Grey map", grey, y, small);
    y = row(body, "Pseudo-true-colour cube", mapOf(SetPseudoTrueColormap), y, small);
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
           std::to_string(y) +
           "\" font-family=\"sans-serif\">\n<rect width=\"100%\" height=\"100%\" fill=\"#ddd\"/>\n" + body + "</svg>\n";
}

}  // namespace vutil::tool
