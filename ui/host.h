// What the dialogs run on: the front end that shows windows, controls and
// message boxes, delivers the user's actions to the dialogs and serves the
// requests that other threads make of the user-interface thread. The dialog
// code never sees which front end it is (a window system, a console, a test
// recorder); each front end implements this interface.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "ui/resources.h"

namespace ui {

class Dialog;

// A window of the host; 0 is no window.
using WindowId = int;
inline constexpr WindowId kNoWindow = 0;

// Message-box styles and answers.
inline constexpr uint32_t MB_OK = 0x00000000;
inline constexpr uint32_t MB_ICONEXCLAMATION = 0x00000030;
inline constexpr uint32_t MB_ICONINFORMATION = 0x00000040;

// Window-close system command; the About item uses IDM_ABOUTBOX.
inline constexpr uint32_t SC_CLOSE = 0xF060;

// Keys the dialogs care about.
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_ESCAPE = 27;

class Host {
  public:
    // `resources` are the templates and strings in the user's language.
    explicit Host(ResourceSet resources) : resources_(std::move(resources)) {}
    virtual ~Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    [[nodiscard]] const ResourceSet& Resources() const { return resources_; }
    // The program file's name without extension; the default caption of a
    // dialog's message boxes.
    [[nodiscard]] const std::string& AppName() const { return appName_; }
    void SetAppName(std::string name) { appName_ = std::move(name); }

    // A start-up step that only configures the framework of the original
    // window system (restart manager, control containment, ...). It has no
    // effect here; a host may note it.
    virtual void OnFrameworkCall(std::string_view call, std::string_view detail) {
        (void)call;
        (void)detail;
    }

    // --- windows (user-interface thread only) ---
    // Creates a hidden window laid out from `dialogTemplate` whose events go to
    // `dialog`. kNoWindow when it cannot be created.
    virtual WindowId CreateDialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog,
                                        WindowId owner) = 0;
    virtual void ShowDialogWindow(WindowId window, bool show) = 0;
    // Runs the user-interface thread's loop until EndModalLoop for `window`;
    // returns the result given there. Returns at once when the loop was
    // ended already.
    virtual int RunModalLoop(WindowId window) = 0;
    virtual void EndModalLoop(WindowId window, int result) = 0;
    virtual void DestroyDialogWindow(WindowId window) = 0;
    virtual void SetWindowIcon(WindowId window, int iconId, bool big) = 0;
    virtual void AppendSystemMenuSeparator(WindowId window) = 0;
    virtual void AppendSystemMenuItem(WindowId window, uint32_t command,
                                      const std::string& text) = 0;

    // --- controls (user-interface thread only) ---
    virtual void SetControlText(WindowId window, int controlId, const std::string& text) = 0;
    virtual void EnableControl(WindowId window, int controlId, bool enable) = 0;
    virtual void SetProgressRange(WindowId window, int controlId, int low, int high) = 0;
    virtual void SetProgressPos(WindowId window, int controlId, int pos) = 0;

    // Shows a message box owned by `owner` and waits until the user closes
    // it; returns the button pressed (IDOK).
    virtual int MessageBox(WindowId owner, const std::string& text, const std::string& caption,
                           uint32_t style) = 0;

    // --- threads ---
    [[nodiscard]] virtual bool IsUiThread() const = 0;
    // Runs `task` on the user-interface thread and returns when it has run.
    // From the user-interface thread itself it runs at once.
    virtual void SendToUiThread(const std::function<void()>& task) = 0;
    // Starts `work` on a new thread that nobody waits for. False when no
    // thread could be started (then `work` never runs).
    [[nodiscard]] virtual bool StartThread(std::function<void()> work) = 0;

  private:
    ResourceSet resources_;
    std::string appName_ = "quillon";
};

// Starts `start(argument)` on a new thread, the way the run-time library's
// thread start does. False when no thread could be started.
[[nodiscard]] bool BeginThread(Host& host, void (*start)(void*), void* argument);

}  // namespace ui
