// Injected faults and a changing system: failing and hanging exchanges, cameras
// unplugged, plugged in again, silent, or added while the process runs.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/sim/sim_test_support.h"

namespace quillon_test {
namespace {

using namespace platform;
using sim::kStatusDeviceFailure;
using sim::kStatusOk;

TEST(Faults, FailAtFailsThoseExchangesAndChangesNothing) {
    ScenarioBuilder b;
    b.AddCamera().FailAt(2).FailAt(4);
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    EXPECT_EQ(cam.xu.WriteRegister(0x2000, 0x11), kStatusOk);             // 1
    EXPECT_EQ(cam.xu.WriteRegister(0x2000, 0x22), kStatusDeviceFailure);  // 2
    EXPECT_EQ(cam.xu.Set(1, {0x00, 0x20, 0x00, 0xFF}), kStatusOk);        // 3
    Bytes data;
    EXPECT_EQ(cam.xu.Get(1, 4, data), kStatusDeviceFailure);                              // 4
    EXPECT_EQ(cam.xu.Get(1, 4, data), kStatusOk) << "the read request is still pending";  // 5
    EXPECT_EQ(data[2], 0x11);
    EXPECT_EQ(sim.Camera(0).ExchangeCount(), 5u);
}

TEST(Faults, ExchangeNumbersCountPerCamera) {
    ScenarioBuilder b;
    b.AddCamera().FailAt(2);
    b.AddCamera().FailAt(1);
    auto sim = b.Install();
    OpenCamera a = Open(0), c = Open(1);
    EXPECT_EQ(a.xu.WriteRegister(0x10, 1), kStatusOk);
    EXPECT_EQ(c.xu.WriteRegister(0x10, 1), kStatusDeviceFailure);
    EXPECT_EQ(c.xu.WriteRegister(0x10, 1), kStatusOk);
    EXPECT_EQ(a.xu.WriteRegister(0x10, 1), kStatusDeviceFailure);
}

TEST(Faults, MalformedRequestsCountAsExchanges) {
    ScenarioBuilder b;
    b.AddCamera().FailAt(2);
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    EXPECT_EQ(cam.xu.Set(9, Bytes(4, 0)), sim::kStatusNotFound);   // 1
    EXPECT_EQ(cam.xu.Set(1, Bytes(3, 0)), kStatusDeviceFailure);   // 2: the fault wins
    EXPECT_EQ(cam.xu.Set(1, Bytes(3, 0)), sim::kStatusBadLength);  // 3
}

TEST(Faults, HangAtTakesHangMsOnTheVirtualClock) {
    ScenarioBuilder b;
    b.AddCamera().HangAt(2).HangMs(7000);
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    const uint64_t start = sim.NowMs();
    const auto wallStart = std::chrono::steady_clock::now();
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk);
    EXPECT_EQ(sim.NowMs(), start);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 2), kStatusDeviceFailure);
    EXPECT_EQ(sim.NowMs(), start + 7000);
    EXPECT_EQ(sim.Camera(0).Register(0x10), 1) << "the hung write changed nothing";
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 3), kStatusOk);
    EXPECT_EQ(sim.NowMs(), start + 7000);
    EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(5));
}

TEST(Faults, UnplugAtRemovesTheCamera) {
    ScenarioBuilder b;
    b.AddCamera().Name("first").UnplugAt(3);
    b.AddCamera().Name("second");
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk);
    EXPECT_EQ(ProbeNode(cam.topology.Get(), 0), 0);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 2), kStatusOk);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 3), kStatusDeviceFailure);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 4), kStatusDeviceFailure);
    EXPECT_EQ(sim.Camera(0).Register(0x10), 2);
    EXPECT_LT(ProbeNode(cam.topology.Get(), 0), 0) << "probes fail once it is gone";

    auto listed = ListCameras();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(ReadProperty(listed[0].Get(), u"FriendlyName").text, u"second");
}

TEST(HotPlug, UnplugAndPlugAgain) {
    ScenarioBuilder b;
    b.AddCamera().Name("cam").Register(0x10, 0x77).FlashData(0x40, {0x00});
    auto sim = b.Install();
    OpenCamera old = Open(0);
    auto oldMoniker = ListCameras().at(0);
    ASSERT_EQ(old.xu.WriteRegister(0x10, 0x01), kStatusOk);
    ASSERT_EQ(old.xu.WriteMemory(0, 0x41, {0x00}), kStatusOk);

    sim->Unplug(0);
    EXPECT_TRUE(ListCameras().empty());
    EXPECT_EQ(old.xu.WriteRegister(0x10, 0x02), kStatusDeviceFailure);
    EXPECT_LT(ProbeNode(old.topology.Get(), 0), 0);
    ComPtr<IBaseFilter> filter;
    EXPECT_TRUE(
        FAILED(oldMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())));

    sim->Plug(0);
    ASSERT_EQ(ListCameras().size(), 1u);
    EXPECT_EQ(old.xu.WriteRegister(0x10, 0x03), kStatusDeviceFailure) << "replugged: old objects";
    EXPECT_LT(ProbeNode(old.topology.Get(), 0), 0);
    EXPECT_TRUE(
        FAILED(oldMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())));

    OpenCamera fresh = Open(0);
    EXPECT_EQ(ProbeNode(fresh.topology.Get(), 0), 0);
    EXPECT_EQ(fresh.xu.ReadRegister(0x10), 0x77) << "the chip restarted";
    EXPECT_EQ(fresh.xu.ReadMemory(0, 0x40, 2), (Bytes{0x00, 0x00})) << "the flash kept its bytes";
    sim->Plug(0);  // already plugged in: nothing changes
    EXPECT_EQ(fresh.xu.WriteRegister(0x10, 0x04), kStatusOk);
}

TEST(HotPlug, SilentCameraStaysListedAndHangs) {
    ScenarioBuilder b;
    b.AddCamera().HangMs(3000);
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    sim->SetAnswering(0, false);
    EXPECT_EQ(ListCameras().size(), 1u);
    const uint64_t start = sim.NowMs();
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusDeviceFailure);
    EXPECT_EQ(sim.NowMs(), start + 3000);
    EXPECT_LT(ProbeNode(cam.topology.Get(), 0), 0);
    EXPECT_EQ(sim.Camera(0).Register(0x10), 0);

    sim->SetAnswering(0, true);
    EXPECT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk) << "the same objects work again";
    EXPECT_EQ(ProbeNode(cam.topology.Get(), 0), 0);
}

TEST(HotPlug, AddedCameraIsListedNext) {
    ScenarioBuilder b;
    b.AddCamera().Name("first");
    auto sim = b.Install();
    CameraBuilder extra(1);
    extra.Name("added").Register(0x20, 0x5A).FlashData(0x10, {0x42});
    EXPECT_EQ(sim.AddCamera(extra), 1u);
    auto listed = ListCameras();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(ReadProperty(listed[1].Get(), u"FriendlyName").text, u"added");
    OpenCamera cam = Open(1);
    EXPECT_EQ(cam.xu.ReadRegister(0x20), 0x5A);
    EXPECT_EQ(cam.xu.ReadMemory(0, 0x10, 1), (Bytes{0x42}));
    EXPECT_EQ(sim.Trace().front().rfind("1 SET 1 ", 0), 0u) << "traced under its index";

    CameraBuilder bad(2);
    bad.Arch(5);
    EXPECT_THROW(sim.AddCamera(bad), std::runtime_error);
}

TEST(Latency, AddsWallTimeOnTheRealClockOnly) {
    {
        ScenarioBuilder b;
        b.RealClock().LatencyUs(3000);
        b.AddCamera();
        auto sim = b.Install();
        OpenCamera cam = Open(0);
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 4; ++i) ASSERT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(12));
    }
    {
        ScenarioBuilder b;
        b.LatencyUs(2000000);  // virtual clock: never waited for
        b.AddCamera();
        auto sim = b.Install();
        OpenCamera cam = Open(0);
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
}

TEST(Latency, PerCameraValueOverridesTheScenarios) {
    ScenarioBuilder b;
    b.RealClock().LatencyUs(2000000);
    b.AddCamera().LatencyUs(0);
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(cam.xu.WriteRegister(0x10, 1), kStatusOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace quillon_test
