// The window front end: the dialogs as Qt 6 windows on the desktop.
#pragma once

#include <memory>

#include "ui/host.h"

namespace ui {

// The window front end's host. It needs a display (DISPLAY or
// WAYLAND_DISPLAY): without one it says so on standard error and ends the
// process with exit code 2, since there is nothing to show the program with.
[[nodiscard]] std::unique_ptr<Host> MakeQtHost(ResourceSet resources);

}  // namespace ui
