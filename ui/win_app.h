// The application object and the command-line parser the application derives
// from, and the start-up steps of the original window system's framework.
// Those steps configure nothing here; they keep their place in the start-up
// code and are passed to the host, which may note them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/host.h"

namespace ui {

class Dialog;

// Parses the command line word by word. Each word that starts with '-' or '/'
// is an option, handed over without that character.
class CommandLineInfo {
  public:
    virtual ~CommandLineInfo() = default;

    // Called for every word. The base records the first plain word as the
    // file to open; nothing acts on it.
    virtual void ParseParam(const std::string& param, bool isOption, bool isLast);

    std::string m_strFileName;
};

// Hands `words` (the command line without the program name) to `info` one
// by one, options without their leading '-' or '/'.
void ParseCommandLine(const std::vector<std::string>& words, CommandLineInfo& info);

// Common-controls initialisation.
inline constexpr uint32_t ICC_WIN95_CLASSES = 0x000000FF;
struct INITCOMMONCONTROLSEX {
    uint32_t dwSize;
    uint32_t dwICC;
};
void InitCommonControlsEx(Host& host, const INITCOMMONCONTROLSEX& init);

// Restart-manager support: restart only.
inline constexpr uint32_t AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;

enum class VisualManager { kWindows };

// The framework's shell manager: lives while the main dialog runs.
class ShellManager {
  public:
    explicit ShellManager(Host& host);
    ~ShellManager();
    ShellManager(const ShellManager&) = delete;
    ShellManager& operator=(const ShellManager&) = delete;

  private:
    Host& host_;
};

class WinApp {
  public:
    explicit WinApp(Host& host) : host_(host) {}
    virtual ~WinApp() = default;
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // Runs the application: InitInstance, then (when it returns true) the
    // message loop until the main window closes, then ExitInstance. Returns
    // the process exit code. `args` is the command line, program name first.
    int Run(const std::vector<std::string>& args);

    [[nodiscard]] Host& GetHost() const { return host_; }
    Dialog* m_pMainWnd = nullptr;

  protected:
    virtual bool InitInstance();
    virtual int ExitInstance();

    void SetRestartManagerSupport(uint32_t flags);
    void EnableControlContainer();
    void SetDefaultVisualManager(VisualManager manager);
    void SetRegistryKey(const std::string& key);
    void ControlBarCleanUp();
    // Hands every word after the program name to `info`.
    void ParseCommandLine(CommandLineInfo& info);

  private:
    Host& host_;
    std::vector<std::string> args_;
};

}  // namespace ui
