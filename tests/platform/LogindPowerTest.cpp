#include "platform/linux/LogindPower.h"

#include <gtest/gtest.h>
#include <time.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QThread>
#include <cerrno>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/PrivateBus.h"

// Every test talks to a logind of its own on a private bus (or to no bus at
// all); none ever reaches the system bus.
namespace tw {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "LogindPowerTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// org.freedesktop.login1's Manager as far as powering off goes: records the
// calls and refuses what the test says. It lives on a thread of its own, so
// the test's blocking calls do not wait on themselves.
class FakeLogind final : public QDBusVirtualObject {
public:
    struct Call {
        QString method;
        QVariantList arguments;
    };

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard guard(lock_);
        calls_.push_back({message.member(), message.arguments()});
        const QString& method = message.member();
        if (hung_)
            return true;  // taken, never answered
        if (method == QStringLiteral("CanPowerOff")) {
            connection.send(message.createReply(canPowerOff_));
        } else if ((method == QStringLiteral("ScheduleShutdown") && refuseSchedule_) ||
                   (method == QStringLiteral("PowerOff") && refusePowerOff_)) {
            connection.send(message.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"),
                QStringLiteral("Interactive authentication required.")));
        } else {
            connection.send(message.createReply());
        }
        return true;
    }

    void Refuse(bool schedule, bool powerOff, const char* canPowerOff) {
        std::lock_guard guard(lock_);
        refuseSchedule_ = schedule;
        refusePowerOff_ = powerOff;
        canPowerOff_ = QString::fromLatin1(canPowerOff);
    }
    void Hang() {
        std::lock_guard guard(lock_);
        hung_ = true;
    }
    std::vector<Call> Calls() {
        std::lock_guard guard(lock_);
        return calls_;
    }
    // The methods called so far, separated by spaces.
    std::string Methods() {
        std::string names;
        for (const Call& c : Calls())
            names += (names.empty() ? "" : " ") + c.method.toStdString();
        return names;
    }

private:
    std::mutex lock_;
    std::vector<Call> calls_;
    bool refuseSchedule_ = false;
    bool refusePowerOff_ = false;
    QString canPowerOff_ = QStringLiteral("yes");
    bool hung_ = false;
};

class LogindPowerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        if (bus_.Address().isEmpty())
            GTEST_SKIP() << "dbus-daemon could not be started";
        logind_.moveToThread(&serviceThread_);
        serviceThread_.start();
        service_ = QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("fake-logind"));
        ASSERT_TRUE(service_->isConnected());
        ASSERT_TRUE(
            service_->registerVirtualObject(QStringLiteral("/org/freedesktop/login1"), &logind_));
        ASSERT_TRUE(service_->registerService(QStringLiteral("org.freedesktop.login1")));
        client_ = QDBusConnection::connectToBus(bus_.Address(), QStringLiteral("client"));
        ASSERT_TRUE(client_->isConnected());
    }
    void TearDown() override {
        client_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("client"));
        if (service_)
            service_->unregisterObject(QStringLiteral("/org/freedesktop/login1"));
        service_.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("fake-logind"));
        serviceThread_.quit();
        serviceThread_.wait();
    }

    // Runs the event loop until `done` or five seconds have passed.
    template <typename Predicate>
    bool RunUntil(Predicate done) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < 5000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        return done();
    }

    test::PrivateBus bus_;
    FakeLogind logind_;
    QThread serviceThread_;
    std::optional<QDBusConnection> service_;
    std::optional<QDBusConnection> client_;
};

TEST_F(LogindPowerTest, SchedulesThePowerOffAtTheEndOfTheCountdown) {
    LogindPower power(*client_);
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const quint64 expected = quint64(ts.tv_sec + 60) * 1000000u;
    power.ShutdownComputer(60);
    const auto calls = logind_.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].method, QStringLiteral("ScheduleShutdown"));
    ASSERT_EQ(calls[0].arguments.size(), 2);
    EXPECT_EQ(calls[0].arguments[0].toString(), QStringLiteral("poweroff"));
    const quint64 when = calls[0].arguments[1].toULongLong();
    EXPECT_GE(when, expected);
    EXPECT_LT(when, expected + 5000000u);
    EXPECT_FALSE(power.FallbackPending());
}

TEST_F(LogindPowerTest, RefusedScheduleFallsBackToPowerOffAfterTheCountdown) {
    logind_.Refuse(true, false, "yes");
    LogindPower power(*client_);
    power.ShutdownComputer(1);
    EXPECT_TRUE(power.FallbackPending());
    EXPECT_EQ(logind_.Methods(), "ScheduleShutdown CanPowerOff");
    ASSERT_TRUE(RunUntil([&] { return logind_.Calls().size() == 3; }));
    const auto calls = logind_.Calls();
    EXPECT_EQ(calls[2].method, QStringLiteral("PowerOff"));
    EXPECT_EQ(calls[2].arguments, QVariantList{false});  // never asks for a password
    // Without a countdown the power-off is at once, and its refusal raises.
    power.ShutdownComputer(0);
    EXPECT_EQ(logind_.Methods(), "ScheduleShutdown CanPowerOff PowerOff ScheduleShutdown PowerOff");
    logind_.Refuse(true, true, "yes");
    try {
        power.ShutdownComputer(0);
        ADD_FAILURE() << "a refused power-off must raise";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), EACCES);
        EXPECT_NE(std::string(e.what()).find("logind PowerOff: "), std::string::npos);
    }
}

TEST_F(LogindPowerTest, LateRefusalOfThePowerOffIsReported) {
    logind_.Refuse(true, true, "yes");
    LogindPower power(*client_);
    std::optional<EOSError> late;
    power.SetLateFailureHandler([&](const EOSError& e) { late = e; });
    power.ShutdownComputer(1);
    ASSERT_TRUE(RunUntil([&] { return late.has_value(); }));
    EXPECT_EQ(late->ErrorCode(), EACCES);
    EXPECT_NE(std::string(late->what()).find("PowerOff: Interactive authentication required."),
              std::string::npos)
        << late->what();
}

TEST_F(LogindPowerTest, RefusalOfBothRaisesLogindsReason) {
    for (const char* can : {"challenge", "no", "na"}) {
        logind_.Refuse(true, false, can);
        LogindPower power(*client_);
        try {
            power.ShutdownComputer(60);
            ADD_FAILURE() << "no error with CanPowerOff " << can;
        } catch (const EOSError& e) {
            EXPECT_EQ(e.ErrorCode(), EACCES);
            EXPECT_STREQ(e.what(),
                         "System Error.  Code: 13.\nlogind ScheduleShutdown: Interactive "
                         "authentication required. "
                         "(org.freedesktop.DBus.Error.InteractiveAuthorizationRequired)");
        }
        EXPECT_FALSE(power.FallbackPending());
    }
    EXPECT_EQ((" " + logind_.Methods()).find(" PowerOff"), std::string::npos);
}

// A logind that takes calls and never answers holds the window about a
// second, and the time-out raises: the shutdown never passes for done.
TEST_F(LogindPowerTest, HungLogindFailsWithinAboutASecond) {
    logind_.Hang();
    LogindPower power(*client_);
    for (int countdown : {0, 60}) {
        QElapsedTimer timer;
        timer.start();
        try {
            power.ShutdownComputer(countdown);
            ADD_FAILURE() << "no error from a silent logind, countdown " << countdown;
        } catch (const EOSError& e) {
            EXPECT_EQ(e.ErrorCode(), ETIMEDOUT) << e.what();
            EXPECT_NE(std::string(e.what()).find("logind ScheduleShutdown: "), std::string::npos)
                << e.what();
        }
        EXPECT_LT(timer.elapsed(), 5000) << "countdown " << countdown;
        EXPECT_FALSE(power.FallbackPending());
    }
    // Once a call has run out of time logind is not asked again.
    EXPECT_EQ(logind_.Methods(), "ScheduleShutdown ScheduleShutdown");
}

TEST(LogindPowerNoBusTest, MissingBusRaisesNotConnected) {
    App();
    const QString name = QStringLiteral("nowhere");
    {
        const QDBusConnection nowhere =
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name);
        LogindPower power(nowhere);
        for (int countdown : {0, 60}) {
            try {
                power.ShutdownComputer(countdown);
                ADD_FAILURE() << "no error without a bus";
            } catch (const EOSError& e) {
                EXPECT_EQ(e.ErrorCode(), ENOTCONN) << e.what();
                EXPECT_NE(std::string(e.what()).find("org.freedesktop.DBus.Error.Disconnected"),
                          std::string::npos)
                    << e.what();
            }
        }
        EXPECT_THROW(power.ShutdownComputer(-1), EAssertionFailed);
    }
    QDBusConnection::disconnectFromBus(name);
}

TEST(LogindErrorTest, MapsTheErrorName) {
    for (const auto& [name, code] : {std::pair{"org.freedesktop.DBus.Error.AccessDenied", EACCES},
                                     {"org.freedesktop.DBus.Error.ServiceUnknown", ENOENT},
                                     {"org.freedesktop.DBus.Error.UnknownMethod", ENOSYS},
                                     {"org.freedesktop.DBus.Error.NoReply", ETIMEDOUT},
                                     {"org.freedesktop.login1.OperationInProgress", EBUSY},
                                     {"org.freedesktop.login1.SomethingNew", EIO},
                                     {"", EIO}}) {
        const EOSError e = LogindError("PowerOff", name, "why");
        EXPECT_EQ(e.ErrorCode(), code) << name;
        EXPECT_EQ(
            std::string(e.what()).rfind(
                "System Error.  Code: " + std::to_string(code) + ".\nlogind PowerOff: why", 0),
            0u)
            << e.what();
    }
}

}  // namespace
}  // namespace tw
