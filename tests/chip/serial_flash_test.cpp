// Serial-flash identification against simulated cameras: which commands go out
// through the chip's SPI engine, how the answers are read and looked up, and
// the fallback to the flash type that the chip's firmware records.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
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

// Parameterised cases print as their names.
template <class Case>
requires requires(const Case& c) {
    c.name;
}
void PrintTo(const Case& c, std::ostream* os) {
    *os << c.name;
}

// SPI engine registers of the two architectures, as the simulated chip has them.
struct EngineRegs {
    uint16_t mode;
    uint16_t cs;
    uint16_t tx;
};
constexpr EngineRegs kEngine[2] = {{0x1080, 0x1091, 0x1082}, {0x8E00, 0x8E11, 0x8E02}};

Bytes FromHex(const std::string& hex) {
    Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

// The values that successful register writes stored into `reg`, in order.
Bytes WritesTo(const std::vector<std::string>& trace, uint16_t reg) {
    Bytes out;
    for (const std::string& line : trace) {
        std::istringstream in(line);
        int camera = 0;
        int status = 0;
        uint32_t selector = 0;
        std::string kind;
        std::string hex;
        if (!(in >> camera >> kind >> selector >> hex >> status)) continue;
        if (kind != "SET" || selector != 1 || status != 0) continue;
        const Bytes d = FromHex(hex);
        // A write carries 0x00 in its last byte, a read request 0xFF.
        if (d.size() != 4 || d[3] != 0x00) continue;
        if ((d[0] | d[1] << 8) == reg) out.push_back(d[2]);
    }
    return out;
}

class SerialFlashSim : public ::testing::Test {
  protected:
    // Installs the scenario and opens its first camera with the register
    // profile of `arch`; the trace starts empty.
    void Open(const ScenarioBuilder& scenario, int arch) {
        dev_.reset();
        scenario_.reset();
        scenario_.emplace(scenario.Install());
        dev_ = testing::OpenSimDevice(0);
        ASSERT_NE(dev_, nullptr);
        dev_->LoadRegisterProfile(arch);
        scenario_->ClearTrace();
    }

    InstalledScenario& Sim() { return *scenario_; }

    std::optional<InstalledScenario> scenario_;
    std::unique_ptr<CameraDevice> dev_;  // goes before the scenario it talks to
};

// --- identification ---

struct IdCase {
    const char* name;
    std::map<uint8_t, Bytes> answers;  // per identification command
    int32_t sfType;
    Bytes flashId;
    uint8_t cmdSet;
    Bytes sent;  // command and dummy bytes, in order
};

const Bytes kAllCommands = {0x9F, 0x15, 0x90, 0x00, 0x00, 0x00, 0xAB, 0x00, 0x00, 0x00};

const IdCase kIdCases[] = {
    {"JedecIdAtFirstCommand", {{0x9F, {0xC2, 0x20, 0x10}}}, 1, {0xC2, 0x20, 0x10}, 1, {0x9F}},
    {"ContinuationCodeSkipped",
     {{0x9F, {0x7F, 0xC2, 0x20, 0x10}}},
     1,
     {0xC2, 0x20, 0x10},
     1,
     {0x9F}},
    // A second continuation code is taken as the manufacturer: no match, next command.
    {"OnlyOneContinuationCodeSkipped",
     {{0x9F, {0x7F, 0x7F, 0xC2, 0x20, 0x10}}, {0x15, {0x9D, 0x20}}},
     8,
     {0x9D, 0x20, 0xFF},
     3,
     {0x9F, 0x15}},
    {"AnyCapacityOfWildcardRow", {{0x9F, {0xBF, 0x48, 0x00}}}, 3, {0xBF, 0x48, 0x00}, 4, {0x9F}},
    {"AnyCapacityOfWildcardRow2", {{0x9F, {0xBF, 0x48, 0x4A}}}, 3, {0xBF, 0x48, 0x4A}, 4, {0x9F}},
    {"TwoByteAnswerAtSecondCommand",
     {{0x9F, {0xEF, 0x40, 0x18}}, {0x15, {0x9D, 0x20}}},
     8,
     {0x9D, 0x20, 0xFF},
     3,
     {0x9F, 0x15}},
    // Two-byte answers only match rows with a wildcard capacity, so C2 20 is
    // unknown; the fourth command's 9D 10 is not.
    {"TwoByteAnswerNeedsWildcardRow",
     {{0x15, {0xC2, 0x20}}, {0x90, {0xC2, 0x20}}, {0xAB, {0x9D, 0x10}}},
     8,
     {0x9D, 0x10, 0xFF},
     3,
     kAllCommands},
    // 0xFF in an answer is no wildcard.
    {"AnswerFfMatchesNothing",
     {{0x9F, {0xC2, 0xFF, 0xFF}}},
     0,
     {0xFF, 0xFF, 0xFF},
     0,
     kAllCommands},
    {"LastTableRow", {{0x9F, {0xA1, 0x28, 0x13}}}, 17, {0xA1, 0x28, 0x13}, 1, {0x9F}},
    {"NoFlashAnswers", {}, 0, {0xFF, 0xFF, 0xFF}, 0, kAllCommands},
};

class FlashIdentification : public SerialFlashSim,
                            public ::testing::WithParamInterface<std::tuple<IdCase, int>> {};

TEST_P(FlashIdentification, StopsAtFirstKnownAnswer) {
    const auto& [c, arch] = GetParam();
    ScenarioBuilder scenario;
    CameraBuilder& cam = scenario.AddCamera().Arch(arch);
    for (const auto& [command, answer] : c.answers) cam.FlashId(command, answer);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, arch));
    dev_->flashCmdSet = 0x55;

    EXPECT_EQ(dev_->IdentifyFlash(), c.sfType);
    EXPECT_EQ(Bytes(dev_->flashId, dev_->flashId + 3), c.flashId);
    EXPECT_EQ(dev_->flashCmdSet, c.cmdSet);
    const EngineRegs& engine = kEngine[arch];
    EXPECT_EQ(WritesTo(Sim().Trace(), engine.tx), c.sent);
    // Host access ends switched off; chip select stays low.
    EXPECT_EQ(Sim().Camera(0).Register(engine.mode), 0);
    EXPECT_EQ(Sim().Camera(0).Register(engine.cs), 0);
}

INSTANTIATE_TEST_SUITE_P(Answers, FlashIdentification,
                         ::testing::Combine(::testing::ValuesIn(kIdCases), ::testing::Values(0, 1)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_Arch" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Trace lines of one register access on camera 0, as the wire format has them.
std::vector<std::string> Write(uint16_t reg, uint8_t value) {
    char line[40];
    std::snprintf(line, sizeof line, "0 SET 1 %02x%02x%02x00 0", reg & 0xFF, reg >> 8, value);
    return {line};
}

std::vector<std::string> Read(uint16_t reg, uint8_t value) {
    char request[40];
    char reply[40];
    std::snprintf(request, sizeof request, "0 SET 1 %02x%02x00ff 0", reg & 0xFF, reg >> 8);
    std::snprintf(reply, sizeof reply, "0 GET 1 0000%02x00 0", value);
    return {request, reply};
}

TEST_F(SerialFlashSim, ReadFlashIdDrivesTheEngineOneByteAtATime) {
    ScenarioBuilder scenario;
    scenario.AddCamera().Arch(1).FlashId(0x9F, {0xC2, 0x20, 0x10});
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 1));
    constexpr uint16_t kMode = 0x8E00, kCs = 0x8E11, kTx = 0x8E02, kRx = 0x8E03, kCtrl = 0x8E01,
                       kStatus = 0x8E04;
    std::vector<std::string> expected;
    auto add = [&](const std::vector<std::string>& lines) {
        expected.insert(expected.end(), lines.begin(), lines.end());
    };
    auto send = [&](uint8_t byte) {
        add(Write(kTx, byte));
        add(Write(kCtrl, 1));
        add(Read(kStatus, 0x01));
    };
    auto receive = [&](uint8_t byte) {
        add(Write(kRx, 0));
        add(Write(kCtrl, 2));
        add(Read(kStatus, 0x01));
        add(Read(kRx, byte));
    };
    add(Write(kMode, 1));
    add(Write(kCs, 0));
    send(0x9F);
    receive(0xC2);
    receive(0x20);
    receive(0x10);
    add(Write(kMode, 0));

    EXPECT_EQ(dev_->ReadFlashId(0x9F, 0, 2), 1);
    EXPECT_EQ(Sim().Trace(), expected);
}

// Exchanges of the first command (0x9F) on a fresh camera: 1 mode, 2 chip select,
// 3 TX, 4 CTRL, 5/6 status read, 7 RX clear, 8 CTRL, 9/10 status read, 11/12 RX read.
struct FailCase {
    const char* name;
    uint32_t failAt;
};

class FlashIdentificationFailure : public SerialFlashSim,
                                   public ::testing::WithParamInterface<FailCase> {};

TEST_P(FlashIdentificationFailure, EndsWithUnknownWithoutFurtherCommands) {
    ScenarioBuilder scenario;
    // The second command would give a known answer.
    scenario.AddCamera()
        .FlashId(0x9F, {0xEF, 0x40, 0x18})
        .FlashId(0x15, {0x9D, 0x20})
        .FailAt(GetParam().failAt);
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    ASSERT_EQ(Sim().Camera(0).ExchangeCount(), 0u);

    EXPECT_EQ(dev_->IdentifyFlash(), 0);
    EXPECT_EQ(Sim().Camera(0).ExchangeCount(), GetParam().failAt);
}

INSTANTIATE_TEST_SUITE_P(FirstCommand, FlashIdentificationFailure,
                         ::testing::Values(FailCase{"TransmitWrite", 3}, FailCase{"StatusRead", 6},
                                           FailCase{"ReceiveRead", 12}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialFlashSim, TransferWaitGivesUpAfterFiftyPollsOneMsApart) {
    ScenarioBuilder scenario;
    // Host access cannot be switched on, so no transfer ever completes.
    scenario.AddCamera().ReadOnly(0x1080, 0x01).FlashId(0x9F, {0xC2, 0x20, 0x10});
    ASSERT_NO_FATAL_FAILURE(Open(scenario, 0));
    const uint64_t start = Sim().NowMs();

    EXPECT_EQ(dev_->IdentifyFlash(), 0);
    // Mode, chip select, TX and CTRL, then 50 status reads of two exchanges each.
    EXPECT_EQ(Sim().Camera(0).ExchangeCount(), 4u + 50u * 2u);
    EXPECT_EQ(Sim().NowMs() - start, 50u);
}

// --- flash type with the chip's own record as fallback ---

struct RomSetup {
    uint16_t address;
    const char* code;
    uint8_t version;
};
constexpr RomSetup kRomRow36{0xAFF8, "QMCT0", 1};  // records the type in 0x05F0
constexpr RomSetup kRomRow0{0x9FF8, "QMBH0", 1};   // records the type in 0x03C5

struct FallbackCase {
    const char* name;
    std::optional<RomSetup> rom;
    std::map<uint16_t, uint8_t> registers;
    Bytes answer9F;  // empty: the flash answers nothing
    uint8_t allowFallback;
    int32_t result;
    int32_t type;
    int32_t lastError;
};

const FallbackCase kFallbackCases[] = {
    {"RecordedType", kRomRow36, {{0x05F0, 7}}, {}, 1, 0, 7, 0},
    {"FallbackNotAllowed", kRomRow36, {{0x05F0, 7}}, {}, 0, 0, 0, 0},
    {"HighestRecordedType", kRomRow36, {{0x05F0, 19}}, {}, 1, 0, 19, 0},
    {"RecordedTypeTooHigh", kRomRow36, {{0x05F0, 20}}, {}, 1, 1, 0, 0},
    {"RecordedTypeFf", kRomRow36, {{0x05F0, 0xFF}}, {}, 1, 1, 0, 0},
    {"RecordingRegisterOfRomRow", kRomRow0, {{0x03C5, 5}, {0x05F0, 7}}, {}, 1, 0, 5, 0},
    {"IdentifiedTypeWins", kRomRow36, {{0x05F0, 7}}, {0xC2, 0x20, 0x10}, 1, 0, 1, 0},
    {"RomUnreadable", std::nullopt, {{0x05F0, 7}}, {}, 1, 1, 0, ERR_CHIP_IDENT},
};

ScenarioBuilder FallbackScenario(const FallbackCase& c) {
    ScenarioBuilder scenario;
    CameraBuilder& cam = scenario.AddCamera();
    if (c.rom) cam.Rom(c.rom->address, c.rom->code, c.rom->version);
    for (const auto& [reg, value] : c.registers) cam.Register(reg, value);
    if (!c.answer9F.empty()) cam.FlashId(0x9F, c.answer9F);
    return scenario;
}

class FlashType : public SerialFlashSim, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(FlashType, IdentificationThenRecordedType) {
    const FallbackCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Open(FallbackScenario(c), 0));
    int32_t type = -1;

    EXPECT_EQ(dev_->GetFlashType(&type, c.allowFallback), c.result);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(dev_->lastError, c.lastError);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlashType, ::testing::ValuesIn(kFallbackCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialFlashSim, UnreadableRecordFailsWithoutErrorCode) {
    const FallbackCase c = kFallbackCases[0];
    // The read of the recording register is the last exchange of a successful query.
    ASSERT_NO_FATAL_FAILURE(Open(FallbackScenario(c), 0));
    int32_t type = -1;
    ASSERT_EQ(dev_->GetFlashType(&type, 1), 0);
    const uint32_t recordRead = Sim().Camera(0).ExchangeCount();

    ScenarioBuilder failing = FallbackScenario(c);
    failing.Camera(0).FailAt(recordRead);
    ASSERT_NO_FATAL_FAILURE(Open(failing, 0));
    type = -1;
    EXPECT_EQ(dev_->GetFlashType(&type, 1), 1);
    EXPECT_EQ(type, 0);
    EXPECT_EQ(dev_->lastError, 0);
}

}  // namespace
}  // namespace quillon
