// The library's flat interface: initialisation, the before-initialisation rule,
// lookups, selection and sticky error codes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "camlib/camlib.h"
#include "camlib/library_state.h"
#include "tests/testing/scenario_builder.h"
#include "transport/timed_calls.h"

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::ScenarioBuilder;

CameraBuilder& Qualifying(CameraBuilder& c) {
    return c.Register(0x80F0, 0x88).Arch(1).Rom(0xAFF8, "QMCT0", 1, 0x46);
}

class Api : public ::testing::Test {
protected:
    void SetUp() override { ResetLibraryForTesting(); }
    void TearDown() override {
        WaitForTimedWorkers();
        ResetLibraryForTesting();
    }
};

TEST_F(Api, EverythingButInitAndLastErrorNeedsInitialisation) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    DeviceInfo infos[2];
    std::memset(infos, 0xCC, sizeof infos);
    int32_t n = -7, chipClass = -7, type = -7;
    uint8_t id = 0xCC, buffer[4] = {0xCC, 0xCC, 0xCC, 0xCC};
    char version[64];
    std::memset(version, 0xCC, sizeof version);
    const uint8_t image[0x200] = {};
    const std::function<int32_t()> calls[] = {
        [&] { return CamEnumDevices(infos, &n, 2); },
        [&] { return CamGetChipId(0, &chipClass, &id); },
        [&] { return CamGetFirmwareId(0, buffer, 4); },
        [&] { return CamSelectDevice(0); },
        [&] { return CamGetFirmwareVersion(version, 64, 1); },
        [&] { return CamGetFlashType(&type, 1); },
        [&] { return CamBurnFirmware(image, sizeof image, nullptr, nullptr, 1, 1); },
        [&] { return CamFinishUpgrade(); },
    };
    for (const auto& call : calls) EXPECT_EQ(call(), 1);
    EXPECT_EQ(n, -7);
    EXPECT_EQ(chipClass, -7);
    EXPECT_EQ(type, -7);
    EXPECT_EQ(id, 0xCC);
    EXPECT_EQ(buffer[0], 0xCC);
    EXPECT_EQ(static_cast<uint8_t>(version[0]), 0xCC);
    EXPECT_EQ(infos[0].chipID, 0xCC);
    EXPECT_EQ(sim->Camera(0).ExchangeCount(), 0u);
    int32_t error = -1;
    EXPECT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, 0);
}

TEST_F(Api, NoCameraFailsWithCodeTwoAndARetryCanSucceed) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    sim->Unplug(0);
    EXPECT_EQ(CamInitialize(nullptr), 1);
    int32_t error = 0;
    EXPECT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, ERR_ENUM_FAILED);
    sim->Plug(0);
    EXPECT_EQ(CamInitialize(nullptr), 0);
}

TEST_F(Api, SecondInitialiseChangesNothing) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    ASSERT_EQ(CamSelectDevice(1), 0);
    const uint32_t before = sim->Camera(0).ExchangeCount();
    EXPECT_EQ(CamInitialize(nullptr), 0);
    EXPECT_EQ(sim->Camera(0).ExchangeCount(), before);  // no enumeration
    EXPECT_EQ(CameraManager::Instance().selectedIndex, 1);
}

TEST_F(Api, VidPidThatMatchesNothingLeavesTheLibraryUninitialised) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Path("usb#vid_1234&pid_abcd&mi_00#x"));
    Qualifying(b.AddCamera().Path("usb#vid_1d6b&pid_0102&mi_00#y"));
    auto sim = b.Install();
    EXPECT_EQ(CamInitialize("1D6B0102"), 1);  // case matters
    int32_t error = -1;
    EXPECT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(CamSelectDevice(0), 1);  // still uninitialised
    EXPECT_EQ(CamInitialize("1d6b0102"), 0);
    EXPECT_EQ(CameraManager::Instance().selectedIndex, 1);
    ResetLibraryForTesting();
    EXPECT_EQ(CamInitialize(nullptr), 0);
    EXPECT_EQ(CameraManager::Instance().selectedIndex, 0);
}

TEST_F(Api, EnumerateCopyAndSelect) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("A"));
    Qualifying(b.AddCamera().Name("B"));
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    DeviceInfo infos[10] = {};
    int32_t n = -1;
    EXPECT_EQ(CamEnumDevices(infos, &n, 10), 0);
    EXPECT_EQ(n, 2);
    EXPECT_EQ(infos[1].friendName[0], u'B');
    EXPECT_EQ(CamEnumDevices(infos, &n, 0), 1);  // nothing copied
    EXPECT_EQ(n, 0);
    for (int32_t bad : {-1, 2}) {
        EXPECT_EQ(CamSelectDevice(bad), 1);
        EXPECT_EQ(CameraManager::Instance().selectedIndex, 0);
    }
    EXPECT_EQ(CamSelectDevice(1), 0);
    sim->Unplug(0);
    sim->Unplug(1);
    n = -7;
    EXPECT_EQ(CamEnumDevices(infos, &n, 10), 1);
    EXPECT_EQ(n, -7);
}

TEST_F(Api, ChipIdOfAnUnknownChipIsClassMinusOneAndIdZero) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    int32_t chipClass = 9;
    uint8_t id = 9;
    EXPECT_EQ(CamGetChipId(0, &chipClass, &id), 0);
    EXPECT_EQ(chipClass, 2);
    EXPECT_EQ(id, 0x88);
    sim->Camera(0).SetRegister(0x80F0, 0x12);
    EXPECT_EQ(CamGetChipId(0, &chipClass, &id), 0);
    EXPECT_EQ(chipClass, -1);
    EXPECT_EQ(id, 0);
    EXPECT_EQ(CamGetChipId(1, &chipClass, &id), 1);
    EXPECT_EQ(CamGetChipId(-1, &chipClass, &id), 1);
}

TEST_F(Api, FirmwareIdWritesFourBytesWhateverTheSize) {
    ScenarioBuilder b;
    // Long-form table at 0x160: parameter table at 0x13000.
    std::vector<uint8_t> table(43, 0);
    table[0] = 't', table[1] = 'S', table[2] = 'e', table[3] = 'c';
    table[15] = 0x00, table[16] = 0x01, table[17] = 0x30, table[18] = 0x00;
    Qualifying(b.AddCamera()).FlashData(0x160, table).FlashData(0x13006, {0x51, 0x44, 0x4D, 0x31});
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    uint8_t buffer[6] = {0, 0, 0, 0, 0xEE, 0xEE};
    EXPECT_EQ(CamGetFirmwareId(0, buffer, 2), 0);
    const uint8_t expect[6] = {0x51, 0x44, 0x4D, 0x31, 0xEE, 0xEE};
    EXPECT_EQ(0, std::memcmp(buffer, expect, 6));
}

TEST_F(Api, VersionNeedsFiftySixBytes) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    char small[55];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(CamGetFirmwareVersion(small, sizeof small, 1), 1);
    for (char c : small) EXPECT_EQ(c, 'x');
    char full[64];
    EXPECT_EQ(CamGetFirmwareVersion(full, sizeof full, 1), 0);
}

TEST_F(Api, BurnWithFlashTypeZeroSetsTwelveWithoutTouchingTheCamera) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(CamInitialize(nullptr), 0);
    const uint32_t before = sim->Camera(0).ExchangeCount();
    std::vector<uint8_t> image(0x1000, 0x5A);
    EXPECT_EQ(CamBurnFirmware(image.data(), static_cast<int32_t>(image.size()), nullptr, nullptr,
                              0, 1),
              1);
    EXPECT_EQ(sim->Camera(0).ExchangeCount(), before);
    int32_t error = 0;
    EXPECT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, ERR_NO_FLASH_TYPE);
}

// A burn refused with 18, then one that fails at a flash write (a failure that
// sets no code of its own): the camera still reports 18.
TEST_F(Api, CodesAreStickyAcrossBurns) {
    std::vector<uint8_t> image(0x2000, 0x5A);
    const int32_t len = static_cast<int32_t>(image.size());
    // Runs init, a refused burn and a second burn; returns the exchange number of
    // the first 64-byte data block of the second burn, read from the trace.
    auto run = [&](uint32_t failAt, int32_t* secondResult) {
        ResetLibraryForTesting();
        ScenarioBuilder b;
        auto& cam = Qualifying(b.AddCamera()).Register(0xA302, 0x01);
        cam.FlashId(0x9F, {0xC2, 0x20, 0x10}).CommandRegisters();
        if (failAt) cam.FailAt(failAt);
        auto sim = b.Install();
        EXPECT_EQ(CamInitialize(nullptr), 0);
        EXPECT_EQ(CamBurnFirmware(image.data(), len, nullptr, nullptr, 1, 1), 1);
        int32_t error = 0;
        CamGetLastError(&error);
        EXPECT_EQ(error, ERR_STREAMING);
        sim->Camera(0).SetRegister(0xA302, 0x00);
        const size_t before = sim.Trace().size();
        *secondResult = CamBurnFirmware(image.data(), len, nullptr, nullptr, 1, 1);
        const auto trace = sim.Trace();
        // The block command that opens the write window, then the first data block.
        uint32_t exchange = 0;  // exchange numbers leave the discovery probes out
        bool opened = false;
        for (size_t i = 0; i < trace.size(); ++i) {
            if (trace[i].find(" PROBE ") != std::string::npos) continue;
            ++exchange;
            if (i < before) continue;
            if (opened) return exchange;
            opened = trace[i].rfind("0 SET 6 000000000040002000000b01", 0) == 0;
        }
        return 0u;
    };
    int32_t result = -1;
    const uint32_t firstDataBlock = run(0, &result);
    ASSERT_EQ(result, 0) << "the undisturbed second burn succeeds";
    ASSERT_GT(firstDataBlock, 0u);
    run(firstDataBlock + 10, &result);
    EXPECT_EQ(result, 1);
    int32_t error = 0;
    EXPECT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, ERR_STREAMING);
}

}  // namespace
}  // namespace quillon
