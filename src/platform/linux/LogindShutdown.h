#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

#include "platform/ShutdownNotice.h"

// The shutdown notice from systemd-logind: PrepareForShutdown(true) of
// org.freedesktop.login1.Manager on the system bus, sent when a power-off
// or reboot begins (false, sent when one is cancelled, is ignored). Only a
// signal is followed, so starting never waits on logind.
namespace tw {

class LogindShutdown final : public QObject, public ShutdownNotice {
    Q_OBJECT
public:
    // The program passes the system bus; tests pass their own.
    explicit LogindShutdown(const QDBusConnection& bus, QObject* parent = nullptr);
    ~LogindShutdown() override;

    bool Start(std::function<void()> onShutdown) override;
    void Stop() override;

private Q_SLOTS:
    void OnPrepareForShutdown(bool starting);

private:
    QDBusConnection bus_;
    std::function<void()> onShutdown_;
    bool following_ = false;
};

}  // namespace tw
