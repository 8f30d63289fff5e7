// Tests of the ANSI code page: lead bytes and conversions to and from wide text.
#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

namespace pf = vutil::platform;

// Every byte of every code page: the lead bytes are exactly the published ranges.
TEST(CodePage, LeadBytesAndConversions) {
    for (uint32_t page : {1252u, 936u, 949u, 950u, 932u}) {
        ASSERT_TRUE(pf::setAnsiCodePage(page));
        EXPECT_EQ(pf::ansiCodePage(), page);
        for (int b = 0; b < 256; ++b) {
            const bool lead = page == 1252  ? false
                              : page == 932 ? (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)
                                            : b >= 0x81 && b <= 0xFE;
            EXPECT_EQ(pf::isLeadByte(static_cast<uint8_t>(b)), lead) << page << " " << b;
        }
    }
    EXPECT_EQ(pf::toWide("\x93\xfa\x96\x7b"), u"\u65e5\u672c");  // "Japan" in Shift JIS
    EXPECT_FALSE(pf::toWide("\x81")) << "a lone lead byte is not valid text";
    EXPECT_FALSE(pf::setAnsiCodePage(437));
    EXPECT_EQ(pf::ansiCodePage(), 932u);
    ASSERT_TRUE(pf::setAnsiCodePage(1252));
    EXPECT_EQ(pf::toWide("caf\xE9 \x80"), u"caf\u00e9 \u20ac");
    EXPECT_EQ(pf::fromWide(u"caf\u00e9 \u20ac"), "caf\xE9 \x80");
    EXPECT_FALSE(pf::fromWide(u"\u65e5")) << "no form in 1252";
}

}  // namespace
