// `vutil view` for DXF drawings.
#include "view_dxf.h"

#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

#include "dxf.h"
#include "output.h"
#include "picture.h"
#include "render.h"

namespace vutil::tool {
namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool endsWith(const std::string &text, const char *suffix) {
    const std::string s = dxf::upper(suffix), t = dxf::upper(text);
    return t.size() >= s.size() && t.compare(t.size() - s.size(), s.size(), s) == 0;
}

}  // namespace

bool looksLikeDxf(const std::string &head) {
    if (head.rfind("AutoCAD Binary DXF", 0) == 0) {
        return true;
    }
    // Text DXF: a group code line (perhaps padded, perhaps after comments) and a SECTION.
    std::size_t i = 0;
    while (i < head.size() && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n')) {
        ++i;
    }
    if (i < head.size() && (head[i] == '0' || head.compare(i, 3, "999") == 0)) {
        return head.find("SECTION") != std::string::npos || head.find("999") == i;
    }
    return false;
}

int view_dxf(const ViewOptions &options) {
    const bool svg = endsWith(options.output, ".svg");
    if (!svg && !pixelPngAvailable()) {
        return failure("view", options.output, "this vutil was built without zlib or cairo, which write the PNG");
    }
    const auto start = std::chrono::steady_clock::now();
    dxf::Drawing drawing;
    std::string reason;
    if (!dxf::read(options.input, drawing, reason)) {
        return failure("view", options.input, reason);
    }
    const double readTime = seconds(start);
    const auto drawStart = std::chrono::steady_clock::now();
    dxf::RenderOptions render;
    render.width = options.width;
    render.height = options.height;
    render.haveExtents = options.haveExtents;
    std::copy(options.extents, options.extents + 4, render.extents);
    render.margin = options.margin;
    for (const std::string &layer : options.layers) {
        render.layers.push_back(dxf::upper(layer));
    }
    // The SVG page is a list of paths; the PNG page is drawn straight into its pixels.
    Picture picture;
    picture.title = options.input;
    picture.lineWidth = 1.0;
    picture.roundEnds = false;
    PixelPage page;
    dxf::RenderResult result;
    if (svg) {
        dxf::render(drawing, render, picture, result);
    } else {
        dxf::render(drawing, render, page, result);
    }
    const std::vector<std::string> notes = std::move(drawing.notes);
    // The page is all that is needed now: the memory goes back, while the PNG is made.
    std::jthread release;
    if (!svg) {
        try {
            release = std::jthread([gone = std::move(drawing)] {});
        } catch (const std::system_error &) {
            // no thread: the memory went back with the unstarted task
        }
    }
    drawing = dxf::Drawing{};
    std::string data;
    if (svg) {
        data = svgOf(picture);
    } else if (!pngOf(page, data, reason)) {
        return failure("view", options.output, reason);
    }
    const double drawTime = seconds(drawStart);
    for (const std::string &note : notes) {
        std::fprintf(stderr, "vutil view: %s: note: %s\n", options.input.c_str(), note.c_str());
    }
    for (const std::string &note : result.notes) {
        std::fprintf(stderr, "vutil view: %s: note: %s\n", options.input.c_str(), note.c_str());
    }
    if (result.empty) {
        std::fprintf(stderr, "vutil view: %s: note: the model space is empty; the page is blank\n",
                     options.input.c_str());
    }
    const int status = writeOutput("view", options.output, data);
    if (options.stats) {
        std::FILE *out = options.output == "-" ? stderr : stdout;
        for (const auto &[kind, count] : result.drawn) {
            std::fprintf(out, "drawn   %-12s %llu\n", kind.c_str(), static_cast<unsigned long long>(count));
        }
        for (const auto &[kind, count] : result.skipped) {
            std::fprintf(out, "skipped %-12s %llu\n", kind.c_str(), static_cast<unsigned long long>(count));
        }
        std::fprintf(out, "extents %.17g,%.17g,%.17g,%.17g\n", result.extents[0], result.extents[1],
                     result.extents[2], result.extents[3]);
        std::fprintf(out, "read    %.3f s\ndraw    %.3f s\n", readTime, drawTime);
    }
    return status;
}

}  // namespace vutil::tool
