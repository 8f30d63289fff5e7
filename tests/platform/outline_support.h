// Native glyph outline records read back as contours of points marked on or off the curve.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace vutil::test {

struct RecordPoint {
    int32_t x, y;  // 16.16
    bool on;
    bool operator==(const RecordPoint &) const = default;
};

/// Each contour: its start point, then every record's points; in a spline record all but the last are control
/// points. Only well-formed records are expected here.
inline std::vector<std::vector<RecordPoint>> readRecords(const std::vector<uint8_t> &bytes) {
    auto at32 = [&](std::size_t i) {
        int32_t v;
        std::memcpy(&v, &bytes[i], 4);  // little-endian, as this host
        return v;
    };
    std::vector<std::vector<RecordPoint>> contours;
    for (std::size_t at = 0; at < bytes.size(); at += static_cast<std::size_t>(at32(at))) {
        std::vector<RecordPoint> c{{at32(at + 8), at32(at + 12), true}};
        for (std::size_t r = at + 16; r < at + static_cast<std::size_t>(at32(at));) {
            const int type = bytes[r] | bytes[r + 1] << 8;
            const int count = bytes[r + 2] | bytes[r + 3] << 8;
            for (int i = 0; i < count; ++i) {
                c.push_back({at32(r + 4 + 8 * i), at32(r + 8 + 8 * i), type == 1 || i == count - 1});
            }
            r += 4 + 8 * static_cast<std::size_t>(count);
        }
        contours.push_back(c);
    }
    return contours;
}

}  // namespace vutil::test
