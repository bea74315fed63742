// The registry's list, selection and lookups.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"

namespace quillon {
namespace {

DeviceInfo InfoWith(const std::u16string& name, const std::u16string& path, uint8_t chip) {
    DeviceInfo d{};
    std::memcpy(d.friendName, name.data(), name.size() * 2);
    std::memcpy(d.devicePath, path.data(), path.size() * 2);
    d.chipID = chip;
    d.classSize = 0x20000;
    return d;
}

class Registry : public ::testing::Test {
protected:
    CameraManager& m = CameraManager::Instance();
    void SetUp() override { m.ResetForTesting(); }
    void TearDown() override { m.ResetForTesting(); }
    CameraDevice* Add(const std::u16string& path, uint8_t chip = 0x88) {
        auto* d = new CameraDevice(nullptr, nullptr, 0);
        d->SetDeviceInfo(InfoWith(u"Cam " + std::u16string(1, u'A' + m.devices.size()), path, chip));
        m.devices.push_back(d);
        return d;
    }
};

TEST_F(Registry, CopyDeviceInfos) {
    struct Case {
        int devices;
        uint32_t max;
        int32_t result;
        int32_t count;  // -7: untouched
    };
    for (Case c : {Case{12, 10, 0, 10}, Case{12, 0, 0, 0}, Case{0, 10, 1, -7}, Case{3, 10, 0, 3}}) {
        m.ResetForTesting();
        for (int i = 0; i < c.devices; ++i) Add(u"usb#vid_1234&pid_abcd#" + std::u16string(1, u'a' + i), i);
        DeviceInfo infos[12];
        std::memset(infos, 0xCC, sizeof infos);
        int32_t count = -7;
        EXPECT_EQ(m.CopyDeviceInfos(infos, &count, c.max), c.result) << c.devices << "/" << c.max;
        EXPECT_EQ(count, c.count);
        for (int i = 0; i < std::max(count, 0); ++i) EXPECT_EQ(infos[i].chipID, i);
        if (count >= 0 && count < 12) {
            EXPECT_EQ(infos[count].chipID, 0xCC);  // nothing beyond
        }
    }
}

TEST_F(Registry, CopyDeviceInfosSkipsEmptySlots) {
    Add(u"a");
    m.devices.push_back(nullptr);
    Add(u"c", 0x33);
    DeviceInfo infos[3] = {};
    int32_t count = 0;
    EXPECT_EQ(m.CopyDeviceInfos(infos, &count, 3), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(infos[1].chipID, 0x33);
}

TEST_F(Registry, SelectAndLookUp) {
    for (int i = 0; i < 3; ++i) Add(u"p");
    struct Case {
        int32_t index;
        int32_t result;
        int32_t selectedAfter;
    };
    m.selectedIndex = 1;
    for (Case c : {Case{-1, 1, 1}, Case{3, 1, 1}, Case{2, 0, 2}, Case{0, 0, 0}}) {
        EXPECT_EQ(m.SelectDevice(c.index), c.result) << c.index;
        EXPECT_EQ(m.selectedIndex, c.selectedAfter);
    }
    EXPECT_EQ(m.DeviceAt(3), nullptr);
    EXPECT_EQ(m.DeviceAt(static_cast<uint32_t>(-1)), nullptr);
    EXPECT_EQ(m.DeviceAt(2), m.devices[2]);
    EXPECT_EQ(m.SelectedDevice(), m.devices[0]);
    m.selectedIndex = 3;
    EXPECT_EQ(m.SelectedDevice(), nullptr);
    m.selectedIndex = -1;
    EXPECT_EQ(m.SelectedDevice(), nullptr);
    m.devices[1] = (delete m.devices[1], nullptr);
    m.selectedIndex = 1;
    EXPECT_EQ(m.SelectedDevice(), nullptr);
    EXPECT_EQ(m.SelectDevice(1), 0);  // an empty slot may be selected
}

TEST_F(Registry, FindByVidPidIsExactAndCaseSensitive) {
    Add(u"usb#vid_0000&pid_0001#x");
    Add(u"usb#vid_1234&pid_abcd&mi_00#6&1a2b");
    int32_t index = -1;
    EXPECT_EQ(m.FindDeviceByVidPid("1234ABCD", &index), 1);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(m.FindDeviceByVidPid("1234abc", &index), 1);
    EXPECT_EQ(m.FindDeviceByVidPid("1234abcd", &index), 0);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(m.FindDeviceByVidPid(nullptr, &index), 1);
    m.devices.insert(m.devices.begin(), nullptr);  // empty slots are never a match
    EXPECT_EQ(m.FindDeviceByVidPid("1234abcd", &index), 0);
    EXPECT_EQ(index, 2);
    m.ResetForTesting();
    EXPECT_EQ(m.FindDeviceByVidPid("1234abcd", &index), 1);
}

TEST_F(Registry, VidPidFromOddPathsNeverReadsPastTheText) {
    struct Case {
        std::u16string path;
        std::string expect;
    };
    const Case cases[] = {
        {u"usb#vid_1234&pid_abcd", "1234abcd"},
        {u"\\\\?\\usb#vid_1D6B&pid_0102&mi_00#6&1a2b3c4d&0&0000#{guid}", "1D6B0102"},
        {u"no tokens at all", ""},
        {u"vid_12", "12"},
        {u"usb#vid_1234&pid", "1234"},
        {u"pid_abcd vid", "abcd"},
        {u"", ""},
    };
    for (const auto& c : cases) {
        auto* d = Add(c.path);
        EXPECT_EQ(d->VidPidString(), c.expect);
        // A failed lookup leaves the lock free for the next caller.
        int32_t index;
        (void)m.FindDeviceByVidPid("nomatch!", &index);
        ASSERT_TRUE(m.devicesLock.try_lock());
        m.devicesLock.unlock();
    }
}

}  // namespace
}  // namespace quillon
