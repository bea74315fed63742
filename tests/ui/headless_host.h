// A host without a screen for the dialog tests. It records every request the
// dialogs make, as text lines in the order they reach the user-interface
// thread, and lets a test act as the user: click, press keys, pick system
// commands, close windows, and script what the user does when a modal loop
// has nothing left to run.
//
// Record lines (templates named by their id):
//   framework <call> <detail>      create <tmpl>      show <tmpl> <0|1>
//   modal <tmpl>      end <tmpl> <result>      destroy <tmpl>
//   icon <tmpl> <id> <big|small>   menu-separator <tmpl>   menu <tmpl> <command> <text>
//   text <control> <text>   enable <control> <0|1>   range <control> <low> <high>
//   pos <control> <pos>     msgbox [<caption>] <text> (<style hex>)
//   click <control> [ignored]   key <code>   syscommand <command>   close <tmpl>
//   abandon <tmpl>   (a modal loop with nothing to run and no script left)
// Tests add their own lines with Record (the fake camera library does).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/loop_host.h"

namespace quillon_test {

class HeadlessHost final : public ui::LoopHost {
  public:
    explicit HeadlessHost(ui::Language language = ui::Language::kEnglish);
    explicit HeadlessHost(ui::ResourceSet resources);
    ~HeadlessHost() override;

    // --- the record ---
    void Record(const std::string& line);
    [[nodiscard]] std::vector<std::string> Requests() const;
    // The lines that start with one of `prefixes`, in order.
    [[nodiscard]] std::vector<std::string> RequestsStartingWith(
        std::initializer_list<std::string> prefixes) const;
    void ClearRequests();

    // --- acting as the user (user-interface thread) ---
    // A click reaches the dialog only when the control exists and is enabled.
    void Click(ui::WindowId window, int controlId);
    void KeyDown(ui::WindowId window, int key);
    void SysCommand(ui::WindowId window, uint32_t command);
    void Close(ui::WindowId window);
    const ui::Brush* CtlColor(ui::WindowId window, ui::DeviceContext& dc, int controlId);

    using Action = std::function<void(HeadlessHost& host, ui::WindowId window)>;
    // What the user does: one action each time a modal loop runs out of work.
    void Script(Action action);
    // Runs on every message box, before it is answered.
    void OnMessageBox(std::function<void(const std::string& text)> hook) {
        messageBoxHook_ = std::move(hook);
    }

    // Serves requests until none is queued and no started thread runs.
    void PumpUntilIdle();

    // --- what the windows show ---
    // The newest window made from template `templateId`; kNoWindow if none exists.
    [[nodiscard]] ui::WindowId WindowOf(int templateId) const;
    [[nodiscard]] bool Exists(ui::WindowId window) const;
    [[nodiscard]] bool Visible(ui::WindowId window) const;
    [[nodiscard]] bool Ended(ui::WindowId window) const;
    [[nodiscard]] std::string ControlText(ui::WindowId window, int controlId) const;
    [[nodiscard]] bool Enabled(ui::WindowId window, int controlId) const;
    [[nodiscard]] int ProgressPos(ui::WindowId window, int controlId) const;

    // --- ui::Host ---
    void OnFrameworkCall(std::string_view call, std::string_view detail) override;
    ui::WindowId CreateDialogWindow(const ui::DialogTemplate& dialogTemplate, ui::Dialog& dialog,
                                    ui::WindowId owner) override;
    void ShowDialogWindow(ui::WindowId window, bool show) override;
    int RunModalLoop(ui::WindowId window) override;
    void EndModalLoop(ui::WindowId window, int result) override;
    void DestroyDialogWindow(ui::WindowId window) override;
    void SetWindowIcon(ui::WindowId window, int iconId, bool big) override;
    void AppendSystemMenuSeparator(ui::WindowId window) override;
    void AppendSystemMenuItem(ui::WindowId window, uint32_t command,
                              const std::string& text) override;
    void SetControlText(ui::WindowId window, int controlId, const std::string& text) override;
    void EnableControl(ui::WindowId window, int controlId, bool enable) override;
    void SetProgressRange(ui::WindowId window, int controlId, int low, int high) override;
    void SetProgressPos(ui::WindowId window, int controlId, int pos) override;
    int MessageBox(ui::WindowId owner, const std::string& text, const std::string& caption,
                   uint32_t style) override;

    // The result a modal loop ends with when the script has run out.
    static constexpr int kAbandoned = -100;

  private:
    struct ControlState {
        std::string text;
        bool enabled = true;
        int low = 0, high = 100, pos = 0;
    };
    struct WindowState {
        int templateId = 0;
        ui::Dialog* dialog = nullptr;
        bool visible = false;
        bool ended = false;
        int result = 0;
        std::map<int, ControlState> controls;
    };

    // Window requests must come on the user-interface thread.
    void CheckUiThread(const char* what) const;
    WindowState* Find(ui::WindowId window);
    const WindowState* Find(ui::WindowId window) const;
    ControlState* FindControl(ui::WindowId window, int controlId);
    std::string Tmpl(ui::WindowId window) const;

    mutable std::mutex recordMutex_;
    std::vector<std::string> record_;
    std::map<ui::WindowId, WindowState> windows_;
    ui::WindowId nextWindow_ = 1;
    std::deque<Action> script_;
    std::function<void(const std::string&)> messageBoxHook_;
};

}  // namespace quillon_test
