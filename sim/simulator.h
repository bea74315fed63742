// Simulated USB cameras as a platform backend: the system that the scenario in
// a directory describes, with hooks for tests to change it while it runs.
//
// Hot-plug API (camera indexes are positions in the scenario's `cameras`,
// followed by cameras added later):
//   Unplug(i)           the camera leaves the listing; every object bound to it
//                       fails each exchange with 31 and each probe.
//   Plug(i)             it is listed again under a new generation: objects bound
//                       before keep failing, objects bound after work. The chip
//                       restarts (registers back to their scenario values); the
//                       flash keeps its contents.
//   SetAnswering(i, b)  false: still listed, but every exchange hangs for the
//                       camera's hang_ms and fails with 31, every probe fails.
//   AddCamera(config)   appends a camera, listed from the next enumeration on.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "sim/camera.h"
#include "sim/scenario.h"

namespace sim {

class Simulator final : public platform::Backend {
  public:
    // Reads <dir>/cameras.json; QUILLON_SIMULATOR_TRACE, when set, names the
    // trace file instead of the scenario's `trace`. Null with the reason in `error`.
    static std::shared_ptr<Simulator> Load(const std::string& dir, std::string& error);
    // Builds the system of an already parsed scenario; relative file names of
    // cameras added later are resolved against `dir`.
    static std::shared_ptr<Simulator> Create(const Scenario& scenario, const std::string& dir,
                                             std::string& error);

    platform::HRESULT CreateSystemDeviceEnum(platform::ICreateDevEnum** out) override;
    platform::Clock& GetClock() override { return *context_->clock; }

    size_t CameraCount() const { return roster_->Size(); }
    // The camera at `index` (which must exist).
    SimCamera& Camera(size_t index) const;

    void Unplug(size_t index);
    void Plug(size_t index);
    void SetAnswering(size_t index, bool answering);
    // The new camera's index, or nothing with the reason in `error`.
    std::optional<size_t> AddCamera(const CameraConfig& config, std::string& error);

    // Keeps the trace lines in memory from now on (off unless asked: a long run
    // would otherwise grow without bound).
    void KeepTraceLines(bool keep) { context_->trace.KeepLines(keep); }
    std::vector<std::string> TraceLines() const { return context_->trace.Lines(); }
    void ClearTraceLines() { context_->trace.ClearLines(); }

  private:
    Simulator(std::shared_ptr<SimContext> context, std::string dir);

    std::shared_ptr<SimContext> context_;
    std::shared_ptr<Roster> roster_;
    const std::string dir_;
};

}  // namespace sim
