#pragma once

#include <array>
#include <cstdint>

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

// The two skinned controls every window is built from: a panel whose picture
// stretches to any size without distorting its borders (nine slices), and a
// push button drawn from three such pictures with an optional glyph and a
// caption. Neither paints a background of its own, so whatever the parent
// drew (the user's colour and picture) shows through the transparent parts.
namespace tw {

struct TBitmap32;

// A picture as loaded, with whether its alpha channel is to be kept. Only a
// PNG with transparency keeps it; every other picture gets a key colour.
struct TPicture {
    QImage image;
    bool pngAlpha = false;

    bool isNull() const noexcept { return image.isNull(); }
    QSize size() const noexcept { return image.size(); }
};

// The compiled-in pictures, by file name (see ResourcePicture).
namespace pictures {
inline constexpr char kHeader[] = "header.png";  // window header, sides 8 x 8
inline constexpr char kBody[] = "body.png";      // window body, sides 20 x 20
inline constexpr char kButton[] = "button.png";  // push button, sides 10 x 10
inline constexpr char kButtonHover[] = "button_hover.png";
inline constexpr char kButtonDown[] = "button_down.png";
inline constexpr char kComboDown[] = "combo_down.png";  // drop-down button beside a combo, 26 x 24
inline constexpr char kComboDownHover[] = "combo_down_hover.png";
inline constexpr char kComboDownPressed[] = "combo_down_pressed.png";
inline constexpr char kChecked[] = "checked.png";  // 14 x 14 check box cells of the lists
inline constexpr char kUnchecked[] = "unchecked.png";
inline constexpr char kComboCheck[] = "combo_check.png";  // 16 x 16 mark of a filled reminder
inline constexpr char kListFrame[] =
    "list_frame.png";  // frame around lists, memos and edits, sides 8 x 8
inline constexpr char kListHeader[] = "list_header.png";  // column header cell, sides 4 x 4
inline constexpr char kIcon[] = "icon.png";               // program icon, 64 x 64
inline constexpr char kAdd[] = "add.png";                 // 16 x 16 glyphs of the list buttons
inline constexpr char kDelete[] = "delete.png";
}  // namespace pictures

// A decoded picture as the controls take it.
TPicture ToPicture(const TBitmap32& bitmap);
// Loads a picture file or resource (":/ui/...") through the program's
// decoders; a null picture when it cannot be read or decoded.
TPicture LoadPicture(const QString& fileName);
// A picture from one of the program's compiled-in images ("button.png" ...).
TPicture ResourcePicture(const QString& name);

// The bitmap the controls paint from: premultiplied ARGB32. A PNG with
// alpha keeps it; any other picture is drawn over white and the colour of
// its bottom-left pixel becomes fully transparent, the rest fully opaque.
// A null picture gives a null bitmap (nothing is drawn).
QImage PrepareBitmap(const TPicture& picture);

// One of the nine pieces: `source` in the bitmap, stretched onto `dest`
// (relative to the destination's top-left). Empty rectangles draw nothing.
struct TSlice {
    QRect source;
    QRect dest;
};
// Corner sizes: a side size, or half the destination when that is smaller
// than two sides (rounded toward zero).
int SliceCorner(int side, int destExtent) noexcept;
// The nine pieces in drawing order: four corners (top-left, top-right,
// bottom-left, bottom-right), left, right, top and bottom edges, centre.
std::array<TSlice, 9> NineSlices(QSize source, QSize dest, int sideWidth, int sideHeight);
// Blends the nine pieces of `bitmap` source-over into `dest`.
void DrawNineSlice(QPainter& painter, const QImage& bitmap, const QRect& dest, int sideWidth,
                   int sideHeight);

// Where a button's glyph and caption go in a client area of `client` size.
struct TButtonLayout {
    QRect glyph;
    QRect caption;
};
TButtonLayout LayoutButton(QSize client, QSize glyph, QSize caption) noexcept;
// The caption's size as drawn: one line, or broken into lines no wider than
// `width` when `wordWrap`. "&" is an ordinary character. Empty text is 0 x 0.
QSize MeasureCaption(const QFont& font, const QString& text, int width, bool wordWrap);

// What the panel and the button share: the side sizes of their nine-slice
// pictures, and the mouse passed on as signals, with a click being a left
// press and release inside the control.
class TSlicedControl : public QWidget {
    Q_OBJECT
public:
    explicit TSlicedControl(QWidget* parent = nullptr) : QWidget(parent) {}

    int SideWidth() const noexcept { return sideWidth_; }
    int SideHeight() const noexcept { return sideHeight_; }
    void SetSideWidth(int value);
    void SetSideHeight(int value);
    void SetSides(int width, int height);

signals:
    void clicked();
    void mousePressed(QMouseEvent* event);
    void mouseMoved(QMouseEvent* event);
    void mouseReleased(QMouseEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    int sideWidth_ = 20;
    int sideHeight_ = 20;
    bool pressed_ = false;
};

class TImagePanel : public TSlicedControl {
    Q_OBJECT
public:
    explicit TImagePanel(QWidget* parent = nullptr);

    const TPicture& Background() const noexcept { return background_; }
    void SetBackground(const TPicture& picture);
    const QImage& PreparedBitmap() const noexcept { return prepared_; }

    bool Transparent() const noexcept { return transparent_; }
    // When false the panel fills itself with `Color()` before its picture.
    void SetTransparent(bool value);
    QColor Color() const { return color_; }
    void SetColor(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TPicture background_;
    QImage prepared_;
    bool transparent_ = true;
    QColor color_;
};

class TImageButton : public TSlicedControl {
    Q_OBJECT
public:
    enum State : uint8_t { bsNormal = 0, bsHovered = 1, bsPressed = 2 };

    explicit TImageButton(QWidget* parent = nullptr);
    // The program's standard button pictures, caption and size.
    TImageButton(const QString& caption, QWidget* parent);

    const TPicture& Background() const noexcept { return pictures_[bsNormal]; }
    const TPicture& BackgroundSelected() const noexcept { return pictures_[bsHovered]; }
    const TPicture& BackgroundDowned() const noexcept { return pictures_[bsPressed]; }
    void SetBackground(const TPicture& picture) { SetStatePicture(bsNormal, picture); }
    void SetBackgroundSelected(const TPicture& picture) { SetStatePicture(bsHovered, picture); }
    void SetBackgroundDowned(const TPicture& picture) { SetStatePicture(bsPressed, picture); }
    // All three at once (normal, hovered, pressed).
    void SetPictures(const TPicture& normal, const TPicture& hovered, const TPicture& pressed);
    const QImage& PreparedBitmap(State state) const { return prepared_[state]; }

    // The glyph beside the caption; shows at the next paint.
    const QImage& Picture() const noexcept { return glyph_; }
    void SetPicture(const QImage& glyph) { glyph_ = glyph; }

    QString Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool WordWrap() const noexcept { return wordWrap_; }
    void SetWordWrap(bool value);
    QColor TextColor() const;
    void SetTextColor(const QColor& color);

    State ButtonState() const noexcept { return state_; }
    // Where glyph and caption are drawn in the current state and size.
    TButtonLayout Layout() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetStatePicture(State state, const TPicture& picture);
    void SetState(State state);

    std::array<TPicture, 3> pictures_;
    std::array<QImage, 3> prepared_;
    QImage glyph_;
    QString caption_;
    bool wordWrap_ = false;
    State state_ = bsNormal;
};

}  // namespace tw
