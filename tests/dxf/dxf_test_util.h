// Small DXF drawings for the reader's tests, written as group-code pairs.
#pragma once

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "dxf.h"
#include "render.h"
#include "support/temp_dir.h"

namespace vutil::dxf::test {

using Pairs = std::vector<std::pair<int, std::string>>;

/// The pairs as DXF lines, with the line end given and each code led by the padding.
inline std::string lines(const Pairs &pairs, const char *end = "\n", const char *pad = "") {
    std::string out;
    for (const auto &[code, value] : pairs) {
        out += pad + std::to_string(code) + end + value + end;
    }
    return out;
}

/// A drawing of the given table records, blocks and entities, with the line end given.
inline std::string drawing(const Pairs &entities, const Pairs &tables = {}, const Pairs &blocks = {},
                           const char *end = "\n") {
    Pairs all = {{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {0, "ENDSEC"},
                 {0, "SECTION"}, {2, "TABLES"}};
    all.insert(all.end(), tables.begin(), tables.end());
    all.insert(all.end(), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "BLOCKS"}});
    all.insert(all.end(), blocks.begin(), blocks.end());
    all.insert(all.end(), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}});
    all.insert(all.end(), entities.begin(), entities.end());
    all.insert(all.end(), {{0, "ENDSEC"}, {0, "EOF"}});
    return lines(all, end);
}

inline Pairs line(double x1, double y1, double x2, double y2, const std::string &layer = "0", int colour = 256) {
    return {{0, "LINE"}, {8, layer},  {62, std::to_string(colour)}, {10, std::to_string(x1)},
            {20, std::to_string(y1)}, {11, std::to_string(x2)},    {21, std::to_string(y2)}};
}

inline Pairs block(const std::string &name, const Pairs &entities, double bx = 0, double by = 0) {
    Pairs out = {{0, "BLOCK"}, {8, "0"}, {2, name}, {70, "0"}, {10, std::to_string(bx)}, {20, std::to_string(by)}};
    out.insert(out.end(), entities.begin(), entities.end());
    out.push_back({0, "ENDBLK"});
    return out;
}

inline Pairs operator+(Pairs a, const Pairs &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

/// Reads and draws a drawing's text; the reader's verdict in ok and reason.
struct Drawn {
    bool ok = false;
    std::string reason;
    Drawing drawing;
    tool::Picture picture;
    RenderResult result;

    /// Every stroked point of the page.
    std::vector<tool::PagePoint> points() const {
        std::vector<tool::PagePoint> out;
        for (const auto &path : picture.paths) {
            if (!path.filled) {
                for (const auto &piece : path.pieces) {
                    out.insert(out.end(), piece.begin(), piece.end());
                }
            }
        }
        return out;
    }
    /// The length of every stroke of the page.
    double inkLength() const {
        double length = 0;
        for (const auto &path : picture.paths) {
            for (const auto &piece : path.pieces) {
                for (std::size_t i = 1; !path.filled && i < piece.size(); ++i) {
                    length += std::hypot(piece[i].x - piece[i - 1].x, piece[i].y - piece[i - 1].y);
                }
            }
        }
        return length;
    }
};

inline Drawn draw(const std::string &text, RenderOptions options = {}) {
    vutil::test::TempDir dir;
    Drawn d;
    d.ok = read(dir.write("t.dxf", text), d.drawing, d.reason);
    if (d.ok) {
        render(d.drawing, options, d.picture, d.result);
    }
    return d;
}

/// Options that show the square (0,0)-(100,100) on a 100 x 100 page, one pixel a unit.
inline RenderOptions unitPage() {
    RenderOptions o;
    o.width = o.height = 100;
    o.haveExtents = true;
    o.extents[0] = o.extents[1] = 0;
    o.extents[2] = o.extents[3] = 100;
    o.margin = 0;
    return o;
}

}  // namespace vutil::dxf::test
