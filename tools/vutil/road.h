// One road through the library: a compressed drawing file read back and drawn as a format reader would.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "drawing.h"
#include "picture.h"

namespace vutil::tool {

/// What the road met and made.
struct RoadSummary {
    int32_t expandedBytes = 0;                       ///< the drawing file after KOR_decompress
    int32_t entities = 0;
    std::array<int32_t, drawing::kKinds + 1> byKind{};  ///< entities of each kind, indexed by its number
    int64_t segments = 0;                            ///< visible line pieces after clipping
    int64_t spans = 0;                               ///< fill spans and rectangles from FillPolygon
    int32_t outlineTexts = 0;                        ///< texts set in a host's outline font (ttxt)
    int32_t outlineFallbacks = 0;                    ///< texts that asked for one, set in the stroke font (txt)
    double milliseconds = 0;                         ///< from the compressed file to the finished picture
};

/// Pixels across the page the road draws; the height follows the window's shape.
inline constexpr int kPageWidth = 960;

/// A picture keeps at most this many segments and this many spans, so that a damaged
/// drawing cannot make it grow without end; the rest is left out.
inline constexpr int64_t kMaxSegments = 1 << 20;
inline constexpr int64_t kMaxSpans = 1 << 20;

/// Draws a drawing read from a file: the window's frame, then one path per entity in
/// the file's order (views, clipping, arcs and fills as walkRoad says). False with the
/// reason when the drawing's view or window cannot be used.
bool drawDrawing(const drawing::Drawing &file, Picture &picture, RoadSummary &summary, std::string &reason);

/// Expands the .Z drawing at `path` into a scratch file with KOR_decompress, reads its
/// header and entities with KorReadIntelStruct, views them through create_vmatrix and
/// mult_hmatrix_v, clips them to the window with KorClipVLine and KorClipVPoly, walks
/// arcs with get_arc_points, fills regions with FillPolygon and sets texts with txt and
/// ttxt. The picture holds the window's frame and then one path per entity, in the
/// file's order. False with the reason when the file is not such a drawing.
bool walkRoad(const std::string &path, Picture &picture, RoadSummary &summary, std::string &reason);

/// The one-line summary the demo prints.
std::string describe(const RoadSummary &summary);

}  // namespace vutil::tool
