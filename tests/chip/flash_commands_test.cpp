// Flash commands against simulated cameras, checked through the exchange trace
// (what the host asked of the chip and the flash) and through the state the
// chip and flash end up in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "camlib/camera_device.h"
#include "tests/testing/scenario_builder.h"
#include "tests/testing/sim_device.h"

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::InstalledScenario;
using quillon_test::ScenarioBuilder;
using Bytes = std::vector<uint8_t>;
using Commands = std::vector<std::string>;

// Parameterised cases print as their names.
template <class Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// --- reading the trace ---

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::string ToHex(const Bytes& bytes) {
    std::string out;
    char pair[4];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%s%02X", out.empty() ? "" : " ", b);
        out += pair;
    }
    return out;
}

struct Exchange {
    bool set;
    uint32_t selector;
    Bytes data;
    int status;
};

// The GET and SET exchanges of camera 0, in order; discovery probes left out.
std::vector<Exchange> Exchanges(const std::vector<std::string>& trace) {
    std::vector<Exchange> out;
    for (const std::string& line : trace) {
        std::istringstream in(line);
        int camera = -1;
        std::string kind;
        uint32_t selector = 0;
        std::string hex;
        int status = 0;
        if (!(in >> camera >> kind >> selector >> hex >> status)) continue;
        if (camera != 0 || (kind != "SET" && kind != "GET")) continue;
        out.push_back({kind == "SET", selector, FromHex(hex), status});
    }
    return out;
}

// The number (as the simulator counts exchanges) of the first exchange whose
// trace line starts with `prefix`, plus `offset`; 0 when there is none.
uint32_t ExchangeNumber(const std::vector<std::string>& trace, const std::string& prefix,
                        uint32_t offset = 0) {
    uint32_t number = 0;
    for (const std::string& line : trace) {
        if (line.find(" PROBE ") != std::string::npos) continue;
        ++number;
        if (line.rfind(prefix, 0) == 0) return number + offset;
    }
    return 0;
}

struct RegisterAccess {
    char op;  // 'R' read (with the value returned), 'W' write
    uint16_t reg;
    uint8_t value;
    bool operator==(const RegisterAccess&) const = default;
};

std::ostream& operator<<(std::ostream& os, const RegisterAccess& a) {
    char text[16];
    std::snprintf(text, sizeof text, "%c %04X %02X", a.op, a.reg, a.value);
    return os << text;
}

constexpr uint32_t kRegisterSelector = 1;
constexpr uint32_t kMemorySelector = 3;

// Successful register reads and writes, in order.
std::vector<RegisterAccess> RegisterAccesses(const std::vector<Exchange>& exchanges) {
    std::vector<RegisterAccess> out;
    for (size_t i = 0; i < exchanges.size(); ++i) {
        const Exchange& e = exchanges[i];
        if (!e.set || e.selector != kRegisterSelector || e.status != 0 || e.data.size() != 4) {
            continue;
        }
        const uint16_t reg = static_cast<uint16_t>(e.data[0] | e.data[1] << 8);
        if (e.data[3] == 0x00) {
            out.push_back({'W', reg, e.data[2]});
        } else if (i + 1 < exchanges.size() && !exchanges[i + 1].set &&
                   exchanges[i + 1].status == 0) {
            out.push_back({'R', reg, exchanges[i + 1].data[2]});
        }
    }
    return out;
}

std::vector<RegisterAccess> AccessesTo(const std::vector<RegisterAccess>& all,
                                       std::initializer_list<uint16_t> regs) {
    std::vector<RegisterAccess> out;
    for (const RegisterAccess& a : all) {
        if (std::find(regs.begin(), regs.end(), a.reg) != regs.end()) out.push_back(a);
    }
    return out;
}

// SPI engine registers of the two architectures, as the simulated chip has them.
struct Engine {
    uint16_t mode, cs, tx, rx, ctrl, status;
};
constexpr Engine kEngine[2] = {{0x1080, 0x1091, 0x1082, 0x1083, 0x1081, 0x1084},
                               {0x8E00, 0x8E11, 0x8E02, 0x8E03, 0x8E01, 0x8E04}};

// The flash commands the host sent, as it meant them: a command starts when
// chip select goes low with host access on (or host access goes on with chip
// select low); its bytes are the TX values triggered while it is open.
Commands FlashCommands(const std::vector<RegisterAccess>& accesses, const Engine& engine) {
    std::vector<Bytes> commands;
    bool hostAccess = false;  // registers start at 0: access off, chip select low
    bool csLow = true;
    uint8_t tx = 0;
    for (const RegisterAccess& a : accesses) {
        if (a.op != 'W') continue;
        if (a.reg == engine.mode) {
            const bool on = a.value & 1;
            if (on && !hostAccess && csLow) commands.emplace_back();
            hostAccess = on;
        } else if (a.reg == engine.cs) {
            csLow = (a.value & 1) == 0;
            if (csLow && hostAccess) commands.emplace_back();
        } else if (a.reg == engine.tx) {
            tx = a.value;
        } else if (a.reg == engine.ctrl && a.value == 1 && hostAccess && csLow &&
                   !commands.empty()) {
            commands.back().push_back(tx);
        }
    }
    Commands out;
    for (const Bytes& c : commands) {
        if (!c.empty()) out.push_back(ToHex(c));
    }
    return out;
}

// Adjacent repeats (the status polls of a wait) folded into one.
Commands Folded(const Commands& commands) {
    Commands out;
    for (const std::string& c : commands) {
        if (out.empty() || out.back() != c) out.push_back(c);
    }
    return out;
}

struct MemoryWrite {
    int32_t address;
    uint8_t count;
    Bytes data;  // the `count` bytes that travelled
    int status;
    bool operator==(const MemoryWrite&) const = default;
};

std::ostream& operator<<(std::ostream& os, const MemoryWrite& w) {
    return os << "(0x" << std::hex << w.address << std::dec << ", " << int(w.count) << ", ["
              << ToHex(w.data) << "], " << w.status << ")";
}

std::vector<MemoryWrite> MemoryWrites(const std::vector<Exchange>& exchanges) {
    std::vector<MemoryWrite> out;
    for (const Exchange& e : exchanges) {
        if (!e.set || e.selector != kMemorySelector || e.data.size() != 11) continue;
        const uint8_t command = e.data[2];
        if (command & 0x80) continue;  // a read request
        const uint8_t count = command & 0x0F;
        const int32_t address = e.data[0] | e.data[1] << 8 | ((command >> 4) & 0x03) << 16;
        out.push_back(
            {address, count, Bytes(e.data.begin() + 3, e.data.begin() + 3 + count), e.status});
    }
    return out;
}

// --- simulated cameras ---

struct ChipSetup {
    uint8_t chipId;
    int arch;
    uint16_t romAddress;
    const char* romCode;
    uint8_t romVersion;
};

// Rows of the chips' ROM-code table that the cases below rely on.
constexpr ChipSetup Row36(uint8_t chipId, int arch) {
    return {chipId, arch, 0xAFF8, "QMCT0", 1};
}
constexpr ChipSetup kRow0{0x15, 0, 0x9FF8, "QMBH0", 1};
constexpr ChipSetup kRow1{0x15, 0, 0x9FF8, "QMBJ0", 3};
constexpr ChipSetup kRow2{0x15, 0, 0x9FF8, "QMBS0", 1};
constexpr ChipSetup kRow9{0x15, 0, 0xBFF8, "QMBF0", 1};   // no flash command registers
constexpr ChipSetup kRow12{0x15, 0, 0xBFF8, "QMBT0", 1};  // command registers, no memory type
constexpr ChipSetup kRow15{0x15, 0, 0xBFF8, "QMCG0", 1};
constexpr ChipSetup kRow18{0x88, 1, 0xBFF8, "QMCS0", 1};
constexpr ChipSetup kRow27{0x16, 0, 0xAFF8, "QMCD0", 1};
constexpr ChipSetup kRow28{0x16, 0, 0xAFF8, "QMCF0", 1};
constexpr ChipSetup kRow31{0x16, 0, 0xAFF8, "QMCP0", 1};
constexpr ChipSetup kRow35{0x88, 1, 0xAFF8, "QMCN0", 1};
constexpr ChipSetup kRow37{0x88, 1, 0xAFF8, "QMCV0", 1};

CameraBuilder& AddChip(ScenarioBuilder& scenario, const ChipSetup& chip, bool withRom = true) {
    CameraBuilder& cam = scenario.AddCamera().Arch(chip.arch).CommandRegisters();
    // Architecture-1 chips answer in their own chip-ID register; the other one reads 0.
    cam.Register(chip.arch == 0 ? 0x101F : 0x80F0, chip.chipId);
    if (withRom) cam.Rom(chip.romAddress, chip.romCode, chip.romVersion);
    return cam;
}

class FlashCommandSim : public ::testing::Test {
  protected:
    // Installs the scenario and opens its first camera with the register profile of `arch`.
    void Open(const ScenarioBuilder& scenario, int arch) {
        dev_.reset();
        scenario_.reset();
        scenario_.emplace(scenario.Install());
        dev_ = testing::OpenSimDevice(0);
        ASSERT_NE(dev_, nullptr);
        dev_->LoadRegisterProfile(arch);
        arch_ = arch;
    }

    // Runs `action` on the scenario and returns the number of the exchange that
    // `prefix` and `offset` pick from its trace (see ExchangeNumber).
    template <class Action>
    uint32_t DryRun(const ScenarioBuilder& scenario, int arch, Action action,
                    const std::string& prefix, uint32_t offset = 0) {
        Open(scenario, arch);
        if (!dev_) return 0;
        action(*dev_);
        const uint32_t number = ExchangeNumber(Sim().Trace(), prefix, offset);
        EXPECT_NE(number, 0u) << "no exchange " << prefix;
        return number;
    }

    InstalledScenario& Sim() { return *scenario_; }
    sim::SimCamera& Cam() { return scenario_->Camera(0); }
    std::vector<RegisterAccess> Accesses() { return RegisterAccesses(Exchanges(Sim().Trace())); }
    Commands SentCommands() { return FlashCommands(Accesses(), kEngine[arch_]); }
    Bytes FlashBytes(uint32_t address, size_t count) {
        const std::vector<uint8_t> all = Cam().FlashContents();
        return Bytes(all.begin() + address, all.begin() + address + count);
    }

    std::optional<InstalledScenario> scenario_;
    std::unique_ptr<CameraDevice> dev_;  // goes before the scenario it talks to
    int arch_ = 0;
};

const Bytes kOldData = {0x12, 0x34, 0x56};
constexpr uint32_t kOldDataAt = 0x1000;
const Bytes kErased(kOldData.size(), 0xFF);

// --- erase ---

struct EraseCase {
    const char* name;
    int32_t sfType;
    int arch;
    uint8_t flashStatus;
    Commands commands;  // status polls folded
};

const EraseCase kEraseCases[] = {
    {"Type0", 0, 0, 0x00, {"06", "60", "05"}},
    {"Type1", 1, 0, 0x00, {"06", "60", "05"}},
    {"Type2", 2, 0, 0x00, {"06", "C7", "05"}},
    {"Type7", 7, 1, 0x00, {"06", "C7", "05"}},
    {"Type8", 8, 0, 0x00, {"06", "C7", "05"}},
    {"Type10", 10, 1, 0x00, {"06", "C7", "05"}},
    {"Type19", 19, 0, 0x00, {"06", "60", "05"}},
    {"Type3", 3, 0, 0x00, {"50", "01 00", "06", "60", "05"}},
    // Type 3 clears the block protection itself.
    {"Type3Protected", 3, 1, 0x1C, {"50", "01 00", "06", "60", "05"}},
};

class FlashEraseByType : public FlashCommandSim, public ::testing::WithParamInterface<EraseCase> {};

TEST_P(FlashEraseByType, SendsTheTypesCommandsAndWaitsForTheErase) {
    const EraseCase& c = GetParam();
    constexpr uint32_t kEraseMs = 30;
    ScenarioBuilder scenario;
    scenario.AddCamera()
        .Arch(c.arch)
        .FlashStatus(c.flashStatus)
        .EraseMs(kEraseMs)
        .FlashData(kOldDataAt, kOldData);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.arch));
    const uint64_t start = Sim().NowMs();

    EXPECT_EQ(dev_->EraseFlash(c.sfType), 0);
    EXPECT_EQ(Folded(SentCommands()), c.commands);
    EXPECT_EQ(FlashBytes(kOldDataAt, kOldData.size()), kErased);
    EXPECT_GE(Sim().NowMs() - start, kEraseMs);
    EXPECT_FALSE(Cam().Flash().Busy());
    EXPECT_EQ(Cam().Register(kEngine[c.arch].mode), 0);
}

INSTANTIATE_TEST_SUITE_P(Types, FlashEraseByType, ::testing::ValuesIn(kEraseCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct EraseFaultCase {
    const char* name;
    std::optional<std::string> failPrefix;  // the exchange to fail, from a dry run
    uint32_t eraseMs;
    bool erased;
    bool hostAccessOff;
};

const EraseFaultCase kEraseFaultCases[] = {
    // Register 0x1081 <- 1 with 0x06 in TX: the write enable never goes out.
    {"WriteEnableTrigger", "0 SET 1 81100100", 30, false, true},
    // The closing host-access write itself.
    {"ClosingModeWrite", "0 SET 1 80100000", 30, true, false},
    // 10000 polls of 1 ms end before an erase of 20 s does; the erase goes on.
    {"EraseOutlastsWait", std::nullopt, 20000, true, true},
};

class FlashEraseFault : public FlashCommandSim,
                        public ::testing::WithParamInterface<EraseFaultCase> {};

TEST_P(FlashEraseFault, IsReported) {
    const EraseFaultCase& c = GetParam();
    ScenarioBuilder scenario;
    scenario.AddCamera().EraseMs(c.eraseMs).FlashData(kOldDataAt, kOldData);
    if (c.failPrefix) {
        const uint32_t failAt = DryRun(
            scenario, 0, [](CameraDevice& d) { (void)d.EraseFlash(1); }, *c.failPrefix);
        scenario.Camera(0).FailAt(failAt);
    }
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    const uint64_t start = Sim().NowMs();

    EXPECT_EQ(dev_->EraseFlash(1), 1);
    EXPECT_EQ(Cam().Register(kEngine[0].mode) == 0, c.hostAccessOff);
    if (c.eraseMs > 10000) {
        EXPECT_EQ(Sim().NowMs() - start, 10000u);
    }
    Sim().Sim().GetClock().Sleep(c.eraseMs);  // whatever was started is over now
    EXPECT_EQ(FlashBytes(kOldDataAt, kOldData.size()) == kErased, c.erased);
}

INSTANTIATE_TEST_SUITE_P(Faults, FlashEraseFault, ::testing::ValuesIn(kEraseFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlashCommandSim, ProtectedFlashErasesOnlyAfterPreparation) {
    ScenarioBuilder scenario;
    AddChip(scenario, Row36(0x88, 1)).FlashStatus(0x1C).FlashData(kOldDataAt, kOldData);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 1));

    (void)dev_->EraseFlash(1);
    EXPECT_EQ(FlashBytes(kOldDataAt, kOldData.size()), kOldData);

    ASSERT_EQ(dev_->PrepareFlashWrite(1), 0);
    EXPECT_EQ(Cam().Flash().Status() & 0x1C, 0);
    EXPECT_EQ(dev_->EraseFlash(1), 0);
    EXPECT_EQ(FlashBytes(kOldDataAt, kOldData.size()), kErased);
}

// --- preparation ---

struct PinCase {
    const char* name;
    ChipSetup chip;
    std::vector<RegisterAccess> accesses;  // to the output-enable and output registers
};

// Output enables start at 0x40, outputs at 0x80.
const PinCase kPinCases[] = {
    {"Class1OrsLowBits",
     Row36(0x15, 0),
     {{'R', 0x1007, 0x40},
      {'W', 0x1007, 0x5F},
      {'R', 0x1007, 0x5F},
      {'R', 0x1006, 0x80},
      {'W', 0x1006, 0x9F},
      {'R', 0x1006, 0x9F}}},
    {"Class0SetsAll",
     Row36(0x67, 0),
     {{'R', 0x1007, 0x40},
      {'W', 0x1007, 0xFF},
      {'R', 0x1007, 0xFF},
      {'R', 0x1006, 0x80},
      {'W', 0x1006, 0xFF},
      {'R', 0x1006, 0xFF}}},
    {"Class2SetsAll",
     Row36(0x88, 1),
     {{'R', 0x8202, 0x40},
      {'W', 0x8202, 0xFF},
      {'R', 0x8202, 0xFF},
      {'R', 0x8201, 0x80},
      {'W', 0x8201, 0xFF},
      {'R', 0x8201, 0xFF}}},
    {"Class3SetsAll",
     Row36(0x85, 1),
     {{'R', 0x8202, 0x40},
      {'W', 0x8202, 0xFF},
      {'R', 0x8202, 0xFF},
      {'R', 0x8201, 0x80},
      {'W', 0x8201, 0xFF},
      {'R', 0x8201, 0xFF}}},
};

class FlashPreparePins : public FlashCommandSim, public ::testing::WithParamInterface<PinCase> {};

TEST_P(FlashPreparePins, ByChipClass) {
    const PinCase& c = GetParam();
    const uint16_t oe = c.chip.arch == 0 ? 0x1007 : 0x8202;
    const uint16_t out = c.chip.arch == 0 ? 0x1006 : 0x8201;
    ScenarioBuilder scenario;
    AddChip(scenario, c.chip).Register(oe, 0x40).Register(out, 0x80);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));

    EXPECT_EQ(dev_->PrepareFlashWrite(1), 0);
    EXPECT_EQ(AccessesTo(Accesses(), {oe, out}), c.accesses);
}

INSTANTIATE_TEST_SUITE_P(Classes, FlashPreparePins, ::testing::ValuesIn(kPinCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct CommandCase {
    const char* name;
    ChipSetup chip;
    std::map<uint32_t, uint8_t> firmware;  // bytes of the installed firmware in the flash
    Bytes answer9F;                        // empty: an unknown flash (command set 0)
    int32_t sfType;
    std::optional<std::pair<uint8_t, uint8_t>> loaded;  // 0x05F3, 0x05F5; none: untouched
};

// Command set 0 (unknown flash) asks for 0x04 and 0x03, set 4 for 0x06 and 0xAF.
const CommandCase kCommandCases[] = {
    {"Chip16Alternative", Row36(0x16, 0), {{0x5834, 0x0B}}, {}, 7, {{0x04, 0x03}}},
    {"Chip16Row27Alternative", kRow27, {{0x5834, 0x08}}, {}, 7, {{0x04, 0x03}}},
    {"Chip16Row28Ignores", kRow28, {{0x5834, 0x0B}}, {}, 7, {{0x06, 0x02}}},
    {"Chip16Row31Ignores", kRow31, {{0x5834, 0x0B}}, {}, 7, {{0x06, 0x02}}},
    {"Chip16OtherBits", Row36(0x16, 0), {{0x5834, 0x04}}, {}, 7, {{0x06, 0x02}}},
    {"Chip16BothBits", Row36(0x16, 0), {{0x5834, 0x0C}}, {}, 7, {{0x06, 0x02}}},
    {"Chip16ReadsOnly5834", Row36(0x16, 0), {{0x000F, 0x08}}, {}, 7, {{0x06, 0x02}}},
    {"Chip33ReadsOnly000F", Row36(0x33, 0), {{0x000F, 0x08}}, {}, 7, {{0x04, 0x03}}},
    {"OtherChipNeverAlternative",
     Row36(0x15, 0),
     {{0x000F, 0x08}, {0x5834, 0x08}},
     {},
     7,
     {{0x06, 0x02}}},
    {"AlternativeBeatsType3", Row36(0x16, 0), {{0x5834, 0x08}}, {}, 3, {{0x04, 0x03}}},
    {"Type3Program", Row36(0x15, 0), {}, {}, 3, {{0x06, 0xAF}}},
    {"CommandSetOfIdentifiedFlash",
     Row36(0x16, 0),
     {{0x5834, 0x08}},
     {0xBF, 0x48, 0x4A},
     1,
     {{0x06, 0xAF}}},
    {"ChipWithoutCommandRegisters", kRow9, {{0x5834, 0x08}}, {}, 7, std::nullopt},
};

class FlashPrepareCommands : public FlashCommandSim,
                             public ::testing::WithParamInterface<CommandCase> {};

TEST_P(FlashPrepareCommands, LoadsTheChipsFlashCommands) {
    const CommandCase& c = GetParam();
    ScenarioBuilder scenario;
    CameraBuilder& cam = AddChip(scenario, c.chip).Register(0x05F3, 0x77).Register(0x05F5, 0x77);
    for (const auto& [address, byte] : c.firmware) cam.FlashData(address, {byte});
    if (!c.answer9F.empty()) cam.FlashId(0x9F, c.answer9F);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));
    (void)dev_->IdentifyFlash();

    EXPECT_EQ(dev_->PrepareFlashWrite(c.sfType), 0);
    const std::vector<RegisterAccess> writes =
        AccessesTo(Accesses(), {0x05F3, 0x05F5, 0x05F8, 0x05F9, 0x05FA, 0x05FB});
    if (c.loaded) {
        EXPECT_EQ(writes, (std::vector<RegisterAccess>{{'R', 0x05F3, 0x77},
                                                       {'W', 0x05F3, c.loaded->first},
                                                       {'W', 0x05F8, 0x12},
                                                       {'W', 0x05F9, 0x12},
                                                       {'W', 0x05FA, 0xED},
                                                       {'W', 0x05FB, 0xED},
                                                       {'R', 0x05F5, 0x77},
                                                       {'W', 0x05F5, c.loaded->second}}));
    } else {
        EXPECT_TRUE(writes.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashPrepareCommands, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct StatusCase {
    const char* name;
    ChipSetup chip;
    uint8_t memoryType;
    int32_t sfType;
    Commands commands;  // empty: the flash is never touched
};

const StatusCase kStatusCases[] = {
    {"MemoryType2LeavesFlashAlone", Row36(0x88, 1), 2, 1, {}},
    {"MemoryType0", Row36(0x88, 1), 0, 1, {"06", "05", "01 00", "05"}},
    {"MemoryType2WithoutMemoryTypeQuery", kRow12, 2, 1, {"06", "05", "01 00", "05"}},
    {"Type3EnablesStatusWrite", Row36(0x15, 0), 0, 3, {"06", "05", "50", "01 00", "05"}},
};

class FlashPrepareStatus : public FlashCommandSim,
                           public ::testing::WithParamInterface<StatusCase> {};

TEST_P(FlashPrepareStatus, ClearsBlockProtectionUnlessFlashIsNotTheHosts) {
    const StatusCase& c = GetParam();
    ScenarioBuilder scenario;
    AddChip(scenario, c.chip).MemoryType(c.memoryType).FlashStatus(0x1C);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));

    EXPECT_EQ(dev_->PrepareFlashWrite(c.sfType), 0);
    // The chip's command registers are loaded either way.
    EXPECT_EQ(Cam().Register(0x05F3), 0x06);
    const Engine& engine = kEngine[c.chip.arch];
    if (c.commands.empty()) {
        EXPECT_TRUE(AccessesTo(Accesses(), {engine.mode, engine.cs, engine.tx, engine.rx,
                                            engine.ctrl, engine.status})
                        .empty());
        EXPECT_EQ(Cam().Flash().Status() & 0x1C, 0x1C);
    } else {
        EXPECT_EQ(Folded(SentCommands()), c.commands);
        EXPECT_EQ(Cam().Flash().Status() & 0x1C, 0);
        EXPECT_EQ(Cam().Register(engine.mode), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashPrepareStatus, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct PrepareFaultCase {
    const char* name;
    int32_t sfType;
    bool withRom;
    uint8_t chipId;
    std::optional<std::pair<std::string, uint32_t>> fail;  // trace prefix and offset
    int32_t result;
    int32_t lastError;
    uint8_t writeEnableReg;  // 0x05F3 afterwards (0x77 before)
};

const PrepareFaultCase kPrepareFaultCases[] = {
    {"NoFlashType", 0, true, 0x16, std::nullopt, 1, ERR_NO_FLASH_TYPE, 0x77},
    {"RomUnreadable", 1, false, 0x16, std::nullopt, 1, ERR_ROM_ID_READ, 0x77},
    {"UnknownChip", 1, true, 0x40, std::nullopt, 1, ERR_CHIP_IDENT, 0x77},
    // Later failures fail without a code.
    {"CommandRegisterRead", 1, true, 0x16, {{"0 SET 1 f30500ff", 1}}, 1, 0, 0x77},
    {"StatusWrite", 1, true, 0x16, {{"0 SET 1 82100100", 1}}, 1, 0, 0x04},
    // Pin register results are not examined.
    {"PinWrite", 1, true, 0x16, {{"0 SET 1 07101f00", 0}}, 0, 0, 0x04},
    // An unreadable firmware byte asks for nothing: the usual commands go in.
    {"FirmwareByteRead", 1, true, 0x16, {{"0 SET 3 3458", 0}}, 0, 0, 0x06},
};

class FlashPrepareFault : public FlashCommandSim,
                          public ::testing::WithParamInterface<PrepareFaultCase> {};

TEST_P(FlashPrepareFault, ErrorCodesOnlyForTheFirstThreeSteps) {
    const PrepareFaultCase& c = GetParam();
    ScenarioBuilder scenario;
    // The installed firmware would ask for command set 0 (0x04): only a failed read hides it.
    AddChip(scenario, Row36(c.chipId, 0), c.withRom)
        .Register(0x05F3, 0x77)
        .FlashData(0x5834, {0x08});
    if (c.fail) {
        const uint32_t failAt = DryRun(
            scenario, 0, [&](CameraDevice& d) { (void)d.PrepareFlashWrite(c.sfType); },
            c.fail->first, c.fail->second);
        scenario.Camera(0).FailAt(failAt);
    }
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    dev_->flashCmdSet = 0;
    const uint32_t before = Cam().ExchangeCount();

    EXPECT_EQ(dev_->PrepareFlashWrite(c.sfType), c.result);
    EXPECT_EQ(dev_->lastError, c.lastError);
    EXPECT_EQ(Cam().Register(0x05F3), c.writeEnableReg);
    if (c.sfType == 0) {
        EXPECT_EQ(Cam().ExchangeCount(), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashPrepareFault, ::testing::ValuesIn(kPrepareFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- block transfer, programming, finish ---

struct BlockCase {
    const char* name;
    ChipSetup chip;
    bool withRom;
    int32_t result;
    int32_t lastError;
    std::vector<RegisterAccess> accesses;
};

const BlockCase kBlockCases[] = {
    {"Row15", kRow15, true, 1, 0, {{'R', 0x100D, 0xFF}, {'W', 0x100D, 0xFB}, {'W', 0x1090, 0x01}}},
    {"Row18", kRow18, true, 1, 0, {{'W', 0x8045, 0x04}, {'W', 0x8E10, 0x04}}},
    {"Row35", kRow35, true, 1, 0, {{'W', 0x8045, 0x04}, {'W', 0x8E10, 0x04}}},
    {"Row36", Row36(0x88, 1), true, 1, 0, {{'W', 0x8045, 0x0A}, {'W', 0x8E10, 0x01}}},
    {"Row37", kRow37, true, 1, 0, {{'W', 0x8045, 0x0A}, {'W', 0x8E10, 0x01}}},
    {"OtherRow", kRow28, true, 1, 0, {}},
    {"RomUnreadable", Row36(0x88, 1), false, 0, ERR_ROM_ID_READ, {}},
};

class FlashBlockTransfer : public FlashCommandSim,
                           public ::testing::WithParamInterface<BlockCase> {};

TEST_P(FlashBlockTransfer, RegistersByRomRow) {
    const BlockCase& c = GetParam();
    ScenarioBuilder scenario;
    AddChip(scenario, c.chip, c.withRom).Register(0x100D, 0xFF);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));

    EXPECT_EQ(dev_->EnableBlockTransfer(), c.result);
    EXPECT_EQ(dev_->lastError, c.lastError);
    EXPECT_EQ(AccessesTo(Accesses(), {0x100D, 0x1090, 0x8045, 0x8E10}), c.accesses);
}

INSTANTIATE_TEST_SUITE_P(Rows, FlashBlockTransfer, ::testing::ValuesIn(kBlockCases),
                         [](const auto& info) { return std::string(info.param.name); });

Bytes Pattern(size_t count) {
    Bytes out(count);
    for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(0xA0 + i);
    return out;
}

struct ProgramCase {
    const char* name;
    int32_t count;
    std::vector<std::pair<int32_t, uint8_t>> writes;  // address and count of each write
};

const ProgramCase kProgramCases[] = {
    {"Eight", 8, {{0x6702, 8}}},
    {"Five", 5, {{0x6702, 5}}},
    {"Sixteen", 16, {{0x6702, 8}, {0x670A, 8}}},
    {"TwentyOne", 21, {{0x6702, 8}, {0x670A, 8}, {0x6712, 5}}},
    {"None", 0, {}},
};

class FlashProgram : public FlashCommandSim, public ::testing::WithParamInterface<ProgramCase> {};

TEST_P(FlashProgram, EightBytePiecesThenTheRest) {
    const ProgramCase& c = GetParam();
    ScenarioBuilder scenario;
    scenario.AddCamera();
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    const Bytes data = Pattern(static_cast<size_t>(c.count));

    EXPECT_EQ(dev_->ProgramFlash(0x6702, data.data(), c.count), 0);
    std::vector<MemoryWrite> expected;
    for (const auto& [address, count] : c.writes) {
        const auto from = data.begin() + (address - 0x6702);
        expected.push_back({address, count, Bytes(from, from + count), 0});
    }
    EXPECT_EQ(MemoryWrites(Exchanges(Sim().Trace())), expected);
    EXPECT_EQ(FlashBytes(0x6702, data.size()), data);
    EXPECT_EQ(FlashBytes(0x6702 + data.size(), 8), Bytes(8, 0xFF));
}

INSTANTIATE_TEST_SUITE_P(Counts, FlashProgram, ::testing::ValuesIn(kProgramCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlashCommandSim, ProgrammingStopsAtFirstFailedWrite) {
    ScenarioBuilder scenario;
    scenario.AddCamera().FailAt(2);  // each write is one exchange
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    const Bytes data = Pattern(21);

    EXPECT_EQ(dev_->ProgramFlash(0x6702, data.data(), 21), 1);
    const std::vector<MemoryWrite> writes = MemoryWrites(Exchanges(Sim().Trace()));
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_NE(writes[1].status, 0);
    EXPECT_EQ(FlashBytes(0x6702, 8), Bytes(data.begin(), data.begin() + 8));
    EXPECT_EQ(FlashBytes(0x670A, 13), Bytes(13, 0xFF));
}

struct FinishCase {
    const char* name;
    ChipSetup chip;
    bool withRom;
    std::optional<std::string> failPrefix;  // the register read's request; its reply fails
    int32_t result;
    int32_t lastError;
    uint8_t finish;  // REG_FINISH afterwards (0xFF before)
};

const FinishCase kFinishCases[] = {
    {"Row0WritesNothing", kRow0, true, std::nullopt, 1, 0, 0xFF},
    {"Row1WritesNothing", kRow1, true, std::nullopt, 1, 0, 0xFF},
    {"Row2", kRow2, true, std::nullopt, 0, 0, 0xFE},
    {"Row36Arch1", Row36(0x88, 1), true, std::nullopt, 0, 0, 0xFE},
    {"RomUnreadable", kRow2, false, std::nullopt, 1, ERR_ROM_ID_READ, 0xFF},
    {"ReadFails", kRow2, true, "0 SET 1 731000ff", 0, 0, 0xFF},
};

class FlashFinish : public FlashCommandSim, public ::testing::WithParamInterface<FinishCase> {};

TEST_P(FlashFinish, ClearsBitZeroOfFinishRegister) {
    const FinishCase& c = GetParam();
    const uint16_t finish = c.chip.arch == 0 ? 0x1073 : 0x8C00;
    ScenarioBuilder scenario;
    AddChip(scenario, c.chip, c.withRom).Register(finish, 0xFF);
    if (c.failPrefix) {
        const uint32_t failAt = DryRun(
            scenario, c.chip.arch, [](CameraDevice& d) { (void)d.FinishUpgrade(); }, *c.failPrefix,
            1);
        scenario.Camera(0).FailAt(failAt);
    }
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));

    EXPECT_EQ(dev_->FinishUpgrade(), c.result);
    EXPECT_EQ(dev_->lastError, c.lastError);
    EXPECT_EQ(Cam().Register(finish), c.finish);
    if (c.finish == 0xFF) {
        for (const RegisterAccess& a : Accesses()) EXPECT_NE(a.op, 'W') << a;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, FlashFinish, ::testing::ValuesIn(kFinishCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- the whole road: identify, prepare (unprotect), erase, program ---

struct RoadCase {
    const char* name;
    ChipSetup chip;
    Bytes answer9F;
    std::map<uint16_t, uint8_t> registers;
    std::pair<uint8_t, uint8_t> flashCommands;  // program, write enable
    uint8_t firmwareByte;                       // installed firmware's byte at 0x5834
    int32_t sfType;
};

const RoadCase kRoadCases[] = {
    {"IdentifiedType3", Row36(0x88, 1), {0xBF, 0x48, 0x4A}, {}, {0xAF, 0x06}, 0x00, 3},
    // An unknown flash: the chip's record gives the type, the installed
    // firmware asks for the commands of command set 0.
    {"RecordedTypeAlternativeCommands", Row36(0x16, 0), {}, {{0x05F0, 7}}, {0x03, 0x04}, 0x0B, 7},
};

class FlashWholeRoad : public FlashCommandSim, public ::testing::WithParamInterface<RoadCase> {};

TEST_P(FlashWholeRoad, ProtectedFlashEndsUpHoldingTheNewData) {
    const RoadCase& c = GetParam();
    ScenarioBuilder scenario;
    CameraBuilder& cam = AddChip(scenario, c.chip)
                             .FlashStatus(0x1C)
                             .FlashCommands(c.flashCommands.first, c.flashCommands.second)
                             .FlashData(0x5834, {c.firmwareByte})
                             .FlashData(0x0100, kOldData);
    if (!c.answer9F.empty()) cam.FlashId(0x9F, c.answer9F);
    for (const auto& [reg, value] : c.registers) cam.Register(reg, value);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, c.chip.arch));
    const Bytes image = Pattern(37);

    int32_t sfType = 0;
    ASSERT_EQ(dev_->GetFlashType(&sfType, 1), 0);
    ASSERT_EQ(sfType, c.sfType);
    ASSERT_EQ(dev_->PrepareFlashWrite(sfType), 0);
    ASSERT_EQ(dev_->EraseFlash(sfType), 0);
    EXPECT_EQ(Cam().FlashContents(), Bytes(Cam().Flash().Size(), 0xFF));
    ASSERT_EQ(dev_->ProgramFlash(0x0100, image.data(), static_cast<int32_t>(image.size())), 0);

    Bytes readBack(image.size(), 0x00);
    ASSERT_EQ(dev_->ReadMemoryRange(0x0100, readBack), 0);
    EXPECT_EQ(readBack, image);
    EXPECT_EQ(FlashBytes(0x0100, image.size()), image);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashWholeRoad, ::testing::ValuesIn(kRoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillon
