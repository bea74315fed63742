#include "platform/linux/uvc_backend.h"

#include "platform/linux/uvc_objects.h"

namespace platform::uvc {

namespace {

class UvcBackend final : public Backend {
  public:
    explicit UvcBackend(std::shared_ptr<Context> context) : context_(std::move(context)) {}

    HRESULT CreateSystemDeviceEnum(ICreateDevEnum** out) override {
        if (!out) return E_POINTER;
        *out = NewDeviceEnumerator(context_);
        return S_OK;
    }

    Clock& GetClock() override { return clock_; }

    std::string Diagnostics() const override { return context_->notes.Text(); }

  private:
    std::shared_ptr<Context> context_;
    RealClock clock_;
};

}  // namespace

const UnitControl* UnitProfile::Find(uint32_t selector) const {
    for (const UnitControl& c : controls)
        if (c.selector == selector) return &c;
    return nullptr;
}

std::shared_ptr<Backend> MakeUvcBackend(std::shared_ptr<SystemCalls> sys, Paths paths,
                                        UnitProfile profile) {
    auto context = std::make_shared<Context>();
    context->sys = std::move(sys);
    context->paths = std::move(paths);
    context->profile = std::move(profile);
    return std::make_shared<UvcBackend>(std::move(context));
}

}  // namespace platform::uvc
