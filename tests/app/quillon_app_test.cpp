// The application object: the order of start-up, the command line and the
// automatic mode with its exit code.
#include "app/quillon_app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <thread>

#include "app/command_line.h"
#include "app_test_support.h"

namespace quillon_test {
namespace {

using ::testing::ElementsAre;

class AppTest : public DialogTest {
  protected:
    int RunApp(const std::vector<std::string>& args) {
        quillon::CQuillonApp app(Host(), package_->Module());
        return app.Run(args);
    }
};

TEST_F(AppTest, StartUpRunsTheFrameworkStepsInOrderThenTheModalDialog) {
    Host().Script([](HeadlessHost& host, ui::WindowId window) { host.Close(window); });
    EXPECT_EQ(RunApp({"/opt/quillon/bin/quillon.exe"}), 0);
    EXPECT_THAT(
        host_->RequestsStartingWith(
            {"framework", "create", "modal", "end", "destroy", "show", "close", "cam CamInit"}),
        ElementsAre("framework SetRestartManagerSupport 0x1",
                    "framework InitCommonControlsEx 8 0xff", "framework WinApp::InitInstance",
                    "framework EnableControlContainer", "framework CreateShellManager",
                    "framework SetDefaultVisualManager Windows",
                    "framework SetRegistryKey 应用程序向导生成的本地应用程序", "create 102",
                    "cam CamInitialize(null)", "show 102 1", "modal 102", "close 102", "end 102 2",
                    "destroy 102", "framework DeleteShellManager", "framework ControlBarCleanUp",
                    "framework WinApp::ExitInstance"));
    EXPECT_EQ(host_->AppName(), "quillon");
    EXPECT_TRUE(Fake().burnCalls.empty());
}

TEST(CommandLineTest, OptionsGoIntoTheMapWithTheWordAfterThemAsValue) {
    struct Case {
        std::vector<std::string> words;
        std::map<std::string, std::string> options;
        bool automatic;
    } cases[] = {
        {{"-h"}, {{"h", ""}}, true},
        {{"/h"}, {{"h", ""}}, true},
        {{"-H"}, {{"H", ""}}, false},
        {{"-h", "now"}, {{"h", "now"}}, true},
        {{"now", "-h"}, {{"h", ""}}, true},
        {{"-x", "-h", "a", "b"}, {{"x", ""}, {"h", "a"}}, true},
        {{"--h"}, {{"-h", ""}}, false},
        {{"help"}, {}, false},
        {{}, {}, false},
    };
    for (const Case& c : cases) {
        quillon::CCommandLineInfoEx info;
        ui::ParseCommandLine(c.words, info);
        EXPECT_EQ(info.m_options, c.options) << ::testing::PrintToString(c.words);
        EXPECT_EQ(info.HasOption(quillon::kAutomaticOption), c.automatic)
            << ::testing::PrintToString(c.words);
    }
}

TEST_F(AppTest, TheAutomaticOptionAnywhereSkipsTheModalLoop) {
    EXPECT_EQ(RunApp({"quillon", "somefile", "/h"}), 1);
    EXPECT_THAT(host_->RequestsStartingWith({"modal"}), ::testing::IsEmpty());
}

struct AutomaticCase {
    const char* name;
    void (*arrange)();
    int exitCode;
    std::vector<std::string> outcome;  // message boxes, status texts, dialog end
};

void PrintTo(const AutomaticCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticTest : public AppTest, public ::testing::WithParamInterface<AutomaticCase> {};

TEST_P(AutomaticTest, UpgradesOnceOnTheUserInterfaceThreadAndReportsInTheExitCode) {
    GetParam().arrange();
    EXPECT_EQ(RunApp({"quillon", "-h"}), GetParam().exitCode);
    // A modeless dialog that ends is hidden.
    EXPECT_THAT(host_->RequestsStartingWith({"msgbox", "text", "show 102 0", "modal"}),
                ::testing::ElementsAreArray(GetParam().outcome));
    for (const FakeBurnCall& burn : Fake().burnCalls)
        EXPECT_EQ(burn.thread, std::this_thread::get_id());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AutomaticTest,
    ::testing::Values(
        AutomaticCase{"Success",
                      [] {},
                      1,
                      {"text 1002 Updating......", "text 1002 Update successed", "show 102 0"}},
        AutomaticCase{"BurnFails",
                      [] {
                          Fake().cameras[0].burns.push_back({1, 13, {}, nullptr});
                      },
                      0,
                      {"text 1002 Updating......", "text 1002 Upgrade unsuccessful", "show 102 0"}},
        AutomaticCase{"Streaming",
                      [] {
                          Fake().cameras[0].burns.push_back({1, 18, {}, nullptr});
                      },
                      0,
                      {"text 1002 Updating......", "text 1002 In open flow, cannot be upgraded",
                       "show 102 0"}},
        AutomaticCase{"NoMatch",
                      [] { Fake().cameras = {CameraWith(0x88, kIdB)}; },
                      0,
                      {"msgbox [Quillon] Firmware and device do not match! (0x40)", "show 102 0"}},
        AutomaticCase{"NoCamera",
                      [] { Fake().initFails = true; },
                      0,
                      {"msgbox [Quillon] No video device! (0x40)", "show 102 0"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AppTest, AutomaticModeShowsTheModelessWindowBeforeUpgrading) {
    EXPECT_EQ(RunApp({"quillon", "-h"}), 1);
    EXPECT_THAT(host_->RequestsStartingWith({"create", "show", "cam CamBurn", "end", "destroy"}),
                ElementsAre("create 102", "show 102 1", "cam CamBurnFirmware(300,5,1)",
                            "show 102 0", "destroy 102"));
}

}  // namespace
}  // namespace quillon_test
