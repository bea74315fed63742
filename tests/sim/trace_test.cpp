// The exchange trace: its line format, the file it is written to, and lines
// from several threads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <thread>

#include "tests/sim/sim_test_support.h"

namespace quillon_test {
namespace {

using sim::kStatusOk;

std::vector<std::string> FileLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST(Trace, OneByteFlashReadAsWrittenToTheFile) {
    ScenarioBuilder b;
    b.TraceFile("trace.txt");
    b.AddCamera().FlashData(0x5834, {0x7F});
    auto sim = b.Install();
    OpenCamera cam = Open(0);
    EXPECT_EQ(cam.xu.ReadMemory(0, 0x5834, 1), (Bytes{0x7F}));
    const std::vector<std::string> expected{"0 SET 3 3458810000000000000000 0",
                                            "0 GET 3 0000007f00000000000000 0"};
    // Each line is on disk as soon as its exchange completes.
    EXPECT_EQ(FileLines(sim.Dir() / "trace.txt"), expected);
    EXPECT_EQ(sim.Trace(), expected);
}

TEST(Trace, FailuresProbesAndSeveralCameras) {
    ScenarioBuilder b;
    b.AddCamera().FailAt(2);
    b.AddCamera().Nodes(2).XuNode(1);
    auto sim = b.Install();
    OpenCamera first = Open(0), second = Open(1, 1);
    Bytes data;
    EXPECT_EQ(first.xu.WriteRegister(0x8E01, 0xAB), kStatusOk);
    EXPECT_EQ(first.xu.Get(4, 12, data), sim::kStatusDeviceFailure);
    EXPECT_EQ(second.xu.Get(1, 4, data), sim::kStatusDeviceFailure);
    EXPECT_LT(ProbeNode(second.topology.Get(), 0), 0);
    EXPECT_EQ(ProbeNode(second.topology.Get(), 1), 0);
    data = {1, 2, 3, 4};
    EXPECT_EQ(first.xu.Raw(Request(sim::kFlagsSet, 1, 0, platform::KSNODETYPE_DEV_SPECIFIC), data),
              sim::kStatusSetNotFound);
    EXPECT_EQ(sim.Trace(), (std::vector<std::string>{
                               "0 SET 1 018eab00 0",
                               "0 GET 4 000000000000000000000000 31",
                               "1 GET 1 00000000 31",
                               "1 PROBE 0 - -2147023726",
                               "1 PROBE 1 - 0",
                               "0 SET 1 01020304 -2147023726",
                           }));
}

TEST(Trace, EnvironmentNamesTheFile) {
    const std::filesystem::path dir = MakeTempDir();
    const std::filesystem::path file = dir / "env-trace.txt";
    ScenarioBuilder b;
    b.TraceFile("scenario-trace.txt");
    b.AddCamera();
    ::setenv("QUILLON_SIMULATOR_TRACE", file.c_str(), 1);
    {
        auto sim = b.Install();
        ::unsetenv("QUILLON_SIMULATOR_TRACE");
        OpenCamera cam = Open(0);
        EXPECT_EQ(cam.xu.Get(5, 12), Bytes(12, 0));
        EXPECT_FALSE(std::filesystem::exists(sim.Dir() / "scenario-trace.txt"));
    }
    ::unsetenv("QUILLON_SIMULATOR_TRACE");
    EXPECT_EQ(FileLines(file), (std::vector<std::string>{"0 GET 5 000000000000000000000000 0"}));
    std::filesystem::remove_all(dir);
}

TEST(Trace, UnwritableFileFailsTheLoad) {
    ScenarioBuilder b;
    b.TraceFile("no/such/dir/trace.txt");
    b.AddCamera();
    EXPECT_THROW(b.Install(), std::runtime_error);
}

// Exchanges from several threads: every line whole, each camera's lines in order.
TEST(Trace, ConcurrentExchangesGiveWholeLines) {
    ScenarioBuilder b;
    b.TraceFile("trace.txt");
    b.AddCamera();
    b.AddCamera();
    auto sim = b.Install();
    OpenCamera cams[2] = {Open(0), Open(1)};
    constexpr int kWrites = 200;
    auto work = [&](int camera) {
        for (int i = 0; i < kWrites; ++i) {
            if (cams[camera].xu.WriteRegister(0x3000, static_cast<uint8_t>(i)) != kStatusOk)
                ADD_FAILURE() << "write " << i;
        }
    };
    std::thread t0(work, 0), t1(work, 1);
    t0.join();
    t1.join();

    const auto lines = FileLines(sim.Dir() / "trace.txt");
    ASSERT_EQ(lines.size(), 2u * kWrites);
    EXPECT_EQ(lines, sim.Trace());
    const std::regex shape("([01]) SET 1 0030([0-9a-f]{2})00 0");
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, shape)) << line;
        const int camera = std::stoi(m[1]);
        EXPECT_EQ(std::stoi(m[2], nullptr, 16), next[camera]++ & 0xFF) << line;
    }
    EXPECT_EQ(sim.Camera(0).ExchangeCount(), static_cast<uint32_t>(kWrites));
}

}  // namespace
}  // namespace quillon_test
