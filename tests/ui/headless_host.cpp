#include "headless_host.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quillon_test {
namespace {
std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}
}  // namespace

HeadlessHost::HeadlessHost(ui::Language language)
    : HeadlessHost(ui::ResourceSet::ForLanguage(language)) {}

HeadlessHost::HeadlessHost(ui::ResourceSet resources) : ui::LoopHost(std::move(resources)) {}

HeadlessHost::~HeadlessHost() {
    // A test that stops early may leave an upgrade thread waiting for us.
    PumpUntilIdle();
    Shutdown();
}

// --- the record ---

void HeadlessHost::Record(const std::string& line) {
    std::lock_guard<std::mutex> lock(recordMutex_);
    record_.push_back(line);
}

std::vector<std::string> HeadlessHost::Requests() const {
    std::lock_guard<std::mutex> lock(recordMutex_);
    return record_;
}

std::vector<std::string> HeadlessHost::RequestsStartingWith(
    std::initializer_list<std::string> prefixes) const {
    std::vector<std::string> out;
    for (const std::string& line : Requests())
        for (const std::string& p : prefixes)
            if (line.rfind(p, 0) == 0) {
                out.push_back(line);
                break;
            }
    return out;
}

void HeadlessHost::ClearRequests() {
    std::lock_guard<std::mutex> lock(recordMutex_);
    record_.clear();
}

// --- the user ---

void HeadlessHost::Click(ui::WindowId window, int controlId) {
    CheckUiThread("click");
    const ControlState* c = FindControl(window, controlId);
    if (c == nullptr || !c->enabled) {
        Record("click " + std::to_string(controlId) + " ignored");
        return;
    }
    Record("click " + std::to_string(controlId));
    Find(window)->dialog->DispatchCommand(controlId);
}

void HeadlessHost::KeyDown(ui::WindowId window, int key) {
    CheckUiThread("key");
    Record("key " + std::to_string(key));
    if (WindowState* w = Find(window)) w->dialog->DispatchKeyDown(key);
}

void HeadlessHost::SysCommand(ui::WindowId window, uint32_t command) {
    CheckUiThread("syscommand");
    Record("syscommand " + Hex(command));
    if (WindowState* w = Find(window)) w->dialog->DispatchSysCommand(command);
}

void HeadlessHost::Close(ui::WindowId window) {
    CheckUiThread("close");
    Record("close " + Tmpl(window));
    if (WindowState* w = Find(window)) w->dialog->DispatchClose();
}

const ui::Brush* HeadlessHost::CtlColor(ui::WindowId window, ui::DeviceContext& dc, int controlId) {
    WindowState* w = Find(window);
    return w ? w->dialog->DispatchCtlColor(dc, controlId) : nullptr;
}

void HeadlessHost::Script(Action action) {
    script_.push_back(std::move(action));
}

void HeadlessHost::PumpUntilIdle() {
    for (;;) {
        if (Queue().RunOne()) continue;
        if (ActiveThreads() == 0) {
            // The last thread's end notice may still be queued.
            if (!Queue().RunOne()) return;
            continue;
        }
        Queue().Wait();
    }
}

// --- windows ---

ui::WindowId HeadlessHost::WindowOf(int templateId) const {
    ui::WindowId newest = ui::kNoWindow;
    for (const auto& [id, w] : windows_)
        if (w.templateId == templateId) newest = id;
    return newest;
}

bool HeadlessHost::Exists(ui::WindowId window) const {
    return Find(window) != nullptr;
}

bool HeadlessHost::Visible(ui::WindowId window) const {
    const WindowState* w = Find(window);
    return w && w->visible;
}

bool HeadlessHost::Ended(ui::WindowId window) const {
    const WindowState* w = Find(window);
    return w && w->ended;
}

std::string HeadlessHost::ControlText(ui::WindowId window, int controlId) const {
    const WindowState* w = Find(window);
    if (!w) return {};
    const auto it = w->controls.find(controlId);
    return it == w->controls.end() ? std::string() : it->second.text;
}

bool HeadlessHost::Enabled(ui::WindowId window, int controlId) const {
    const WindowState* w = Find(window);
    if (!w) return false;
    const auto it = w->controls.find(controlId);
    return it != w->controls.end() && it->second.enabled;
}

int HeadlessHost::ProgressPos(ui::WindowId window, int controlId) const {
    const WindowState* w = Find(window);
    if (!w) return -1;
    const auto it = w->controls.find(controlId);
    return it == w->controls.end() ? -1 : it->second.pos;
}

// --- ui::Host ---

void HeadlessHost::OnFrameworkCall(std::string_view call, std::string_view detail) {
    std::string line = "framework " + std::string(call);
    if (!detail.empty()) line += " " + std::string(detail);
    Record(line);
}

ui::WindowId HeadlessHost::CreateDialogWindow(const ui::DialogTemplate& dialogTemplate,
                                              ui::Dialog& dialog, ui::WindowId) {
    CheckUiThread("create");
    const ui::WindowId id = nextWindow_++;
    WindowState state;
    state.templateId = dialogTemplate.id;
    state.dialog = &dialog;
    for (const ui::ControlTemplate& c : dialogTemplate.controls)
        if (c.id != ui::IDC_STATIC) state.controls[c.id].text = c.text;
    windows_.emplace(id, std::move(state));
    Record("create " + std::to_string(dialogTemplate.id));
    return id;
}

void HeadlessHost::ShowDialogWindow(ui::WindowId window, bool show) {
    CheckUiThread("show");
    if (WindowState* w = Find(window)) w->visible = show;
    Record("show " + Tmpl(window) + (show ? " 1" : " 0"));
}

int HeadlessHost::RunModalLoop(ui::WindowId window) {
    CheckUiThread("modal");
    Record("modal " + Tmpl(window));
    for (;;) {
        WindowState* w = Find(window);
        if (w == nullptr) return -1;
        if (w->ended) return w->result;
        if (Queue().RunOne()) continue;
        if (ActiveThreads() > 0) {
            Queue().Wait();
            continue;
        }
        if (!script_.empty()) {
            Action next = std::move(script_.front());
            script_.pop_front();
            next(*this, window);
            continue;
        }
        Record("abandon " + Tmpl(window));
        EndModalLoop(window, kAbandoned);
    }
}

void HeadlessHost::EndModalLoop(ui::WindowId window, int result) {
    CheckUiThread("end");
    if (WindowState* w = Find(window)) {
        w->ended = true;
        w->result = result;
    }
    Record("end " + Tmpl(window) + " " + std::to_string(result));
}

void HeadlessHost::DestroyDialogWindow(ui::WindowId window) {
    CheckUiThread("destroy");
    Record("destroy " + Tmpl(window));
    windows_.erase(window);
}

void HeadlessHost::SetWindowIcon(ui::WindowId window, int iconId, bool big) {
    CheckUiThread("icon");
    Record("icon " + Tmpl(window) + " " + std::to_string(iconId) + (big ? " big" : " small"));
}

void HeadlessHost::AppendSystemMenuSeparator(ui::WindowId window) {
    CheckUiThread("menu");
    Record("menu-separator " + Tmpl(window));
}

void HeadlessHost::AppendSystemMenuItem(ui::WindowId window, uint32_t command,
                                        const std::string& text) {
    CheckUiThread("menu");
    Record("menu " + Tmpl(window) + " " + std::to_string(command) + " " + text);
}

void HeadlessHost::SetControlText(ui::WindowId window, int controlId, const std::string& text) {
    CheckUiThread("text");
    if (ControlState* c = FindControl(window, controlId)) c->text = text;
    Record("text " + std::to_string(controlId) + " " + text);
}

void HeadlessHost::EnableControl(ui::WindowId window, int controlId, bool enable) {
    CheckUiThread("enable");
    if (ControlState* c = FindControl(window, controlId)) c->enabled = enable;
    Record("enable " + std::to_string(controlId) + (enable ? " 1" : " 0"));
}

void HeadlessHost::SetProgressRange(ui::WindowId window, int controlId, int low, int high) {
    CheckUiThread("range");
    if (ControlState* c = FindControl(window, controlId)) {
        c->low = low;
        c->high = high;
    }
    Record("range " + std::to_string(controlId) + " " + std::to_string(low) + " " +
           std::to_string(high));
}

void HeadlessHost::SetProgressPos(ui::WindowId window, int controlId, int pos) {
    CheckUiThread("pos");
    if (ControlState* c = FindControl(window, controlId)) c->pos = pos;
    Record("pos " + std::to_string(controlId) + " " + std::to_string(pos));
}

int HeadlessHost::MessageBox(ui::WindowId, const std::string& text, const std::string& caption,
                             uint32_t style) {
    CheckUiThread("msgbox");
    Record("msgbox [" + caption + "] " + text + " (" + Hex(style) + ")");
    if (messageBoxHook_) messageBoxHook_(text);
    return ui::IDOK;
}

// --- helpers ---

void HeadlessHost::CheckUiThread(const char* what) const {
    if (!IsUiThread()) ADD_FAILURE() << what << " reached the host off the user-interface thread";
}

HeadlessHost::WindowState* HeadlessHost::Find(ui::WindowId window) {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

const HeadlessHost::WindowState* HeadlessHost::Find(ui::WindowId window) const {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

HeadlessHost::ControlState* HeadlessHost::FindControl(ui::WindowId window, int controlId) {
    WindowState* w = Find(window);
    if (w == nullptr) return nullptr;
    const auto it = w->controls.find(controlId);
    return it == w->controls.end() ? nullptr : &it->second;
}

std::string HeadlessHost::Tmpl(ui::WindowId window) const {
    const WindowState* w = Find(window);
    return w ? std::to_string(w->templateId) : "?";
}

}  // namespace quillon_test
