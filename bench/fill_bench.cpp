// Polygon fill: the edge-table FillPolygon against the straightforward edge-by-edge fill.
//
// The polygon is a star of 10,000 vertices spanning 4,000 scan lines. Both fills hand their spans to
// the same cheap callback; before timing, the two call lists are compared and must be identical.
// Ratios: time(reference) / time(FillPolygon) for the same star.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "tests/geometry/fill_oracle.h"
#include "vutil/geometry.h"

namespace {

/// A star of `vertices` points (outer and inner radius alternating) about the origin, closed.
std::vector<ipoint> star(int vertices, double outer, double inner) {
    std::vector<ipoint> p;
    p.reserve(static_cast<std::size_t>(vertices) + 1);
    for (int i = 0; i < vertices; ++i) {
        const double a = 6.283185307179586 * i / vertices + 0.0001;
        const double r = (i % 2 == 0) ? outer : inner;
        p.push_back(
            {static_cast<int32_t>(std::lround(r * std::cos(a))), static_cast<int32_t>(std::lround(r * std::sin(a)))});
    }
    p.push_back(p.front());
    return p;
}

/// The star measured: outer radius 2000 (4,000 scan lines at step 1), inner radius `permille` of it.
/// The inner radius sets how many edges cross each line: about 1,600 at 500, 320 at 900, 100 at 970.
std::vector<ipoint> starOf(int64_t permille) {
    return star(10000, 2000.0, 2.0 * static_cast<double>(permille));
}

struct Tally {
    int64_t spans = 0;
    int64_t sum = 0;
};

void tallySegment(intptr_t context, intptr_t, const ipoint *a, const ipoint *b, intptr_t) {
    auto *t = reinterpret_cast<Tally *>(context);
    ++t->spans;
    t->sum += b->x - a->x;
}

/// The reference hands its spans over through a function pointer, as FillPolygon does.
fill_segment_proc referenceSink = tallySegment;

void checkIdentical(const std::vector<ipoint> &p) {
    if (!(vutil::test::libraryCalls(p, 1, false) == vutil::test::referenceCalls(p, 1, false))) {
        std::fprintf(stderr, "fill_bench: FillPolygon and the reference differ\n");
        std::abort();
    }
}

void vutilFillPolygon(benchmark::State &state) {
    const auto p = starOf(state.range(0));
    Tally tally;
    for (auto _ : state) {
        FillPolygon(reinterpret_cast<intptr_t>(&tally), 0, p.data(), static_cast<int32_t>(p.size()), 1, 0, tallySegment,
                    nullptr);
        benchmark::DoNotOptimize(tally);
    }
    state.counters["spans_per_fill"] = static_cast<double>(tally.spans) / static_cast<double>(state.iterations());
    state.counters["lines_per_s"] =
        benchmark::Counter(4000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(p.size()));
}

void referenceEdgeByEdge(benchmark::State &state) {
    const auto p = starOf(state.range(0));
    checkIdentical(p);
    Tally tally;
    benchmark::DoNotOptimize(referenceSink);
    for (auto _ : state) {
        vutil::test::referenceFill(
            p.data(), static_cast<int32_t>(p.size()), 1, false,
            [&tally](char, ipoint a, ipoint b) { referenceSink(reinterpret_cast<intptr_t>(&tally), 0, &a, &b, 0); });
        benchmark::DoNotOptimize(tally);
    }
    state.counters["spans_per_fill"] = static_cast<double>(tally.spans) / static_cast<double>(state.iterations());
    state.counters["lines_per_s"] =
        benchmark::Counter(4000.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(p.size()));
}

BENCHMARK(referenceEdgeByEdge)
    ->Name("Reference_EdgeByEdge")
    ->Arg(500)
    ->Arg(900)
    ->Arg(970)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(vutilFillPolygon)->Name("Vutil_FillPolygon")->Arg(500)->Arg(900)->Arg(970)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nspeed ratio = edge-by-edge time / FillPolygon time (identical spans checked before timing)\n");
    for (const char *shape : {"500", "900", "970"}) {
        const double ratio =
            reporter.timeRatio(std::string("Vutil_FillPolygon/") + shape, std::string("Reference_EdgeByEdge/") + shape);
        if (ratio > 0) {
            std::printf("  star, inner radius %s/1000 of the outer  %.1f\n", shape, 1.0 / ratio);
        }
    }
    benchmark::Shutdown();
    return 0;
}
