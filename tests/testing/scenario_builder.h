// Builds a simulated-camera scenario in code, writes it to a fresh temporary
// directory, loads it and installs it as the process's backend:
//
//   ScenarioBuilder b;                       // virtual clock unless asked otherwise
//   b.AddCamera().Register(0x101F, 0x88).Rom(0xAFF8, "QMCT0", 1, 0x46).Arch(1);
//   auto sim = b.Install();                  // the process now sees this camera
//   ... exercise the library ...
//   EXPECT_EQ(sim.Camera(0).Register(0x1234), 0x56);
//   EXPECT_THAT(sim.Trace(), ...);
//
// The installed scenario restores the previous backend and removes its
// directory when it goes out of scope. Cameras get a name and a device path
// by default ("Simulated Camera <i>", a USB-style path); NoName()/NoPath()
// remove them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "sim/simulator.h"

namespace quillon_test {

class CameraBuilder {
  public:
    // Defaults (name, path, flash file name for preset contents) follow `index`.
    explicit CameraBuilder(size_t index);

    CameraBuilder& Name(const std::string& name);
    CameraBuilder& NoName();
    CameraBuilder& Path(const std::string& path);
    CameraBuilder& NoPath();
    CameraBuilder& Bind(bool bind);
    CameraBuilder& Nodes(uint32_t count);
    CameraBuilder& XuNode(int node);
    CameraBuilder& DevSpecificNodes(const std::vector<uint32_t>& nodes);

    CameraBuilder& Register(uint16_t address, uint8_t value);
    CameraBuilder& ReadOnly(uint16_t address, uint8_t mask);
    CameraBuilder& Arch(int arch);
    CameraBuilder& CommandRegisters(bool on = true);
    CameraBuilder& Rom(uint16_t address, const std::string& code, uint8_t version,
                       uint8_t byte6 = 0, uint8_t byte7 = 0, uint8_t replyCount = 8);
    CameraBuilder& MemoryType(uint8_t type);

    CameraBuilder& FlashSize(uint32_t size);
    // Answer bytes of an identification command.
    CameraBuilder& FlashId(uint8_t command, const std::vector<uint8_t>& answer);
    CameraBuilder& FlashStatus(uint8_t status);
    CameraBuilder& FlashCommands(uint8_t program, uint8_t writeEnable);
    CameraBuilder& EraseMs(uint32_t ms);
    // Keeps the flash in this file of the scenario directory.
    CameraBuilder& FlashFile(const std::string& name);
    // Initial flash bytes at `address` (the rest erased); gives the camera a
    // flash file ("cam<i>.bin") unless one is named.
    CameraBuilder& FlashData(uint32_t address, const std::vector<uint8_t>& bytes);

    CameraBuilder& FailAt(uint32_t exchange);
    CameraBuilder& UnplugAt(uint32_t exchange);
    CameraBuilder& HangAt(uint32_t exchange);
    CameraBuilder& HangMs(uint32_t ms);
    CameraBuilder& LatencyUs(uint32_t us);

    // Any field as raw JSON (a dotted key reaches into "flash" or "faults").
    CameraBuilder& Field(const std::string& key, const nlohmann::json& value);

    const nlohmann::json& Json() const { return json_; }
    // Writes the preset flash file, if any, into `dir`.
    void WriteFlashFile(const std::filesystem::path& dir) const;

  private:
    nlohmann::json& Sub(const char* object);
    void AppendTo(const char* object, const char* key, uint32_t value);

    size_t index_;
    nlohmann::json json_ = nlohmann::json::object();
    std::map<uint32_t, std::vector<uint8_t>> flashData_;
};

class InstalledScenario {
  public:
    InstalledScenario(std::shared_ptr<sim::Simulator> sim, std::filesystem::path dir);
    InstalledScenario(InstalledScenario&& other) noexcept;
    InstalledScenario& operator=(InstalledScenario&&) = delete;
    ~InstalledScenario();

    sim::Simulator& Sim() const { return *sim_; }
    sim::Simulator* operator->() const { return sim_.get(); }
    sim::SimCamera& Camera(size_t index) const { return sim_->Camera(index); }
    // The trace lines since installation (or the last ClearTrace).
    std::vector<std::string> Trace() const { return sim_->TraceLines(); }
    void ClearTrace() { sim_->ClearTraceLines(); }
    const std::filesystem::path& Dir() const { return dir_; }
    // Milliseconds on the scenario's clock.
    uint64_t NowMs() const { return sim_->GetClock().NowMs(); }

    // Adds a camera to the running system; returns its index. Throws on a bad camera.
    size_t AddCamera(const CameraBuilder& camera);

  private:
    std::shared_ptr<sim::Simulator> sim_;
    std::shared_ptr<platform::Backend> previous_;
    std::filesystem::path dir_;
};

class ScenarioBuilder {
  public:
    ScenarioBuilder();

    ScenarioBuilder& RealClock();
    ScenarioBuilder& VirtualClock();
    ScenarioBuilder& LatencyUs(uint32_t us);
    // Also writes the trace to this file of the scenario directory.
    ScenarioBuilder& TraceFile(const std::string& name);

    CameraBuilder& AddCamera();
    CameraBuilder& Camera(size_t index) { return cameras_.at(index); }

    nlohmann::json Json() const;
    // Writes cameras.json and preset flash files into `dir`.
    void WriteTo(const std::filesystem::path& dir) const;
    // Writes, loads and installs the scenario. Throws std::runtime_error with
    // the loader's message when it does not load.
    InstalledScenario Install() const;

  private:
    nlohmann::json top_ = nlohmann::json::object();
    std::vector<CameraBuilder> cameras_;
};

// A fresh empty directory under the system's temporary directory.
std::filesystem::path MakeTempDir();

}  // namespace quillon_test
