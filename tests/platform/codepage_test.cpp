// Tests of the ANSI code page: lead bytes and conversions to and from wide text.
#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

namespace pf = vutil::platform;

class CodePage : public ::testing::Test {
protected:
    void TearDown() override { pf::setAnsiCodePage(1252); }
};

TEST_F(CodePage, SingleByteByDefaultHasNoLeadBytes) {
    ASSERT_TRUE(pf::setAnsiCodePage(1252));
    for (int b = 0; b < 256; ++b) {
        EXPECT_FALSE(pf::isLeadByte(static_cast<uint8_t>(b))) << b;
    }
    auto wide = pf::toWide("caf\xE9 \x80");
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, u"caf\u00e9 \u20ac");
    auto back = pf::fromWide(*wide);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, "caf\xE9 \x80");
}

// Every byte of every double-byte code page: the lead bytes are exactly the published ranges.
TEST_F(CodePage, DoubleByteCodePagesHaveTheirLeadRanges) {
    for (uint32_t page : {932u, 936u, 949u, 950u}) {
        ASSERT_TRUE(pf::setAnsiCodePage(page));
        EXPECT_EQ(pf::ansiCodePage(), page);
        for (int b = 0; b < 256; ++b) {
            const bool lead = page == 932 ? (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC) : b >= 0x81 && b <= 0xFE;
            EXPECT_EQ(pf::isLeadByte(static_cast<uint8_t>(b)), lead) << page << " " << b;
        }
    }
    ASSERT_TRUE(pf::setAnsiCodePage(932));
    auto wide = pf::toWide("\x93\xfa\x96\x7b");  // "Japan" in Shift JIS
    ASSERT_TRUE(wide);
    EXPECT_EQ(*wide, u"\u65e5\u672c");
    EXPECT_FALSE(pf::toWide("\x81"));  // a lone lead byte is not valid text
}

TEST_F(CodePage, UnsupportedCodePagesAreRefused) {
    EXPECT_FALSE(pf::setAnsiCodePage(437));
    EXPECT_EQ(pf::ansiCodePage(), 1252u);
    EXPECT_FALSE(pf::fromWide(u"\u65e5"));  // no form in 1252
}

}  // namespace
