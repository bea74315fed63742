// The sizes, in pixels, of the program's icon as it is kept (PNG files beside
// its SVG source) and installed for the desktop.
#pragma once

#include <array>

namespace ui::qt {

inline constexpr std::array<int, 6> kIconSizes{16, 32, 48, 64, 128, 256};

}  // namespace ui::qt
