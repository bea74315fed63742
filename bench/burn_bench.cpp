// A 128 KiB burn with full verification on each transfer path, through the
// library and as the same exchanges sent bare to the simulated filter.
//
// The bare sequence is the library burn's own trace, replayed: the same
// controls, lengths, data and order, so both sides make the simulated chip
// do the same work. Only the virtual clock needs help: the library waits for
// the erase by sleeping between status polls, the replay moves the clock on
// by the erase time right after the exchange that starts the erase.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/bench.h"
#include "bench/burn_steps.h"
#include "bench/sim_systems.h"
#include "camlib/camera_device.h"
#include "platform/backend.h"
#include "platform/ks.h"
#include "sim/camera.h"

namespace quillon_bench {

namespace {

using platform::ComPtr;
using platform::IKsControl;
using platform::KSP_NODE;

constexpr uint32_t kImageLength = 128 * 1024;

// A firmware image with no erased-looking byte, so every byte shows in the read-back.
std::vector<uint8_t> MakeImage() {
    std::vector<uint8_t> image(kImageLength);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + 1) % 255);
    return image;
}

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "quillon_bench: %s\n", why.c_str());
    std::exit(2);
}

// --- the bare sequence ---

struct BareExchange {
    KSP_NODE request;
    uint32_t offset;  // of the data in BareSequence::data
    uint32_t length;
    int32_t status;  // as the library's burn got it
};

struct BareSequence {
    std::vector<BareExchange> exchanges;
    std::vector<uint8_t> data;  // SET data as sent; room for each GET's reply
    size_t eraseIndex = 0;      // the exchange after which the flash is busy erasing
};

// Appends one trace line "<camera> <SET|GET> <selector> <hex> <status>".
void AppendExchange(const std::string& line, int32_t node, BareSequence& out) {
    std::istringstream fields(line);
    std::string camera, direction, hex;
    uint32_t selector = 0;
    int32_t status = 0;
    if (!(fields >> camera >> direction >> selector >> hex >> status) ||
        (direction != "SET" && direction != "GET") || hex.size() % 2 != 0)
        Die("unexpected trace line: " + line);
    BareExchange e{};
    e.request.Property.Set = sim::kExtensionUnitSet;
    e.request.Property.Id = selector;
    e.request.Property.Flags = direction == "SET" ? sim::kFlagsSet : sim::kFlagsGet;
    e.request.NodeId = static_cast<uint32_t>(node);
    e.offset = static_cast<uint32_t>(out.data.size());
    e.length = static_cast<uint32_t>(hex.size() / 2);
    e.status = status;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const uint8_t byte = static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16));
        out.data.push_back(direction == "SET" ? byte : 0);
    }
    out.exchanges.push_back(e);
}

// One exchange of the sequence, straight on the filter's control interface.
inline platform::HRESULT Send(IKsControl* ks, BareSequence& s, const BareExchange& e) {
    KSP_NODE request = e.request;
    uint32_t returned = 0;
    return ks->KsProperty(&request.Property, sizeof request, s.data.data() + e.offset, e.length,
                          &returned);
}

// --- one transfer path: its system, its camera opened by the library ---

struct BurnRig {
    Path path;
    std::shared_ptr<sim::Simulator> system;
    std::unique_ptr<quillon::CameraDevice> device;
    ComPtr<IKsControl> control;  // the filter's own, for the bare exchanges
    std::vector<uint8_t> image = MakeImage();
    int32_t flashType = 0;
    BareSequence bare;

    // Measured once, outside the timed runs.
    uint32_t exchangesPerBurn = 0;
    std::array<uint32_t, kPhases> phaseExchanges{};
    uint64_t burnAllocations = 0;
    uint64_t replayAllocations = 0;
    size_t replayStatusMismatches = 0;

    sim::SimCamera& Camera() const { return system->Camera(0); }
    int32_t Burn(ProgressCallback callback = nullptr, void* context = nullptr) {
        return device->BurnFirmware(image.data(), static_cast<int32_t>(image.size()), callback,
                                    context, flashType, 1);
    }
};

std::array<std::unique_ptr<BurnRig>, 2> g_rigs;

// Exchange counts at the progress reports that border the phases.
struct PhaseMarks {
    const sim::SimCamera* camera;
    uint32_t start;
    std::optional<uint32_t> firstReport;
    std::optional<uint32_t> half;

    static void Record(void* context, float fraction) {
        auto* m = static_cast<PhaseMarks*>(context);
        if (!m->firstReport) m->firstReport = m->camera->ExchangeCount();
        if (fraction == 0.5f && !m->half) m->half = m->camera->ExchangeCount();
    }
};

void MeasurePhases(BurnRig& rig) {
    PhaseMarks marks{&rig.Camera(), rig.Camera().ExchangeCount(), {}, {}};
    if (rig.Burn(&PhaseMarks::Record, &marks) != 0) Die("the counting burn failed");
    const uint32_t end = rig.Camera().ExchangeCount();
    if (!marks.firstReport || !marks.half) Die("the burn made no progress reports");
    rig.exchangesPerBurn = end - marks.start;
    rig.phaseExchanges = {*marks.firstReport - marks.start, *marks.half - *marks.firstReport,
                          end - *marks.half};
}

void RecordBareSequence(BurnRig& rig) {
    rig.system->ClearTraceLines();
    rig.system->KeepTraceLines(true);
    if (rig.Burn() != 0) Die("the recorded burn failed");
    rig.system->KeepTraceLines(false);
    for (const std::string& line : rig.system->TraceLines())
        AppendExchange(line, rig.device->xuNodeId, rig.bare);
    rig.system->ClearTraceLines();
    if (rig.bare.exchanges.size() != rig.exchangesPerBurn)
        Die("the trace does not hold every exchange of the burn");
}

// A replay that also finds where the erase starts, and checks that every
// exchange gets the status it got in the library's burn.
void FindEraseAndCheckReplay(BurnRig& rig) {
    BareSequence& s = rig.bare;
    sim::SpiFlash& flash = rig.Camera().Flash();
    bool found = false;
    for (size_t i = 0; i < s.exchanges.size(); ++i) {
        if (Send(rig.control.Get(), s, s.exchanges[i]) != s.exchanges[i].status)
            ++rig.replayStatusMismatches;
        if (!found && flash.Busy()) {
            s.eraseIndex = i;
            found = true;
            rig.system->GetClock().Sleep(kEraseMs);
        }
    }
    if (!found) Die("the replayed burn never erased the flash");
}

BurnRig& RigFor(Path path) {
    std::unique_ptr<BurnRig>& slot = g_rigs[path == Path::kMemory ? 0 : 1];
    if (slot) return *slot;
    auto rig = std::make_unique<BurnRig>();
    rig->path = path;
    rig->system = MakeSystem(path, 1);
    platform::SetBackend(rig->system);
    rig->device = OpenCamera(0);
    if (rig->device->GetFlashType(&rig->flashType, 0) != 0 || rig->flashType == 0)
        Die("the flash is not identified");
    if (rig->device->baseFilter->QueryInterface(platform::IID_IKsControl, rig->control.PutVoid()) !=
        0)
        Die("the filter has no control interface");

    MeasurePhases(*rig);
    {
        AllocationCount count;
        if (rig->Burn() != 0) Die("the burn failed");
        rig->burnAllocations = count.Stop();
    }
    RecordBareSequence(*rig);
    FindEraseAndCheckReplay(*rig);
    // The recording freed one string per traced exchange; the allocator tidies
    // up after them at the next large allocation (the working copy of the
    // next burn). That happens here, outside the timed runs.
    if (rig->Burn() != 0) Die("the burn failed");
    slot = std::move(rig);
    return *slot;
}

// --- the benchmarks ---

void SetRateCounters(benchmark::State& state, uint32_t exchanges) {
    state.counters["exchanges"] = exchanges;
    state.counters["exchanges/s"] =
        benchmark::Counter(static_cast<double>(exchanges) * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// The timed work of each side, kept out of line so that a profiler
// (valgrind --tool=callgrind --toggle-collect=...) can count each on its own.
[[gnu::noinline]] int32_t TimedBurn(BurnRig& rig) {
    return rig.Burn();
}

// Replays the burn's exchanges; the number that got another status than in the burn.
[[gnu::noinline]] size_t TimedReplay(BurnRig& rig) {
    BareSequence& s = rig.bare;
    IKsControl* ks = rig.control.Get();
    platform::Clock& clock = rig.system->GetClock();
    size_t mismatches = 0;
    for (size_t i = 0; i < s.exchanges.size(); ++i) {
        const BareExchange& e = s.exchanges[i];
        mismatches += Send(ks, s, e) != e.status;
        if (i == s.eraseIndex) clock.Sleep(kEraseMs);
    }
    return mismatches;
}

// --- the paired measurement behind the ratio ---

// Two benchmarks run seconds apart meet different load on a shared machine, and
// their ratio moved by more than its own excess between runs. Burns and replays
// timed in alternation meet the same load pair by pair; the median of the
// pairs' ratios is what the summary reports.
struct PairedRatio {
    double median = 0;
    double lowQuartile = 0;
    double highQuartile = 0;
    size_t pairs = 0;
};

constexpr size_t kMinPairs = 51;
constexpr size_t kMaxPairs = 2001;
constexpr auto kPairedBudget = std::chrono::seconds(2);

template <class Work>
double SecondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

PairedRatio MeasurePaired(BurnRig& rig) {
    platform::SetBackend(rig.system);
    const auto burn = [&] {
        if (TimedBurn(rig) != 0) Die("a paired burn failed");
    };
    const auto replay = [&] {
        if (TimedReplay(rig) != 0) Die("a paired replay got another status than the burn");
    };
    std::vector<double> ratios;
    const auto until = std::chrono::steady_clock::now() + kPairedBudget;
    while (ratios.size() < kMinPairs ||
           (ratios.size() < kMaxPairs && std::chrono::steady_clock::now() < until)) {
        // Which side goes first alternates, so neither always finds the caches warm.
        double library = 0;
        double bare = 0;
        if (ratios.size() % 2 == 0) {
            library = SecondsOf(burn);
            bare = SecondsOf(replay);
        } else {
            bare = SecondsOf(replay);
            library = SecondsOf(burn);
        }
        ratios.push_back(library / bare);
    }
    std::sort(ratios.begin(), ratios.end());
    const auto at = [&](double q) { return ratios[static_cast<size_t>(q * (ratios.size() - 1))]; };
    return PairedRatio{at(0.5), at(0.25), at(0.75), ratios.size()};
}

void BurnThroughLibrary(benchmark::State& state, Path path) {
    BurnRig& rig = RigFor(path);
    platform::SetBackend(rig.system);  // the library sleeps on this system's clock
    const uint32_t before = rig.Camera().ExchangeCount();
    for (auto _ : state) {
        if (TimedBurn(rig) != 0) {
            state.SkipWithError("the burn failed");
            return;
        }
    }
    const uint32_t exchanges = rig.Camera().ExchangeCount() - before;
    SetRateCounters(state, static_cast<uint32_t>(exchanges / state.iterations()));
}

void BareExchanges(benchmark::State& state, Path path) {
    BurnRig& rig = RigFor(path);
    platform::SetBackend(rig.system);
    size_t mismatches = 0;
    for (auto _ : state) mismatches += TimedReplay(rig);
    if (mismatches) state.SkipWithError("a replayed exchange got another status than in the burn");
    SetRateCounters(state, static_cast<uint32_t>(rig.bare.exchanges.size()));
}

std::string BenchName(Path path, const char* side) {
    return std::string("burn/") + PathName(path) + "/" + side;
}

// --- the summary ---

double Ratio(const Timings& t, Path path) {
    const auto lib = t.find(BenchName(path, "library"));
    const auto bare = t.find(BenchName(path, "bare"));
    if (lib == t.end() || bare == t.end() || bare->second <= 0) return -1;
    return lib->second / bare->second;  // both sides make the same number of exchanges
}

void PrintCounts(const BurnRig& rig) {
    const std::vector<BurnStep> steps = BurnSteps(rig.path, kImageLength, kEraseMs);
    std::array<uint64_t, kPhases> derived{};
    for (const BurnStep& s : steps) derived[static_cast<int>(s.phase)] += s.exchanges;
    uint64_t derivedTotal = 0;
    for (uint64_t n : derived) derivedTotal += n;

    std::printf("\n%s path: exchanges of one 128 KiB burn (full verification, erase %u ms)\n",
                PathName(rig.path), kEraseMs);
    std::printf("  %-22s %9s %9s %6s\n", "", "measured", "by steps", "diff");
    for (int p = 0; p < kPhases; ++p) {
        std::printf(
            "  %-22s %9u %9llu %+6lld\n", PhaseName(static_cast<Phase>(p)), rig.phaseExchanges[p],
            static_cast<unsigned long long>(derived[p]),
            static_cast<long long>(rig.phaseExchanges[p]) - static_cast<long long>(derived[p]));
    }
    std::printf(
        "  %-22s %9u %9llu %+6lld\n", "whole burn", rig.exchangesPerBurn,
        static_cast<unsigned long long>(derivedTotal),
        static_cast<long long>(rig.exchangesPerBurn) - static_cast<long long>(derivedTotal));
    std::printf("  steps:");
    for (const BurnStep& s : steps)
        std::printf(" %s %llu;", s.what, static_cast<unsigned long long>(s.exchanges));
    std::printf("\n  allocations: library burn %llu (%.4f an exchange), bare replay %llu\n",
                static_cast<unsigned long long>(rig.burnAllocations),
                static_cast<double>(rig.burnAllocations) / rig.exchangesPerBurn,
                static_cast<unsigned long long>(rig.replayAllocations));
    if (rig.replayStatusMismatches)
        std::printf("  WARNING: %zu replayed exchanges got another status\n",
                    rig.replayStatusMismatches);
}

}  // namespace

void RegisterBurnBenchmarks() {
    for (Path path : {Path::kMemory, Path::kBlock}) {
        benchmark::RegisterBenchmark(BenchName(path, "library").c_str(), BurnThroughLibrary, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(5)
            ->DisplayAggregatesOnly(true);
        benchmark::RegisterBenchmark(BenchName(path, "bare").c_str(), BareExchanges, path)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Repetitions(5)
            ->DisplayAggregatesOnly(true);
    }
}

void PrintBurnSummary(const Timings& timings) {
    double worst = -1;
    for (Path path : {Path::kMemory, Path::kBlock}) {
        const std::unique_ptr<BurnRig>& rig = g_rigs[path == Path::kMemory ? 0 : 1];
        if (!rig) continue;
        // The replay's allocations, counted here so that the timed runs count nothing.
        {
            platform::SetBackend(rig->system);
            AllocationCount count;
            (void)TimedReplay(*rig);
            rig->replayAllocations = count.Stop();
        }
        PrintCounts(*rig);
        const double ratio = Ratio(timings, path);
        if (ratio < 0) continue;
        const double lib = timings.at(BenchName(path, "library"));
        const double bare = timings.at(BenchName(path, "bare"));
        std::printf("  time an exchange: library %.1f ns, bare %.1f ns (ratio of the medians: %.2f)\n",
                    lib / rig->exchangesPerBurn * 1e9, bare / rig->exchangesPerBurn * 1e9, ratio);
        const PairedRatio paired = MeasurePaired(*rig);
        std::printf(
            "  library overhead (%s path): %.2f, the median of %zu burns each timed beside a "
            "replay (quartiles %.2f to %.2f)\n",
            PathName(path), paired.median, paired.pairs, paired.lowQuartile, paired.highQuartile);
        worst = std::max(worst, paired.median);
    }
    if (worst >= 0) std::printf("\nlibrary overhead: %.2f\n", worst);
}

void ReleaseBurnRigs() {
    for (auto& rig : g_rigs) {
        if (!rig) continue;
        rig->control.Reset();
        rig->device.reset();
        rig.reset();
    }
}

}  // namespace quillon_bench
