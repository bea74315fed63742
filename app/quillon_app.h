// The application object: starts the program, reads the command line and runs
// the main dialog, interactively or (option "h") in automatic mode, whose
// outcome becomes the process exit code.
#pragma once

#include "platform/resource.h"
#include "ui/win_app.h"

namespace quillon {

class CQuillonDlg;

class CQuillonApp : public ui::WinApp {
  public:
    // `packageModule` holds the firmware package; null: the program's own.
    explicit CQuillonApp(ui::Host& host, platform::HMODULE packageModule = nullptr);

    // 1 after a successful upgrade in automatic mode, otherwise 0.
    int m_exitCode = 0;

  protected:
    bool InitInstance() override;
    int ExitInstance() override;

  private:
    void RunAutomatic(CQuillonDlg& dialog);

    platform::HMODULE m_packageModule;
};

}  // namespace quillon
