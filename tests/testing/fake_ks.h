// A capture filter whose extension-unit requests are recorded and answered by
// the test: for checking the exact bytes on the wire and the status rules.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/devenum.h"
#include "platform/ks.h"

namespace quillon::testing {

struct RecordedRequest {
    uint32_t selector;
    uint32_t flags;
    uint32_t nodeId;
    platform::GUID set;
    std::vector<uint8_t> data;  // as sent (SET) or as handed in (GET)
};

class FakeFilter final : public platform::IBaseFilter,
                         public platform::IKsControl,
                         public platform::IKsTopologyInfo {
public:
    // Answers one request: fills `data` for a GET, returns the status.
    using Handler = std::function<platform::HRESULT(const RecordedRequest&, uint8_t* data,
                                                    uint32_t length)>;

    static FakeFilter* Create() { return new FakeFilter; }

    platform::HRESULT QueryInterface(const platform::IID& iid, void** out) override;
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override;
    platform::HRESULT KsProperty(platform::KSPROPERTY* property, uint32_t propertyLength,
                                 void* data, uint32_t dataLength, uint32_t* returned) override;
    platform::HRESULT get_NumNodes(uint32_t* n) override;
    platform::HRESULT get_NodeType(uint32_t node, platform::GUID* type) override;
    platform::HRESULT CreateNodeInstance(uint32_t node, const platform::IID& iid,
                                         void** out) override;

    // Behaviour switches.
    bool hasKsControl = true;
    bool hasTopology = true;
    platform::HRESULT numNodesResult = 0;
    std::vector<platform::GUID> nodeTypes;
    std::vector<platform::HRESULT> probeResults;  // per node; default accept (0)
    Handler handler;                              // default: success, GET returns zeros

    std::vector<RecordedRequest> requests;
    std::vector<uint32_t> probedNodes;
    uint32_t refs() const { return refs_; }
    // Called when the last reference goes (before deletion).
    std::function<void()> onDestroy;

private:
    FakeFilter() = default;
    std::atomic<uint32_t> refs_{1};
};

// A moniker that only records its release.
class FakeMoniker final : public platform::IMoniker {
public:
    static FakeMoniker* Create() { return new FakeMoniker; }
    platform::HRESULT QueryInterface(const platform::IID&, void** out) override {
        *out = nullptr;
        return platform::E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++refs_; }
    uint32_t Release() override;
    platform::HRESULT BindToStorage(void*, platform::IMoniker*, const platform::IID&,
                                    void**) override {
        return platform::E_FAIL;
    }
    platform::HRESULT BindToObject(void*, platform::IMoniker*, const platform::IID&,
                                   void**) override {
        return platform::E_FAIL;
    }
    std::function<void()> onDestroy;
    uint32_t refs() const { return refs_; }

private:
    std::atomic<uint32_t> refs_{1};
};

std::string Hex(const std::vector<uint8_t>& bytes);

}  // namespace quillon::testing
