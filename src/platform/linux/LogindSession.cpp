#include "platform/linux/LogindSession.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <algorithm>

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "platform/SessionStateTracker.h"

namespace tw {

namespace {

// A hung logind holds the start of the program about this long.
constexpr int kCallBudgetMs = 1000;

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// Each screen saver's bus name is also its interface's name.
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kGnomeScreenSaver = QStringLiteral("org.gnome.ScreenSaver");
const char* const kSlot = SLOT(OnSignal(QDBusMessage));

std::string ErrorText(const QDBusMessage& reply) {
    return reply.errorMessage().toStdString() + " (" + reply.errorName().toStdString() + ")";
}

}  // namespace

LogindSession::LogindSession(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                             QObject* parent)
    : QObject(parent), system_(systemBus), session_(sessionBus) {}

LogindSession::~LogindSession() {
    Unregister();
}

bool LogindSession::Register(SessionObserver& observer) {
    Require(!state_, "LogindSession");
    state_ = std::make_unique<SessionStateTracker>(observer);
    std::string logindFailure, screenSaverFailure;
    const bool logind = FollowLogind(logindFailure);
    const bool screenSavers = FollowScreenSavers(screenSaverFailure);
    if (!logindFailure.empty() || !screenSaverFailure.empty()) {
        std::string line = "LogindSession.Register:";
        if (!logindFailure.empty())
            line += " logind: " + logindFailure + ".";
        if (!screenSaverFailure.empty())
            line += " Screen savers: " + screenSaverFailure + ".";
        WriteLog(line);
    }
    return logind || screenSavers;
}

bool LogindSession::FollowLogind(std::string& failure) {
    if (!system_.isConnected()) {
        failure = "the system bus is not available";
        return false;
    }
    QElapsedTimer spent;
    spent.start();
    const auto call = [&](const QString& path, const QString& interface, const char* method,
                          const QVariant& argument) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(kLogind, path, interface, QString::fromLatin1(method));
        message << argument;
        const int left = kCallBudgetMs - int(spent.elapsed());
        return system_.call(message, QDBus::Block, std::max(left, 1));
    };
    const auto isReply = [](const QDBusMessage& m) {
        return m.type() == QDBusMessage::ReplyMessage;
    };

    const QByteArray id = qgetenv("XDG_SESSION_ID");
    QDBusMessage found;
    if (!id.isEmpty())
        found = call(kManagerPath, kManager, "GetSession", QString::fromLocal8Bit(id));
    if (!isReply(found))
        found = call(kManagerPath, kManager, "GetSessionByPID", quint32(::getpid()));
    if (!isReply(found)) {
        failure = "no session of this process: " + ErrorText(found);
        return false;
    }
    sessionPath_ = qdbus_cast<QDBusObjectPath>(found.arguments().value(0)).path();

    // Followed before the first reading, so that no change falls between.
    if (!system_.connect(kLogind, kManagerPath, kManager, QStringLiteral("PrepareForSleep"), this,
                         kSlot) ||
        !system_.connect(kLogind, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"),
                         this, kSlot)) {
        failure = "its signals cannot be followed";
        return false;
    }
    const QDBusMessage properties = call(sessionPath_, kProperties, "GetAll", kSessionInterface);
    // Without a first reading the changes are still followed.
    if (!isReply(properties)) {
        failure = "the session's state cannot be read: " + ErrorText(properties);
        return true;
    }
    ApplySessionProperties(qdbus_cast<QVariantMap>(properties.arguments().value(0)));
    return true;
}

bool LogindSession::FollowScreenSavers(std::string& failure) {
    if (!session_.isConnected()) {
        failure = "the session bus is not available";
        return false;
    }
    // Any object path: desktops announce the same interface at several.
    for (const QString& name : {kScreenSaver, kGnomeScreenSaver}) {
        if (!session_.connect(name, QString(), name, QStringLiteral("ActiveChanged"), this,
                              kSlot)) {
            failure = "their signals cannot be followed";
            return false;
        }
    }
    return true;
}

void LogindSession::Unregister() {
    const QString sleep = QStringLiteral("PrepareForSleep");
    const QString changed = QStringLiteral("PropertiesChanged");
    const QString active = QStringLiteral("ActiveChanged");
    system_.disconnect(kLogind, kManagerPath, kManager, sleep, this, kSlot);
    if (!sessionPath_.isEmpty())
        system_.disconnect(kLogind, sessionPath_, kProperties, changed, this, kSlot);
    for (const QString& name : {kScreenSaver, kGnomeScreenSaver})
        session_.disconnect(name, QString(), name, active, this, kSlot);
    sessionPath_.clear();
    state_.reset();
}

void LogindSession::OnSignal(const QDBusMessage& message) {
    if (!state_)
        return;
    const QVariantList arguments = message.arguments();
    const QString& member = message.member();
    if (member == QLatin1String("PrepareForSleep")) {
        state_->SetSleeping(arguments.value(0).toBool());
    } else if (member == QLatin1String("ActiveChanged")) {
        state_->SetInactive(message.interface() == kGnomeScreenSaver
                                ? SessionSource::GnomeScreenSaver
                                : SessionSource::ScreenSaver,
                            arguments.value(0).toBool());
    } else if (member == QLatin1String("PropertiesChanged") &&
               arguments.value(0).toString() == kSessionInterface) {
        // logind sends the new values of both properties with the change.
        ApplySessionProperties(qdbus_cast<QVariantMap>(arguments.value(1)));
    }
}

void LogindSession::ApplySessionProperties(const QVariantMap& properties) {
    if (const auto locked = properties.find(QStringLiteral("LockedHint"));
        locked != properties.end())
        state_->SetInactive(SessionSource::Locked, locked->toBool());
    if (const auto active = properties.find(QStringLiteral("Active")); active != properties.end())
        state_->SetInactive(SessionSource::NotActive, !active->toBool());
}

}  // namespace tw
