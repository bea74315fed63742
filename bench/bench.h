// The benchmark program's parts: each registers its benchmarks, and after the
// run prints what it measured beside what it derives.
#pragma once

#include <map>
#include <string>

namespace quillon_bench {

// Seconds per iteration of each benchmark that ran (the median when repeated), by name.
using Timings = std::map<std::string, double>;

void RegisterBurnBenchmarks();
void RegisterEnumerationBenchmarks();

void PrintEnumerationSummary(const Timings& timings);
// Ends with the line "library overhead: X.XX".
void PrintBurnSummary(const Timings& timings);

// Drops the simulated systems (devices first), before the program ends.
void ReleaseBurnRigs();
void ReleaseEnumerationRigs();

}  // namespace quillon_bench
