#include "tests/testing/sim_device.h"

#include <cstdio>
#include <sstream>

#include "platform/devenum.h"

namespace quillon::testing {

using platform::ComPtr;

std::unique_ptr<CameraDevice> OpenSimDevice(size_t index) {
    ComPtr<platform::ICreateDevEnum> devEnum;
    if (platform::FAILED(platform::CoCreateInstance(
            platform::CLSID_SystemDeviceEnum, nullptr, platform::CLSCTX_INPROC_SERVER,
            platform::IID_ICreateDevEnum, devEnum.PutVoid())) ||
        !devEnum) {
        return nullptr;
    }
    ComPtr<platform::IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(platform::CLSID_VideoInputDeviceCategory, monikers.Put(),
                                       0) != platform::S_OK ||
        !monikers) {
        return nullptr;
    }
    ComPtr<platform::IMoniker> moniker;
    for (size_t i = 0; i <= index; ++i) {
        uint32_t fetched = 0;
        if (monikers->Next(1, moniker.Put(), &fetched) != platform::S_OK || fetched != 1) {
            return nullptr;
        }
    }
    ComPtr<platform::IBaseFilter> filter;
    if (platform::FAILED(
            moniker->BindToObject(nullptr, nullptr, platform::IID_IBaseFilter, filter.PutVoid())) ||
        !filter) {
        return nullptr;
    }
    const int32_t node = FindExtensionUnitNode(filter.Get());
    // The device takes references of its own; ours go at the end of this scope.
    return std::make_unique<CameraDevice>(moniker.Get(), filter.Get(), node);
}

namespace {

constexpr int kRegisterSelector = 1;
constexpr int kRomSelector = 4;

// The first `count` bytes of a trace's hex field; false when it is shorter.
bool ParseBytes(const std::string& hex, size_t count, std::vector<unsigned>& out) {
    if (hex.size() < count * 2) return false;
    out.resize(count);
    for (size_t i = 0; i < count; ++i) {
        if (std::sscanf(hex.c_str() + 2 * i, "%2x", &out[i]) != 1) return false;
    }
    return true;
}

std::string Format(const char* format, unsigned a, unsigned b = 0) {
    char text[32];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

std::vector<std::string> RegisterTraffic(const std::vector<std::string>& trace) {
    std::vector<std::string> traffic;
    for (const std::string& line : trace) {
        std::istringstream fields(line);
        std::string camera, direction, hex;
        int selector = 0;
        if (!(fields >> camera >> direction >> selector >> hex) || direction != "SET") continue;
        std::vector<unsigned> b;
        if (selector == kRegisterSelector && ParseBytes(hex, 4, b)) {
            const unsigned reg = b[0] | (b[1] << 8);
            // A read request carries 0x00, 0xFF after the address; a write the value, 0x00.
            if (b[2] == 0x00 && b[3] == 0xFF) {
                traffic.push_back(Format("R %04X", reg));
            } else {
                traffic.push_back(Format("W %04X %02X", reg, b[2]));
            }
        } else if (selector == kRomSelector && ParseBytes(hex, 2, b)) {
            traffic.push_back(Format("ROM %04X", b[0] | (b[1] << 8)));
        }
    }
    return traffic;
}

}  // namespace quillon::testing
