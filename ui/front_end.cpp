#include "ui/front_end.h"

#include <cstdlib>
#include <string_view>

#include "ui/console/console_host.h"
#ifdef QUILLON_WITH_QT
#include "ui/qt/qt_host.h"
#endif

namespace ui {

FrontEndChoice ChooseFrontEnd(const char* requested, bool displayAvailable, bool qtBuilt) {
    const std::string_view want = requested ? requested : "";
    if (want == "console") return {FrontEnd::kConsole, {}};
    if (want == "qt") {
        if (qtBuilt) return {FrontEnd::kQt, {}};
        return {FrontEnd::kConsole,
                "QUILLON_UI=qt: this build has no window front end; using the console"};
    }
    FrontEndChoice choice;
    if (!want.empty())
        choice.warning = "QUILLON_UI=" + std::string(want) + ": unknown front end (console or qt)";
    choice.frontEnd = (qtBuilt && displayAvailable) ? FrontEnd::kQt : FrontEnd::kConsole;
    return choice;
}

bool DisplayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

bool QtFrontEndBuilt() {
#ifdef QUILLON_WITH_QT
    return true;
#else
    return false;
#endif
}

std::unique_ptr<Host> MakeHost(FrontEnd frontEnd, ResourceSet resources) {
#ifdef QUILLON_WITH_QT
    // The window front end (ui/qt) plugs in here.
    if (frontEnd == FrontEnd::kQt) return MakeQtHost(std::move(resources));
#endif
    (void)frontEnd;
    return std::make_unique<ConsoleHost>(std::move(resources), ConsoleStreams::Standard());
}

}  // namespace ui
