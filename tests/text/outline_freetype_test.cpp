// Tests of outline text: the outline path against the outlines FreeType itself reads from the host's faces
// (DejaVu Sans and its kin). Cubic faces and the records themselves are checked in tests/platform.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "support/facts.h"
#include "platform/codepage.h"
#include "platform/font.h"
#include "platform/memory.h"
#include "tests/platform/font_support.h"
#include "support/temp_dir.h"
#include "tests/text/outline_data.h"
#include "tests/text/segments.h"

namespace {

using vutil::test::expectNear;
using vutil::test::Segs;
constexpr const char *kFace = "DejaVu Sans";
constexpr double kPi = 3.141592653589793;

vutil::platform::FontRequest request(const char *face, int32_t weight = 400, bool italic = false, int32_t turn = 0,
                                     int32_t width = 64) {
    vutil::platform::FontRequest r;
    r.height = 64, r.width = width;
    r.weight = weight, r.italic = italic, r.escapement = turn;
    r.faceName = face;
    return r;
}

/// True where fontconfig lists no font at all: only there do the outline tests skip.
bool noFonts() {
    FcConfig *config = FcInitLoadConfigAndFonts();
    const FcFontSet *set = config != nullptr ? FcConfigGetFonts(config, FcSetSystem) : nullptr;
    const bool none = set == nullptr || set->nfont == 0;
    if (config != nullptr) FcConfigDestroy(config);
    return none;
}

Segs outline(const char *face, const char *text, double height, double width, const double *matrix = nullptr,
             int32_t style = 0, double escapement = 0) {
    kor_logfont font{};
    std::strcpy(font.lfFaceName, face);
    Segs segs;
    ttxt(reinterpret_cast<intptr_t>(&segs), nullptr, text, &font, 0, 0, 0, height, width, escapement, 0, matrix, 0,
         style, 0, vutil::test::collect, 0);
    return segs;
}

/// The slant fontconfig gives a face where italic is asked of an upright one, then the escapement's turn.
FT_Matrix transform(const char *face, bool italic, int32_t tenths) {
    const std::string name = std::string(face) + (italic ? ":italic" : "");
    FcConfig *config = FcInitLoadConfigAndFonts();  // a configuration of its own, released here, as the library's
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name.c_str())), *found;
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcMatrix upright{1, 0, 0, 1}, *k = &upright;
    if ((found = FcFontMatch(config, pattern, &result)) != nullptr) FcPatternGetMatrix(found, FC_MATRIX, 0, &k);
    const double c = std::cos(tenths * kPi / 1800), s = std::sin(tenths * kPi / 1800);
    const FT_Matrix m{std::lround(65536 * (c * k->xx - s * k->yx)), std::lround(65536 * (c * k->xy - s * k->yy)),
                      std::lround(65536 * (s * k->xx + c * k->yx)), std::lround(65536 * (s * k->xy + c * k->yy))};
    FcPatternDestroy(found), FcPatternDestroy(pattern);
    if (config != nullptr) FcConfigDestroy(config);
    return m;
}

/// What the outline path draws for Unicode `chars` from the face FreeType reads at the font's size and `turn`: each
/// contour from its first point if on the curve, else from its last if that is, else from the point between them;
/// the point between two control points inserted; in whole pixels, halves up; closed through the start with its
/// fraction dropped, back to the first point drawn. Scaled, through the matrix, glyph after glyph by the advance.
Segs expected(const vutil::platform::Font &font, const std::u32string &chars, double sx, double sy,
              const double *matrix = nullptr, FT_Matrix turn = transform(kFace, false, 0)) {
    vutil::test::DirectFace direct(font);
    FT_Set_Transform(direct.face(), &turn, nullptr);
    const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1}, *m = matrix ? matrix : identity;
    double origin[3] = {0, 0, 0};
    Segs segs;
    for (const char32_t c : chars) {
        FT_Load_Glyph(direct.face(), c ? FT_Get_Char_Index(direct.face(), c) : 0,
                      FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
        const FT_Outline &o = direct.face()->glyph->outline;
        for (int k = 0, first = 0; k < o.n_contours; first = o.contours[k++] + 1) {
            struct P {
                double x, y;
                bool on;
            };  // x and y in 1/128 pixel
            std::vector<P> q;
            for (int i = first; i <= o.contours[k]; ++i)
                q.push_back({2.0 * o.points[i].x, 2.0 * o.points[i].y, FT_CURVE_TAG(o.tags[i]) == FT_CURVE_TAG_ON});
            P start = q[0];
            if (!q[0].on && q.back().on)
                start = q.back(), q.pop_back();
            else if (!q[0].on)
                start = {(q[0].x + q.back().x) / 2, (q[0].y + q.back().y) / 2, true};
            else
                q.erase(q.begin());
            q.push_back(start);  // drawn when the contour ends on a control point
            std::vector<std::array<double, 2>> drawn;
            auto half = [](double v) { return std::floor((v + 64) / 128); };
            for (std::size_t i = 0; i < q.size(); ++i) {
                const P &a = i ? q[i - 1] : start, &b = q[i];
                if (!a.on && !b.on) drawn.push_back({half((a.x + b.x) / 2), half((a.y + b.y) / 2)});
                if (i + 1 < q.size() || !a.on) drawn.push_back({half(b.x), half(b.y)});
            }
            drawn.push_back({std::floor(start.x / 128), std::floor(start.y / 128)});
            drawn.push_back(drawn.front());
            for (std::size_t i = 0; i + 1 < drawn.size(); ++i) {
                double e[6];
                for (int r = 0; r < 6; ++r) {
                    const auto &p = drawn[i + r / 3];
                    e[r] = origin[r % 3] + m[r % 3 * 3] * p[0] * sx + m[r % 3 * 3 + 1] * p[1] * sy;
                }
                segs.push_back({e[0], e[1], e[2], e[3], e[4], e[5]});
            }
        }
        for (int r = 0; r < 3; ++r)
            origin[r] += m[3 * r] * static_cast<double>((direct.face()->glyph->advance.x + 32) >> 6) * sx;
    }
    return segs;
}

// Every character of code page 1252 (0x81 has none: the face's missing glyph), at a height and width of their own,
// through a matrix; in the bold and oblique faces; enlarged by the face's ascent ratio; turned by the escapement
// (the horizontal advance then 0), with a synthetic oblique slanted as fontconfig says; a double-byte character of
// code page 932. A glyph that gets no memory is skipped without advancing, and asked for again where it comes again.
TEST(OutlineText, GlyphsAreFreeTypesOutlines) {
    if (noFonts()) GTEST_SKIP() << "no fonts on this host";
    const std::size_t blocksBefore = vutil::platform::globalBlocksInUse();
    const vutil::platform::Font plain(request(kFace)), bold(request(kFace, 700)), oblique(request(kFace, 400, true));
    ASSERT_TRUE(plain && bold && oblique);
    std::string text;
    std::u32string chars;
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(1252));
    for (int c = 32; c < 256; ++c) {
        text += static_cast<char>(c);
        const auto wide = vutil::platform::toWide(text.substr(text.size() - 1));
        chars += wide && wide->size() == 1 ? (*wide)[0] : 0;
    }
    const double m[9] = {0.5, -1.25, 0, 2, 0.75, 0, 0.25, -0.5, 1};
    // Twice over: a character met again draws as it did the first time.
    expectNear(outline(kFace, (text + text).c_str(), 128, 32, m), expected(plain, chars + chars, 0.5, 2, m));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_BOLD), expected(bold, U"Ag", 1, 1));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_ITALIC),
               expected(oblique, U"Ag", 1, 1, nullptr, transform(kFace, true, 0)));
    const vutil::platform::FontMetrics &fm = plain.metrics();
    const double ratio = static_cast<double>(fm.height) / (fm.ascent - fm.internalLeading - fm.externalLeading);
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_ASCENTHEIGHT), expected(plain, U"Ag", ratio, ratio));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_NATURALWIDTH),  // the face's own proportions
               expected(vutil::platform::Font(request(kFace, 400, false, 0, 0)), U"Ag", 1, 1));
    for (double meaningless : {1e300, double(NAN)})
        expectNear(outline(kFace, "Ag", 64, 64, nullptr, 0, meaningless), expected(plain, U"Ag", 1, 1));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, 0, kPi / 2),
               expected(vutil::platform::Font(request(kFace, 400, false, 900)), U"Ag", 1, 1, nullptr,
                        transform(kFace, false, 900)));
    const char *math = "DejaVu Math TeX Gyre";
    expectNear(outline(math, "Al", 64, 64, nullptr, TTXT_ITALIC, 300.5 / 1800 * kPi),
               expected(vutil::platform::Font(request(math, 400, true, 300)), U"Al", 1, 1, nullptr,
                        transform(math, true, 300)));
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(932));
    const Segs pair = outline(kFace, "\x83\xbfI", 64, 64);
    ASSERT_TRUE(vutil::platform::setAnsiCodePage(1252));
    expectNear(pair, expected(plain, U"\u03b1I", 1, 1));
    vutil::platform::setGlobalAllocFailureAfter(0);  // the first glyph's block fails
    const Segs skipped = outline(kFace, "ABA", 64, 64);
    vutil::platform::setGlobalAllocFailureAfter(-1);
    expectNear(skipped, expected(plain, U"BA", 1, 1));  // the second "A" is asked for anew
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), blocksBefore);
}

// The outlines kept for other hosts are FreeType's own; VUTIL_WRITE_OUTLINE_DATA=1 writes them anew.
TEST(OutlineText, TheKeptOutlinesAreFreeTypes) {
    if (noFonts()) GTEST_SKIP() << "no fonts on this host";
    std::vector<vutil::test::OutlineCase> cases;
    for (const auto &[text, style] : vutil::test::kOutlineCases) {
        const vutil::platform::Font font(request(kFace, style & TTXT_BOLD ? 700 : 400));
        std::u32string chars(text.begin(), text.end());
        cases.push_back({text, style, expected(font, chars, 1, 1)});
        expectNear(outline(kFace, text.c_str(), 64, 64, nullptr, style), cases.back().segs);
    }
    const std::string formatted = vutil::test::formatOutlineData(cases);
    if (const char *write = std::getenv("VUTIL_WRITE_OUTLINE_DATA"); write != nullptr && *write == '1')
        std::ofstream(vutil::test::outlineDataPath()) << formatted;
    EXPECT_EQ(vutil::test::TempDir::read(vutil::test::outlineDataPath()), formatted)
        << "write them anew with VUTIL_WRITE_OUTLINE_DATA=1";
}

}  // namespace
