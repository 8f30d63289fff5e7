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

/// Prints the console report as usual and keeps each benchmark's real time per iteration: the
/// median when the run was repeated (--benchmark_repetitions), the time of its only run otherwise.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                medians_[run.run_name.str()] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    /// Time of `vutil` divided by time of `reference`, or a negative value when one is missing.
    double timeRatio(const std::string &vutil, const std::string &reference) const {
        const double a = timeOf(vutil);
        const double b = timeOf(reference);
        return a < 0 || b <= 0 ? -1 : a / b;
    }

private:
    double timeOf(const std::string &name) const {
        if (auto median = medians_.find(name); median != medians_.end()) {
            return median->second;
        }
        auto time = times_.find(name);
        return time == times_.end() ? -1 : time->second;
    }

    std::map<std::string, double> times_;
    std::map<std::string, double> medians_;
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
