// The cameras attached to this machine, through the shipped library: listed,
// identified and read, never written. Without a camera the reading test skips,
// and the library must then report that it found none.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "camlib/camlib.h"
#include "platform/linux/uvc_backend.h"
#include "platform/linux/video_nodes.h"

namespace {

using namespace platform::uvc;

struct Attached {
    size_t cameras = 0;
    size_t withUnit = 0;
    std::string notes;
};

// What the backend sees on this machine, before the library looks.
Attached LookAtTheSystem() {
    auto sys = RealSystemCalls();
    const NodeListing listing = ListCaptureNodes(*sys, Paths{}, ToUsbGuid(CameraUnitProfile().set));
    Attached a;
    a.cameras = listing.cameras.size();
    for (const CaptureNode& n : listing.cameras)
        if (n.unit) ++a.withUnit;
    for (const std::string& note : listing.notes) a.notes += "\n  " + note;
    return a;
}

class RealCameras : public ::testing::Test {
  protected:
    // The real system, whatever the environment of the test run says.
    void SetUp() override { unsetenv("QUILLON_SIMULATOR"); }
};

TEST_F(RealCameras, EachCameraWithTheUnitReportsItsChipAndFirmware) {
    const Attached attached = LookAtTheSystem();
    if (attached.cameras == 0) GTEST_SKIP() << "no camera attached" << attached.notes;
    if (attached.withUnit == 0)
        GTEST_SKIP() << "no attached camera has the vendor extension unit" << attached.notes;

    ASSERT_EQ(CamInitialize(nullptr), 0) << attached.notes;
    DeviceInfo infos[16];
    int32_t number = 0;
    ASSERT_EQ(CamEnumDevices(infos, &number, 16), 0);
    ASSERT_GE(number, 1);
    for (int32_t i = 0; i < number; ++i) {
        SCOPED_TRACE("camera " + std::to_string(i));
        int32_t chipClass = -1;
        uint8_t chipId = 0;
        ASSERT_EQ(CamGetChipId(i, &chipClass, &chipId), 0);
        EXPECT_GE(chipClass, 0);
        EXPECT_LE(chipClass, 3);
        EXPECT_EQ(chipId, infos[i].chipID);

        uint8_t firmwareId[4] = {};
        EXPECT_EQ(CamGetFirmwareId(i, firmwareId, sizeof firmwareId), 0);
        ASSERT_EQ(CamSelectDevice(i), 0);
        char version[64] = {};
        EXPECT_EQ(CamGetFirmwareVersion(version, sizeof version, 0), 0);
        std::printf("camera %d: chip 0x%02X (class %d), firmware id %02X %02X %02X %02X, %s\n", i,
                    chipId, chipClass, firmwareId[0], firmwareId[1], firmwareId[2], firmwareId[3],
                    version);
    }
}

TEST_F(RealCameras, WithoutACameraInitialisationReportsNoDevice) {
    const Attached attached = LookAtTheSystem();
    if (attached.withUnit != 0) GTEST_SKIP() << "a camera with the unit is attached";
    EXPECT_EQ(CamInitialize(nullptr), 1);
    int32_t error = 0;
    ASSERT_EQ(CamGetLastError(&error), 0);
    EXPECT_EQ(error, ERR_ENUM_FAILED);
}

}  // namespace
