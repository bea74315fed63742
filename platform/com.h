// Counted interfaces, GUIDs and HRESULT-style results: the small object model
// through which the camera library reaches devices, whichever backend serves them.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <utility>

namespace platform {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    // Compared as two 64-bit words: interface queries sit on every exchange's path.
    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        using Words = std::array<uint64_t, 2>;
        const auto x = std::bit_cast<Words>(a);
        const auto y = std::bit_cast<Words>(b);
        return x[0] == y[0] && x[1] == y[1];
    }
};
static_assert(sizeof(GUID) == 16, "a GUID has no padding");
using IID = GUID;
using CLSID = GUID;

// Interface ids of our own stand-in interfaces. They only have to be distinct
// from each other; nothing outside this process sees them.
inline constexpr IID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IBaseFilter{0x7C0A0001, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 1}};
inline constexpr IID IID_IKsControl{0x7C0A0002, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 2}};
inline constexpr IID IID_IKsTopologyInfo{0x7C0A0003, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 3}};
inline constexpr IID IID_IPropertyBag{0x7C0A0004, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 4}};
inline constexpr IID IID_IMoniker{0x7C0A0005, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 5}};
inline constexpr IID IID_IEnumMoniker{0x7C0A0006, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 6}};
inline constexpr IID IID_ICreateDevEnum{0x7C0A0007, 0x51E1, 0x4A1D, {0x9E, 0x10, 1, 0, 0, 0, 0, 7}};
inline constexpr CLSID CLSID_SystemDeviceEnum{0x7C0A0100, 0x51E1, 0x4A1D, {0x9E, 0x10, 2, 0, 0, 0, 0, 1}};
inline constexpr CLSID CLSID_VideoInputDeviceCategory{
    0x7C0A0101, 0x51E1, 0x4A1D, {0x9E, 0x10, 2, 0, 0, 0, 0, 2}};

struct IUnknown {
    virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

// A counted reference. Holding one keeps the object alive; the holder releases it.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference of its own to `p`.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Adopts a reference the caller already owns (as handed out by QueryInterface).
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Out-parameter slot for functions that hand out a reference; releases what was held.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <class U>
    HRESULT As(const IID& iid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

// Reference counting for implementations of the interfaces: objects start with
// one reference held by their creator and delete themselves at zero.
class RefCount {
public:
    uint32_t Add() { return ++count_; }
    uint32_t Drop() { return --count_; }

private:
    std::atomic<uint32_t> count_{1};
};

}  // namespace platform
