// Enumeration against simulated cameras, also as they change between
// enumerations in one process.
#include <gtest/gtest.h>

#include <string>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "tests/testing/scenario_builder.h"
#include "transport/timed_calls.h"

namespace quillon {
namespace {

using quillon_test::CameraBuilder;
using quillon_test::ScenarioBuilder;

// A camera that qualifies: extension unit, known chip (0x88 at 0x80F0), ROM code.
CameraBuilder& Qualifying(CameraBuilder& c) {
    return c.Register(0x80F0, 0x88).Arch(1).Rom(0xAFF8, "QMCT0", 1, 0x46);
}

class Enumeration : public ::testing::Test {
protected:
    CameraManager& m = CameraManager::Instance();
    void SetUp() override { m.ResetForTesting(); }
    void TearDown() override {
        WaitForTimedWorkers();
        m.ResetForTesting();
    }
    std::u16string NameAt(uint32_t i) { return m.DeviceAt(i)->friendName; }
};

TEST_F(Enumeration, TwoQualifyingCamerasInOrderFirstSelected) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("First"));
    b.AddCamera().Name("No unit").XuNode(-1);
    b.AddCamera().Name("Unknown chip").Register(0x80F0, 0x12);
    b.AddCamera().Name("Cannot bind").Bind(false);
    Qualifying(b.AddCamera().Name("Second"));
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 2u);
    EXPECT_EQ(NameAt(0), u"First");
    EXPECT_EQ(NameAt(1), u"Second");
    EXPECT_EQ(m.selectedIndex, 0);
    DeviceInfo info;
    m.DeviceAt(1)->GetDeviceInfo(info);
    EXPECT_EQ(info.chipID, 0x88);
    EXPECT_EQ(info.classSize, 0x20000u);
    EXPECT_TRUE(m.DeviceAt(0)->blockTransfer);
    EXPECT_EQ(m.DeviceAt(0)->profile.registers[REG_SF_CS], 0x8E11);
}

TEST_F(Enumeration, KeptCamerasKeepTheirObjectsStateAndSelection) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    CameraDevice* first = m.DeviceAt(0);
    CameraDevice* second = m.DeviceAt(1);
    second->lastError = 18;
    ASSERT_EQ(m.SelectDevice(1), 0);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    EXPECT_EQ(m.DeviceAt(0), first);
    EXPECT_EQ(m.DeviceAt(1), second);
    EXPECT_EQ(second->lastError, 18);
    EXPECT_EQ(m.selectedIndex, 1);
    EXPECT_FALSE(m.useWorkerThread);  // the probes put the settings back
    EXPECT_EQ(m.timeoutMs, 1000u);
}

TEST_F(Enumeration, SelectedCameraUnpluggedSelectionFallsToTheOther) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("A"));
    Qualifying(b.AddCamera().Name("B"));
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    CameraDevice* b0 = m.DeviceAt(1);
    ASSERT_EQ(m.SelectDevice(0), 0);
    sim->Unplug(0);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 1u);
    EXPECT_EQ(NameAt(0), u"B");
    EXPECT_EQ(m.DeviceAt(0), b0);
    EXPECT_EQ(m.selectedIndex, 0);
}

TEST_F(Enumeration, SelectionFollowsAKeptCameraToItsNewPlace) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("A"));
    Qualifying(b.AddCamera().Name("B"));
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.SelectDevice(1), 0);
    sim->Unplug(0);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    EXPECT_EQ(m.selectedIndex, 0);
    EXPECT_EQ(NameAt(0), u"B");
}

TEST_F(Enumeration, ReplugMakesTheOldObjectFailItsProbeAndANewOneTakesItsPlace) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    CameraDevice* old = m.DeviceAt(0);
    old->lastError = 13;
    sim->Unplug(0);
    sim->Plug(0);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 1u);
    EXPECT_NE(m.DeviceAt(0), old);
    EXPECT_EQ(m.DeviceAt(0)->lastError, 0);
    EXPECT_EQ(m.DeviceAt(0)->ProbeChip(), 0);
}

TEST_F(Enumeration, ACameraThatStopsAnsweringIsDropped) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("Silent"));
    Qualifying(b.AddCamera().Name("Fine"));
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    sim->SetAnswering(0, false);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 1u);
    EXPECT_EQ(NameAt(0), u"Fine");
}

TEST_F(Enumeration, NoVideoInputDeviceLeavesTheRegistryAsItWas) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.SelectDevice(1), 0);
    CameraDevice* kept = m.DeviceAt(1);
    sim->Unplug(0);
    sim->Unplug(1);
    EXPECT_EQ(m.EnumerateDevices(), 1);
    EXPECT_EQ(m.DeviceCount(), 2u);
    EXPECT_EQ(m.DeviceAt(1), kept);
    EXPECT_EQ(m.selectedIndex, 1);
}

TEST_F(Enumeration, NoneQualifyingEmptiesEverySlotAndKeepsCountAndSelection) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera());
    Qualifying(b.AddCamera());
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.SelectDevice(1), 0);
    sim->Camera(0).SetRegister(0x80F0, 0x12);  // now an unknown chip
    sim->Camera(1).SetRegister(0x80F0, 0x12);
    EXPECT_EQ(m.EnumerateDevices(), 1);
    EXPECT_EQ(m.DeviceCount(), 2u);
    EXPECT_EQ(m.selectedIndex, 1);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(m.DeviceAt(i), nullptr);
    EXPECT_EQ(m.SelectedDevice(), nullptr);
}

TEST_F(Enumeration, FirstEnumerationWithNothingQualifyingFails) {
    ScenarioBuilder b;
    b.AddCamera().XuNode(-1);
    auto sim = b.Install();
    EXPECT_EQ(m.EnumerateDevices(), 1);
    EXPECT_EQ(m.DeviceCount(), 0u);
    EXPECT_EQ(m.selectedIndex, -1);
}

TEST_F(Enumeration, UnreadableTextsAreEmptyNotThePreviousCameras) {
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name("Named").Path("usb#vid_1111&pid_2222#a"));
    Qualifying(b.AddCamera().NoName().NoPath());
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 2u);
    EXPECT_EQ(m.DeviceAt(1)->friendName, u"");
    EXPECT_EQ(m.DeviceAt(1)->devicePath, u"");
    DeviceInfo info;
    m.DeviceAt(1)->GetDeviceInfo(info);
    EXPECT_EQ(info.friendName[0], 0);
}

TEST_F(Enumeration, LongTextsAreCutToTheRecordAndStillMatchThemselves) {
    const std::string longName(1500, 'n');
    std::string exactPath = "usb#vid_1d6b&pid_0102#";
    exactPath += std::string(1024 - exactPath.size(), 'p');  // fills the field exactly
    ScenarioBuilder b;
    Qualifying(b.AddCamera().Name(longName).Path(exactPath));
    auto sim = b.Install();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    CameraDevice* d = m.DeviceAt(0);
    EXPECT_EQ(d->friendName, std::u16string(1024, u'n'));
    EXPECT_EQ(d->devicePath.size(), 1024u);
    EXPECT_EQ(d->VidPidString(), "1d6b0102");
    ASSERT_EQ(m.EnumerateDevices(), 0);
    EXPECT_EQ(m.DeviceAt(0), d);
}

}  // namespace
}  // namespace quillon
