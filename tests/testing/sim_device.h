// Opening a camera of the installed backend the way the enumeration does
// (device enumerator, moniker, capture filter, extension-unit node), for tests
// that drive one CameraDevice directly; and reading a simulator trace back as
// the register and ROM accesses it records.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "camlib/camera_device.h"

namespace quillon::testing {

// The camera at `index` in the backend's video-input list; null when the list
// is shorter or the camera cannot be bound. A camera without an extension unit
// gives a device whose xuNodeId is -1.
std::unique_ptr<CameraDevice> OpenSimDevice(size_t index);

// The register and ROM requests of a trace, one entry each, in order:
//   "R 101F"       a register read request
//   "W 1185 71"    a register write
//   "ROM 9FF8"     a ROM read request
// Replies (GET lines) and every other control are left out; so is the status,
// so a request that failed still shows. Addresses and values in upper-case hex.
std::vector<std::string> RegisterTraffic(const std::vector<std::string>& trace);

}  // namespace quillon::testing
