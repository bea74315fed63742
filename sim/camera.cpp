#include "sim/camera.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "sim/status.h"

namespace sim {

using platform::HRESULT;
using platform::KSP_NODE;

namespace {

bool Contains(const std::vector<uint32_t>& numbers, uint32_t n) {
    return std::find(numbers.begin(), numbers.end(), n) != numbers.end();
}

// The data length of each control and whether it takes GET and SET.
struct ControlShape {
    uint32_t length;
    bool get;
    bool set;
};

std::optional<ControlShape> Shape(uint32_t selector) {
    switch (selector) {
        case kSelectorRegister:
            return ControlShape{kLengthRegister, true, true};
        case kSelectorMemory:
            return ControlShape{kLengthMemory, true, true};
        case kSelectorRom:
            return ControlShape{kLengthRom, true, true};
        case kSelectorMemoryType:
            return ControlShape{kLengthMemoryType, true, false};
        case kSelectorBlock:
            return ControlShape{kLengthBlock, true, true};
        default:
            return std::nullopt;
    }
}

}  // namespace

std::shared_ptr<SimCamera> SimCamera::Create(size_t index, const CameraConfig& config,
                                             std::shared_ptr<SimContext> context,
                                             std::string& error) {
    std::shared_ptr<SimCamera> camera(new SimCamera(index, config, std::move(context)));
    std::string flashError;
    camera->flash_ = SpiFlash::Create(camera->config_.flash, *camera->context_->clock, flashError);
    if (!camera->flash_) {
        error = "cameras[" + std::to_string(index) + "].flash: " + flashError;
        return nullptr;
    }
    camera->chip_ = std::make_unique<Chip>(camera->config_, *camera->flash_);
    return camera;
}

SimCamera::SimCamera(size_t index, const CameraConfig& config, std::shared_ptr<SimContext> context)
    : index_(index), config_(config), context_(std::move(context)) {}

// The chip goes before the flash it may still hold selected.
SimCamera::~SimCamera() {
    chip_.reset();
}

void SimCamera::Unplug() {
    present_ = false;
}

void SimCamera::Plug() {
    std::lock_guard lock(mutex_);
    if (present_) return;
    chip_->Reset();
    ++generation_;
    present_ = true;
}

void SimCamera::AddLatency() const {
    if (context_->virtualClock) return;
    const uint32_t us = config_.latencyUs.value_or(context_->latencyUs);
    if (us) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

void SimCamera::Hang() {
    context_->clock->Sleep(config_.faults.hangMs);
}

// The injected and bus-level failures, checked before the chip sees the request.
HRESULT SimCamera::FaultStatus(uint32_t number, uint32_t generation) {
    if (!present_ || generation != generation_) return kStatusDeviceFailure;
    if (!answering_) {
        Hang();
        return kStatusDeviceFailure;
    }
    if (number == config_.faults.unplugAt) {
        present_ = false;
        return kStatusDeviceFailure;
    }
    if (Contains(config_.faults.failAt, number)) return kStatusDeviceFailure;
    if (Contains(config_.faults.hangAt, number)) {
        Hang();
        return kStatusDeviceFailure;
    }
    return kStatusOk;
}

HRESULT SimCamera::Validate(const KSP_NODE& request, uint32_t length) const {
    if (!(request.Property.Set == kExtensionUnitSet)) return kStatusSetNotFound;
    if (config_.xuNode < 0 || request.NodeId != static_cast<uint32_t>(config_.xuNode))
        return kStatusNotFound;
    const auto shape = Shape(request.Property.Id);
    if (!shape) return kStatusNotFound;
    const bool isSet = request.Property.Flags == kFlagsSet;
    if (isSet ? !shape->set : !shape->get) return kStatusInvalidFunction;
    if (length != shape->length) return kStatusBadLength;
    return kStatusOk;
}

HRESULT SimCamera::Exchange(uint32_t generation, const KSP_NODE& request, uint8_t* data,
                            uint32_t length, uint32_t* returned) {
    const bool isSet = request.Property.Flags == kFlagsSet;
    const uint32_t selector = request.Property.Id;
    AddLatency();
    std::lock_guard lock(mutex_);
    HRESULT status = FaultStatus(++exchanges_, generation);
    if (status == kStatusOk) status = Validate(request, length);
    std::array<uint8_t, kMaxControlLength> reply{};
    if (status == kStatusOk) {
        status = isSet ? chip_->Set(selector, std::span<const uint8_t>(data, length))
                       : chip_->Get(selector, std::span<uint8_t>(reply.data(), length));
    }
    const bool ok = status == kStatusOk;
    if (ok && !isSet) std::copy_n(reply.begin(), length, data);
    if (returned) *returned = ok && !isSet ? length : 0;
    const uint8_t* shown = ok && !isSet ? reply.data() : data;
    context_->trace.Exchange(index_, isSet, selector, std::span<const uint8_t>(shown, length),
                             !isSet && !ok, status);
    return status;
}

HRESULT SimCamera::Probe(uint32_t generation, uint32_t node, const KSP_NODE& request,
                         uint32_t dataLength) {
    std::lock_guard lock(mutex_);
    HRESULT status = kStatusOk;
    if (!present_ || generation != generation_ || !answering_) {
        status = kStatusDeviceGone;
    } else if (request.Property.Flags != kFlagsProbe || dataLength != 0) {
        status = platform::E_INVALIDARG;
    } else if (request.NodeId != node) {
        status = kStatusNotFound;
    } else if (!(request.Property.Set == kExtensionUnitSet) || config_.xuNode < 0 ||
               node != static_cast<uint32_t>(config_.xuNode)) {
        status = kStatusSetNotFound;
    }
    context_->trace.Probe(index_, node, status);
    return status;
}

uint8_t SimCamera::Register(uint16_t address) const {
    std::lock_guard lock(mutex_);
    return chip_->Register(address);
}

void SimCamera::SetRegister(uint16_t address, uint8_t value) {
    std::lock_guard lock(mutex_);
    chip_->StoreRegister(address, value);
}

std::vector<uint8_t> SimCamera::FlashContents() const {
    std::lock_guard lock(mutex_);
    auto contents = flash_->Contents();
    return {contents.begin(), contents.end()};
}

uint32_t SimCamera::ExchangeCount() const {
    std::lock_guard lock(mutex_);
    return exchanges_;
}

void Roster::Add(std::shared_ptr<SimCamera> camera) {
    std::lock_guard lock(mutex_);
    cameras_.push_back(std::move(camera));
}

size_t Roster::Size() const {
    std::lock_guard lock(mutex_);
    return cameras_.size();
}

std::shared_ptr<SimCamera> Roster::At(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < cameras_.size() ? cameras_[index] : nullptr;
}

std::vector<std::shared_ptr<SimCamera>> Roster::Listed() const {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<SimCamera>> listed;
    for (const auto& camera : cameras_)
        if (camera->Present()) listed.push_back(camera);
    return listed;
}

}  // namespace sim
