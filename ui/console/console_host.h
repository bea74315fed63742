// The console front end. Standard output carries what a script wants to
// read: one line per message box and one per status-text change. Standard
// error carries the rest: a progress bar (only when it is a terminal) and,
// when standard input is a terminal, the window's view and its prompts.
//
// Commands are read from standard input, one per line: a button's number
// clicks it, the letter of a system-menu item chooses it, "q" closes the
// window, an empty line is the Enter key and "esc" the Escape key. The end of
// the input closes the window (once no upgrade holds it open). A message box
// waits for a line only when standard input is a terminal.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ui/loop_host.h"

namespace ui {

struct ConsoleStreams {
    int inFd = 0;  // -1: no input at all
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool inIsTerminal = false;
    bool errIsTerminal = false;

    // The process's standard streams, with what they are connected to.
    [[nodiscard]] static ConsoleStreams Standard();
};

class ConsoleHost final : public LoopHost {
  public:
    ConsoleHost(ResourceSet resources, ConsoleStreams streams);
    ~ConsoleHost() override;

    WindowId CreateDialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog,
                                WindowId owner) override;
    void ShowDialogWindow(WindowId window, bool show) override;
    int RunModalLoop(WindowId window) override;
    void EndModalLoop(WindowId window, int result) override;
    void DestroyDialogWindow(WindowId window) override;
    void SetWindowIcon(WindowId window, int iconId, bool big) override;
    void AppendSystemMenuSeparator(WindowId window) override;
    void AppendSystemMenuItem(WindowId window, uint32_t command, const std::string& text) override;
    void SetControlText(WindowId window, int controlId, const std::string& text) override;
    void EnableControl(WindowId window, int controlId, bool enable) override;
    void SetProgressRange(WindowId window, int controlId, int low, int high) override;
    void SetProgressPos(WindowId window, int controlId, int pos) override;
    int MessageBox(WindowId owner, const std::string& text, const std::string& caption,
                   uint32_t style) override;

  private:
    struct ControlState {
        const ControlTemplate* control;
        std::string text;
        bool enabled = true;
        int low = 0, high = 100, pos = 0;
    };
    struct MenuItem {
        uint32_t command;
        std::string text;
    };
    struct WindowState {
        const DialogTemplate* dialogTemplate = nullptr;
        Dialog* dialog = nullptr;
        bool visible = false;
        bool ended = false;
        int result = 0;
        bool closeWanted = false;   // the user asked to close ("q")
        bool closeRefused = false;  // a close was refused; try again after a thread ends
        std::vector<ControlState> controls;
        std::vector<MenuItem> menu;
    };

    void OnThreadEnded() override;

    WindowState* Find(WindowId window);
    ControlState* FindControl(WindowId window, int controlId);

    // Input: lines read from the input so far.
    std::optional<std::string> TakeLine();
    [[nodiscard]] bool InputExhausted() const;
    // Blocks until a request is queued or (with `input`) input arrives.
    void WaitForEvents(bool input);
    void HandleLine(WindowId window, const std::string& line);
    void TryClose(WindowId window);
    void PushButton(WindowId window, size_t number);

    // Output.
    void Line(std::FILE* stream, const std::string& text);
    void PrintView(WindowId window);
    void Prompt();
    void DrawProgress(const ControlState& control);

    ConsoleStreams streams_;
    int wakePipe_[2] = {-1, -1};
    std::map<WindowId, WindowState> windows_;
    WindowId nextWindow_ = 1;
    std::string input_;
    bool inputEof_ = false;
    bool progressOpen_ = false;
    int drawnCells_ = -1;
    int drawnPercent_ = -1;
    std::string drawnBar_;
};

}  // namespace ui
