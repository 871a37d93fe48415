#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Power.h"

// Powers the computer off through systemd-logind on the system bus.
//
// ShutdownComputer asks logind to power off when the countdown has run out
// (Manager.ScheduleShutdown, which also warns other logged-in users). Where
// that is refused but an immediate power-off is allowed (CanPowerOff "yes"),
// a single-shot QTimer of the calling thread's event loop waits out the
// countdown and then sends Manager.PowerOff without waiting for the answer,
// so the user-interface thread never blocks on the countdown. When both are
// refused, EOSError carries logind's reason at once. The blocking calls of
// one request share about a second: a logind that does not answer in that
// time raises EOSError (ETIMEDOUT) and is not asked again.
namespace tw {

class LogindPower final : public QObject, public PowerControl {
public:
    // The program passes the system bus; tests pass a bus of their own.
    explicit LogindPower(const QDBusConnection& bus, QObject* parent = nullptr);

    void ShutdownComputer(int countdownSeconds) override;

    // Whether a fallback power-off is waiting for its countdown.
    bool FallbackPending() const { return fallback_.isActive(); }
    // Where a refusal of the delayed PowerOff goes; the diagnostic log by default.
    void SetLateFailureHandler(std::function<void(const EOSError&)> handler);

private:
    void PowerOffNow();

    QDBusConnection bus_;
    QTimer fallback_;
    std::function<void(const EOSError&)> lateFailure_;
};

// The program's system error for a refusal by logind: an errno-style code
// chosen from the D-Bus error name, and logind's own message as the reason.
EOSError LogindError(std::string_view operation, std::string_view errorName,
                     std::string_view message);

}  // namespace tw
