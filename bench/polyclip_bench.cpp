// Polygon-against-polygon clipping: microseconds and allocations per KorClipVPolyPoly call for a comb
// of 1,000 points against an octagon that cuts off the tips of its teeth and its base, leaving each of
// its 249 teeth a contour of its own; against Sutherland-Hodgman (one outline, no reconnection) on the
// same shapes in the same run.
//
// Every call is counted through this program's malloc, which every allocation of the library and the
// standard library reaches; the "allocations" counter is the count per clip, inside the clip only (the
// caller's copy of the subject is made outside). Before timing, the areas of the two results are
// compared and must agree.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bench_ratio.h"
#include "tests/geometry/clip_oracle.h"
#include "vutil/geometry.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

extern "C" void *__libc_malloc(std::size_t size);

/// Counts, then hands over to the C library's own allocator, whose free releases the block.
extern "C" void *malloc(std::size_t size) noexcept {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

namespace {

using vutil::test::Ring;

/// A comb of 1,000 points, counter-clockwise: a base 1,000 wide and 10 high, 249 teeth rising to 100.
std::vector<vpoint> comb() {
    const int teeth = 249;
    const double pitch = 1000.0 / teeth;
    std::vector<vpoint> p = {{0, 0, 0}, {500, 0, 0}, {1000, 0, 0}};
    for (int t = teeth - 1; t >= 0; --t) {
        const double right = (t + 1) * pitch, left = right - pitch / 2;
        for (const auto &[x, y] : {std::pair{right, 100.0}, {left, 100.0}, {left, 10.0}, {left - pitch / 2, 10.0}}) {
            p.push_back({x, y, 1.0});
        }
    }
    p.push_back(p.front());
    return p;
}

/// An octagon, open, with its top edge at y = 92 and its bottom edge at y = 18.
Ring octagon() {
    Ring ring;
    for (int i = 0; i < 8; ++i) {
        const double a = 3.141592653589793 * (2 * i + 1) / 8;
        ring.push_back({500 + 560 * std::cos(a), 55 + 40 * std::sin(a), 0.0});
    }
    return ring;
}

const std::vector<vpoint> kComb = comb();
const Ring kOctagon = octagon();

/// Clips a malloc copy of the comb and frees the result; the area of the result.
double clipOnce(long &allocated) {
    auto *points = static_cast<vpoint *>(std::malloc(kComb.size() * sizeof(vpoint)));
    std::memcpy(static_cast<void *>(points), kComb.data(), kComb.size() * sizeof(vpoint));
    int32_t counts[1000] = {static_cast<int32_t>(kComb.size())};
    int32_t *countsAt = counts;
    int32_t ncontours = 1;
    const long before = allocations.load(std::memory_order_relaxed);
    const int32_t n = KorClipVPolyPoly(&points, static_cast<int32_t>(kComb.size()), &countsAt, &ncontours,
                                       kOctagon.data(), static_cast<int32_t>(kOctagon.size()));
    allocated += allocations.load(std::memory_order_relaxed) - before;
    double area = 0;
    for (int32_t c = 0, at = 0; n > 0 && c < ncontours; at += counts[c++]) {
        area += vutil::test::shoelace(points + at, static_cast<std::size_t>(counts[c]));
    }
    std::free(points);
    return area;
}

double referenceOnce() {
    const Ring subject(kComb.begin(), kComb.end() - 1);
    const Ring clipped = vutil::test::sutherlandHodgman(subject, kOctagon);
    return vutil::test::shoelace(clipped.data(), clipped.size());
}

void finish(benchmark::State &state, long allocated) {
    state.counters["us_per_clip"] = benchmark::Counter(static_cast<double>(state.iterations()) * 1e-6,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocations"] = static_cast<double>(allocated) / static_cast<double>(state.iterations());
}

void vutilClipVPolyPoly(benchmark::State &state) {
    long allocated = 0;
    clipOnce(allocated);  // the working tables are made by the first clip and kept
    allocated = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(clipOnce(allocated));
    }
    finish(state, allocated);
}

void referenceSutherlandHodgman(benchmark::State &state) {
    long allocated = 0;
    for (auto _ : state) {
        const long before = allocations.load(std::memory_order_relaxed);
        benchmark::DoNotOptimize(referenceOnce());
        allocated += allocations.load(std::memory_order_relaxed) - before;
    }
    finish(state, allocated);
}

BENCHMARK(referenceSutherlandHodgman)->Name("Reference_SutherlandHodgman")->Unit(benchmark::kMicrosecond);
BENCHMARK(vutilClipVPolyPoly)->Name("Vutil_KorClipVPolyPoly")->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char **argv) {
    long ignored = 0;
    const double area = clipOnce(ignored), expected = referenceOnce();
    if (std::fabs(area - expected) > 1e-6 * std::fabs(expected)) {
        std::fprintf(stderr, "areas differ: KorClipVPolyPoly %.9g, Sutherland-Hodgman %.9g\n", area, expected);
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(
        reporter, "Sutherland-Hodgman",
        {{"comb of 1,000 points against an octagon", "Vutil_KorClipVPolyPoly", "Reference_SutherlandHodgman"}});
    benchmark::Shutdown();
    return 0;
}
