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

// The colours the colour boxes offer, by the names a user knows them by.
struct TNamedColor {
    const char* name;
    int32_t color;
};
inline constexpr TNamedColor kNamedColors[] = {
    {"Black", 0x000000}, {"Maroon", 0x000080},      {"Green", 0x008000},
    {"Olive", 0x008080}, {"Navy", 0x800000},        {"Purple", 0x800080},
    {"Teal", 0x808000},  {"Gray", 0x808080},        {"Silver", 0xC0C0C0},
    {"Red", 0x0000FF},   {"Lime", 0x00FF00},        {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},  {"Fuchsia", 0xFF00FF},     {"Aqua", 0xFFFF00},
    {"White", 0xFFFFFF}, {"Money Green", 0xC0DCC0}, {"Sky Blue", 0xF0CAA6},
    {"Cream", 0xF0FBFF}, {"Medium Gray", 0xA4A0A0},
};

// The transparency percentages the windows offer.
inline constexpr int kTransparencyPercents[] = {0, 5, 10, 15, 20, 25, 30, 40, 50, 60, 70, 80, 90};

// Window opacity from a transparency percentage: 255 - round(p * 255 / 100),
// halves to even. 255 means fully opaque (no translucency).
int OpacityAlpha(int percent) noexcept;

}  // namespace tw
