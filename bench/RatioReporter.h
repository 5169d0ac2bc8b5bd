// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace vireon::bench {

/// Prints the usual table and remembers each benchmark's CPU time per iteration, so that a
/// program can print ratios of benchmarks measured in the same run. CPU time is steadier than
/// wall time on a shared machine; with repetitions, the fastest one counts, as other programs
/// only ever slow a run down.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration) {
                const double seconds =
                    run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
                // Named without the "/repeats:N" that repetitions add.
                benchmark::BenchmarkName name = run.run_name;
                name.repetitions.clear();
                const auto [entry, added] = secondsPerIteration.emplace(name.str(), seconds);
                if (!added && seconds < entry->second) {
                    entry->second = seconds;
                }
            }
        }
    }

    /// The CPU seconds one iteration of `name` took, or nothing if it did not run.
    const double* seconds(const std::string& name) const {
        const auto found = secondsPerIteration.find(name);
        return found == secondsPerIteration.end() ? nullptr : &found->second;
    }

    std::map<std::string, double> secondsPerIteration;
};

}  // namespace vireon::bench
