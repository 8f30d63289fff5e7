// Fuzz harness for the DXF reader of `vutil view`: any bytes are read and drawn on a small page.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dxf.h"
#include "fuzz_file.h"
#include "render.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    static vutil::fuzz::ScratchFile scratch;
    vutil::dxf::Drawing drawing;
    std::string reason;
    if (!vutil::dxf::read(scratch.write(data, size), drawing, reason)) {
        if (reason.empty()) {
            std::abort();  // a refusal always says why
        }
        return 0;
    }
    vutil::dxf::RenderOptions options;
    options.width = 64;
    options.height = 48;
    vutil::tool::Picture picture;
    vutil::dxf::RenderResult result;
    vutil::dxf::render(drawing, options, picture, result);
    for (const auto &path : picture.paths) {
        for (const auto &piece : path.pieces) {
            for (const auto &p : piece) {
                // Everything drawn lies on the page, give or take the clip margin.
                if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.x < -3 || p.y < -3 || p.x > 67 || p.y > 51) {
                    std::abort();
                }
            }
        }
    }
    // The same drawing in pixels: the same counts, and the page of the size asked for.
    vutil::tool::PixelPage page;
    vutil::dxf::RenderResult pixels;
    vutil::dxf::render(drawing, options, page, pixels);
    if (pixels.drawn != result.drawn || page.pixels.size() != 64u * 48u) {
        std::abort();
    }
    return 0;
}
