#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "platform/Session.h"

class QDBusMessage;

// Session and power notifications from systemd-logind on the system bus
// and from the desktop's screen saver on the session bus.
//
// Suspend and resume come from logind's PrepareForSleep. The session is
// inactive while its LockedHint is set or its Active property is clear
// (both read at Register, since the program may start in a locked session,
// and followed through PropertiesChanged), or while a screen saver reports
// itself active (ActiveChanged of org.freedesktop.ScreenSaver and
// org.gnome.ScreenSaver). logind's Lock and Unlock signals are requests to
// the locker, not the state: a locker that unlocks by itself never sends
// Unlock, so they are not followed.
//
// The session is logind's GetSession of $XDG_SESSION_ID, else
// GetSessionByPID of this process. What cannot be followed (no bus, no
// logind, no session) is logged in one line; the rest still reports. The
// blocking calls of Register share about a second.
namespace tw {

class SessionStateTracker;

class LogindSession final : public QObject, public SessionNotifier {
    Q_OBJECT
public:
    // The program passes the system and session buses; tests pass their own.
    LogindSession(const QDBusConnection& systemBus, const QDBusConnection& sessionBus,
                  QObject* parent = nullptr);
    ~LogindSession() override;

    // Answers whether any source is followed.
    bool Register(SessionObserver& observer) override;
    void Unregister() override;

private Q_SLOTS:
    void OnSignal(const QDBusMessage& message);

private:
    // Each answers whether its source is followed; `failure` says what is
    // missing, also when the source is followed without its first reading.
    bool FollowLogind(std::string& failure);
    bool FollowScreenSavers(std::string& failure);
    void ApplySessionProperties(const QVariantMap& properties);

    QDBusConnection system_;
    QDBusConnection session_;
    QString sessionPath_;
    std::unique_ptr<SessionStateTracker> state_;
};

}  // namespace tw
