#include "ui/ImageControls.h"

#include <QPainter>

#include "UiTestSupport.h"

namespace tw {
namespace {

QRect R(int l, int t, int r, int b) {
    return QRect(l, t, r - l, b - t);
}

TEST(NineSlicesTest, SmallHeightHalvesTheCorners) {
    // A 30-pixel-high panel cannot hold two 20-pixel corners: each gets 15.
    const auto s = NineSlices(QSize(60, 60), QSize(100, 30), 20, 20);
    EXPECT_EQ(s[0].source, R(0, 0, 20, 15));
    EXPECT_EQ(s[0].dest, R(0, 0, 20, 15));
    EXPECT_EQ(s[3].source, R(40, 45, 60, 60));
    EXPECT_EQ(s[3].dest, R(80, 15, 100, 30));
    EXPECT_TRUE(s[4].dest.isEmpty());  // no room left for the side edges
    EXPECT_EQ(s[8].dest, R(20, 15, 80, 15));
}

TEST(NineSlicesTest, AllPiecesInOrder) {
    const auto s = NineSlices(QSize(40, 30), QSize(200, 100), 10, 8);
    const QRect sources[9] = {R(0, 0, 10, 8),    R(30, 0, 40, 8),   R(0, 22, 10, 30),
                              R(30, 22, 40, 30), R(0, 8, 10, 22),   R(30, 8, 40, 22),
                              R(10, 0, 30, 8),   R(10, 22, 30, 30), R(10, 8, 30, 22)};
    const QRect dests[9] = {R(0, 0, 10, 8),       R(190, 0, 200, 8),   R(0, 92, 10, 100),
                            R(190, 92, 200, 100), R(0, 8, 10, 92),     R(190, 8, 200, 92),
                            R(10, 0, 190, 8),     R(10, 92, 190, 100), R(10, 8, 190, 92)};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(s[size_t(i)].source, sources[i]) << i;
        EXPECT_EQ(s[size_t(i)].dest, dests[i]) << i;
    }
}

TEST(NineSlicesTest, SidesZeroStretchTheWholePicture) {
    const auto s = NineSlices(QSize(40, 30), QSize(200, 100), 0, 0);
    for (int i = 0; i < 8; ++i) {
        EXPECT_TRUE(s[size_t(i)].dest.isEmpty()) << i;
    }
    EXPECT_EQ(s[8].source, R(0, 0, 40, 30));
    EXPECT_EQ(s[8].dest, R(0, 0, 200, 100));
}

TEST(NineSlicesTest, SidesLargerThanThePictureStayInside) {
    const auto s = NineSlices(QSize(10, 10), QSize(100, 100), 20, 20);
    for (const TSlice& slice : s) {
        EXPECT_TRUE(QRect(0, 0, 10, 10).contains(slice.source) || slice.source.isEmpty());
    }
    EXPECT_EQ(s[0].dest, R(0, 0, 20, 20));
}

struct LayoutCase {
    QSize glyph, caption;
    QRect glyphRect, captionRect;
};

class ButtonLayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ButtonLayoutTest, CentresGlyphAndCaption) {
    const LayoutCase& c = GetParam();
    const TButtonLayout layout = LayoutButton(QSize(85, 32), c.glyph, c.caption);
    if (!c.glyph.isEmpty()) {
        EXPECT_EQ(layout.glyph, c.glyphRect);
    }
    EXPECT_EQ(layout.caption, c.captionRect);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ButtonLayoutTest,
    ::testing::Values(
        // Caption only: centred, halves rounded toward zero.
        LayoutCase{QSize(0, 0), QSize(21, 15), QRect(), QRect(32, 8, 21, 15)},
        // Glyph and caption side by side, centred together.
        LayoutCase{QSize(16, 16), QSize(21, 15), QRect(24, 8, 16, 16), QRect(40, 8, 21, 15)},
        // Glyph only.
        LayoutCase{QSize(16, 16), QSize(0, 0), QRect(34, 8, 16, 16), QRect(42, 16, 0, 0)}));

TEST(MeasureCaptionTest, EmptyIsZeroAndWrapNarrowsWidth) {
    EXPECT_EQ(MeasureCaption(QFont(), QString(), 50, false), QSize(0, 0));
    const QString text = QStringLiteral("Copy Error to Clipboard");
    const QSize single = MeasureCaption(QFont(), text, 60, false);
    const QSize wrapped = MeasureCaption(QFont(), text, 60, true);
    EXPECT_GT(single.width(), 60);
    EXPECT_LE(wrapped.width(), 60);
    EXPECT_GT(wrapped.height(), single.height());
}

}  // namespace
}  // namespace tw
