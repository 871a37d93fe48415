#include "ui/Colors.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ColorsTest, WindowsColourValuesAreBlueGreenRed) {
    EXPECT_EQ(ColorFromWin(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(ColorFromWin(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(ColorFromWin(0x123456), QColor(0x56, 0x34, 0x12));
    for (int32_t value : {0, 0xFFFFFF, 0x363636, 0x00A0B0C0, 0x80FF}) {
        EXPECT_EQ(ColorToWin(ColorFromWin(value)), value);
    }
}

TEST(ColorsTest, OpacityRoundsHalvesToEven) {
    const std::pair<int, int> cases[] = {{0, 255}, {10, 229}, {30, 179}, {50, 127}, {70, 77},
                                         {90, 25}, {2, 250},  {6, 240},  {35, 166}, {5, 242}};
    for (const auto& [percent, alpha] : cases) {
        EXPECT_EQ(OpacityAlpha(percent), alpha) << percent;
    }
}

TEST(ColorsTest, OpacityNeverMakesAWindowInvisible) {
    EXPECT_EQ(OpacityAlpha(100), OpacityAlpha(90));
    EXPECT_EQ(OpacityAlpha(-5), 255);
}

}  // namespace
}  // namespace tw
