// Reading a USB device's raw descriptors (the sysfs `descriptors` file: the
// device descriptor, then every configuration with all its descriptors) for
// the video functions and their extension units. No I/O: the bytes come in,
// the facts come out, so the walk can be tested and fuzzed on its own.
//
// Every read is bounded by the buffer and by each length field on the way; a
// descriptor whose lengths do not add up ends the walk (what was found before
// it stays) and marks the result as malformed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/com.h"

namespace platform::uvc {

// A GUID as USB descriptors store it: the first three fields little-endian,
// then the eight bytes in order.
using UsbGuid = std::array<uint8_t, 16>;
[[nodiscard]] UsbGuid ToUsbGuid(const GUID& guid);

struct ExtensionUnit {
    uint8_t unitId = 0;
    UsbGuid guid{};
    std::vector<uint8_t> controls;  // bmControls: selector n is bit n-1

    // Whether the unit declares control `selector` (1 and up).
    [[nodiscard]] bool Declares(uint32_t selector) const;
};

// One video function as its VideoControl interface describes it.
struct VideoFunction {
    uint8_t controlInterface = 0;
    std::vector<uint8_t> streamingInterfaces;  // from the class-specific header
    std::vector<ExtensionUnit> units;          // in descriptor order
};

struct ParsedDescriptors {
    std::vector<VideoFunction> functions;  // in descriptor order
    bool malformed = false;
};

// The video functions of the configuration whose bConfigurationValue is `configValue`.
[[nodiscard]] ParsedDescriptors ParseVideoFunctions(std::span<const uint8_t> descriptors,
                                                    uint8_t configValue);

// The function that `interfaceNumber` belongs to: the one whose VideoControl
// interface it is, else the one that lists it as a streaming interface. Null when none.
[[nodiscard]] const VideoFunction* FunctionOfInterface(const ParsedDescriptors& parsed,
                                                       uint8_t interfaceNumber);

// The first unit of `function` whose GUID is `guid`.
[[nodiscard]] std::optional<ExtensionUnit> FindUnit(const VideoFunction& function,
                                                    const UsbGuid& guid);

}  // namespace platform::uvc
