// The simulated backend's entry point for the platform layer.
#include "platform/backend.h"
#include "sim/simulator.h"

namespace platform {

std::shared_ptr<Backend> MakeSimulatorBackend(const std::string& dir, std::string& error) {
    return sim::Simulator::Load(dir, error);
}

}  // namespace platform
