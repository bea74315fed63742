#include "camlib/camera_device.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"
#include "preview/camera_show.h"

namespace quillon {

namespace {

// The text of a fixed-size field: up to its first zero, or the whole field.
std::u16string FieldText(const CamChar16 (&field)[1024]) {
    const CamChar16* end = std::find(field, field + 1024, CamChar16{0});
    return std::u16string(field, end);
}

}  // namespace

CameraDevice::CameraDevice(platform::IMoniker* mon, platform::IBaseFilter* filter, int32_t nodeId)
    : baseFilter(filter), moniker(mon), xuNodeId(nodeId) {}

CameraDevice::~CameraDevice() {
    // A preview graph that used the filter must go while the filter is still held.
    GetCameraShow()->Stop();
    ReleaseCameraShow();
    baseFilter.Reset();
    friendName.clear();
    friendName.shrink_to_fit();
    devicePath.clear();
    devicePath.shrink_to_fit();
    moniker.Reset();
}

void CameraDevice::SetDeviceInfo(const DeviceInfo& record) {
    info = record;
    friendName = FieldText(record.friendName);
    devicePath = FieldText(record.devicePath);
}

void CameraDevice::GetDeviceInfo(DeviceInfo& out) const { out = info; }

std::string CameraDevice::VidPidString() const {
    // Four code units after "vid" and its separator, then four after "pid". A path
    // without the tokens, or too short after them, gives what it has: never more.
    auto part = [this](std::u16string_view token) -> std::u16string {
        const size_t at = devicePath.find(token);
        if (at == std::u16string::npos) return {};
        const size_t from = at + 4;
        if (from >= devicePath.size()) return {};
        return devicePath.substr(from, 4);
    };
    return platform::NarrowFromWide(part(u"vid") + part(u"pid"));
}

CameraShow* CameraDevice::GetCameraShow() {
    if (!cameraShow) cameraShow = std::make_unique<CameraShow>();
    return cameraShow.get();
}

void CameraDevice::ReleaseCameraShow() { cameraShow.reset(); }

}  // namespace quillon
