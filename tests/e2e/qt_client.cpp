// A plain Qt Widgets window for the end-to-end tests: a real toolkit client
// with its own top-level window, titled by its first argument.
#include <QApplication>
#include <QLabel>
#include <QString>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString title =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("tallyward-e2e-qt");
    QLabel window(title);
    window.setWindowTitle(title);
    window.resize(320, 120);
    window.show();
    return app.exec();
}
