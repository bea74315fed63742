#include "bench/sim_systems.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/devenum.h"

namespace quillon_bench {

namespace {

[[noreturn]] void Die(const std::string& why) {
    std::fprintf(stderr, "quillon_bench: %s\n", why.c_str());
    std::exit(2);
}

}  // namespace

const char* PathName(Path path) {
    return path == Path::kMemory ? "8-byte" : "64-byte";
}

sim::CameraConfig CameraOf(Path path, size_t index) {
    sim::CameraConfig c;
    c.name = "Bench Camera " + std::to_string(index);
    c.path = "usb#vid_1d6b&pid_0102&mi_00#bench&" + std::to_string(index);
    c.arch = 1;
    c.commandRegisters = true;
    c.registers[0x101F] = 0x00;  // the architecture-0 chip-ID register answers no known chip
    c.registers[0x80F0] = path == Path::kMemory ? 0x85 : 0x88;
    c.rom = sim::RomConfig{0xAFF8, path == Path::kMemory ? "QMCF0" : "QMCT0", 1, 0x46, 0, 8};
    c.flash.size = 0x40000;
    c.flash.ids[0x9F] = {0xC2, 0x20, 0x10};
    c.flash.eraseMs = kEraseMs;
    c.faults.hangMs = kHangMs;
    return c;
}

std::shared_ptr<sim::Simulator> MakeSystem(Path path, size_t count) {
    sim::Scenario scenario;
    scenario.clock = sim::ClockKind::kVirtual;
    for (size_t i = 0; i < count; ++i) scenario.cameras.push_back(CameraOf(path, i));
    std::string error;
    auto system = sim::Simulator::Create(scenario, "", error);
    if (!system) Die("the simulated system cannot be built: " + error);
    return system;
}

std::unique_ptr<quillon::CameraDevice> OpenCamera(size_t index) {
    using namespace platform;
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devEnum.PutVoid())))
        Die("no device enumerator");
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0) != S_OK)
        Die("no video-input devices");
    ComPtr<IMoniker> moniker;
    for (size_t i = 0; i <= index; ++i) {
        uint32_t fetched = 0;
        if (monikers->Next(1, moniker.Put(), &fetched) != S_OK) Die("too few cameras");
    }
    ComPtr<IBaseFilter> filter;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())))
        Die("the camera cannot be bound");
    const int32_t node = quillon::FindExtensionUnitNode(filter.Get());
    if (node < 0) Die("the camera has no extension unit");
    auto device = std::make_unique<quillon::CameraDevice>(moniker.Get(), filter.Get(), node);
    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    if (device->ReadChipId(&chipID, &asicArchType) == -1) Die("the chip is not known");
    device->InitChipProfile(asicArchType);
    return device;
}

}  // namespace quillon_bench
