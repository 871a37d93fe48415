#include "platform/linux/LogindShutdown.h"

#include <QDBusError>
#include <string>

#include "base/WriteLog.h"

namespace tw {

namespace {

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kPrepareForShutdown = QStringLiteral("PrepareForShutdown");
const char* const kSlot = SLOT(OnPrepareForShutdown(bool));

}  // namespace

LogindShutdown::LogindShutdown(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

LogindShutdown::~LogindShutdown() {
    Stop();
}

bool LogindShutdown::Start(std::function<void()> onShutdown) {
    Stop();
    if (!bus_.isConnected()) {
        WriteLog("LogindShutdown.Start: the system bus is not available");
        return false;
    }
    if (!bus_.connect(kLogind, kManagerPath, kManager, kPrepareForShutdown, this, kSlot)) {
        WriteLog("LogindShutdown.Start: PrepareForShutdown cannot be followed: " +
                 bus_.lastError().message().toStdString());
        return false;
    }
    onShutdown_ = std::move(onShutdown);
    following_ = true;
    return true;
}

void LogindShutdown::Stop() {
    if (following_)
        bus_.disconnect(kLogind, kManagerPath, kManager, kPrepareForShutdown, this, kSlot);
    following_ = false;
    onShutdown_ = nullptr;
}

void LogindShutdown::OnPrepareForShutdown(bool starting) {
    if (starting && onShutdown_)
        onShutdown_();
}

}  // namespace tw
