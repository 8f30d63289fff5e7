// Tests of global memory blocks: movable and fixed handles, lock counts, zero fill and the failure seam.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/memory.h"
#include "vutil/platform.h"

namespace {

TEST(GlobalMemory, MovableBlocksCountLocks) {
    HGLOBAL block = GlobalAlloc(GHND, 100);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 100u);
    auto *first = static_cast<unsigned char *>(GlobalLock(block));
    ASSERT_NE(first, nullptr);
    EXPECT_NE(static_cast<void *>(first), static_cast<void *>(block)) << "a movable handle is not the address";
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(first[i], 0) << "zero-filled";
    }
    EXPECT_EQ(GlobalLock(block), first);
    EXPECT_EQ(GlobalUnlock(block), 1) << "still locked once";
    EXPECT_EQ(GlobalUnlock(block), 0) << "now unlocked";
    EXPECT_EQ(GlobalUnlock(block), 0) << "unlocking an unlocked block";
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, FixedBlocksAreTheirOwnAddress) {
    HGLOBAL block = GlobalAlloc(GPTR, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalLock(block), static_cast<void *>(block));
    std::memset(block, 0xAB, 16);
    EXPECT_EQ(GlobalSize(block), 16u);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, BadHandlesAreRefused) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 8);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_EQ(GlobalSize(nullptr), 0u);
    EXPECT_EQ(GlobalUnlock(nullptr), 0);
}

TEST(GlobalMemory, EmptyMovableBlocksHaveNothingToLock) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 0);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalLock(block), nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemory, ImpossibleSizesFail) {
    EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX), nullptr);
    EXPECT_EQ(GlobalAlloc(GHND, SIZE_MAX - 8), nullptr);
}

TEST(GlobalMemory, FailureSeamAndLeakCount) {
    const std::size_t before = vutil::platform::globalBlocksInUse();
    vutil::platform::setGlobalAllocFailureAfter(1);
    HGLOBAL ok = GlobalAlloc(GHND, 4);
    HGLOBAL failed = GlobalAlloc(GHND, 4);
    HGLOBAL again = GlobalAlloc(GHND, 4);
    vutil::platform::setGlobalAllocFailureAfter(-1);
    EXPECT_NE(ok, nullptr);
    EXPECT_EQ(failed, nullptr);
    EXPECT_NE(again, nullptr) << "only one allocation fails";
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), before + 2);
    GlobalFree(ok);
    GlobalFree(again);
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), before);
    {
        vutil::platform::LockedGlobal scoped(GHND, 64);
        ASSERT_TRUE(scoped);
        EXPECT_EQ(vutil::platform::globalBlocksInUse(), before + 1);
    }
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), before);
}

}  // namespace
