// Listing the system's video-input devices: the device enumerator, monikers that
// name one device each, property bags with their texts, and the capture filter.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

namespace platform {

inline constexpr uint32_t CLSCTX_INPROC_SERVER = 0x1;

enum VARTYPE : uint16_t { VT_EMPTY = 0, VT_BSTR = 8 };

// A value read from a property bag. Only texts are ever read.
struct VARIANT {
    VARTYPE vt = VT_EMPTY;
    std::u16string bstrVal;
};
inline void VariantInit(VARIANT* v) { *v = VARIANT{}; }
inline HRESULT VariantClear(VARIANT* v) {
    *v = VARIANT{};
    return S_OK;
}

struct IPropertyBag : IUnknown {
    // Reads the named property ("FriendlyName", "DevicePath") into `value`.
    virtual HRESULT Read(const char16_t* name, VARIANT* value, void* errorLog) = 0;
};

struct IEnumPins;

// The capture filter of one camera. Its other interfaces (IKsControl,
// IKsTopologyInfo) are reached through QueryInterface. Only preview graphs
// walk pins; a filter that has none answers E_NOTIMPL.
struct IBaseFilter : IUnknown {
    virtual HRESULT EnumPins(IEnumPins** pins) {
        if (pins) *pins = nullptr;
        return static_cast<HRESULT>(0x80004001u);
    }
};

struct IMoniker : IUnknown {
    virtual HRESULT BindToStorage(void* bindContext, IMoniker* left, const IID& iid,
                                  void** out) = 0;
    virtual HRESULT BindToObject(void* bindContext, IMoniker* left, const IID& iid,
                                 void** out) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) = 0;
    virtual HRESULT Reset() = 0;
};

struct ICreateDevEnum : IUnknown {
    // S_OK with an enumerator; S_FALSE (and no enumerator) when the category is empty.
    virtual HRESULT CreateClassEnumerator(const CLSID& category, IEnumMoniker** out,
                                          uint32_t flags) = 0;
};

// Creates the system device enumerator of the process's backend.
HRESULT CoCreateInstance(const CLSID& clsid, IUnknown* outer, uint32_t context, const IID& iid,
                         void** out);

}  // namespace platform
