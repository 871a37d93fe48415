#include "ui/ImageControls.h"

#include <algorithm>
#include <climits>
#include <span>

#include <QEvent>
#include <QFile>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "imaging/Bitmap32.h"
#include "imaging/PictureLoader.h"

namespace tw {

namespace {

QRect FromLTRB(int left, int top, int right, int bottom) noexcept {
    return QRect(left, top, right - left, bottom - top);
}

}  // namespace

TPicture ToPicture(const TBitmap32& bitmap) {
    if (bitmap.Empty()) {
        return {};
    }
    // The decoders' pixels are QImage's ARGB32 layout; the copy owns them.
    const QImage view(reinterpret_cast<const uchar*>(bitmap.pixels.data()), bitmap.width,
                      bitmap.height, bitmap.width * 4, QImage::Format_ARGB32);
    TPicture picture;
    picture.pngAlpha = bitmap.format == TImageFormat::Png && bitmap.hasAlpha;
    picture.image = view.copy();
    return picture;
}

TPicture LoadPicture(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray data = file.readAll();
    try {
        return ToPicture(DecodeImage(
            std::span(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()))));
    } catch (const Exception& e) {
        LogException(e, "; LoadPicture: " + fileName.toStdString() + ": ");
        return {};
    }
}

TPicture ResourcePicture(const QString& name) {
    return LoadPicture(QStringLiteral(":/ui/") + name);
}

QImage PrepareBitmap(const TPicture& picture) {
    if (picture.isNull()) {
        return {};
    }
    if (picture.pngAlpha) {
        return picture.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    QImage bitmap(picture.size(), QImage::Format_ARGB32_Premultiplied);
    bitmap.fill(Qt::white);
    {
        QPainter painter(&bitmap);
        painter.drawImage(0, 0, picture.image);
    }
    // Every other picture has one colour that means "see through": the one
    // in its bottom-left corner.
    const QRgb key = bitmap.pixel(0, bitmap.height() - 1) & RGB_MASK;
    for (int y = 0; y < bitmap.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(bitmap.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb rgb = line[x] & RGB_MASK;
            line[x] = rgb == key ? 0 : (rgb | 0xFF000000u);
        }
    }
    return bitmap;
}

int SliceCorner(int side, int destExtent) noexcept {
    return destExtent < 2 * side ? destExtent / 2 : side;
}

std::array<TSlice, 9> NineSlices(QSize source, QSize dest, int sideWidth, int sideHeight) {
    const int w = dest.width(), h = dest.height();
    const int W = source.width(), H = source.height();
    const int cx = SliceCorner(sideWidth, w);
    const int cy = SliceCorner(sideHeight, h);
    // Sides wider than half the picture would reach past it: the picture's
    // own pieces are then cut at its middle.
    const int sx = std::min(cx, W / 2);
    const int sy = std::min(cy, H / 2);
    return {{
        {FromLTRB(0, 0, sx, sy), FromLTRB(0, 0, cx, cy)},
        {FromLTRB(W - sx, 0, W, sy), FromLTRB(w - cx, 0, w, cy)},
        {FromLTRB(0, H - sy, sx, H), FromLTRB(0, h - cy, cx, h)},
        {FromLTRB(W - sx, H - sy, W, H), FromLTRB(w - cx, h - cy, w, h)},
        {FromLTRB(0, sy, sx, H - sy), FromLTRB(0, cy, cx, h - cy)},
        {FromLTRB(W - sx, sy, W, H - sy), FromLTRB(w - cx, cy, w, h - cy)},
        {FromLTRB(sx, 0, W - sx, sy), FromLTRB(cx, 0, w - cx, cy)},
        {FromLTRB(sx, H - sy, W - sx, H), FromLTRB(cx, h - cy, w - cx, h)},
        {FromLTRB(sx, sy, W - sx, H - sy), FromLTRB(cx, cy, w - cx, h - cy)},
    }};
}

void DrawNineSlice(QPainter& painter, const QImage& bitmap, const QRect& dest, int sideWidth,
                   int sideHeight) {
    if (bitmap.isNull() || dest.isEmpty()) {
        return;
    }
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    for (const TSlice& slice : NineSlices(bitmap.size(), dest.size(), sideWidth, sideHeight)) {
        if (slice.source.isEmpty() || slice.dest.isEmpty()) {
            continue;
        }
        painter.drawImage(QRectF(slice.dest.translated(dest.topLeft())), bitmap,
                          QRectF(slice.source));
    }
    painter.restore();
}

TButtonLayout LayoutButton(QSize client, QSize glyph, QSize caption) noexcept {
    const int W = client.width(), H = client.height();
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = caption.width(), th = caption.height();
    TButtonLayout layout;
    if (gh == 0) {
        layout.caption = QRect((W - tw) / 2, (H - th) / 2, tw, th);
        layout.glyph = QRect((W - gw) / 2, (H - gh) / 2, gw, gh);
    } else if (th != 0) {
        const int left = (W - gw - tw) / 2;
        layout.glyph = QRect(left, (H - gh) / 2, gw, gh);
        layout.caption = QRect(left + gw, (H - th) / 2, tw, th);
    } else {
        layout.glyph = QRect((W - gw) / 2, (H - gh) / 2, gw, gh);
        layout.caption = QRect((W - tw) / 2, (H - th) / 2, tw, th);
    }
    return layout;
}

QSize MeasureCaption(const QFont& font, const QString& text, int width, bool wordWrap) {
    if (text.isEmpty()) {
        return {0, 0};
    }
    const QFontMetrics metrics(font);
    if (wordWrap) {
        return metrics
            .boundingRect(QRect(0, 0, std::max(width, 1), INT_MAX / 4), Qt::TextWordWrap, text)
            .size();
    }
    return metrics.boundingRect(QRect(0, 0, 0, 0), 0, text).size();
}

// --- TSlicedControl ---

void TSlicedControl::SetSideWidth(int value) {
    sideWidth_ = value;
    update();
}

void TSlicedControl::SetSideHeight(int value) {
    sideHeight_ = value;
    update();
}

void TSlicedControl::SetSides(int width, int height) {
    sideWidth_ = width;
    sideHeight_ = height;
    update();
}

void TSlicedControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    emit mousePressed(event);
}

void TSlicedControl::mouseMoveEvent(QMouseEvent* event) {
    emit mouseMoved(event);
}

void TSlicedControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    emit mouseReleased(event);
    if (click) {
        emit clicked();
    }
}

// --- TImagePanel ---

TImagePanel::TImagePanel(QWidget* parent) : TSlicedControl(parent) {}

void TImagePanel::SetBackground(const TPicture& picture) {
    background_ = picture;
    prepared_ = PrepareBitmap(background_);
    update();
}

void TImagePanel::SetTransparent(bool value) {
    if (value == transparent_) {
        return;
    }
    transparent_ = value;
    setAttribute(Qt::WA_OpaquePaintEvent, !value);
    update();
}

void TImagePanel::SetColor(const QColor& color) {
    color_ = color;
    update();
}

void TImagePanel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    if (!transparent_) {
        painter.fillRect(rect(), color_);
    }
    DrawNineSlice(painter, prepared_, rect(), SideWidth(), SideHeight());
}

// --- TImageButton ---

TImageButton::TImageButton(QWidget* parent) : TSlicedControl(parent) {
    // Hovering shows on the first move without a button held.
    setMouseTracking(true);
}

TImageButton::TImageButton(const QString& caption, QWidget* parent) : TImageButton(parent) {
    SetPictures(ResourcePicture(QLatin1String(pictures::kButton)),
                ResourcePicture(QLatin1String(pictures::kButtonHover)),
                ResourcePicture(QLatin1String(pictures::kButtonDown)));
    SetSides(10, 10);
    SetTextColor(Qt::white);
    SetCaption(caption);
    resize(85, 32);
}

void TImageButton::SetStatePicture(State state, const TPicture& picture) {
    pictures_[state] = picture;
    prepared_[state] = PrepareBitmap(picture);
    update();
}

void TImageButton::SetPictures(const TPicture& normal, const TPicture& hovered,
                               const TPicture& pressed) {
    SetStatePicture(bsNormal, normal);
    SetStatePicture(bsHovered, hovered);
    SetStatePicture(bsPressed, pressed);
}

void TImageButton::SetCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void TImageButton::SetWordWrap(bool value) {
    if (value != wordWrap_) {
        wordWrap_ = value;
        update();
    }
}

QColor TImageButton::TextColor() const {
    return palette().color(QPalette::WindowText);
}

void TImageButton::SetTextColor(const QColor& color) {
    QPalette p = palette();
    p.setColor(QPalette::WindowText, color);
    setPalette(p);
}

TButtonLayout TImageButton::Layout() const {
    TButtonLayout layout =
        LayoutButton(size(), glyph_.size(), MeasureCaption(font(), caption_, width(), wordWrap_));
    if (state_ == bsPressed) {
        layout.caption.translate(0, 1);
    }
    return layout;
}

void TImageButton::SetState(State state) {
    if (state != state_) {
        state_ = state;
        update();
    }
}

void TImageButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    DrawNineSlice(painter, prepared_[state_], rect(), SideWidth(), SideHeight());
    const TButtonLayout layout = Layout();
    if (!glyph_.isNull()) {
        painter.drawImage(layout.glyph.topLeft(), glyph_);
    }
    if (!caption_.isEmpty()) {
        painter.setFont(font());
        painter.setPen(TextColor());
        // Qt draws "&" as itself unless told to show mnemonics.
        painter.drawText(
            layout.caption,
            int(Qt::AlignHCenter | Qt::AlignTop) | (wordWrap_ ? int(Qt::TextWordWrap) : 0),
            caption_);
    }
}

void TImageButton::mousePressEvent(QMouseEvent* event) {
    SetState(bsPressed);
    TSlicedControl::mousePressEvent(event);
}

void TImageButton::mouseMoveEvent(QMouseEvent* event) {
    // While a button is held the move is ignored entirely, so a pressed
    // button keeps its pressed picture.
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton)) {
        return;
    }
    SetState(bsHovered);
    TSlicedControl::mouseMoveEvent(event);
}

void TImageButton::leaveEvent(QEvent* event) {
    SetState(bsNormal);
    QWidget::leaveEvent(event);
}

void TImageButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
        update();
    }
    QWidget::changeEvent(event);
}

}  // namespace tw
