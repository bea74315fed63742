#include "camlib/camera_manager.h"

#include <algorithm>
#include <string>

#include "camlib/camera_device.h"

namespace quillon {

CameraManager& CameraManager::Instance() {
    // Deliberately leaked: at exit the listed devices must not be destroyed (a
    // destroyed device would release interfaces of a camera that may be gone).
    static CameraManager* manager = new CameraManager;
    return *manager;
}

uint32_t CameraManager::DeviceCount() const { return static_cast<uint32_t>(devices.size()); }

CameraDevice* CameraManager::DeviceAt(uint32_t index) const {
    if (index >= devices.size()) return nullptr;
    return devices[index];
}

CameraDevice* CameraManager::SelectedDevice() const {
    if (selectedIndex < 0 || static_cast<uint32_t>(selectedIndex) >= devices.size()) return nullptr;
    return devices[selectedIndex];
}

int32_t CameraManager::SelectDevice(int32_t index) {
    std::lock_guard<std::mutex> guard(devicesLock);
    if (index < 0 || static_cast<uint32_t>(index) >= devices.size()) return 1;
    selectedIndex = index;
    return 0;
}

int32_t CameraManager::FindDeviceByVidPid(const char* vidPid, int32_t* index) {
    std::lock_guard<std::mutex> guard(devicesLock);
    if (devices.empty() || vidPid == nullptr) return 1;
    for (size_t i = 0; i < devices.size(); ++i) {
        // An empty slot is no device: it cannot match.
        if (devices[i] == nullptr) continue;
        if (devices[i]->VidPidString() == vidPid) {
            if (index) *index = static_cast<int32_t>(i);
            return 0;
        }
    }
    return 1;
}

int32_t CameraManager::CopyDeviceInfos(DeviceInfo* infos, int32_t* count, uint32_t maxCount) const {
    if (devices.empty()) return 1;
    // Empty slots (left by an enumeration that kept nothing) describe no camera
    // and are skipped; the count tells how many records were written.
    uint32_t n = 0;
    for (size_t i = 0; i < devices.size() && n < maxCount; ++i) {
        if (devices[i] == nullptr) continue;
        devices[i]->GetDeviceInfo(infos[n++]);
    }
    *count = static_cast<int32_t>(n);
    return 0;
}

void CameraManager::ResetForTesting() {
    std::lock_guard<std::mutex> guard(devicesLock);
    for (CameraDevice* d : devices) delete d;
    devices.clear();
    selectedIndex = -1;
    useWorkerThread = false;
    timeoutMs = 1000;
}

}  // namespace quillon
