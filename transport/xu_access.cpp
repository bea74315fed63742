// One extension-unit request, or a request and its reply, per primitive. Every
// call obtains the control interface afresh and releases it before returning;
// nothing is cached, so a camera that went away costs nothing to forget.
#include <cstring>

#include "camlib/camera_device.h"
#include "transport/xu_controls.h"

namespace quillon {

using platform::ComPtr;
using platform::HRESULT;
using platform::IKsControl;

namespace {

platform::KSP_NODE MakeRequest(uint32_t selector, uint32_t flags, int32_t nodeId) {
    platform::KSP_NODE p{};
    p.Property.Set = XU_PROPSET;
    p.Property.Id = selector;
    p.Property.Flags = flags;
    p.NodeId = static_cast<uint32_t>(nodeId);
    p.Reserved = 0;
    return p;
}

HRESULT Send(IKsControl* ks, uint32_t selector, uint32_t flags, int32_t nodeId, uint8_t* data,
             uint32_t length) {
    platform::KSP_NODE request = MakeRequest(selector, flags, nodeId);
    uint32_t bytesReturned = 0;
    return ks->KsProperty(&request.Property, sizeof request, data, length, &bytesReturned);
}

// The control interface of the target's filter, or null.
ComPtr<IKsControl> Control(const XuTarget& t) {
    ComPtr<IKsControl> ks;
    if (t.filter == nullptr) return ks;
    if (t.filter->QueryInterface(platform::IID_IKsControl, ks.PutVoid()) != 0) ks.Reset();
    return ks;
}

void FillMemoryHeader(uint8_t* d, int32_t address, bool read, uint8_t count) {
    d[0] = static_cast<uint8_t>(address & 0xFF);
    d[1] = static_cast<uint8_t>((address >> 8) & 0xFF);
    d[2] = MemoryCommand(read, address, count);
}

bool BlockArgumentsValid(const void* p, uint8_t count) { return p != nullptr && count >= 1 && count <= 64; }

}  // namespace

namespace xu {

int32_t ReadRegister(const XuTarget& t, uint16_t reg, uint8_t* out) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t d[kRegisterDataLength] = {static_cast<uint8_t>(reg & 0xFF),
                                      static_cast<uint8_t>(reg >> 8), 0x00, 0xFF};
    HRESULT hr = Send(ks.Get(), XU_CTRL_REGISTER, kFlagsSet, t.nodeId, d, sizeof d);
    if (hr != 0) return hr;
    uint8_t reply[kRegisterDataLength] = {};
    hr = Send(ks.Get(), XU_CTRL_REGISTER, kFlagsGet, t.nodeId, reply, sizeof reply);
    if (hr == 0) *out = reply[2];
    return hr;
}

int32_t WriteRegister(const XuTarget& t, uint16_t reg, uint8_t value) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t d[kRegisterDataLength] = {static_cast<uint8_t>(reg & 0xFF),
                                      static_cast<uint8_t>(reg >> 8), value, 0x00};
    return Send(ks.Get(), XU_CTRL_REGISTER, kFlagsSet, t.nodeId, d, sizeof d);
}

int32_t ReadMemory(const XuTarget& t, int32_t address, uint8_t* out8, uint8_t count) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t d[kMemoryDataLength] = {};
    FillMemoryHeader(d, address, true, count);
    const HRESULT hr = Send(ks.Get(), XU_CTRL_MEMORY, kFlagsSet, t.nodeId, d, sizeof d);
    if (hr != 0) return hr;
    uint8_t reply[kMemoryDataLength] = {};
    // The reply's own status only decides whether the caller's buffer is written.
    if (Send(ks.Get(), XU_CTRL_MEMORY, kFlagsGet, t.nodeId, reply, sizeof reply) == 0)
        std::memcpy(out8, reply + 3, 8);
    return hr;
}

int32_t WriteMemory(const XuTarget& t, int32_t address, const uint8_t* data, uint8_t count) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t d[kMemoryDataLength] = {};
    FillMemoryHeader(d, address, false, count);
    const uint8_t n = count > 8 ? 8 : count;
    if (n == 8)
        std::memcpy(d + 3, data, 8);  // the common case, copied without a library call
    else if (n)
        std::memcpy(d + 3, data, n);
    return Send(ks.Get(), XU_CTRL_MEMORY, kFlagsSet, t.nodeId, d, sizeof d);
}

int32_t ReadRom(const XuTarget& t, uint16_t address, uint8_t* out8) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t d[kRomDataLength] = {static_cast<uint8_t>(address & 0xFF),
                                 static_cast<uint8_t>(address >> 8), 8};
    if (Send(ks.Get(), XU_CTRL_ROM, kFlagsSet, t.nodeId, d, sizeof d) == 0) {
        uint8_t reply[kRomDataLength] = {};
        if (Send(ks.Get(), XU_CTRL_ROM, kFlagsGet, t.nodeId, reply, sizeof reply) == 0) {
            const uint8_t c = reply[2] > 8 ? 8 : reply[2];
            if (c) std::memcpy(out8, reply + 3, c);
        }
    }
    // A ROM read reports success once the control was reached; callers see a
    // failed exchange as bytes that stayed as they were.
    return 0;
}

int32_t GetMemoryType(const XuTarget& t, uint8_t* out) {
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t reply[kMemoryTypeDataLength] = {};
    const HRESULT hr = Send(ks.Get(), XU_CTRL_MEMORY_TYPE, kFlagsGet, t.nodeId, reply, sizeof reply);
    if (hr == 0) *out = reply[2];
    return hr;
}

int32_t ReadBlock(const XuTarget& t, uint8_t* out, uint8_t count) {
    if (!BlockArgumentsValid(out, count)) return 1;
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    uint8_t reply[kBlockDataLength] = {};
    if (Send(ks.Get(), XU_CTRL_BLOCK, kFlagsGet, t.nodeId, reply, sizeof reply) == 0)
        std::memcpy(out, reply, count);
    return 0;
}

int32_t WriteBlock(const XuTarget& t, const uint8_t* data, uint8_t count) {
    if (!BlockArgumentsValid(data, count)) return 1;
    ComPtr<IKsControl> ks = Control(t);
    if (!ks) return 1;
    // A whole block goes out as it is: the zero-filled copy would hold the same
    // bytes. A SET only reads its data.
    if (count == kBlockDataLength)
        return Send(ks.Get(), XU_CTRL_BLOCK, kFlagsSet, t.nodeId, const_cast<uint8_t*>(data),
                    kBlockDataLength);
    uint8_t d[kBlockDataLength] = {};
    std::memcpy(d, data, count);
    return Send(ks.Get(), XU_CTRL_BLOCK, kFlagsSet, t.nodeId, d, sizeof d);
}

}  // namespace xu

int32_t FindExtensionUnitNode(platform::IBaseFilter* filter) {
    if (filter == nullptr) return -1;
    ComPtr<platform::IKsTopologyInfo> topology;
    if (filter->QueryInterface(platform::IID_IKsTopologyInfo, topology.PutVoid()) != 0) return -1;
    uint32_t numberOfNodes = 0;
    if (platform::FAILED(topology->get_NumNodes(&numberOfNodes))) return -1;
    for (uint32_t i = 0; i < numberOfNodes; ++i) {
        platform::GUID nodeGuid{};
        if (platform::FAILED(topology->get_NodeType(i, &nodeGuid))) continue;
        if (!(nodeGuid == platform::KSNODETYPE_DEV_SPECIFIC)) continue;
        ComPtr<IKsControl> pKsControl;
        if (platform::FAILED(topology->CreateNodeInstance(i, platform::IID_IKsControl,
                                                          pKsControl.PutVoid())))
            continue;
        platform::KSP_NODE probe = MakeRequest(0, kFlagsSetSupport, static_cast<int32_t>(i));
        uint32_t bytesReturned = 0;
        const HRESULT hr =
            pKsControl->KsProperty(&probe.Property, sizeof probe, nullptr, 0, &bytesReturned);
        pKsControl.Reset();
        if (hr >= 0) return static_cast<int32_t>(i);
    }
    return -1;
}

int32_t CameraDevice::XuGetMemoryType(uint8_t* out) { return xu::GetMemoryType(Target(), out); }
int32_t CameraDevice::XuReadMemory(int32_t a, uint8_t* o, uint8_t c) { return xu::ReadMemory(Target(), a, o, c); }
int32_t CameraDevice::XuWriteMemory(int32_t a, const uint8_t* d, uint8_t c) { return xu::WriteMemory(Target(), a, d, c); }
int32_t CameraDevice::XuReadBlock(uint8_t* o, uint8_t c) { return xu::ReadBlock(Target(), o, c); }
int32_t CameraDevice::XuWriteBlock(const uint8_t* d, uint8_t c) { return xu::WriteBlock(Target(), d, c); }
int32_t CameraDevice::XuReadRegister(uint16_t r, uint8_t* o) { return xu::ReadRegister(Target(), r, o); }
int32_t CameraDevice::XuWriteRegister(uint16_t r, uint8_t v) { return xu::WriteRegister(Target(), r, v); }
int32_t CameraDevice::XuReadRom(uint16_t a, uint8_t* o) { return xu::ReadRom(Target(), a, o); }

}  // namespace quillon
