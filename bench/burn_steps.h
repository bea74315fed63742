// The number of exchanges one burn takes, step by step, as the burn's own
// description implies it for the benchmark's cameras (flash type 1, full
// verification, the flash busy for the erase time on the virtual clock).
// Counted by hand from the steps, not from the code, so that a measured count
// that differs shows an exchange the description does not account for.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/sim_systems.h"

namespace quillon_bench {

// Where in the burn a step lies; the progress reports mark the borders.
enum class Phase {
    kBeforeProgramming,  // up to the first progress report
    kProgramming,        // the image and the late writes, up to the report of one half
    kReadBack,           // from there to the end
};
inline constexpr int kPhases = 3;
const char* PhaseName(Phase phase);

struct BurnStep {
    const char* what;
    Phase phase;
    uint64_t exchanges;
};

std::vector<BurnStep> BurnSteps(Path path, uint32_t imageLength, uint32_t eraseMs);

}  // namespace quillon_bench
