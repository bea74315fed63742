#include "platform/linux/uvc_descriptors.h"

#include <algorithm>
#include <cstddef>

namespace platform::uvc {

namespace {

// Standard descriptor types.
constexpr uint8_t kTypeConfiguration = 0x02;
constexpr uint8_t kTypeInterface = 0x04;
// Video class.
constexpr uint8_t kClassVideo = 0x0E;
constexpr uint8_t kSubclassVideoControl = 0x01;
constexpr uint8_t kTypeClassInterface = 0x24;
constexpr uint8_t kSubtypeHeader = 0x01;
constexpr uint8_t kSubtypeExtensionUnit = 0x06;

constexpr size_t kConfigurationLength = 9;
constexpr size_t kInterfaceLength = 9;
// Header: everything up to bInCollection, then one byte per streaming interface.
constexpr size_t kHeaderFixedLength = 12;
// Extension unit up to bNrInPins; then the source IDs, bControlSize, the
// controls and iExtension.
constexpr size_t kUnitFixedLength = 22;

uint16_t Le16(std::span<const uint8_t> d, size_t at) {
    return static_cast<uint16_t>(d[at] | (d[at + 1] << 8));
}

// The walk over one configuration's class-specific video descriptors.
class Walker {
  public:
    explicit Walker(uint8_t configValue) : configValue_(configValue) {}

    // False when the descriptor is malformed (the walk ends).
    bool Take(std::span<const uint8_t> d, size_t offset, size_t& configEnd) {
        const uint8_t type = d[1];
        if (type == kTypeConfiguration) return Configuration(d, offset, configEnd);
        if (!inTarget_) return true;
        if (type == kTypeInterface) return Interface(d);
        if (type == kTypeClassInterface && current_) return ClassSpecific(d);
        return true;
    }

    void LeaveConfiguration() {
        inTarget_ = false;
        current_.reset();
    }

    ParsedDescriptors result;

  private:
    bool Configuration(std::span<const uint8_t> d, size_t offset, size_t& configEnd) {
        if (d.size() < kConfigurationLength) return false;
        const size_t total = Le16(d, 2);
        if (total < d.size() || total > configEnd - offset) return false;
        configEnd = offset + total;
        inTarget_ = d[5] == configValue_;
        current_.reset();
        return true;
    }

    bool Interface(std::span<const uint8_t> d) {
        if (d.size() < kInterfaceLength) return false;
        current_.reset();
        const bool videoControl = d[5] == kClassVideo && d[6] == kSubclassVideoControl;
        // A VideoControl interface has a single setting; its descriptors follow setting 0.
        if (videoControl && d[3] == 0) {
            result.functions.push_back(VideoFunction{d[2], {}, {}});
            current_ = result.functions.size() - 1;
        }
        return true;
    }

    bool ClassSpecific(std::span<const uint8_t> d) {
        if (d.size() < 3) return false;
        VideoFunction& f = result.functions[*current_];
        if (d[2] == kSubtypeHeader) return Header(d, f);
        if (d[2] == kSubtypeExtensionUnit) return Unit(d, f);
        return true;
    }

    static bool Header(std::span<const uint8_t> d, VideoFunction& f) {
        if (d.size() < kHeaderFixedLength) return false;
        const size_t count = d[11];
        if (d.size() < kHeaderFixedLength + count) return false;
        const auto list = d.subspan(kHeaderFixedLength, count);
        f.streamingInterfaces.assign(list.begin(), list.end());
        return true;
    }

    static bool Unit(std::span<const uint8_t> d, VideoFunction& f) {
        if (d.size() < kUnitFixedLength) return false;
        const size_t pins = d[21];
        // bControlSize sits after the source IDs; iExtension after the controls.
        if (d.size() < kUnitFixedLength + pins + 1) return false;
        const size_t controlSize = d[kUnitFixedLength + pins];
        const size_t controlsAt = kUnitFixedLength + pins + 1;
        if (d.size() < controlsAt + controlSize + 1) return false;
        ExtensionUnit unit;
        unit.unitId = d[3];
        std::copy_n(d.begin() + 4, unit.guid.size(), unit.guid.begin());
        const auto controls = d.subspan(controlsAt, controlSize);
        unit.controls.assign(controls.begin(), controls.end());
        f.units.push_back(std::move(unit));
        return true;
    }

    const uint8_t configValue_;
    bool inTarget_ = false;
    std::optional<size_t> current_;  // index of the VideoControl interface being read
};

}  // namespace

UsbGuid ToUsbGuid(const GUID& guid) {
    UsbGuid b{};
    for (int i = 0; i < 4; ++i) b[i] = static_cast<uint8_t>(guid.Data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) b[4 + i] = static_cast<uint8_t>(guid.Data2 >> (8 * i));
    for (int i = 0; i < 2; ++i) b[6 + i] = static_cast<uint8_t>(guid.Data3 >> (8 * i));
    std::copy_n(guid.Data4, 8, b.begin() + 8);
    return b;
}

bool ExtensionUnit::Declares(uint32_t selector) const {
    if (selector == 0) return false;
    const size_t bit = selector - 1;
    if (bit / 8 >= controls.size()) return false;
    return (controls[bit / 8] >> (bit % 8)) & 1;
}

ParsedDescriptors ParseVideoFunctions(std::span<const uint8_t> descriptors, uint8_t configValue) {
    Walker walker(configValue);
    const size_t size = descriptors.size();
    // Descriptors before the first configuration (the device descriptor) are
    // bounded by the buffer alone; within a configuration, by its wTotalLength.
    size_t end = size;
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 2) {
            walker.result.malformed = true;
            break;
        }
        const size_t length = descriptors[pos];
        if (length < 2 || length > end - pos) {
            walker.result.malformed = true;
            break;
        }
        const auto d = descriptors.subspan(pos, length);
        if (d[1] == kTypeConfiguration) end = size;
        if (!walker.Take(d, pos, end)) {
            walker.result.malformed = true;
            break;
        }
        pos += length;
        if (pos == end) {
            walker.LeaveConfiguration();
            end = size;
        }
    }
    return std::move(walker.result);
}

const VideoFunction* FunctionOfInterface(const ParsedDescriptors& parsed, uint8_t interfaceNumber) {
    for (const VideoFunction& f : parsed.functions)
        if (f.controlInterface == interfaceNumber) return &f;
    for (const VideoFunction& f : parsed.functions)
        if (std::find(f.streamingInterfaces.begin(), f.streamingInterfaces.end(),
                      interfaceNumber) != f.streamingInterfaces.end())
            return &f;
    return nullptr;
}

std::optional<ExtensionUnit> FindUnit(const VideoFunction& function, const UsbGuid& guid) {
    for (const ExtensionUnit& unit : function.units)
        if (unit.guid == guid) return unit;
    return std::nullopt;
}

}  // namespace platform::uvc
