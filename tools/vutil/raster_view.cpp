// Scanned pictures fitted to an output size by area averaging, and their PNG and PBM forms.
#include "raster_view.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "picture.h"
#include "vutil.h"

#if !VUTIL_TOOL_ZLIB && VUTIL_TOOL_CAIRO
#include <cairo.h>
#endif

namespace vutil::tool {
namespace {

/// The source-pixel boundaries of `cells` output pixels over `length` source pixels: the
/// window cut by KOR_TileRect into tiles one output pixel wide, their edges made whole.
bool cellEdges(int32_t length, int32_t cells, bool across, std::vector<int32_t> &edges) {
    kor_tile_request request{};
    const int axis = across ? 0 : 1, other = 1 - axis;
    request.extentsMax[axis] = length;
    request.tileSize[axis] = static_cast<double>(length) / cells;
    request.extentsMax[other] = 1;  // one tile the other way
    request.tileSize[other] = 1;
    request.scale[0] = request.scale[1] = request.scale[2] = 1;
    if (KOR_TileRect(&request) != 1 || request.tiles == nullptr) {
        return false;
    }
    const auto *block = static_cast<const uint8_t *>(GlobalLock(request.tiles));
    bool fits = block != nullptr;
    if (fits) {
        int32_t counts[2];
        std::memcpy(counts, block, sizeof counts);
        // A pitch of length / cells may fall a rounding short, which the count shows as one more
        // tile, a sliver at the far end: the cells end where the window ends all the same.
        const int32_t count = counts[across ? 1 : 0];
        fits = counts[across ? 0 : 1] == 1 && (count == cells || count == cells + 1);
        if (fits && count == cells + 1) {
            double tile[6];
            std::memcpy(tile, block + 8 + 48 * static_cast<std::size_t>(cells), sizeof tile);
            fits = (across ? tile[0] : tile[1]) > length - 1e-6;
        }
        edges.assign(static_cast<std::size_t>(cells) + 1, 0);
        for (int32_t i = 0; fits && i < cells; ++i) {
            double tile[6];
            std::memcpy(tile, block + 8 + 48 * static_cast<std::size_t>(i), sizeof tile);
            const double end = across ? tile[3] : tile[4];
            // Whole pixels, each cell at least one of them, the last one ending at the window's end.
            edges[static_cast<std::size_t>(i) + 1] = std::max(edges[static_cast<std::size_t>(i)] + 1,
                                                              static_cast<int32_t>(std::floor(end + 1e-9)));
        }
        edges.back() = length;
        fits = fits && edges[edges.size() - 2] < length;
        GlobalUnlock(request.tiles);
    }
    GlobalFree(request.tiles);
    return fits;
}

}  // namespace

bool AreaFit::start(const PixelWindow &window, int32_t width, int32_t height, std::string &error) {
    window_ = window;
    const int32_t across = window.x1 - window.x0, down = window.y1 - window.y0;
    if (width < 1 || height < 1 || width > across || height > down) {
        error = "no output picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
        return false;
    }
    if (!cellEdges(across, width, true, columnStart_) || !cellEdges(down, height, false, rowStart_)) {
        error = "cannot cut the window into output pixels";
        return false;
    }
    columnOf_.resize(static_cast<std::size_t>(across));
    for (int32_t c = 0; c < width; ++c) {
        std::fill(columnOf_.begin() + columnStart_[static_cast<std::size_t>(c)],
                  columnOf_.begin() + columnStart_[static_cast<std::size_t>(c) + 1], c);
    }
    sums_.assign(static_cast<std::size_t>(width), 0);
    inked_.clear();
    outputRow_ = 0;
    outputEnd_ = height;
    target_ = &picture_;
    picture_.width = width;
    picture_.height = height;
    picture_.stride = (width + 3) / 4 * 4;
    picture_.pixels.assign(static_cast<std::size_t>(picture_.stride) * static_cast<std::size_t>(height), 255);
    return true;
}

void AreaFit::row(int32_t y, std::span<const int32_t> ink) {
    const int32_t local = y - window_.y0;
    if (local < 0 || outputRow_ >= outputEnd_) {
        return;
    }
    for (std::size_t i = 0; i + 1 < ink.size(); i += 2) {
        int32_t from = std::max(ink[i], window_.x0) - window_.x0;
        const int32_t to = std::min(ink[i + 1], window_.x1) - window_.x0;
        while (from < to) {
            const int32_t column = columnOf_[static_cast<std::size_t>(from)];
            const int32_t end = std::min(to, columnStart_[static_cast<std::size_t>(column) + 1]);
            uint32_t &sum = sums_[static_cast<std::size_t>(column)];
            if (sum == 0) {
                inked_.push_back(column);
            }
            sum += static_cast<uint32_t>(end - from);
            from = end;
        }
    }
    const int32_t rowEnd = rowStart_[static_cast<std::size_t>(outputRow_) + 1];
    if (local + 1 < rowEnd) {
        return;
    }
    const auto cellHeight = static_cast<uint64_t>(rowEnd - rowStart_[static_cast<std::size_t>(outputRow_)]);
    uint8_t *out = target_->pixels.data() + static_cast<std::size_t>(outputRow_) * static_cast<std::size_t>(target_->stride);
    for (const int32_t c : inked_) {  // the other pixels stay as white as the picture starts
        const uint64_t inked = std::exchange(sums_[static_cast<std::size_t>(c)], 0);
        const uint64_t area = cellHeight * static_cast<uint64_t>(columnStart_[static_cast<std::size_t>(c) + 1] -
                                                                 columnStart_[static_cast<std::size_t>(c)]);
        out[c] = static_cast<uint8_t>(255 - (255 * inked + area / 2) / area);
        // Any ink keeps the pixel off pure white, so a thin line is never lost.
        if (inked > 0 && out[c] == 255) {
            out[c] = 254;
        }
    }
    inked_.clear();
    ++outputRow_;
}

int32_t AreaFit::split(AreaFit &lower) {
    if (outputEnd_ - outputRow_ < 2) {
        return -1;
    }
    const int32_t middle = outputRow_ + (outputEnd_ - outputRow_) / 2;
    lower.window_ = window_;
    lower.columnStart_ = columnStart_;
    lower.rowStart_ = rowStart_;
    lower.columnOf_ = columnOf_;
    lower.sums_.assign(sums_.size(), 0);
    lower.inked_.clear();
    lower.outputRow_ = middle;
    lower.outputEnd_ = outputEnd_;
    lower.target_ = target_;
    outputEnd_ = middle;
    return window_.y0 + rowStart_[static_cast<std::size_t>(middle)];
}

void fitSize(int32_t width, int32_t height, double xResolution, double yResolution, int32_t boxWidth,
             int32_t boxHeight, int32_t &outWidth, int32_t &outHeight) {
    const bool physical = xResolution > 0 && yResolution > 0;
    const double across = physical ? width / xResolution : width;  // physical size, any unit
    const double down = physical ? height / yResolution : height;
    double scale = std::min(boxWidth / across, boxHeight / down);
    scale = std::min({scale, width / across, height / down});
    outWidth = std::clamp(static_cast<int32_t>(std::lround(across * scale)), 1, width);
    outHeight = std::clamp(static_cast<int32_t>(std::lround(down * scale)), 1, height);
}

std::string pbmOf(const GreyPicture &picture) {
    std::string out = "P4\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n";
    const std::size_t rowBytes = (static_cast<std::size_t>(picture.width) + 7) / 8;
    std::string row;
    for (int32_t y = 0; y < picture.height; ++y) {
        row.assign(rowBytes, '\0');
        const uint8_t *grey = picture.pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.stride);
        for (int32_t x = 0; x < picture.width; ++x) {
            if (grey[x] != 255) {
                row[static_cast<std::size_t>(x) / 8] = static_cast<char>(row[static_cast<std::size_t>(x) / 8] | (0x80 >> (x % 8)));
            }
        }
        out += row;
    }
    return out;
}

#if VUTIL_TOOL_ZLIB
bool pngOf(const GreyPicture &picture, std::string &png, std::string &reason) {
    // An 8-bit grey PNG, rows unfiltered.
    return deflatedPng(
        picture.width, picture.height, 0,
        [&picture](int32_t y, std::string &out) {
            out.assign(reinterpret_cast<const char *>(picture.pixels.data()) +
                           static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.stride),
                       static_cast<std::size_t>(picture.width));
        },
        png, reason);
}
#elif VUTIL_TOOL_CAIRO
bool pngOf(const GreyPicture &picture, std::string &png, std::string &reason) {
    // An A8 surface is written as a grey PNG with its bytes as the grey levels.
    if (cairo_format_stride_for_width(CAIRO_FORMAT_A8, picture.width) != picture.stride) {
        reason = "cairo cannot take the picture's rows";
        return false;
    }
    cairo_surface_t *surface = cairo_image_surface_create_for_data(
        const_cast<uint8_t *>(picture.pixels.data()), CAIRO_FORMAT_A8, picture.width, picture.height, picture.stride);
    const cairo_status_t written = cairo_surface_write_to_png_stream(
        surface,
        [](void *closure, const unsigned char *data, unsigned int length) {
            static_cast<std::string *>(closure)->append(reinterpret_cast<const char *>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    if (written != CAIRO_STATUS_SUCCESS) {
        reason = std::string("cairo: ") + cairo_status_to_string(written);
        return false;
    }
    return true;
}
#else
bool pngOf(const GreyPicture &, std::string &, std::string &reason) {
    reason = "this build writes no PNG (it was made without cairo): write a .pbm";
    return false;
}
#endif

}  // namespace vutil::tool
