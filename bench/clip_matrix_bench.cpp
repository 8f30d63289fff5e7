// Segment clipping and point transforms: nanoseconds per call of KorClipLine, KorClipVLine and
// mult_hmatrix_v on each flag path, against straightforward references in the same run.
//
// References: a parametric (Liang-Barsky) clipper in doubles for the clippers, and the plain 3 x 4
// product without flags for the point transform, both called out of line through pointers as the
// exports are. Every loop runs over 1,000,000 prepared inputs; the
// "allocations" counter counts operator new calls inside the timed loops (all must be 0).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bench_ratio.h"
#include "vutil/geometry.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

// The counting operator new of this program hands out malloc blocks, which its operator delete frees.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void *operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept {
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr int kCount = 1000000;

struct Segments {
    std::vector<ipoint> a, b;
    std::vector<vpoint> va, vb;
};

const Segments &segments() {
    static const Segments s = [] {
        Segments r;
        std::mt19937 rng(42);
        std::uniform_int_distribution<int32_t> coord(-2000, 2000);
        for (int i = 0; i < kCount; ++i) {
            const ipoint a{coord(rng), coord(rng)}, b{coord(rng), coord(rng)};
            r.a.push_back(a);
            r.b.push_back(b);
            r.va.push_back({a.x + 0.25, a.y - 0.5, 1.0});
            r.vb.push_back({b.x - 0.75, b.y + 0.125, 2.0});
        }
        return r;
    }();
    return s;
}

/// Counts the allocations made while it is alive (the timed inner loops only).
class AllocationProbe {
public:
    explicit AllocationProbe(long &total) : total_(total), start_(allocations.load()) {}
    ~AllocationProbe() { total_ += allocations.load() - start_; }

private:
    long &total_;
    long start_;
};

void finish(benchmark::State &state, long allocationCount, int64_t visible) {
    state.counters["ns_per_call"] =
        benchmark::Counter(static_cast<double>(kCount) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocations"] = static_cast<double>(allocationCount);
    state.counters["visible_share"] =
        static_cast<double>(visible) / (static_cast<double>(kCount) * static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kCount);
}

void vutilKorClipLine(benchmark::State &state) {
    const Segments &s = segments();
    int64_t visible = 0;
    long allocated = 0;
    for (auto _ : state) {
        AllocationProbe probe(allocated);
        for (int i = 0; i < kCount; ++i) {
            ipoint o1, o2;
            visible += KorClipLine(s.a[i].x, s.a[i].y, s.b[i].x, s.b[i].y, &o1, &o2, -1000, -1000, 1000, 1000);
            benchmark::DoNotOptimize(o1);
        }
    }
    finish(state, allocated, visible);
}

void vutilKorClipVLine(benchmark::State &state) {
    const Segments &s = segments();
    int64_t visible = 0;
    const vpoint lo{-1000, -1000, 0}, hi{1000, 1000, 0};
    long allocated = 0;
    for (auto _ : state) {
        AllocationProbe probe(allocated);
        for (int i = 0; i < kCount; ++i) {
            vpoint o1, o2;
            visible += KorClipVLine(s.va[i], s.vb[i], &o1, &o2, lo, hi);
            benchmark::DoNotOptimize(o1);
        }
    }
    finish(state, allocated, visible);
}

/// The reference clipper: Liang-Barsky on the segment's parameter, in doubles, out of line.
[[gnu::noinline]] bool liangBarsky(double x1, double y1, double x2, double y2, double xmin, double ymin, double xmax,
                                   double ymax, double out[4]) {
    double t0 = 0.0, t1 = 1.0;
    const double dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - xmin, xmax - x1, y1 - ymin, ymax - y1};
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) return false;
        } else {
            const double r = q[k] / p[k];
            if (p[k] < 0.0) {
                if (r > t1) return false;
                if (r > t0) t0 = r;
            } else {
                if (r < t0) return false;
                if (r < t1) t1 = r;
            }
        }
    }
    out[0] = x1 + t0 * dx;
    out[1] = y1 + t0 * dy;
    out[2] = x1 + t1 * dx;
    out[3] = y1 + t1 * dy;
    return true;
}

/// Called through a pointer, as callers reach the exports, so that the window is not folded in.
bool (*volatile referenceClip)(double, double, double, double, double, double, double, double, double[4]) = liangBarsky;

void referenceLiangBarsky(benchmark::State &state) {
    const Segments &s = segments();
    int64_t visible = 0;
    long allocated = 0;
    for (auto _ : state) {
        AllocationProbe probe(allocated);
        for (int i = 0; i < kCount; ++i) {
            double out[4];
            visible += referenceClip(s.va[i].x, s.va[i].y, s.vb[i].x, s.vb[i].y, -1000, -1000, 1000, 1000, out);
            benchmark::DoNotOptimize(out);
        }
    }
    finish(state, allocated, visible);
}

const std::vector<double> &points() {
    static const std::vector<double> p = [] {
        std::vector<double> r;
        r.reserve(3 * kCount);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> coord(-1e4, 1e4);
        for (int i = 0; i < 3 * kCount; ++i) r.push_back(coord(rng));
        return r;
    }();
    return p;
}

hmatrix matrixWithFlags(int32_t flags) {
    hmatrix m;
    // A turn without scaling keeps the points, transformed over and over, within their range.
    create_hmatrix(&m, 10, -20, 30, 0.6, 0.8, 1, 1, 1);
    m.flags = flags;
    return m;
}

void vutilMultHmatrixV(benchmark::State &state) {
    const hmatrix m = matrixWithFlags(static_cast<int32_t>(state.range(0)));
    std::vector<double> work = points();
    long allocated = 0;
    for (auto _ : state) {
        AllocationProbe probe(allocated);
        for (int i = 0; i < kCount; ++i) {
            mult_hmatrix_v(&m, &work[3 * static_cast<std::size_t>(i)]);
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    finish(state, allocated, 0);
}

/// The reference transform: the full product without flags, out of line like the export.
[[gnu::noinline]] void fullProduct(const hmatrix *matrix, double *p) {
    const auto &m = matrix->m;
    const double x = p[0], y = p[1], z = p[2];
    p[0] = x * m[0][0] + y * m[0][1] + z * m[0][2] + m[0][3];
    p[1] = x * m[1][0] + y * m[1][1] + z * m[1][2] + m[1][3];
    p[2] = x * m[2][0] + y * m[2][1] + z * m[2][2] + m[2][3];
}

/// Called through a pointer the compiler cannot see through, as callers reach the export.
void (*volatile referenceTransform)(const hmatrix *, double *) = fullProduct;

void referenceFullProduct(benchmark::State &state) {
    const hmatrix m = matrixWithFlags(0);
    std::vector<double> work = points();
    long allocated = 0;
    for (auto _ : state) {
        AllocationProbe probe(allocated);
        for (int i = 0; i < kCount; ++i) {
            referenceTransform(&m, &work[3 * static_cast<std::size_t>(i)]);
        }
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    finish(state, allocated, 0);
}

BENCHMARK(referenceLiangBarsky)->Name("Reference_LiangBarsky")->Unit(benchmark::kMillisecond);
BENCHMARK(vutilKorClipLine)->Name("Vutil_KorClipLine")->Unit(benchmark::kMillisecond);
BENCHMARK(vutilKorClipVLine)->Name("Vutil_KorClipVLine")->Unit(benchmark::kMillisecond);
BENCHMARK(referenceFullProduct)->Name("Reference_FullProduct")->Unit(benchmark::kMillisecond);
// Flag paths: 0 general, 2 planar, 4 diagonal, 6 planar and diagonal, 1 unit.
BENCHMARK(vutilMultHmatrixV)
    ->Name("Vutil_mult_hmatrix_v")
    ->Arg(0)
    ->Arg(HM_PLANAR)
    ->Arg(HM_DIAGONAL)
    ->Arg(HM_PLANAR | HM_DIAGONAL)
    ->Arg(HM_UNIT)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    vutil::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vutil::bench::printSpeedRatios(reporter, "reference", {
        {"KorClipLine vs Liang-Barsky", "Vutil_KorClipLine", "Reference_LiangBarsky"},
        {"KorClipVLine vs Liang-Barsky", "Vutil_KorClipVLine", "Reference_LiangBarsky"},
        {"mult_hmatrix_v general vs full product", "Vutil_mult_hmatrix_v/0", "Reference_FullProduct"},
        {"mult_hmatrix_v planar vs full product", "Vutil_mult_hmatrix_v/2", "Reference_FullProduct"},
        {"mult_hmatrix_v diagonal vs full product", "Vutil_mult_hmatrix_v/4", "Reference_FullProduct"},
        {"mult_hmatrix_v planar+diagonal vs full", "Vutil_mult_hmatrix_v/6", "Reference_FullProduct"},
        {"mult_hmatrix_v unit vs full product", "Vutil_mult_hmatrix_v/1", "Reference_FullProduct"},
    });
    benchmark::Shutdown();
    return 0;
}
