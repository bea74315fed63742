#include "ui/qt/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <cstdint>

namespace ui::qt {

QFont DialogFont(const DialogTemplate& dialogTemplate) {
    QFont font;
    const bool logical =
        dialogTemplate.fontName == "MS Shell Dlg" || dialogTemplate.fontName == "MS Shell Dlg 2";
    if (logical || dialogTemplate.fontName.empty()) {
        font.setFamilies({QStringLiteral("Sans Serif")});
    } else {
        font.setFamilies({QString::fromStdString(dialogTemplate.fontName)});
    }
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(dialogTemplate.fontPoints > 0 ? dialogTemplate.fontPoints : 9);
    return font;
}

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(alphabet / 26 + 1) / 2, metrics.height()};
}

int MulDiv(int value, int numerator, int denominator) {
    if (denominator == 0) return 0;
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t half = (denominator < 0 ? -denominator : denominator) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const int64_t magnitude = ((product < 0 ? -product : product) + half) /
                              (denominator < 0 ? -denominator : denominator);
    return static_cast<int>(negative ? -magnitude : magnitude);
}

QRect ToPixels(BaseUnits units, int x, int y, int width, int height) {
    return {MulDiv(x, units.x, 4), MulDiv(y, units.y, 8), MulDiv(width, units.x, 4),
            MulDiv(height, units.y, 8)};
}

QSize ClientSize(BaseUnits units, const DialogTemplate& dialogTemplate) {
    return {MulDiv(dialogTemplate.width, units.x, 4), MulDiv(dialogTemplate.height, units.y, 8)};
}

}  // namespace ui::qt
