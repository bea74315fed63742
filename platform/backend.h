// The process-wide choice of where cameras come from: simulated cameras when
// QUILLON_SIMULATOR names a scenario directory, the system's real cameras otherwise.
#pragma once

#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/devenum.h"

namespace platform {

class Backend {
public:
    virtual ~Backend() = default;
    // The system device enumerator: lists the video-input devices in the system's order.
    virtual HRESULT CreateSystemDeviceEnum(ICreateDevEnum** out) = 0;
    virtual Clock& GetClock() = 0;
    // Why the backend could not start or left cameras out, for the front ends; empty when all is well.
    virtual std::string Diagnostics() const { return {}; }
};

// Chooses the process's backend once, from the environment (the library's
// initialisation calls it). Fails when the scenario named by QUILLON_SIMULATOR
// cannot be loaded. Calling it again keeps the backend already chosen.
HRESULT InitializePlatform();

// The chosen backend; never null (a backend with no cameras until one is chosen).
Backend& CurrentBackend();

// Replaces the process's backend (tests, benchmarks). Returns the previous one.
std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend);

// The last error text of InitializePlatform, for the front ends.
std::string PlatformInitError();

struct BackendFactories {
    std::shared_ptr<Backend> (*simulator)(const std::string& dir, std::string& error);
    std::shared_ptr<Backend> (*system)();
};
// InitializePlatform with the factories given (it passes the two below).
HRESULT InitializePlatformWith(const BackendFactories& factories);

// Factory for the simulated backend, provided by sim/; null when `dir` cannot be
// loaded, with the reason in `error`.
std::shared_ptr<Backend> MakeSimulatorBackend(const std::string& dir, std::string& error);
// Factory for the real backend; provided by platform/linux when built, else a backend with no cameras.
std::shared_ptr<Backend> MakeSystemBackend();

}  // namespace platform
