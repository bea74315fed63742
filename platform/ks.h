// Property requests addressed to a node of a capture filter's topology: the only
// way the library talks to a camera's extension unit.
#pragma once

#include <cstdint>

#include "platform/com.h"

namespace platform {

inline constexpr uint32_t KSPROPERTY_TYPE_GET = 0x00000001;
inline constexpr uint32_t KSPROPERTY_TYPE_SET = 0x00000002;
inline constexpr uint32_t KSPROPERTY_TYPE_SETSUPPORT = 0x00000100;
inline constexpr uint32_t KSPROPERTY_TYPE_TOPOLOGY = 0x10000000;

// Node type of a vendor-specific unit (an extension unit among them).
inline constexpr GUID KSNODETYPE_DEV_SPECIFIC{
    0x941C7AC0, 0xC559, 0x11D0, {0x8A, 0x2B, 0x00, 0xA0, 0xC9, 0x25, 0x5A, 0xC1}};

struct KSPROPERTY {
    GUID Set;
    uint32_t Id;
    uint32_t Flags;
};

struct KSP_NODE {
    KSPROPERTY Property;
    uint32_t NodeId;
    uint32_t Reserved;
};
static_assert(sizeof(KSP_NODE) == 32, "a node request header is 32 bytes");

struct IKsControl : IUnknown {
    // `property` points at a KSP_NODE when `propertyLength` is sizeof(KSP_NODE).
    // A GET fills `data`; a SET sends it. Returns 0 on success, else a status.
    virtual HRESULT KsProperty(KSPROPERTY* property, uint32_t propertyLength, void* data,
                               uint32_t dataLength, uint32_t* bytesReturned) = 0;
};

struct IKsTopologyInfo : IUnknown {
    virtual HRESULT get_NumNodes(uint32_t* numberOfNodes) = 0;
    virtual HRESULT get_NodeType(uint32_t node, GUID* nodeType) = 0;
    virtual HRESULT CreateNodeInstance(uint32_t node, const IID& iid, void** out) = 0;
};

}  // namespace platform
