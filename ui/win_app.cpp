#include "ui/win_app.h"

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "ui/dialog.h"

namespace ui {
namespace {

std::string Hex(uint32_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

// The program file's name without directory and extension.
std::string AppNameFrom(const std::string& program) {
    const std::string stem = std::filesystem::path(program).stem().string();
    return stem.empty() ? "quillon" : stem;
}

}  // namespace

void CommandLineInfo::ParseParam(const std::string& param, bool isOption, bool) {
    if (!isOption && m_strFileName.empty()) m_strFileName = param;
}

void InitCommonControlsEx(Host& host, const INITCOMMONCONTROLSEX& init) {
    host.OnFrameworkCall("InitCommonControlsEx",
                         std::to_string(init.dwSize) + " " + Hex(init.dwICC));
}

ShellManager::ShellManager(Host& host) : host_(host) {
    host_.OnFrameworkCall("CreateShellManager", "");
}

ShellManager::~ShellManager() {
    host_.OnFrameworkCall("DeleteShellManager", "");
}

int WinApp::Run(const std::vector<std::string>& args) {
    args_ = args;
    if (!args_.empty()) host_.SetAppName(AppNameFrom(args_.front()));
    // A dialog application does all its work in InitInstance and returns
    // false from it, which skips the message loop.
    if (!InitInstance()) return ExitInstance();
    if (m_pMainWnd != nullptr && m_pMainWnd->Window() != kNoWindow)
        host_.RunModalLoop(m_pMainWnd->Window());
    return ExitInstance();
}

bool WinApp::InitInstance() {
    host_.OnFrameworkCall("WinApp::InitInstance", "");
    return true;
}

int WinApp::ExitInstance() {
    host_.OnFrameworkCall("WinApp::ExitInstance", "");
    return 0;
}

void WinApp::SetRestartManagerSupport(uint32_t flags) {
    host_.OnFrameworkCall("SetRestartManagerSupport", Hex(flags));
}

void WinApp::EnableControlContainer() {
    host_.OnFrameworkCall("EnableControlContainer", "");
}

void WinApp::SetDefaultVisualManager(VisualManager) {
    host_.OnFrameworkCall("SetDefaultVisualManager", "Windows");
}

void WinApp::SetRegistryKey(const std::string& key) {
    host_.OnFrameworkCall("SetRegistryKey", key);
}

void WinApp::ControlBarCleanUp() {
    host_.OnFrameworkCall("ControlBarCleanUp", "");
}

void ParseCommandLine(const std::vector<std::string>& words, CommandLineInfo& info) {
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        const bool isOption = !word.empty() && (word[0] == '-' || word[0] == '/');
        info.ParseParam(isOption ? word.substr(1) : word, isOption, i + 1 == words.size());
    }
}

void WinApp::ParseCommandLine(CommandLineInfo& info) {
    const std::vector<std::string> words(args_.empty() ? args_.end() : args_.begin() + 1,
                                         args_.end());
    ui::ParseCommandLine(words, info);
}

}  // namespace ui
