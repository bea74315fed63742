// The benchmark program: Google Benchmark's run and table, then the exchange
// counts beside the burn's steps, the enumeration figures, and last the
// line "library overhead: X.XX".
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <vector>

#include "bench/bench.h"
#include "platform/backend.h"

namespace {

// The console table as usual; keeps each benchmark's seconds per iteration
// (the median of repetitions) for the summary.
class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    // Colours only on a terminal, so that a saved run reads as plain text.
    CollectingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (!single && !median) continue;
            timings_[run.run_name.function_name] =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    const quillon_bench::Timings& Timings() const { return timings_; }

  private:
    quillon_bench::Timings timings_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    quillon_bench::RegisterEnumerationBenchmarks();
    quillon_bench::RegisterBurnBenchmarks();
    CollectingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    quillon_bench::PrintEnumerationSummary(reporter.Timings());
    quillon_bench::PrintBurnSummary(reporter.Timings());

    platform::SetBackend(nullptr);  // the simulated systems go with their last references
    quillon_bench::ReleaseEnumerationRigs();
    quillon_bench::ReleaseBurnRigs();
    benchmark::Shutdown();
    return 0;
}
