// USB descriptor blobs laid out as a video-class camera reports them, built
// piece by piece, and an exactly sized heap copy so that any read past the end
// of a blob is caught by AddressSanitizer.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <vector>

#include "platform/linux/uvc_descriptors.h"

namespace uvc_test {

using Bytes = std::vector<uint8_t>;

// A GUID other than the library's unit, distinct per `seed`.
platform::uvc::UsbGuid OtherGuid(uint8_t seed);
// The library's unit GUID in USB byte order.
platform::uvc::UsbGuid CameraGuid();

Bytes Join(std::initializer_list<Bytes> parts);

Bytes DeviceDescriptor(uint16_t vendorId, uint16_t productId);
// A configuration descriptor followed by `body`; wTotalLength covers both.
Bytes Configuration(uint8_t value, const Bytes& body);
Bytes Association(uint8_t firstInterface, uint8_t count);
Bytes Interface(uint8_t number, uint8_t alternate, uint8_t cls, uint8_t subclass);
Bytes VideoControlInterface(uint8_t number);
Bytes VideoStreamingInterface(uint8_t number, uint8_t alternate = 0);
// The class-specific VideoControl header listing its streaming interfaces.
Bytes ControlHeader(std::initializer_list<uint8_t> streaming);
Bytes InputTerminal(uint8_t id);
Bytes OutputTerminal(uint8_t id, uint8_t source);
Bytes UnitDescriptor(uint8_t id, const platform::uvc::UsbGuid& guid, const Bytes& controls,
                     std::initializer_list<uint8_t> sources = {1});
Bytes Endpoint(uint8_t address);

// One video function: VideoControl interface `control` (header, terminals,
// the given units, an interrupt endpoint) and streaming interface `control` + 1
// with two settings.
Bytes FunctionDescriptors(uint8_t control, const Bytes& units);

// A whole camera: device descriptor and configuration 1 with one video
// function (interfaces 0 and 1) whose units are `units`.
Bytes Camera(const Bytes& units);

// The bytes in a heap block of exactly their size.
class ExactBuffer {
  public:
    explicit ExactBuffer(std::span<const uint8_t> bytes);
    std::span<const uint8_t> Span() const { return {data_.get(), size_}; }

  private:
    std::unique_ptr<uint8_t[]> data_;
    size_t size_;
};

}  // namespace uvc_test
