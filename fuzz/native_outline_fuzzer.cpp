// Fuzzes the walk of native glyph outline records with arbitrary buffers and sizes, against a straightforward
// walk that stores every contour's points first and draws them afterwards: both must hand out the same segments
// in the same order, and nothing may be read beyond the buffer (which is allocated to its exact size).
//
// Input: the records themselves.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "text/outline_text.h"

namespace {

using Point = std::pair<double, double>;

uint32_t u32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

int32_t i32(const uint8_t *p) {
    return static_cast<int32_t>(u32(p));
}

/// A 16.16 value rounded half up to whole units, by floating point.
double rounded(int64_t fixed) {
    return static_cast<double>(static_cast<int64_t>(std::floor(fixed / 65536.0 + 0.5)));
}

std::vector<std::pair<Point, Point>> reference(const uint8_t *data, std::size_t size) {
    std::vector<std::vector<Point>> contours;
    std::size_t at = 0;
    while (at + 16 <= size) {
        const std::size_t length = u32(data + at);
        if (length < 16) {
            break;
        }
        const std::size_t end = length > size - at ? size : at + length;
        if (u32(data + at + 4) == 24) {
            std::vector<Point> points;
            std::size_t r = at + 16;
            while (r + 4 <= end) {
                const unsigned type = data[r] | data[r + 1] << 8;
                const std::size_t count = data[r + 2] | data[r + 3] << 8;
                r += 4;
                std::vector<std::pair<int32_t, int32_t>> given;
                for (std::size_t i = 0; i < count && r + 8 * (i + 1) <= end; ++i) {
                    given.emplace_back(i32(data + r + 8 * i), i32(data + r + 8 * i + 4));
                }
                for (std::size_t i = 0; i < given.size(); ++i) {
                    const auto [x, y] = given[i];
                    if (type == 1) {
                        points.emplace_back(rounded(x), rounded(y));
                    } else if (type == 2) {
                        points.emplace_back(rounded(x), rounded(y));
                        if (i + 2 == given.size()) {
                            points.emplace_back(rounded(given[i + 1].first), rounded(given[i + 1].second));
                            break;
                        }
                        if (i + 1 < given.size()) {
                            // Halfway, truncated toward zero in fixed point.
                            const int64_t mx = (int64_t{x} + given[i + 1].first) / 2;
                            const int64_t my = (int64_t{y} + given[i + 1].second) / 2;
                            points.emplace_back(rounded(mx), rounded(my));
                        }
                    }
                }
                if (given.size() < count) {
                    break;
                }
                r += 8 * count;
            }
            points.emplace_back(std::floor(i32(data + at + 8) / 65536.0), std::floor(i32(data + at + 12) / 65536.0));
            points.push_back(points.front());
            contours.push_back(points);
        }
        at = end;
    }
    std::vector<std::pair<Point, Point>> segments;
    for (const auto &c : contours) {
        for (std::size_t i = 0; i + 1 < c.size(); ++i) {
            segments.emplace_back(c[i], c[i + 1]);
        }
    }
    return segments;
}

void collect(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    reinterpret_cast<std::vector<std::pair<Point, Point>> *>(context)->push_back(
        {{first[0], first[1]}, {second[0], second[1]}});
    if (first[2] != 0 || second[2] != 0) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // An exact copy, so that a read one byte past the end is seen.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size == 0 ? 1 : size]);
    if (size > 0) {
        std::memcpy(copy.get(), data, size);
    }
    std::vector<std::pair<Point, Point>> got;
    vutil::text::SegmentSink sink;
    sink.context = reinterpret_cast<intptr_t>(&got);
    sink.callback = collect;
    vutil::text::drawNativeOutline(std::span<const uint8_t>(copy.get(), size), {}, sink);
    if (got != reference(copy.get(), size)) {
        std::abort();
    }
    return 0;
}
