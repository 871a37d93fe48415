// A plain Qt Widgets window for the end-to-end tests: a real toolkit client
// with its own top-level window, titled by its first argument. Two other uses:
//   --screenshot FILE        saves the whole screen as FILE (PNG)
//   --prepare-for-shutdown   takes logind's name on the system bus and sends
//                            its PrepareForShutdown(true), as at a power-off
#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QString>

namespace {

int PrepareForShutdown() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.registerService(QStringLiteral("org.freedesktop.login1")))
        return 1;
    QDBusMessage signal = QDBusMessage::createSignal(
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("PrepareForShutdown"));
    signal << true;
    if (!bus.send(signal))
        return 1;
    // A call answered by the bus: the signal went out before it.
    const QDBusMessage id = bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    return id.type() == QDBusMessage::ReplyMessage ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (mode == QLatin1String("--prepare-for-shutdown")) {
        QCoreApplication app(argc, argv);
        return PrepareForShutdown();
    }
    QApplication app(argc, argv);
    if (argc > 2 && mode == QLatin1String("--screenshot"))
        return QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]))
                   ? 0
                   : 1;
    const QString title = argc > 1 ? mode : QStringLiteral("tallyward-e2e-qt");
    QLabel window(title);
    window.setWindowTitle(title);
    window.resize(320, 120);
    window.show();
    return app.exec();
}
