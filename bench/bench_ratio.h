// Ratio reporting for the file benchmarks: times of a reference and of vutil from one run, side by side.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
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

}  // namespace vutil::bench
