// Fuzzes FillPolygon against the straightforward edge-by-edge fill: for any polygon the two must make
// the same callback calls in the same order.
//
// Input: a flags byte (bit 0: rectangle callback given; bit 1: x values full 32-bit), a step byte,
// then points. y values are 16-bit values divided by 16, so that the reference's scan over every line
// stays quick; x values are 16-bit or full 32-bit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/geometry/fill_oracle.h"
#include "vutil/geometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool withRect = (data[0] & 1) != 0;
    const bool wideX = (data[0] & 2) != 0;
    const int32_t step = static_cast<int32_t>(data[1]) - 128;
    const std::size_t pointBytes = wideX ? 6 : 4;
    std::vector<ipoint> points;
    for (std::size_t at = 2; at + pointBytes <= size && points.size() < 400; at += pointBytes) {
        int32_t x = 0;
        int16_t x16 = 0;
        int16_t y16 = 0;
        if (wideX) {
            std::memcpy(&x, data + at, 4);
            std::memcpy(&y16, data + at + 4, 2);
        } else {
            std::memcpy(&x16, data + at, 2);
            std::memcpy(&y16, data + at + 2, 2);
            x = x16;
        }
        points.push_back(ipoint{x, y16 / 16});
    }
    if (points.size() > 2 && (data[0] & 4) != 0) {
        points.push_back(points.front());
    }
    const auto expected = vutil::test::referenceCalls(points, step, withRect);
    const auto actual = vutil::test::libraryCalls(points, step, withRect);
    if (!(expected == actual)) {
        std::abort();
    }
    return 0;
}
