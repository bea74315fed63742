// Placeholder until the scenario loader is in: no simulated cameras.
#include "platform/backend.h"

namespace platform {
std::shared_ptr<Backend> MakeSimulatorBackend(const std::string& dir, std::string& error) {
    error = "simulated cameras are not built in (" + dir + ")";
    return nullptr;
}
}  // namespace platform
