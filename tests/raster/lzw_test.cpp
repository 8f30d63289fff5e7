// Tests of the LZW decoder on in-memory streams.
#include <gtest/gtest.h>

#include "raster/lzw_support.h"

namespace vutil::test {
namespace {

TEST(LzwProbe, RoundTrip) {
    for (DataKind kind : {DataKind::Text, DataKind::Records, DataKind::Random}) {
        Bytes data = makeData(kind, 300000);
        for (int width = 9; width <= 16; ++width) {
            for (bool block : {false, true}) {
                Bytes z = LzwEncoder(width, block, block ? 70000 : 0).encode(data);
                Decoded got = decodeWithLibrary(z);
                EXPECT_EQ(got.count, static_cast<int32_t>(data.size())) << width << block;
                EXPECT_TRUE(got.bytes == data) << width << " " << block;
                Decoded ref = decodeWithReference(z);
                EXPECT_TRUE(ref.bytes == data) << width << " " << block;
                EXPECT_EQ(countWithLibrary(z), static_cast<int32_t>(data.size()));
            }
        }
    }
}

}  // namespace
}  // namespace vutil::test
