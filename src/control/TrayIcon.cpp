#include "control/TrayIcon.h"

#include <QAction>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMetaObject>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>

#include "ui/ImageControls.h"

namespace tw {

namespace {

// How often availability is looked at where the platform says nothing.
constexpr int kPollMs = 5000;

// The xcb platform announces a tray host taking or leaving the tray
// selection with this signal of its native interface.
constexpr char kTrayChanged[] = "systemTrayWindowChanged(QScreen*)";

}  // namespace

TTrayIcon::TTrayIcon(QObject* parent)
    : QObject(parent),
      menu_(std::make_unique<QMenu>()),
      icon_(std::make_unique<QSystemTrayIcon>()) {
    pmnTray = menu_.get();
    pmnTray->setObjectName(QStringLiteral("pmnTray"));
    actExit = pmnTray->addAction(QStringLiteral("&Exit"));
    actExit->setObjectName(QStringLiteral("actExit"));
    // Neither the panel nor the tray offers the user a way out.
    actExit->setVisible(false);
    connect(actExit, &QAction::triggered, this, [this] {
        if (onExit)
            onExit();
    });

    const QImage picture = ResourcePicture(QLatin1String(pictures::kIcon)).image;
    icon_->setIcon(QIcon(QPixmap::fromImage(picture)));
    icon_->setToolTip(QStringLiteral("Tallyward"));
    icon_->setContextMenu(pmnTray);
    connect(icon_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger && onLeftClick)
                    onLeftClick();
            });

    available_ = QSystemTrayIcon::isSystemTrayAvailable();
    // The native interface is a plain QObject subclass whose header is not
    // public; its signals are reached through the meta-object alone.
    auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
    const QByteArray signal = QMetaObject::normalizedSignature(kTrayChanged);
    if (native != nullptr && native->metaObject()->indexOfSignal(signal.constData()) >= 0) {
        connect(native, (QByteArray("2") + signal).constData(), this, SLOT(CheckAvailability()));
    } else {
        poll_ = new QTimer(this);
        poll_->setInterval(kPollMs);
        connect(poll_, &QTimer::timeout, this, &TTrayIcon::CheckAvailability);
        poll_->start();
    }
    // Shown also without a host: the icon docks once one appears.
    icon_->show();
}

TTrayIcon::~TTrayIcon() {
    icon_->hide();
}

bool TTrayIcon::Available() const {
    return available_;
}

void TTrayIcon::CheckAvailability() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available == available_)
        return;
    available_ = available;
    if (onAvailabilityChanged)
        onAvailabilityChanged(available);
}

}  // namespace tw
