// The process-wide registry of cameras: the devices found by the last
// enumeration, which one is selected, and how device calls are timed.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "camlib/camlib.h"

namespace quillon {

class CameraDevice;

class CameraManager {
public:
    // The one registry, constructed on first use. It is never destroyed, so the
    // devices still listed at process exit are not destroyed and no device is touched.
    static CameraManager& Instance();

    // Enumerates cameras and rebuilds `devices` and `selectedIndex`: 0 when at
    // least one camera qualifies, 1 otherwise.
    int32_t EnumerateDevices();

    uint32_t DeviceCount() const;
    CameraDevice* DeviceAt(uint32_t index) const;
    CameraDevice* SelectedDevice() const;
    int32_t SelectDevice(int32_t index);
    int32_t FindDeviceByVidPid(const char* vidPid, int32_t* index);
    int32_t CopyDeviceInfos(DeviceInfo* infos, int32_t* count, uint32_t maxCount) const;

    // Fields, in this order.
    std::vector<CameraDevice*> devices;
    std::mutex devicesLock;
    int32_t selectedIndex = -1;
    bool useWorkerThread = false;
    uint32_t timeoutMs = 1000;

    // Tests start each case from an empty registry; destroys the listed devices.
    void ResetForTesting();

private:
    CameraManager() = default;
};

}  // namespace quillon
