// Tests of global memory blocks: movable and fixed handles, lock counts, zero fill and the failure seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "support/facts.h"
#include "platform/memory.h"
#include "vutil/platform.h"

namespace {

namespace pf = vutil::platform;

TEST(GlobalMemory, MovableBlocksCountLocksAndFixedOnesAreTheirOwnAddress) {
    HGLOBAL block = GlobalAlloc(GHND, 100);
    auto *first = static_cast<unsigned char *>(GlobalLock(block));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GlobalSize(block), 100u);
    EXPECT_NE(static_cast<void *>(first), static_cast<void *>(block)) << "a movable handle is not the address";
    // zero-filled
    // still locked once
    // now unlocked
    // unlocking an unlocked block
    vutil::test::expectFacts({FACT(std::count(first, first + 100, 0), 100), FACT(GlobalLock(block), first),
                              FACT(GlobalUnlock(block), 1), FACT(GlobalUnlock(block), 0), FACT(GlobalUnlock(block), 0),
                              FACT(GlobalFree(block), nullptr)});
    block = GlobalAlloc(GPTR, 16);
    EXPECT_EQ(GlobalLock(block), static_cast<void *>(block));
    std::memset(block, 0xAB, 16);
    vutil::test::expectFacts({FACT(GlobalSize(block), 16u), FACT(GlobalFree(block), nullptr)});
    block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 0);
    ASSERT_NE(block, nullptr);
    // an empty movable block has nothing to lock
    vutil::test::expectFacts({FACT(GlobalLock(block), nullptr), FACT(GlobalFree(block), nullptr)});
}

// The exported names are the library's own on POSIX hosts and the system's on Windows: both refuse bad handles
// and impossible sizes. The failure seam reaches the library's allocations (on Windows, not the system's).
TEST(GlobalMemory, BadHandlesImpossibleSizesAndTheFailureSeam) {
    vutil::test::expectFacts({FACT(GlobalLock(nullptr), nullptr), FACT(GlobalSize(nullptr), 0u),
                              FACT(GlobalAlloc(GHND, SIZE_MAX - 8), nullptr), FACT(pf::globalLock(nullptr), nullptr),
                              FACT(pf::globalSize(nullptr), 0u), FACT(pf::globalFree(nullptr), 0),
                              FACT(pf::globalAlloc(GHND, SIZE_MAX - 8), nullptr)});
    const std::size_t before = pf::globalBlocksInUse();
    pf::setGlobalAllocFailureAfter(2);
    HGLOBAL blocks[4];
    for (HGLOBAL &block : blocks) block = pf::globalAlloc(GHND, 4);
    pf::setGlobalAllocFailureAfter(-1);
    EXPECT_TRUE(blocks[0] != nullptr && blocks[1] != nullptr && blocks[3] != nullptr) << "only one allocation fails";
    vutil::test::expectFacts({FACT(blocks[2], nullptr), FACT(pf::globalBlocksInUse(), before + 3)});
    // The caller may give a block back with the exported name: the count sees it either way.
    GlobalFree(blocks[0]);
    for (HGLOBAL block : {blocks[1], blocks[3]}) EXPECT_TRUE(pf::globalFree(block));
    EXPECT_EQ(pf::globalBlocksInUse(), before);
}

}  // namespace
