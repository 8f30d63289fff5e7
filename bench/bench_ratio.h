// Ratio reporting for the benchmarks: times of a reference and of vutil from one run, side by side.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vutil::bench {

/// Prints the console report as usual and keeps each benchmark's real time per iteration.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// Time of `vutil` divided by time of `reference`, or a negative value when one is missing.
    double timeRatio(const std::string &vutil, const std::string &reference) const {
        auto a = times_.find(vutil);
        auto b = times_.find(reference);
        if (a == times_.end() || b == times_.end() || b->second <= 0) {
            return -1;
        }
        return a->second / b->second;
    }

private:
    std::map<std::string, double> times_;
};

/// A vutil benchmark and the reference it is measured against.
struct RatioPair {
    const char *what;
    const char *vutil;
    const char *reference;
};

/// Prints reference time / vutil time for each pair that ran (1.0 or more: vutil at least as fast).
inline void printSpeedRatios(const RatioReporter &reporter, const char *reference,
                             std::initializer_list<RatioPair> pairs) {
    std::printf("\nspeed ratio = %s time / vutil time (1.0 or more: vutil at least as fast)\n", reference);
    for (const RatioPair &pair : pairs) {
        const double ratio = reporter.timeRatio(pair.vutil, pair.reference);
        if (ratio > 0) {
            std::printf("  %-42s %.2f\n", pair.what, 1.0 / ratio);
        }
    }
}

}  // namespace vutil::bench
