// Listing the system's cameras: the V4L2 video-capture nodes of USB video
// devices, with their USB identity and extension unit read from sysfs, one
// entry per camera, in an order that stays the same from one listing to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/system_calls.h"
#include "platform/linux/uvc_descriptors.h"

namespace platform::uvc {

// Where sysfs and the device nodes are (tests point both into a temporary tree).
struct Paths {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

// The place of a USB interface as sysfs names it: "1-2.3:1.0" is bus 1, ports
// 2 then 3, configuration 1, interface 0.
struct UsbInterfaceName {
    std::string device;  // "1-2.3"
    uint32_t bus = 0;
    std::vector<uint32_t> ports;
    uint32_t configuration = 0;
    uint32_t interface = 0;
};
[[nodiscard]] std::optional<UsbInterfaceName> ParseInterfaceName(std::string_view name);

// One camera: its capture node and what the library is told about it.
struct CaptureNode {
    std::string node;     // "video0"
    uint32_t index = 0;   // 0
    std::string devNode;  // "/dev/video0"
    UsbInterfaceName usb;
    uint8_t interfaceNumber = 0;  // the node's own USB interface
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::u16string friendlyName;
    std::u16string devicePath;
    std::optional<ExtensionUnit> unit;  // the unit with the GUID asked for, if any
    bool descriptorsMalformed = false;
};

struct NodeListing {
    std::vector<CaptureNode> cameras;
    // Why nodes were left out, or why a camera cannot be reached, one text each.
    std::vector<std::string> notes;
};

// Lists the video-capture nodes (metadata and other nodes are not cameras),
// ordered by USB bus and port path, interface and node number, one per video
// function. Each is opened once to ask for its capabilities; a node that cannot
// be opened is left out with a note.
[[nodiscard]] NodeListing ListCaptureNodes(SystemCalls& sys, const Paths& paths,
                                           const UsbGuid& unitGuid);

// The USB product name, else the V4L2 card name, else a text with the IDs.
[[nodiscard]] std::u16string FriendlyName(std::string_view product, std::string_view card,
                                          uint16_t vendorId, uint16_t productId);

// "usb\vid_1d6b&pid_0102&mi_00\1-2.3\video0": the vendor and product tokens
// come first, so the first "vid" in the text is the vendor's, not the node's.
[[nodiscard]] std::u16string DevicePath(uint16_t vendorId, uint16_t productId,
                                        uint8_t interfaceNumber, std::string_view usbDevice,
                                        std::string_view node);

// "/dev/video0 (HD Cam)": how notes name a camera.
[[nodiscard]] std::string DescribeNode(const CaptureNode& n);

// The note for a node that cannot be opened for `error` (an errno).
[[nodiscard]] std::string OpenFailureNote(const std::string& devNode, int error);

}  // namespace platform::uvc
