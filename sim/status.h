// Results the simulated cameras hand back to the host. Exchanges report 0 or a
// status; discovery probes and the object model report HRESULTs.
#pragma once

#include "platform/com.h"

namespace sim {

using platform::HRESULT;

inline constexpr HRESULT kStatusOk = 0;

// The device did not complete the transfer (a stalled request, a camera that is
// gone or hangs, an injected fault): the system's "device not functioning" code.
inline constexpr HRESULT kStatusDeviceFailure = 31;

// HRESULT form of the same failure, for probes and binds on a camera that is
// gone or does not answer.
inline constexpr HRESULT kStatusDeviceGone = static_cast<HRESULT>(0x8007001Fu);

// A property set the node does not support.
inline constexpr HRESULT kStatusSetNotFound = static_cast<HRESULT>(0x80070492u);

// A node or a selector the camera does not have.
inline constexpr HRESULT kStatusNotFound = static_cast<HRESULT>(0x80070490u);

// A direction (GET or SET) the control does not have.
inline constexpr HRESULT kStatusInvalidFunction = static_cast<HRESULT>(0x80070001u);

// A data buffer whose length is not the control's length.
inline constexpr HRESULT kStatusBadLength = static_cast<HRESULT>(0x80070018u);

// A property bag entry the device does not have.
inline constexpr HRESULT kStatusNoSuchProperty = static_cast<HRESULT>(0x80070002u);

}  // namespace sim
