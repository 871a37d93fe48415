#include "ui/Colors.h"

#include <cmath>

namespace tw {

QColor ColorFromWin(int32_t bgr) noexcept {
    const auto v = static_cast<uint32_t>(bgr);
    return QColor(int(v & 0xFF), int((v >> 8) & 0xFF), int((v >> 16) & 0xFF));
}

int32_t ColorToWin(const QColor& color) noexcept {
    const QColor rgb = color.toRgb();
    return int32_t(uint32_t(rgb.red()) | (uint32_t(rgb.green()) << 8) |
                   (uint32_t(rgb.blue()) << 16));
}

int OpacityAlpha(int percent) noexcept {
    // A hand-edited file may hold anything; a fully invisible window could
    // never be found again to change it, so the highest offered value wins.
    if (percent < 0) {
        percent = 0;
    } else if (percent > 90) {
        percent = 90;
    }
    // p * 255 / 100 is exact in a double when it ends in .5, so
    // nearbyint's default rounding gives halves to even.
    return 255 - int(std::nearbyint(percent * 255 / 100.0));
}

}  // namespace tw
