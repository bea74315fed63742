// quillon: upgrades the firmware of the attached camera that the firmware
// package it carries has an image for. "quillon -h" upgrades at once and
// exits with 1 after a successful upgrade, 0 otherwise.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/quillon_app.h"
#include "ui/camera_access.h"
#include "ui/front_end.h"
#include "ui/language.h"
#include "ui/resources.h"

int main(int argc, char** argv) {
    const ui::FrontEndChoice choice = ui::ChooseFrontEnd(
        std::getenv("QUILLON_UI"), ui::DisplayAvailable(), ui::QtFrontEndBuilt());
    if (!choice.warning.empty()) std::fprintf(stderr, "quillon: %s\n", choice.warning.c_str());

    // Cameras the user may not open are left out by the library without a word;
    // say why here, where the user can act on it.
    if (std::getenv("QUILLON_SIMULATOR") == nullptr)
        for (const std::string& hint : ui::CameraAccessHints())
            std::fprintf(stderr, "quillon: %s\n", hint.c_str());

    const auto host =
        ui::MakeHost(choice.frontEnd, ui::ResourceSet::ForLanguage(ui::LanguageFromEnvironment()));
    quillon::CQuillonApp app(*host);
    return app.Run(std::vector<std::string>(argv, argv + argc));
}
