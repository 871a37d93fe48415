#pragma once

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QThread>
#include <mutex>
#include <optional>
#include <string>

#include "platform/PrivateBus.h"

// A logind and two screen savers of the test's own on a private bus, which
// plays both the system and the session bus.
namespace tw::test {

inline const QString kLogindManagerPath = QStringLiteral("/org/freedesktop/login1");
inline const QString kLogindSessionPath = QStringLiteral("/org/freedesktop/login1/session/c2");
inline const QString kLogindSessionId = QStringLiteral("c2");

// logind as far as finding this session and reading its state goes. It
// lives on a thread of its own, so the blocking calls do not wait on
// themselves.
class FakeLogind final : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard guard(lock_);
        const QString& method = message.member();
        methods_ += (methods_.empty() ? "" : " ") + method.toStdString();
        const QVariant argument = message.arguments().value(0);
        QVariant answer;
        if (method == QLatin1String("GetSession") && argument.toString() == kLogindSessionId)
            answer = QVariant::fromValue(QDBusObjectPath(kLogindSessionPath));
        else if (method == QLatin1String("GetSessionByPID") && knowsProcess_ &&
                 argument.toUInt() == uint(getpid()))
            answer = QVariant::fromValue(QDBusObjectPath(kLogindSessionPath));
        else if (method == QLatin1String("GetAll") && message.path() == kLogindSessionPath)
            answer = QVariantMap{{QStringLiteral("LockedHint"), locked_},
                                 {QStringLiteral("Active"), true},
                                 {QStringLiteral("Name"), QStringLiteral("user")}};
        connection.send(
            answer.isValid()
                ? message.createReply(answer)
                : message.createErrorReply(QStringLiteral("org.freedesktop.login1.NoSuchSession"),
                                           QStringLiteral("No such session")));
        return true;
    }

    void Set(bool locked, bool knowsProcess) {
        std::lock_guard guard(lock_);
        locked_ = locked;
        knowsProcess_ = knowsProcess;
        methods_.clear();
    }
    std::string Methods() {
        std::lock_guard guard(lock_);
        return methods_;
    }

private:
    std::mutex lock_;
    bool locked_ = false;
    bool knowsProcess_ = true;
    std::string methods_;
};

// The private bus with the fake services on it, and a client connection for
// the code under test. A QCoreApplication must exist.
class LogindTestBus {
public:
    LogindTestBus() = default;
    ~LogindTestBus() {
        client_.reset();
        QDBusConnection::disconnectFromBus(kClientName);
        if (service_)
            for (const QString& path : {kLogindManagerPath, kLogindSessionPath})
                service_->unregisterObject(path);
        service_.reset();
        QDBusConnection::disconnectFromBus(kServiceName);
        serviceThread_.quit();
        serviceThread_.wait();
    }
    LogindTestBus(const LogindTestBus&) = delete;
    LogindTestBus& operator=(const LogindTestBus&) = delete;

    // False when dbus-daemon could not be started (tests skip then).
    bool BusRunning() const { return !bus_.Address().isEmpty(); }

    // Puts the services on the bus and connects the client; answers what
    // failed, empty when all is in place.
    std::string Start() {
        if (!BusRunning())
            return "dbus-daemon could not be started";
        logind_.moveToThread(&serviceThread_);
        serviceThread_.start();
        service_ = QDBusConnection::connectToBus(bus_.Address(), kServiceName);
        if (!service_->isConnected())
            return "the services could not connect to the private bus";
        // One registration per path: with SubPath, Qt creates a child of the
        // object here, on a thread that is not the object's.
        for (const QString& path : {kLogindManagerPath, kLogindSessionPath})
            if (!service_->registerVirtualObject(path, &logind_))
                return "could not register " + path.toStdString();
        for (const char* name :
             {"org.freedesktop.login1", "org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver"})
            if (!service_->registerService(QString::fromLatin1(name)))
                return std::string("could not own ") + name;
        client_ = QDBusConnection::connectToBus(bus_.Address(), kClientName);
        if (!client_->isConnected())
            return "the client could not connect to the private bus";
        return {};
    }

    FakeLogind& Logind() { return logind_; }
    // For the code under test, as its system and session bus.
    const QDBusConnection& Client() const { return *client_; }

    // Each answers whether the signal was sent.
    bool Emit(const QString& path, const char* interface, const char* name,
              const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(path, QString::fromLatin1(interface),
                                                         QString::fromLatin1(name));
        signal.setArguments(arguments);
        return service_ && service_->send(signal);
    }
    bool SessionChanged(const QVariantMap& changed) {
        return Emit(kLogindSessionPath, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                    {QStringLiteral("org.freedesktop.login1.Session"), changed, QStringList()});
    }
    bool PrepareForSleep(bool starting) {
        return Emit(kLogindManagerPath, "org.freedesktop.login1.Manager", "PrepareForSleep",
                    {starting});
    }
    bool ScreenSaver(const char* path, const char* interface, bool active) {
        return Emit(QString::fromLatin1(path), interface, "ActiveChanged", {active});
    }

private:
    inline static const QString kServiceName = QStringLiteral("services");
    inline static const QString kClientName = QStringLiteral("client");

    PrivateBus bus_;
    FakeLogind logind_;
    QThread serviceThread_;
    std::optional<QDBusConnection> service_;
    std::optional<QDBusConnection> client_;
};

}  // namespace tw::test
