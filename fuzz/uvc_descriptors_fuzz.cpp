// The USB descriptor walk: any bytes, any configuration value. The first byte
// picks the configuration, the rest are the descriptors. The walk reads only
// inside them, and what it reports can be looked up again.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/linux/uvc_descriptors.h"

namespace {

using namespace platform::uvc;

void CheckUnit(const VideoFunction& function, const ExtensionUnit& unit, size_t inputSize) {
    if (unit.controls.size() > inputSize) std::abort();
    // Selectors count from 1, one bit each.
    const uint32_t past = static_cast<uint32_t>(unit.controls.size() * 8 + 1);
    if (unit.Declares(0) || unit.Declares(past)) std::abort();
    for (uint32_t selector = 1; selector < past; ++selector) (void)unit.Declares(selector);
    const auto found = FindUnit(function, unit.guid);
    if (!found || found->guid != unit.guid) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::span<const uint8_t> descriptors(data + 1, size - 1);
    const ParsedDescriptors parsed = ParseVideoFunctions(descriptors, data[0]);
    for (const VideoFunction& function : parsed.functions) {
        if (function.streamingInterfaces.size() > descriptors.size()) std::abort();
        if (!FunctionOfInterface(parsed, function.controlInterface)) std::abort();
        for (uint8_t streaming : function.streamingInterfaces)
            if (!FunctionOfInterface(parsed, streaming)) std::abort();
        for (const ExtensionUnit& unit : function.units)
            CheckUnit(function, unit, descriptors.size());
    }
    return 0;
}
