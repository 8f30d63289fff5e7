// Fuzz harness for the demo's drawing reader and road: any file must be refused with a
// reason, or drawn into a page with one path per entity and every point on the page.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "drawing.h"
#include "fuzz_file.h"
#include "picture.h"
#include "road.h"
#include "vutil.h"

namespace tool = vutil::tool;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &path = vutil::fuzz::scratch().write(data, size);
    int32_t handle = 0;
    if (KorOpenFile(path.c_str(), &handle, KOR_OPEN_READ) != 1) {
        std::abort();
    }
    tool::drawing::Drawing drawing;
    std::string reason;
    const bool read = tool::drawing::read(handle, drawing, reason);
    KorCloseFile(handle);
    if (!read) {
        return reason.empty() ? (std::abort(), 0) : 0;
    }
    tool::Picture picture;
    tool::RoadSummary summary;
    if (!tool::drawDrawing(drawing, picture, summary, reason)) {
        return reason.empty() ? (std::abort(), 0) : 0;
    }
    if (picture.paths.size() != drawing.entities.size() + 1 || summary.segments > tool::kMaxSegments ||
        summary.spans > tool::kMaxSpans) {
        std::abort();
    }
    for (const tool::PagePath &page : picture.paths) {
        for (const auto &piece : page.pieces) {
            for (const tool::PagePoint &p : piece) {
                // Fill spans end one pixel past their last pixel; nothing else leaves the page.
                if (!(p.x >= 0 && p.x <= picture.width + 1 && p.y >= 0 && p.y <= picture.height + 1)) {
                    std::abort();
                }
            }
        }
    }
    if (tool::svgOf(picture).find("</svg>") == std::string::npos) {
        std::abort();
    }
    return 0;
}
