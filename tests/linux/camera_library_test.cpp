// The library's enumeration over the real-camera backend, with fake device
// nodes: cameras are found, identified, kept across enumerations and let go.
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <memory>
#include <string>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "platform/backend.h"
#include "platform/linux/uvc_backend.h"
#include "platform/text.h"
#include "tests/linux/fake_uvc_system.h"
#include "tests/linux/uvc_blobs.h"
#include "transport/timed_calls.h"

namespace {

using namespace platform::uvc;
using namespace uvc_test;
using quillon::CameraDevice;
using quillon::CameraManager;

constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kMetadata = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;

std::string Text(const CamChar16* field) {
    std::u16string s(field);
    return platform::NarrowFromWide(s);
}

class CameraLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = platform::SetBackend(MakeUvcBackend(sys_, sys_->Paths(), CameraUnitProfile()));
        CameraManager::Instance().ResetForTesting();
    }

    void TearDown() override {
        CameraManager::Instance().ResetForTesting();
        quillon::WaitForTimedWorkers();
        EXPECT_EQ(sys_->OpenDescriptors(), 0) << "every node is closed with its device";
        EXPECT_EQ(sys_->BadCloses(), 0);
        platform::SetBackend(previous_);
    }

    // A camera whose chip answers the identification register with a known chip ID.
    void AddCamera(const std::string& usb, uint16_t pid, const std::string& capture,
                   const std::string& metadata, const std::string& product, uint8_t declared) {
        sys_->AddUsbDevice(usb, 0x1d6b, pid, product,
                           Camera(UnitDescriptor(4, CameraGuid(), {declared})));
        sys_->AddVideoNode(capture, usb + ":1.0", 0, kCapture);
        FakeNode& meta = sys_->AddVideoNode(metadata, usb + ":1.0", 0, kMetadata);
        meta.answersUnitQueries = false;
        auto chip = std::make_shared<RegisterChip>();
        chip->registers[0x80F0] = 0x88;
        sys_->GiveUnit(capture, 4, {declared}, chip);
    }

    std::shared_ptr<FakeSystem> sys_ = std::make_shared<FakeSystem>();
    std::shared_ptr<platform::Backend> previous_;
};

TEST_F(CameraLibraryTest, BothCamerasAreFoundIdentifiedAndKept) {
    AddCamera("1-2", 0x0102, "video2", "video3", "Second Cam", 0x3F);
    AddCamera("1-1", 0x0103, "video0", "video1", "First Cam", 0x2F);
    CameraManager& m = CameraManager::Instance();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 2u);

    DeviceInfo info;
    m.DeviceAt(0)->GetDeviceInfo(info);
    EXPECT_EQ(Text(info.friendName), "First Cam");
    EXPECT_EQ(Text(info.devicePath), "usb\\vid_1d6b&pid_0103&mi_00\\1-1\\video0");
    EXPECT_EQ(info.chipID, 0x88);
    m.DeviceAt(1)->GetDeviceInfo(info);
    EXPECT_EQ(Text(info.friendName), "Second Cam");

    int32_t index = -1;
    EXPECT_EQ(m.FindDeviceByVidPid("1d6b0102", &index), 0);
    EXPECT_EQ(index, 1);

    // Still attached and answering: the same device objects stay listed.
    CameraDevice* first = m.DeviceAt(0);
    CameraDevice* second = m.DeviceAt(1);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    EXPECT_EQ(m.DeviceAt(0), first);
    EXPECT_EQ(m.DeviceAt(1), second);
}

TEST_F(CameraLibraryTest, ACameraThatStopsAnsweringIsDroppedAndTheOtherKept) {
    AddCamera("1-1", 0x0103, "video0", "video1", "First Cam", 0x2F);
    AddCamera("1-2", 0x0102, "video2", "video3", "Second Cam", 0x2F);
    CameraManager& m = CameraManager::Instance();
    ASSERT_EQ(m.EnumerateDevices(), 0);
    CameraDevice* second = m.DeviceAt(1);

    // Unplugged while its nodes are still listed: every query fails with ENODEV.
    sys_->Node("video0").queryErrors.assign(100, ENODEV);
    ASSERT_EQ(m.EnumerateDevices(), 0);
    ASSERT_EQ(m.DeviceCount(), 1u);
    EXPECT_EQ(m.DeviceAt(0), second);
}

TEST_F(CameraLibraryTest, CamerasWithoutAUsableUnitOrPermissionAreLeftOutWithReasons) {
    AddCamera("1-1", 0x0101, "video0", "video1", "Locked Cam", 0x2F);
    AddCamera("1-2", 0x0102, "video2", "video3", "Small Unit Cam", 0x0F);
    sys_->Node("video0").openError = EACCES;
    CameraManager& m = CameraManager::Instance();
    EXPECT_EQ(m.EnumerateDevices(), 1);
    const std::string notes = platform::CurrentBackend().Diagnostics();
    EXPECT_NE(notes.find("/video0: permission denied"), std::string::npos) << notes;
    EXPECT_NE(notes.find("video2 (Small Unit Cam): its vendor extension unit lacks controls 6"),
              std::string::npos)
        << notes;
}

}  // namespace
