#include "ui/Colors.h"

#include <gtest/gtest.h>

namespace tw {
namespace {

TEST(ColorsTest, WindowsColourValuesAreBlueGreenRed) {
    EXPECT_EQ(ColorFromWin(0x123456), QColor(0x56, 0x34, 0x12));
    for (int32_t value : {0, 0xFFFFFF, 0x363636, 0x80FF}) {
        EXPECT_EQ(ColorToWin(ColorFromWin(value)), value);
    }
}

TEST(ColorsTest, OpacityRoundsHalvesToEvenAndNeverHidesAWindow) {
    // Of the halves, only 30 % (76.5) and 70 % (178.5) come out otherwise
    // when rounded away from zero (178 and 76).
    const std::pair<int, int> cases[] = {{0, 255}, {10, 229}, {30, 179}, {50, 127},
                                         {70, 77}, {90, 25},  {2, 250},  {6, 240},
                                         {5, 242}, {100, 25}, {-5, 255}};
    for (const auto& [percent, alpha] : cases) {
        EXPECT_EQ(OpacityAlpha(percent), alpha) << percent;
    }
}

}  // namespace
}  // namespace tw
