// Tests of the host font layer against FreeType itself: sizes, and the native records of glyphs of named font files
// (DejaVuSans.ttf for quadratic outlines, GilliusADF-Regular.otf for cubic ones, DejaVuMathTeXGyre.ttf as a face in
// one weight) point for point. tools/packages names their Debian packages; a test whose file is missing skips.
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/font.h"
#include "tests/platform/font_support.h"

namespace {

using vutil::platform::Font;
using vutil::platform::FontRequest;
using vutil::platform::GlyphMetrics;
using vutil::platform::kGlyphError;
using Point = vutil::test::RecordPoint;
using Contours = std::vector<std::vector<Point>>;

constexpr const char *kQuadraticFace = "DejaVu Sans";
constexpr const char *kCubicFace = "Gillius ADF";

FontRequest request(const char *face, int32_t width = 64, int32_t weight = 400) {
    FontRequest r;
    r.height = 64;
    r.width = width;
    r.weight = weight;
    r.faceName = face;
    return r;
}

/// The glyph's records read back as contours, with its metrics.
Contours recordsOf(Font &font, char c, GlyphMetrics &metrics) {
    const uint32_t size = font.glyphOutline(static_cast<unsigned char>(c), metrics, {});
    std::vector<uint8_t> bytes(size == kGlyphError ? 0 : size);
    EXPECT_NE(size, kGlyphError);
    EXPECT_EQ(font.glyphOutline(static_cast<unsigned char>(c), metrics, bytes), size);
    return vutil::test::readRecords(bytes);
}

/// FreeType's outline of the glyph, in 16.16 and marked on or off the curve.
Contours freeTypeContours(vutil::test::DirectFace &direct, char c) {
    const FT_Outline &outline = direct.load(c);
    Contours contours;
    for (int i = 0, k = 0; k < outline.n_contours; ++k) {
        contours.emplace_back();
        for (; i <= outline.contours[k]; ++i) {
            contours.back().push_back({static_cast<int32_t>(outline.points[i].x * 1024),
                                       static_cast<int32_t>(outline.points[i].y * 1024),
                                       FT_CURVE_TAG(outline.tags[i]) == FT_CURVE_TAG_ON});
        }
    }
    return contours;
}

/// Skips the test unless the font was read from the named file (the set-up installs its Debian package).
#define FROM_FILE_OR_SKIP(font, file, package)                                                                \
    if (!(font) || (font).fileName().substr((font).fileName().find_last_of('/') + 1) != (file)) {             \
        GTEST_SKIP() << (file) << " (Debian " << (package) << ") is not installed; the face found is " << '"' \
                     << (font).fileName() << '"';                                                             \
    }

TEST(HostFont, QuadraticGlyphsAreFreeTypesOutlinesPointForPoint) {
    Font font(request(kQuadraticFace));
    FROM_FILE_OR_SKIP(font, "DejaVuSans.ttf", "fonts-dejavu-core");
    vutil::test::DirectFace direct(font);
    for (const char c : std::string("Ag@&O8%e")) {
        GlyphMetrics metrics;
        const Contours ours = recordsOf(font, c, metrics);
        const Contours theirs = freeTypeContours(direct, c);
        EXPECT_EQ(metrics.cellIncX, (direct.face()->glyph->advance.x + 32) >> 6) << c;
        ASSERT_EQ(ours.size(), theirs.size()) << c;
        for (std::size_t k = 0; k < ours.size(); ++k) {
            // A contour that closes with a spline repeats its start; one opening between two control points
            // starts on the implied point between them.
            std::vector<Point> mine = ours[k];
            const std::vector<Point> &their = theirs[k];
            if (mine.size() > 1 && mine.back() == mine.front()) mine.pop_back();
            if (!their.front().on && !their.back().on) {
                EXPECT_EQ(mine.front().x, (their.front().x + their.back().x) / 2);
                mine.erase(mine.begin());
            }
            // The same cycle of points, from the start the records chose.
            ASSERT_EQ(mine.size(), their.size()) << c << " contour " << k;
            const std::size_t shift = std::find(their.begin(), their.end(), mine[0]) - their.begin();
            ASSERT_LT(shift, their.size()) << c << " contour " << k;
            for (std::size_t i = 0; i < mine.size(); ++i) {
                EXPECT_EQ(mine[i], their[(i + shift) % their.size()]) << c << " contour " << k << " point " << i;
            }
        }
    }
}

TEST(HostFont, CellHeightAverageWidthBoldAndBufferRules) {
    Font font(request(kQuadraticFace));
    FROM_FILE_OR_SKIP(font, "DejaVuSans.ttf", "fonts-dejavu-core");
    vutil::test::DirectFace direct(font);
    FT_Face face = direct.face();
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    ASSERT_NE(os2, nullptr);
    EXPECT_NEAR((os2->usWinAscent + os2->usWinDescent) * font.pixelsPerEmY() / face->units_per_EM, 64, 1.0);
    EXPECT_NEAR(font.metrics().height, 64, 1);
    EXPECT_EQ(font.metrics().internalLeading, font.metrics().height - std::lround(font.pixelsPerEmY()));
    EXPECT_NEAR(os2->xAvgCharWidth * font.pixelsPerEmX() / face->units_per_EM, 64, 0.5);
    // Width 0 keeps the face's aspect; a bold face, or a regular one thickened, has wider strokes.
    Font regular(request(kQuadraticFace, 0)), bold(request(kQuadraticFace, 0, 700));
    EXPECT_EQ(regular.pixelsPerEmX(), regular.pixelsPerEmY());
    GlyphMetrics boldMetrics, m;
    recordsOf(bold, 'l', boldMetrics);
    recordsOf(regular, 'l', m);
    EXPECT_GT(boldMetrics.cellIncX, m.cellIncX);
    // Widths are held between a 64th of the em height and 64 times it.
    FontRequest tall = request(kQuadraticFace, 1);
    tall.height = 6400;
    const Font narrow(tall);
    EXPECT_NEAR(narrow.pixelsPerEmX() * 64, narrow.pixelsPerEmY(), 0.5);
    EXPECT_NEAR(Font(request(kQuadraticFace, 1000000)).pixelsPerEmX() / 64, font.pixelsPerEmY(), 0.5 / 64);
    // The size asked first; a buffer one byte short is refused, a larger one is filled to the size only.
    const uint32_t size = regular.glyphOutline('B', m, {});
    ASSERT_NE(size, kGlyphError);
    std::vector<uint8_t> small(size - 1), roomy(size + 10, 0xEE);
    EXPECT_EQ(regular.glyphOutline('B', m, small), kGlyphError);
    EXPECT_EQ(regular.glyphOutline('B', m, roomy), size);
    EXPECT_EQ(roomy[size], 0xEE);
    // A character the face lacks (0x81 is unassigned in code page 1252) draws the face's missing-glyph outline.
    EXPECT_NE(regular.glyphOutline(0x81, m, {}), kGlyphError);
    EXPECT_EQ(regular.glyphOutline(' ', m, {}), 0u);
    EXPECT_GT(m.cellIncX, 0);
}

TEST(HostFont, AFaceWithoutABoldMemberIsThickenedByA24thOfTheEm) {
    FontRequest tall = request("DejaVu Math TeX Gyre", 0);
    tall.height = 640;
    Font math(tall);
    FROM_FILE_OR_SKIP(math, "DejaVuMathTeXGyre.ttf", "fonts-dejavu-extra");
    // Only a family of which fontconfig lists no member from semibold up can show the thickening.
    FcPattern *heavy = FcNameParse(reinterpret_cast<const FcChar8 *>("DejaVu Math TeX Gyre:weight=[180 300]"));
    FcObjectSet *file = FcObjectSetBuild(FC_FILE, nullptr);
    FcFontSet *members = FcFontList(nullptr, heavy, file);
    const int count = members != nullptr ? members->nfont : 0;
    FcObjectSetDestroy(file), FcPatternDestroy(heavy), members != nullptr ? FcFontSetDestroy(members) : void();
    if (count > 0) GTEST_SKIP() << "DejaVu Math TeX Gyre has a bold member on this host";
    tall.weight = 700;
    Font thickened(tall);
    GlyphMetrics m, boldMetrics;
    recordsOf(math, 'l', m);
    recordsOf(thickened, 'l', boldMetrics);
    EXPECT_NEAR(boldMetrics.cellIncX - m.cellIncX, thickened.pixelsPerEmY() / 24, 1.0) << thickened.fileName();
}

TEST(HostFont, CubicGlyphsBecomeQuadraticsThroughTheSameOnCurvePoints) {
    Font font(request(kCubicFace, 0));
    FROM_FILE_OR_SKIP(font, "GilliusADF-Regular.otf", "fonts-adf-gillius");
    vutil::test::DirectFace direct(font);
    ASSERT_STREQ(FT_Get_Font_Format(direct.face()), "CFF");
    for (const char c : std::string("Sog&")) {
        GlyphMetrics metrics;
        const Contours ours = recordsOf(font, c, metrics);
        const Contours theirs = freeTypeContours(direct, c);
        ASSERT_EQ(ours.size(), theirs.size()) << c;
        for (std::size_t k = 0; k < ours.size(); ++k) {
            // Every on-curve point of the cubic outline is an on-curve point of ours, in the same order.
            auto next = ours[k].begin();
            for (const Point &want : theirs[k]) {
                if (want.on) {
                    next = std::find(next, ours[k].end(), want);
                    EXPECT_NE(next, ours[k].end()) << c << " contour " << k;
                }
            }
        }
    }
}

}  // namespace
