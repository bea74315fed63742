#include "ui/console/console_host.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "ui/dialog.h"

namespace ui {
namespace {

constexpr int kBarCells = 40;

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// A menu text without its mnemonic marker, and the mnemonic letter.
std::string WithoutMnemonic(const std::string& text) {
    std::string plain;
    for (char c : text)
        if (c != '&') plain += c;
    return plain;
}

char Mnemonic(const std::string& text) {
    const auto at = text.find('&');
    if (at == std::string::npos || at + 1 >= text.size()) return 0;
    const char c = text[at + 1];
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsNumber(const std::string& text) {
    return !text.empty() && text.size() < 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

ConsoleStreams ConsoleStreams::Standard() {
    ConsoleStreams s;
    s.inIsTerminal = ::isatty(0) == 1;
    s.errIsTerminal = ::isatty(2) == 1;
    return s;
}

ConsoleHost::ConsoleHost(ResourceSet resources, ConsoleStreams streams)
    : LoopHost(std::move(resources)), streams_(streams) {
    // Requests from other threads wake the loop through this pipe, so it can
    // wait for them and for input in one poll.
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe_[0] = wakePipe_[1] = -1;
    const int wakeFd = wakePipe_[1];
    Queue().SetPostHook([wakeFd] {
        if (wakeFd < 0) return;
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &byte, 1);
    });
    if (streams_.inFd < 0) inputEof_ = true;
}

ConsoleHost::~ConsoleHost() {
    Shutdown();
    Queue().SetPostHook(nullptr);
    for (int fd : wakePipe_)
        if (fd >= 0) ::close(fd);
    if (progressOpen_) std::fputs("\n", streams_.err);
}

// --- windows ---

WindowId ConsoleHost::CreateDialogWindow(const DialogTemplate& dialogTemplate, Dialog& dialog,
                                         WindowId) {
    const WindowId id = nextWindow_++;
    WindowState state;
    state.dialogTemplate = &dialogTemplate;
    state.dialog = &dialog;
    for (const ControlTemplate& c : dialogTemplate.controls)
        state.controls.push_back(ControlState{&c, c.text});
    windows_.emplace(id, std::move(state));
    return id;
}

void ConsoleHost::ShowDialogWindow(WindowId window, bool show) {
    if (WindowState* w = Find(window)) w->visible = show;
}

int ConsoleHost::RunModalLoop(WindowId window) {
    if (streams_.inIsTerminal) {
        PrintView(window);
        Prompt();
    }
    for (;;) {
        WindowState* w = Find(window);
        if (w == nullptr) return -1;
        if (w->ended) return w->result;
        if (Queue().RunOne()) continue;
        if (std::optional<std::string> line = TakeLine()) {
            HandleLine(window, *line);
            continue;
        }
        if ((w->closeWanted || InputExhausted()) && !w->closeRefused) {
            TryClose(window);
            continue;
        }
        WaitForEvents(!InputExhausted());
    }
}

void ConsoleHost::EndModalLoop(WindowId window, int result) {
    if (WindowState* w = Find(window)) {
        w->ended = true;
        w->result = result;
    }
}

void ConsoleHost::DestroyDialogWindow(WindowId window) {
    if (progressOpen_) {
        std::fputs("\n", streams_.err);
        progressOpen_ = false;
    }
    windows_.erase(window);
}

void ConsoleHost::SetWindowIcon(WindowId, int, bool) {}

void ConsoleHost::AppendSystemMenuSeparator(WindowId) {}

void ConsoleHost::AppendSystemMenuItem(WindowId window, uint32_t command, const std::string& text) {
    if (WindowState* w = Find(window)) w->menu.push_back({command, text});
}

// --- controls ---

void ConsoleHost::SetControlText(WindowId window, int controlId, const std::string& text) {
    ControlState* c = FindControl(window, controlId);
    if (c == nullptr) return;
    c->text = text;
    if (c->control->type == ControlType::kStaticText) Line(streams_.out, text);
}

void ConsoleHost::EnableControl(WindowId window, int controlId, bool enable) {
    if (ControlState* c = FindControl(window, controlId)) c->enabled = enable;
}

void ConsoleHost::SetProgressRange(WindowId window, int controlId, int low, int high) {
    ControlState* c = FindControl(window, controlId);
    if (c == nullptr) return;
    c->low = low;
    c->high = high;
    c->pos = std::clamp(c->pos, std::min(low, high), std::max(low, high));
    DrawProgress(*c);
}

void ConsoleHost::SetProgressPos(WindowId window, int controlId, int pos) {
    ControlState* c = FindControl(window, controlId);
    if (c == nullptr) return;
    // A progress bar keeps its position inside its range.
    c->pos = std::clamp(pos, std::min(c->low, c->high), std::max(c->low, c->high));
    DrawProgress(*c);
}

int ConsoleHost::MessageBox(WindowId, const std::string& text, const std::string&, uint32_t) {
    Line(streams_.out, text);
    if (!streams_.inIsTerminal) return IDOK;
    const bool zh = Resources().GetLanguage() == Language::kChinese;
    std::fputs(zh ? "  [回车: 确定] " : "  [Enter: OK] ", streams_.err);
    std::fflush(streams_.err);
    // Requests from other threads are served while the box is open.
    for (;;) {
        if (Queue().RunOne()) continue;
        if (TakeLine() || InputExhausted()) break;
        WaitForEvents(true);
    }
    return IDOK;
}

// --- threads ---

void ConsoleHost::OnThreadEnded() {
    for (auto& [id, w] : windows_) w.closeRefused = false;
    // The thread's work is done: finish its bar and ask for the next command.
    if (progressOpen_) {
        std::fputs("\n", streams_.err);
        progressOpen_ = false;
        drawnCells_ = drawnPercent_ = -1;
    }
    bool closing = InputExhausted();
    for (const auto& [id, w] : windows_) closing = closing || w.closeWanted;
    if (streams_.inIsTerminal && !closing) Prompt();
}

// --- input ---

std::optional<std::string> ConsoleHost::TakeLine() {
    const auto end = input_.find('\n');
    if (end != std::string::npos) {
        std::string line = input_.substr(0, end);
        input_.erase(0, end + 1);
        return line;
    }
    // The last line may lack its newline.
    if (inputEof_ && !input_.empty()) {
        std::string line;
        line.swap(input_);
        return line;
    }
    return std::nullopt;
}

bool ConsoleHost::InputExhausted() const {
    return inputEof_ && input_.find('\n') == std::string::npos && input_.empty();
}

void ConsoleHost::WaitForEvents(bool input) {
    pollfd fds[2];
    nfds_t count = 0;
    if (wakePipe_[0] >= 0) fds[count++] = {wakePipe_[0], POLLIN, 0};
    const bool readInput = input && !inputEof_;
    if (readInput) fds[count++] = {streams_.inFd, POLLIN, 0};
    if (count == 0) {
        Queue().Wait();
        return;
    }
    if (::poll(fds, count, -1) < 0) return;  // interrupted: the caller looks again
    if (wakePipe_[0] >= 0 && (fds[0].revents & POLLIN)) {
        char drain[64];
        while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
        }
    }
    const pollfd& in = fds[count - 1];
    if (readInput && (in.revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
        char buffer[512];
        const ssize_t n = ::read(streams_.inFd, buffer, sizeof buffer);
        if (n > 0)
            input_.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            inputEof_ = true;
    }
}

void ConsoleHost::HandleLine(WindowId window, const std::string& raw) {
    WindowState* w = Find(window);
    if (w == nullptr) return;
    const std::string line = Trim(raw);
    if (line.empty()) {
        w->dialog->DispatchKeyDown(VK_RETURN);
    } else if (line == "esc") {
        w->dialog->DispatchKeyDown(VK_ESCAPE);
    } else if (line == "q") {
        w->closeWanted = true;
        TryClose(window);
    } else if (IsNumber(line)) {
        PushButton(window, static_cast<size_t>(std::atoi(line.c_str())));
    } else {
        const auto item = std::find_if(w->menu.begin(), w->menu.end(), [&](const MenuItem& m) {
            return line.size() == 1 && Mnemonic(m.text) == line[0];
        });
        if (item != w->menu.end())
            w->dialog->DispatchSysCommand(item->command);
        else
            Line(streams_.err, "? type a button's number, a menu letter or q");
    }
    WindowState* after = Find(window);
    if (streams_.inIsTerminal && after && !after->ended) Prompt();
}

void ConsoleHost::TryClose(WindowId window) {
    WindowState* w = Find(window);
    if (w == nullptr) return;
    w->dialog->DispatchClose();
    w = Find(window);
    if (w == nullptr || w->ended) return;
    if (w->closeRefused) return;  // said so already
    w->closeRefused = true;
    const bool zh = Resources().GetLanguage() == Language::kChinese;
    Line(streams_.err, zh ? "窗口正忙，稍后关闭。" : "The window is busy; it closes when it can.");
}

void ConsoleHost::PushButton(WindowId window, size_t number) {
    WindowState* w = Find(window);
    size_t n = 0;
    for (const ControlState& c : w->controls) {
        if (c.control->type != ControlType::kPushButton || ++n != number) continue;
        if (!c.enabled) {
            Line(streams_.err, "(" + WithoutMnemonic(c.text) + ": not now)");
            return;
        }
        w->dialog->DispatchCommand(c.control->id);
        return;
    }
    Line(streams_.err, "? no button " + std::to_string(number));
}

// --- output ---

void ConsoleHost::Line(std::FILE* stream, const std::string& text) {
    // The bar stays below the lines: take it away, print, draw it again.
    if (progressOpen_) std::fputs("\r\033[2K", streams_.err);
    std::fflush(streams_.err);
    std::fputs(text.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
    if (progressOpen_) {
        std::fputs(drawnBar_.c_str(), streams_.err);
        std::fflush(streams_.err);
    }
}

void ConsoleHost::PrintView(WindowId window) {
    const WindowState* w = Find(window);
    if (w == nullptr) return;
    Line(streams_.err, w->dialogTemplate->caption);
    size_t n = 0;
    for (const ControlState& c : w->controls) {
        if (c.control->type == ControlType::kStaticText)
            Line(streams_.err, "    " + c.text);
        else if (c.control->type == ControlType::kPushButton)
            Line(streams_.err, "  " + std::to_string(++n) + "  " + c.text);
    }
    for (const MenuItem& m : w->menu)
        Line(streams_.err, std::string("  ") + Mnemonic(m.text) + "  " + WithoutMnemonic(m.text));
    const bool zh = Resources().GetLanguage() == Language::kChinese;
    Line(streams_.err, zh ? "  q  关闭" : "  q  close");
}

void ConsoleHost::Prompt() {
    // While a bar runs the prompt waits for the bar's end.
    if (progressOpen_) return;
    std::fputs("> ", streams_.err);
    std::fflush(streams_.err);
}

void ConsoleHost::DrawProgress(const ControlState& control) {
    if (!streams_.errIsTerminal) return;
    const long span = static_cast<long>(control.high) - control.low;
    const long done = span > 0 ? static_cast<long>(control.pos) - control.low : 0;
    const int percent = span > 0 ? static_cast<int>(done * 100 / span) : 0;
    const int cells = span > 0 ? static_cast<int>(done * kBarCells / span) : 0;
    if (progressOpen_ && cells == drawnCells_ && percent == drawnPercent_) return;
    std::string bar = "\r[" + std::string(static_cast<size_t>(cells), '#') +
                      std::string(static_cast<size_t>(kBarCells - cells), '-') + "] ";
    bar += std::to_string(percent) + "%";
    std::fputs(bar.c_str(), streams_.err);
    std::fflush(streams_.err);
    drawnBar_ = bar;
    progressOpen_ = true;
    drawnCells_ = cells;
    drawnPercent_ = percent;
}

ConsoleHost::WindowState* ConsoleHost::Find(WindowId window) {
    const auto it = windows_.find(window);
    return it == windows_.end() ? nullptr : &it->second;
}

ConsoleHost::ControlState* ConsoleHost::FindControl(WindowId window, int controlId) {
    WindowState* w = Find(window);
    if (w == nullptr) return nullptr;
    for (ControlState& c : w->controls)
        if (c.control->id == controlId) return &c;
    return nullptr;
}

}  // namespace ui
