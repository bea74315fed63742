#include "ui/qt/icons.h"

#include <QString>

#include "ui/qt/icon_sizes.h"
#include "ui/resources.h"

// Resources in a static library are registered by hand.
static void InitIconResources() {
    Q_INIT_RESOURCE(quillon_icons);
}

namespace ui::qt {

QIcon AppIcon(int iconId) {
    if (iconId != IDR_MAINFRAME) return {};
    static const bool registered = (InitIconResources(), true);
    (void)registered;
    QIcon icon;
    for (const int size : kIconSizes)
        icon.addFile(QStringLiteral(":/quillon/icons/quillon-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace ui::qt
