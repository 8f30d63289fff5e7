// Tests of outline text: the device path, and the outline path against the outlines FreeType itself reads from the
// host's faces (DejaVu Sans and its kin, quadratic; Gillius ADF, cubic).
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <gtest/gtest.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "platform/font.h"
#include "platform/memory.h"
#include "platform/outline_records.h"
#include "tests/platform/font_support.h"
#include "tests/text/segments.h"

namespace {

using vutil::test::expectNear;
using vutil::test::Segs;
constexpr const char *kFace = "DejaVu Sans";
constexpr double kPi = 3.141592653589793;

/// The device's text operation records its calls: the pointers, then every number in order.
struct TextCall {
    int calls = 0;
    const char *face, *text;
    std::vector<double> numbers;
} textCall;
void deviceText(intptr_t context, const char *face, const double *p, const double *p2, const char *text, double height,
                double width, double escapement, double orientation, int32_t kind, int32_t style, intptr_t user,
                int32_t backward, int32_t upsideDown) {
    textCall = {textCall.calls + 1,
                face,
                text,
                {double(context), p[0], p[1], p[2], p2[0], p2[1], p2[2], height, width, escapement, orientation,
                 double(kind), double(style), double(user), double(backward), double(upsideDown)}};
}

TEST(OutlineText, DevicePathHandsOverTheWholeString) {
    draw_device device{};
    device.text = deviceText;
    device.line = [](intptr_t, const double *, const double *, intptr_t) { ADD_FAILURE() << "a line"; };
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    font.lfWeight = 700;
    font.lfUnderline = 1;
    const char *text = "Hello";
    ttxt(5, &device, text, &font, 1, 2, 3, 10, 20, 0.5, 0.25, nullptr, TXT_BACKWARD | TXT_UPSIDEDOWN | 8, 0x100, 6,
         nullptr, 0);
    EXPECT_TRUE(textCall.calls == 1 && textCall.face == font.lfFaceName && textCall.text == text);
    EXPECT_EQ(textCall.numbers, (std::vector<double>{5, 1, 2, 3, 1, 2, 3, 10, 20, 0.5, 0.25, 8,
                                                     0x100 | TTXT_BOLD | TTXT_UNDERLINE, 6, 2, 4}));
    // Weight 600 is not bold; italic comes from the description; a unit diagonal still takes the device path.
    font = {};
    font.lfWeight = 600;
    font.lfItalic = 1;
    const double skewed[9] = {1, 0.5, 0, 0, 1, 0, 0, 0, 1};
    ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, skewed, 0, 0, 0, nullptr, 0);
    EXPECT_TRUE(textCall.calls == 2 && textCall.numbers[12] == TTXT_ITALIC);
    ttxt(0, nullptr, "x", &font, 0, 0, 0, 1, 1, 0, 0, nullptr, 0, 0, 0, nullptr, 0);  // no device: nothing
    // A diagonal entry other than 1 takes the outline path, here to no line operation.
    device.line = nullptr;
    for (const int entry : {0, 4, 8}) {
        double scaled[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        scaled[entry] = 2;
        ttxt(0, &device, "x", &font, 0, 0, 0, 1, 1, 0, 0, scaled, 0, 0, 0, nullptr, 0);
    }
    EXPECT_EQ(textCall.calls, 2);
}

vutil::platform::FontRequest request(const char *face, int32_t weight = 400, bool italic = false, int32_t turn = 0) {
    vutil::platform::FontRequest r;
    r.height = r.width = 64;
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
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>(name.c_str())), *found;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcMatrix upright{1, 0, 0, 1}, *k = &upright;
    if ((found = FcFontMatch(nullptr, pattern, &result)) != nullptr) FcPatternGetMatrix(found, FC_MATRIX, 0, &k);
    const double c = std::cos(tenths * kPi / 1800), s = std::sin(tenths * kPi / 1800);
    const FT_Matrix m{std::lround(65536 * (c * k->xx - s * k->yx)), std::lround(65536 * (c * k->xy - s * k->yy)),
                      std::lround(65536 * (s * k->xx + c * k->yx)), std::lround(65536 * (s * k->xy + c * k->yy))};
    FcPatternDestroy(found), FcPatternDestroy(pattern);
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
                double x, y;  // in 1/128 pixel
                bool on;
            };
            std::vector<P> q;
            for (int i = first; i <= o.contours[k]; ++i) {
                q.push_back({2.0 * o.points[i].x, 2.0 * o.points[i].y, FT_CURVE_TAG(o.tags[i]) == FT_CURVE_TAG_ON});
            }
            P start = q[0];
            if (!q[0].on && q.back().on) {
                start = q.back(), q.pop_back();
            } else if (!q[0].on) {
                start = {(q[0].x + q.back().x) / 2, (q[0].y + q.back().y) / 2, true};
            } else {
                q.erase(q.begin());
            }
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
// code page 932. A glyph that gets no memory is skipped without advancing.
TEST(OutlineText, GlyphsAreFreeTypesOutlines) {
    if (noFonts()) GTEST_SKIP() << "no fonts on this host";
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
    expectNear(outline(kFace, text.c_str(), 128, 32, m), expected(plain, chars, 0.5, 2, m));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_BOLD), expected(bold, U"Ag", 1, 1));
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_ITALIC),
               expected(oblique, U"Ag", 1, 1, nullptr, transform(kFace, true, 0)));
    const vutil::platform::FontMetrics &fm = plain.metrics();
    const double ratio = static_cast<double>(fm.height) / (fm.ascent - fm.internalLeading - fm.externalLeading);
    expectNear(outline(kFace, "Ag", 64, 64, nullptr, TTXT_ASCENTHEIGHT), expected(plain, U"Ag", ratio, ratio));
    for (double meaningless : {1e300, double(NAN)}) {
        expectNear(outline(kFace, "Ag", 64, 64, nullptr, 0, meaningless), expected(plain, U"Ag", 1, 1));
    }
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
    const Segs skipped = outline(kFace, "AB", 64, 64);
    vutil::platform::setGlobalAllocFailureAfter(-1);
    expectNear(skipped, expected(plain, U"B", 1, 1));
    EXPECT_EQ(vutil::platform::globalBlocksInUse(), 0u);
}

// No face at hand opens a contour on a control point: one that does starts on its last point, if that is on the
// curve (the next contour's points play no part).
TEST(OutlineText, ContourOpeningOnAControlPointStartsOnItsLast) {
    using enum vutil::platform::PointKind;
    const std::vector<vutil::platform::OutlinePoint> points = {
        {0, 0, Conic}, {64, 0, OnCurve}, {64, 64, OnCurve}, {0, 128, OnCurve}, {64, 128, Conic}, {128, 128, OnCurve}};
    const int32_t ends[] = {2, 5};
    std::vector<uint8_t> records;
    ASSERT_TRUE(vutil::platform::appendNativeRecords(points, ends, records));
    EXPECT_EQ(vutil::test::readRecords(records).at(0).at(0), (vutil::test::RecordPoint{65536, 65536, true}));
}

// A cubic face: each quadratic piece (a spline record of one control point) and each on-curve point stays within a
// sixteenth of a pixel of FreeType's cubic outline.
TEST(OutlineText, CubicArcsBecomeCloseQuadratics) {
    vutil::platform::Font font(request("Gillius ADF"));
    if (noFonts() || !font) GTEST_SKIP() << "no fonts on this host";
    vutil::test::DirectFace direct(font);
    if (std::strcmp(FT_Get_Font_Format(direct.face()), "CFF") != 0) GTEST_SKIP() << "Gillius ADF is not installed";
    for (const char c : std::string("Sog&")) {
        vutil::platform::GlyphMetrics metrics;
        std::vector<uint8_t> records(font.glyphOutline(static_cast<uint8_t>(c), metrics, {}));
        ASSERT_EQ(font.glyphOutline(static_cast<uint8_t>(c), metrics, records), records.size());
        const FT_Outline &o = direct.load(c);
        std::vector<std::vector<std::array<double, 2>>> curves;  // each contour a fine polyline, in 16.16
        for (int k = 0, first = 0; k < o.n_contours; first = o.contours[k++] + 1) {
            auto at = [&](int j) {
                const FT_Vector &v = o.points[j > o.contours[k] ? first : j];
                return std::array<double, 2>{v.x * 1024.0, v.y * 1024.0};
            };
            auto &line = curves.emplace_back(1, at(first));
            for (int i = first + 1; i <= o.contours[k] + 1; ++i) {
                const bool cubic = i <= o.contours[k] && FT_CURVE_TAG(o.tags[i]) == FT_CURVE_TAG_CUBIC;
                const auto p0 = line.back(), p1 = at(i), p2 = at(i + 1), p3 = at(i + 2);
                for (double t = 1.0 / 64, u = 1 - t; cubic && t <= 1; t += 1.0 / 64, u = 1 - t) {
                    line.push_back({u * u * u * p0[0] + 3 * u * t * (u * p1[0] + t * p2[0]) + t * t * t * p3[0],
                                    u * u * u * p0[1] + 3 * u * t * (u * p1[1] + t * p2[1]) + t * t * t * p3[1]});
                }
                if (!cubic) line.push_back(p1);
                i += cubic ? 2 : 0;
            }
        }
        auto distance = [&](double x, double y) {
            double best = INFINITY;
            for (const auto &line : curves) {
                for (std::size_t j = 0; j + 1 < line.size(); ++j) {
                    const double dx = line[j + 1][0] - line[j][0], dy = line[j + 1][1] - line[j][1];
                    const double t = std::clamp(
                        ((x - line[j][0]) * dx + (y - line[j][1]) * dy) / (dx * dx + dy * dy + 1e-9), 0.0, 1.0);
                    best = std::min(best, std::hypot(line[j][0] + t * dx - x, line[j][1] + t * dy - y));
                }
            }
            return best;
        };
        int pieces = 0;
        for (const auto &contour : vutil::test::readRecords(records)) {
            for (std::size_t i = 0; i + 1 < contour.size(); ++i) {
                const auto &a = contour[i], &b = contour[i + 1], &e = contour[std::min(i + 2, contour.size() - 1)];
                pieces += !b.on;
                for (double t : {0.25, 0.5, 0.75, 1.0}) {
                    const double u = 1 - t, x = b.on ? b.x : u * u * a.x + 2 * u * t * b.x + t * t * e.x;
                    const double y = b.on ? b.y : u * u * a.y + 2 * u * t * b.y + t * t * e.y;
                    ASSERT_LT(distance(x, y), 4096 + 512) << c << " point " << i << " t " << t;
                }
            }
        }
        EXPECT_GT(pieces, 4) << c;
    }
}

}  // namespace
