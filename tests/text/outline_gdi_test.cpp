// Tests of outline text on Windows, where GDI gives the outlines: DejaVu Sans against the outlines FreeType reads
// from the same face (kept in data/outline_dejavu.txt). GDI hints the outlines it gives (the native format has no
// unhinted form that the FreeType path would match), so points move by up to a pixel or two; none is added or
// lost, so every segment is there, near its FreeType place.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/font.h"
#include "tests/text/outline_data.h"

namespace {

using vutil::test::Segs;

TEST(OutlineText, GlyphsAreFreeTypesOutlinesHinted) {
    // The same face files the FreeType path read, made known to this process alone.
    int added = 0;
    for (const char *file : {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf"}) {
        added += AddFontResourceExA((std::string(VUTIL_DEJAVU_DIR "/") + file).c_str(), FR_PRIVATE, nullptr) > 0;
    }
    if (added < 2) GTEST_SKIP() << "the DejaVu faces are not at " VUTIL_DEJAVU_DIR;
    vutil::platform::FontRequest dejaVu;
    dejaVu.height = dejaVu.width = 64, dejaVu.weight = 400, dejaVu.faceName = "DejaVu Sans";
    const vutil::platform::Font chosen(dejaVu);
    ASSERT_TRUE(chosen);
    ASSERT_EQ(chosen.fileName(), "DejaVu Sans") << "the face GDI chose";
    const auto cases = vutil::test::readOutlineData();
    ASSERT_EQ(cases.size(), vutil::test::kOutlineCases.size());
    double worst = 0;
    for (const auto &kept : cases) {
        SCOPED_TRACE(kept.text);
        kor_logfont font{};
        std::strcpy(font.lfFaceName, "DejaVu Sans");
        Segs segs;
        ttxt(reinterpret_cast<intptr_t>(&segs), nullptr, kept.text.c_str(), &font, 0, 0, 0, 64, 64, 0, 0, nullptr, 0,
             kept.style, 0, vutil::test::collect, 0);
        ASSERT_EQ(segs.size(), kept.segs.size());
        for (std::size_t i = 0; i < segs.size(); ++i) {
            for (int k : {0, 1, 3, 4}) worst = std::max(worst, std::fabs(segs[i][k] - kept.segs[i][k]));
            EXPECT_TRUE(segs[i][2] == 0 && segs[i][5] == 0) << i;
        }
    }
    // Grid fitting moves a point by less than a pixel, and the pen, at the hinted advance, by a pixel at most.
    EXPECT_LE(worst, 2.0) << "pixels between a hinted point and FreeType's";
    std::printf("outline: worst distance from FreeType's %g pixels\n", worst);
}

}  // namespace
