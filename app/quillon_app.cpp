#include "app/quillon_app.h"

#include <memory>

#include "app/command_line.h"
#include "app/quillon_dlg.h"

namespace quillon {
namespace {
// The registry key of the application's profile, as the project wizard set it.
constexpr char kRegistryKey[] = "应用程序向导生成的本地应用程序";
}  // namespace

CQuillonApp::CQuillonApp(ui::Host& host, platform::HMODULE packageModule)
    : ui::WinApp(host), m_packageModule(packageModule) {
    SetRestartManagerSupport(ui::AFX_RESTART_MANAGER_SUPPORT_RESTART);
}

bool CQuillonApp::InitInstance() {
    const ui::INITCOMMONCONTROLSEX controls{static_cast<uint32_t>(sizeof(ui::INITCOMMONCONTROLSEX)),
                                            ui::ICC_WIN95_CLASSES};
    ui::InitCommonControlsEx(GetHost(), controls);

    ui::WinApp::InitInstance();
    EnableControlContainer();
    auto shellManager = std::make_unique<ui::ShellManager>(GetHost());
    SetDefaultVisualManager(ui::VisualManager::kWindows);
    SetRegistryKey(kRegistryKey);

    CCommandLineInfoEx commandLine;
    ParseCommandLine(commandLine);
    const bool automatic = commandLine.HasOption(kAutomaticOption);

    CQuillonDlg dialog(GetHost(), m_packageModule);
    m_pMainWnd = &dialog;
    if (automatic)
        RunAutomatic(dialog);
    else
        (void)dialog.DoModal();

    shellManager.reset();
    ControlBarCleanUp();
    m_pMainWnd = nullptr;
    // No message loop: the dialog has done all there was to do.
    return false;
}

void CQuillonApp::RunAutomatic(CQuillonDlg& dialog) {
    if (!dialog.Create() || dialog.EntryIndex() == -1) return;
    const int result = dialog.Upgrade();
    dialog.EndDialog(1);
    m_exitCode = result;
}

int CQuillonApp::ExitInstance() {
    ui::WinApp::ExitInstance();
    return m_exitCode;
}

}  // namespace quillon
