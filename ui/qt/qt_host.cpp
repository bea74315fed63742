#include "ui/qt/qt_host.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <system_error>

#include "ui/dialog.h"
#include "ui/qt/event_watch.h"
#include "ui/qt/icons.h"
#include "ui/qt/qt_host_impl.h"

namespace ui {

namespace {

bool HaveDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<Host> MakeQtHost(ResourceSet resources) {
    if (!HaveDisplay()) {
        std::fprintf(stderr,
                     "quillon: cannot open a window: no display (DISPLAY and WAYLAND_DISPLAY "
                     "are unset); QUILLON_UI=console runs quillon in the terminal\n");
        std::exit(2);
    }
    return std::make_unique<qt::QtHost>(std::move(resources));
}

namespace qt {
namespace {

// QApplication keeps references to its arguments for its whole life.
int g_argc = 1;
char g_programName[] = "quillon";
char* g_argv[] = {g_programName, nullptr};

QMessageBox::Icon BoxIcon(uint32_t style, const char** name) {
    switch (style & 0xF0) {
        case 0x10:
            *name = "error";
            return QMessageBox::Critical;
        case 0x20:
            *name = "question";
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            *name = "exclamation";
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            *name = "information";
            return QMessageBox::Information;
        default:
            *name = "none";
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtHost::QtHost(ResourceSet resources)
    : Host(std::move(resources)),
      uiThread_(std::this_thread::get_id()),
      log_("QUILLON_UI_LOG"),
      texts_(TextsFor(Resources().GetLanguage())) {
    if (QApplication::instance() == nullptr) {
        app_ = std::make_unique<QApplication>(g_argc, g_argv);
    }
    QApplication::setApplicationName(QStringLiteral("quillon"));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
    // Windows come and go (the main window is hidden before it is
    // destroyed); the dialogs decide when the program ends, not Qt.
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(AppIcon(IDR_MAINFRAME));
    QApplication::setFont(DialogFont(DialogTemplate{}));
    receiver_ = std::make_unique<QObject>();
}

QtHost::~QtHost() {
    closing_ = true;
    WaitForThreads();
    for (auto& [id, state] : windows_) {
        if (state.widget == nullptr) continue;
        state.widget->Detach();
        delete state.widget.data();
    }
    windows_.clear();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    receiver_.reset();
    app_.reset();
}

// --- windows ---

QtHost::WindowState* QtHost::Find(WindowId window) {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

DialogWindow* QtHost::Widget(WindowId window) {
    WindowState* state = Find(window);
    return state != nullptr ? state->widget.data() : nullptr;
}

QWidget* QtHost::CurrentOwner() {
    for (auto it = modalLoops_.rbegin(); it != modalLoops_.rend(); ++it) {
        DialogWindow* widget = Widget(*it);
        if (widget != nullptr && widget->isVisible()) return widget;
    }
    return nullptr;
}

WindowId QtHost::CreateDialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog,
                                    WindowId owner) {
    QWidget* parent = owner != kNoWindow ? Widget(owner) : CurrentOwner();
    const WindowId id = nextWindow_++;
    WindowState state;
    state.widget = new DialogWindow(dialogTemplate, dialog, texts_, log_, parent);
    windows_.emplace(id, std::move(state));
    return id;
}

void QtHost::Place(WindowState& state) {
    DialogWindow* widget = state.widget;
    if (state.positioned || widget == nullptr) return;
    state.positioned = true;
    // Centred over the window it belongs to, else on its screen.
    const QWidget* parent = widget->parentWidget();
    QRect area;
    if (parent != nullptr && parent->isVisible())
        area = parent->frameGeometry();
    else if (const QScreen* screen = widget->screen())
        area = screen->availableGeometry();
    if (area.isValid())
        widget->move(area.center() - QPoint(widget->width() / 2, widget->height() / 2));
}

void QtHost::ShowDialogWindow(WindowId window, bool show) {
    WindowState* state = Find(window);
    if (state == nullptr || state->widget == nullptr) return;
    if (show) {
        Place(*state);
        state->widget->show();
        state->widget->raise();
        state->widget->activateWindow();
    } else if (state->widget->isVisible()) {
        state->widget->hide();
        log_.Line("window hidden " + std::to_string(state->widget->Template().id));
    }
}

int QtHost::RunModalLoop(WindowId window) {
    WindowState* state = Find(window);
    if (state == nullptr) return -1;
    if (state->ended) return state->result;
    QEventLoop loop;
    state->loop = &loop;
    modalLoops_.push_back(window);
    loop.exec(QEventLoop::DialogExec);
    modalLoops_.erase(std::find(modalLoops_.begin(), modalLoops_.end(), window));
    state = Find(window);
    if (state == nullptr) return -1;
    state->loop = nullptr;
    return state->result;
}

void QtHost::EndModalLoop(WindowId window, int result) {
    WindowState* state = Find(window);
    if (state == nullptr) return;
    state->ended = true;
    state->result = result;
    if (state->loop != nullptr) state->loop->exit();
}

void QtHost::DestroyDialogWindow(WindowId window) {
    WindowState* state = Find(window);
    if (state == nullptr) return;
    if (state->loop != nullptr) state->loop->exit();
    if (DialogWindow* widget = state->widget) {
        widget->Detach();
        widget->hide();
        log_.Line("window destroyed " + std::to_string(widget->Template().id));
        // It may be in the middle of handling one of its own events.
        widget->deleteLater();
    }
    windows_.erase(window);
}

void QtHost::SetWindowIcon(WindowId window, int iconId, bool) {
    DialogWindow* widget = Widget(window);
    const QIcon icon = AppIcon(iconId);
    if (widget != nullptr && !icon.isNull()) widget->setWindowIcon(icon);
}

void QtHost::AppendSystemMenuSeparator(WindowId window) {
    if (DialogWindow* widget = Widget(window)) widget->AppendMenuSeparator();
}

void QtHost::AppendSystemMenuItem(WindowId window, uint32_t command, const std::string& text) {
    if (DialogWindow* widget = Widget(window)) widget->AppendMenuItem(command, text);
}

// --- controls ---

void QtHost::SetControlText(WindowId window, int controlId, const std::string& text) {
    if (DialogWindow* widget = Widget(window)) widget->SetControlText(controlId, text);
}

void QtHost::EnableControl(WindowId window, int controlId, bool enable) {
    if (DialogWindow* widget = Widget(window)) widget->EnableControl(controlId, enable);
}

void QtHost::SetProgressRange(WindowId window, int controlId, int low, int high) {
    if (DialogWindow* widget = Widget(window)) widget->SetProgressRange(controlId, low, high);
}

void QtHost::SetProgressPos(WindowId window, int controlId, int pos) {
    if (DialogWindow* widget = Widget(window)) widget->SetProgressPos(controlId, pos);
}

int QtHost::MessageBox(WindowId owner, const std::string& text, const std::string& caption,
                       uint32_t style) {
    QWidget* parent = Widget(owner);
    if (parent == nullptr || !parent->isVisible()) parent = CurrentOwner();
    const char* iconName = "none";
    const QMessageBox::Icon icon = BoxIcon(style, &iconName);

    QMessageBox box(parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.setIcon(icon);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    QPushButton* ok = box.addButton(QString::fromStdString(texts_.ok), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);

    EventWatch shown(QEvent::Expose, [&] {
        log_.Line("messagebox shown " + std::to_string(box.winId()) + " " + iconName + " " +
                  OneLine(caption) + " | " + OneLine(text));
    });
    EventWatch active(QEvent::WindowActivate, [&] { log_.Line("messagebox active"); });
    (void)box.winId();
    shown.Watch(box.windowHandle());
    active.Watch(&box);
    // Its own loop serves the requests of other threads meanwhile.
    box.exec();
    log_.Line("messagebox closed " + std::to_string(IDOK));
    return IDOK;
}

// --- threads ---

bool QtHost::IsUiThread() const {
    return std::this_thread::get_id() == uiThread_;
}

void QtHost::SendToUiThread(const std::function<void()>& task) {
    if (IsUiThread()) {
        task();
        return;
    }
    if (closing_) return;
    // The receiver lives until every thread this host started has finished,
    // and the host serves these calls while it waits for them.
    QMetaObject::invokeMethod(
        receiver_.get(),
        [this, &task] {
            if (!closing_) task();
        },
        Qt::BlockingQueuedConnection);
}

bool QtHost::StartThread(std::function<void()> work) {
    if (closing_) return false;
    {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        ++activeThreads_;
    }
    try {
        std::thread([this, work = std::move(work)] {
            work();
            // Under the lock the host cannot get past WaitForThreads, so the
            // receiver is still there for the end notice.
            std::lock_guard<std::mutex> lock(threadsMutex_);
            --activeThreads_;
            QMetaObject::invokeMethod(
                receiver_.get(), [this] { OnThreadEnded(); }, Qt::QueuedConnection);
        }).detach();
        return true;
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(threadsMutex_);
        --activeThreads_;
        return false;
    }
}

void QtHost::OnThreadEnded() {
    std::lock_guard<std::mutex> lock(threadsMutex_);
    if (activeThreads_ == 0 && threadWait_ != nullptr) threadWait_->exit();
}

void QtHost::WaitForThreads() {
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(threadsMutex_);
            if (activeThreads_ == 0) return;
        }
        // Threads still waiting for a request are let go (closing_), and
        // the last one to end wakes this loop.
        QEventLoop loop;
        threadWait_ = &loop;
        loop.exec();
        threadWait_ = nullptr;
    }
}

}  // namespace qt
}  // namespace ui
