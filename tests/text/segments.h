// Test helpers for the text services: line segments collected from a callback, compared within a tolerance.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "vutil/text.h"

namespace vutil::test {

using Segs = std::vector<std::array<double, 6>>;  // x, y, z of both ends

inline void collect(intptr_t context, draw_device *, const double *a, const double *b, intptr_t) {
    reinterpret_cast<Segs *>(context)->push_back({a[0], a[1], a[2], b[0], b[1], b[2]});
}

inline void expectNear(const Segs &got, const Segs &want) {
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i)
        for (int k = 0; k < 6; ++k) ASSERT_NEAR(got[i][k], want[i][k], 1e-9) << "segment " << i;
}

}  // namespace vutil::test
