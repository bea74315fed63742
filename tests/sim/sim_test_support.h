// Host-side helpers for the simulator's tests: list and open cameras through the
// platform's object model, and send raw extension-unit requests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/com.h"
#include "platform/devenum.h"
#include "platform/ks.h"
#include "sim/camera.h"
#include "sim/status.h"
#include "tests/testing/scenario_builder.h"

namespace quillon_test {

using platform::ComPtr;
using platform::FAILED;
using platform::HRESULT;
using platform::SUCCEEDED;

using Bytes = std::vector<uint8_t>;

// The monikers the process's backend lists now, in order.
inline std::vector<ComPtr<platform::IMoniker>> ListCameras() {
    std::vector<ComPtr<platform::IMoniker>> out;
    ComPtr<platform::ICreateDevEnum> devices;
    HRESULT hr = platform::CoCreateInstance(platform::CLSID_SystemDeviceEnum, nullptr,
                                            platform::CLSCTX_INPROC_SERVER,
                                            platform::IID_ICreateDevEnum, devices.PutVoid());
    EXPECT_EQ(hr, platform::S_OK);
    if (!devices) return out;
    ComPtr<platform::IEnumMoniker> list;
    hr = devices->CreateClassEnumerator(platform::CLSID_VideoInputDeviceCategory, list.Put(), 0);
    if (hr != platform::S_OK) return out;
    ComPtr<platform::IMoniker> moniker;
    while (list->Next(1, moniker.Put(), nullptr) == platform::S_OK) out.push_back(moniker);
    return out;
}

// The text of a property bag entry, or the failure.
struct BagText {
    HRESULT hr;
    std::u16string text;
};

inline BagText ReadProperty(platform::IMoniker* moniker, const char16_t* name) {
    ComPtr<platform::IPropertyBag> bag;
    HRESULT hr =
        moniker->BindToStorage(nullptr, nullptr, platform::IID_IPropertyBag, bag.PutVoid());
    if (FAILED(hr)) return {hr, {}};
    platform::VARIANT v;
    hr = bag->Read(name, &v, nullptr);
    if (SUCCEEDED(hr) && v.vt != platform::VT_BSTR) ADD_FAILURE() << "property is not a text";
    return {hr, v.bstrVal};
}

// An extension-unit request header as the host builds it.
inline platform::KSP_NODE Request(uint32_t flags, uint32_t selector, uint32_t node,
                                  const platform::GUID& set = sim::kExtensionUnitSet) {
    platform::KSP_NODE r{};
    r.Property.Set = set;
    r.Property.Id = selector;
    r.Property.Flags = flags;
    r.NodeId = node;
    return r;
}

// The controls of one opened camera.
class Xu {
  public:
    Xu() = default;
    Xu(ComPtr<platform::IKsControl> control, uint32_t node) : control_(control), node_(node) {}

    HRESULT Raw(platform::KSP_NODE request, Bytes& data, uint32_t* returned = nullptr) {
        return control_->KsProperty(&request.Property, sizeof request, data.data(),
                                    static_cast<uint32_t>(data.size()), returned);
    }
    HRESULT Set(uint32_t selector, Bytes data) {
        return Raw(Request(sim::kFlagsSet, selector, node_), data);
    }
    // A GET of `length` bytes into `out`.
    HRESULT Get(uint32_t selector, size_t length, Bytes& out) {
        out.assign(length, 0);
        return Raw(Request(sim::kFlagsGet, selector, node_), out);
    }
    // A GET that must succeed.
    Bytes Get(uint32_t selector, size_t length) {
        Bytes out;
        EXPECT_EQ(Get(selector, length, out), sim::kStatusOk) << "GET " << selector;
        return out;
    }

    // Register control.
    HRESULT WriteRegister(uint16_t address, uint8_t value) {
        return Set(sim::kSelectorRegister, {Lo(address), Hi(address), value, 0x00});
    }
    uint8_t ReadRegister(uint16_t address) {
        EXPECT_EQ(Set(sim::kSelectorRegister, {Lo(address), Hi(address), 0x00, 0xFF}),
                  sim::kStatusOk);
        return Get(sim::kSelectorRegister, 4)[2];
    }

    // Memory control: `count` flash bytes at bank * 0x10000 + address.
    Bytes ReadMemory(uint8_t bank, uint16_t address, uint8_t count) {
        EXPECT_EQ(Set(sim::kSelectorMemory, MemoryCommand(0x80, bank, address, count, {})),
                  sim::kStatusOk);
        Bytes reply = Get(sim::kSelectorMemory, 11);
        return Bytes(reply.begin() + 3, reply.begin() + 3 + count);
    }
    HRESULT WriteMemory(uint8_t bank, uint16_t address, const Bytes& bytes) {
        return Set(sim::kSelectorMemory,
                   MemoryCommand(0x00, bank, address, static_cast<uint8_t>(bytes.size()), bytes));
    }
    static Bytes MemoryCommand(uint8_t direction, uint8_t bank, uint16_t address, uint8_t count,
                               const Bytes& bytes) {
        Bytes d(11, 0);
        d[0] = Lo(address);
        d[1] = Hi(address);
        d[2] = static_cast<uint8_t>(direction | bank << 4 | count);
        for (size_t i = 0; i < bytes.size() && i < 8; ++i) d[3 + i] = bytes[i];
        return d;
    }

    // Block command opening a window.
    static Bytes BlockCommand(uint32_t start, uint8_t direction, uint8_t piece, uint32_t end) {
        Bytes d(64, 0);
        for (int i = 0; i < 4; ++i) {
            d[i] = static_cast<uint8_t>(start >> (8 * i));
            d[6 + i] = static_cast<uint8_t>(end >> (8 * i));
        }
        d[4] = direction;
        d[5] = piece;
        d[10] = 0x0B;
        d[11] = 0x01;
        return d;
    }

    static uint8_t Lo(uint16_t v) { return static_cast<uint8_t>(v); }
    static uint8_t Hi(uint16_t v) { return static_cast<uint8_t>(v >> 8); }

    platform::IKsControl* Control() const { return control_.Get(); }

  private:
    ComPtr<platform::IKsControl> control_;
    uint32_t node_ = 0;
};

// One opened camera: its filter and the interfaces the host uses.
struct OpenCamera {
    ComPtr<platform::IBaseFilter> filter;
    ComPtr<platform::IKsControl> control;
    ComPtr<platform::IKsTopologyInfo> topology;
    Xu xu;
};

// Opens the `listed`-th camera of the current listing; its extension unit is at `xuNode`.
inline OpenCamera Open(size_t listed, uint32_t xuNode = 0) {
    OpenCamera cam;
    auto monikers = ListCameras();
    if (listed >= monikers.size()) {
        ADD_FAILURE() << "no listed camera " << listed;
        return cam;
    }
    EXPECT_EQ(monikers[listed]->BindToObject(nullptr, nullptr, platform::IID_IBaseFilter,
                                             cam.filter.PutVoid()),
              platform::S_OK);
    if (!cam.filter) return cam;
    EXPECT_EQ(cam.filter.As(platform::IID_IKsControl, cam.control), platform::S_OK);
    EXPECT_EQ(cam.filter.As(platform::IID_IKsTopologyInfo, cam.topology), platform::S_OK);
    cam.xu = Xu(cam.control, xuNode);
    return cam;
}

// Sends the discovery probe to topology node `node`.
inline HRESULT ProbeNode(platform::IKsTopologyInfo* topology, uint32_t node) {
    ComPtr<platform::IKsControl> instance;
    HRESULT hr = topology->CreateNodeInstance(node, platform::IID_IKsControl, instance.PutVoid());
    if (FAILED(hr)) return hr;
    platform::KSP_NODE r = Request(sim::kFlagsProbe, 0, node);
    return instance->KsProperty(&r.Property, sizeof r, nullptr, 0, nullptr);
}

}  // namespace quillon_test
