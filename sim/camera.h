// One simulated USB camera: its controller chip and flash, its place on the bus
// (plugged in or not, answering or not) and its injected faults. Host requests
// arrive here from the objects bound to it and are served one at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ks.h"
#include "sim/chip.h"
#include "sim/scenario.h"
#include "sim/spi_flash.h"
#include "sim/trace.h"

namespace sim {

// The property set of the camera's vendor extension unit.
inline constexpr platform::GUID kExtensionUnitSet{
    0x28F03370, 0x6311, 0x4A2E, {0xBA, 0x2C, 0x68, 0x90, 0xEB, 0x33, 0x40, 0x16}};

inline constexpr uint32_t kFlagsGet =
    platform::KSPROPERTY_TYPE_GET | platform::KSPROPERTY_TYPE_TOPOLOGY;
inline constexpr uint32_t kFlagsSet =
    platform::KSPROPERTY_TYPE_SET | platform::KSPROPERTY_TYPE_TOPOLOGY;
inline constexpr uint32_t kFlagsProbe =
    platform::KSPROPERTY_TYPE_SETSUPPORT | platform::KSPROPERTY_TYPE_TOPOLOGY;

// What all cameras of one simulated system share.
struct SimContext {
    std::unique_ptr<platform::Clock> clock;
    bool virtualClock = false;
    uint32_t latencyUs = 0;
    Trace trace;
};

class SimCamera {
  public:
    // Null with the reason in `error` when the flash cannot be set up.
    static std::shared_ptr<SimCamera> Create(size_t index, const CameraConfig& config,
                                             std::shared_ptr<SimContext> context,
                                             std::string& error);
    ~SimCamera();

    size_t Index() const { return index_; }
    const CameraConfig& Config() const { return config_; }

    // --- on the bus ---
    // Listed by the system and reachable.
    bool Present() const { return present_.load(); }
    // Changes every time the camera is plugged in again; objects bound under an
    // older generation belong to a device that is gone.
    uint32_t Generation() const { return generation_.load(); }
    void Unplug();
    // Plugging in again restarts the chip (registers back to their scenario
    // values); the flash keeps its contents. No effect while plugged in.
    void Plug();
    // A camera that does not answer stays listed, but every exchange hangs for
    // the camera's hang_ms and then fails with 31, and every probe fails.
    void SetAnswering(bool answering) { answering_ = answering; }

    // --- requests from bound objects ---
    // One GET or SET from the capture filter bound under `generation`. `data`
    // holds `length` bytes (may be null when `length` is 0).
    [[nodiscard]] platform::HRESULT Exchange(uint32_t generation, const platform::KSP_NODE& request,
                                             uint8_t* data, uint32_t length, uint32_t* returned);
    // A discovery probe through the instance of topology node `node`.
    [[nodiscard]] platform::HRESULT Probe(uint32_t generation, uint32_t node,
                                          const platform::KSP_NODE& request, uint32_t dataLength);

    // --- inspection for tests ---
    uint8_t Register(uint16_t address) const;
    // Stores a byte as the chip's own firmware would: no read-only mask, no function.
    void SetRegister(uint16_t address, uint8_t value);
    std::vector<uint8_t> FlashContents() const;
    SpiFlash& Flash() { return *flash_; }
    // Exchanges that reached the camera so far (the number of the last one).
    uint32_t ExchangeCount() const;

  private:
    SimCamera(size_t index, const CameraConfig& config, std::shared_ptr<SimContext> context);
    void AddLatency() const;
    platform::HRESULT FaultStatus(uint32_t number, uint32_t generation);
    platform::HRESULT Validate(const platform::KSP_NODE& request, uint32_t length) const;
    void Hang();

    const size_t index_;
    const CameraConfig config_;
    std::shared_ptr<SimContext> context_;  // the clock outlives the flash
    std::unique_ptr<SpiFlash> flash_;
    std::unique_ptr<Chip> chip_;

    mutable std::mutex mutex_;  // one request at a time, as on the device
    uint32_t exchanges_ = 0;
    std::atomic<bool> present_{true};
    std::atomic<uint32_t> generation_{1};
    std::atomic<bool> answering_{true};
};

// The cameras of one system in scenario order; cameras are added, never removed.
class Roster {
  public:
    void Add(std::shared_ptr<SimCamera> camera);
    size_t Size() const;
    std::shared_ptr<SimCamera> At(size_t index) const;
    // The cameras plugged in now, in order.
    std::vector<std::shared_ptr<SimCamera>> Listed() const;

  private:
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimCamera>> cameras_;
};

}  // namespace sim
