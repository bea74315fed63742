// The console front end: what goes to standard output and standard error,
// and commands read from standard input.
#include "ui/console/console_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>

#include "ui/dialog.h"

namespace ui {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr int kTemplate = 910;

ResourceSet TestResources() {
    ResourceSet set = ResourceSet::ForLanguage(Language::kEnglish);
    DialogTemplate t;
    t.id = kTemplate;
    t.width = 100;
    t.height = 50;
    t.caption = "Console Test";
    t.style = kStyleVisible | kStyleSysMenu;
    t.controls = {
        {20, ControlType::kPushButton, "First", 0, 0, 10, 10, kStyleDefaultButton},
        {21, ControlType::kStaticText, "status", 0, 0, 10, 10, kStyleNone},
        {22, ControlType::kPushButton, "Second", 0, 0, 10, 10, kStyleNone},
        {23, ControlType::kProgressBar, "", 0, 0, 10, 10, kStyleBorder},
    };
    set.SetDialog(t);
    return set;
}

// A file standing in for a stream, read back as text.
class CapturedStream {
  public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream() { std::fclose(file_); }
    std::FILE* File() const { return file_; }
    std::string Text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text.append(buffer, n);
        return text;
    }

  private:
    std::FILE* file_;
};

// Standard input with all of `text` in it, then its end.
class Input {
  public:
    explicit Input(const std::string& text) {
        EXPECT_EQ(::pipe(fds_), 0);
        EXPECT_EQ(::write(fds_[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fds_[1]);
    }
    ~Input() { ::close(fds_[0]); }
    int Fd() const { return fds_[0]; }

  private:
    int fds_[2] = {-1, -1};
};

class ConsoleDialog : public Dialog {
  public:
    ConsoleDialog(Host& host, std::string& log) : Dialog(host, kTemplate), log_(log) {}
    std::function<void(ConsoleDialog&)> onInit;
    std::function<bool()> mayClose = [] { return true; };

  protected:
    bool OnInitDialog() override {
        AppendSystemMenuItem(16, "About Quillon(&A)...");
        if (onInit) onInit(*this);
        return true;
    }
    bool PreTranslateMessage(const Message& m) override {
        log_ += "key " + std::to_string(m.key) + ";";
        return m.key == VK_RETURN;  // Enter is taken, Escape is not
    }
    void OnCommand(int id) override {
        log_ += "command " + std::to_string(id) + ";";
        Dialog::OnCommand(id);
    }
    void OnSysCommand(uint32_t command) override {
        log_ += "syscommand " + std::to_string(command) + ";";
        Dialog::OnSysCommand(command);
    }
    void OnClose() override {
        log_ += "close;";
        if (mayClose()) Dialog::OnClose();
    }

  private:
    std::string& log_;
};

class ConsoleHostTest : public ::testing::Test {
  protected:
    ConsoleStreams Streams(const Input& in, bool inTerminal = false, bool errTerminal = false) {
        ConsoleStreams s;
        s.inFd = in.Fd();
        s.out = out_.File();
        s.err = err_.File();
        s.inIsTerminal = inTerminal;
        s.errIsTerminal = errTerminal;
        return s;
    }
    CapturedStream out_, err_;
    std::string log_;
};

TEST_F(ConsoleHostTest, StandardOutputHasTheMessageBoxAndStatusLinesOnly) {
    Input in("");
    {
        ConsoleHost host(TestResources(), Streams(in));
        ConsoleDialog dialog(host, log_);
        dialog.onInit = [](ConsoleDialog& d) {
            d.MessageBox("Firmware and device do not match!", "Quillon", MB_ICONINFORMATION);
            d.SetDlgItemText(21, "Updating......");
            d.GetDlgItem(23)->SetRange(0, 10000);
            d.GetDlgItem(23)->SetPos(5000);
            d.GetDlgItem(20)->EnableWindow(false);
            d.SetDlgItemText(21, "Update successed");
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);  // the input ended: the window closes
    }
    EXPECT_EQ(out_.Text(), "Firmware and device do not match!\nUpdating......\nUpdate successed\n");
    // Neither stream is a terminal: no view, no prompt, no bar.
    EXPECT_EQ(err_.Text(), "");
}

TEST_F(ConsoleHostTest, TheProgressBarIsDrawnOnATerminalBelowTheLines) {
    Input in("");
    {
        ConsoleHost host(TestResources(), Streams(in, false, true));
        ConsoleDialog dialog(host, log_);
        dialog.onInit = [](ConsoleDialog& d) {
            d.GetDlgItem(23)->SetRange(0, 10000);
            d.GetDlgItem(23)->SetPos(5000);
            d.GetDlgItem(23)->SetPos(5001);  // the same picture: not drawn again
            d.SetDlgItemText(21, "done");
        };
        dialog.DoModal();
    }
    // A line clears the bar and draws it again below itself; the window's
    // end ends the bar's line.
    EXPECT_EQ(err_.Text(),
              "\r[----------------------------------------] 0%"
              "\r[####################--------------------] 50%"
              "\r\033[2K\r[####################--------------------] 50%\n");
    EXPECT_EQ(out_.Text(), "done\n");
}

TEST_F(ConsoleHostTest, LinesOfInputAreCommands) {
    // Button 2, Enter, a menu letter, a disabled button, nonsense, and the
    // end of the input.
    Input in("2\n\na\n1\nwhat\n");
    ConsoleHost host(TestResources(), Streams(in));
    ConsoleDialog dialog(host, log_);
    dialog.onInit = [](ConsoleDialog& d) { d.GetDlgItem(20)->EnableWindow(false); };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(log_, "command 22;key 13;syscommand 16;close;command 2;");
    EXPECT_THAT(err_.Text(), HasSubstr("(First: not now)"));
    EXPECT_THAT(err_.Text(), HasSubstr("? type a button's number"));
}

TEST_F(ConsoleHostTest, EscapeAndQuitClose) {
    for (const char* input : {"esc\n", "q\n"}) {
        log_.clear();
        Input in(input);
        ConsoleHost host(TestResources(), Streams(in));
        ConsoleDialog dialog(host, log_);
        dialog.mayClose = [] { return true; };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << input;
        EXPECT_THAT(log_, HasSubstr("command 2;")) << input;
    }
}

TEST_F(ConsoleHostTest, ARefusedCloseIsTriedAgainWhenAThreadEnds) {
    // Asked for by "q" or by the end of the input, while a thread keeps the
    // dialog from closing.
    for (const char* input : {"", "q\n"}) {
        log_.clear();
        Input in(input);
        std::atomic<bool> busy{true};
        ConsoleHost host(TestResources(), Streams(in));
        ConsoleDialog dialog(host, log_);
        dialog.mayClose = [&] { return !busy.load(); };
        dialog.onInit = [&](ConsoleDialog& d) {
            ASSERT_TRUE(host.StartThread([&] {
                d.SetDlgItemText(21, "working");
                busy = false;
            }));
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << input;
        EXPECT_THAT(log_, HasSubstr("close;command 2;")) << input;
    }
    EXPECT_THAT(out_.Text(), HasSubstr("working\n"));
}

TEST_F(ConsoleHostTest, AMessageBoxWaitsForALineOnlyWhenInputIsATerminal) {
    for (bool terminal : {false, true}) {
        log_.clear();
        Input in("2\n");
        ConsoleHost host(TestResources(), Streams(in, terminal));
        ConsoleDialog dialog(host, log_);
        dialog.onInit = [](ConsoleDialog& d) { d.MessageBox("note"); };
        dialog.DoModal();
        // On a terminal the line closes the box; otherwise it is the dialog's.
        if (terminal)
            EXPECT_THAT(log_, Not(HasSubstr("command 22;")));
        else
            EXPECT_THAT(log_, HasSubstr("command 22;"));
    }
}

TEST_F(ConsoleHostTest, OnATerminalTheViewAndPromptsGoToStandardError) {
    Input in("q\n");
    {
        ConsoleHost host(TestResources(), Streams(in, true));
        ConsoleDialog dialog(host, log_);
        dialog.DoModal();
    }
    const std::string err = err_.Text();
    EXPECT_THAT(err, HasSubstr("Console Test\n"));
    EXPECT_THAT(err, HasSubstr("  1  First\n"));
    EXPECT_THAT(err, HasSubstr("  2  Second\n"));
    EXPECT_THAT(err, HasSubstr("  a  About Quillon(A)...\n"));
    EXPECT_THAT(err, HasSubstr("> "));
    EXPECT_EQ(out_.Text(), "");
}

}  // namespace
}  // namespace ui
