// Enumeration: walk the system's video-input devices, keep those with the
// vendor extension unit and a known chip, and merge them into the registry so
// that a camera still registered and still answering keeps its device object.
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "chip/chip_tables.h"
#include "platform/devenum.h"

namespace quillon {

using namespace platform;

namespace {

constexpr size_t kTextField = 1024;

struct EnumDevInfo {
    std::u16string friendName;
    std::u16string devicePath;
    ComPtr<IBaseFilter> filter;
    ComPtr<IMoniker> moniker;
    std::unique_ptr<CameraDevice> device;
};

// The text as a DeviceInfo field keeps it: up to the first zero and at most the
// field's length. The working record keeps the same text, so a camera compares
// equal to itself on the next enumeration however long its texts are.
std::u16string AsField(std::u16string text) {
    const size_t zero = text.find(u'\0');
    if (zero != std::u16string::npos) text.resize(zero);
    if (text.size() > kTextField) text.resize(kTextField);
    return text;
}

void CopyToField(CamChar16 (&field)[kTextField], const std::u16string& text) {
    std::memcpy(field, text.data(), std::min(text.size(), kTextField) * sizeof(CamChar16));
}

// Reads one text property; empty when the bag or the property cannot be read,
// so a camera never carries the texts of the camera listed before it.
std::u16string ReadText(IPropertyBag* bag, const char16_t* name) {
    if (!bag) return {};
    VARIANT var;
    VariantInit(&var);
    var.vt = VT_BSTR;
    std::u16string text;
    if (bag->Read(name, &var, nullptr) == S_OK) {
        text = var.bstrVal;
        VariantClear(&var);
    }
    return AsField(std::move(text));
}

// Discovery steps for one moniker; null when the camera does not qualify.
std::unique_ptr<EnumDevInfo> Qualify(IMoniker* moniker) {
    auto binfo = std::make_unique<EnumDevInfo>();
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
        bag.Reset();
    binfo->friendName = ReadText(bag.Get(), u"FriendlyName");
    binfo->devicePath = ReadText(bag.Get(), u"DevicePath");

    ComPtr<IBaseFilter> filter;
    if (moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid()) != S_OK)
        return nullptr;
    const int32_t node = FindExtensionUnitNode(filter.Get());
    if (node < 0) return nullptr;

    auto device = std::make_unique<CameraDevice>(moniker, filter.Get(), node);
    uint8_t chipID = 0;
    int32_t asicArchType = 0;
    const int32_t chipClass = device->ReadChipId(&chipID, &asicArchType);
    if (chipClass == -1) return nullptr;
    device->InitChipProfile(asicArchType);

    DeviceInfo ci;
    std::memset(&ci, 0, sizeof ci);
    ci.chipID = chipID;
    ci.classSize = ClassSize(chipClass);
    CopyToField(ci.friendName, binfo->friendName);
    CopyToField(ci.devicePath, binfo->devicePath);
    device->SetDeviceInfo(ci);

    binfo->filter = filter;
    binfo->moniker = ComPtr<IMoniker>(moniker);
    binfo->device = std::move(device);
    return binfo;
}

std::u16string FieldText(const CamChar16 (&field)[kTextField]) {
    return std::u16string(field, std::find(field, field + kTextField, CamChar16{0}));
}

}  // namespace

// Index of the registered device that is this camera and still answers, or -1.
static int32_t isExistAndValid(CameraManager& m, const EnumDevInfo& entry) {
    for (size_t k = 0; k < m.devices.size(); ++k) {
        CameraDevice* d = m.devices[k];
        if (!d) continue;
        DeviceInfo itemInfo;
        d->GetDeviceInfo(itemInfo);
        // Every registered camera is probed before its texts are compared.
        const bool answers = d->ProbeChip() == 0;
        if (FieldText(itemInfo.friendName) == entry.friendName &&
            FieldText(itemInfo.devicePath) == entry.devicePath && answers)
            return static_cast<int32_t>(k);
    }
    return -1;
}

int32_t CameraManager::EnumerateDevices() {
    std::lock_guard<std::mutex> guard(devicesLock);

    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devEnum.PutVoid())))
        return 1;
    ComPtr<IEnumMoniker> enumMoniker;
    if (devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, enumMoniker.Put(), 0) !=
            S_OK ||
        !enumMoniker)
        return 1;

    std::vector<std::unique_ptr<EnumDevInfo>> enumDevList;
    enumMoniker->Reset();
    for (;;) {
        ComPtr<IMoniker> moniker;
        uint32_t fetched = 0;
        if (enumMoniker->Next(1, moniker.Put(), &fetched) != S_OK || !moniker) break;
        if (auto binfo = Qualify(moniker.Get())) enumDevList.push_back(std::move(binfo));
    }

    // Merge.
    int32_t newSelection = 0;
    std::vector<CameraDevice*> cams;
    for (size_t i = 0; i < enumDevList.size(); ++i) {
        EnumDevInfo& entry = *enumDevList[i];
        const int32_t k = isExistAndValid(*this, entry);
        if (k < 0) {
            cams.push_back(entry.device.release());
        } else {
            cams.push_back(devices[k]);
            if (k == selectedIndex && k != -1) newSelection = static_cast<int32_t>(i);
            entry.device.reset();
            devices[k] = nullptr;
        }
    }
    for (CameraDevice*& d : devices) {
        delete d;
        d = nullptr;
    }
    if (cams.empty()) return 1;
    devices = std::move(cams);
    selectedIndex = newSelection;
    return 0;
}

}  // namespace quillon
