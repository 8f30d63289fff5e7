// Text: segments per second of stroke text over a 10,000-character string, and glyphs per second of outline text
// (ttxt with a callback) against a plain FreeType loop over the same glyphs of the same face at the same size
// (load the glyph unhinted, decompose its outline), in the same run.
//
// The stroke reference walks the same glyph bytes and hands out each segment, scaled and moved only, to the same
// callback through a pointer, as a caller's callback is always reached: the least any stroke layout must do. Before
// timing, txt without turn and slant must draw the walk's segments (to rounding: its scale is not quite 1/12), and
// ttxt as many segments as the outlines FreeType gives make.
#include <benchmark/benchmark.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "platform/font.h"
#include "text/stroke_font.h"
#include "vutil/text.h"

namespace {

constexpr const char *kFace = "DejaVu Sans";

/// 10,000 characters: printable ASCII and the accented letters, with an escape now and then.
const std::string &strokeString() {
    static const std::string text = [] {
        std::string s;
        for (int i = 0; s.size() < 10000; ++i) {
            if (i % 97 == 0) {
                s += "%%d";
            } else {
                s += static_cast<char>(i % 7 == 0 ? 130 + i % 25 : 33 + i % 94);
            }
        }
        s.resize(10000);
        return s;
    }();
    return text;
}

/// 1,000 characters of running text for the outline path.
const std::string &outlineString() {
    static const std::string text = [] {
        std::string s;
        while (s.size() < 1000) {
            s += "The quick brown fox jumps over the lazy dog 0123456789. ";
        }
        s.resize(1000);
        return s;
    }();
    return text;
}

struct Sums {
    long count = 0;
    double x = 0;
};

void countSegment(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    auto *sums = reinterpret_cast<Sums *>(context);
    ++sums->count;
    sums->x += first[0] + second[1];
}

long strokeSegments() {
    Sums sums;
    txt(reinterpret_cast<intptr_t>(&sums), nullptr, strokeString().c_str(), 0, 0, 0, 2.5, 2.0, 0.3, 0.1, nullptr, 0, 0,
        countSegment, nullptr);
    return sums.count;
}

struct Segments {
    std::vector<double> ends;
};

void keepSegment(intptr_t context, draw_device *, const double *first, const double *second, intptr_t) {
    auto &ends = reinterpret_cast<Segments *>(context)->ends;
    ends.insert(ends.end(), first, first + 3);
    ends.insert(ends.end(), second, second + 3);
}

std::vector<double> walkSegments();

/// txt upright and unslanted draws the segments of the walk.
bool strokeOutputAgrees() {
    Segments drawn;
    txt(reinterpret_cast<intptr_t>(&drawn), nullptr, strokeString().c_str(), 0, 0, 0, 2.5, 2.0, 0, 0, nullptr, 0, 0,
        keepSegment, nullptr);
    const std::vector<double> walked = walkSegments();
    if (drawn.ends.size() != walked.size()) {
        return false;
    }
    for (std::size_t i = 0; i < walked.size(); ++i) {
        if (std::fabs(drawn.ends[i] - walked[i]) > 1e-9) {
            return false;
        }
    }
    return true;
}

void vutilStrokeText(benchmark::State &state) {
    init_txt();
    if (!strokeOutputAgrees()) {
        state.SkipWithError("txt does not draw the segments of the glyph walk");
        return;
    }
    long segments = 0;
    for (auto _ : state) {
        Sums sums;
        txt(reinterpret_cast<intptr_t>(&sums), nullptr, strokeString().c_str(), 0, 0, 0, 2.5, 2.0, 0.3, 0.1, nullptr,
            0, 0, countSegment, nullptr);
        benchmark::DoNotOptimize(sums.x);
        segments += sums.count;
    }
    state.SetItemsProcessed(segments);
    state.counters["segments"] = static_cast<double>(strokeSegments());
}

/// The reference: glyph bytes to scaled segments, no slant, rotation or mirrors, and only the two escapes the
/// string holds ("%%d" and "%%%").
void referenceGlyphWalk(benchmark::State &state) {
    init_txt();
    long segments = 0;
    const std::string &text = strokeString();
    for (auto _ : state) {
        // The segments go out through a callback pointer, as txt's must: a caller's callback is never inlined.
        txt_line_proc callback = countSegment;
        benchmark::DoNotOptimize(callback);
        Sums sums;
        double cx = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            unsigned code = static_cast<unsigned char>(text[i]);
            if (code == '%' && i + 2 < text.size() && text[i + 1] == '%') {
                code = text[i + 2] == '%' ? '%' : 127;
                i += 2;
            }
            if (const int8_t *g = vutil::text::glyphOf(static_cast<uint8_t>(code))) {
                double from[3] = {cx + g[0] * 2.0 / 12, g[1] * 2.5 / 12, 0};
                for (g += 2; !(g[0] == 21 && g[1] == 21); g += 2) {
                    if (g[0] == 20 && g[1] == 20) {
                        g += 2;
                        from[0] = cx + g[0] * 2.0 / 12;
                        from[1] = g[1] * 2.5 / 12;
                        continue;
                    }
                    const double to[3] = {cx + g[0] * 2.0 / 12, g[1] * 2.5 / 12, 0};
                    callback(reinterpret_cast<intptr_t>(&sums), nullptr, from, to, 0);
                    std::memcpy(from, to, sizeof from);
                }
            }
            cx += 2.0;
        }
        benchmark::DoNotOptimize(sums.x);
        segments += sums.count;
    }
    state.SetItemsProcessed(segments);
}

/// The walk of referenceGlyphWalk once, keeping its segments.
std::vector<double> walkSegments() {
    Segments kept;
    const std::string &text = strokeString();
    double cx = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned code = static_cast<unsigned char>(text[i]);
        if (code == '%' && i + 2 < text.size() && text[i + 1] == '%') {
            code = text[i + 2] == '%' ? '%' : 127;
            i += 2;
        }
        if (const int8_t *g = vutil::text::glyphOf(static_cast<uint8_t>(code))) {
            double from[3] = {cx + g[0] * 2.0 / 12, g[1] * 2.5 / 12, 0};
            for (g += 2; !(g[0] == 21 && g[1] == 21); g += 2) {
                if (g[0] == 20 && g[1] == 20) {
                    g += 2;
                    from[0] = cx + g[0] * 2.0 / 12;
                    from[1] = g[1] * 2.5 / 12;
                    continue;
                }
                const double to[3] = {cx + g[0] * 2.0 / 12, g[1] * 2.5 / 12, 0};
                keepSegment(reinterpret_cast<intptr_t>(&kept), nullptr, from, to, 0);
                std::memcpy(from, to, sizeof from);
            }
        }
        cx += 2.0;
    }
    return kept.ends;
}

/// The segments ttxt draws for a quadratic outline: each contour from its start (its first point if on the curve,
/// else its last if that is, else the point between them) through its points and the points implied between two
/// control points, back to the start, then on to the first point drawn.
long outlineSegments(const FT_Outline &outline) {
    long total = 0;
    for (int k = 0, first = 0; k < outline.n_contours; first = outline.contours[k++] + 1) {
        std::vector<bool> on;
        for (int i = first; i <= outline.contours[k]; ++i) {
            on.push_back(FT_CURVE_TAG(outline.tags[i]) == FT_CURVE_TAG_ON);
        }
        if (on.front()) {
            on.erase(on.begin());
        } else if (on.back()) {
            on.pop_back();
        }
        on.push_back(true);  // the start, drawn only when the contour ends on a control point
        long points = 0;
        for (std::size_t i = 0; i < on.size(); ++i) {
            const bool previous = i == 0 || on[i - 1];
            points += !previous && !on[i] ? 1 : 0;
            points += i + 1 < on.size() || !previous ? 1 : 0;
        }
        total += points + 1;  // the points, the start and the first point again, less one
    }
    return total;
}

/// ttxt draws as many segments as FreeType's outlines of the face at its size make.
bool outlineOutputAgrees(FT_Face face) {
    long expected = 0;
    for (const char c : outlineString()) {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
            for (int i = 0; i < face->glyph->outline.n_points; ++i) {
                if (FT_CURVE_TAG(face->glyph->outline.tags[i]) == FT_CURVE_TAG_CUBIC) {
                    return false;  // the count above holds for quadratic outlines only
                }
            }
            expected += outlineSegments(face->glyph->outline);
        }
    }
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    Sums sums;
    ttxt(reinterpret_cast<intptr_t>(&sums), nullptr, outlineString().c_str(), &font, 0, 0, 0, 10, 10, 0, 0, nullptr, 0,
         0, 0, countSegment, 0);
    return sums.count == expected;
}

void vutilOutlineText(benchmark::State &state) {
    kor_logfont font{};
    std::strcpy(font.lfFaceName, kFace);
    long glyphs = 0;
    for (auto _ : state) {
        Sums sums;
        ttxt(reinterpret_cast<intptr_t>(&sums), nullptr, outlineString().c_str(), &font, 0, 0, 0, 10, 10, 0, 0,
             nullptr, 0, 0, 0, countSegment, 0);
        benchmark::DoNotOptimize(sums.x);
        glyphs += static_cast<long>(outlineString().size());
    }
    state.SetItemsProcessed(glyphs);
}

int decomposeMove(const FT_Vector *to, void *user) {
    static_cast<Sums *>(user)->x += static_cast<double>(to->x);
    return 0;
}
int decomposeLine(const FT_Vector *to, void *user) {
    ++static_cast<Sums *>(user)->count;
    static_cast<Sums *>(user)->x += static_cast<double>(to->y);
    return 0;
}
int decomposeConic(const FT_Vector *control, const FT_Vector *to, void *user) {
    static_cast<Sums *>(user)->count += 2;
    static_cast<Sums *>(user)->x += static_cast<double>(control->x + to->y);
    return 0;
}
int decomposeCubic(const FT_Vector *c1, const FT_Vector *c2, const FT_Vector *to, void *user) {
    static_cast<Sums *>(user)->count += 3;
    static_cast<Sums *>(user)->x += static_cast<double>(c1->x + c2->x + to->y);
    return 0;
}

/// The reference: the same face file at the same size, each character loaded and decomposed.
void referenceFreeTypeLoop(benchmark::State &state) {
    vutil::platform::FontRequest request;
    request.height = 64;
    request.width = 64;
    request.weight = 400;
    request.faceName = kFace;
    vutil::platform::Font font(request);
    if (!font) {
        state.SkipWithError("no outline font on this host");
        return;
    }
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) != 0 || FT_New_Face(library, font.fileName().c_str(), font.faceIndex(), &face)) {
        state.SkipWithError("FreeType cannot open the face");
        return;
    }
    FT_Set_Char_Size(face, std::lround(font.pixelsPerEmX() * 64), std::lround(font.pixelsPerEmY() * 64), 72, 72);
    if (!outlineOutputAgrees(face)) {
        state.SkipWithError("ttxt does not draw the segments of FreeType's outlines");
        return;
    }
    const FT_Outline_Funcs funcs = {decomposeMove, decomposeLine, decomposeConic, decomposeCubic, 0, 0};
    long glyphs = 0;
    for (auto _ : state) {
        Sums sums;
        for (const char c : outlineString()) {
            const FT_UInt index = FT_Get_Char_Index(face, static_cast<unsigned char>(c));
            if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0) {
                FT_Outline_Decompose(&face->glyph->outline, &funcs, &sums);
            }
        }
        benchmark::DoNotOptimize(sums.x);
        glyphs += static_cast<long>(outlineString().size());
    }
    state.SetItemsProcessed(glyphs);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

}  // namespace

BENCHMARK(referenceGlyphWalk)->Name("Reference_GlyphWalk")->Unit(benchmark::kMicrosecond);
BENCHMARK(vutilStrokeText)->Name("Vutil_txt")->Unit(benchmark::kMicrosecond);
BENCHMARK(referenceFreeTypeLoop)->Name("Reference_FreeTypeLoop")->Unit(benchmark::kMicrosecond);
BENCHMARK(vutilOutlineText)->Name("Vutil_ttxt")->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(reporter, "reference",
                                   {{"stroke text, 10,000 characters", "Vutil_txt", "Reference_GlyphWalk"},
                                    {"outline text, 1,000 glyphs", "Vutil_ttxt", "Reference_FreeTypeLoop"}});
    benchmark::Shutdown();
    return 0;
}
