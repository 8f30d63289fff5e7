// Outline fonts through GDI: CreateFontIndirectA chooses the face, GetTextMetricsA
// gives the metrics and GetGlyphOutlineA the outlines, already in the native record format.
#include "platform/font.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace vutil::platform {

struct Font::Impl {
    HDC dc = nullptr;
    HFONT font = nullptr;
    HGDIOBJ previous = nullptr;
    FontMetrics metrics;
    std::string faceName;
    double ppemX = 0;
    double ppemY = 0;

    ~Impl() {
        if (dc != nullptr) {
            if (previous != nullptr) {
                ::SelectObject(dc, previous);
            }
            ::DeleteDC(dc);
        }
        if (font != nullptr) {
            ::DeleteObject(font);
        }
    }
};

Font::Font(const FontRequest &request) noexcept {
    auto impl = std::unique_ptr<Impl>(new (std::nothrow) Impl);
    if (impl == nullptr) {
        return;
    }
    LOGFONTA description{};
    description.lfHeight = request.height;
    description.lfWidth = request.width;
    description.lfEscapement = request.escapement;
    description.lfOrientation = request.orientation;
    description.lfWeight = request.weight;
    description.lfItalic = request.italic ? 1 : 0;
    description.lfUnderline = request.underline ? 1 : 0;
    description.lfStrikeOut = request.strikeOut ? 1 : 0;
    description.lfCharSet = request.charSet;
    description.lfOutPrecision = OUT_TT_ONLY_PRECIS;  // outlines need an outline face
    description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    description.lfQuality = DEFAULT_QUALITY;
    description.lfPitchAndFamily = request.pitchAndFamily;
    const std::size_t nameLength = std::min(request.faceName.size(), sizeof description.lfFaceName - 1);
    std::memcpy(description.lfFaceName, request.faceName.data(), nameLength);
    description.lfFaceName[nameLength] = '\0';

    impl->dc = ::CreateCompatibleDC(nullptr);
    impl->font = ::CreateFontIndirectA(&description);
    if (impl->dc == nullptr || impl->font == nullptr) {
        return;
    }
    impl->previous = ::SelectObject(impl->dc, impl->font);
    TEXTMETRICA text{};
    if (impl->previous == nullptr || !::GetTextMetricsA(impl->dc, &text)) {
        return;
    }
    FontMetrics &m = impl->metrics;
    m.height = text.tmHeight;
    m.ascent = text.tmAscent;
    m.descent = text.tmDescent;
    m.internalLeading = text.tmInternalLeading;
    m.externalLeading = text.tmExternalLeading;
    m.averageWidth = text.tmAveCharWidth;
    char name[LF_FACESIZE] = {};
    // Systems differ in whether the count GetTextFaceA returns takes in the
    // terminator (Wine's does not): the name is what lies before it.
    if (::GetTextFaceA(impl->dc, sizeof name, name) > 0) {
        impl->faceName.assign(name, strnlen(name, sizeof name));
    }
    impl->ppemY = text.tmHeight - text.tmInternalLeading;
    impl->ppemX = impl->ppemY;
    if (request.width > 0) {
        OUTLINETEXTMETRICA outline{};
        if (::GetOutlineTextMetricsA(impl->dc, sizeof outline, &outline) && outline.otmTextMetrics.tmAveCharWidth > 0) {
            impl->ppemX = impl->ppemY * request.width / outline.otmTextMetrics.tmAveCharWidth;
        }
    }
    impl_ = std::move(impl);
}

Font::~Font() = default;

const FontMetrics &Font::metrics() const noexcept {
    return impl_->metrics;
}

std::string Font::fileName() const {
    return impl_->faceName;
}

int32_t Font::faceIndex() const noexcept {
    return 0;
}

double Font::pixelsPerEmX() const noexcept {
    return impl_->ppemX;
}

double Font::pixelsPerEmY() const noexcept {
    return impl_->ppemY;
}

uint32_t Font::glyphOutline(uint32_t code, GlyphMetrics &metrics, std::span<uint8_t> buffer) noexcept {
    static const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS glyph{};
    if (buffer.size() > UINT32_MAX - 1) {
        buffer = buffer.first(UINT32_MAX - 1);
    }
    const DWORD size = ::GetGlyphOutlineA(impl_->dc, code, GGO_NATIVE, &glyph, static_cast<DWORD>(buffer.size()),
                                          buffer.empty() ? nullptr : buffer.data(), &kIdentity);
    if (size == GDI_ERROR || size == 0) {
        return kGlyphError;
    }
    metrics.cellIncX = glyph.gmCellIncX;
    metrics.cellIncY = glyph.gmCellIncY;
    return size;
}

}  // namespace vutil::platform
