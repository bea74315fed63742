#include "platform/backend.h"

#include <cstdlib>
#include <mutex>

namespace platform {

namespace {

// The backend before one is chosen: no cameras at all, wall-clock time.
class EmptyBackend final : public Backend {
public:
    HRESULT CreateSystemDeviceEnum(ICreateDevEnum** out) override {
        if (out) *out = nullptr;
        return E_FAIL;
    }
    Clock& GetClock() override { return clock_; }

private:
    RealClock clock_;
};

struct State {
    std::mutex lock;
    std::shared_ptr<Backend> backend = std::make_shared<EmptyBackend>();
    bool chosen = false;
    std::string error;
};

State& TheState() {
    // Never destroyed: devices still listed at exit may hold on to the backend.
    static State* state = new State;
    return *state;
}

}  // namespace

HRESULT InitializePlatformWith(const BackendFactories& factories) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (s.chosen) return S_FALSE;
    const char* dir = std::getenv("QUILLON_SIMULATOR");
    std::shared_ptr<Backend> chosen;
    if (dir && *dir) {
        std::string error;
        chosen = factories.simulator(dir, error);
        if (!chosen) {
            s.error = error;
            return E_FAIL;
        }
    } else {
        chosen = factories.system();
    }
    s.backend = std::move(chosen);
    s.chosen = true;
    s.error.clear();
    return S_OK;
}

Backend& CurrentBackend() {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    return *s.backend;
}

std::shared_ptr<Backend> SetBackend(std::shared_ptr<Backend> backend) {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!backend) backend = std::make_shared<EmptyBackend>();
    s.chosen = true;
    return std::exchange(s.backend, std::move(backend));
}

std::string PlatformInitError() {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.error;
}

HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t, const IID& iid,
                         void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return E_FAIL;
    if (!(clsid == CLSID_SystemDeviceEnum) || !(iid == IID_ICreateDevEnum)) return E_NOINTERFACE;
    ICreateDevEnum* e = nullptr;
    HRESULT hr = CurrentBackend().CreateSystemDeviceEnum(&e);
    if (FAILED(hr)) return hr;
    *out = e;
    return S_OK;
}

}  // namespace platform
