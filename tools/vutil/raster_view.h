// Scanned pictures fitted to an output size by area averaging, and their PNG and PBM forms.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tiff_reader.h"

namespace vutil::tool {

/// A grey picture: 0 black, 255 white; rows `stride` bytes apart.
struct GreyPicture {
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    std::vector<uint8_t> pixels;
};

/// Window of the source image, in its pixels: columns x0 to x1 - 1, rows y0 to y1 - 1.
struct PixelWindow {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

/// Takes the rows of a window of a bilevel image, top to bottom, and averages each output
/// pixel over the source pixels it covers, so that a line thinner than a pixel stays as grey.
/// The cells of the output pixels come from KOR_TileRect: the window cut into output-sized tiles.
class AreaFit : public tiff::RowSink {
public:
    /// False with the reason when the output picture cannot be made.
    bool start(const PixelWindow &window, int32_t width, int32_t height, std::string &error);
    void row(int32_t y, std::span<const int32_t> ink) override;
    /// Hands the lower half of the output rows to `lower`, which then fills them in this picture
    /// from the source rows of its own; so two readers may work at once. The source row where
    /// the lower half begins, or -1 (and nothing handed over) for a picture of one row.
    int32_t split(AreaFit &lower);
    /// The picture; rows never reached stay white.
    GreyPicture &picture() { return picture_; }

private:
    PixelWindow window_;
    std::vector<int32_t> columnStart_;  ///< output column c covers source columns [start c, start c+1)
    std::vector<int32_t> rowStart_;
    std::vector<int32_t> columnOf_;     ///< output column of each source column of the window
    std::vector<uint32_t> sums_;        ///< ink of each output column in the output row being gathered
    std::vector<int32_t> inked_;        ///< the output columns of that row that hold any ink
    int32_t outputRow_ = 0;
    int32_t outputEnd_ = 0;              ///< the output rows this one fills end here
    GreyPicture picture_;
    GreyPicture *target_ = &picture_;    ///< where they go: this picture, or the one split from
};

/// The output size that fits a window of `width` x `height` pixels of the given physical
/// aspect (pixels per unit across and down; 0 when not known) into `boxWidth` x `boxHeight`,
/// never larger than the window itself.
void fitSize(int32_t width, int32_t height, double xResolution, double yResolution, int32_t boxWidth,
             int32_t boxHeight, int32_t &outWidth, int32_t &outHeight);

/// The picture as a binary PBM (P4): a pixel with any ink in it is black.
std::string pbmOf(const GreyPicture &picture);
/// The picture as a grey PNG; false with the reason when this build cannot write PNG.
bool pngOf(const GreyPicture &picture, std::string &png, std::string &reason);

}  // namespace vutil::tool
