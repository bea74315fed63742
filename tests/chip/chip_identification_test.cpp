// Chip identification against simulated cameras: which registers and ROM
// addresses are read, in which order, what is written back, and what the
// device learns from it.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "chip/chip_tables.h"
#include "platform/thread.h"
#include "tests/testing/scenario_builder.h"
#include "tests/testing/sim_device.h"
#include "transport/timed_calls.h"

namespace quillon {
namespace {

using quillon::testing::OpenSimDevice;
using quillon::testing::RegisterTraffic;
using quillon_test::CameraBuilder;
using quillon_test::ScenarioBuilder;
using Traffic = std::vector<std::string>;
using RegisterValues = std::vector<std::pair<uint16_t, uint8_t>>;

// One simulated camera installed as the whole system, and the device opened on it.
struct SimCamera {
    explicit SimCamera(const ScenarioBuilder& builder)
        : scenario(builder.Install()), device(OpenSimDevice(0)) {}

    Traffic AllTraffic() const { return RegisterTraffic(scenario.Trace()); }
    // The register accesses alone, without the ROM requests.
    Traffic RegisterAccesses() const {
        Traffic out;
        for (std::string& entry : AllTraffic()) {
            if (entry.rfind("ROM ", 0) != 0) out.push_back(std::move(entry));
        }
        return out;
    }
    uint8_t Register(uint16_t address) const { return scenario.Camera(0).Register(address); }
    // Requests and replies that reached the camera (discovery probes not counted).
    uint32_t Exchanges() const { return scenario.Camera(0).ExchangeCount(); }

    quillon_test::InstalledScenario scenario;
    std::unique_ptr<CameraDevice> device;
};

class ChipIdentificationTest : public ::testing::Test {
  protected:
    void SetUp() override { CameraManager::Instance().ResetForTesting(); }
    void TearDown() override {
        platform::SetThreadCreationFailsForTesting(false);
        CameraManager::Instance().ResetForTesting();
    }
};

// --- chip ID ---

struct ChipIdOutcome {
    int32_t chipClass;
    uint8_t chipId;
    int32_t archType;
    Traffic traffic;
};

constexpr uint8_t kUntouchedId = 0xEE;
constexpr int32_t kUntouchedArch = -5;

ChipIdOutcome ReadChipIdFrom(ScenarioBuilder& builder) {
    SimCamera cam(builder);
    ChipIdOutcome outcome{0, kUntouchedId, kUntouchedArch, {}};
    outcome.chipClass = cam.device->ReadChipId(&outcome.chipId, &outcome.archType);
    outcome.traffic = cam.AllTraffic();
    return outcome;
}

ChipIdOutcome ReadChipIdFrom(uint8_t at101F, uint8_t at80F0) {
    ScenarioBuilder builder;
    builder.AddCamera().Register(0x101F, at101F).Register(0x80F0, at80F0);
    return ReadChipIdFrom(builder);
}

struct KnownChip {
    uint8_t id;
    int32_t chipClass;
    int32_t archType;
};

constexpr KnownChip kKnownChips[] = {
    {0x15, 1, 0}, {0x16, 1, 0}, {0x22, 1, 0}, {0x23, 1, 0}, {0x25, 1, 0}, {0x32, 1, 0},
    {0x33, 1, 0}, {0x56, 1, 0}, {0x70, 1, 0}, {0x71, 1, 0}, {0x75, 1, 0}, {0x87, 1, 0},
    {0x67, 0, 0}, {0x76, 2, 0}, {0x83, 2, 0}, {0x92, 2, 0}, {0x85, 3, 1}, {0x86, 2, 1},
    {0x88, 2, 1}, {0x89, 2, 1}, {0x90, 2, 1},
};

TEST_F(ChipIdentificationTest, KnownChipIdInTheFirstRegisterEndsTheSearch) {
    for (const KnownChip& chip : kKnownChips) {
        SCOPED_TRACE(::testing::Message() << "chip ID 0x" << std::hex << int(chip.id));
        // 0x80F0 holds a known ID too: it must not be looked at.
        const ChipIdOutcome got = ReadChipIdFrom(chip.id, 0x90);
        EXPECT_EQ(got.chipClass, chip.chipClass);
        EXPECT_EQ(got.chipId, chip.id);
        // The chip ID decides the architecture, whichever register answered.
        EXPECT_EQ(got.archType, chip.archType);
        EXPECT_EQ(got.traffic, Traffic({"R 101F"}));
    }
}

TEST_F(ChipIdentificationTest, KnownChipIdInTheSecondRegisterAfterAnUnknownFirst) {
    for (const KnownChip& chip : kKnownChips) {
        SCOPED_TRACE(::testing::Message() << "chip ID 0x" << std::hex << int(chip.id));
        const ChipIdOutcome got = ReadChipIdFrom(0x40, chip.id);
        EXPECT_EQ(got.chipClass, chip.chipClass);
        EXPECT_EQ(got.chipId, chip.id);
        EXPECT_EQ(got.archType, chip.archType);
        EXPECT_EQ(got.traffic, Traffic({"R 101F", "R 80F0"}));
    }
}

TEST_F(ChipIdentificationTest, UnknownChipIdsInBothRegistersLeaveTheOutputsAlone) {
    for (uint8_t id : {0x00, 0x14, 0x17, 0x40, 0x68, 0x84, 0x91, 0x93, 0xFF}) {
        SCOPED_TRACE(::testing::Message() << "chip ID 0x" << std::hex << int(id));
        const ChipIdOutcome got = ReadChipIdFrom(id, id);
        EXPECT_EQ(got.chipClass, -1);
        EXPECT_EQ(got.chipId, kUntouchedId);
        EXPECT_EQ(got.archType, kUntouchedArch);
        EXPECT_EQ(got.traffic, Traffic({"R 101F", "R 80F0"}));
    }
}

TEST_F(ChipIdentificationTest, ChipIdRegisterThatCannotBeReadEndsAtOnce) {
    struct Case {
        const char* name;
        uint8_t at101F;
        std::vector<uint32_t> failingExchanges;
        Traffic traffic;
    };
    // Every exchange of three read attempts fails, however many each attempt takes.
    const Case cases[] = {
        {"first register", 0x40, {1, 2, 3, 4, 5, 6}, {"R 101F", "R 101F", "R 101F"}},
        {"second register", 0x40, {3, 4, 5, 6, 7, 8}, {"R 101F", "R 80F0", "R 80F0", "R 80F0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        CameraBuilder& camera =
            builder.AddCamera().Register(0x101F, c.at101F).Register(0x80F0, 0x88);
        for (uint32_t exchange : c.failingExchanges) camera.FailAt(exchange);
        const ChipIdOutcome got = ReadChipIdFrom(builder);
        EXPECT_EQ(got.chipClass, -1);
        EXPECT_EQ(got.chipId, kUntouchedId);
        EXPECT_EQ(got.archType, kUntouchedArch);
        EXPECT_EQ(got.traffic, c.traffic);
    }
}

// --- probe ---

TEST_F(ChipIdentificationTest, ProbeRunsOnWorkersAndPutsTheCallersSettingsBack) {
    struct Case {
        const char* name;
        uint8_t chipId;
        bool threadsFail;
        int32_t result;
        bool reachesCamera;
    };
    const Case cases[] = {
        {"known chip", 0x88, false, 0, true},
        {"unknown chip", 0x40, false, 1, true},
        // Only a call on a worker can fail this way: the probe must not run directly.
        {"no worker thread", 0x88, true, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        builder.AddCamera().Register(0x80F0, c.chipId);
        SimCamera cam(builder);
        CameraManager& manager = CameraManager::Instance();
        // A caller's time limit of 0 would fail every call: the probe uses its own.
        manager.useWorkerThread = false;
        manager.timeoutMs = 0;
        platform::SetThreadCreationFailsForTesting(c.threadsFail);

        EXPECT_EQ(cam.device->ProbeChip(), c.result);

        platform::SetThreadCreationFailsForTesting(false);
        WaitForTimedWorkers();
        EXPECT_FALSE(manager.useWorkerThread);
        EXPECT_EQ(manager.timeoutMs, 0u);
        EXPECT_EQ(cam.Exchanges() > 0, c.reachesCamera);
    }
}

TEST_F(ChipIdentificationTest, ProbeWithoutCaptureFilterFailsAndChangesNothing) {
    ScenarioBuilder builder;
    builder.AddCamera().Register(0x101F, 0x70);
    SimCamera cam(builder);
    CameraDevice filterless(cam.device->moniker.Get(), nullptr, cam.device->xuNodeId);
    CameraManager& manager = CameraManager::Instance();
    manager.useWorkerThread = true;
    manager.timeoutMs = 77;

    EXPECT_EQ(filterless.ProbeChip(), 1);
    EXPECT_TRUE(manager.useWorkerThread);
    EXPECT_EQ(manager.timeoutMs, 77u);
    EXPECT_EQ(cam.Exchanges(), 0u);
}

// --- ROM code ---

// The ROM addresses in the order they are searched.
const Traffic kRomSearch = {"ROM 9FF8", "ROM D2B2", "ROM DFF8", "ROM BFF8", "ROM C7F8", "ROM AFF8"};

Traffic FirstRomReads(size_t count) {
    return Traffic(kRomSearch.begin(), kRomSearch.begin() + count);
}

constexpr int32_t kUntouchedRow = -7;
constexpr uint8_t kUntouchedByte = 0xEE;

TEST_F(ChipIdentificationTest, RomCodeSearchTakesTheFirstMatchingRowOfTheAddressRead) {
    struct Case {
        const char* name;
        uint16_t address;
        const char* code;
        uint8_t version;
        int32_t row;  // -1: no row matches
        size_t addressesRead;
    };
    const Case cases[] = {
        {"exact version", 0x9FF8, "QMBS0", 1, 2, 1},
        {"next row from version 2", 0x9FF8, "QMBS0", 2, 3, 1},
        {"later version", 0x9FF8, "QMBS0", 7, 3, 1},
        {"version below every row: search goes on", 0x9FF8, "QMBS0", 0, -1, 6},
        {"code of other addresses: search goes on", 0x9FF8, "QMBK0", 1, -1, 6},
        {"code at its own address", 0xD2B2, "QMBK0", 1, 4, 2},
        {"exact-only row refuses a later version", 0xD2B2, "QMBK0", 2, -1, 6},
        {"later-version row below its version", 0x9FF8, "QMBJ0", 2, -1, 6},
        {"versions from 0x80 up are later, not negative", 0x9FF8, "QMBJ0", 0x80, 1, 1},
        {"fifth character is not compared", 0x9FF8, "QMBH7", 1, 0, 1},
        {"repeated row is never chosen", 0xBFF8, "QMCS0", 1, 18, 4},
        {"repeated row, later version", 0xBFF8, "QMCS0", 9, 18, 4},
        {"repeated row, version 0xFF", 0xBFF8, "QMCS0", 0xFF, 18, 4},
        {"same code, other address", 0xAFF8, "QMCG0", 1, 33, 6},
        {"last address", 0xAFF8, "QMCV0", 1, 37, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        builder.AddCamera().Rom(c.address, c.code, c.version, 0x46, 0x5A);
        SimCamera cam(builder);
        cam.device->profile.chipIndex = kUntouchedRow;
        std::array<uint8_t, 8> out;
        out.fill(kUntouchedByte);

        const int32_t result = cam.device->MatchRomCode(out.data());

        EXPECT_EQ(cam.AllTraffic(), FirstRomReads(c.addressesRead));
        if (c.row < 0) {
            EXPECT_EQ(result, 1);
            EXPECT_EQ(cam.device->profile.chipIndex, kUntouchedRow);
            std::array<uint8_t, 8> untouched;
            untouched.fill(kUntouchedByte);
            EXPECT_EQ(out, untouched);
            continue;
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(cam.device->profile.chipIndex, c.row);
        std::array<uint8_t, 8> expected{};
        std::memcpy(expected.data(), c.code, 5);
        expected[5] = c.version;
        expected[6] = 0x46;
        expected[7] = 0x5A;
        EXPECT_EQ(out, expected);
    }
}

// A capture filter that hands out its control interface only `grants` times,
// as when the camera's driver goes away in the middle of a search.
class VanishingControlFilter final : public platform::IBaseFilter {
  public:
    VanishingControlFilter(platform::IBaseFilter* inner, int grants)
        : inner_(inner), grantsLeft_(grants) {}

    platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override {
        if (iid == platform::IID_IUnknown || iid == platform::IID_IBaseFilter) {
            AddRef();
            *out = static_cast<platform::IBaseFilter*>(this);
            return platform::S_OK;
        }
        if (iid == platform::IID_IKsControl) {
            ++controlRequests;
            if (grantsLeft_-- <= 0) {
                *out = nullptr;
                return platform::E_NOINTERFACE;
            }
        }
        return inner_->QueryInterface(iid, out);
    }
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        const uint32_t left = refs_.Drop();
        if (left == 0) delete this;
        return left;
    }

    int controlRequests = 0;

  private:
    platform::ComPtr<platform::IBaseFilter> inner_;
    int grantsLeft_;
    platform::RefCount refs_;
};

TEST_F(ChipIdentificationTest, RomReadThatFailsEndsTheSearch) {
    ScenarioBuilder builder;
    // Matches nothing at the first address, so the search wants the second.
    builder.AddCamera().Rom(0x9FF8, "QMBK0", 1);
    SimCamera cam(builder);
    auto filter = platform::ComPtr<VanishingControlFilter>::Attach(
        new VanishingControlFilter(cam.device->baseFilter.Get(), 1));
    CameraDevice device(cam.device->moniker.Get(), filter.Get(), cam.device->xuNodeId);
    device.profile.chipIndex = kUntouchedRow;
    std::array<uint8_t, 8> out;
    out.fill(kUntouchedByte);

    EXPECT_EQ(device.MatchRomCode(out.data()), 1);
    EXPECT_EQ(filter->controlRequests, 2);  // no third address tried
    EXPECT_EQ(cam.AllTraffic(), FirstRomReads(1));
    EXPECT_EQ(device.profile.chipIndex, kUntouchedRow);
    EXPECT_EQ(out[0], kUntouchedByte);
}

// --- ROM version and chip variants ---

struct VariantCase {
    const char* name;
    uint16_t romAddress;
    const char* romCode;  // fifth character 'X': shows whether the variant digit was written
    RegisterValues registers;
    RegisterValues readOnly;
    const char* code;  // the buffer's first five characters afterwards
    int32_t row;
    Traffic accesses;      // register accesses after the ROM search, in order
    RegisterValues after;  // register contents afterwards
};

// Pin input levels come from 0x1005; the pins the checks drive do not change them.
RegisterValues Pins(uint8_t levels, RegisterValues more) {
    more.insert(more.begin(), {{0x1005, levels}, {0x1006, 0x41}, {0x1007, 0xFF}});
    return more;
}
const RegisterValues kPinsReadOnly = {{0x1005, 0xFF}};

// Reading the chip ID with bit 4 of 0x100A (0x13) cleared, then restoring it.
const Traffic kIdSelect = {"R 100A", "W 100A 03", "R 101F", "W 100A 13"};

Traffic Join(std::initializer_list<Traffic> parts) {
    Traffic out;
    for (const Traffic& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

const Traffic kPin5 = {"R 1007", "R 1006", "W 1007 DF", "W 1006 61", "R 1005"};
const Traffic kPin3 = {"R 1007", "R 1006", "W 1007 F7", "W 1006 49", "R 1005"};
const Traffic kPin4 = {"R 1007", "R 1006", "W 1007 E7", "W 1006 59", "R 1005"};

const VariantCase kVariantCases[] = {
    {"QMCG0 whose bits 4-6 of 0x1185 stick is variant 1",
     0xBFF8,
     "QMCGX",
     {{0x1185, 0x05}},
     {},
     "QMCG1",
     15,
     {"R 1185", "W 1185 75", "R 1185"},
     {{0x1185, 0x75}}},
    {"QMCG0 without bits 4-6",
     0xBFF8,
     "QMCGX",
     {{0x1185, 0x05}},
     {{0x1185, 0x70}},
     "QMCGX",
     15,
     {"R 1185", "W 1185 75", "R 1185"},
     {{0x1185, 0x05}}},
    {"QMCG0 with only two of the bits",
     0xBFF8,
     "QMCGX",
     {},
     {{0x1185, 0x40}},
     "QMCGX",
     15,
     {"R 1185", "W 1185 70", "R 1185"},
     {{0x1185, 0x30}}},
    {"QMCS0 on chip 0x89 is QMCT0",
     0xBFF8,
     "QMCSX",
     Pins(0x20, {{0x101F, 0x89}}),
     kPinsReadOnly,
     "QMCTX",
     18,
     {"R 101F"},
     {{0x1006, 0x41}, {0x1007, 0xFF}}},
    {"QMCS0 with pin 5 high",
     0xBFF8,
     "QMCSX",
     Pins(0x20, {{0x101F, 0x76}}),
     kPinsReadOnly,
     "QMCS1",
     18,
     Join({{"R 101F"}, kPin5}),
     {{0x1006, 0x61}, {0x1007, 0xDF}}},
    {"QMCS0 with pin 5 low releases it",
     0xBFF8,
     "QMCSX",
     Pins(0xDF, {{0x101F, 0x76}}),
     kPinsReadOnly,
     "QMCSX",
     18,
     Join({{"R 101F"}, kPin5, {"W 1006 41"}}),
     {{0x1006, 0x41}, {0x1007, 0xDF}}},
    {"QMCB0 on chip 0x70 is QMBZ0, pin 3 high",
     0xBFF8,
     "QMCBX",
     Pins(0x08, {{0x100A, 0x13}, {0x101F, 0x70}}),
     kPinsReadOnly,
     "QMBZ1",
     20,
     Join({kIdSelect, kPin3, {"W 1006 41"}}),
     {{0x100A, 0x13}, {0x1006, 0x41}, {0x1007, 0xF7}}},
    {"QMBZ0 with pin 4 high",
     0xBFF8,
     "QMCBX",
     Pins(0x10, {{0x100A, 0x13}, {0x101F, 0x70}}),
     kPinsReadOnly,
     "QMBZ0",
     20,
     Join({kIdSelect, kPin3, kPin4}),
     {{0x100A, 0x13}, {0x1006, 0x59}, {0x1007, 0xE7}}},
    {"QMBZ0 with pins 3 and 4 low is variant 2",
     0xBFF8,
     "QMCBX",
     Pins(0x00, {{0x100A, 0x13}, {0x101F, 0x70}}),
     kPinsReadOnly,
     "QMBZ2",
     20,
     Join({kIdSelect, kPin3, kPin4, {"W 1006 49"}}),
     {{0x100A, 0x13}, {0x1006, 0x49}, {0x1007, 0xE7}}},
    {"QMCB0 with pins 3 and 4 high: pin 3 decides",
     0xBFF8,
     "QMCBX",
     Pins(0x18, {{0x100A, 0x13}, {0x101F, 0x71}}),
     kPinsReadOnly,
     "QMCB1",
     21,
     Join({kIdSelect, kPin3, {"W 1006 41"}}),
     {{0x100A, 0x13}, {0x1006, 0x41}, {0x1007, 0xF7}}},
    {"QMCB0 with pin 4 high",
     0xBFF8,
     "QMCBX",
     Pins(0x10, {{0x100A, 0x13}, {0x101F, 0x71}}),
     kPinsReadOnly,
     "QMCB0",
     21,
     Join({kIdSelect, kPin3, kPin4}),
     {{0x100A, 0x13}, {0x1006, 0x59}, {0x1007, 0xE7}}},
    {"QMCB0 with pins 3 and 4 low",
     0xBFF8,
     "QMCBX",
     Pins(0x00, {{0x100A, 0x03}, {0x101F, 0x71}}),
     kPinsReadOnly,
     "QMCBX",
     21,
     Join({{"R 100A", "W 100A 03", "R 101F", "W 100A 03"}, kPin3, kPin4}),
     {{0x100A, 0x03}, {0x1006, 0x59}, {0x1007, 0xE7}}},
    {"QMCJ0 on chip 0x80 is QMCH0, pin 3 high",
     0xBFF8,
     "QMCJX",
     Pins(0x08, {{0x100A, 0x13}, {0x101F, 0x80}}),
     kPinsReadOnly,
     "QMCH1",
     22,
     Join({kIdSelect, kPin3, {"W 1006 41"}}),
     {{0x100A, 0x13}, {0x1006, 0x41}, {0x1007, 0xF7}}},
    {"QMCH0 with pin 3 low",
     0xBFF8,
     "QMCJX",
     Pins(0xF7, {{0x100A, 0x13}, {0x101F, 0x80}}),
     kPinsReadOnly,
     "QMCH0",
     22,
     Join({kIdSelect, kPin3}),
     {{0x100A, 0x13}, {0x1006, 0x49}, {0x1007, 0xF7}}},
    {"QMCJ0 with pin 3 low",
     0xBFF8,
     "QMCJX",
     Pins(0x00, {{0x100A, 0x13}, {0x101F, 0x33}}),
     kPinsReadOnly,
     "QMCJ0",
     23,
     Join({kIdSelect, kPin3}),
     {{0x1006, 0x49}, {0x1007, 0xF7}}},
    {"QMCH0 in the ROM has no variants",
     0xBFF8,
     "QMCHX",
     Pins(0x08, {{0x101F, 0x80}}),
     kPinsReadOnly,
     "QMCHX",
     22,
     {},
     {{0x1006, 0x41}, {0x1007, 0xFF}}},
    {"QMBZ0 in the ROM has no variants",
     0xBFF8,
     "QMBZX",
     Pins(0x08, {{0x101F, 0x70}}),
     kPinsReadOnly,
     "QMBZX",
     20,
     {},
     {{0x1006, 0x41}, {0x1007, 0xFF}}},
    {"QMCG0 of the last address has no variants",
     0xAFF8,
     "QMCGX",
     {{0x1185, 0x05}},
     {},
     "QMCGX",
     33,
     {},
     {{0x1185, 0x05}}},
    {"QMCV0 has no variants",
     0xAFF8,
     "QMCVX",
     Pins(0xFF, {}),
     kPinsReadOnly,
     "QMCVX",
     37,
     {},
     {{0x1006, 0x41}, {0x1007, 0xFF}}},
};

TEST_F(ChipIdentificationTest, RomVersionTellsVariantsApartAndLeavesTheirRegistersSet) {
    for (const VariantCase& c : kVariantCases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        CameraBuilder& camera = builder.AddCamera().Rom(c.romAddress, c.romCode, 1, 0x46, 0x5A);
        for (const auto& [address, value] : c.registers) camera.Register(address, value);
        for (const auto& [address, mask] : c.readOnly) camera.ReadOnly(address, mask);
        SimCamera cam(builder);
        std::array<uint8_t, 10> out{};
        out[8] = out[9] = kUntouchedByte;

        ASSERT_EQ(cam.device->ReadRomVersion(out.data()), 0);

        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 5), c.code);
        EXPECT_EQ(out[5], 1);
        EXPECT_EQ(out[6], 0x46);
        EXPECT_EQ(out[7], 0x5A);
        EXPECT_EQ(out[8], kUntouchedByte);
        EXPECT_EQ(cam.device->profile.chipIndex, c.row);
        EXPECT_EQ(cam.RegisterAccesses(), c.accesses);
        for (const auto& [address, value] : c.after) {
            EXPECT_EQ(cam.Register(address), value) << "register 0x" << std::hex << address;
        }
    }
}

TEST_F(ChipIdentificationTest, RomVersionCountsARegisterThatCannotBeReadAsZero) {
    struct Case {
        const char* name;
        const char* romCode;
        RegisterValues registers;
        uint32_t failingExchange;  // after the ROM search's 8 (four addresses, request and reply)
        const char* code;
    };
    const Case cases[] = {
        // 9-10 read 0x1185, 11 writes it, 12-13 read it back.
        {"QMCG0 whose read-back fails", "QMCGX", {{0x1185, 0x05}}, 13, "QMCGX"},
        // 9-10 read 0x101F.
        {"QMCS0 whose chip ID cannot be read", "QMCSX", Pins(0x20, {{0x101F, 0x89}}), 10, "QMCS1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        CameraBuilder& camera =
            builder.AddCamera().Rom(0xBFF8, c.romCode, 1).FailAt(c.failingExchange);
        for (const auto& [address, value] : c.registers) camera.Register(address, value);
        SimCamera cam(builder);
        std::array<uint8_t, 8> out{};

        EXPECT_EQ(cam.device->ReadRomVersion(out.data()), 0);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data()), 5), c.code);
    }
}

TEST_F(ChipIdentificationTest, RomVersionWithoutRomCodeFailsWithoutTouchingRegisters) {
    ScenarioBuilder builder;
    builder.AddCamera().Register(0x101F, 0x89);
    SimCamera cam(builder);
    cam.device->profile.chipIndex = kUntouchedRow;
    std::array<uint8_t, 8> out{};

    EXPECT_EQ(cam.device->ReadRomVersion(out.data()), 1);
    EXPECT_EQ(cam.AllTraffic(), kRomSearch);
    EXPECT_EQ(cam.device->profile.chipIndex, kUntouchedRow);
}

// --- streaming state ---

std::array<uint8_t, 8> RomBuffer(const char* code) {
    std::array<uint8_t, 8> buffer{};
    std::memcpy(buffer.data(), code, 5);
    buffer[5] = 1;
    return buffer;
}

TEST_F(ChipIdentificationTest, StreamStateComesFromTheRegisterOfTheRomCode) {
    struct Case {
        const char* code;
        RegisterValues registers;
        int32_t state;
        Traffic reads;
    };
    const Case cases[] = {
        {"QMCW0", {{0x1101, 0x11}}, 1, {"R 1101"}},
        // Bit 4 is reported as it stands; only a state of 1 means streaming.
        {"QMCW0", {{0x1101, 0x10}}, 0x10, {"R 1101", "R 1101"}},
        {"QMCW0", {{0x1101, 0xEE}}, 0, {"R 1101", "R 1101"}},
        {"QMBN0", {{0x1101, 0x01}}, 1, {"R 1101"}},
        {"QMBV0", {{0x1101, 0xFE}}, 0, {"R 1101"}},
        {"QMBX0", {{0x1101, 0x03}}, 1, {"R 1101"}},
        {"QMBZ0", {{0x1101, 0x10}}, 0, {"R 1101"}},
        {"QMCF0", {{0x1101, 0x01}}, 1, {"R 1101"}},
        {"QMCH0", {{0x1101, 0x01}}, 1, {"R 1101"}},
        {"QMCJ0", {{0x1101, 0x01}}, 1, {"R 1101"}},
        {"QMCK0", {{0x1101, 0x01}}, 1, {"R 1101"}},
        {"QMCP0", {{0x4891, 0x01}, {0x1101, 0x00}}, 1, {"R 4891"}},
        {"QMCG0", {{0x4A91, 0x01}, {0x1101, 0x00}}, 1, {"R 4A91"}},
        {"QMCM0", {{0xA302, 0x01}}, 1, {"R A302"}},
        {"QMCN0", {{0xA302, 0x00}, {0xA312, 0x01}}, 0, {"R A302"}},
        {"QMCV0", {{0xA302, 0x01}}, 1, {"R A302"}},
        {"QMCS0", {{0xA302, 0x00}, {0xA312, 0x01}}, 1, {"R A302", "R A312"}},
        {"QMCS0", {{0xA302, 0x00}, {0xA312, 0xFE}}, 0, {"R A302", "R A312"}},
        {"QMCT0", {{0xA302, 0x01}, {0xA312, 0x00}}, 1, {"R A302"}},
        {"QMCT0", {{0xA302, 0x02}, {0xA312, 0x03}}, 1, {"R A302", "R A312"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.code << " " << ::testing::PrintToString(c.reads));
        ScenarioBuilder builder;
        CameraBuilder& camera = builder.AddCamera();
        for (const auto& [address, value] : c.registers) camera.Register(address, value);
        SimCamera cam(builder);
        const auto code = RomBuffer(c.code);
        int32_t state = -1;

        EXPECT_TRUE(cam.device->ReadStreamState(code.data(), &state));
        EXPECT_EQ(state, c.state);
        EXPECT_EQ(cam.AllTraffic(), c.reads);
    }
}

TEST_F(ChipIdentificationTest, StreamStateOfCodesWithoutStateRegisterIsLeftToTheCaller) {
    for (const char* code : {"QMBH0", "QMBS0", "QMCC0", "QMCD0", "QMBW0"}) {
        SCOPED_TRACE(code);
        ScenarioBuilder builder;
        builder.AddCamera().Register(0x1101, 0x01).Register(0xA302, 0x01);
        SimCamera cam(builder);
        const auto buffer = RomBuffer(code);
        int32_t state = -1;

        EXPECT_TRUE(cam.device->ReadStreamState(buffer.data(), &state));
        EXPECT_EQ(state, -1);
        EXPECT_EQ(cam.Exchanges(), 0u);
    }
}

TEST_F(ChipIdentificationTest, StreamStateReadThatFailsIsReported) {
    struct Case {
        const char* name;
        const char* code;
        RegisterValues registers;
        uint32_t failingExchange;
    };
    // A register read is a request and a reply: exchanges 1-2, then 3-4.
    const Case cases[] = {
        {"first read, request", "QMCW0", {{0x1101, 0x01}}, 1},
        {"first read, reply", "QMCP0", {{0x4891, 0x01}}, 2},
        {"second register", "QMCS0", {{0xA312, 0x01}}, 3},
        {"second read of the same register", "QMCW0", {{0x1101, 0x10}}, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScenarioBuilder builder;
        CameraBuilder& camera = builder.AddCamera().FailAt(c.failingExchange);
        for (const auto& [address, value] : c.registers) camera.Register(address, value);
        SimCamera cam(builder);
        const auto code = RomBuffer(c.code);
        int32_t state = -1;

        EXPECT_FALSE(cam.device->ReadStreamState(code.data(), &state));
        EXPECT_EQ(state, -1);
    }
}

// --- chip profile ---

TEST_F(ChipIdentificationTest, ChipProfileChoosesBlockTransferByRow) {
    struct Case {
        const char* name;
        uint16_t romAddress;  // 0: no ROM code
        const char* code;
        bool blockTransfer;
    };
    const Case cases[] = {
        {"row 15", 0xBFF8, "QMCG0", true},
        {"row 18", 0xBFF8, "QMCS0", true},
        {"row 35", 0xAFF8, "QMCN0", true},
        {"row 36", 0xAFF8, "QMCT0", true},
        {"row 37", 0xAFF8, "QMCV0", true},
        {"row 17, same code as row 35", 0xBFF8, "QMCN0", false},
        {"row 33, same code as row 15", 0xAFF8, "QMCG0", false},
        {"row 34", 0xAFF8, "QMCM0", false},
        {"row 21", 0xBFF8, "QMCB0", false},
        {"no ROM code", 0, "", false},
    };
    for (int archType : {0, 1}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.name << ", architecture " << archType);
            ScenarioBuilder builder;
            CameraBuilder& camera = builder.AddCamera();
            if (c.romAddress) camera.Rom(c.romAddress, c.code, 1);
            SimCamera cam(builder);

            cam.device->InitChipProfile(archType);

            EXPECT_EQ(cam.device->UsesBlockTransfer(), c.blockTransfer);
            EXPECT_EQ(cam.device->profile.registers[REG_SF_CS], archType == 0 ? 0x1091 : 0x8E11);
            EXPECT_EQ(cam.device->profile.registers[REG_CHIP_ID], archType == 0 ? 0x101F : 0x80F0);
            EXPECT_EQ(0, std::memcmp(&cam.device->profile.registers, &RegisterProfiles[archType],
                                     sizeof(RegisterProfile)));
        }
    }
}

TEST_F(ChipIdentificationTest, ChipProfileKeepsBlockTransferOnceSet) {
    ScenarioBuilder builder;
    builder.AddCamera();  // no ROM code: the identification fails
    SimCamera cam(builder);
    cam.device->blockTransfer = true;

    cam.device->InitChipProfile(1);

    EXPECT_TRUE(cam.device->UsesBlockTransfer());
    EXPECT_EQ(cam.device->profile.registers[REG_SF_CS], 0x8E11);
}

TEST_F(ChipIdentificationTest, RegisterProfileOfAnUnknownArchitectureLeavesTheProfile) {
    ScenarioBuilder builder;
    builder.AddCamera();
    SimCamera cam(builder);
    cam.device->LoadRegisterProfile(1);
    for (int archType : {-1, 2}) {
        cam.device->LoadRegisterProfile(archType);
        EXPECT_EQ(cam.device->profile.registers[REG_SF_CS], 0x8E11);
    }
}

}  // namespace
}  // namespace quillon
