#include "ui/ImageControls.h"

#include <cstdio>
#include <set>
#include <string>

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>

#include "UiTestSupport.h"
#include "base/Appearance.h"
#include "imaging/Bitmap32.h"
#include "imaging/PictureLoader.h"

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

std::string LayoutName(const LayoutCase& c) {
    return "Glyph" + std::to_string(c.glyph.width()) + "x" + std::to_string(c.glyph.height()) +
           "Caption" + std::to_string(c.caption.width()) + "x" + std::to_string(c.caption.height());
}

void PrintTo(const LayoutCase& c, std::ostream* out) {
    *out << LayoutName(c);
}

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
        LayoutCase{QSize(16, 16), QSize(0, 0), QRect(34, 8, 16, 16), QRect(42, 16, 0, 0)}),
    [](const auto& tp) { return LayoutName(tp.param); });

TEST(MeasureCaptionTest, EmptyIsZeroAndWrapNarrowsWidth) {
    EXPECT_EQ(MeasureCaption(QFont(), QString(), 50, false), QSize(0, 0));
    const QString text = QStringLiteral("Copy Error to Clipboard");
    const QSize single = MeasureCaption(QFont(), text, 60, false);
    const QSize wrapped = MeasureCaption(QFont(), text, 60, true);
    EXPECT_GT(single.width(), 60);
    EXPECT_LE(wrapped.width(), 60);
    EXPECT_GT(wrapped.height(), single.height());
}

QImage Opaque(int w, int h, QColor fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

std::string ColourName(const ::testing::TestParamInfo<QRgb>& tp) {
    char name[16];
    std::snprintf(name, sizeof name, "Rgb%06X", unsigned(tp.param & 0xFFFFFF));
    return name;
}

class KeyColourTest : public ::testing::TestWithParam<QRgb> {};

TEST_P(KeyColourTest, BottomLeftColourBecomesTransparent) {
    const QRgb key = GetParam();
    QImage image = Opaque(4, 3, QColor(10, 20, 30));
    image.setPixel(0, 2, key);  // bottom-left
    image.setPixel(3, 0, key);
    image.setPixel(2, 1, qRgb(qRed(key), qGreen(key), qBlue(key) ^ 1));  // one step off
    const QImage bitmap = PrepareBitmap({image, false});
    ASSERT_EQ(bitmap.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(bitmap.pixel(0, 2), 0u);
    EXPECT_EQ(bitmap.pixel(3, 0), 0u);
    EXPECT_EQ(qAlpha(bitmap.pixel(2, 1)), 255);
    EXPECT_EQ(bitmap.pixel(1, 1), qRgb(10, 20, 30));
}

INSTANTIATE_TEST_SUITE_P(MagentaAndRed, KeyColourTest,
                         ::testing::Values(qRgb(255, 0, 255), qRgb(255, 0, 0)), ColourName);

TEST(PrepareBitmapTest, PngKeepsItsSoftEdge) {
    QImage image(8, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 8; ++x) {
        image.setPixel(x, 0, qRgba(200, 100, 40, x * 32));
    }
    test::TempDir dir;
    const QString path = QString::fromStdString(dir.Path()) + QStringLiteral("soft.png");
    ASSERT_TRUE(image.save(path));
    const TPicture picture = LoadPicture(path);
    ASSERT_TRUE(picture.pngAlpha);
    const QImage bitmap = PrepareBitmap(picture);
    for (int x = 0; x < 8; ++x) {
        // The key-colour rule would have made the bottom-left (alpha 0)
        // colour transparent and everything else opaque.
        EXPECT_EQ(qAlpha(bitmap.pixel(x, 0)), x * 32) << x;
    }
    const QRgb half = reinterpret_cast<const QRgb*>(bitmap.constScanLine(0))[4];
    EXPECT_EQ(qAlpha(half), 128);
    EXPECT_NEAR(qRed(half), 100, 1);  // premultiplied
}

TEST(DrawNineSliceTest, ThirtyPixelPanelUsesFifteenPixelCorners) {
    // Top 20 rows red, bottom 20 blue, the middle green.
    QImage banded = Opaque(60, 60, QColor(0, 255, 0));
    QPainter bands(&banded);
    bands.fillRect(0, 0, 60, 20, QColor(255, 0, 0));
    bands.fillRect(0, 40, 60, 20, QColor(0, 0, 255));
    bands.end();
    QImage target(100, 30, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::black);
    QPainter painter(&target);
    DrawNineSlice(painter, PrepareBitmap({banded, true}), target.rect(), 20, 20);
    painter.end();
    for (int x : {0, 19, 50, 99}) {
        EXPECT_EQ(target.pixel(x, 14), qRgb(255, 0, 0)) << x;
        EXPECT_EQ(target.pixel(x, 15), qRgb(0, 0, 255)) << x;
    }
}

TEST(DrawNineSliceTest, SidesZeroStretchAndAlphaBlendsOver) {
    QImage source(2, 2, QImage::Format_ARGB32);
    source.setPixel(0, 0, qRgba(255, 0, 0, 255));
    source.setPixel(1, 0, qRgba(0, 255, 0, 255));
    source.setPixel(0, 1, qRgba(0, 0, 255, 255));
    source.setPixel(1, 1, qRgba(0, 0, 0, 0));
    QImage target(40, 20, QImage::Format_ARGB32_Premultiplied);
    target.fill(QColor(7, 7, 7));
    QPainter painter(&target);
    DrawNineSlice(painter, PrepareBitmap({source, true}), target.rect(), 0, 0);
    painter.end();
    EXPECT_EQ(target.pixel(5, 5), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(35, 5), qRgb(0, 255, 0));
    EXPECT_EQ(target.pixel(5, 15), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(35, 15), qRgb(7, 7, 7));  // transparent: what was beneath
}

using ImageButtonTest = test::UiTest;

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held) {
    const QPointF pos(10, 10);
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

TEST_F(ImageButtonTest, MouseStates) {
    QWidget parent;
    TImageButton button(QStringLiteral("OK"), &parent);
    QSignalSpy moved(&button, &TImageButton::mouseMoved);
    QSignalSpy clicked(&button, &TImageButton::clicked);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsNormal);
    SendMouse(&button, QEvent::MouseMove, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsHovered);
    EXPECT_EQ(moved.count(), 1);
    SendMouse(&button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsPressed);
    // Moving with the button held keeps the pressed picture and sends no move.
    SendMouse(&button, QEvent::MouseMove, Qt::NoButton, Qt::LeftButton);
    SendMouse(&button, QEvent::MouseMove, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsPressed);
    EXPECT_EQ(moved.count(), 1);
    SendMouse(&button, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsPressed);  // release changes nothing
    EXPECT_EQ(clicked.count(), 1);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsNormal);
    // The right button presses too, but only the left one clicks.
    SendMouse(&button, QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(button.ButtonState(), TImageButton::bsPressed);
    SendMouse(&button, QEvent::MouseButtonRelease, Qt::RightButton, Qt::NoButton);
    EXPECT_EQ(clicked.count(), 1);
}

TEST_F(ImageButtonTest, PressedCaptionMovesDownOnePixelAndGlyphStays) {
    QWidget parent;
    TImageButton button(QStringLiteral("Add"), &parent);
    button.SetPicture(QImage(16, 16, QImage::Format_ARGB32));
    const TButtonLayout normal = button.Layout();
    SendMouse(&button, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton);
    const TButtonLayout pressed = button.Layout();
    EXPECT_EQ(pressed.caption, normal.caption.translated(0, 1));
    EXPECT_EQ(pressed.glyph, normal.glyph);
}

TEST_F(ImageButtonTest, AmpersandIsDrawnAsItself) {
    // A mnemonic would hide the "&" and underline the next letter instead;
    // drawn literally it takes room of its own.
    const QFont font(QStringLiteral("Arial"));
    EXPECT_GT(MeasureCaption(font, QStringLiteral("A&B"), 100, false).width(),
              MeasureCaption(font, QStringLiteral("AB"), 100, false).width());
    QWidget parent;
    const auto drawn = [&parent](const char* caption) {
        TImageButton button(QString::fromLatin1(caption), &parent);
        QImage image(button.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::black);
        button.render(&image);
        return image;
    };
    EXPECT_NE(drawn("AB"), drawn("A&B"));
}

TEST_F(ImageButtonTest, WithoutCaptionOrGlyphOnlyThePictureIsDrawn) {
    QWidget parent;
    TImageButton button(&parent);
    button.resize(40, 32);
    button.SetBackground(ResourcePicture(QLatin1String(pictures::kButton)));
    button.SetSides(10, 10);
    QImage drawn(button.size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    button.render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    QImage expected(button.size(), QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    QPainter painter(&expected);
    DrawNineSlice(painter, button.PreparedBitmap(TImageButton::bsNormal), expected.rect(), 10, 10);
    painter.end();
    EXPECT_EQ(drawn, expected);
    EXPECT_FALSE(button.PreparedBitmap(TImageButton::bsNormal).isNull());
}

TEST(ToPictureTest, KeepsPixelsAndTellsAPngWithAlpha) {
    TBitmap32 bitmap;
    bitmap.width = 2;
    bitmap.height = 1;
    bitmap.pixels = {0x80FF0000u, 0xFF00FF00u};
    bitmap.hasAlpha = true;
    bitmap.format = TImageFormat::Png;
    const TPicture png = ToPicture(bitmap);
    EXPECT_TRUE(png.pngAlpha);
    EXPECT_EQ(png.image.pixel(0, 0), 0x80FF0000u);
    EXPECT_EQ(png.image.pixel(1, 0), 0xFF00FF00u);
    // A GIF's transparent colour is not an alpha channel: it gets the key colour.
    bitmap.format = TImageFormat::Gif;
    EXPECT_FALSE(ToPicture(bitmap).pngAlpha);
    bitmap.format = TImageFormat::Png;
    bitmap.hasAlpha = false;
    EXPECT_FALSE(ToPicture(bitmap).pngAlpha);
    EXPECT_TRUE(ToPicture(TBitmap32{}).isNull());
    EXPECT_TRUE(PrepareBitmap(TPicture{}).isNull());
}

TEST(ResourcePictureTest, EveryWindowPictureIsAPngWithAlpha) {
    for (const char* name :
         {pictures::kHeader, pictures::kBody, pictures::kButton, pictures::kButtonHover,
          pictures::kButtonDown, pictures::kComboDown, pictures::kComboDownHover,
          pictures::kComboDownPressed, pictures::kChecked, pictures::kUnchecked,
          pictures::kComboCheck, pictures::kListFrame, pictures::kListHeader, pictures::kIcon,
          pictures::kAdd, pictures::kDelete}) {
        const TPicture picture = ResourcePicture(QLatin1String(name));
        EXPECT_FALSE(picture.isNull()) << name;
        EXPECT_TRUE(picture.pngAlpha) << name;
    }
}

using SkinsTest = test::UiTest;

TEST_F(SkinsTest, ShippedSkinsDecodeAndKeepWhiteTextReadable) {
    NameValueList skins;
    GetSkinList(skins);
    ASSERT_GE(skins.size(), 3u);
    std::set<TImageFormat> formats;
    for (const auto& [name, path] : skins) {
        const TBitmap32 bitmap = LoadPicture(path);
        formats.insert(bitmap.format);
        double luminance = 0;
        for (uint32_t pixel : bitmap.pixels) {
            luminance += 0.2126 * ((pixel >> 16) & 0xFF) + 0.7152 * ((pixel >> 8) & 0xFF) +
                         0.0722 * (pixel & 0xFF);
        }
        EXPECT_LT(luminance / double(bitmap.pixels.size()), 60.0) << name;
    }
    EXPECT_TRUE(formats.count(TImageFormat::Png) && formats.count(TImageFormat::Jpeg) &&
                formats.count(TImageFormat::Gif));
}

}  // namespace
}  // namespace tw
