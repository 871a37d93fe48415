#include "platform/linux/LogindPower.h"

#include <time.h>

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "base/WriteLog.h"

namespace tw {

namespace {

// The calls of one shutdown request run on the user-interface thread and
// share this much time, so a hung logind holds the window about a second.
constexpr int kCallBudgetMs = 1000;
// The delayed power-off waits for nobody: its answer only decides what is logged.
constexpr int kLateCallTimeoutMs = 10000;

// The time left for the blocking calls of one request.
class CallBudget {
public:
    CallBudget()
        : deadline_(std::chrono::steady_clock::now() + std::chrono::milliseconds(kCallBudgetMs)) {}
    int RemainingMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline_ - std::chrono::steady_clock::now());
        return left.count() > 0 ? int(left.count()) : 0;
    }
    bool Spent() const { return RemainingMs() == 0; }

private:
    std::chrono::steady_clock::time_point deadline_;
};

QDBusMessage ManagerCall(const char* method) {
    return QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QString::fromLatin1(method));
}

EOSError ErrorOf(std::string_view operation, const QDBusMessage& reply) {
    return LogindError(operation, reply.errorName().toStdString(),
                       reply.errorMessage().toStdString());
}

uint64_t RealTimeMicroseconds() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return uint64_t(ts.tv_sec) * 1000000u + uint64_t(ts.tv_nsec) / 1000u;
}

}  // namespace

EOSError LogindError(std::string_view operation, std::string_view errorName,
                     std::string_view message) {
    struct Mapping {
        std::string_view suffix;
        int code;
    };
    static constexpr Mapping kCodes[] = {
        {".AccessDenied", EACCES},       {".InteractiveAuthorizationRequired", EACCES},
        {".Disconnected", ENOTCONN},     {".NoServer", ENOTCONN},
        {".ServiceUnknown", ENOENT},     {".NameHasNoOwner", ENOENT},
        {".UnknownObject", ENOENT},      {".UnknownMethod", ENOSYS},
        {".NoReply", ETIMEDOUT},         {".Timeout", ETIMEDOUT},
        {".OperationInProgress", EBUSY}, {".InvalidArgs", EINVAL},
    };
    int code = EIO;
    for (const Mapping& m : kCodes) {
        if (errorName.ends_with(m.suffix)) {
            code = m.code;
            break;
        }
    }
    std::string text = "System Error.  Code: " + std::to_string(code) + ".\nlogind " +
                       std::string(operation) + ": " + std::string(message);
    if (!errorName.empty())
        text += " (" + std::string(errorName) + ")";
    return EOSError(code, std::move(text));
}

LogindPower::LogindPower(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus), fallback_(this) {
    fallback_.setSingleShot(true);
    QObject::connect(&fallback_, &QTimer::timeout, this, [this] { PowerOffNow(); });
    lateFailure_ = [](const EOSError& e) { WriteLog(ErrorLine(e, "; LogindPower.PowerOff: ")); };
}

void LogindPower::SetLateFailureHandler(std::function<void(const EOSError&)> handler) {
    lateFailure_ = std::move(handler);
}

void LogindPower::ShutdownComputer(int countdownSeconds) {
    Require(countdownSeconds >= 0, "LogindPower");
    QDBusMessage schedule = ManagerCall("ScheduleShutdown");
    schedule << QStringLiteral("poweroff")
             << quint64(RealTimeMicroseconds() + uint64_t(countdownSeconds) * 1000000u);
    const CallBudget budget;
    const auto call = [&](const QDBusMessage& message) {
        return bus_.call(message, QDBus::Block, std::max(budget.RemainingMs(), 1));
    };
    const QDBusMessage scheduled = call(schedule);
    if (scheduled.type() == QDBusMessage::ReplyMessage) {
        fallback_.stop();
        return;
    }
    const EOSError refusal = ErrorOf("ScheduleShutdown", scheduled);
    // A logind that did not answer in time is not asked again: that would
    // only hold the window longer. (Qt's timer may end the call a little
    // before the budget's clock does, hence both tests.)
    if (refusal.ErrorCode() == ETIMEDOUT || budget.Spent())
        throw refusal;

    if (countdownSeconds == 0) {
        QDBusMessage powerOff = ManagerCall("PowerOff");
        powerOff << false;  // not interactive: nobody may be at the screen
        const QDBusMessage reply = call(powerOff);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
        throw ErrorOf("PowerOff", reply);
    }
    // Only wait out the countdown when the power-off is going to be allowed.
    const QDBusMessage can = call(ManagerCall("CanPowerOff"));
    if (can.type() != QDBusMessage::ReplyMessage ||
        can.arguments().value(0).toString() != QStringLiteral("yes")) {
        throw refusal;
    }
    fallback_.start(std::chrono::seconds(countdownSeconds));
}

void LogindPower::PowerOffNow() {
    QDBusMessage powerOff = ManagerCall("PowerOff");
    powerOff << false;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(powerOff, kLateCallTimeoutMs), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError()) {
                             lateFailure_(ErrorOf("PowerOff", finished->reply()));
                         }
                     });
}

}  // namespace tw
