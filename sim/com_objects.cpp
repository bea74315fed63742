#include "sim/com_objects.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/ks.h"
#include "platform/text.h"
#include "sim/status.h"

namespace sim {

using namespace platform;

namespace {

// Type of the topology nodes that are not device-specific (terminals, processing units).
constexpr GUID kOtherNodeType{0x7C0A0200, 0x51E1, 0x4A1D, {0x9E, 0x10, 3, 0, 0, 0, 0, 1}};

// Reference counting shared by every object below: one reference for the
// creator, deleted when the last one goes.
template <class... Interfaces>
class Counted : public Interfaces... {
  public:
    uint32_t AddRef() override { return refs_.Add(); }
    uint32_t Release() override {
        const uint32_t left = refs_.Drop();
        if (left == 0) delete this;
        return left;
    }

  protected:
    virtual ~Counted() = default;

    // Hands out `self` as the asked-for interface with a new reference.
    template <class I>
    HRESULT Give(I* self, void** out) {
        self->AddRef();
        *out = self;
        return S_OK;
    }

  private:
    RefCount refs_;
};

bool ValidHeader(const KSPROPERTY* property, uint32_t propertyLength) {
    return property && propertyLength == sizeof(KSP_NODE);
}

// The instance of one topology node; it only answers discovery probes.
class NodeControl final : public Counted<IKsControl> {
  public:
    NodeControl(std::shared_ptr<SimCamera> camera, uint32_t generation, uint32_t node)
        : camera_(std::move(camera)), generation_(generation), node_(node) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IKsControl) return Give<IKsControl>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT KsProperty(KSPROPERTY* property, uint32_t propertyLength, void*, uint32_t dataLength,
                       uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        if (!ValidHeader(property, propertyLength)) return E_INVALIDARG;
        return camera_->Probe(generation_, node_, *reinterpret_cast<const KSP_NODE*>(property),
                              dataLength);
    }

  private:
    std::shared_ptr<SimCamera> camera_;
    const uint32_t generation_;
    const uint32_t node_;
};

// The capture filter of one camera, bound under one generation of it.
class Filter final : public Counted<IBaseFilter, IKsControl, IKsTopologyInfo> {
  public:
    Filter(std::shared_ptr<SimCamera> camera, uint32_t generation)
        : camera_(std::move(camera)), generation_(generation) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        // The control interface first: the library asks for it once per request.
        if (iid == IID_IKsControl) return Give<IKsControl>(this, out);
        if (iid == IID_IUnknown || iid == IID_IBaseFilter) return Give<IBaseFilter>(this, out);
        if (iid == IID_IKsTopologyInfo) return Give<IKsTopologyInfo>(this, out);
        return E_NOINTERFACE;
    }

    // Every well-formed GET or SET reaches the camera and is one exchange,
    // whatever its set, node or selector.
    HRESULT KsProperty(KSPROPERTY* property, uint32_t propertyLength, void* data,
                       uint32_t dataLength, uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        if (!ValidHeader(property, propertyLength)) return E_INVALIDARG;
        if (!data && dataLength) return E_POINTER;
        if (property->Flags != kFlagsGet && property->Flags != kFlagsSet) return E_INVALIDARG;
        return camera_->Exchange(generation_, *reinterpret_cast<const KSP_NODE*>(property),
                                 static_cast<uint8_t*>(data), dataLength, bytesReturned);
    }

    HRESULT get_NumNodes(uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = camera_->Config().nodes;
        return S_OK;
    }

    HRESULT get_NodeType(uint32_t node, GUID* type) override {
        if (!type) return E_POINTER;
        if (node >= camera_->Config().nodes) return E_INVALIDARG;
        *type = DeviceSpecific(node) ? KSNODETYPE_DEV_SPECIFIC : kOtherNodeType;
        return S_OK;
    }

    HRESULT CreateNodeInstance(uint32_t node, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (node >= camera_->Config().nodes) return E_INVALIDARG;
        if (!(iid == IID_IUnknown) && !(iid == IID_IKsControl)) return E_NOINTERFACE;
        *out = static_cast<IKsControl*>(new NodeControl(camera_, generation_, node));
        return S_OK;
    }

  private:
    bool DeviceSpecific(uint32_t node) const {
        const CameraConfig& c = camera_->Config();
        if (c.xuNode >= 0 && node == static_cast<uint32_t>(c.xuNode)) return true;
        return std::find(c.devSpecificNodes.begin(), c.devSpecificNodes.end(), node) !=
               c.devSpecificNodes.end();
    }

    std::shared_ptr<SimCamera> camera_;
    const uint32_t generation_;
};

class PropertyBag final : public Counted<IPropertyBag> {
  public:
    explicit PropertyBag(std::shared_ptr<SimCamera> camera) : camera_(std::move(camera)) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IPropertyBag) return Give<IPropertyBag>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT Read(const char16_t* name, VARIANT* value, void*) override {
        if (!name || !value) return E_POINTER;
        const std::optional<std::string>* text = nullptr;
        const std::u16string_view key(name);
        if (key == u"FriendlyName") text = &camera_->Config().name;
        if (key == u"DevicePath") text = &camera_->Config().path;
        if (!text || !*text) return kStatusNoSuchProperty;
        value->vt = VT_BSTR;
        value->bstrVal = WideFromNarrow(**text);
        return S_OK;
    }

  private:
    std::shared_ptr<SimCamera> camera_;
};

class Moniker final : public Counted<IMoniker> {
  public:
    Moniker(std::shared_ptr<SimCamera> camera, uint32_t generation)
        : camera_(std::move(camera)), generation_(generation) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMoniker) return Give<IMoniker>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT BindToStorage(void*, IMoniker*, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!(iid == IID_IPropertyBag)) return E_NOINTERFACE;
        *out = static_cast<IPropertyBag*>(new PropertyBag(camera_));
        return S_OK;
    }

    // Opens the camera as a capture filter; the device listed by this moniker
    // must still be plugged in.
    HRESULT BindToObject(void*, IMoniker*, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!camera_->Config().bind) return E_FAIL;
        if (!camera_->Present() || camera_->Generation() != generation_) return kStatusDeviceGone;
        ComPtr<IBaseFilter> filter = ComPtr<IBaseFilter>::Attach(new Filter(camera_, generation_));
        return filter->QueryInterface(iid, out);
    }

  private:
    std::shared_ptr<SimCamera> camera_;
    const uint32_t generation_;
};

// The cameras listed when the enumerator was created, each under the
// generation it had then.
class MonikerEnum final : public Counted<IEnumMoniker> {
  public:
    explicit MonikerEnum(std::vector<std::shared_ptr<SimCamera>> cameras) {
        for (auto& camera : cameras) {
            const uint32_t generation = camera->Generation();
            entries_.push_back({std::move(camera), generation});
        }
    }

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IEnumMoniker) return Give<IEnumMoniker>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) override {
        if (!monikers || (!fetched && count != 1)) return E_POINTER;
        uint32_t n = 0;
        while (n < count && next_ < entries_.size()) {
            const Entry& e = entries_[next_++];
            monikers[n++] = new Moniker(e.camera, e.generation);
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        next_ = 0;
        return S_OK;
    }

  private:
    struct Entry {
        std::shared_ptr<SimCamera> camera;
        uint32_t generation;
    };
    std::vector<Entry> entries_;
    size_t next_ = 0;
};

class DeviceEnumerator final : public Counted<ICreateDevEnum> {
  public:
    explicit DeviceEnumerator(std::shared_ptr<const Roster> roster) : roster_(std::move(roster)) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ICreateDevEnum)
            return Give<ICreateDevEnum>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT CreateClassEnumerator(const CLSID& category, IEnumMoniker** out, uint32_t) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!(category == CLSID_VideoInputDeviceCategory)) return S_FALSE;
        auto listed = roster_->Listed();
        if (listed.empty()) return S_FALSE;
        *out = new MonikerEnum(std::move(listed));
        return S_OK;
    }

  private:
    std::shared_ptr<const Roster> roster_;
};

}  // namespace

ICreateDevEnum* NewDeviceEnumerator(std::shared_ptr<const Roster> roster) {
    return new DeviceEnumerator(std::move(roster));
}

}  // namespace sim
