// Tests of the library frame: entry reasons, unload steps and the inert exports.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "support/facts.h"
#include "frame/entry.h"
#include "vutil/frame.h"

namespace {

using vutil::frame::entryPoint;
using vutil::frame::Reason;
using vutil::frame::UnloadStep;

std::vector<int> unloadOrder;
void releaseGroup34() noexcept { unloadOrder.push_back(0); }
void releaseOle() noexcept { unloadOrder.push_back(1); }

uint32_t code(Reason reason) { return static_cast<uint32_t>(reason); }

TEST(Entry, AttachStoresTheModuleHandleAndRefusesNull) {
    EXPECT_NE(vutil::frame::moduleHandle(), nullptr) << "the load hook attached the library";
    int marker = 0;
    void *saved = vutil::frame::moduleHandle();
    // a refused attach leaves the handle
    vutil::test::expectFacts({FACT(entryPoint(nullptr, code(Reason::ProcessAttach), nullptr), 0),
                              FACT(vutil::frame::moduleHandle(), saved),
                              FACT(entryPoint(&marker, code(Reason::ProcessAttach), nullptr), 1),
                              FACT(vutil::frame::moduleHandle(), &marker),
                              FACT(entryPoint(saved, code(Reason::ProcessAttach), nullptr), 1)});
}

TEST(Entry, ThreadReasonsAndUnknownReasonsDoNothing) {
    unloadOrder.clear();
    for (uint32_t reason : {code(Reason::ThreadAttach), code(Reason::ThreadDetach), 17u})
        EXPECT_EQ(entryPoint(nullptr, reason, nullptr), 1) << reason;
    EXPECT_TRUE(unloadOrder.empty());
}

TEST(Entry, DetachRunsTheUnloadStepsInTheirFixedOrder) {
    unloadOrder.clear();
    EXPECT_EQ(entryPoint(nullptr, code(Reason::ProcessDetach), nullptr), 1) << "nothing registered: succeeds";
    EXPECT_TRUE(unloadOrder.empty());

    // Registered in the opposite order, run in the fixed one.
    vutil::frame::registerUnloadStep(UnloadStep::OleBinding, releaseOle);
    vutil::frame::registerUnloadStep(UnloadStep::Group34Scratch, releaseGroup34);
    EXPECT_EQ(entryPoint(nullptr, code(Reason::ProcessDetach), nullptr), 1);
    EXPECT_EQ(unloadOrder, (std::vector<int>{0, 1}));
    vutil::frame::registerUnloadStep(UnloadStep::OleBinding, nullptr);
    vutil::frame::registerUnloadStep(UnloadStep::Group34Scratch, nullptr);
}

TEST(InertExports, AcceptAnythingAndReportNothing) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    _Error(nullptr), _Info("olelib|No memory to allocate enumerator list"), _InfoBox("%s %d", "x", 3),
        _InfoError(nullptr, 1, 2);
    print_diag("%s", nullptr), print_diag2(nullptr), KorOleCloseFile(nullptr), KorAssert(1, 2, 3, 4), KorBreak(0);
    KorBeginPrivateProfileCache(7), KorEndPrivateProfileCache(7), std::fflush(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    for (int32_t handle : {0, 1, -1, 63, 64, 1 << 30}) EXPECT_EQ(KorError(handle), 0) << handle;
    vutil::test::expectFacts({FACT(KorOleOpenFile(0xFFFFFFFFu), 0), FACT(GetMXRLANG(), 300)});
}

}  // namespace
