// Outline fonts of the host: fontconfig chooses the face, FreeType scales it and gives its outlines.
//
// A font is a face at one size and rotation. Faces are opened once and kept in a small process-wide cache with the
// answers fontconfig gave; one mutex guards the cache and every use of a FreeType face, so fonts may be used from
// any thread. Sizes follow the host's traditional rules: the requested height is the cell (the face's Windows
// ascent plus descent) and the width the face's average character width, so a width equal to the height
// stretches most faces across.
#include "platform/font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/outline_records.h"

namespace vutil::platform {
namespace {

constexpr std::size_t kIdleFacesKept = 8;
constexpr std::size_t kMatchesKept = 64;
constexpr uint32_t kNoCode = 0xFFFFFFFFu;

/// One face file opened through FreeType, shared by the fonts that use it.
struct CachedFace {
    std::string file;
    int32_t index = 0;
    FT_Face face = nullptr;
    bool symbol = false;  ///< the face maps characters through its symbol table (codes 0xF000 + byte)
    int users = 0;
    uint64_t lastUse = 0;
};

/// What fontconfig answered for one description.
struct Match {
    std::string key;
    std::string file;
    int32_t index = 0;
    bool embolden = false;                    ///< the face is lighter than asked: thicken its outlines
    std::array<double, 4> shear{1, 0, 0, 1};  ///< the face is upright where italic was asked: slant it
};

class FontCache {
public:
    static FontCache &instance() {
        static FontCache cache;
        return cache;
    }
    ~FontCache() {
        for (auto &face : faces_) {
            FT_Done_Face(face->face);
        }
        if (library_ != nullptr) {
            FT_Done_FreeType(library_);
        }
        if (fontconfig_ != nullptr) {
            FcConfigDestroy(fontconfig_);
        }
    }

    std::mutex mutex;

    /// The face for a request, opened or from the cache; null when none can be had. Called with the mutex held.
    CachedFace *acquire(const FontRequest &request, Match &match);
    void release(CachedFace *face);
    /// The Unicode character for an ANSI code, 0 when it has none. Called with the mutex held.
    char32_t toUnicode(uint32_t code);

private:
    FontCache() = default;
    std::optional<Match> matchFace(const FontRequest &request, const std::string &key, const std::string &name);

    FT_Library library_ = nullptr;
    FcConfig *fontconfig_ = nullptr;  ///< our own configuration, so that nothing of the process's is touched
    uint64_t clock_ = 0;
    std::vector<std::unique_ptr<CachedFace>> faces_;
    std::vector<Match> matches_;
    uint32_t byteTableCodePage_ = 0;
    std::array<char16_t, 256> byteTable_{};
};

/// The language a character set asks the face to cover.
const char *languageOf(uint8_t charSet) {
    switch (charSet) {
        case 128:
            return "ja";
        case 129:
        case 130:
            return "ko";
        case 134:
            return "zh-cn";
        case 136:
            return "zh-tw";
        case 161:
            return "el";
        case 162:
            return "tr";
        case 163:
            return "vi";
        case 177:
            return "he";
        case 178:
            return "ar";
        case 186:
            return "lt";
        case 204:
            return "ru";
        case 222:
            return "th";
        case 238:
            return "pl";
        default:
            return nullptr;
    }
}

/// The generic family in the high nibble of pitch-and-family.
const char *genericFamilyOf(uint8_t pitchAndFamily) {
    switch (pitchAndFamily & 0xF0) {
        case 0x10:
            return "serif";
        case 0x20:
            return "sans-serif";
        case 0x30:
            return "monospace";
        case 0x40:
            return "cursive";
        case 0x50:
            return "fantasy";
        default:
            return nullptr;
    }
}

std::optional<Match> FontCache::matchFace(const FontRequest &request, const std::string &key, const std::string &name) {
    for (std::size_t i = 0; i < matches_.size(); ++i) {
        if (matches_[i].key == key) {
            return matches_[i];
        }
    }
    if (fontconfig_ == nullptr) {
        fontconfig_ = FcInitLoadConfigAndFonts();
        if (fontconfig_ == nullptr) {
            return std::nullopt;
        }
    }
    FcPattern *pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return std::nullopt;
    }
    if (!name.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.c_str()));
    }
    if (const char *generic = genericFamilyOf(request.pitchAndFamily)) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(generic));
    }
    if ((request.pitchAndFamily & 3) == 1) {
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    }
    const int weight = request.weight <= 0 ? 400 : std::min(request.weight, 1000);
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (const char *language = languageOf(request.charSet)) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8 *>(language));
    }
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(fontconfig_, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *found = FcFontMatch(fontconfig_, pattern, &result);
    FcPatternDestroy(pattern);
    if (found == nullptr) {
        return std::nullopt;
    }
    std::optional<Match> match;
    FcChar8 *file = nullptr;
    if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch) {
        match.emplace();
        match->key = key;
        match->file = reinterpret_cast<const char *>(file);
        int index = 0;
        FcBool embolden = FcFalse;
        FcMatrix *shear = nullptr;
        if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) {
            match->index = index;
        }
        if (FcPatternGetBool(found, FC_EMBOLDEN, 0, &embolden) == FcResultMatch) {
            match->embolden = embolden == FcTrue;
        }
        if (FcPatternGetMatrix(found, FC_MATRIX, 0, &shear) == FcResultMatch && shear != nullptr) {
            match->shear = {shear->xx, shear->xy, shear->yx, shear->yy};
        }
        if (matches_.size() == kMatchesKept) {
            matches_.erase(matches_.begin());
        }
        matches_.push_back(*match);
    }
    FcPatternDestroy(found);
    return match;
}

CachedFace *FontCache::acquire(const FontRequest &request, Match &match) {
    if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        return nullptr;
    }
    // fontconfig takes names in UTF-8; a name that does not convert asks for no family.
    const std::string name = toUtf8(request.faceName).value_or(std::string());
    std::string key = name;
    key += '\0';
    for (int value : {request.weight, int{request.italic}, int{request.charSet}, int{request.pitchAndFamily}}) {
        key += std::to_string(value) + ',';
    }
    std::optional<Match> found = matchFace(request, key, name);
    if (!found) {
        return nullptr;
    }
    match = *found;
    CachedFace *face = nullptr;
    for (auto &cached : faces_) {
        if (cached->file == match.file && cached->index == match.index) {
            face = cached.get();
        }
    }
    if (face == nullptr) {
        FT_Face opened = nullptr;
        if (FT_New_Face(library_, match.file.c_str(), match.index, &opened) != 0) {
            return nullptr;
        }
        auto entry = std::make_unique<CachedFace>();
        entry->file = match.file;
        entry->index = match.index;
        entry->face = opened;
        if (FT_Select_Charmap(opened, FT_ENCODING_UNICODE) != 0 &&
            FT_Select_Charmap(opened, FT_ENCODING_MS_SYMBOL) == 0) {
            entry->symbol = true;
        }
        face = entry.get();
        faces_.push_back(std::move(entry));
    }
    ++face->users;
    face->lastUse = ++clock_;
    // Close the faces no font has used for longest, keeping a few idle ones for the next fonts.
    for (;;) {
        std::size_t idle = 0;
        auto oldest = faces_.end();
        for (auto it = faces_.begin(); it != faces_.end(); ++it) {
            if ((*it)->users == 0) {
                ++idle;
                if (oldest == faces_.end() || (*it)->lastUse < (*oldest)->lastUse) {
                    oldest = it;
                }
            }
        }
        if (idle <= kIdleFacesKept) {
            break;
        }
        FT_Done_Face((*oldest)->face);
        faces_.erase(oldest);
    }
    return face;
}

void FontCache::release(CachedFace *face) {
    --face->users;
    face->lastUse = ++clock_;
}

char32_t FontCache::toUnicode(uint32_t code) {
    if (code < 256) {
        const uint32_t codePage = ansiCodePage();
        if (byteTableCodePage_ != codePage) {
            for (unsigned byte = 0; byte < 256; ++byte) {
                const char text[1] = {static_cast<char>(byte)};
                const std::optional<std::u16string> wide = toWide(std::string_view(text, 1));
                byteTable_[byte] = wide && wide->size() == 1 ? (*wide)[0] : 0;
            }
            byteTableCodePage_ = codePage;
        }
        return byteTable_[code];
    }
    const char text[2] = {static_cast<char>(code >> 8), static_cast<char>(code)};
    const std::optional<std::u16string> wide = toWide(std::string_view(text, 2));
    return wide && wide->size() == 1 ? (*wide)[0] : 0;
}

FT_Fixed toFtFixed(double value) {
    return static_cast<FT_Fixed>(std::lround(value * 65536.0));
}

int32_t roundPixels(FT_Pos value26) {
    return static_cast<int32_t>((value26 + 32) >> 6);
}

int16_t clampToInt16(FT_Pos value) {
    return static_cast<int16_t>(std::clamp<FT_Pos>(value, INT16_MIN, INT16_MAX));
}

}  // namespace

struct Font::Impl {
    CachedFace *face = nullptr;
    FT_Size size = nullptr;
    FT_F26Dot6 charWidth = 0;
    FT_F26Dot6 charHeight = 0;
    FT_Matrix transform{};
    bool transformed = false;
    bool embolden = false;
    FontMetrics metrics;
    // The last glyph asked for: asking for a glyph's size and then for the glyph itself makes it once.
    uint32_t lastCode = kNoCode;
    uint32_t lastResult = kGlyphError;
    GlyphMetrics lastMetrics;
    std::vector<OutlinePoint> points;
    std::vector<int32_t> contourEnds;
    std::vector<uint8_t> records;

    /// Loads a glyph into the records and metrics; its size in bytes, or kGlyphError.
    uint32_t load(uint32_t code);
};

uint32_t Font::Impl::load(uint32_t code) {
    Impl &font = *this;
    FontCache &cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    FT_Face face = font.face->face;
    FT_Activate_Size(font.size);
    FT_Set_Transform(face, font.transformed ? &font.transform : nullptr, nullptr);
    FT_UInt index = 0;
    if (font.face->symbol) {
        index = FT_Get_Char_Index(face, 0xF000 | (code & 0xFF));
        if (index == 0) {
            index = FT_Get_Char_Index(face, code & 0xFF);
        }
    } else if (const char32_t unicode = cache.toUnicode(code); unicode != 0) {
        index = FT_Get_Char_Index(face, unicode);
    }
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        return kGlyphError;
    }
    FT_GlyphSlot slot = face->glyph;
    FT_Vector advance = slot->advance;
    if (font.embolden) {
        // As FreeType's own emboldening: a 24th of the em, widening the advance by as much.
        const FT_Pos strength = FT_MulFix(face->units_per_EM, font.size->metrics.y_scale) / 24;
        FT_Outline_EmboldenXY(&slot->outline, strength, strength);
        advance.x += advance.x != 0 ? strength : 0;
    }
    const FT_Outline &outline = slot->outline;
    const auto pointCount = static_cast<std::size_t>(std::max<int>(outline.n_points, 0));
    font.points.resize(pointCount);
    for (std::size_t i = 0; i < pointCount; ++i) {
        const int tag = FT_CURVE_TAG(outline.tags[i]);
        font.points[i] = {outline.points[i].x, outline.points[i].y,
                          tag == FT_CURVE_TAG_ON      ? PointKind::OnCurve
                          : tag == FT_CURVE_TAG_CONIC ? PointKind::Conic
                                                      : PointKind::Cubic};
    }
    font.contourEnds.assign(outline.contours, outline.contours + std::max<int>(outline.n_contours, 0));
    font.records.clear();
    if (!appendNativeRecords(font.points, font.contourEnds, font.records) || font.records.size() >= kGlyphError) {
        return kGlyphError;
    }
    font.lastMetrics = {clampToInt16(roundPixels(advance.x)), clampToInt16(roundPixels(advance.y))};
    return static_cast<uint32_t>(font.records.size());
}

Font::Font(const FontRequest &request) noexcept {
    FontCache &cache = FontCache::instance();
    std::lock_guard lock(cache.mutex);
    auto impl = std::make_unique<Impl>();
    Match match;
    impl->face = cache.acquire(request, match);
    if (impl->face == nullptr) {
        return;
    }
    FT_Face face = impl->face->face;
    if (FT_New_Size(face, &impl->size) != 0) {
        cache.release(impl->face);
        return;
    }
    FT_Activate_Size(impl->size);

    // The cell is the Windows ascent and descent where the face has them, else its typographic ones.
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double upem = face->units_per_EM > 0 ? face->units_per_EM : 1000;
    double ascentUnits = face->ascender;
    double descentUnits = -face->descender;
    if (os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    const double cellUnits = ascentUnits + descentUnits > 0 ? ascentUnits + descentUnits : upem;
    double ppemY = 16;
    if (request.height > 0) {
        ppemY = std::max(1.0, std::round(request.height * upem / cellUnits));
    } else if (request.height < 0) {
        ppemY = -static_cast<double>(request.height);
    }
    double ppemX = ppemY;
    if (request.width > 0 && os2 != nullptr && os2->xAvgCharWidth > 0) {
        ppemX = std::clamp(request.width * upem / os2->xAvgCharWidth, ppemY / 64, ppemY * 64);
    }
    ppemX = std::min(ppemX, 1e5);
    ppemY = std::min(ppemY, 1e5);
    impl->charWidth = std::max<FT_F26Dot6>(1, std::lround(ppemX * 64));
    impl->charHeight = std::max<FT_F26Dot6>(1, std::lround(ppemY * 64));
    if (FT_Set_Char_Size(face, impl->charWidth, impl->charHeight, 72, 72) != 0) {
        FT_Done_Size(impl->size);
        cache.release(impl->face);
        return;
    }
    const FT_Size_Metrics &scaled = impl->size->metrics;
    FontMetrics &m = impl->metrics;
    m.ascent = roundPixels(FT_MulFix(static_cast<FT_Long>(ascentUnits), scaled.y_scale));
    m.descent = roundPixels(FT_MulFix(static_cast<FT_Long>(descentUnits), scaled.y_scale));
    m.height = m.ascent + m.descent;
    m.internalLeading = m.height - roundPixels(FT_MulFix(static_cast<FT_Long>(upem), scaled.y_scale));
    const FT_Long lineGap = face->height - (face->ascender - face->descender);
    const FT_Long extraUnits = lineGap - static_cast<FT_Long>(cellUnits - (face->ascender - face->descender));
    m.externalLeading = extraUnits > 0 ? roundPixels(FT_MulFix(extraUnits, scaled.y_scale)) : 0;
    m.averageWidth = os2 != nullptr && os2->xAvgCharWidth > 0
                         ? roundPixels(FT_MulFix(os2->xAvgCharWidth, scaled.x_scale))
                         : static_cast<int32_t>(std::lround(ppemX / 2));

    // The glyphs turn with the escapement, after any slant standing in for a missing italic.
    const double turn = (request.escapement % 3600) * (3.141592653589793 / 1800);
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    const auto &k = match.shear;  // xx, xy, yx, yy
    impl->transform = {toFtFixed(c * k[0] - s * k[2]), toFtFixed(c * k[1] - s * k[3]), toFtFixed(s * k[0] + c * k[2]),
                       toFtFixed(s * k[1] + c * k[3])};
    impl->transformed = impl->transform.xx != 0x10000 || impl->transform.xy != 0 || impl->transform.yx != 0 ||
                        impl->transform.yy != 0x10000;
    impl->embolden = match.embolden;
    impl_ = std::move(impl);
}

Font::~Font() {
    if (impl_ != nullptr) {
        FontCache &cache = FontCache::instance();
        std::lock_guard lock(cache.mutex);
        FT_Done_Size(impl_->size);
        cache.release(impl_->face);
    }
}

const FontMetrics &Font::metrics() const noexcept {
    return impl_->metrics;
}

std::string Font::fileName() const {
    return impl_->face->file;
}
int32_t Font::faceIndex() const noexcept {
    return impl_->face->index;
}
double Font::pixelsPerEmX() const noexcept {
    return impl_->charWidth / 64.0;
}
double Font::pixelsPerEmY() const noexcept {
    return impl_->charHeight / 64.0;
}

uint32_t Font::glyphOutline(uint32_t code, GlyphMetrics &metrics, std::span<uint8_t> buffer) noexcept {
    Impl &font = *impl_;
    if (code != font.lastCode) {
        font.lastCode = code;
        font.lastResult = font.load(code);
    }
    if (font.lastResult == kGlyphError) {
        return kGlyphError;
    }
    metrics = font.lastMetrics;
    if (buffer.empty()) {
        return font.lastResult;
    }
    if (buffer.size() < font.lastResult) {
        return kGlyphError;
    }
    std::copy(font.records.begin(), font.records.end(), buffer.begin());
    return font.lastResult;
}

}  // namespace vutil::platform
