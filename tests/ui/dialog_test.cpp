// The dialog base: window creation from templates, control access from other
// threads, default key handling and the end of a dialog.
#include "ui/dialog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "headless_host.h"

namespace ui {
namespace {

using quillon_test::HeadlessHost;
using ::testing::ElementsAre;

constexpr int kShown = 900;   // visible, with a system menu
constexpr int kHidden = 901;  // neither

ResourceSet TestResources() {
    ResourceSet set = ResourceSet::ForLanguage(Language::kEnglish);
    DialogTemplate shown;
    shown.id = kShown;
    shown.width = 100;
    shown.height = 50;
    shown.caption = "Test";
    shown.style = kStyleVisible | kStyleSysMenu | kStyleCaption;
    shown.controls = {
        {10, ControlType::kPushButton, "Go", 0, 0, 10, 10, kStyleTabStop},
        {11, ControlType::kPushButton, "Default", 0, 0, 10, 10, kStyleDefaultButton},
        {12, ControlType::kStaticText, "idle", 0, 0, 10, 10, kStyleNone},
        {13, ControlType::kProgressBar, "", 0, 0, 10, 10, kStyleBorder},
    };
    set.SetDialog(shown);
    DialogTemplate hidden = shown;
    hidden.id = kHidden;
    hidden.style = kStyleCaption;
    set.SetDialog(hidden);
    return set;
}

class TestDialog : public Dialog {
  public:
    TestDialog(HeadlessHost& host, int templateId) : Dialog(host, templateId), host_(host) {}

    std::function<void(TestDialog&)> onInit;
    bool consumeKeys = false;

  protected:
    bool OnInitDialog() override {
        if (onInit) onInit(*this);
        return true;
    }
    bool PreTranslateMessage(const Message& message) override {
        return consumeKeys || Dialog::PreTranslateMessage(message);
    }
    void OnCommand(int controlId) override {
        host_.Record("command " + std::to_string(controlId));
        Dialog::OnCommand(controlId);
    }

  private:
    HeadlessHost& host_;
};

class DialogBaseTest : public ::testing::Test {
  protected:
    HeadlessHost host_{TestResources()};
};

TEST_F(DialogBaseTest, RequestsFromAnotherThreadRunOnTheUserInterfaceThreadInOrder) {
    TestDialog dialog(host_, kShown);
    ASSERT_TRUE(dialog.Create());
    host_.ClearRequests();
    ASSERT_TRUE(host_.StartThread([&] {
        dialog.SetDlgItemText(12, "first");
        dialog.GetDlgItem(13)->SetRange(0, 50);
        dialog.GetDlgItem(13)->SetPos(7);
        dialog.GetDlgItem(10)->EnableWindow(false);
        dialog.SetDlgItemText(12, "second");
        // Each request has been served before the call returned.
        host_.Record("worker done");
    }));
    host_.PumpUntilIdle();
    EXPECT_THAT(host_.Requests(), ElementsAre("text 12 first", "range 13 0 50", "pos 13 7",
                                              "enable 10 0", "text 12 second", "worker done"));
    EXPECT_EQ(host_.ControlText(dialog.Window(), 12), "second");
}

TEST_F(DialogBaseTest, ADialogEndedWhileItInitialisesIsNeverShown) {
    TestDialog dialog(host_, kShown);
    dialog.onInit = [](TestDialog& d) { d.EndDialog(-1); };
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_THAT(host_.Requests(), ElementsAre("create 900", "end 900 -1", "destroy 900"));
}

TEST_F(DialogBaseTest, AModalDialogRunsUntilEndDialog) {
    TestDialog dialog(host_, kShown);
    host_.Script([](HeadlessHost& host, WindowId window) { host.Click(window, 10); });
    host_.Script([](HeadlessHost& host, WindowId window) { host.Close(window); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_THAT(host_.Requests(),
                ElementsAre("create 900", "show 900 1", "modal 900", "click 10", "command 10",
                            "close 900", "command 2", "end 900 2", "destroy 900"));
}

TEST_F(DialogBaseTest, EnterPressesTheDefaultButtonAndEscapeCancelsUnlessTheDialogTakesThem) {
    for (bool consume : {false, true}) {
        host_.ClearRequests();
        TestDialog dialog(host_, kShown);
        dialog.consumeKeys = consume;
        ASSERT_TRUE(dialog.Create());
        host_.KeyDown(dialog.Window(), VK_RETURN);
        host_.KeyDown(dialog.Window(), VK_ESCAPE);
        const auto commands = host_.RequestsStartingWith({"command"});
        if (consume)
            EXPECT_THAT(commands, ::testing::IsEmpty());
        else
            EXPECT_THAT(commands, ElementsAre("command 11", "command 2"));
    }
}

TEST_F(DialogBaseTest, ModelessWindowsFollowTheirTemplate) {
    TestDialog shown(host_, kShown);
    TestDialog hidden(host_, kHidden);
    ASSERT_TRUE(shown.Create());
    ASSERT_TRUE(hidden.Create());
    EXPECT_TRUE(host_.Visible(shown.Window()));
    EXPECT_FALSE(host_.Visible(hidden.Window()));

    // Only a window with a system menu gets menu items.
    host_.ClearRequests();
    shown.AppendSystemMenuItem(16, "About");
    hidden.AppendSystemMenuItem(16, "About");
    EXPECT_THAT(host_.Requests(), ElementsAre("menu 900 16 About"));

    // Ending a modeless dialog hides it.
    shown.EndDialog(5);
    EXPECT_TRUE(shown.Ended());
    EXPECT_FALSE(host_.Visible(shown.Window()));
}

TEST_F(DialogBaseTest, ControlsExistOnlyWhileTheWindowDoes) {
    TestDialog dialog(host_, kShown);
    EXPECT_EQ(dialog.GetDlgItem(12), nullptr);
    ASSERT_TRUE(dialog.Create());
    EXPECT_NE(dialog.GetDlgItem(12), nullptr);
    EXPECT_EQ(dialog.GetDlgItem(99), nullptr);
    dialog.DestroyWindow();
    host_.ClearRequests();
    dialog.SetDlgItemText(12, "late");
    EXPECT_EQ(dialog.GetDlgItem(12), nullptr);
    EXPECT_THAT(host_.Requests(), ::testing::IsEmpty());
}

TEST_F(DialogBaseTest, AMissingTemplateCreatesNoWindow) {
    TestDialog dialog(host_, 999);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.Create());
    EXPECT_THAT(host_.Requests(), ::testing::IsEmpty());
}

TEST_F(DialogBaseTest, AMessageBoxWithoutCaptionTakesTheProgramName) {
    host_.SetAppName("quillon");
    TestDialog dialog(host_, kShown);
    ASSERT_TRUE(dialog.Create());
    host_.ClearRequests();
    dialog.MessageBox("hello");
    dialog.MessageBox("hi", "Quillon", MB_ICONINFORMATION);
    EXPECT_THAT(host_.Requests(),
                ElementsAre("msgbox [quillon] hello (0x0)", "msgbox [Quillon] hi (0x40)"));
}

}  // namespace
}  // namespace ui
