// A plain Qt Widgets window for the end-to-end tests: a real toolkit client
// with its own top-level window, titled by its first argument. With
// "--screenshot FILE" it saves the whole screen as FILE (PNG) instead.
#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QString>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 2 && QString::fromLocal8Bit(argv[1]) == QLatin1String("--screenshot"))
        return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]))
                   ? 0
                   : 1;
    const QString title =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tallyward-e2e-qt");
    QLabel window(title);
    window.setWindowTitle(title);
    window.resize(320, 120);
    window.show();
    return app.exec();
}
