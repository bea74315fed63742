// The host behind MakeQtHost. The thread that constructs it is the
// user-interface thread, where its Qt application runs.
//
// Requests from other threads reach the user-interface thread as blocking
// queued calls, so the requesting thread waits until its request has run,
// also while a message box or a modal dialog runs its own loop.
#pragma once

#include <QPointer>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ui/host.h"
#include "ui/qt/dialog_window.h"
#include "ui/qt/event_log.h"

class QApplication;
class QEventLoop;
class QObject;

namespace ui::qt {

class QtHost final : public Host {
  public:
    explicit QtHost(ResourceSet resources);
    // Stops serving requests (a thread waiting for one goes on without it),
    // waits for the threads it started, then closes what is left.
    ~QtHost() override;

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

    [[nodiscard]] bool IsUiThread() const override;
    void SendToUiThread(const std::function<void()>& task) override;
    [[nodiscard]] bool StartThread(std::function<void()> work) override;

  private:
    struct WindowState {
        QPointer<DialogWindow> widget;
        bool ended = false;
        int result = 0;
        bool positioned = false;
        QEventLoop* loop = nullptr;  // while its modal loop runs
    };

    [[nodiscard]] WindowState* Find(WindowId window);
    [[nodiscard]] DialogWindow* Widget(WindowId window);
    // The window a new window or a message box belongs to when none is named.
    [[nodiscard]] QWidget* CurrentOwner();
    void Place(WindowState& state);
    void OnThreadEnded();
    void WaitForThreads();

    const std::thread::id uiThread_;
    std::unique_ptr<QApplication> app_;  // when this host made it
    EventLog log_;
    const HostTexts texts_;
    std::unique_ptr<QObject> receiver_;  // where requests from other threads are delivered
    std::map<WindowId, WindowState> windows_;
    WindowId nextWindow_ = 1;
    std::vector<WindowId> modalLoops_;  // innermost last

    std::atomic<bool> closing_{false};
    std::mutex threadsMutex_;
    int activeThreads_ = 0;
    QEventLoop* threadWait_ = nullptr;
};

}  // namespace ui::qt
