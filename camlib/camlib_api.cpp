// The library's flat interface: initialise once, list and identify cameras,
// select one, and upgrade the selected camera. 0 is success, 1 failure; why a
// call failed is told by CamGetLastError.
#include <cstring>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "camlib/camlib.h"
#include "camlib/library_state.h"
#include "platform/backend.h"

using quillon::CameraDevice;
using quillon::CameraManager;

namespace {
int32_t g_initialized = 0;
int32_t g_lastError = 0;

CameraDevice* Selected() { return CameraManager::Instance().SelectedDevice(); }
CameraDevice* AtIndex(int32_t index) {
    return CameraManager::Instance().DeviceAt(static_cast<uint32_t>(index));
}
}  // namespace

namespace quillon {
void ResetLibraryForTesting() {
    g_initialized = 0;
    g_lastError = 0;
    CameraManager::Instance().ResetForTesting();
}
}  // namespace quillon

extern "C" {

CAMLIB_API int32_t CamInitialize(const char* vidPid) {
    if (g_initialized == 1) return 0;
    // The platform layer (and with it the choice of simulated or real cameras)
    // stands where the component runtime's initialisation stood.
    const platform::HRESULT hr = platform::InitializePlatform();
    if (hr != platform::S_OK && hr != platform::S_FALSE) {
        g_lastError = ERR_COM_INIT;
        return 1;
    }
    CameraManager& m = CameraManager::Instance();
    if (m.EnumerateDevices() != 0) {
        g_lastError = ERR_ENUM_FAILED;
        return 1;
    }
    if (vidPid != nullptr) {
        int32_t index = -1;
        if (m.FindDeviceByVidPid(vidPid, &index) != 0) return 1;
        if (m.SelectDevice(index) != 0) return 1;
    } else if (m.SelectDevice(0) != 0) {
        return 1;
    }
    g_initialized = 1;
    return 0;
}

CAMLIB_API int32_t CamEnumDevices(DeviceInfo* infos, int32_t* number, int32_t maxCount) {
    if (!g_initialized) return 1;
    CameraManager& m = CameraManager::Instance();
    if (m.EnumerateDevices() != 0) return 1;
    int32_t count = 0;
    const int32_t r = m.CopyDeviceInfos(infos, &count, static_cast<uint32_t>(maxCount));
    if (number) *number = count;
    return (r != 0 || count == 0) ? 1 : 0;
}

CAMLIB_API int32_t CamGetChipId(int32_t index, int32_t* chipClass, uint8_t* id) {
    if (!g_initialized) return 1;
    CameraDevice* d = AtIndex(index);
    if (!d) return 1;
    uint8_t chipID = 0;  // an unknown chip hands back 0, which matches no package key
    int32_t asicArchType = 0;
    *chipClass = d->ReadChipId(&chipID, &asicArchType);
    *id = chipID;
    return 0;
}

CAMLIB_API int32_t CamGetFirmwareId(int32_t index, uint8_t* buffer, int32_t /*size*/) {
    if (!g_initialized) return 1;
    CameraDevice* d = AtIndex(index);
    if (!d) return 1;
    uint32_t dwParaTableStartAddr = 0, end = 0, crc = 0;
    if (d->GetFlashLayout(&dwParaTableStartAddr, &end, &crc) != 0) return 1;
    uint8_t pbyStringBuf[4] = {};
    if (d->ReadMemoryRange(static_cast<int32_t>(dwParaTableStartAddr + 6), pbyStringBuf) != 0)
        return 1;
    std::memcpy(buffer, pbyStringBuf, 4);
    return 0;
}

CAMLIB_API int32_t CamSelectDevice(int32_t index) {
    if (!g_initialized) return 1;
    return CameraManager::Instance().SelectDevice(index);
}

CAMLIB_API int32_t CamGetLastError(int32_t* error) {
    if (!g_initialized) {
        *error = g_lastError;
        return 0;
    }
    CameraDevice* d = Selected();
    if (!d) return 1;
    *error = d->lastError;
    return 0;
}

CAMLIB_API int32_t CamGetFirmwareVersion(char* buffer, int32_t size, uint8_t rawForm) {
    if (!g_initialized) return 1;
    CameraDevice* d = Selected();
    if (!d) return 1;
    if (size < 56) return 1;  // the text is 56 bytes; it cannot fit
    return d->ReadFirmwareVersion(buffer, size, rawForm);
}

CAMLIB_API int32_t CamGetFlashType(int32_t* type, uint8_t allowFallback) {
    if (!g_initialized) return 1;
    CameraDevice* d = Selected();
    if (!d) return 1;
    return d->GetFlashType(type, allowFallback);
}

CAMLIB_API int32_t CamBurnFirmware(const uint8_t* image, int32_t length, ProgressCallback callback,
                                   void* context, int32_t flashType, uint8_t fullVerify) {
    if (!g_initialized) return 1;
    CameraDevice* d = Selected();
    if (!d) return 1;
    return d->BurnFirmware(image, length, callback, context, flashType, fullVerify);
}

CAMLIB_API int32_t CamFinishUpgrade(void) {
    if (!g_initialized) return 1;
    CameraDevice* d = Selected();
    if (!d) return 1;
    return d->FinishUpgrade();
}

}  // extern "C"
