#include "tests/linux/uvc_blobs.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/uvc_backend.h"

namespace uvc_test {

using platform::uvc::UsbGuid;

namespace {

Bytes Le16(uint16_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
}

Bytes WithLength(Bytes body) {
    body.insert(body.begin(), static_cast<uint8_t>(body.size() + 1));
    return body;
}

}  // namespace

UsbGuid OtherGuid(uint8_t seed) {
    UsbGuid g{};
    for (size_t i = 0; i < g.size(); ++i) g[i] = static_cast<uint8_t>(seed * 17 + i);
    return g;
}

UsbGuid CameraGuid() {
    return platform::uvc::ToUsbGuid(platform::uvc::CameraUnitProfile().set);
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes DeviceDescriptor(uint16_t vendorId, uint16_t productId) {
    return Join({{18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 0x40},
                 Le16(vendorId),
                 Le16(productId),
                 {0x00, 0x01, 0x01, 0x02, 0x03, 0x01}});
}

Bytes Configuration(uint8_t value, const Bytes& body) {
    const uint16_t total = static_cast<uint16_t>(9 + body.size());
    return Join({{9, 0x02}, Le16(total), {0x02, value, 0x00, 0x80, 0xFA}, body});
}

Bytes Association(uint8_t firstInterface, uint8_t count) {
    return {8, 0x0B, firstInterface, count, 0x0E, 0x03, 0x00, 0x02};
}

Bytes Interface(uint8_t number, uint8_t alternate, uint8_t cls, uint8_t subclass) {
    return {9, 0x04, number, alternate, 0x01, cls, subclass, 0x00, 0x00};
}

Bytes VideoControlInterface(uint8_t number) {
    return Interface(number, 0, 0x0E, 0x01);
}

Bytes VideoStreamingInterface(uint8_t number, uint8_t alternate) {
    return Interface(number, alternate, 0x0E, 0x02);
}

Bytes ControlHeader(std::initializer_list<uint8_t> streaming) {
    Bytes body = Join({{0x24, 0x01}, Le16(0x0110), Le16(0), {0x80, 0x8D, 0x5B, 0x00}});
    body.push_back(static_cast<uint8_t>(streaming.size()));
    body.insert(body.end(), streaming.begin(), streaming.end());
    return WithLength(body);
}

Bytes InputTerminal(uint8_t id) {
    return {18,   0x24, 0x02, id,   0x01, 0x02, 0x00, 0x00, 0x00,
            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00};
}

Bytes OutputTerminal(uint8_t id, uint8_t source) {
    return {9, 0x24, 0x03, id, 0x01, 0x01, 0x00, source, 0x00};
}

Bytes UnitDescriptor(uint8_t id, const UsbGuid& guid, const Bytes& controls,
                     std::initializer_list<uint8_t> sources) {
    Bytes body{0x24, 0x06, id};
    body.insert(body.end(), guid.begin(), guid.end());
    body.push_back(static_cast<uint8_t>(controls.size() * 8));  // bNumControls
    body.push_back(static_cast<uint8_t>(sources.size()));
    body.insert(body.end(), sources.begin(), sources.end());
    body.push_back(static_cast<uint8_t>(controls.size()));
    body.insert(body.end(), controls.begin(), controls.end());
    body.push_back(0x00);  // iExtension
    return WithLength(body);
}

Bytes Endpoint(uint8_t address) {
    return {7, 0x05, address, 0x03, 0x10, 0x00, 0x06};
}

Bytes FunctionDescriptors(uint8_t control, const Bytes& units) {
    const uint8_t streaming = static_cast<uint8_t>(control + 1);
    return Join({Association(control, 2), VideoControlInterface(control),
                 ControlHeader({streaming}), InputTerminal(1), units, OutputTerminal(9, 1),
                 Endpoint(0x83), VideoStreamingInterface(streaming),
                 VideoStreamingInterface(streaming, 1), Endpoint(0x81)});
}

Bytes Camera(const Bytes& units) {
    return Join(
        {DeviceDescriptor(0x1d6b, 0x0102), Configuration(1, FunctionDescriptors(0, units))});
}

ExactBuffer::ExactBuffer(std::span<const uint8_t> bytes)
    : data_(new uint8_t[bytes.size() ? bytes.size() : 1]), size_(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), data_.get());
}

}  // namespace uvc_test
