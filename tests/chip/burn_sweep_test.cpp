// A burn interrupted at every phase boundary and inside every phase, once by a
// single failing exchange and once by a camera that is unplugged: the burn
// must report failure with the code of the step that failed (or keep the
// earlier code), must leave the flash untouched when it stopped before the
// erase, and must never leave a half-written firmware that the camera would
// take for a complete one.
//
// Built twice: in chip_tests with a handful of points per phase, and with
// QUILLON_DENSE_SWEEP as chip_sweep_tests (ctest label "sweep"), which tries
// nearly every exchange.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "tests/testing/scenario_builder.h"
#include "tests/testing/sim_device.h"

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::InstalledScenario;
using quillon_test::ScenarioBuilder;
using Bytes = std::vector<uint8_t>;

constexpr int32_t kFlashType = 1;
constexpr int32_t kEarlierCode = ERR_CHIP_IDENT;  // left by an earlier failure
constexpr int kNoCode = -1;

Bytes MakeImage(size_t length) {
    Bytes image(length);
    for (size_t i = 0; i < length; ++i)
        image[i] = static_cast<uint8_t>((i * 7 + (i >> 8) * 13 + 1) % 255);
    const char marker[] = "tSec";
    std::copy(marker, marker + 4, image.begin() + 0x160);
    return image;
}

// The firmware the camera had: not erased anywhere, with bits the new image clears.
Bytes OldFirmware(size_t length) {
    Bytes old(length);
    for (size_t i = 0; i < length; ++i) old[i] = static_cast<uint8_t>(0xF0 | (i & 0x03));
    return old;
}

// --- cameras ---

struct SweepConfig {
    const char* name;
    void (*camera)(CameraBuilder&);
    uint16_t romAddress;
    uint16_t spiMode, spiTx;  // the SPI engine registers of the chip's architecture
    bool block;
    bool bootBytes;
    uint8_t fullVerify;
    int32_t length;
};

void MemoryCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x00)
        .Register(0x80F0, 0x85)
        .Arch(1)
        .CommandRegisters()
        .Rom(0xAFF8, "QMCF0", 1, 0x46)
        .FlashId(0x9F, {0xC2, 0x20, 0x12})
        .EraseMs(3);
}
void BlockCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x00)
        .Register(0x80F0, 0x88)
        .Arch(1)
        .CommandRegisters()
        .Rom(0xAFF8, "QMCT0", 1, 0x46)
        .FlashId(0x9F, {0xC2, 0x20, 0x10})
        .EraseMs(3);
}
void BootCamera(CameraBuilder& c) {
    c.Register(0x101F, 0x16)
        .Arch(0)
        .CommandRegisters()
        .Rom(0xDFF8, "QMBG0", 1)
        .FlashId(0x9F, {0xC2, 0x20, 0x10})
        .EraseMs(3);
}

void PrintTo(const SweepConfig& config, std::ostream* os) {
    *os << config.name;
}

// Chip 0x16's image must reach its CRC area at 0x6700..0x6716.
const SweepConfig kConfigs[] = {
    {"MemoryFullVerify", MemoryCamera, 0xAFF8, 0x8E00, 0x8E02, false, false, 1, 0x1000},
    {"BlockFullVerify", BlockCamera, 0xAFF8, 0x8E00, 0x8E02, true, false, 1, 0x1000},
    {"BlockSpotCheck", BlockCamera, 0xAFF8, 0x8E00, 0x8E02, true, false, 0, 0x1000},
    {"BootSpotCheck", BootCamera, 0xDFF8, 0x1080, 0x1082, false, true, 0, 0x6800},
};

// --- trace ---

struct Exchange {
    bool set = false;
    int selector = 0;
    Bytes data;
};

Exchange ParseExchange(const std::string& line) {
    std::istringstream fields(line);
    std::string camera, direction, hex;
    Exchange e;
    fields >> camera >> direction >> e.selector >> hex;
    e.set = direction == "SET";
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        e.data.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return e;
}

bool IsRegisterWrite(const Exchange& e, uint16_t reg, int value = -1) {
    return e.set && e.selector == 1 && e.data.at(3) == 0x00 &&
           (e.data[0] | e.data[1] << 8) == reg && (value < 0 || e.data[2] == value);
}
bool IsAnyRegisterWrite(const Exchange& e) {
    return e.set && e.selector == 1 && e.data.at(3) == 0x00;
}
bool IsRom(const Exchange& e) {
    return e.selector == 4;
}
bool IsRomRequestAt(const Exchange& e, uint16_t address) {
    return e.set && IsRom(e) && static_cast<uint32_t>(e.data[0] | e.data[1] << 8) == address;
}
bool IsMemoryReadRequest(const Exchange& e) {
    return e.set && e.selector == 3 && (e.data.at(2) & 0x80) != 0;
}
bool IsMemoryWriteAt(const Exchange& e, uint32_t address) {
    return e.set && e.selector == 3 && (e.data.at(2) & 0x80) == 0 &&
           static_cast<uint32_t>(e.data[0] | e.data[1] << 8) == address;
}

// --- phases of a burn, found in a burn that ran to the end ---

enum Phase {
    kChipId,      // chip ID read
    kChipWrites,  // chip-specific register settings
    kRomId,       // ROM identification
    kStream,      // streaming state
    kPrepare,     // write preparation
    kErase,       // chip erase
    kBlank,       // blank check
    kSetup,       // switch to and open the block window
    kMain,        // main programming pass
    kLate,        // withheld bytes
    kReadBack,    // read-back (and its block setup)
    kPhaseCount
};

const char* const kPhaseNames[] = {"chip ID", "chip writes", "ROM ID",   "stream state",
                                   "prepare", "erase",       "blank",    "block setup",
                                   "main",    "late writes", "read-back"};

struct Reference {
    uint32_t base = 0;  // exchanges made before the burn
    std::vector<Exchange> exchanges;
    std::array<size_t, kPhaseCount + 1> start{};  // phase p: [start[p], start[p + 1])

    Phase PhaseOf(size_t i) const {
        for (int p = kPhaseCount - 1; p >= 0; --p)
            if (i >= start[p]) return static_cast<Phase>(p);
        return kChipId;
    }
};

// Exchange counts at the first progress report (programming starts) and at
// the report that ends programming (the read-back follows).
struct Marks {
    sim::SimCamera* camera;
    float doneValue;
    uint32_t atFirst = 0;
    uint32_t atDone = 0;
    static void OnProgress(void* context, float fraction) {
        auto* m = static_cast<Marks*>(context);
        if (m->atFirst == 0) m->atFirst = m->camera->ExchangeCount();
        if (m->atDone == 0 && fraction == m->doneValue) m->atDone = m->camera->ExchangeCount();
    }
};

ScenarioBuilder Scenario(const SweepConfig& config) {
    ScenarioBuilder b;
    CameraBuilder& c = b.AddCamera();
    config.camera(c);
    c.FlashData(0, OldFirmware(0x20000));
    return b;
}

// Opens the camera as the enumeration would; the exchanges this makes come
// before the burn's.
std::unique_ptr<CameraDevice> OpenCamera() {
    auto dev = quillon::testing::OpenSimDevice(0);
    if (!dev) throw std::runtime_error("the simulated camera cannot be opened");
    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    if (dev->ReadChipId(&chipID, &asicArchType) == -1)
        throw std::runtime_error("the simulated chip is not identified");
    dev->InitChipProfile(asicArchType);
    dev->lastError = kEarlierCode;
    return dev;
}

size_t FirstFrom(const std::vector<Exchange>& e, size_t from,
                 const std::function<bool(const Exchange&)>& pred) {
    for (size_t i = from; i < e.size(); ++i)
        if (pred(e[i])) return i;
    throw std::runtime_error("a phase marker is missing from the reference burn");
}

Reference RecordReference(const SweepConfig& config) {
    const InstalledScenario scenario = Scenario(config).Install();
    const std::unique_ptr<CameraDevice> dev = OpenCamera();
    Reference ref;
    ref.base = scenario.Camera(0).ExchangeCount();
    scenario.Sim().ClearTraceLines();
    const Bytes image = MakeImage(config.length);
    Marks marks{&scenario.Camera(0), config.fullVerify ? 0.5f : 1.0f};
    if (dev->BurnFirmware(image.data(), config.length, &Marks::OnProgress, &marks, kFlashType,
                          config.fullVerify) != 0)
        throw std::runtime_error("the reference burn failed");
    for (const std::string& line : scenario.Trace())
        if (line.find("PROBE") == std::string::npos) ref.exchanges.push_back(ParseExchange(line));
    const std::vector<Exchange>& e = ref.exchanges;
    if (e.size() != scenario.Camera(0).ExchangeCount() - ref.base)
        throw std::runtime_error("the trace does not hold every exchange of the burn");

    auto& s = ref.start;
    s[kChipId] = 0;
    s[kRomId] = FirstFrom(e, 0, [](const Exchange& x) { return x.set && IsRom(x); });
    s[kChipWrites] = std::min(s[kRomId], FirstFrom(e, 0, [&](const Exchange& x) {
                                  return IsAnyRegisterWrite(x) || (x.set && IsRom(x));
                              }));
    const uint16_t rom = config.romAddress;
    s[kStream] =
        FirstFrom(e, s[kRomId], [&](const Exchange& x) { return IsRomRequestAt(x, rom); }) + 2;
    s[kPrepare] = FirstFrom(e, s[kStream], [](const Exchange& x) { return x.set && IsRom(x); });
    const size_t eraseCommand = FirstFrom(e, s[kPrepare], [&](const Exchange& x) {
        return IsRegisterWrite(x, config.spiTx, 0x60) || IsRegisterWrite(x, config.spiTx, 0xC7);
    });
    s[kErase] = eraseCommand;
    while (!IsRegisterWrite(e[s[kErase]], config.spiMode, 1)) --s[kErase];
    s[kBlank] = FirstFrom(e, eraseCommand, IsMemoryReadRequest);
    const size_t samples = (config.length - 1024 + 1023) / 1024;
    s[kSetup] = s[kBlank] + 2 * samples;
    s[kMain] = marks.atFirst - ref.base;
    const size_t piece = config.block ? 64 : 8;
    s[kLate] = s[kMain] + (config.length + piece - 1) / piece;
    s[kReadBack] = marks.atDone - ref.base;
    s[kPhaseCount] = e.size();

    // The markers must fall where the procedure puts its steps.
    if (!IsMemoryWriteAt(e.at(s[kLate]), 0x160) || !IsMemoryReadRequest(e.at(s[kSetup] - 2)) ||
        s[kReadBack] != s[kLate] + (config.bootBytes ? 6 : 1) ||
        (!config.block && s[kSetup] != s[kMain]) || !std::is_sorted(s.begin(), s.end()))
        throw std::runtime_error("the phases of the reference burn are not where expected");
    return ref;
}

// --- what an interrupted burn must leave ---

enum class Fault { kFailAt, kUnplugAt };

struct Outcome {
    int32_t result;
    int32_t code;
    bool operator==(const Outcome&) const = default;
};

std::string Describe(const Outcome& o) {
    return "result " + std::to_string(o.result) + ", code " + std::to_string(o.code);
}

// The outcomes the procedure allows for a fault at exchange i. Where a step's
// failure is not examined, a single failing exchange lets the burn go on (and
// succeed); an unplugged camera fails every exchange from i on, so the first
// examined step at or after i decides the code.
std::vector<Outcome> Allowed(const SweepConfig& config, const Reference& ref, size_t i,
                             Fault fault) {
    const Exchange& x = ref.exchanges[i];
    const Phase phase = ref.PhaseOf(i);
    // A ROM request or reply at the address that holds the chip's code: the
    // identification fails. Elsewhere a lost ROM read changes nothing.
    const bool atRom =
        IsRom(x) && IsRomRequestAt(ref.exchanges[x.set ? i : i - 1], config.romAddress);
    const Outcome fails{1, kEarlierCode};
    const Outcome succeeds{0, kEarlierCode};
    auto code = [](int32_t c) { return Outcome{1, c}; };

    if (fault == Fault::kUnplugAt) {
        switch (phase) {
            case kChipId:
                return {fails};
            case kChipWrites:
            case kRomId:
                return {code(ERR_ROM_ID_READ)};
            case kStream:
                return {code(ERR_STREAM_STATE_READ)};
            case kPrepare:
                return {code(ERR_FLASH_UNPROTECT)};
            case kErase:
                return {code(ERR_FLASH_ERASE)};
            case kBlank:
                // A failed reply leaves the sample erased-looking: the next request fails.
                if (!x.set && i + 1 == ref.start[kSetup] && config.block)
                    return {code(ERR_ROM_ID_READ)};
                return {fails};
            case kSetup:
                return {IsRom(x) ? code(ERR_ROM_ID_READ) : fails};
            case kMain:
            case kLate:
                return {fails};
            case kReadBack:
                if (config.block || !x.set) return {code(ERR_VERIFY)};
                return {fails};
            default:
                break;
        }
    } else {
        switch (phase) {
            case kChipId:  // read again
            case kChipWrites:
                return {succeeds};
            case kRomId:
                return {atRom ? code(ERR_ROM_ID_READ) : succeeds};
            case kStream:
                return {code(ERR_STREAM_STATE_READ)};
            case kPrepare:
                return {code(ERR_FLASH_UNPROTECT), succeeds};
            case kErase:
                return {code(ERR_FLASH_ERASE), succeeds};
            case kBlank:
                return {x.set ? fails : succeeds};
            case kSetup:
                if (atRom) return {Outcome{0, ERR_ROM_ID_READ}};
                return {x.set && x.selector == 6 ? fails : succeeds};
            case kMain:
            case kLate:
                return {fails};
            case kReadBack:
                if (!config.block) return {x.set ? fails : code(ERR_VERIFY)};
                if (atRom) return {Outcome{0, ERR_ROM_ID_READ}};
                return {x.selector == 6 ? code(ERR_VERIFY) : succeeds};
            default:
                break;
        }
    }
    return {};
}

void CheckInterruptedBurn(const SweepConfig& config, const Reference& ref, size_t i, Fault fault) {
    const uint32_t number = ref.base + static_cast<uint32_t>(i) + 1;
    ScenarioBuilder b = Scenario(config);
    if (fault == Fault::kFailAt)
        b.Camera(0).FailAt(number);
    else
        b.Camera(0).UnplugAt(number);
    const InstalledScenario scenario = b.Install();
    scenario.Sim().KeepTraceLines(false);
    const std::unique_ptr<CameraDevice> dev = OpenCamera();
    ASSERT_EQ(scenario.Camera(0).ExchangeCount(), ref.base);

    const Bytes image = MakeImage(config.length);
    const Outcome got{dev->BurnFirmware(image.data(), config.length, nullptr, nullptr, kFlashType,
                                        config.fullVerify),
                      dev->lastError};
    const Phase phase = ref.PhaseOf(i);
    SCOPED_TRACE(std::string(config.name) +
                 (fault == Fault::kFailAt ? " fail_at " : " unplug_at ") + std::to_string(number) +
                 " (" + kPhaseNames[phase] + ")");

    const std::vector<Outcome> allowed = Allowed(config, ref, i, fault);
    std::string expected;
    for (const Outcome& o : allowed) expected += " [" + Describe(o) + "]";
    EXPECT_NE(std::find(allowed.begin(), allowed.end(), got), allowed.end())
        << "got " << Describe(got) << ", allowed" << expected;

    const Bytes all = scenario.Camera(0).FlashContents();
    const Bytes flash(all.begin(), all.begin() + config.length);
    const Bytes old = OldFirmware(config.length);
    const bool complete = flash == image;
    if (got.result == 0) {
        EXPECT_TRUE(complete) << "success with a flash that differs from the image";
    }
    if (got.result != 0 && phase < kErase) {
        EXPECT_TRUE(flash == old) << "the flash changed before the erase";
    }
    if (complete || flash == old) return;

    // Half written: the bytes the camera recognises a firmware by are erased.
    // Chip 0x16 writes the sector table first among its withheld bytes, and the
    // CRC head at 0x6700 last: once the sector table is in, that head is what is
    // still missing.
    const bool sectorTableWritten = phase > kLate || (phase == kLate && i > ref.start[kLate]);
    if (config.bootBytes && sectorTableWritten) {
        EXPECT_EQ(flash[0x6700], 0xFF);
        EXPECT_EQ(flash[0x6701], 0xFF);
    } else {
        for (size_t a = 0x160; a < 0x164; ++a) EXPECT_EQ(flash[a], 0xFF) << std::hex << a;
    }
}

// Exchanges of one phase to interrupt: all of a short phase; otherwise both
// ends and pairs in between (a request and its reply fail differently).
std::vector<size_t> PointsIn(size_t from, size_t to, size_t pairs) {
    std::set<size_t> points;
    if (to - from <= 2 * pairs + 2) {
        for (size_t i = from; i < to; ++i) points.insert(i);
    } else {
        points.insert(from);
        points.insert(to - 1);
        for (size_t k = 1; k <= pairs; ++k) {
            const size_t at = from + (to - from) * k / (pairs + 1);
            points.insert(at);
            points.insert(at + 1);
        }
    }
    return std::vector<size_t>(points.begin(), points.end());
}

#ifdef QUILLON_DENSE_SWEEP
constexpr size_t kPairsPerPhase = 200;
#else
constexpr size_t kPairsPerPhase = 2;
#endif

class BurnSweep : public ::testing::TestWithParam<SweepConfig> {
  protected:
    void SetUp() override { CameraManager::Instance().ResetForTesting(); }
    void TearDown() override { CameraManager::Instance().ResetForTesting(); }
};

// Also every request for the ROM code at the address that holds it: lost,
// it fails the identification, even where the burn goes on regardless.
std::vector<size_t> PointsOfPhase(const SweepConfig& config, const Reference& ref, int phase) {
    std::vector<size_t> points = PointsIn(ref.start[phase], ref.start[phase + 1], kPairsPerPhase);
    for (size_t i = ref.start[phase]; i < ref.start[phase + 1]; ++i) {
        if (IsRomRequestAt(ref.exchanges[i], config.romAddress)) points.push_back(i);
    }
    std::sort(points.begin(), points.end());
    points.erase(std::unique(points.begin(), points.end()), points.end());
    return points;
}

TEST_P(BurnSweep, InterruptedBurnNeverLeavesAHalfWrittenFirmware) {
    const SweepConfig& config = GetParam();
    const Reference ref = RecordReference(config);
    for (int p = 0; p < kPhaseCount; ++p) {
        for (size_t i : PointsOfPhase(config, ref, p)) {
            for (Fault fault : {Fault::kFailAt, Fault::kUnplugAt}) {
                CheckInterruptedBurn(config, ref, i, fault);
                if (HasFatalFailure()) return;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, BurnSweep, ::testing::ValuesIn(kConfigs),
                         [](const ::testing::TestParamInfo<SweepConfig>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace quillon
