// The built quillon with the console front end on simulated cameras: what a
// user or a factory script sees (standard output, exit code) and what ends up
// in the camera's flash.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "tests/testing/scenario_builder.h"
#include "tools/lib/demo_image.h"

extern char** environ;

namespace quillon_test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadText(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

struct RunResult {
    int exitCode = -1;  // -1: did not exit normally
    std::string out, err;
};

// Runs quillon on the scenario in `dir` in the language of `lang`, with
// standard input from `input` (a file; empty: /dev/null).
RunResult RunQuillon(const fs::path& dir, const std::vector<std::string>& args,
                     const std::string& lang, const fs::path& input = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name == "LC_ALL" || name == "LC_MESSAGES" || name == "LANG" || name == "QUILLON_UI" ||
            name.rfind("QUILLON_SIMULATOR", 0) == 0 || name == "DISPLAY" ||
            name == "WAYLAND_DISPLAY")
            continue;
        env.push_back(entry);
    }
    env.push_back("LANG=" + lang);
    env.push_back("QUILLON_UI=console");
    env.push_back("QUILLON_SIMULATOR=" + dir.string());
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::string exe = QUILLON_EXE;
    std::vector<std::string> argStrings{exe};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string outPath = (dir / "quillon.out").string();
    const std::string errPath = (dir / "quillon.err").string();
    const std::string inPath = input.empty() ? "/dev/null" : input.string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    RunResult run;
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        ADD_FAILURE() << "cannot run " << exe << ": " << std::strerror(rc);
        return run;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

// A firmware image for the demo chip with firmware identifier `id`.
std::vector<uint8_t> FirmwareWithId(std::array<uint8_t, 4> id) {
    quillon::tools::DemoImageOptions options;
    options.chipId = 0x88;
    options.firmwareId = id;
    options.codeVer = "2309B";
    options.cusVer = "OTHER";
    options.customer = "ELSEWHERE";
    options.dayVer = "2309011200";
    return quillon::tools::MakeDemoImage(options);
}

// The camera of the demo package: chip 0x88 (ROM "QMCT0") holding `firmware`.
CameraBuilder& DemoCamera(ScenarioBuilder& b, const std::vector<uint8_t>& firmware) {
    return b.AddCamera()
        .Register(0x101F, 0x5A)
        .Register(0x80F0, 0x88)
        .ReadOnly(0x80F0, 0xFF)
        .Arch(1)
        .CommandRegisters()
        .Rom(0xAFF8, "QMCT0", 1, 0x46)
        .FlashSize(0x40000)
        .FlashId(0x9F, {0xC2, 0x20, 0x10})
        .FlashData(0, firmware);
}

enum class Flash { kNone, kNew, kOld };

struct E2eCase {
    const char* name;
    const char* lang;
    void (*arrange)(ScenarioBuilder&, const std::vector<uint8_t>& oldImage);
    int exitCode;
    const char* out;
    Flash flashAfter;
};

void PrintTo(const E2eCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticModeTest : public ::testing::TestWithParam<E2eCase> {
  protected:
    void SetUp() override {
        if (!QUILLON_EMBEDDED_PACKAGE_IS_DEMO)
            GTEST_SKIP() << "quillon carries another package than the demo package";
        dir_ = MakeTempDir();
        oldImage_ = ReadBytes(QUILLON_DEMO_FIRMWARE_OLD);
        newImage_ = ReadBytes(QUILLON_DEMO_FIRMWARE_NEW);
        ASSERT_FALSE(oldImage_.empty());
        ASSERT_NE(oldImage_, newImage_);
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    std::vector<uint8_t> FlashStart(size_t camera, size_t length) const {
        std::vector<uint8_t> flash = ReadBytes(dir_ / ("cam" + std::to_string(camera) + ".bin"));
        if (flash.size() > length) flash.resize(length);
        return flash;
    }

    fs::path dir_;
    std::vector<uint8_t> oldImage_, newImage_;
};

TEST_P(AutomaticModeTest, ExitCodeOutputAndFlash) {
    const E2eCase& c = GetParam();
    ScenarioBuilder b;
    c.arrange(b, oldImage_);
    b.WriteTo(dir_);

    const RunResult run = RunQuillon(dir_, {"-h"}, c.lang);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.out, c.out);
    if (c.flashAfter == Flash::kNew) {
        EXPECT_TRUE(FlashStart(0, newImage_.size()) == newImage_);
    } else if (c.flashAfter == Flash::kOld) {
        EXPECT_TRUE(FlashStart(0, oldImage_.size()) == oldImage_);
    }
}

void Matching(ScenarioBuilder& b, const std::vector<uint8_t>& old) {
    DemoCamera(b, old);
}
void BurnFails(ScenarioBuilder& b, const std::vector<uint8_t>& old) {
    // A flash part that obeys another program command than the one the chip
    // is loaded with: nothing programmed arrives, the read-back differs.
    DemoCamera(b, old).FlashCommands(0xAD, 0x06);
}
void OtherFirmware(ScenarioBuilder& b, const std::vector<uint8_t>&) {
    DemoCamera(b, FirmwareWithId({0x51, 0x44, 0x4D, 0x39}));
}
void NoCamera(ScenarioBuilder&, const std::vector<uint8_t>&) {}
void Streaming(ScenarioBuilder& b, const std::vector<uint8_t>& old) {
    DemoCamera(b, old).Register(0xA312, 0x01);
}
void SecondCameraMatches(ScenarioBuilder& b, const std::vector<uint8_t>& old) {
    DemoCamera(b, FirmwareWithId({0x51, 0x44, 0x4D, 0x39}));
    DemoCamera(b, old);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, AutomaticModeTest,
    ::testing::Values(E2eCase{"Upgrade", "en_US.UTF-8", Matching, 1,
                              "Updating......\nUpdate successed\n", Flash::kNew},
                      E2eCase{"UpgradeChinese", "zh_CN.UTF-8", Matching, 1,
                              "更新中......\n升级成功\n", Flash::kNew},
                      E2eCase{"BurnFails", "en_US.UTF-8", BurnFails, 0,
                              "Updating......\nUpgrade unsuccessful\n", Flash::kNone},
                      E2eCase{"BurnFailsChinese", "zh_CN.UTF-8", BurnFails, 0,
                              "更新中......\n升级失败！\n", Flash::kNone},
                      E2eCase{"NoMatchingCamera", "en_US.UTF-8", OtherFirmware, 0,
                              "Firmware and device do not match!\n", Flash::kNone},
                      E2eCase{"NoMatchingCameraChinese", "zh_CN.UTF-8", OtherFirmware, 0,
                              "固件和设备不匹配!\n", Flash::kNone},
                      E2eCase{"NoCamera", "en_US.UTF-8", NoCamera, 0, "No video device!\n",
                              Flash::kNone},
                      E2eCase{"NoCameraChinese", "zh_CN.UTF-8", NoCamera, 0,
                              "没有找到摄像头设备！\n", Flash::kNone},
                      E2eCase{"Streaming", "en_US.UTF-8", Streaming, 0,
                              "Updating......\nIn open flow, cannot be upgraded\n", Flash::kOld},
                      E2eCase{"StreamingChinese", "zh_CN.UTF-8", Streaming, 0,
                              "更新中......\n开图中，不能升级！\n", Flash::kOld}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AutomaticModeTest, TheFirstMatchingCameraIsUpgradedAndTheOtherLeftAlone) {
    ScenarioBuilder b;
    SecondCameraMatches(b, oldImage_);
    b.WriteTo(dir_);
    const std::vector<uint8_t> otherBefore = ReadBytes(dir_ / "cam0.bin");

    const RunResult run = RunQuillon(dir_, {"-h"}, "en_US.UTF-8");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(ReadBytes(dir_ / "cam0.bin"), otherBefore);
    EXPECT_TRUE(FlashStart(1, newImage_.size()) == newImage_);
}

TEST_F(AutomaticModeTest, InteractiveCommandsFromStandardInput) {
    // "1" presses UPDATE; the end of the input closes the window once the
    // upgrade has finished. The exit code is only for the automatic mode.
    ScenarioBuilder b;
    Matching(b, oldImage_);
    b.WriteTo(dir_);
    { std::ofstream(dir_ / "input") << "1\n"; }
    const RunResult run = RunQuillon(dir_, {}, "en_US.UTF-8", dir_ / "input");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Updating......\nUpdate successed\n");
    EXPECT_TRUE(FlashStart(0, newImage_.size()) == newImage_);
}

TEST_F(AutomaticModeTest, WithoutInputTheInteractiveWindowJustCloses) {
    ScenarioBuilder b;
    Matching(b, oldImage_);
    b.WriteTo(dir_);
    const RunResult run = RunQuillon(dir_, {}, "en_US.UTF-8");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(FlashStart(0, oldImage_.size()) == oldImage_);
}

TEST_F(AutomaticModeTest, ABrokenScenarioIsNoCamera) {
    { std::ofstream(dir_ / "cameras.json") << "{ \"cameras\": [ {\"arch\": 7} "; }
    const RunResult run = RunQuillon(dir_, {"-h"}, "en_US.UTF-8");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "No video device!\n");
}

}  // namespace
}  // namespace quillon_test
