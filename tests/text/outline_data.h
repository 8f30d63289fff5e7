// The outlines FreeType reads from DejaVu Sans, drawn as the outline path draws them, kept in
// data/outline_dejavu.txt for hosts whose outlines come from elsewhere (GDI on Windows). Each case: a line with
// the text, the style bits and the number of segments, then one line per segment: x and y of both ends.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/text/segments.h"

namespace vutil::test {

struct OutlineCase {
    std::string text;  // no blanks
    int32_t style;
    Segs segs;
};

/// The texts and styles kept, each at a height and width of 64.
inline const std::vector<std::pair<std::string, int32_t>> kOutlineCases = {
    {"Ag", 0}, {"Hello,world!", 0}, {"Ag", TTXT_BOLD}, {"%&@", 0}};

inline std::string outlineDataPath() { return VUTIL_TEXT_DATA "/outline_dejavu.txt"; }

inline std::vector<OutlineCase> readOutlineData() {
    std::ifstream in(outlineDataPath());
    std::vector<OutlineCase> cases;
    OutlineCase c;
    std::size_t count = 0;
    while (in >> c.text >> c.style >> count) {
        c.segs.assign(count, {});
        for (auto &s : c.segs) in >> s[0] >> s[1] >> s[3] >> s[4];
        cases.push_back(c);
    }
    return cases;
}

inline std::string formatOutlineData(const std::vector<OutlineCase> &cases) {
    std::ostringstream out;
    for (const OutlineCase &c : cases) {
        out << c.text << ' ' << c.style << ' ' << c.segs.size() << '\n';
        for (const auto &s : c.segs) out << s[0] << ' ' << s[1] << ' ' << s[3] << ' ' << s[4] << '\n';
    }
    return out.str();
}

}  // namespace vutil::test
