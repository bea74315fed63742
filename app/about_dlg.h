// The About box: the program's icon, its version and copyright, and OK.
#pragma once

#include "ui/dialog.h"
#include "ui/resources.h"

namespace quillon {

class CAboutDlg : public ui::Dialog {
  public:
    explicit CAboutDlg(ui::Host& host) : ui::Dialog(host, ui::IDD_ABOUTBOX) {}
};

}  // namespace quillon
