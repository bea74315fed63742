// The main dialog on the recording host with a fake camera library: its
// initialisation, the message routine, matching, the upgrade and version
// commands, and its window handlers.
#include "app/quillon_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <thread>

#include "app_test_support.h"

namespace quillon_test {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kNoDevice[] = "msgbox [Quillon] No video device! (0x40)";
constexpr char kNoMatch[] = "msgbox [Quillon] Firmware and device do not match! (0x40)";

// --- start and the message routine ---

struct StartFailure {
    const char* name;
    void (*arrange)(DialogTest&);
    const char* message;
};

void PrintTo(const StartFailure& c, std::ostream* os) {
    *os << c.name;
}

class StartFailureTest : public DialogTest, public ::testing::WithParamInterface<StartFailure> {
  public:
    void RemovePackageForTest() { RemovePackage(); }
    void SetPackageForTest(const std::vector<TestEntry>& e) { SetPackage(e); }
};

TEST_P(StartFailureTest, ShowsItsMessageThenEndsTheDialogUnshown) {
    GetParam().arrange(*this);
    quillon::CQuillonDlg dialog(Host(), package_->Module());
    EXPECT_EQ(dialog.DoModal(), -1);

    const auto lines =
        Host().RequestsStartingWith({"msgbox", "end", "show", "modal", "cam CamSel"});
    EXPECT_THAT(lines, ElementsAre(GetParam().message, "end 102 -1"));
    EXPECT_EQ(dialog.EntryIndex(), -1);
    EXPECT_TRUE(Fake().burnCalls.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Messages, StartFailureTest,
    ::testing::Values(
        StartFailure{
            "NoPackageResource",
            [](DialogTest& t) { static_cast<StartFailureTest&>(t).RemovePackageForTest(); },
            "msgbox [Quillon] Failed to load fw resorce (0x40)"},
        StartFailure{"LibraryDoesNotStart", [](DialogTest&) { Fake().initFails = true; },
                     kNoDevice},
        StartFailure{"EnumerationFails", [](DialogTest&) { Fake().enumFails = true; }, kNoDevice},
        StartFailure{"ChipIdUnreadable", [](DialogTest&) { Fake().cameras[0].chipIdFails = true; },
                     kNoDevice},
        StartFailure{"FirmwareIdUnreadable",
                     [](DialogTest&) { Fake().cameras[0].firmwareIdFails = true; }, kNoDevice},
        StartFailure{"NoCameraInTheList", [](DialogTest&) { Fake().cameras.clear(); }, kNoMatch},
        StartFailure{"PackageWithoutEntries",
                     [](DialogTest& t) { static_cast<StartFailureTest&>(t).SetPackageForTest({}); },
                     kNoMatch}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, AMessageWhoseStringIsMissingShowsAnEmptyBox) {
    ui::ResourceSet resources = ui::ResourceSet::ForLanguage(ui::Language::kEnglish);
    resources.RemoveString(ui::IDS_NO_MATCH);
    UseHost(std::make_unique<HeadlessHost>(resources));
    Fake().cameras.clear();
    quillon::CQuillonDlg dialog(*host_, package_->Module());
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_THAT(host_->RequestsStartingWith({"msgbox", "end"}),
                ElementsAre("msgbox [Quillon]  (0x40)", "end 102 -1"));
}

TEST_F(DialogTest, InitialisationAddsTheAboutItemSetsTheIconsThenLoadsAndMatches) {
    Open();
    EXPECT_THAT(host_->Requests(),
                ElementsAre("create 102", "menu-separator 102", "menu 102 16 About Quillon(&A)...",
                            "icon 102 128 big", "icon 102 128 small", "cam CamInitialize(null)",
                            "cam CamEnumDevices(10)", "cam CamGetChipId(0)",
                            "cam CamGetFirmwareId(0,4)", "cam CamSelectDevice(0)", "show 102 1"));
    EXPECT_TRUE(Fake().enumInfosZeroed);
    EXPECT_EQ(dialog_->EntryIndex(), 0);
}

TEST_F(DialogTest, WithoutStringAboutTheSystemMenuGetsNoItem) {
    ui::ResourceSet resources = ui::ResourceSet::ForLanguage(ui::Language::kChinese);
    resources.SetString(ui::IDS_ABOUTBOX, "");
    UseHost(std::make_unique<HeadlessHost>(resources));
    Open();
    EXPECT_THAT(host_->RequestsStartingWith({"menu"}), IsEmpty());
}

TEST_F(DialogTest, ChineseAboutItem) {
    Open(ui::Language::kChinese);
    EXPECT_THAT(host_->RequestsStartingWith({"menu"}),
                ElementsAre("menu-separator 102", "menu 102 16 关于 Quillon(&A)..."));
}

// --- matching ---

struct MatchCase {
    const char* name;
    std::vector<TestEntry> entries;
    std::vector<FakeCamera> cameras;
    int selectedCamera;  // -1: no match
    int entryIndex;
};

void PrintTo(const MatchCase& c, std::ostream* os) {
    *os << c.name;
}

class MatchTest : public DialogTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MatchTest, SelectsTheFirstCameraWithAnEntryAndItsFirstEntry) {
    SetPackage(GetParam().entries);
    Fake().cameras = GetParam().cameras;
    Open();
    if (GetParam().selectedCamera < 0) {
        EXPECT_THAT(host_->RequestsStartingWith({"msgbox", "cam CamSelectDevice"}),
                    ElementsAre(kNoMatch));
        EXPECT_EQ(dialog_->EntryIndex(), -1);
        return;
    }
    EXPECT_THAT(
        host_->RequestsStartingWith({"msgbox", "cam CamSelectDevice"}),
        ElementsAre("cam CamSelectDevice(" + std::to_string(GetParam().selectedCamera) + ")"));
    EXPECT_EQ(dialog_->EntryIndex(), GetParam().entryIndex);
    // The cameras after the chosen one are not looked at.
    EXPECT_THAT(Fake().calls,
                ::testing::Not(::testing::Contains(
                    "CamGetChipId(" + std::to_string(GetParam().selectedCamera + 1) + ")")));
}

const std::vector<uint8_t> kImage{1, 2, 3};

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchTest,
    ::testing::Values(
        MatchCase{"SameKeyOtherIdentifierThenAMatchingCamera",
                  {{0x88, kIdA, kImage}},
                  {CameraWith(0x88, kIdB), CameraWith(0x88, kIdA)},
                  1,
                  0},
        MatchCase{"TwoMatchingCamerasTakeTheFirst",
                  {{0x88, kIdA, kImage}},
                  {CameraWith(0x88, kIdA), CameraWith(0x88, kIdA)},
                  0,
                  0},
        MatchCase{
            "SameIdentifierOtherKey", {{0x88, kIdA, kImage}}, {CameraWith(0x89, kIdA)}, -1, -1},
        MatchCase{"IdentifierDiffersInItsLastByte",
                  {{0x88, kIdA, kImage}},
                  {CameraWith(0x88, {0x51, 0x44, 0x4D, 0x30})},
                  -1,
                  -1},
        MatchCase{"SecondEntryMatches",
                  {{0x88, kIdB, kImage}, {0x88, kIdA, kImage}},
                  {CameraWith(0x88, kIdA)},
                  0,
                  1},
        MatchCase{"TwoMatchingEntriesTakeTheFirst",
                  {{0x90, kIdA, kImage}, {0x88, kIdA, kImage}, {0x88, kIdA, kImage}},
                  {CameraWith(0x88, kIdA)},
                  0,
                  1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, ACommandAfterTheMatchedCameraIsGoneEndsTheDialog) {
    // The camera that matched is unplugged; one that matches nothing stays.
    Open();
    Fake().cameras = {CameraWith(0x88, kIdB)};
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_THAT(host_->RequestsStartingWith({"msgbox", "show", "cam CamBurn"}),
                ElementsAre(kNoMatch, "show 102 0"));
    EXPECT_TRUE(dialog_->Ended());
}

// --- the upgrade command ---

TEST_F(DialogTest, UpgradeSucceedsEnglish) {
    Open();
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_THAT(host_->Requests(),
                ElementsAre("click 1000", "cam CamEnumDevices(10)", "cam CamGetChipId(0)",
                            "cam CamGetFirmwareId(0,4)", "cam CamSelectDevice(0)", "enable 1000 0",
                            "cam CamGetFlashType(1)", "range 1003 0 10000", "pos 1003 0",
                            "text 1002 Updating......", "cam CamBurnFirmware(300,5,1)",
                            "pos 1003 5000", "pos 1003 10000", "text 1002 Update successed",
                            "cam CamFinishUpgrade", "enable 1000 1"));
    // The image handed over is the entry's, in the dialog's copy of the package.
    ASSERT_EQ(Fake().burnCalls.size(), 1u);
    const FakeBurnCall& burn = Fake().burnCalls[0];
    const quillon::FwPackageEntry& entry = dialog_->Package().entries[0];
    EXPECT_EQ(burn.image, entry.image);
    EXPECT_EQ(std::vector<uint8_t>(burn.image, burn.image + burn.length), Image(300, 1));
    EXPECT_EQ(burn.context, dialog_.get());
    EXPECT_TRUE(burn.hasCallback);
    EXPECT_EQ(host_->ControlText(MainWindow(), ui::IDC_STATUS), "Update successed");
}

TEST_F(DialogTest, UpgradeSucceedsChineseWithBothButtons) {
    Open(ui::Language::kChinese);
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_THAT(host_->RequestsStartingWith({"enable", "text", "cam CamFinish"}),
                ElementsAre("enable 1000 0", "enable 1001 0", "text 1002 更新中......",
                            "text 1002 升级成功", "cam CamFinishUpgrade", "enable 1000 1",
                            "enable 1001 1"));
}

TEST_F(DialogTest, TheBurnRunsOnItsOwnThreadAndTheControlsChangeOnTheUserInterfaceThread) {
    Open();
    ClickAndWait(ui::IDC_UPDATE);
    ASSERT_EQ(Fake().burnCalls.size(), 1u);
    EXPECT_NE(Fake().burnCalls[0].thread, std::this_thread::get_id());
    // The host fails the test if a control request reaches it on another thread.
}

struct FailureCase {
    const char* name;
    ui::Language language;
    int32_t error;
    std::string text;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class UpgradeFailureTest : public DialogTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(UpgradeFailureTest, ShowsTheReasonAndEnablesTheButtonsAgain) {
    const FailureCase& c = GetParam();
    Fake().cameras[0].burns.push_back({1, c.error, {0.25f}, nullptr});
    Open(c.language);
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);

    std::vector<std::string> expected{"pos 1003 2500", "cam CamGetLastError", "text 1002 " + c.text,
                                      "enable 1000 1"};
    if (c.language == ui::Language::kChinese) expected.push_back("enable 1001 1");
    EXPECT_THAT(host_->RequestsStartingWith({"pos 1003 2", "cam CamGetLast", "text 1002 " + c.text,
                                             "enable 1000 1", "enable 1001 1", "cam CamFinish"}),
                ElementsAreArray(expected));
    // The bar stays where the burn left it.
    EXPECT_EQ(host_->ProgressPos(MainWindow(), ui::IDC_PROGRESS), 2500);
    EXPECT_FALSE(dialog_->Ended());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, UpgradeFailureTest,
    ::testing::Values(
        FailureCase{"Verify", ui::Language::kEnglish, 13, "Upgrade unsuccessful"},
        FailureCase{"NoCode", ui::Language::kEnglish, 0, "Upgrade unsuccessful"},
        FailureCase{"Streaming", ui::Language::kEnglish, 18, "In open flow, cannot be upgraded"},
        FailureCase{"VerifyChinese", ui::Language::kChinese, 13, "升级失败！"},
        FailureCase{"StreamingChinese", ui::Language::kChinese, 18, "开图中，不能升级！"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DialogTest, RefusedWhileStreamingThenSucceedsOnceTheVideoIsClosed) {
    Fake().cameras[0].burns.push_back({1, 18, {}, nullptr});
    Open();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_EQ(host_->ControlText(MainWindow(), ui::IDC_STATUS), "In open flow, cannot be upgraded");
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_EQ(host_->ControlText(MainWindow(), ui::IDC_STATUS), "Update successed");
    EXPECT_EQ(Fake().burnCalls.size(), 2u);
    EXPECT_EQ(Fake().calls.back(), "CamFinishUpgrade");
}

struct FlashTypeCase {
    const char* name;
    int32_t reported;
    bool fails;
    int32_t burned;
};

void PrintTo(const FlashTypeCase& c, std::ostream* os) {
    *os << c.name;
}

class FlashTypeTest : public DialogTest, public ::testing::WithParamInterface<FlashTypeCase> {};

TEST_P(FlashTypeTest, ZeroOrUnknownIsBurnedAsOne) {
    Fake().cameras[0].flashType = GetParam().reported;
    Fake().cameras[0].flashTypeFails = GetParam().fails;
    Open();
    ClickAndWait(ui::IDC_UPDATE);
    ASSERT_EQ(Fake().burnCalls.size(), 1u);
    EXPECT_EQ(Fake().burnCalls[0].flashType, GetParam().burned);
    EXPECT_EQ(Fake().burnCalls[0].fullVerify, 1);
}

INSTANTIATE_TEST_SUITE_P(Types, FlashTypeTest,
                         ::testing::Values(FlashTypeCase{"Zero", 0, false, 1},
                                           FlashTypeCase{"NotReported", 9, true, 1},
                                           FlashTypeCase{"Known", 7, false, 7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgressPositionTest, ScalesInSinglePrecisionAndTruncates) {
    struct Case {
        float fraction;
        int position;
    } cases[] = {
        {0.0f, 0},
        {0.5f, 5000},
        {1.0f, 10000},
        {0.33333334f, 3333},  // 3333.3334: the fraction is cut off
        {0.99995f, 9999},     // 9999.5 would round up
        {0.00015f, 1},        // 1.5
        {0.7f, 7000},         // 6999.9999 in double precision, 7000 in single
        {1.5f, 10000},        // never past the bar's end
        {-0.25f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 10000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(quillon::ProgressPosition(c.fraction), c.position) << "fraction " << c.fraction;
}

TEST_F(DialogTest, ProgressFromTheBurnMovesTheBar) {
    Fake().cameras[0].burns.push_back({0, 0, {0.0f, 0.33333334f, 0.5f, 0.99995f, 1.0f}, nullptr});
    Open();
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_THAT(host_->RequestsStartingWith({"pos"}),
                ElementsAre("pos 1003 0", "pos 1003 0", "pos 1003 3333", "pos 1003 5000",
                            "pos 1003 9999", "pos 1003 10000"));
}

TEST_F(DialogTest, WhileTheUpgradeRunsButtonsIgnoreClicksAndTheWindowStaysOpen) {
    Open(ui::Language::kChinese);
    HeadlessHost& host = *host_;
    quillon::CQuillonDlg& dialog = *dialog_;
    const ui::WindowId window = MainWindow();
    bool stillOpen = false;
    Fake().cameras[0].burns.push_back({0, 0, {0.5f}, [&] {
                                           host.SendToUiThread([&] {
                                               host.Click(window, ui::IDC_UPDATE);
                                               host.Click(window, ui::IDC_VERSION);
                                               host.Close(window);
                                               stillOpen = !dialog.Ended();
                                           });
                                       }});
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_TRUE(stillOpen);
    EXPECT_THAT(host.RequestsStartingWith({"click"}),
                ElementsAre("click 1000", "click 1000 ignored", "click 1001 ignored"));
    EXPECT_EQ(Fake().burnCalls.size(), 1u);

    // Once it has finished the window closes.
    host.Close(window);
    EXPECT_TRUE(dialog.Ended());
}

TEST_F(DialogTest, WhenNoThreadCanStartNothingHappens) {
    Open();
    host_->SetThreadStartFails(true);
    host_->ClearRequests();
    ClickAndWait(ui::IDC_UPDATE);
    EXPECT_THAT(host_->RequestsStartingWith({"enable", "text", "pos", "range", "cam CamBurn"}),
                IsEmpty());
    EXPECT_FALSE(dialog_->UpgradeRunning());
    host_->Close(MainWindow());
    EXPECT_TRUE(dialog_->Ended());
}

// --- the version command ---

struct VersionCase {
    const char* name;
    std::string version;
    bool fails;
    std::string shown;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << c.name;
}

class VersionTest : public DialogTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(VersionTest, ShowsTheRawVersionCaptionedWithTheProgramName) {
    Fake().cameras[0].version = GetParam().version;
    Fake().cameras[0].versionFails = GetParam().fails;
    Host(ui::Language::kChinese).SetAppName("quillon-factory");
    Open(ui::Language::kChinese);
    host_->ClearRequests();
    ClickAndWait(ui::IDC_VERSION);
    EXPECT_THAT(host_->RequestsStartingWith({"msgbox", "end", "cam CamGetFirmwareVersion"}),
                ElementsAre("cam CamGetFirmwareVersion(64,1)",
                            "msgbox [quillon-factory] " + GetParam().shown + " (0x30)"));
    EXPECT_FALSE(dialog_->Ended());
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionTest,
    ::testing::Values(VersionCase{"Readable", "2411ADEMO------QUILLON---2411281030", false,
                                  "2411ADEMO------QUILLON---2411281030"},
                      VersionCase{"Unreadable", "ignored", true, ""},
                      // A text that fills the buffer has no terminator: it ends with the buffer.
                      VersionCase{"FillsTheBuffer", std::string(70, 'v'), false,
                                  std::string(64, 'v')},
                      // Bytes that are no text in the process's encoding are replaced.
                      VersionCase{"NotUtf8",
                                  "V\xff"
                                  "1",
                                  false, "V?1"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- window handlers ---

TEST_F(DialogTest, EnterAndEscapeDoNothing) {
    Open();
    host_->ClearRequests();
    host_->KeyDown(MainWindow(), ui::VK_RETURN);
    host_->KeyDown(MainWindow(), ui::VK_ESCAPE);
    host_->PumpUntilIdle();
    // Without the filter Enter would press UPDATE and Escape would cancel.
    EXPECT_THAT(host_->Requests(), ElementsAre("key 13", "key 27"));
    EXPECT_FALSE(dialog_->Ended());
}

TEST_F(DialogTest, TheAboutItemOpensTheAboutBoxModally) {
    Open();
    host_->Script(
        [](HeadlessHost& host, ui::WindowId window) { host.KeyDown(window, ui::VK_RETURN); });
    host_->ClearRequests();
    host_->SysCommand(MainWindow(), ui::IDM_ABOUTBOX | 0x3);  // low bits are the system's
    EXPECT_THAT(host_->Requests(), ElementsAre("syscommand 0x13", "create 100", "show 100 1",
                                               "modal 100", "key 13", "end 100 1", "destroy 100"));
}

TEST_F(DialogTest, OtherSystemCommandsGoToTheFramework) {
    Open();
    host_->SysCommand(MainWindow(), ui::SC_CLOSE);
    EXPECT_TRUE(dialog_->Ended());
    EXPECT_EQ(host_->WindowOf(ui::IDD_ABOUTBOX), ui::kNoWindow);
}

TEST_F(DialogTest, StatusTextIsBlackOnGreenWithOneBrush) {
    Open();
    ui::DeviceContext first, second, other;
    const ui::Brush* brush = host_->CtlColor(MainWindow(), first, ui::IDC_STATUS);
    ASSERT_NE(brush, nullptr);
    EXPECT_EQ(brush->Colour(), (ui::Rgb{0, 255, 0}));
    EXPECT_EQ(first.textColour, (ui::Rgb{0, 0, 0}));
    EXPECT_EQ(first.backgroundColour, (ui::Rgb{0, 255, 0}));
    EXPECT_EQ(first.backgroundMode, ui::BkMode::kOpaque);
    EXPECT_EQ(host_->CtlColor(MainWindow(), second, ui::IDC_STATUS), brush);

    EXPECT_EQ(host_->CtlColor(MainWindow(), other, ui::IDC_UPDATE), nullptr);
    EXPECT_FALSE(other.textColour || other.backgroundColour || other.backgroundMode);
}

class RecordingPaint : public ui::PaintContext {
  public:
    RecordingPaint(bool iconic, ui::Size client) : iconic_(iconic), client_(client) {}
    bool IsIconic() const override { return iconic_; }
    ui::Size ClientSize() const override { return client_; }
    ui::Size IconSize() const override { return {32, 32}; }
    void EraseIconBackground() override { calls.push_back("erase"); }
    void DrawIcon(int x, int y, int iconId) override {
        calls.push_back("icon " + std::to_string(iconId) + " at " + std::to_string(x) + "," +
                        std::to_string(y));
    }
    std::vector<std::string> calls;

  private:
    bool iconic_;
    ui::Size client_;
};

TEST_F(DialogTest, MinimisedPaintCentresTheIcon) {
    struct Case {
        bool iconic;
        ui::Size client;
        std::vector<std::string> calls;
    } cases[] = {
        {true, {160, 100}, {"erase", "icon 128 at 64,34"}},
        {true, {161, 101}, {"erase", "icon 128 at 65,35"}},
        // Smaller than the icon: the halves truncate toward zero.
        {true, {10, 0}, {"erase", "icon 128 at -10,-15"}},
        {false, {160, 100}, {}},
    };
    Open();
    for (const Case& c : cases) {
        RecordingPaint paint(c.iconic, c.client);
        dialog_->DispatchPaint(paint);
        EXPECT_EQ(paint.calls, c.calls);
    }
    EXPECT_EQ(dialog_->DispatchQueryDragIcon(), ui::IDR_MAINFRAME);
}

}  // namespace
}  // namespace quillon_test
