// The device object: its fresh state, its DeviceInfo and its destruction order.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "tests/testing/fake_ks.h"

namespace quillon {
namespace {

using testing::FakeFilter;
using testing::FakeMoniker;

TEST(CameraDeviceObject, FreshState) {
    CameraDevice d(nullptr, nullptr, 5);
    EXPECT_EQ(d.lastError, 0);
    EXPECT_TRUE(d.friendName.empty());
    EXPECT_TRUE(d.devicePath.empty());
    EXPECT_FALSE(d.blockTransfer);
    EXPECT_EQ(d.xuNodeId, 5);
    const DeviceInfo zero{};
    EXPECT_EQ(0, std::memcmp(&d.info, &zero, sizeof zero));
}

TEST(CameraDeviceObject, DeviceInfoRoundTripsByteForByte) {
    DeviceInfo rec;
    std::memset(&rec, 0, sizeof rec);
    const std::u16string name = u"USB 2.0 Camera";
    std::memcpy(rec.friendName, name.data(), name.size() * 2);
    // Bytes after the terminating zero belong to the record and come back as they were.
    rec.friendName[100] = u'x';
    for (int i = 0; i < 1024; ++i) rec.devicePath[i] = u'p';  // fills the field exactly
    rec.classSize = 0x20000;
    rec.chipID = 0x88;
    CameraDevice d(nullptr, nullptr, 0);
    d.SetDeviceInfo(rec);
    EXPECT_EQ(d.friendName, name);
    EXPECT_EQ(d.devicePath, std::u16string(1024, u'p'));
    DeviceInfo out;
    std::memset(&out, 0xAB, sizeof out);
    d.GetDeviceInfo(out);
    EXPECT_EQ(0, std::memcmp(&out, &rec, sizeof rec));
}

TEST(CameraDeviceObject, DestructionReleasesTheFilterBeforeTheMoniker) {
    std::vector<std::string> order;
    FakeFilter* filter = FakeFilter::Create();
    FakeMoniker* moniker = FakeMoniker::Create();
    filter->onDestroy = [&] { order.push_back("filter"); };
    moniker->onDestroy = [&] { order.push_back("moniker"); };
    {
        CameraDevice d(moniker, filter, 0);
        // The constructor takes references of its own.
        EXPECT_EQ(filter->refs(), 2u);
        EXPECT_EQ(moniker->refs(), 2u);
        filter->Release();
        moniker->Release();
        EXPECT_TRUE(order.empty());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"filter", "moniker"}));
}

TEST(CameraDeviceObject, DestructionSendsNothing) {
    FakeFilter* filter = FakeFilter::Create();
    { CameraDevice d(nullptr, filter, 0); }
    EXPECT_TRUE(filter->requests.empty());
    EXPECT_EQ(filter->refs(), 1u);
    filter->Release();
}

}  // namespace
}  // namespace quillon
