// One dialog window: a top-level widget laid out from its template, whose
// user actions (clicks, Enter and Escape, closing, its window menu) go to the
// dialog that owns it.
#pragma once

#include <QWidget>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ui/dialog.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/event_log.h"

namespace ui::qt {

// Texts the window front end shows of its own, in the user's language.
struct HostTexts {
    std::string ok;        // message-box button
    std::string minimize;  // window-menu items
    std::string close;
};
[[nodiscard]] HostTexts TextsFor(Language language);

// Window-menu commands the host carries out itself.
inline constexpr uint32_t kMinimizeCommand = 0xF020;

class DialogWindow final : public QWidget {
  public:
    DialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog, HostTexts texts,
                 EventLog& log, QWidget* parent);
    ~DialogWindow() override;

    // The dialog lets go of its window: no further events reach it.
    void Detach();

    [[nodiscard]] const DialogTemplate& Template() const { return template_; }
    [[nodiscard]] BaseUnits Units() const { return units_; }

    void SetControlText(int controlId, const std::string& text);
    void EnableControl(int controlId, bool enable);
    void SetProgressRange(int controlId, int low, int high);
    void SetProgressPos(int controlId, int pos);
    void AppendMenuSeparator();
    void AppendMenuItem(uint32_t command, const std::string& text);

    // The colours the dialog wants for one of its static controls; null
    // brush and no colours: the window's own.
    const Brush* ControlColours(DeviceContext& dc, int controlId);

    // Shows the window menu with its top-left corner at `globalPos`.
    void ShowWindowMenu(QPoint globalPos);

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct MenuEntry {
        bool separator = false;
        uint32_t command = 0;
        std::string text;
    };

    void BuildControls();
    QWidget* MakeControl(const ControlTemplate& control);
    // Enter and Escape go to the dialog, which decides what they do; true
    // when `event` was one of them.
    bool HandleDialogKey(const QKeyEvent& event);
    void RequestClose();
    void OnExposed();
    [[nodiscard]] std::string Tag() const;

    const DialogTemplate& template_;
    Dialog* dialog_;
    const HostTexts texts_;
    EventLog& log_;
    const BaseUnits units_;
    std::map<int, QWidget*> controls_;  // addressable controls by id
    std::vector<MenuEntry> menu_;
    bool exposeLogPending_ = false;
};

}  // namespace ui::qt
