// Speed of `vutil view`'s DXF reader: reading a large drawing through the library's buffered
// files and number-text services, drawing it to a PNG page, and both, against ezdxf's
// readfile (python3-ezdxf) on the same drawing.
//
// The drawing is tools/dxf/make_synthetic.py's (ezdxf), divided by VUTIL_DXF_BENCH_SCALE
// (default 10: 10,000 entities; 1 is the full 100,000-entity drawing of about 21 MB). Without
// ezdxf a drawing of the same mix is written here and the peer is left out.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench_ratio.h"
#include "dxf.h"
#include "picture.h"
#include "render.h"

namespace {

namespace fs = std::filesystem;

std::string drawingPath;
std::string ezdxfCommand;
double drawingBytes = 0;

bool have(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

/// The synthetic mix without ezdxf: lines, arcs, circles, light polylines and texts.
void writeOwnDrawing(const std::string &path, int scale) {
    std::ofstream out(path);
    std::mt19937 rng(100000);
    std::uniform_real_distribution<double> where(0, 10000), near(-200, 200), radius(1, 150), angle(0, 360);
    auto pair = [&](int code, const std::string &value) { out << code << '\n' << value << '\n'; };
    auto number = [&](int code, double value) { out << code << '\n' << value << '\n'; };
    auto numbered = [&](int code, const char *prefix, int n) { out << code << '\n' << prefix << n << '\n'; };
    pair(0, "SECTION");
    pair(2, "ENTITIES");
    for (int i = 0; i < 40000 / scale; ++i) {
        const double x = where(rng), y = where(rng);
        pair(0, "LINE");
        numbered(8, "L", i % 8);
        number(10, x), number(20, y), number(11, x + near(rng)), number(21, y + near(rng));
    }
    for (int i = 0; i < 15000 / scale; ++i) {
        pair(0, "ARC");
        number(10, where(rng)), number(20, where(rng)), number(40, radius(rng)), number(50, angle(rng));
        number(51, angle(rng));
        pair(0, "CIRCLE");
        number(10, where(rng)), number(20, where(rng)), number(40, radius(rng));
        const double x = where(rng), y = where(rng);
        pair(0, "LWPOLYLINE");
        pair(70, std::to_string(i % 2));
        for (int k = 0; k < 5; ++k) {
            number(10, x + near(rng) / 2), number(20, y + near(rng) / 2);
            number(42, i % 3 == 0 ? near(rng) / 200 : 0);
        }
        pair(0, "TEXT");
        number(10, where(rng)), number(20, where(rng)), number(40, 5 + radius(rng) / 5), number(50, angle(rng));
        numbered(1, "Part ", i);
    }
    pair(0, "ENDSEC");
    pair(0, "EOF");
}

bool prepare(const fs::path &work) {
    const char *scaleText = std::getenv("VUTIL_DXF_BENCH_SCALE");
    const int scale = scaleText != nullptr ? std::max(1, std::atoi(scaleText)) : 10;
    drawingPath = (work / "synthetic.dxf").string();
    const fs::path script = fs::path(VUTIL_SOURCE_DIR) / "tools/dxf/make_synthetic.py";
    if (have("/usr/bin/python3 -c 'import ezdxf'")) {
        // Built by appending, which g++ 12 at -O3 does not take for overlapping copies.
        std::string make = "/usr/bin/python3 ";
        make += script.string();
        make += " " + drawingPath + " --scale " + std::to_string(scale);
        if (std::system(make.c_str()) != 0) {
            std::printf("make_synthetic.py failed\n");
            return false;
        }
        // readfile alone is timed, by Python itself: not the interpreter's start nor the import.
        ezdxfCommand = "/usr/bin/python3 -c 'import time, ezdxf; t = time.perf_counter(); ezdxf.readfile(\"" +
                       drawingPath + "\"); print(time.perf_counter() - t)'";
        std::printf("drawing made by ezdxf, 1/%d of the full mix: ", scale);
    } else {
        writeOwnDrawing(drawingPath, scale);
        std::printf("ezdxf (python3-ezdxf) not found: drawing written here, no peer; 1/%d of the full mix: ", scale);
    }
    drawingBytes = static_cast<double>(fs::file_size(drawingPath));
    std::printf("%.1f MB\n", drawingBytes / 1e6);
    return true;
}

void setBytes(benchmark::State &state) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * drawingBytes));
}

void vutilRead(benchmark::State &state) {
    for (auto _ : state) {
        vutil::dxf::Drawing drawing;
        std::string reason;
        if (!vutil::dxf::read(drawingPath, drawing, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(drawing.groups.data());
    }
    setBytes(state);
}

/// Drawing what was read: into the pixels of the page (argument 0), the same and its PNG (1),
/// or as the SVG page's paths and their document (2), as `vutil view` does for each output.
void vutilDraw(benchmark::State &state) {
    vutil::dxf::Drawing drawing;
    std::string reason;
    if (!vutil::dxf::read(drawingPath, drawing, reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    for (auto _ : state) {
        vutil::dxf::RenderResult result;
        std::string out;
        if (state.range(0) == 2) {
            vutil::tool::Picture picture;
            picture.lineWidth = 1;
            picture.roundEnds = false;
            vutil::dxf::render(drawing, vutil::dxf::RenderOptions{}, picture, result);
            out = vutil::tool::svgOf(picture);
        } else {
            vutil::tool::PixelPage page;
            vutil::dxf::render(drawing, vutil::dxf::RenderOptions{}, page, result);
            if (state.range(0) == 1 && !vutil::tool::pngOf(page, out, reason)) {
                state.SkipWithError(reason.c_str());
                return;
            }
            benchmark::DoNotOptimize(page.pixels.data());
        }
        benchmark::DoNotOptimize(out.data());
    }
    setBytes(state);
}

/// All of `vutil view IN.dxf -o OUT.png` but the writing of the file: read, draw, PNG.
void vutilView(benchmark::State &state) {
    for (auto _ : state) {
        vutil::dxf::Drawing drawing;
        std::string reason;
        if (!vutil::dxf::read(drawingPath, drawing, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        vutil::tool::PixelPage page;
        vutil::dxf::RenderResult result;
        vutil::dxf::render(drawing, vutil::dxf::RenderOptions{}, page, result);
        drawing = vutil::dxf::Drawing{};
        std::string png;
        if (!vutil::tool::pngOf(page, png, reason)) {
            state.SkipWithError(reason.c_str());
            return;
        }
        benchmark::DoNotOptimize(png.data());
    }
    setBytes(state);
}

void ezdxfRead(benchmark::State &state) {
    for (auto _ : state) {
        std::FILE *python = popen(ezdxfCommand.c_str(), "r");
        double seconds = -1;
        const bool timed = python != nullptr && std::fscanf(python, "%lf", &seconds) == 1;
        // The pipe is closed and Python waited for whether or not it printed a time.
        const bool exited = python != nullptr && pclose(python) == 0;
        if (!timed || !exited || !(seconds > 0)) {
            state.SkipWithError("ezdxf failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    setBytes(state);
}

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    const fs::path work = fs::temp_directory_path() / ("vutil-dxf-bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(work);
    if (!prepare(work)) {
        fs::remove_all(work);
        return 1;
    }
    auto add = [](const char *name, auto function) {
        return benchmark::RegisterBenchmark(name, function)->Iterations(3)->Unit(benchmark::kMillisecond);
    };
    add("Vutil_read", vutilRead)->UseRealTime();
    add("Vutil_draw_page", vutilDraw)->Arg(0)->UseRealTime();
    add("Vutil_draw_png", vutilDraw)->Arg(1)->UseRealTime();
    add("Vutil_draw_svg", vutilDraw)->Arg(2)->UseRealTime();
    add("Vutil_view_png", vutilView)->UseRealTime();
    if (!ezdxfCommand.empty()) {
        add("Ezdxf_readfile", ezdxfRead)->UseManualTime();
    }
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(reporter, "ezdxf", {
        {"read vs ezdxf readfile", "Vutil_read/iterations:3/real_time", "Ezdxf_readfile/iterations:3/manual_time"},
        {"read and draw to PNG vs ezdxf readfile", "Vutil_view_png/iterations:3/real_time",
         "Ezdxf_readfile/iterations:3/manual_time"},
    });
    benchmark::Shutdown();
    fs::remove_all(work);
    return 0;
}
