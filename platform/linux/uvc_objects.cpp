#include "platform/linux/uvc_objects.h"

#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <cstdio>
#include <string_view>
#include <system_error>

#include "platform/ks.h"

namespace platform::uvc {

namespace {

constexpr uint32_t kGetRequest = KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_TOPOLOGY;
constexpr uint32_t kSetRequest = KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_TOPOLOGY;

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

    template <class I>
    static HRESULT Give(I* self, void** out) {
        self->AddRef();
        *out = self;
        return S_OK;
    }

  private:
    RefCount refs_;
};

const KSP_NODE* AsNodeRequest(const KSPROPERTY* property, uint32_t propertyLength) {
    if (!property || propertyLength != sizeof(KSP_NODE)) return nullptr;
    // The header is the first member of the node request the caller built.
    return reinterpret_cast<const KSP_NODE*>(property);
}

std::string StatusText(HRESULT status) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<uint32_t>(status));
    const int error = static_cast<int>(static_cast<uint32_t>(status) & 0xFFFF);
    return std::generic_category().message(error) + " (" + code + ")";
}

// The capture filter of one camera: owns the open device node for as long as
// anyone holds the filter or one of its node instances.
class Filter final : public Counted<IBaseFilter, IKsControl, IKsTopologyInfo> {
  public:
    Filter(std::shared_ptr<Context> context, std::shared_ptr<const CaptureNode> node, UniqueFd fd)
        : context_(std::move(context)), node_(std::move(node)), fd_(std::move(fd)) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        // The control interface first: the library asks for it once per request.
        if (iid == IID_IKsControl) return Give<IKsControl>(this, out);
        if (iid == IID_IUnknown || iid == IID_IBaseFilter) return Give<IBaseFilter>(this, out);
        if (iid == IID_IKsTopologyInfo) return Give<IKsTopologyInfo>(this, out);
        return E_NOINTERFACE;
    }

    // A GET or SET of one of the unit's controls: one query at the control's length.
    HRESULT KsProperty(KSPROPERTY* property, uint32_t propertyLength, void* data,
                       uint32_t dataLength, uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        const KSP_NODE* request = AsNodeRequest(property, propertyLength);
        if (!request) return E_INVALIDARG;
        const uint32_t flags = request->Property.Flags;
        if (flags != kGetRequest && flags != kSetRequest) return E_INVALIDARG;
        const bool set = flags == kSetRequest;
        if (!ServesUnit(*request)) return kNoSuchControl;
        const UnitControl* control = context_->profile.Find(request->Property.Id);
        if (!control) return kNoSuchControl;
        if ((set && !control->settable) || dataLength != control->length) return E_INVALIDARG;
        if (!data) return E_POINTER;
        // The driver knows only the controls the unit declares; asking it for
        // another would fail the same way, so it is not asked.
        if (!node_->unit->Declares(control->selector)) return kNoSuchControl;
        const HRESULT hr =
            QueryUnit(*context_->sys, fd_.Get(), node_->unit->unitId,
                      static_cast<uint8_t>(control->selector), set ? UVC_SET_CUR : UVC_GET_CUR,
                      std::span(static_cast<uint8_t*>(data), control->length));
        if (hr == S_OK && !set && bytesReturned) *bytesReturned = control->length;
        return hr;
    }

    HRESULT get_NumNodes(uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = node_->unit ? 1 : 0;
        return S_OK;
    }

    HRESULT get_NodeType(uint32_t node, GUID* type) override {
        if (!type) return E_POINTER;
        if (!HasNode(node)) return E_INVALIDARG;
        *type = KSNODETYPE_DEV_SPECIFIC;
        return S_OK;
    }

    HRESULT CreateNodeInstance(uint32_t node, const IID& iid, void** out) override;

    // Whether the unit is one the library can use: it declares every control
    // the library needs and the driver answers for it.
    HRESULT ProbeUnit() {
        const ExtensionUnit& unit = *node_->unit;
        std::string missing;
        const UnitControl* first = nullptr;
        for (const UnitControl& c : context_->profile.controls) {
            if (!c.required) continue;
            if (!first) first = &c;
            if (!unit.Declares(c.selector))
                missing += (missing.empty() ? "" : ", ") + std::to_string(c.selector);
        }
        if (!missing.empty()) {
            context_->notes.Add(DescribeNode(*node_) +
                                ": its vendor extension unit lacks controls " + missing);
            return kNoSuchControl;
        }
        if (!first) return S_OK;
        uint8_t info = 0;
        const HRESULT hr =
            QueryUnit(*context_->sys, fd_.Get(), unit.unitId, static_cast<uint8_t>(first->selector),
                      UVC_GET_INFO, std::span(&info, 1));
        if (hr != S_OK)
            context_->notes.Add(
                DescribeNode(*node_) +
                ": the driver does not answer for its vendor extension unit: " + StatusText(hr));
        return hr;
    }

    bool HasNode(uint32_t node) const { return node_->unit && node == kUnitNode; }

    bool ServesUnit(const KSP_NODE& request) const {
        return HasNode(request.NodeId) && request.Property.Set == context_->profile.set;
    }

  private:
    std::shared_ptr<Context> context_;
    std::shared_ptr<const CaptureNode> node_;
    UniqueFd fd_;
};

// The instance of the unit's node: it answers the discovery probe only.
class UnitNodeControl final : public Counted<IKsControl> {
  public:
    explicit UnitNodeControl(Filter* filter) : filter_(filter) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IKsControl) return Give<IKsControl>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT KsProperty(KSPROPERTY* property, uint32_t propertyLength, void*, uint32_t,
                       uint32_t* bytesReturned) override {
        if (bytesReturned) *bytesReturned = 0;
        const KSP_NODE* request = AsNodeRequest(property, propertyLength);
        if (!request || !(request->Property.Flags & KSPROPERTY_TYPE_SETSUPPORT))
            return E_INVALIDARG;
        if (!filter_->ServesUnit(*request)) return kNoSuchControl;
        return filter_->ProbeUnit();
    }

  private:
    ComPtr<Filter> filter_;
};

HRESULT Filter::CreateNodeInstance(uint32_t node, const IID& iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!HasNode(node)) return E_INVALIDARG;
    if (!(iid == IID_IUnknown) && !(iid == IID_IKsControl)) return E_NOINTERFACE;
    *out = static_cast<IKsControl*>(new UnitNodeControl(this));
    return S_OK;
}

class PropertyBag final : public Counted<IPropertyBag> {
  public:
    explicit PropertyBag(std::shared_ptr<const CaptureNode> node) : node_(std::move(node)) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IPropertyBag) return Give<IPropertyBag>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT Read(const char16_t* name, VARIANT* value, void*) override {
        if (!name || !value) return E_POINTER;
        const std::u16string_view key(name);
        const std::u16string* text = nullptr;
        if (key == u"FriendlyName") text = &node_->friendlyName;
        if (key == u"DevicePath") text = &node_->devicePath;
        if (!text) return E_INVALIDARG;
        value->vt = VT_BSTR;
        value->bstrVal = *text;
        return S_OK;
    }

  private:
    std::shared_ptr<const CaptureNode> node_;
};

class Moniker final : public Counted<IMoniker> {
  public:
    Moniker(std::shared_ptr<Context> context, std::shared_ptr<const CaptureNode> node)
        : context_(std::move(context)), node_(std::move(node)) {}

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
        *out = static_cast<IPropertyBag*>(new PropertyBag(node_));
        return S_OK;
    }

    // Opens the camera's node; the filter keeps it open until its last reference goes.
    HRESULT BindToObject(void*, IMoniker*, const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!(iid == IID_IUnknown) && !(iid == IID_IBaseFilter) && !(iid == IID_IKsControl) &&
            !(iid == IID_IKsTopologyInfo))
            return E_NOINTERFACE;
        const int fd = context_->sys->Open(node_->devNode, O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            context_->notes.Add(OpenFailureNote(node_->devNode, -fd));
            return StatusFromErrno(-fd);
        }
        ComPtr<Filter> filter =
            ComPtr<Filter>::Attach(new Filter(context_, node_, UniqueFd(context_->sys, fd)));
        return filter->QueryInterface(iid, out);
    }

  private:
    std::shared_ptr<Context> context_;
    std::shared_ptr<const CaptureNode> node_;
};

class MonikerList final : public Counted<IEnumMoniker> {
  public:
    MonikerList(std::shared_ptr<Context> context, std::vector<CaptureNode> nodes)
        : context_(std::move(context)) {
        for (CaptureNode& n : nodes) nodes_.push_back(std::make_shared<CaptureNode>(std::move(n)));
    }

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IEnumMoniker) return Give<IEnumMoniker>(this, out);
        return E_NOINTERFACE;
    }

    HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) override {
        if (fetched) *fetched = 0;
        if (!monikers) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        uint32_t n = 0;
        while (n < count && next_ < nodes_.size())
            monikers[n++] = new Moniker(context_, nodes_[next_++]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }

    HRESULT Reset() override {
        next_ = 0;
        return S_OK;
    }

  private:
    std::shared_ptr<Context> context_;
    std::vector<std::shared_ptr<const CaptureNode>> nodes_;
    size_t next_ = 0;
};

class DeviceEnumerator final : public Counted<ICreateDevEnum> {
  public:
    explicit DeviceEnumerator(std::shared_ptr<Context> context) : context_(std::move(context)) {}

    HRESULT QueryInterface(const IID& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_ICreateDevEnum)
            return Give<ICreateDevEnum>(this, out);
        return E_NOINTERFACE;
    }

    // Lists the cameras afresh on every call; S_FALSE and no enumerator when there are none.
    HRESULT CreateClassEnumerator(const CLSID& category, IEnumMoniker** out, uint32_t) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!(category == CLSID_VideoInputDeviceCategory)) return S_FALSE;
        NodeListing listing =
            ListCaptureNodes(*context_->sys, context_->paths, ToUsbGuid(context_->profile.set));
        context_->notes.Replace(std::move(listing.notes));
        if (listing.cameras.empty()) return S_FALSE;
        *out = new MonikerList(context_, std::move(listing.cameras));
        return S_OK;
    }

  private:
    std::shared_ptr<Context> context_;
};

}  // namespace

void NoteLog::Replace(std::vector<std::string> notes) {
    std::lock_guard<std::mutex> guard(lock_);
    notes_ = std::move(notes);
}

void NoteLog::Add(const std::string& note) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::string& n : notes_)
        if (n == note) return;
    notes_.push_back(note);
}

std::string NoteLog::Text() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::string text;
    for (const std::string& n : notes_) {
        if (!text.empty()) text += '\n';
        text += n;
    }
    return text;
}

ICreateDevEnum* NewDeviceEnumerator(std::shared_ptr<Context> context) {
    return new DeviceEnumerator(std::move(context));
}

HRESULT QueryUnit(SystemCalls& sys, int fd, uint8_t unit, uint8_t selector, uint8_t query,
                  std::span<uint8_t> data) {
    uvc_xu_control_query q{};
    q.unit = unit;
    q.selector = selector;
    q.query = query;
    q.size = static_cast<uint16_t>(data.size());
    q.data = data.data();
    const int r = RetryIoctl(sys, fd, UVCIOC_CTRL_QUERY, &q);
    return r < 0 ? StatusFromErrno(-r) : S_OK;
}

}  // namespace platform::uvc
