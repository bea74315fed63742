// A dialog window built from a template: what the application's dialogs
// derive from. It creates its window through the host, gives access to its
// controls (from any thread: requests from other threads are carried to the
// user-interface thread and waited for) and turns the host's events into
// calls of its handlers, which derived dialogs override.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/host.h"
#include "ui/resources.h"

namespace ui {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// A solid brush that paints a control's background. Whoever creates one
// keeps it as long as a window may paint with it.
class Brush {
  public:
    explicit Brush(Rgb colour) : colour_(colour) {}
    [[nodiscard]] Rgb Colour() const { return colour_; }

  private:
    Rgb colour_;
};

enum class BkMode { kTransparent, kOpaque };

// The drawing attributes a control-colour handler sets for one control.
struct DeviceContext {
    std::optional<Rgb> textColour;
    std::optional<Rgb> backgroundColour;
    std::optional<BkMode> backgroundMode;

    void SetTextColor(Rgb c) { textColour = c; }
    void SetBkColor(Rgb c) { backgroundColour = c; }
    void SetBkMode(BkMode m) { backgroundMode = m; }
};

struct Size {
    int width = 0, height = 0;
};

// What a paint handler draws on.
class PaintContext {
  public:
    virtual ~PaintContext() = default;
    [[nodiscard]] virtual bool IsIconic() const = 0;
    [[nodiscard]] virtual Size ClientSize() const = 0;
    // The system's icon size.
    [[nodiscard]] virtual Size IconSize() const = 0;
    // Has the window erase the background behind its icon.
    virtual void EraseIconBackground() = 0;
    virtual void DrawIcon(int x, int y, int iconId) = 0;
};

// An event before the dialog's own handling sees it.
struct Message {
    enum class Type { kKeyDown, kOther };
    Type type = Type::kOther;
    int key = 0;
};

class Dialog;

// One control of a dialog's window.
class Control {
  public:
    Control(Dialog& owner, const ControlTemplate& control) : owner_(owner), template_(control) {}

    [[nodiscard]] int Id() const { return template_.id; }
    [[nodiscard]] const ControlTemplate& Template() const { return template_; }

    void SetWindowText(std::string_view text);
    void EnableWindow(bool enable);
    // Progress bars: range and position.
    void SetRange(int low, int high);
    void SetPos(int pos);

  private:
    Dialog& owner_;
    const ControlTemplate& template_;
};

class Dialog {
  public:
    Dialog(Host& host, int templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Creates the window, initialises it and runs it until EndDialog; returns
    // the result given there, or -1 when the window cannot be created.
    int DoModal();
    // Creates the window without a loop of its own (shown when its template
    // says so). False when it cannot be created.
    bool Create(Dialog* owner = nullptr);
    // Ends a modal dialog with `result`; hides a modeless one.
    void EndDialog(int result);
    void DestroyWindow();

    [[nodiscard]] Host& GetHost() const { return host_; }
    [[nodiscard]] int TemplateId() const { return templateId_; }
    [[nodiscard]] WindowId Window() const { return window_; }
    [[nodiscard]] bool IsModal() const { return modal_; }
    // Whether EndDialog has been called since the window was created.
    [[nodiscard]] bool Ended() const { return ended_; }

    // The control, or null when the window has no such control (or no window).
    [[nodiscard]] Control* GetDlgItem(int controlId);
    void SetDlgItemText(int controlId, std::string_view text);

    // A message box owned by this dialog. An empty caption stands for the
    // application's name.
    int MessageBox(const std::string& text, const std::string& caption = {},
                   uint32_t style = MB_OK);

    // The window's system menu: false when the template has none.
    [[nodiscard]] bool HasSystemMenu() const;
    void AppendSystemMenuSeparator();
    void AppendSystemMenuItem(uint32_t command, const std::string& text);
    void SetIcon(int iconId, bool big);
    [[nodiscard]] std::string LoadString(int stringId) const;

    // --- event entry points for hosts (user-interface thread) ---
    void DispatchCommand(int controlId);
    // A key press: first offered to PreTranslateMessage, then Enter clicks
    // the default button and Escape cancels.
    void DispatchKeyDown(int key);
    void DispatchSysCommand(uint32_t command);
    void DispatchClose();
    const Brush* DispatchCtlColor(DeviceContext& dc, int controlId);
    void DispatchPaint(PaintContext& paint);
    int DispatchQueryDragIcon();

    // Runs `request` on the user-interface thread and waits for it; nothing
    // happens once the window is gone.
    void SendRequest(const std::function<void()>& request);

  protected:
    // Handlers; the base versions do what the framework does by default.
    virtual bool OnInitDialog();
    virtual bool PreTranslateMessage(const Message& message);
    virtual void OnCommand(int controlId);
    virtual void OnSysCommand(uint32_t command);
    virtual void OnClose();
    virtual void OnOK();
    virtual void OnCancel();
    // Null: the host's own colours.
    virtual const Brush* OnCtlColor(DeviceContext& dc, int controlId);
    virtual void OnPaint(PaintContext& paint);
    virtual int OnQueryDragIcon();

  private:
    bool CreateWindow(WindowId owner);
    [[nodiscard]] int DefaultButtonId() const;

    Host& host_;
    const int templateId_;
    const DialogTemplate* template_ = nullptr;
    WindowId window_ = kNoWindow;
    std::vector<std::unique_ptr<Control>> controls_;
    bool modal_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace ui
