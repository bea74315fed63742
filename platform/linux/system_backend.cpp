// The system's cameras. Until the V4L2 backend is in, the system lists none.
#include "platform/backend.h"

namespace platform {

namespace {
class NoCamerasBackend final : public Backend {
public:
    HRESULT CreateSystemDeviceEnum(ICreateDevEnum** out) override {
        if (out) *out = nullptr;
        return E_FAIL;
    }
    Clock& GetClock() override { return clock_; }

private:
    RealClock clock_;
};
}  // namespace

std::shared_ptr<Backend> MakeSystemBackend() { return std::make_shared<NoCamerasBackend>(); }

}  // namespace platform
