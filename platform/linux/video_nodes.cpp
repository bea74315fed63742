#include "platform/linux/video_nodes.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <system_error>
#include <tuple>
#include <utility>

#include "platform/text.h"

namespace platform::uvc {

namespace {

constexpr size_t kTextFileLimit = 4096;
// A configuration is at most 64 KiB; a device has a handful of them.
constexpr size_t kDescriptorsLimit = 1 << 20;

std::optional<uint32_t> ParseNumber(std::string_view text, int base) {
    uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, base);
    if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t' ||
                          s.back() == '\r' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

// "video12" -> 12; other class entries (v4l-subdev0, vbi0, radio0) are not capture nodes.
std::optional<uint32_t> VideoNodeIndex(std::string_view name) {
    constexpr std::string_view kPrefix = "video";
    if (name.substr(0, kPrefix.size()) != kPrefix) return std::nullopt;
    return ParseNumber(name.substr(kPrefix.size()), 10);
}

std::string ReadText(SystemCalls& sys, const std::string& path) {
    std::vector<uint8_t> bytes;
    if (sys.ReadFile(path, bytes, kTextFileLimit) != 0) return {};
    return std::string(
        TrimRight(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
}

std::optional<uint32_t> ReadHex(SystemCalls& sys, const std::string& path) {
    return ParseNumber(ReadText(sys, path), 16);
}

std::string ErrorText(int error) {
    return std::generic_category().message(error);
}

// The node's capabilities, or -errno. The node is open only for the question.
int QueryCapabilities(SystemCalls& sys, const std::string& devNode, v4l2_capability& cap) {
    const int fd = sys.Open(devNode, O_RDWR | O_CLOEXEC);
    if (fd < 0) return fd;
    cap = v4l2_capability{};
    const int r = RetryIoctl(sys, fd, VIDIOC_QUERYCAP, &cap);
    sys.Close(fd);
    return r < 0 ? r : 0;
}

bool IsVideoCapture(const v4l2_capability& cap) {
    const uint32_t caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return (caps & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

std::string CardName(const v4l2_capability& cap) {
    const char* card = reinterpret_cast<const char*>(cap.card);
    return std::string(TrimRight(std::string_view(card, strnlen(card, sizeof cap.card))));
}

class Lister {
  public:
    Lister(SystemCalls& sys, const Paths& paths, const UsbGuid& guid)
        : sys_(sys), paths_(paths), guid_(guid) {}

    NodeListing Run() {
        const std::string classDir = paths_.sysfs + "/class/video4linux";
        std::vector<std::string> names;
        const int r = sys_.ReadDir(classDir, names);
        if (r == -ENOENT) {
            listing_.notes.push_back(
                "No video devices: " + classDir +
                " does not exist (no camera attached, or the video drivers are not loaded)");
            return std::move(listing_);
        }
        if (r < 0) {
            listing_.notes.push_back(classDir + ": " + ErrorText(-r));
            return std::move(listing_);
        }
        std::vector<CaptureNode> nodes;
        for (const std::string& name : names)
            if (auto node = Inspect(name)) nodes.push_back(std::move(*node));
        SortAndKeepOnePerFunction(nodes);
        for (const CaptureNode& n : listing_.cameras) NoteUnit(n);
        return std::move(listing_);
    }

  private:
    std::optional<CaptureNode> Inspect(const std::string& name) {
        const auto index = VideoNodeIndex(name);
        if (!index) return std::nullopt;
        const std::string nodeDir = paths_.sysfs + "/class/video4linux/" + name;
        const std::string interfaceDir = nodeDir + "/device";
        // Only USB video devices carry the descriptors the unit is found in.
        std::string target;
        if (sys_.ReadLink(interfaceDir, target) != 0) return std::nullopt;
        const auto usb = ParseInterfaceName(target.substr(target.find_last_of('/') + 1));
        if (!usb) return std::nullopt;
        const std::string usbDir = interfaceDir + "/..";
        const auto vendor = ReadHex(sys_, usbDir + "/idVendor");
        const auto product = ReadHex(sys_, usbDir + "/idProduct");
        if (!vendor || !product) return std::nullopt;

        CaptureNode n;
        n.node = name;
        n.index = *index;
        n.devNode = paths_.dev + "/" + name;
        n.usb = *usb;
        n.vendorId = static_cast<uint16_t>(*vendor);
        n.productId = static_cast<uint16_t>(*product);
        const auto number = ReadHex(sys_, interfaceDir + "/bInterfaceNumber");
        n.interfaceNumber = static_cast<uint8_t>(number ? *number : usb->interface);

        v4l2_capability cap{};
        const int r = QueryCapabilities(sys_, n.devNode, cap);
        if (r < 0) {
            listing_.notes.push_back(OpenFailureNote(n.devNode, -r));
            return std::nullopt;
        }
        if (!IsVideoCapture(cap)) return std::nullopt;

        n.friendlyName = FriendlyName(ReadText(sys_, usbDir + "/product"), CardName(cap),
                                      n.vendorId, n.productId);
        n.devicePath = DevicePath(n.vendorId, n.productId, n.interfaceNumber, usb->device, name);
        ReadUnit(usbDir, n);
        return n;
    }

    void ReadUnit(const std::string& usbDir, CaptureNode& n) {
        std::vector<uint8_t> blob;
        if (const int r = sys_.ReadFile(usbDir + "/descriptors", blob, kDescriptorsLimit); r < 0) {
            listing_.notes.push_back(DescribeNode(n) +
                                     ": cannot read the USB descriptors: " + ErrorText(-r));
            return;
        }
        const ParsedDescriptors parsed =
            ParseVideoFunctions(blob, static_cast<uint8_t>(n.usb.configuration));
        n.descriptorsMalformed = parsed.malformed;
        const VideoFunction* f = FunctionOfInterface(parsed, n.interfaceNumber);
        if (!f) return;
        function_[n.devNode] = f->controlInterface;
        n.unit = FindUnit(*f, guid_);
    }

    void SortAndKeepOnePerFunction(std::vector<CaptureNode>& nodes) {
        auto key = [](const CaptureNode& n) {
            return std::tie(n.usb.bus, n.usb.ports, n.interfaceNumber, n.index, n.node);
        };
        std::sort(nodes.begin(), nodes.end(),
                  [&](const CaptureNode& a, const CaptureNode& b) { return key(a) < key(b); });
        // A function with two capture nodes is still one camera: the first node stands for it.
        std::set<std::pair<std::string, uint32_t>> seen;
        for (CaptureNode& n : nodes) {
            const auto it = function_.find(n.devNode);
            const uint32_t function = it != function_.end() ? it->second : n.interfaceNumber;
            if (seen.insert({n.usb.device, function}).second)
                listing_.cameras.push_back(std::move(n));
        }
    }

    void NoteUnit(const CaptureNode& n) {
        if (n.unit) return;
        std::string note = DescribeNode(n) + ": no vendor extension unit; it cannot be upgraded";
        if (n.descriptorsMalformed) note += " (its USB descriptors are malformed)";
        listing_.notes.push_back(std::move(note));
    }

    SystemCalls& sys_;
    const Paths& paths_;
    const UsbGuid& guid_;
    NodeListing listing_;
    std::map<std::string, uint32_t> function_;  // node -> its VideoControl interface
};

}  // namespace

std::optional<UsbInterfaceName> ParseInterfaceName(std::string_view name) {
    // <bus>-<port>[.<port>...]:<configuration>.<interface>
    const size_t dash = name.find('-');
    const size_t colon = name.find(':');
    if (dash == std::string_view::npos || colon == std::string_view::npos || colon < dash)
        return std::nullopt;
    UsbInterfaceName out;
    out.device = std::string(name.substr(0, colon));
    const auto bus = ParseNumber(name.substr(0, dash), 10);
    if (!bus) return std::nullopt;
    out.bus = *bus;
    std::string_view ports = name.substr(dash + 1, colon - dash - 1);
    for (;;) {
        const size_t dot = ports.find('.');
        const auto port = ParseNumber(ports.substr(0, dot), 10);
        if (!port) return std::nullopt;
        out.ports.push_back(*port);
        if (dot == std::string_view::npos) break;
        ports.remove_prefix(dot + 1);
    }
    const std::string_view tail = name.substr(colon + 1);
    const size_t dot = tail.find('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const auto configuration = ParseNumber(tail.substr(0, dot), 10);
    const auto interface = ParseNumber(tail.substr(dot + 1), 10);
    if (!configuration || !interface) return std::nullopt;
    out.configuration = *configuration;
    out.interface = *interface;
    return out;
}

std::u16string FriendlyName(std::string_view product, std::string_view card, uint16_t vendorId,
                            uint16_t productId) {
    if (!product.empty()) return WideFromNarrow(product);
    if (!card.empty()) return WideFromNarrow(card);
    char text[48];
    std::snprintf(text, sizeof text, "USB video device %04x:%04x", vendorId, productId);
    return WideFromNarrow(text);
}

std::u16string DevicePath(uint16_t vendorId, uint16_t productId, uint8_t interfaceNumber,
                          std::string_view usbDevice, std::string_view node) {
    char identity[40];
    std::snprintf(identity, sizeof identity, "usb\\vid_%04x&pid_%04x&mi_%02x\\", vendorId,
                  productId, interfaceNumber);
    std::string path = identity;
    path.append(usbDevice);
    path += '\\';
    path.append(node);
    return WideFromNarrow(path);
}

std::string DescribeNode(const CaptureNode& n) {
    return n.devNode + " (" + NarrowFromWide(n.friendlyName) + ")";
}

std::string OpenFailureNote(const std::string& devNode, int error) {
    if (error == EACCES || error == EPERM)
        return devNode +
               ": permission denied — add your user to the video group "
               "(sudo usermod -aG video $USER, then log in again), or use the camera from a "
               "local desktop session";
    return devNode + ": cannot be opened: " + ErrorText(error);
}

NodeListing ListCaptureNodes(SystemCalls& sys, const Paths& paths, const UsbGuid& unitGuid) {
    return Lister(sys, paths, unitGuid).Run();
}

}  // namespace platform::uvc
