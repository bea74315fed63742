// Enumeration of 1, 4 and 16 simulated cameras: into an empty registry, again
// with every camera kept, and again with the first camera no longer answering.
//
// A registered camera is probed on worker threads with a 1000 ms limit per
// call. On the virtual clock a camera that does not answer hangs for no wall
// time: its hung calls are counted instead, and what they would cost on
// real hardware (the limit, each) is reported beside the measured time.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "bench/bench.h"
#include "bench/sim_systems.h"
#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "platform/backend.h"
#include "transport/timed_calls.h"

namespace quillon_bench {

namespace {

using quillon::CameraManager;

constexpr size_t kCounts[] = {1, 4, 16};
constexpr uint32_t kProbeLimitMs = 1000;

enum class Mode { kFirst, kAgain, kFirstNotAnswering };

const char* ModeName(Mode mode) {
    switch (mode) {
        case Mode::kFirst:
            return "first";
        case Mode::kAgain:
            return "again";
        case Mode::kFirstNotAnswering:
            return "one-not-answering";
    }
    return "?";
}

std::map<size_t, std::shared_ptr<sim::Simulator>> g_systems;

sim::Simulator& SystemOf(size_t count) {
    auto& system = g_systems[count];
    if (!system) system = MakeSystem(Path::kBlock, count);
    return *system;
}

uint64_t TotalExchanges(const sim::Simulator& system) {
    uint64_t n = 0;
    for (size_t i = 0; i < system.CameraCount(); ++i) n += system.Camera(i).ExchangeCount();
    return n;
}

// What one enumeration did, from the last timed run.
struct Outcome {
    double exchanges = 0;  // an enumeration, all cameras
    double hungCalls = 0;  // calls to the camera that does not answer
    double virtualMs = 0;  // simulated time that passed
    double listed = 0;     // devices in the registry afterwards
};
std::map<std::string, Outcome> g_outcomes;

std::string BenchName(Mode mode, size_t count) {
    return std::string("enumerate/") + ModeName(mode) + "/" + std::to_string(count);
}

void Enumerate(benchmark::State& state, Mode mode, size_t count) {
    sim::Simulator& system = SystemOf(count);
    CameraManager& registry = CameraManager::Instance();
    platform::SetBackend(g_systems[count]);
    system.SetAnswering(0, true);
    registry.ResetForTesting();
    (void)registry.EnumerateDevices();

    uint64_t exchanges = 0, hung = 0, virtualMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (mode == Mode::kFirst) registry.ResetForTesting();
        if (mode == Mode::kFirstNotAnswering) {
            // Registered and answering first, then silent for the timed enumeration.
            system.SetAnswering(0, true);
            (void)registry.EnumerateDevices();
            system.SetAnswering(0, false);
        }
        const uint64_t exchangesBefore = TotalExchanges(system);
        const uint64_t hungBefore = system.Camera(0).ExchangeCount();
        const uint64_t msBefore = system.GetClock().NowMs();
        state.ResumeTiming();

        (void)registry.EnumerateDevices();

        state.PauseTiming();
        exchanges += TotalExchanges(system) - exchangesBefore;
        if (mode == Mode::kFirstNotAnswering) hung += system.Camera(0).ExchangeCount() - hungBefore;
        virtualMs += system.GetClock().NowMs() - msBefore;
        state.ResumeTiming();
    }
    quillon::WaitForTimedWorkers();
    const double n = static_cast<double>(state.iterations());
    // Devices the registry holds afterwards (an enumeration that keeps none leaves empty slots).
    const double listed = static_cast<double>(
        std::count_if(registry.devices.begin(), registry.devices.end(),
                      [](const quillon::CameraDevice* d) { return d != nullptr; }));
    Outcome o{exchanges / n, hung / n, virtualMs / n, listed};
    g_outcomes[BenchName(mode, count)] = o;
    state.counters["exchanges"] = o.exchanges;
    if (mode == Mode::kFirstNotAnswering) state.counters["hung_calls"] = o.hungCalls;
    system.SetAnswering(0, true);
    registry.ResetForTesting();
}

}  // namespace

void RegisterEnumerationBenchmarks() {
    for (Mode mode : {Mode::kFirst, Mode::kAgain, Mode::kFirstNotAnswering}) {
        for (size_t count : kCounts) {
            benchmark::RegisterBenchmark(BenchName(mode, count).c_str(), Enumerate, mode, count)
                ->Unit(benchmark::kMicrosecond)
                ->UseRealTime();
        }
    }
}

void PrintEnumerationSummary(const Timings& timings) {
    bool header = false;
    for (Mode mode : {Mode::kFirst, Mode::kAgain, Mode::kFirstNotAnswering}) {
        for (size_t count : kCounts) {
            const std::string name = BenchName(mode, count);
            const auto t = timings.find(name);
            const auto o = g_outcomes.find(name);
            if (t == timings.end() || o == g_outcomes.end()) continue;
            if (!header) {
                std::printf("\nenumeration (virtual clock)\n");
                header = true;
            }
            std::printf("  %-36s %9.1f us  %6.0f exchanges  %2.0f listed", name.c_str(),
                        t->second * 1e6, o->second.exchanges, o->second.listed);
            if (mode == Mode::kFirstNotAnswering) {
                std::printf("  %2.0f hung calls: %.0f s simulated, ~%.0f s on real hardware",
                            o->second.hungCalls, o->second.virtualMs / 1000.0,
                            o->second.hungCalls * kProbeLimitMs / 1000.0);
            }
            std::printf("\n");
        }
    }
}

void ReleaseEnumerationRigs() {
    quillon::WaitForTimedWorkers();
    CameraManager::Instance().ResetForTesting();
    g_systems.clear();
}

}  // namespace quillon_bench
