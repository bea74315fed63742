// The program's icons, kept as resources of the window front end.
#pragma once

#include <QIcon>

namespace ui::qt {

// The icon of resource id `iconId` in every size there is; a null icon for an
// id the program has no icon for.
[[nodiscard]] QIcon AppIcon(int iconId);

}  // namespace ui::qt
