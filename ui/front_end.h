// Which front end the program shows itself with, and making its host.
#pragma once

#include <memory>
#include <string>

#include "ui/host.h"

namespace ui {

enum class FrontEnd { kConsole, kQt };

struct FrontEndChoice {
    FrontEnd frontEnd = FrontEnd::kConsole;
    std::string warning;  // for standard error; empty when the request was met
};

// `requested` is QUILLON_UI (null when unset): "console" or "qt" forces one.
// Otherwise the window front end when it was built in and a display is
// available, the console otherwise.
[[nodiscard]] FrontEndChoice ChooseFrontEnd(const char* requested, bool displayAvailable,
                                            bool qtBuilt);

// Whether a display server is there to show windows on.
[[nodiscard]] bool DisplayAvailable();
// Whether this build carries the window front end.
[[nodiscard]] bool QtFrontEndBuilt();

// The host of `frontEnd` for the process's standard streams.
[[nodiscard]] std::unique_ptr<Host> MakeHost(FrontEnd frontEnd, ResourceSet resources);

}  // namespace ui
