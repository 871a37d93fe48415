#pragma once

#include <cstdint>

#include <QColor>

// Colours as the appearance file and the window descriptions give them: the
// Windows colour value 0x00BBGGRR, kept so existing files keep their colours.
// Conversion happens here, at the edge of the window toolkit.
namespace tw {

QColor ColorFromWin(int32_t bgr) noexcept;
int32_t ColorToWin(const QColor& color) noexcept;

// Colours of the window descriptions, as colour values.
inline constexpr int32_t clDarkText = 0x363636;  // the windows' own font colour, never recoloured
inline constexpr int32_t clWhite = 0xFFFFFF;
inline constexpr int32_t clBlack = 0x000000;
inline constexpr int32_t clStripe = 0xF1F1F1;    // odd rows of the lists
inline constexpr int32_t clRule = 0xD4D4D4;      // column rules of the lists
inline constexpr int32_t clInactive = 0x808080;  // entries waiting for removal

// Window opacity from a transparency percentage: 255 - round(p * 255 / 100),
// halves to even. 255 means fully opaque (no translucency).
int OpacityAlpha(int percent) noexcept;

}  // namespace tw
