#include "tests/linux/fake_uvc_system.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "platform/linux/uvc_backend.h"

namespace uvc_test {

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteText(const fs::path& path, const std::string& text) {
    const std::string line = text + "\n";
    WriteFile(path, line.data(), line.size());
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

fs::path MakeTempRoot() {
    std::string pattern = (fs::temp_directory_path() / "quillon-uvc-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    return pattern;
}

bool Declares(const std::vector<uint8_t>& declared, uint8_t selector) {
    if (selector == 0) return false;
    const size_t bit = selector - 1u;
    return bit / 8 < declared.size() && ((declared[bit / 8] >> (bit % 8)) & 1);
}

}  // namespace

void PrintTo(const RecordedQuery& q, std::ostream* os) {
    char head[64];
    std::snprintf(head, sizeof head, "{unit %u, selector %u, query 0x%02X, size %u, data", q.unit,
                  q.selector, q.query, q.size);
    *os << head;
    for (uint8_t b : q.data) {
        char byte[4];
        std::snprintf(byte, sizeof byte, " %02X", b);
        *os << byte;
    }
    *os << '}';
}

int RegisterChip::Set(uint8_t selector, std::span<const uint8_t> data) {
    if (selector == 1) {
        const uint16_t address = static_cast<uint16_t>(data[0] | (data[1] << 8));
        if (data[3] == 0xFF) {
            pending_ = address;
        } else {
            registers[address] = data[2];
        }
    } else if (selector == 6) {
        block.assign(data.begin(), data.end());
    }
    return 0;
}

int RegisterChip::Get(uint8_t selector, std::span<uint8_t> data) {
    std::fill(data.begin(), data.end(), 0);
    if (selector == 1) {
        data[0] = static_cast<uint8_t>(pending_);
        data[1] = static_cast<uint8_t>(pending_ >> 8);
        const auto it = registers.find(pending_);
        data[2] = it == registers.end() ? 0 : it->second;
    } else if (selector == 6) {
        std::copy_n(block.begin(), std::min(block.size(), data.size()), data.begin());
    }
    return 0;
}

FakeSystem::FakeSystem()
    : root_(MakeTempRoot()), sysfs_(root_ / "sys"), real_(platform::uvc::RealSystemCalls()) {
    fs::create_directories(sysfs_ / "class" / "video4linux");
    fs::create_directories(sysfs_ / "devices" / "usb");
    fs::create_directories(sysfs_ / "devices" / "platform");
    fs::create_directories(root_ / "dev");
    paths_.sysfs = sysfs_.string();
    paths_.dev = (root_ / "dev").string();
}

FakeSystem::~FakeSystem() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

void FakeSystem::AddUsbDevice(const std::string& name, uint16_t vendorId, uint16_t productId,
                              const std::optional<std::string>& product,
                              const std::vector<uint8_t>& descriptors) {
    const fs::path dir = sysfs_ / "devices" / "usb" / name;
    fs::create_directories(dir);
    WriteText(dir / "idVendor", Hex(vendorId, 4));
    WriteText(dir / "idProduct", Hex(productId, 4));
    if (product) WriteText(dir / "product", *product);
    WriteFile(dir / "descriptors", descriptors.data(), descriptors.size());
}

FakeNode& FakeSystem::NewNode(const std::string& node, uint32_t deviceCaps) {
    const std::string devPath = paths_.dev + "/" + node;
    WriteText(devPath, "");  // the node exists; its behaviour is the fake's
    auto state = std::make_unique<FakeNode>();
    state->deviceCaps = deviceCaps;
    FakeNode& ref = *state;
    std::lock_guard<std::mutex> guard(lock_);
    nodes_[devPath] = std::move(state);
    return ref;
}

FakeNode& FakeSystem::AddVideoNode(const std::string& node, const std::string& interfaceName,
                                   uint8_t interfaceNumber, uint32_t deviceCaps) {
    const std::string device = interfaceName.substr(0, interfaceName.find(':'));
    const fs::path interfaceDir = sysfs_ / "devices" / "usb" / device / interfaceName;
    const fs::path nodeDir = interfaceDir / "video4linux" / node;
    fs::create_directories(nodeDir);
    WriteText(interfaceDir / "bInterfaceNumber", Hex(interfaceNumber, 2));
    WriteText(nodeDir / "name", node);
    // The links as the kernel makes them: relative, through the device tree.
    fs::create_directory_symlink(fs::path("../../..") / interfaceName, nodeDir / "device");
    fs::create_directory_symlink(
        fs::path("../../devices/usb") / device / interfaceName / "video4linux" / node,
        sysfs_ / "class" / "video4linux" / node);
    return NewNode(node, deviceCaps);
}

FakeNode& FakeSystem::AddPlatformVideoNode(const std::string& node, uint32_t deviceCaps) {
    const fs::path deviceDir = sysfs_ / "devices" / "platform" / "vivid.0";
    const fs::path nodeDir = deviceDir / "video4linux" / node;
    fs::create_directories(nodeDir);
    fs::create_directory_symlink(fs::path("../../../vivid.0"), nodeDir / "device");
    fs::create_directory_symlink(fs::path("../../devices/platform/vivid.0/video4linux") / node,
                                 sysfs_ / "class" / "video4linux" / node);
    return NewNode(node, deviceCaps);
}

void FakeSystem::AddClassEntry(const std::string& name) {
    fs::create_directories(sysfs_ / "class" / "video4linux" / name);
}

FakeNode& FakeSystem::Node(const std::string& node) {
    std::lock_guard<std::mutex> guard(lock_);
    return *nodes_.at(paths_.dev + "/" + node);
}

void FakeSystem::GiveUnit(const std::string& node, uint8_t unitId, std::vector<uint8_t> declared,
                          std::shared_ptr<FakeChip> chip) {
    FakeNode& n = Node(node);
    std::lock_guard<std::mutex> guard(lock_);
    n.unitId = unitId;
    n.declared = std::move(declared);
    for (const auto& c : platform::uvc::CameraUnitProfile().controls)
        n.lengths[static_cast<uint8_t>(c.selector)] = c.length;
    n.chip = std::move(chip);
}

int FakeSystem::OpenDescriptors() const {
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(open_.size());
}

int FakeSystem::Open(const std::string& path, int flags) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = nodes_.find(path);
        if (it != nodes_.end()) {
            FakeNode& n = *it->second;
            n.openFlags.push_back(flags);
            if (n.openError) return -n.openError;
            const int fd = nextFd_++;
            open_[fd] = &n;
            ++n.openCount;
            return fd;
        }
    }
    return real_->Open(path, flags);
}

void FakeSystem::Close(int fd) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        const auto it = open_.find(fd);
        if (it != open_.end()) {
            --it->second->openCount;
            open_.erase(it);
            return;
        }
        if (fd >= 1000) {
            ++badCloses_;
            return;
        }
    }
    real_->Close(fd);
}

int FakeSystem::Ioctl(int fd, unsigned long request, void* argument) {
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = open_.find(fd);
    if (it == open_.end()) return -EBADF;
    FakeNode& n = *it->second;
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(argument);
        *cap = v4l2_capability{};
        std::strncpy(reinterpret_cast<char*>(cap->driver), "uvcvideo", sizeof cap->driver);
        std::strncpy(reinterpret_cast<char*>(cap->card), n.card.c_str(), sizeof cap->card);
        cap->device_caps = n.deviceCaps;
        cap->capabilities = n.deviceCaps | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    if (request == UVCIOC_CTRL_QUERY) return UnitQuery(n, argument);
    return -ENOTTY;
}

// The driver's order of checks: the unit, the control, the length, then the camera.
int FakeSystem::UnitQuery(FakeNode& n, void* argument) {
    const auto* q = static_cast<const uvc_xu_control_query*>(argument);
    n.queries.push_back({q->unit, q->selector, q->query, q->size,
                         std::vector<uint8_t>(q->data, q->data + q->size)});
    if (!n.queryErrors.empty()) {
        const int error = n.queryErrors.front();
        n.queryErrors.pop_front();
        if (error) return -error;
    }
    if (!n.answersUnitQueries) return -ENOTTY;
    if (!n.unitId || *n.unitId != q->unit || !Declares(n.declared, q->selector)) return -ENOENT;
    const uint16_t length = n.lengths.count(q->selector) ? n.lengths[q->selector] : 0;
    const std::span<uint8_t> data(q->data, q->size);
    switch (q->query) {
        case UVC_GET_INFO:
            if (q->size != 1) return -ENOBUFS;
            data[0] = 0x03;  // GET and SET supported
            return 0;
        case UVC_GET_LEN:
            if (q->size != 2) return -ENOBUFS;
            data[0] = static_cast<uint8_t>(length);
            data[1] = static_cast<uint8_t>(length >> 8);
            return 0;
        case UVC_SET_CUR:
            if (q->size != length) return -ENOBUFS;
            return n.chip ? n.chip->Set(q->selector, data) : 0;
        case UVC_GET_CUR:
            if (q->size != length) return -ENOBUFS;
            return n.chip ? n.chip->Get(q->selector, data) : 0;
        default:
            return -EINVAL;
    }
}

int FakeSystem::ReadDir(const std::string& path, std::vector<std::string>& names) {
    return real_->ReadDir(path, names);
}

int FakeSystem::ReadLink(const std::string& path, std::string& target) {
    return real_->ReadLink(path, target);
}

int FakeSystem::ReadFile(const std::string& path, std::vector<uint8_t>& bytes, size_t limit) {
    return real_->ReadFile(path, bytes, limit);
}

}  // namespace uvc_test
