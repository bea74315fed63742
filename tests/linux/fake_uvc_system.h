// A system for the real-camera backend to run against in tests: a sysfs tree
// in a temporary directory (with the links the kernel makes), and fake device
// nodes that answer VIDIOC_QUERYCAP and extension-unit queries the way the
// uvcvideo driver does, from a small simulated chip.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/system_calls.h"
#include "platform/linux/video_nodes.h"

namespace uvc_test {

// The camera's controller as the unit's controls reach it. Results are 0 or -errno.
class FakeChip {
  public:
    virtual ~FakeChip() = default;
    virtual int Set(uint8_t selector, std::span<const uint8_t> data) = 0;
    virtual int Get(uint8_t selector, std::span<uint8_t> data) = 0;
};

// A register file behind the register control (a SET {lo, hi, value, 0x00}
// writes, a SET {lo, hi, 0x00, 0xFF} asks, the next GET answers in byte 2) and
// a block buffer behind the block control. Other controls accept SETs and
// answer zeros.
class RegisterChip final : public FakeChip {
  public:
    int Set(uint8_t selector, std::span<const uint8_t> data) override;
    int Get(uint8_t selector, std::span<uint8_t> data) override;

    std::map<uint16_t, uint8_t> registers;
    std::vector<uint8_t> block;

  private:
    uint16_t pending_ = 0;
};

// One extension-unit query as the driver received it.
struct RecordedQuery {
    uint8_t unit;
    uint8_t selector;
    uint8_t query;
    uint16_t size;
    std::vector<uint8_t> data;  // the buffer as handed in

    friend bool operator==(const RecordedQuery&, const RecordedQuery&) = default;
};
void PrintTo(const RecordedQuery& q, std::ostream* os);

struct FakeNode {
    uint32_t deviceCaps = 0;  // V4L2 device capabilities
    std::string card;
    int openError = 0;  // errno that opening fails with; 0: opens
    // The unit the driver knows on this node; none on a metadata node.
    bool answersUnitQueries = true;
    std::optional<uint8_t> unitId;
    std::vector<uint8_t> declared;        // bmControls as the descriptor gives it
    std::map<uint8_t, uint16_t> lengths;  // control lengths the camera reports
    std::shared_ptr<FakeChip> chip;
    std::deque<int> queryErrors;  // errno for the next queries, 0: answer normally
    std::vector<RecordedQuery> queries;
    std::vector<int> openFlags;
    int openCount = 0;  // descriptors open now
};

class FakeSystem final : public platform::uvc::SystemCalls {
  public:
    FakeSystem();
    ~FakeSystem() override;

    const platform::uvc::Paths& Paths() const { return paths_; }
    const std::filesystem::path& SysfsRoot() const { return sysfs_; }

    // --- sysfs ---
    // A USB device "1-2.3" with its attributes; `descriptors` as the sysfs file holds them.
    void AddUsbDevice(const std::string& name, uint16_t vendorId, uint16_t productId,
                      const std::optional<std::string>& product,
                      const std::vector<uint8_t>& descriptors);
    // Video node `node` ("video0") of interface `interfaceName` ("1-2.3:1.0"), with its
    // device node; the node's state is returned for the test to shape.
    FakeNode& AddVideoNode(const std::string& node, const std::string& interfaceName,
                           uint8_t interfaceNumber, uint32_t deviceCaps);
    // A video node whose device is not a USB interface.
    FakeNode& AddPlatformVideoNode(const std::string& node, uint32_t deviceCaps);
    // Any other class entry (v4l-subdev0, ...), without a device node.
    void AddClassEntry(const std::string& name);

    // --- device nodes ---
    FakeNode& Node(const std::string& node);
    // Unit and controls as the driver will see them, with the library's lengths.
    void GiveUnit(const std::string& node, uint8_t unitId, std::vector<uint8_t> declared,
                  std::shared_ptr<FakeChip> chip);
    int OpenDescriptors() const;
    int BadCloses() const { return badCloses_; }

    // --- SystemCalls ---
    int Open(const std::string& path, int flags) override;
    void Close(int fd) override;
    int Ioctl(int fd, unsigned long request, void* argument) override;
    int ReadDir(const std::string& path, std::vector<std::string>& names) override;
    int ReadLink(const std::string& path, std::string& target) override;
    int ReadFile(const std::string& path, std::vector<uint8_t>& bytes, size_t limit) override;

  private:
    int UnitQuery(FakeNode& node, void* argument);
    FakeNode& NewNode(const std::string& node, uint32_t deviceCaps);

    std::filesystem::path root_;
    std::filesystem::path sysfs_;
    platform::uvc::Paths paths_;
    std::shared_ptr<platform::uvc::SystemCalls> real_;
    mutable std::mutex lock_;
    std::map<std::string, std::unique_ptr<FakeNode>> nodes_;  // by device path
    std::map<int, FakeNode*> open_;
    int nextFd_ = 1000;
    int badCloses_ = 0;
};

}  // namespace uvc_test
