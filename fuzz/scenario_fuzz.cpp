// The scenario loader's parser: any text, as a whole scenario and as one
// camera. It returns a scenario or an error naming where the fault is; it
// never throws, and what it accepts keeps to the documented ranges.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "sim/scenario.h"

namespace {

void CheckCamera(const sim::CameraConfig& c) {
    if (c.xuNode < -1) std::abort();
    if (c.xuNode >= 0 && static_cast<uint32_t>(c.xuNode) >= c.nodes) std::abort();
    if (c.nodes > 65536) std::abort();
    for (uint32_t node : c.devSpecificNodes)
        if (node >= c.nodes || static_cast<int64_t>(node) == c.xuNode) std::abort();
    if (c.arch != 0 && c.arch != 1) std::abort();
    if (c.rom && c.rom->code.size() > 5) std::abort();
    if (c.flash.size == 0 || c.flash.size > 256u * 1024 * 1024) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto scenario = sim::ParseScenario(text);
    if (const auto* s = std::get_if<sim::Scenario>(&scenario)) {
        for (const sim::CameraConfig& c : s->cameras) CheckCamera(c);
    } else if (std::get<sim::ParseError>(scenario).message.empty()) {
        std::abort();
    }
    const auto camera = sim::ParseCamera(text, "cameras[0]");
    if (const auto* c = std::get_if<sim::CameraConfig>(&camera)) {
        CheckCamera(*c);
    } else {
        // The message names the camera first, or the file for a syntax error.
        const std::string& message = std::get<sim::ParseError>(camera).message;
        if (message.rfind("cameras[0]", 0) != 0 && message.rfind("cameras.json: ", 0) != 0)
            std::abort();
    }
    return 0;
}
