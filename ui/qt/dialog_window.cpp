#include "ui/qt/dialog_window.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QWindow>
#include <algorithm>

#include "ui/qt/event_watch.h"
#include "ui/qt/icons.h"

namespace ui::qt {
namespace {

QColor ToQColor(Rgb colour) {
    return QColor(colour.r, colour.g, colour.b);
}

std::string Geometry(const QRect& r) {
    return std::to_string(r.x()) + " " + std::to_string(r.y()) + " " + std::to_string(r.width()) +
           " " + std::to_string(r.height());
}

// A static text control. It asks its dialog for its colours each time it
// paints, so a dialog may change them at any time.
class StaticText final : public QWidget {
  public:
    StaticText(DialogWindow& window, const ControlTemplate& control)
        : QWidget(&window),
          window_(window),
          id_(control.id),
          style_(control.style),
          text_(QString::fromStdString(control.text)) {}

    void SetText(const QString& text) {
        text_ = text;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        DeviceContext dc;
        const Brush* brush = window_.ControlColours(dc, id_);
        QPainter painter(this);
        if (brush != nullptr) painter.fillRect(rect(), ToQColor(brush->Colour()));

        int flags = Qt::TextShowMnemonic;
        if (style_ & kStyleCenterVertical)
            flags |= Qt::AlignVCenter | Qt::TextSingleLine;
        else
            flags |= Qt::AlignTop | Qt::TextWordWrap;
        flags |= (style_ & kStyleCenter) ? Qt::AlignHCenter : Qt::AlignLeft;

        if (dc.backgroundMode == BkMode::kOpaque && dc.backgroundColour) {
            const QRect behind = painter.boundingRect(rect(), flags, text_);
            painter.fillRect(behind, ToQColor(*dc.backgroundColour));
        }
        painter.setPen(dc.textColour ? ToQColor(*dc.textColour)
                                     : palette().color(QPalette::WindowText));
        painter.drawText(rect(), flags, text_);
    }

  private:
    DialogWindow& window_;
    const int id_;
    const uint32_t style_;
    QString text_;
};

// The system's icon size: a static icon control takes the size of its icon.
constexpr int kIconSize = 32;

}  // namespace

HostTexts TextsFor(Language language) {
    if (language == Language::kChinese) return {"确定", "最小化(&N)", "关闭(&C)"};
    return {"OK", "Mi&nimize", "&Close"};
}

DialogWindow::DialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog, HostTexts texts,
                           EventLog& log, QWidget* parent)
    : QWidget(parent),
      template_(dialogTemplate),
      dialog_(&dialog),
      texts_(std::move(texts)),
      log_(log),
      units_(BaseUnitsOf(DialogFont(dialogTemplate))) {
    const bool appWindow = (template_.style & kStyleAppWindow) != 0;
    Qt::WindowFlags flags = (appWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint;
    if (template_.style & kStyleCaption) flags |= Qt::WindowTitleHint;
    if (template_.style & kStyleSysMenu) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        // Here the window manager's minimise button stands in for the
        // system menu's Minimize item.
        if (appWindow) flags |= Qt::WindowMinimizeButtonHint;
    }
    setWindowFlags(flags);
    if (dialog.IsModal()) setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QString::fromStdString(template_.caption));
    setFont(DialogFont(template_));
    setFixedSize(ClientSize(units_, template_));
    setContextMenuPolicy(Qt::DefaultContextMenu);

    log_.Line("units " + Tag() + " " + std::to_string(units_.x) + " " + std::to_string(units_.y));
    BuildControls();

    // The key that opens a window's own menu.
    auto* menuKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    QObject::connect(menuKey, &QShortcut::activated,
                     [this] { ShowWindowMenu(mapToGlobal(QPoint(0, 0))); });

    // The window exists at once, so its exposure can be watched from the
    // first show on.
    (void)winId();
    if (QWindow* handle = windowHandle()) handle->installEventFilter(this);
}

DialogWindow::~DialogWindow() = default;

void DialogWindow::Detach() {
    dialog_ = nullptr;
}

std::string DialogWindow::Tag() const {
    return std::to_string(template_.id);
}

// --- controls ---

void DialogWindow::BuildControls() {
    for (const ControlTemplate& control : template_.controls) {
        QWidget* widget = MakeControl(control);
        const QRect where = ToPixels(units_, control.x, control.y, control.width, control.height);
        if (control.type == ControlType::kStaticIcon)
            widget->setGeometry(QRect(where.topLeft(), QSize(kIconSize, kIconSize)));
        else
            widget->setGeometry(where);
        if (control.id != IDC_STATIC) controls_[control.id] = widget;
        log_.Line("control " + Tag() + " " + std::to_string(control.id) + " " +
                  Geometry(widget->geometry()) + " " + OneLine(control.text));
    }
}

QWidget* DialogWindow::MakeControl(const ControlTemplate& control) {
    switch (control.type) {
        case ControlType::kPushButton: {
            auto* button = new QPushButton(QString::fromStdString(control.text), this);
            // Drawn as the default button; what Enter does is the dialog's
            // business (see HandleDialogKey), never the button's own.
            button->setAutoDefault(false);
            button->setDefault((control.style & kStyleDefaultButton) != 0);
            button->setFocusPolicy((control.style & kStyleTabStop) ? Qt::StrongFocus
                                                                   : Qt::ClickFocus);
            const int id = control.id;
            QObject::connect(button, &QPushButton::clicked, [this, id] {
                log_.Line("click " + Tag() + " " + std::to_string(id));
                if (dialog_ != nullptr) dialog_->DispatchCommand(id);
            });
            button->installEventFilter(this);
            return button;
        }
        case ControlType::kProgressBar: {
            auto* bar = new QProgressBar(this);
            bar->setRange(0, 100);  // a new progress bar's range
            bar->setValue(0);
            bar->setTextVisible(false);
            bar->setFocusPolicy(Qt::NoFocus);
            return bar;
        }
        case ControlType::kStaticIcon: {
            auto* label = new QLabel(this);
            label->setPixmap(AppIcon(control.iconId).pixmap(QSize(kIconSize, kIconSize)));
            return label;
        }
        case ControlType::kStaticText:
            break;
    }
    return new StaticText(*this, control);
}

void DialogWindow::SetControlText(int controlId, const std::string& text) {
    const auto it = controls_.find(controlId);
    if (it == controls_.end()) return;
    const QString value = QString::fromStdString(text);
    if (auto* button = qobject_cast<QPushButton*>(it->second))
        button->setText(value);
    else if (auto* label = dynamic_cast<StaticText*>(it->second))
        label->SetText(value);
    log_.Line("text " + std::to_string(controlId) + " " + OneLine(text));
}

void DialogWindow::EnableControl(int controlId, bool enable) {
    const auto it = controls_.find(controlId);
    if (it == controls_.end()) return;
    it->second->setEnabled(enable);
    log_.Line("enable " + std::to_string(controlId) + " " + (enable ? "1" : "0"));
}

void DialogWindow::SetProgressRange(int controlId, int low, int high) {
    const auto it = controls_.find(controlId);
    auto* bar = it == controls_.end() ? nullptr : qobject_cast<QProgressBar*>(it->second);
    if (bar == nullptr) return;
    const int value = std::clamp(bar->value(), std::min(low, high), std::max(low, high));
    bar->setRange(std::min(low, high), std::max(low, high));
    bar->setValue(value);
    log_.Line("range " + std::to_string(controlId) + " " + std::to_string(low) + " " +
              std::to_string(high));
}

void DialogWindow::SetProgressPos(int controlId, int pos) {
    const auto it = controls_.find(controlId);
    auto* bar = it == controls_.end() ? nullptr : qobject_cast<QProgressBar*>(it->second);
    if (bar == nullptr) return;
    // A progress bar keeps its position inside its range (Qt's would ignore
    // a value outside it instead).
    const int value = std::clamp(pos, bar->minimum(), bar->maximum());
    if (value == bar->value()) return;
    bar->setValue(value);
    log_.Line("progress " + std::to_string(controlId) + " " + std::to_string(value));
}

const Brush* DialogWindow::ControlColours(DeviceContext& dc, int controlId) {
    return dialog_ != nullptr ? dialog_->DispatchCtlColor(dc, controlId) : nullptr;
}

// --- the window menu ---

void DialogWindow::AppendMenuSeparator() {
    menu_.push_back({true, 0, {}});
}

void DialogWindow::AppendMenuItem(uint32_t command, const std::string& text) {
    menu_.push_back({false, command, text});
}

void DialogWindow::ShowWindowMenu(QPoint globalPos) {
    if (!(template_.style & kStyleSysMenu)) return;
    QMenu menu(this);
    auto add = [&menu](uint32_t command, const std::string& text) {
        QAction* action = menu.addAction(QString::fromStdString(text));
        action->setData(command);
    };
    if (template_.style & kStyleAppWindow) add(kMinimizeCommand, texts_.minimize);
    add(SC_CLOSE, texts_.close);
    for (const MenuEntry& entry : menu_) {
        if (entry.separator)
            menu.addSeparator();
        else
            add(entry.command, entry.text);
    }

    // Tell the log once the menu can be seen (and clicked).
    EventWatch watch(QEvent::Expose, [&] {
        log_.Line("menu shown " + Tag() + " " + std::to_string(menu.winId()));
        for (QAction* action : menu.actions()) {
            if (action->isSeparator()) continue;
            const QRect r(menu.mapToGlobal(menu.actionGeometry(action).topLeft()),
                          menu.actionGeometry(action).size());
            log_.Line("menuitem " + std::to_string(action->data().toUInt()) + " " + Geometry(r) +
                      " " + action->text().toStdString());
        }
    });
    (void)menu.winId();
    watch.Watch(menu.windowHandle());

    QAction* chosen = menu.exec(globalPos);
    if (chosen == nullptr) {
        log_.Line("menu closed " + Tag());
        return;
    }
    const uint32_t command = chosen->data().toUInt();
    log_.Line("menu chose " + Tag() + " " + std::to_string(command));
    if (command == kMinimizeCommand) {
        showMinimized();
    } else if (command == SC_CLOSE) {
        RequestClose();
    } else if (dialog_ != nullptr) {
        dialog_->DispatchSysCommand(command);
    }
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    ShowWindowMenu(event->globalPos());
    event->accept();
}

// --- keys and closing ---

bool DialogWindow::HandleDialogKey(const QKeyEvent& event) {
    int key = 0;
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = VK_RETURN;
            break;
        case Qt::Key_Escape:
            key = VK_ESCAPE;
            break;
        default:
            return false;
    }
    const std::string tag = Tag();  // the window may be gone afterwards
    if (dialog_ != nullptr) dialog_->DispatchKeyDown(key);
    log_.Line("key " + tag + " " + std::to_string(key));
    return true;
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    if (HandleDialogKey(*event)) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool DialogWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched != windowHandle())
        return HandleDialogKey(*static_cast<QKeyEvent*>(event));
    if (event->type() == QEvent::Expose && watched == windowHandle() && windowHandle()->isExposed())
        OnExposed();
    return QWidget::eventFilter(watched, event);
}

void DialogWindow::closeEvent(QCloseEvent* event) {
    // The window closes when its dialog ends, if it wants to.
    event->ignore();
    RequestClose();
}

void DialogWindow::RequestClose() {
    const std::string tag = Tag();
    log_.Line("close " + tag);
    if (dialog_ == nullptr) return;
    dialog_->DispatchSysCommand(SC_CLOSE);
    if (dialog_ != nullptr && !dialog_->Ended()) log_.Line("close refused " + tag);
}

// --- visibility ---

bool DialogWindow::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) log_.Line("window active " + Tag());
    return QWidget::event(event);
}

void DialogWindow::showEvent(QShowEvent* event) {
    exposeLogPending_ = true;
    QWidget::showEvent(event);
}

void DialogWindow::hideEvent(QHideEvent* event) {
    exposeLogPending_ = false;
    QWidget::hideEvent(event);
}

void DialogWindow::OnExposed() {
    if (!exposeLogPending_) return;
    exposeLogPending_ = false;
    const QRect client(mapToGlobal(QPoint(0, 0)), size());
    log_.Line("window shown " + Tag() + " " + std::to_string(winId()) + " " + Geometry(client));
}

}  // namespace ui::qt
