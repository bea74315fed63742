// Listing the cameras from a sysfs tree: which nodes are cameras, in which
// order, what they are called, and why a camera is left out.
#include "platform/linux/video_nodes.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>

#include "platform/linux/uvc_backend.h"
#include "platform/text.h"
#include "tests/linux/fake_uvc_system.h"
#include "tests/linux/uvc_blobs.h"

namespace {

using namespace platform::uvc;
using namespace uvc_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
constexpr uint32_t kMetadata = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;

std::string Narrow(const std::u16string& s) {
    return platform::NarrowFromWide(s);
}

class VideoNodesTest : public ::testing::Test {
  protected:
    NodeListing List() { return ListCaptureNodes(sys_, sys_.Paths(), CameraGuid()); }

    // A camera with the unit (id 4) on interface 0, a capture and a metadata node.
    void AddCamera(const std::string& usb, uint16_t pid, const std::string& capture,
                   const std::string& metadata, const std::optional<std::string>& product) {
        sys_.AddUsbDevice(usb, 0x1d6b, pid, product,
                          Camera(UnitDescriptor(4, CameraGuid(), {0x2F})));
        sys_.AddVideoNode(capture, usb + ":1.0", 0, kCapture);
        sys_.AddVideoNode(metadata, usb + ":1.0", 0, kMetadata);
    }

    std::vector<std::string> Nodes(const NodeListing& l) {
        std::vector<std::string> out;
        for (const CaptureNode& n : l.cameras) out.push_back(n.node);
        return out;
    }

    FakeSystem sys_;
};

TEST_F(VideoNodesTest, TwoCamerasAreListedOnceEachByBusAndPortPath) {
    // Port 10 sorts after port 9 although its nodes are numbered lower, and
    // no camera is listed twice for its metadata node.
    AddCamera("1-10", 0x0102, "video0", "video1", "Second Cam");
    AddCamera("1-9", 0x0103, "video2", "video3", "First Cam");
    const NodeListing listing = List();
    EXPECT_THAT(Nodes(listing), ElementsAre("video2", "video0"));
    ASSERT_EQ(listing.cameras.size(), 2u);
    EXPECT_EQ(Narrow(listing.cameras[0].friendlyName), "First Cam");
    EXPECT_EQ(Narrow(listing.cameras[0].devicePath), "usb\\vid_1d6b&pid_0103&mi_00\\1-9\\video2");
    EXPECT_EQ(Narrow(listing.cameras[1].devicePath), "usb\\vid_1d6b&pid_0102&mi_00\\1-10\\video0");
    for (const CaptureNode& n : listing.cameras) {
        ASSERT_TRUE(n.unit) << n.node;
        EXPECT_EQ(n.unit->unitId, 4);
    }
    EXPECT_TRUE(listing.notes.empty());
    // Listing again gives the same order.
    EXPECT_THAT(Nodes(List()), ElementsAre("video2", "video0"));
}

TEST_F(VideoNodesTest, TheListingIsStableAcrossBusesAndHubs) {
    int next = 0;
    for (const char* usb : {"2-1", "1-2.10", "1-2.3", "1-1"}) {
        AddCamera(usb, 0x0100, "video" + std::to_string(next), "video" + std::to_string(next + 1),
                  std::nullopt);
        next += 2;
    }
    std::vector<std::string> order;
    for (const CaptureNode& n : List().cameras) order.push_back(n.usb.device);
    EXPECT_THAT(order, ElementsAre("1-1", "1-2.3", "1-2.10", "2-1"));
}

TEST_F(VideoNodesTest, OneEntryPerFunctionAndTheLowerNodeStandsForIt) {
    sys_.AddUsbDevice("3-1", 0x1d6b, 0x0102, "Cam",
                      Camera(UnitDescriptor(4, CameraGuid(), {0x2F})));
    sys_.AddVideoNode("video7", "3-1:1.0", 0, kCapture);
    sys_.AddVideoNode("video5", "3-1:1.0", 0, kCapture);
    EXPECT_THAT(Nodes(List()), ElementsAre("video5"));
}

TEST_F(VideoNodesTest, NodesThatAreNotUsbCaptureNodesAreNotCameras) {
    AddCamera("1-1", 0x0102, "video0", "video1", "Cam");
    sys_.AddPlatformVideoNode("video4", kCapture);
    sys_.AddClassEntry("v4l-subdev0");
    sys_.AddUsbDevice("1-2", 0x1d6b, 0x0200, "Grabber", Camera(Bytes{}));
    sys_.AddVideoNode("video6", "1-2:1.0", 0, V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING);
    EXPECT_THAT(Nodes(List()), ElementsAre("video0"));
}

TEST_F(VideoNodesTest, ANodeOnTheStreamingInterfaceFindsTheUnitOfItsFunction) {
    sys_.AddUsbDevice("1-1", 0x1d6b, 0x0102, "Cam",
                      Camera(UnitDescriptor(9, CameraGuid(), {0x2F})));
    sys_.AddVideoNode("video0", "1-1:1.1", 1, kCapture);
    const NodeListing listing = List();
    ASSERT_EQ(listing.cameras.size(), 1u);
    ASSERT_TRUE(listing.cameras[0].unit);
    EXPECT_EQ(listing.cameras[0].unit->unitId, 9);
}

TEST_F(VideoNodesTest, ACameraWithoutTheUnitIsListedWithANote) {
    // The library decides to leave it out; the note says why for the user.
    sys_.AddUsbDevice("1-1", 0x1d6b, 0x0102, "Plain Cam",
                      Camera(UnitDescriptor(4, OtherGuid(3), {0x2F})));
    sys_.AddVideoNode("video0", "1-1:1.0", 0, kCapture);
    const NodeListing listing = List();
    ASSERT_EQ(listing.cameras.size(), 1u);
    EXPECT_FALSE(listing.cameras[0].unit);
    EXPECT_THAT(listing.notes,
                ElementsAre(HasSubstr("video0 (Plain Cam): no vendor extension unit")));
}

TEST_F(VideoNodesTest, ANodeWithoutPermissionIsLeftOutAndTheNoteSaysWhatToDo) {
    AddCamera("1-1", 0x0102, "video0", "video1", "Cam");
    AddCamera("1-2", 0x0103, "video2", "video3", "Other Cam");
    sys_.Node("video2").openError = EACCES;
    const NodeListing listing = List();
    EXPECT_THAT(Nodes(listing), ElementsAre("video0"));
    ASSERT_EQ(listing.notes.size(), 1u);
    EXPECT_THAT(listing.notes[0], HasSubstr("/video2: permission denied"));
    EXPECT_THAT(listing.notes[0], HasSubstr("video group"));
}

TEST_F(VideoNodesTest, EachNodeIsOpenedReadWriteForTheQuestionAndClosedAgain) {
    AddCamera("1-1", 0x0102, "video0", "video1", "Cam");
    (void)List();
    EXPECT_THAT(sys_.Node("video0").openFlags, ElementsAre(O_RDWR | O_CLOEXEC));
    EXPECT_EQ(sys_.OpenDescriptors(), 0);
    EXPECT_EQ(sys_.BadCloses(), 0);
}

TEST(VideoNodes, WithoutTheVideoClassThereIsNothingToListAndTheNoteSaysSo) {
    FakeSystem sys;
    Paths paths = sys.Paths();
    paths.sysfs += "/missing";
    const NodeListing listing = ListCaptureNodes(sys, paths, CameraGuid());
    EXPECT_TRUE(listing.cameras.empty());
    EXPECT_THAT(listing.notes, ElementsAre(HasSubstr("No video devices")));
}

TEST(VideoNodeTexts, TheFriendlyNameFallsBackFromProductToCardToIds) {
    struct Case {
        const char* product;
        const char* card;
        const char* expected;
    } cases[] = {
        {"HD Cam", "UVC Camera (1d6b:0102)", "HD Cam"},
        {"", "UVC Camera (1d6b:0102)", "UVC Camera (1d6b:0102)"},
        {"", "", "USB video device 1d6b:0102"},
        {"Caméra", "", "Caméra"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Narrow(FriendlyName(c.product, c.card, 0x1d6b, 0x0102)), c.expected);
}

TEST(VideoNodeTexts, TheDevicePathStartsWithTheVendorAndProduct) {
    const std::u16string path = DevicePath(0xABCD, 0x00EF, 2, "1-2.3", "video0");
    EXPECT_EQ(Narrow(path), "usb\\vid_abcd&pid_00ef&mi_02\\1-2.3\\video0");
    // The first "vid" in the text is the vendor's, four characters after it its ID.
    EXPECT_EQ(Narrow(path.substr(path.find(u"vid") + 4, 4)), "abcd");
    EXPECT_EQ(Narrow(path.substr(path.find(u"pid") + 4, 4)), "00ef");
}

TEST(VideoNodeTexts, InterfaceNamesGiveBusPortsConfigurationAndInterface) {
    const auto name = ParseInterfaceName("3-1.12.4:2.1");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->device, "3-1.12.4");
    EXPECT_EQ(name->bus, 3u);
    EXPECT_THAT(name->ports, ElementsAre(1u, 12u, 4u));
    EXPECT_EQ(name->configuration, 2u);
    EXPECT_EQ(name->interface, 1u);
    for (const char* bad : {"usb1", "vivid.0", "1-:1.0", "1-2", "1-2:1", "x-2:1.0", "1-2.:1.0"})
        EXPECT_FALSE(ParseInterfaceName(bad)) << bad;
}

}  // namespace
