#include "ui/dialog.h"

#include <string>

namespace ui {

// --- Control ---

void Control::SetWindowText(std::string_view text) {
    std::string copy(text);
    owner_.SendRequest(
        [&] { owner_.GetHost().SetControlText(owner_.Window(), template_.id, copy); });
}

void Control::EnableWindow(bool enable) {
    owner_.SendRequest(
        [&] { owner_.GetHost().EnableControl(owner_.Window(), template_.id, enable); });
}

void Control::SetRange(int low, int high) {
    owner_.SendRequest(
        [&] { owner_.GetHost().SetProgressRange(owner_.Window(), template_.id, low, high); });
}

void Control::SetPos(int pos) {
    owner_.SendRequest(
        [&] { owner_.GetHost().SetProgressPos(owner_.Window(), template_.id, pos); });
}

// --- Dialog ---

Dialog::Dialog(Host& host, int templateId) : host_(host), templateId_(templateId) {}

Dialog::~Dialog() {
    DestroyWindow();
}

bool Dialog::CreateWindow(WindowId owner) {
    if (window_ != kNoWindow) return false;
    template_ = host_.Resources().Dialog(templateId_);
    if (template_ == nullptr) return false;
    window_ = host_.CreateDialogWindow(*template_, *this, owner);
    if (window_ == kNoWindow) return false;
    ended_ = false;
    result_ = 0;
    for (const ControlTemplate& c : template_->controls)
        if (c.id != IDC_STATIC) controls_.push_back(std::make_unique<Control>(*this, c));
    return true;
}

int Dialog::DoModal() {
    modal_ = true;
    if (!CreateWindow(kNoWindow)) {
        modal_ = false;
        return -1;
    }
    OnInitDialog();
    // A dialog ended while it initialised is never shown.
    int result = result_;
    if (!ended_) {
        host_.ShowDialogWindow(window_, true);
        result = host_.RunModalLoop(window_);
    }
    DestroyWindow();
    modal_ = false;
    return result;
}

bool Dialog::Create(Dialog* owner) {
    modal_ = false;
    if (!CreateWindow(owner ? owner->Window() : kNoWindow)) return false;
    OnInitDialog();
    if (!ended_ && (template_->style & kStyleVisible)) host_.ShowDialogWindow(window_, true);
    return true;
}

void Dialog::EndDialog(int result) {
    SendRequest([&] {
        ended_ = true;
        result_ = result;
        if (modal_)
            host_.EndModalLoop(window_, result);
        else
            host_.ShowDialogWindow(window_, false);
    });
}

void Dialog::DestroyWindow() {
    if (window_ == kNoWindow) return;
    host_.DestroyDialogWindow(window_);
    window_ = kNoWindow;
    controls_.clear();
}

Control* Dialog::GetDlgItem(int controlId) {
    for (const auto& c : controls_)
        if (c->Id() == controlId) return c.get();
    return nullptr;
}

void Dialog::SetDlgItemText(int controlId, std::string_view text) {
    if (Control* c = GetDlgItem(controlId)) c->SetWindowText(text);
}

int Dialog::MessageBox(const std::string& text, const std::string& caption, uint32_t style) {
    int answer = IDOK;
    SendRequest([&] {
        answer =
            host_.MessageBox(window_, text, caption.empty() ? host_.AppName() : caption, style);
    });
    return answer;
}

bool Dialog::HasSystemMenu() const {
    return window_ != kNoWindow && template_ && (template_->style & kStyleSysMenu);
}

void Dialog::AppendSystemMenuSeparator() {
    if (HasSystemMenu()) host_.AppendSystemMenuSeparator(window_);
}

void Dialog::AppendSystemMenuItem(uint32_t command, const std::string& text) {
    if (HasSystemMenu()) host_.AppendSystemMenuItem(window_, command, text);
}

void Dialog::SetIcon(int iconId, bool big) {
    if (window_ != kNoWindow) host_.SetWindowIcon(window_, iconId, big);
}

std::string Dialog::LoadString(int stringId) const {
    return host_.Resources().String(stringId);
}

void Dialog::SendRequest(const std::function<void()>& request) {
    host_.SendToUiThread([&] {
        if (window_ != kNoWindow) request();
    });
}

// --- events ---

void Dialog::DispatchCommand(int controlId) {
    OnCommand(controlId);
}

void Dialog::DispatchKeyDown(int key) {
    if (PreTranslateMessage(Message{Message::Type::kKeyDown, key})) return;
    if (key == VK_RETURN) {
        const int id = DefaultButtonId();
        const Control* button = GetDlgItem(id);
        if (button) OnCommand(id);
    } else if (key == VK_ESCAPE) {
        OnCommand(IDCANCEL);
    }
}

void Dialog::DispatchSysCommand(uint32_t command) {
    OnSysCommand(command);
}

void Dialog::DispatchClose() {
    OnClose();
}

const Brush* Dialog::DispatchCtlColor(DeviceContext& dc, int controlId) {
    return OnCtlColor(dc, controlId);
}

void Dialog::DispatchPaint(PaintContext& paint) {
    OnPaint(paint);
}

int Dialog::DispatchQueryDragIcon() {
    return OnQueryDragIcon();
}

int Dialog::DefaultButtonId() const {
    if (template_ == nullptr) return IDOK;
    for (const ControlTemplate& c : template_->controls)
        if (c.type == ControlType::kPushButton && (c.style & kStyleDefaultButton)) return c.id;
    return IDOK;
}

// --- default handlers ---

bool Dialog::OnInitDialog() {
    return true;
}

bool Dialog::PreTranslateMessage(const Message&) {
    return false;
}

void Dialog::OnCommand(int controlId) {
    if (controlId == IDOK)
        OnOK();
    else if (controlId == IDCANCEL)
        OnCancel();
}

void Dialog::OnSysCommand(uint32_t command) {
    if ((command & 0xFFF0) == SC_CLOSE) OnClose();
}

// Closing a dialog's window cancels it.
void Dialog::OnClose() {
    OnCommand(IDCANCEL);
}

void Dialog::OnOK() {
    EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

const Brush* Dialog::OnCtlColor(DeviceContext&, int) {
    return nullptr;
}

void Dialog::OnPaint(PaintContext&) {}

int Dialog::OnQueryDragIcon() {
    return 0;
}

}  // namespace ui
