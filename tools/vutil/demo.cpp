// vutil demo: a drawing taken along one road through the library, and a tour of the rest on built-in data.
#include "demo.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "commands.h"
#include "drawing.h"
#include "host.h"
#include "lzw_encoder.h"
#include "output.h"
#include "palette_svg.h"
#include "picture.h"
#include "road.h"

namespace vutil::tool {
namespace {

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// The built-in drawing as a .Z file: its records written by the library's record
/// writer into a scratch file, then compressed. Empty when the records cannot be written.
std::string compressedDrawing() {
    ScratchFile raw;
    if (raw.path().empty() || !drawing::write(raw.path(), drawing::builtin())) {
        return {};
    }
    std::ifstream in(raw.path(), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return compressLzw(bytes);
}

/// The road: the drawing written, read back and drawn as an SVG page and a PNG.
void road(demo::Context &context) {
    std::FILE *out = context.out;
    const std::string &dir = context.outputDirectory;
    const std::string compressed = compressedDrawing();
    if (compressed.empty()) {
        failure("demo", dir + "/drawing.Z", "cannot write the drawing's records");
        context.failed = true;
        return;
    }
    context.writeFile("drawing.Z", compressed);
    Picture picture;
    RoadSummary summary;
    std::string reason;
    if (context.failed || !walkRoad(dir + "/drawing.Z", picture, summary, reason)) {
        if (!context.failed) {
            failure("demo", dir + "/drawing.Z", reason);
        }
        context.failed = true;
        return;
    }
    picture.title = "vutil demo: drawing.Z along the road";
    std::fprintf(out, "wrote %s/drawing.Z: %zu bytes, %d when expanded\n", dir.c_str(), compressed.size(),
                 summary.expandedBytes);
    std::fprintf(out, "read back: %s\n", describe(summary).c_str());

    auto started = std::chrono::steady_clock::now();
    const std::string svg = svgOf(picture);
    const double svgMilliseconds = millisecondsSince(started);
    started = std::chrono::steady_clock::now();
    std::string png;
    const bool drawn = pngOf(picture, png, reason);
    const double pngMilliseconds = millisecondsSince(started);
    context.writeFile("drawing.svg", svg);
    if (!drawn && pngAvailable()) {
        failure("demo", dir + "/drawing.png", reason);
        context.failed = true;
    } else if (drawn) {
        context.writeFile("drawing.png", png);
        std::fprintf(out, "drawn: %s/drawing.svg (%.1f ms) and %s/drawing.png (%d x %d, %.1f ms)\n", dir.c_str(),
                     svgMilliseconds, dir.c_str(), picture.width, picture.height, pngMilliseconds);
    } else {
        std::fprintf(out, "drawn: %s/drawing.svg (%.1f ms); no PNG: %s\n", dir.c_str(), svgMilliseconds,
                     reason.c_str());
    }
}

}  // namespace

void demo::Context::writeFile(const std::string &name, std::string_view data) {
    if (writeOutput("demo", outputDirectory + "/" + name, data) != 0) {
        failed = true;
    }
}

int runDemo(const Args &args) {
    const Command &command = findCommand("demo");
    demo::Context context{stdout, "vutil-demo"};
    bool tour = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--out" && i + 1 < args.size()) {
            context.outputDirectory = args[++i];
        } else if (args[i] == "--out") {
            return usageError(command, "--out needs a directory");
        } else if (args[i] == "--tour") {
            tour = true;
        } else {
            return usageError(command, "unknown argument '" + args[i] + "'");
        }
    }
    std::error_code error;
    std::filesystem::create_directories(context.outputDirectory, error);
    if (error) {
        return failure("demo", context.outputDirectory, "cannot create the directory: " + error.message());
    }

    std::fprintf(context.out, "== A drawing along one road through the library ==\n");
    road(context);

    // The sheets of the geometry, text and colour services; their commentary only on the tour.
    std::FILE *quiet = tour ? nullptr : std::fopen(host::nullDevice(), "w");
    demo::Context sheets{tour ? context.out : quiet, context.outputDirectory};
    if (tour) {
        std::fprintf(context.out, "\n== Geometry ==\n");
    }
    demo::geometrySection(sheets);
    if (tour) {
        std::fprintf(context.out, "\n== Text ==\n");
    }
    demo::textSection(sheets);
    context.writeFile("palette.svg", paletteSvg());
    if (quiet != nullptr) {
        std::fclose(quiet);
    }
    context.failed = context.failed || sheets.failed;
    const char *dir = context.outputDirectory.c_str();
    std::fprintf(context.out, "%ssheets: %s/geometry.svg, %s/text.svg, %s/palette.svg\n", tour ? "\n" : "", dir, dir,
                 dir);

    if (tour) {
        struct Section {
            const char *title;
            void (*run)(demo::Context &);
        };
        static const Section sections[] = {
            {"Runtime services", demo::runtimeSection},
            {"File access", demo::fileioSection},
            {"Codecs, raster and colour", demo::rasterSection},
        };
        for (const Section &section : sections) {
            std::fprintf(context.out, "\n== %s ==\n", section.title);
            section.run(context);
        }
    }
    return context.failed ? 1 : 0;
}

}  // namespace vutil::tool
