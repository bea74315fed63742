// The object model through which the host reaches simulated cameras: device
// enumerator, monikers, property bags, capture filters and node instances.
#pragma once

#include <memory>

#include "platform/devenum.h"
#include "sim/camera.h"

namespace sim {

// A system device enumerator over `roster`, with one reference for the caller.
platform::ICreateDevEnum* NewDeviceEnumerator(std::shared_ptr<const Roster> roster);

}  // namespace sim
