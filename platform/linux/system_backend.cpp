// The system's cameras: the uvcvideo driver's capture nodes under /dev and
// their USB identity under /sys, with the library's extension unit.
#include "platform/backend.h"
#include "platform/linux/uvc_backend.h"
#include "transport/xu_controls.h"

namespace platform {

namespace uvc {

UnitProfile CameraUnitProfile() {
    using namespace quillon;
    UnitProfile p;
    p.set = XU_PROPSET;
    p.controls = {
        {XU_CTRL_REGISTER, kRegisterDataLength, true, true},
        {XU_CTRL_MEMORY, kMemoryDataLength, true, true},
        {XU_CTRL_ROM, kRomDataLength, true, true},
        // Read only, and not every camera has it.
        {XU_CTRL_MEMORY_TYPE, kMemoryTypeDataLength, false, false},
        {XU_CTRL_BLOCK, kBlockDataLength, true, true},
    };
    return p;
}

}  // namespace uvc

std::shared_ptr<Backend> MakeSystemBackend() {
    return uvc::MakeUvcBackend(uvc::RealSystemCalls(), uvc::Paths{}, uvc::CameraUnitProfile());
}

}  // namespace platform
