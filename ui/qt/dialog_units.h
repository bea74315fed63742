// Dialog units: templates give positions and sizes in units of the dialog
// font, a quarter of its average character width across and an eighth of its
// height down, so a dialog keeps its proportions whatever font and screen it
// meets.
#pragma once

#include <QFont>
#include <QRect>

#include "ui/resources.h"

namespace ui::qt {

struct BaseUnits {
    int x = 0;  // average character width, pixels
    int y = 0;  // character height, pixels
};

// The font a template asks for. The framework's logical "MS Shell Dlg" stands
// for the desktop's ordinary sans-serif face.
[[nodiscard]] QFont DialogFont(const DialogTemplate& dialogTemplate);

// The base units of `font`: the width of the 52 letters of the Latin alphabet
// halved per pair and rounded, and the font's height (ascent plus descent).
[[nodiscard]] BaseUnits BaseUnitsOf(const QFont& font);

// value * numerator / denominator rounded half away from zero, in 64 bits.
[[nodiscard]] int MulDiv(int value, int numerator, int denominator);

// A rectangle in dialog units as pixels: each coordinate and each extent
// converted on its own.
[[nodiscard]] QRect ToPixels(BaseUnits units, int x, int y, int width, int height);

// The client area of a template's window.
[[nodiscard]] QSize ClientSize(BaseUnits units, const DialogTemplate& dialogTemplate);

}  // namespace ui::qt
