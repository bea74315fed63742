// Direct and worker paths of the timed calls: results, values, and a camera
// that stops answering.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>

#include "camlib/camera_device.h"
#include "camlib/camera_manager.h"
#include "platform/thread.h"
#include "tests/testing/fake_ks.h"
#include "transport/timed_calls.h"

namespace quillon {
namespace {

using testing::FakeFilter;
using testing::Hex;

class TimedCalls : public ::testing::Test {
protected:
    void SetUp() override {
        CameraManager::Instance().ResetForTesting();
        filter = FakeFilter::Create();
        dev = std::make_unique<CameraDevice>(nullptr, filter, 1);
        filter->Release();
    }
    void TearDown() override {
        WaitForTimedWorkers();
        platform::SetThreadCreationFailsForTesting(false);
        dev.reset();
        CameraManager::Instance().ResetForTesting();
    }
    void UseWorker(uint32_t timeoutMs = 1000) {
        CameraManager::Instance().useWorkerThread = true;
        CameraManager::Instance().timeoutMs = timeoutMs;
    }
    FakeFilter* filter = nullptr;
    std::unique_ptr<CameraDevice> dev;
};

constexpr platform::HRESULT kKsFailure = static_cast<platform::HRESULT>(0x8007001F);

TEST_F(TimedCalls, FailureStatusPassesThroughDirectlyAndBecomesOneOnAWorker) {
    filter->handler = [](auto&, uint8_t*, uint32_t) { return kKsFailure; };
    uint8_t b[8] = {};
    EXPECT_EQ(dev->ReadRegister(0x10, b), kKsFailure);
    EXPECT_EQ(dev->WriteMemory(0, b, 8), kKsFailure);
    EXPECT_EQ(dev->WriteBlock(0, b, 8), kKsFailure);
    UseWorker();
    EXPECT_EQ(dev->ReadRegister(0x10, b), 1);
    EXPECT_EQ(dev->WriteMemory(0, b, 8), 1);
    EXPECT_EQ(dev->WriteBlock(0, b, 8), 1);
    EXPECT_EQ(dev->GetMemoryType(b), 1);
}

TEST_F(TimedCalls, WorkerPathDeliversValuesBothWays) {
    filter->handler = [](const testing::RecordedRequest& r, uint8_t* d, uint32_t len) {
        if (r.flags & 1) std::memset(d, 0x42, len);
        return platform::HRESULT{0};
    };
    UseWorker();
    EXPECT_EQ(dev->WriteRegister(0x1234, 0x5A), 0);
    ASSERT_EQ(filter->requests.size(), 1u);
    EXPECT_EQ(Hex(filter->requests[0].data), "34125a00");

    uint8_t v = 0;
    EXPECT_EQ(dev->ReadRegister(0x1234, &v), 0);
    EXPECT_EQ(v, 0x42);
    uint8_t mem[8] = {};
    EXPECT_EQ(dev->ReadMemory(0x160, mem, 3), 0);
    EXPECT_EQ(mem[7], 0x42);
    uint8_t rom[8] = {};
    EXPECT_EQ(dev->ReadRom(0x10, rom), 0);
    EXPECT_EQ(rom[0], 0x42);  // the reply's count byte (0x42) is cut to 8
    uint8_t type = 0;
    EXPECT_EQ(dev->GetMemoryType(&type), 0);
    EXPECT_EQ(type, 0x42);
    uint8_t blk[64] = {};
    EXPECT_EQ(dev->ReadBlock(0x7777, blk, 64), 0);
    EXPECT_EQ(blk[63], 0x42);
}

TEST_F(TimedCalls, BlockCallsSendNoAddress) {
    const uint8_t data[3] = {9, 8, 7};
    for (bool worker : {false, true}) {
        if (worker) UseWorker();
        filter->requests.clear();
        EXPECT_EQ(dev->WriteBlock(0x12345, data, 3), 0);
        uint8_t out[4];
        EXPECT_EQ(dev->ReadBlock(0x12345, out, 4), 0);
        ASSERT_EQ(filter->requests.size(), 2u);
        EXPECT_EQ(Hex(filter->requests[0].data), "090807" + std::string(122, '0'));
        EXPECT_EQ(Hex(filter->requests[1].data), std::string(128, '0'));
    }
}

TEST_F(TimedCalls, NoThreadMeansNoRequest) {
    UseWorker();
    platform::SetThreadCreationFailsForTesting(true);
    uint8_t v = 0x33;
    EXPECT_EQ(dev->ReadRegister(1, &v), 1);
    EXPECT_EQ(v, 0x33);
    EXPECT_TRUE(filter->requests.empty());
}

// A camera that stops answering: the call gives up after the limit; the worker,
// finishing later, writes only into its own copy of the buffer.
TEST_F(TimedCalls, HangingCameraTimesOutAndTheLateReplyTouchesNothing) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    filter->handler = [released](const testing::RecordedRequest& r, uint8_t* d, uint32_t len) {
        released.wait();
        if (r.flags & 1) std::memset(d, 0x42, len);
        return platform::HRESULT{0};
    };
    UseWorker(50);
    uint8_t buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(dev->ReadMemory(0x160, buffer, 8), 1);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(waited, std::chrono::milliseconds(45));
    EXPECT_EQ(LiveTimedWorkers(), 1u);

    // The caller moves on and reuses its buffer; then the camera answers.
    std::memset(buffer, 0x11, sizeof buffer);
    dev.reset();  // even the device may go: the worker holds its own reference
    release.set_value();
    WaitForTimedWorkers();
    EXPECT_EQ(LiveTimedWorkers(), 0u);
    for (uint8_t b : buffer) EXPECT_EQ(b, 0x11);
}

}  // namespace
}  // namespace quillon
