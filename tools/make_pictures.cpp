// Draws the program's pictures: the window pictures compiled into the
// program ("ui"), the background skins shipped beside it ("skins") and the
// program's icon in the sizes of the desktop's icon theme ("icons").
// Usage: tw_make_pictures ui|skins|icons OUTPUT_FOLDER
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

#include <QColor>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <gif_lib.h>

namespace {

QString g_folder;

QImage Canvas(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool Save(const QImage& image, const char* name, int quality = -1) {
    const QString path = g_folder + QLatin1Char('/') + QLatin1String(name);
    if (!image.save(path, nullptr, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// --- Window pictures ---

QImage Header() {
    QImage image = Canvas(64, 32);
    QPainter p(&image);
    QLinearGradient fill(0, 0, 0, 32);
    fill.setColorAt(0, QColor(58, 62, 68, 240));
    fill.setColorAt(1, QColor(28, 30, 34, 240));
    p.fillRect(image.rect(), fill);
    p.fillRect(QRect(0, 0, 64, 1), QColor(255, 255, 255, 50));
    p.fillRect(QRect(0, 30, 64, 1), QColor(0, 0, 0, 160));
    p.fillRect(QRect(0, 31, 64, 1), QColor(42, 163, 201, 220));
    return image;
}

QImage Body() {
    QImage image = Canvas(64, 64);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // A faint sheen under the header and a thin rim that follows the
    // window's rounded bottom corners.
    QLinearGradient sheen(0, 0, 0, 20);
    sheen.setColorAt(0, QColor(255, 255, 255, 18));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, 64, 20), sheen);
    QPainterPath rim;
    rim.moveTo(0.5, 0);
    rim.lineTo(0.5, 53.5);
    rim.arcTo(QRectF(0.5, 43.5, 20, 20), 180, 90);
    rim.lineTo(53.5, 63.5);
    rim.arcTo(QRectF(43.5, 43.5, 20, 20), 270, 90);
    rim.lineTo(63.5, 0);
    p.setPen(QPen(QColor(255, 255, 255, 45), 1));
    p.drawPath(rim);
    return image;
}

QImage Button(QColor top, QColor bottom, QColor border, int highlight) {
    QImage image = Canvas(40, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, 39, 31);
    QLinearGradient fill(0, 0, 0, 32);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(box, 6, 6);
    if (highlight > 0) {
        p.setPen(QPen(QColor(255, 255, 255, highlight), 1));
        p.setBrush(Qt::NoBrush);
        p.drawLine(QPointF(6, 1.5), QPointF(34, 1.5));
    }
    return image;
}

QImage ComboDown(QColor top, QColor bottom) {
    QImage image = Canvas(26, 24);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 24);
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.setPen(QPen(QColor(27, 79, 134), 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 25, 23), 4, 4);
    QPainterPath chevron;
    chevron.moveTo(8, 10);
    chevron.lineTo(13, 15);
    chevron.lineTo(18, 10);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(chevron);
    return image;
}

QImage CheckBox(bool checked) {
    QImage image = Canvas(14, 14);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0.5, 0.5, 13, 13);
    if (checked) {
        p.setPen(QPen(QColor(27, 79, 134), 1));
        p.setBrush(QColor(47, 123, 198));
        p.drawRoundedRect(box, 3, 3);
        QPainterPath tick;
        tick.moveTo(3.5, 7.2);
        tick.lineTo(6, 9.8);
        tick.lineTo(10.6, 4.2);
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    } else {
        p.setPen(QPen(QColor(138, 143, 150), 1));
        p.setBrush(Qt::white);
        p.drawRoundedRect(box, 3, 3);
    }
    return image;
}

QImage ComboCheck() {
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath tick;
    tick.moveTo(3, 8.5);
    tick.lineTo(6.5, 12);
    tick.lineTo(13, 4);
    p.setPen(QPen(QColor(46, 158, 91), 2.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}

QImage ListFrame() {
    QImage image = Canvas(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(140, 144, 150), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 4, 4);
    p.setPen(QPen(QColor(0, 0, 0, 28), 1));
    p.drawLine(QPointF(3, 1.5), QPointF(29, 1.5));
    return image;
}

QImage ListHeader() {
    QImage image = Canvas(16, 20);
    QPainter p(&image);
    QLinearGradient fill(0, 0, 0, 20);
    fill.setColorAt(0, QColor(248, 248, 248));
    fill.setColorAt(1, QColor(226, 227, 229));
    p.fillRect(image.rect(), fill);
    p.fillRect(QRect(0, 19, 16, 1), QColor(200, 200, 200));
    p.fillRect(QRect(15, 2, 1, 16), QColor(212, 212, 212));
    return image;
}

// The program's icon, drawn on a 64-unit grid at any size. IconSvg below is
// the same drawing for the scalable size of the icon theme: keep the two alike.
QImage Icon(int size = 64) {
    QImage image = Canvas(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    QLinearGradient fill(0, 0, 64, 64);
    fill.setColorAt(0, QColor(52, 178, 214));
    fill.setColorAt(1, QColor(28, 98, 170));
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
    // A clock face whose last quarter is filled: time on the list running out.
    p.setBrush(QColor(255, 255, 255, 235));
    p.drawEllipse(QPointF(32, 32), 21, 21);
    p.setBrush(QColor(242, 153, 74));
    p.drawPie(QRectF(15, 15, 34, 34), 90 * 16, 90 * 16);
    p.setPen(QPen(QColor(30, 40, 52), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(32, 32), QPointF(32, 17));
    p.drawLine(QPointF(32, 32), QPointF(43, 38));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 40, 52));
    p.drawEllipse(QPointF(32, 32), 3, 3);
    return image;
}

constexpr const char* kIconSvg = R"svg(<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">
  <defs>
    <linearGradient id="fill" x1="0" y1="0" x2="64" y2="64" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="#34b2d6"/>
      <stop offset="1" stop-color="#1c62aa"/>
    </linearGradient>
  </defs>
  <rect x="2" y="2" width="60" height="60" rx="14" ry="14" fill="url(#fill)"/>
  <circle cx="32" cy="32" r="21" fill="#ffffff" fill-opacity="0.92"/>
  <path d="M32 32 L32 15 A17 17 0 0 0 15 32 Z" fill="#f2994a"/>
  <g stroke="#1e2834" stroke-width="3.5" stroke-linecap="round">
    <line x1="32" y1="32" x2="32" y2="17"/>
    <line x1="32" y1="32" x2="43" y2="38"/>
  </g>
  <circle cx="32" cy="32" r="3" fill="#1e2834"/>
</svg>
)svg";

QImage Glyph(bool plus) {
    QImage image = Canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 8), QPointF(12.5, 8));
    if (plus) {
        p.drawLine(QPointF(8, 3.5), QPointF(8, 12.5));
    }
    return image;
}

bool MakeUi() {
    const QColor border(27, 79, 134);
    return Save(Header(), "header.png") && Save(Body(), "body.png") &&
           Save(Button(QColor(60, 143, 214), QColor(36, 104, 176), border, 70), "button.png") &&
           Save(Button(QColor(92, 168, 234), QColor(47, 123, 198), border, 90),
                "button_hover.png") &&
           Save(Button(QColor(28, 86, 148), QColor(40, 110, 180), border, 0), "button_down.png") &&
           Save(ComboDown(QColor(60, 143, 214), QColor(36, 104, 176)), "combo_down.png") &&
           Save(ComboDown(QColor(92, 168, 234), QColor(47, 123, 198)), "combo_down_hover.png") &&
           Save(ComboDown(QColor(28, 86, 148), QColor(40, 110, 180)), "combo_down_pressed.png") &&
           Save(CheckBox(true), "checked.png") && Save(CheckBox(false), "unchecked.png") &&
           Save(ComboCheck(), "combo_check.png") && Save(ListFrame(), "list_frame.png") &&
           Save(ListHeader(), "list_header.png") && Save(Icon(), "icon.png") &&
           Save(Glyph(true), "add.png") && Save(Glyph(false), "delete.png");
}

// --- Background skins: dark tiles that repeat without seams ---

constexpr double kTwoPi = 2 * std::numbers::pi;

int Clamp255(double v) {
    return v < 0 ? 0 : v > 255 ? 255 : int(v);
}

// Deterministic noise, so every build draws the same pictures.
double Noise(int x, int y) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double(h ^ (h >> 16)) / 4294967295.0;
}

// A woven carbon look: alternating brushed cells, 96 x 96.
QImage Graphite() {
    QImage image(96, 96, QImage::Format_RGB32);
    for (int y = 0; y < 96; ++y) {
        for (int x = 0; x < 96; ++x) {
            const bool across = ((x / 8) + (y / 8)) % 2 == 0;
            const double t = across ? (y % 8) / 7.0 : (x % 8) / 7.0;
            const double shade = 26 + 9 * std::sin(t * std::numbers::pi) + 3 * Noise(x, y);
            image.setPixel(x, y, qRgb(Clamp255(shade), Clamp255(shade + 1), Clamp255(shade + 4)));
        }
    }
    return image;
}

// Soft diagonal waves from plum to deep blue, 256 x 256.
QImage Dusk() {
    QImage image(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const double a = std::sin(kTwoPi * (x + y) / 256.0);
            const double b = std::sin(kTwoPi * (2 * x - y) / 256.0);
            const double r = 34 + 12 * a + 4 * b;
            const double g = 22 + 5 * b;
            const double bl = 52 + 10 * b - 6 * a;
            image.setPixel(x, y, qRgb(Clamp255(r), Clamp255(g), Clamp255(bl)));
        }
    }
    return image;
}

// A night sky: deep navy with faint stars, 200 x 200.
QImage Midnight() {
    QImage image(200, 200, QImage::Format_RGB32);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 200; ++x) {
            const double glow =
                8 * std::sin(kTwoPi * x / 200.0) * std::sin(kTwoPi * y / 200.0) + 3 * Noise(x, y);
            int r = Clamp255(10 + glow), g = Clamp255(18 + glow), b = Clamp255(42 + 1.5 * glow);
            if (Noise(x + 1000, y) > 0.9975) {
                r = g = 150;
                b = 180;
            }
            image.setPixel(x, y, qRgb(r, g, b));
        }
    }
    return image;
}

// Slate with a fine grid of dots, 4 colours, 48 x 48, written as GIF.
bool SaveSlateGif(const char* name) {
    constexpr int size = 48;
    const GifColorType colors[4] = {{38, 42, 48}, {46, 51, 58}, {60, 66, 75}, {31, 34, 39}};
    std::vector<GifPixelType> pixels(size * size);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const int dx = x % 12 - 6, dy = y % 12 - 6;
            const int d2 = dx * dx + dy * dy;
            const bool offset = ((x / 12) + (y / 12)) % 2 == 1;
            GifPixelType index = offset ? 3 : 0;
            if (d2 <= 2) {
                index = 2;
            } else if (d2 <= 5) {
                index = 1;
            }
            pixels[size_t(y * size + x)] = index;
        }
    }
    const QString path = g_folder + QLatin1Char('/') + QLatin1String(name);
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.toLocal8Bit().constData(), false, &error);
    if (gif == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    ColorMapObject* map = GifMakeMapObject(4, colors);
    bool ok = map != nullptr && EGifPutScreenDesc(gif, size, size, 2, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, size, size, false, nullptr) == GIF_OK;
    for (int y = 0; ok && y < size; ++y) {
        ok = EGifPutLine(gif, &pixels[size_t(y * size)], size) == GIF_OK;
    }
    ok = EGifCloseFile(gif, &error) == GIF_OK && ok;
    GifFreeMapObject(map);
    // giflib creates the file for its owner only; skins are for everyone.
    ok = ok && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                               QFile::ReadOther);
    if (!ok) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    }
    return ok;
}

// The icon theme's sizes, in its folder layout (SIZE/apps/NAME).
bool MakeIcons() {
    for (const int size : {64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        if (!QDir(g_folder).mkpath(folder)) {
            return false;
        }
        const QByteArray name = (folder + QStringLiteral("/tallyward.png")).toLocal8Bit();
        if (!Save(Icon(size), name.constData())) {
            return false;
        }
    }
    QFile svg(g_folder + QStringLiteral("/scalable/apps/tallyward.svg"));
    if (!QDir(g_folder).mkpath(QStringLiteral("scalable/apps")) ||
        !svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(kIconSvg) < 0) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
        return false;
    }
    return true;
}

bool MakeSkins() {
    return Save(Graphite(), "Graphite.png") && Save(Dusk(), "Dusk.png") &&
           Save(Midnight(), "Midnight.jpg", 90) && SaveSlateGif("Slate.gif");
}

}  // namespace

int main(int argc, char** argv) {
    const bool known =
        argc == 3 && (std::strcmp(argv[1], "ui") == 0 || std::strcmp(argv[1], "skins") == 0 ||
                      std::strcmp(argv[1], "icons") == 0);
    if (!known) {
        std::fprintf(stderr, "usage: %s ui|skins|icons OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    // The image writers come from Qt's plugins; drawing into images needs no display.
    int qtArgc = 1;
    QCoreApplication app(qtArgc, argv);
    g_folder = QString::fromLocal8Bit(argv[2]);
    if (!QDir().mkpath(g_folder)) {
        std::fprintf(stderr, "cannot create %s\n", argv[2]);
        return 1;
    }
    const bool ok = std::strcmp(argv[1], "ui") == 0      ? MakeUi()
                    : std::strcmp(argv[1], "skins") == 0 ? MakeSkins()
                                                         : MakeIcons();
    return ok ? 0 : 1;
}
