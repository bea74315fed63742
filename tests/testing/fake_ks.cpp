#include "tests/testing/fake_ks.h"

#include <cstdio>
#include <cstring>

namespace quillon::testing {

using namespace platform;

HRESULT FakeFilter::QueryInterface(const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IBaseFilter) {
        *out = static_cast<IBaseFilter*>(this);
    } else if (iid == IID_IKsControl && hasKsControl) {
        *out = static_cast<IKsControl*>(this);
    } else if (iid == IID_IKsTopologyInfo && hasTopology) {
        *out = static_cast<IKsTopologyInfo*>(this);
    } else {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

uint32_t FakeFilter::Release() {
    const uint32_t left = --refs_;
    if (left == 0) {
        if (onDestroy) onDestroy();
        delete this;
    }
    return left;
}

HRESULT FakeFilter::KsProperty(KSPROPERTY* property, uint32_t propertyLength, void* data,
                               uint32_t dataLength, uint32_t* returned) {
    if (propertyLength != sizeof(KSP_NODE)) return E_INVALIDARG;
    const auto* node = reinterpret_cast<const KSP_NODE*>(property);
    RecordedRequest r{node->Property.Id, node->Property.Flags, node->NodeId, node->Property.Set,
                      {}};
    if (data) r.data.assign(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + dataLength);
    if ((node->Property.Flags & KSPROPERTY_TYPE_SETSUPPORT) != 0) {
        probedNodes.push_back(node->NodeId);
        return node->NodeId < probeResults.size() ? probeResults[node->NodeId] : S_OK;
    }
    requests.push_back(r);
    if (returned) *returned = dataLength;
    if (handler) return handler(requests.back(), static_cast<uint8_t*>(data), dataLength);
    return S_OK;
}

HRESULT FakeFilter::get_NumNodes(uint32_t* n) {
    *n = static_cast<uint32_t>(nodeTypes.size());
    return numNodesResult;
}

HRESULT FakeFilter::get_NodeType(uint32_t node, GUID* type) {
    if (node >= nodeTypes.size()) return E_INVALIDARG;
    *type = nodeTypes[node];
    return S_OK;
}

HRESULT FakeFilter::CreateNodeInstance(uint32_t node, const IID& iid, void** out) {
    if (node >= nodeTypes.size() || !(iid == IID_IKsControl)) return E_NOINTERFACE;
    // The node's control is the filter's own; the node id travels in the request.
    *out = static_cast<IKsControl*>(this);
    AddRef();
    return S_OK;
}

uint32_t FakeMoniker::Release() {
    const uint32_t left = --refs_;
    if (left == 0) {
        if (onDestroy) onDestroy();
        delete this;
    }
    return left;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string s;
    char b[3];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02x", v);
        s += b;
    }
    return s;
}

}  // namespace quillon::testing
