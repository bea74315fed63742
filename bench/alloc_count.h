// Counts the program's heap allocations while counting is switched on, so a
// benchmark can show how many allocations one burn or one bare replay makes.
#pragma once

#include <cstdint>

namespace quillon_bench {

// Counts allocations made from the moment of construction to Stop() (or destruction).
class AllocationCount {
  public:
    AllocationCount();
    ~AllocationCount();
    AllocationCount(const AllocationCount&) = delete;
    AllocationCount& operator=(const AllocationCount&) = delete;

    // The allocations counted so far; counting ends.
    uint64_t Stop();

  private:
    uint64_t start_;
    bool running_ = true;
};

}  // namespace quillon_bench
