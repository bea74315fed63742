// The firmware version text, built from what a simulated camera's flash holds.
// The text building is not reachable on its own, so each input makes a small
// simulated camera: its chip ID registers, its ROM identification and its
// flash contents come from the input, and the library reads the version text
// from it through its extension unit.
//
// Input: [0] register 0x101F, [1] register 0x80F0, [2] ROM address (index into
// the six ROM-code addresses; 6 and up: no ROM), [3..7] ROM code, [8] ROM
// version, [9] ROM byte 6, [10] flags (bit 0 raw form, bit 1 a buffer one byte
// short), then the flash contents, repeated over the whole flash.
//
// What holds for any input: a call that fails writes nothing; a text fills
// exactly 56 bytes. The raw text is the code version (5 bytes) then the three
// 10-byte fields exactly as the camera returned them (in some order), then
// zeros; the formatted text begins with the code version's first four
// characters and '-', and fits in 42 bytes.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "platform/backend.h"
#include "platform/devenum.h"
#include "sim/simulator.h"

namespace {

constexpr size_t kHeader = 11;
constexpr size_t kText = 56;
// Small, so that each input is quick to set up; flash addresses wrap at the size,
// so every version field still reads bytes of the input.
constexpr uint32_t kFlashSize = 0x1000;
constexpr uint16_t kRomAddresses[] = {0x9FF8, 0xD2B2, 0xDFF8, 0xBFF8, 0xC7F8, 0xAFF8};
constexpr uint8_t kUntouched = 0xA5;

sim::CameraConfig CameraFrom(const uint8_t* in) {
    sim::CameraConfig c;
    c.name = "Fuzz Camera";
    c.path = "usb#vid_1d6b&pid_0102&mi_00#fuzz";
    c.registers[0x101F] = in[0];
    c.registers[0x80F0] = in[1];
    if (in[2] < std::size(kRomAddresses)) {
        sim::RomConfig rom;
        rom.address = kRomAddresses[in[2]];
        rom.code.assign(reinterpret_cast<const char*>(in + 3), 5);
        rom.version = in[8];
        rom.byte6 = in[9];
        c.rom = rom;
    }
    c.flash.size = kFlashSize;
    return c;
}

void FillFlash(sim::SpiFlash& flash, std::span<const uint8_t> pattern) {
    if (pattern.empty()) return;
    std::vector<uint8_t> contents(kFlashSize);
    for (size_t i = 0; i < contents.size(); ++i) contents[i] = pattern[i % pattern.size()];
    if (!flash.ProgramFromChip(0, contents, 0x06, 0x02)) std::abort();
}

std::unique_ptr<quillon::CameraDevice> Open() {
    using namespace platform;
    ComPtr<ICreateDevEnum> devEnum;
    ComPtr<IEnumMoniker> monikers;
    ComPtr<IMoniker> moniker;
    ComPtr<IBaseFilter> filter;
    uint32_t fetched = 0;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devEnum.PutVoid())) ||
        devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0) != S_OK ||
        monikers->Next(1, moniker.Put(), &fetched) != S_OK ||
        FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())))
        std::abort();
    return std::make_unique<quillon::CameraDevice>(moniker.Get(), filter.Get(),
                                                   quillon::FindExtensionUnitNode(filter.Get()));
}

// The bytes each memory read returned, from the trace, grouped into the
// fields they belong to: a 10-byte field comes as a read of 8 and one of 2,
// the 5-byte code version as one read of 5.
std::vector<std::vector<uint8_t>> MemoryReadRuns(const std::vector<std::string>& trace) {
    std::vector<std::vector<uint8_t>> reads;
    size_t count = 0;
    for (const std::string& line : trace) {
        std::istringstream fields(line);
        std::string camera, direction, hex;
        int selector = 0, status = 0;
        fields >> camera >> direction >> selector >> hex >> status;
        if (selector != 3 || status != 0 || hex.size() != 22) continue;
        auto byte = [&hex](size_t i) {
            return static_cast<uint8_t>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
        };
        if (direction == "SET") {
            count = byte(2) & 0x0F;
        } else {
            reads.emplace_back();
            for (size_t i = 0; i < count; ++i) reads.back().push_back(byte(3 + i));
        }
    }
    std::vector<std::vector<uint8_t>> runs;
    for (size_t i = 0; i < reads.size(); ++i) {
        if (reads[i].size() == 8 && i + 1 < reads.size() && reads[i + 1].size() == 2) {
            runs.push_back(reads[i]);
            runs.back().insert(runs.back().end(), reads[i + 1].begin(), reads[i + 1].end());
            ++i;
        } else {
            runs.push_back(reads[i]);
        }
    }
    return runs;
}

void CheckRaw(const std::array<uint8_t, kText>& text,
              const std::vector<std::vector<uint8_t>>& runs) {
    std::vector<std::vector<uint8_t>> fields;
    const std::vector<uint8_t>* code = nullptr;
    for (const auto& run : runs) {
        if (run.size() == 5) code = &run;
        if (run.size() == 10) fields.push_back(run);
    }
    if (!code || fields.size() != 3) std::abort();  // every field is read once
    if (!std::equal(code->begin(), code->end(), text.begin())) std::abort();
    for (size_t f = 0; f < 3; ++f) {
        const std::vector<uint8_t> got(text.begin() + 5 + 10 * f, text.begin() + 15 + 10 * f);
        const auto at = std::find(fields.begin(), fields.end(), got);
        if (at == fields.end()) std::abort();
        fields.erase(at);
    }
    if (!std::all_of(text.begin() + 35, text.end(), [](uint8_t b) { return b == 0; })) std::abort();
}

void CheckFormatted(const std::array<uint8_t, kText>& text,
                    const std::vector<std::vector<uint8_t>>& runs) {
    if (!std::all_of(text.begin() + 42, text.end(), [](uint8_t b) { return b == 0; })) std::abort();
    if (text[4] != '-') std::abort();
    for (const auto& run : runs) {
        if (run.size() == 5 && !std::equal(run.begin(), run.begin() + 4, text.begin()))
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kHeader) return 0;
    sim::Scenario scenario;
    scenario.clock = sim::ClockKind::kVirtual;
    scenario.cameras.push_back(CameraFrom(data));
    std::string error;
    auto system = sim::Simulator::Create(scenario, "", error);
    if (!system) std::abort();
    FillFlash(system->Camera(0).Flash(), std::span<const uint8_t>(data + kHeader, size - kHeader));
    const auto previous = platform::SetBackend(system);
    {
        auto device = Open();
        uint8_t chipID = 0;
        int32_t arch = 0;
        if (device->ReadChipId(&chipID, &arch) != -1) device->InitChipProfile(arch);

        const bool raw = data[10] & 1;
        const bool shortBuffer = data[10] & 2;
        std::array<uint8_t, kText> text;
        text.fill(kUntouched);
        system->KeepTraceLines(true);
        const int32_t result = device->ReadFirmwareVersion(reinterpret_cast<char*>(text.data()),
                                                           shortBuffer ? kText - 1 : kText, raw);
        const auto trace = system->TraceLines();
        if (result != 0 || shortBuffer) {
            if (result == 0) std::abort();  // a short buffer is refused
            if (std::any_of(text.begin(), text.end(), [](uint8_t b) { return b != kUntouched; }))
                std::abort();
        } else if (raw) {
            CheckRaw(text, MemoryReadRuns(trace));
        } else {
            CheckFormatted(text, MemoryReadRuns(trace));
        }
    }
    platform::SetBackend(previous);
    return 0;
}
