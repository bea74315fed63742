// The real cameras: USB video-class cameras driven by the kernel's uvcvideo
// driver, reached through V4L2 capture nodes.
//
// Topology as the library sees it: a capture filter per camera with at most
// one topology node, node 0, of the device-specific type; it is there when the
// camera's VideoControl interface carries an extension unit whose GUID is the
// profile's property set. Property requests to that node become extension-unit
// queries (UVCIOC_CTRL_QUERY) on that unit.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/linux/system_calls.h"
#include "platform/linux/video_nodes.h"

namespace platform::uvc {

// One control of the unit the library talks to: its selector, its fixed data
// length, whether it may be set, and whether a unit must declare it to count.
struct UnitControl {
    uint32_t selector = 0;
    uint16_t length = 0;
    bool settable = true;
    bool required = true;
};

// The extension unit the library talks to: its property set (the unit's GUID)
// and its controls.
struct UnitProfile {
    GUID set{};
    std::vector<UnitControl> controls;

    [[nodiscard]] const UnitControl* Find(uint32_t selector) const;
};

// The only topology node of a camera that has the unit.
inline constexpr uint32_t kUnitNode = 0;

// Status of a request for a control the camera does not have: the same as the
// driver's answer for a unit or selector it does not know (ENOENT).
inline constexpr HRESULT kNoSuchControl = StatusFromErrno(ENOENT);

// A backend over the given system calls and paths, talking to the unit of `profile`.
std::shared_ptr<Backend> MakeUvcBackend(std::shared_ptr<SystemCalls> sys, Paths paths,
                                        UnitProfile profile);

// The camera library's unit: its property set and controls.
UnitProfile CameraUnitProfile();

}  // namespace platform::uvc
