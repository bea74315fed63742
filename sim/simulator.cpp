#include "sim/simulator.h"

#include <cstdlib>
#include <stdexcept>

#include "sim/com_objects.h"

namespace sim {

namespace {

std::shared_ptr<SimContext> NewContext(const Scenario& scenario) {
    auto context = std::make_shared<SimContext>();
    context->virtualClock = scenario.clock == ClockKind::kVirtual;
    if (context->virtualClock) {
        context->clock = std::make_unique<platform::VirtualClock>();
    } else {
        context->clock = std::make_unique<platform::RealClock>();
    }
    context->latencyUs = scenario.latencyUs;
    return context;
}

}  // namespace

Simulator::Simulator(std::shared_ptr<SimContext> context, std::string dir)
    : context_(std::move(context)), roster_(std::make_shared<Roster>()), dir_(std::move(dir)) {}

std::shared_ptr<Simulator> Simulator::Load(const std::string& dir, std::string& error) {
    std::optional<Scenario> scenario = LoadScenario(dir, error);
    if (!scenario) return nullptr;
    const char* trace = std::getenv("QUILLON_SIMULATOR_TRACE");
    if (trace && *trace) scenario->trace = trace;
    return Create(*scenario, dir, error);
}

std::shared_ptr<Simulator> Simulator::Create(const Scenario& scenario, const std::string& dir,
                                             std::string& error) {
    std::shared_ptr<Simulator> sim(new Simulator(NewContext(scenario), dir));
    if (scenario.trace && !sim->context_->trace.Open(*scenario.trace, error)) return nullptr;
    for (size_t i = 0; i < scenario.cameras.size(); ++i) {
        auto camera = SimCamera::Create(i, scenario.cameras[i], sim->context_, error);
        if (!camera) return nullptr;
        sim->roster_->Add(std::move(camera));
    }
    return sim;
}

platform::HRESULT Simulator::CreateSystemDeviceEnum(platform::ICreateDevEnum** out) {
    if (!out) return platform::E_POINTER;
    *out = NewDeviceEnumerator(roster_);
    return platform::S_OK;
}

SimCamera& Simulator::Camera(size_t index) const {
    auto camera = roster_->At(index);
    if (!camera) throw std::out_of_range("no simulated camera " + std::to_string(index));
    return *camera;
}

void Simulator::Unplug(size_t index) {
    Camera(index).Unplug();
}
void Simulator::Plug(size_t index) {
    Camera(index).Plug();
}
void Simulator::SetAnswering(size_t index, bool answering) {
    Camera(index).SetAnswering(answering);
}

std::optional<size_t> Simulator::AddCamera(const CameraConfig& config, std::string& error) {
    CameraConfig resolved = config;
    resolved.flash.file = ResolvePath(dir_, config.flash.file);
    const size_t index = roster_->Size();
    auto camera = SimCamera::Create(index, resolved, context_, error);
    if (!camera) return std::nullopt;
    roster_->Add(std::move(camera));
    return index;
}

}  // namespace sim
