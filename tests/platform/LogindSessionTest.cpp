#include "platform/linux/LogindSession.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>

#include "base/WriteLog.h"
#include "platform/LogindTestBus.h"
#include "support/TestSupport.h"

// A logind and two screen savers of the test's own on a private bus, which
// plays both the system and the session bus.
namespace tw {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "LogindSessionTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// One letter per notification: S suspending, R resumed, D deactivated, A activated.
class Recorder final : public SessionObserver {
public:
    void SystemSuspending() override { Add('S'); }
    void SystemResumed() override { Add('R'); }
    void SessionDeactivated() override { Add('D'); }
    void SessionActivated() override { Add('A'); }

    // Runs the event loop until `count` letters are in, or ten seconds.
    bool WaitFor(size_t count) {
        if (text.size() < count) {
            QEventLoop loop;
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop_ = &loop;
            want_ = count;
            loop.exec();
            loop_ = nullptr;
        }
        return text.size() >= count;
    }

    std::string text;

private:
    void Add(char letter) {
        text += letter;
        if (loop_ && text.size() >= want_)
            loop_->quit();
    }
    QEventLoop* loop_ = nullptr;
    size_t want_ = 0;
};

class LogindSessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        SetLogFileName(dir_.Path() + "log.txt");
        qunsetenv("XDG_SESSION_ID");
        if (!bus_.BusRunning())
            GTEST_SKIP() << "dbus-daemon could not be started";
        const std::string failure = bus_.Start();
        ASSERT_EQ(failure, "");
    }
    void TearDown() override { SetLogFileName(""); }

    void Emit(const QString& path, const char* interface, const char* name,
              const QVariantList& arguments) {
        ASSERT_TRUE(bus_.Emit(path, interface, name, arguments));
    }
    void SessionChanged(const QVariantMap& changed) { ASSERT_TRUE(bus_.SessionChanged(changed)); }
    void Sleep(bool starting) { ASSERT_TRUE(bus_.PrepareForSleep(starting)); }
    void ScreenSaver(const char* path, const char* interface, bool active) {
        ASSERT_TRUE(bus_.ScreenSaver(path, interface, active));
    }
    std::string Log() { return test::ReadFileText(dir_.Path() + "log.txt"); }

    test::TempDir dir_;
    test::LogindTestBus bus_;
    test::FakeLogind& logind_ = bus_.Logind();
    const QDBusConnection& client() const { return bus_.Client(); }
};

TEST_F(LogindSessionTest, FollowsSleepLockAndScreenSavers) {
    logind_.Set(true, true);
    LogindSession notifier(client(), client());
    Recorder events;
    ASSERT_TRUE(notifier.Register(events));
    // Started in a locked session: inactive at once.
    EXPECT_EQ(events.text, "D");
    EXPECT_EQ(logind_.Methods(), "GetSessionByPID GetAll");

    // Signals arrive in the order sent: the letter at the end of a line is
    // what it must deliver, and lines without one must deliver nothing.
    SessionChanged({{QStringLiteral("LockedHint"), false}});                           // A
    Sleep(true);                                                                       // S
    Sleep(false);                                                                      // R
    ScreenSaver("/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver", true);  // D
    ScreenSaver("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", true);
    // logind unlocked and active, and the freedesktop saver off: GNOME's is still on.
    SessionChanged({{QStringLiteral("LockedHint"), true}});
    SessionChanged({{QStringLiteral("LockedHint"), false}, {QStringLiteral("Active"), true}});
    // A request to the locker, not the state.
    Emit(test::kLogindSessionPath, "org.freedesktop.login1.Session", "Unlock", {});
    ScreenSaver("/ScreenSaver", "org.freedesktop.ScreenSaver", false);
    Sleep(true);                                                            // S
    ScreenSaver("/org/gnome/ScreenSaver", "org.gnome.ScreenSaver", false);  // A
    // Another session in front, and back.
    SessionChanged({{QStringLiteral("Active"), false}});  // D
    SessionChanged({{QStringLiteral("Active"), true}});   // A
    Sleep(false);                                         // R
    EXPECT_TRUE(events.WaitFor(10));
    EXPECT_EQ(events.text, "DASRDSADAR");
    EXPECT_EQ(Log(), "");
}

TEST_F(LogindSessionTest, FindsTheSessionByItsIdElseByTheProcess) {
    const struct {
        const char* id;
        bool knowsProcess;
        const char* methods;
        const char* logged;
    } cases[] = {
        {"c2", true, "GetSession GetAll", ""},
        {"c9", true, "GetSession GetSessionByPID GetAll", ""},
        {nullptr, true, "GetSessionByPID GetAll", ""},
        {nullptr, false, "GetSessionByPID",
         "LogindSession.Register: logind: no session of this process: No such session "
         "(org.freedesktop.login1.NoSuchSession).\n"},
    };
    for (const auto& c : cases) {
        if (c.id)
            qputenv("XDG_SESSION_ID", c.id);
        else
            qunsetenv("XDG_SESSION_ID");
        logind_.Set(true, c.knowsProcess);
        test::WriteFileText(dir_.Path() + "log.txt", "");
        LogindSession notifier(client(), client());
        Recorder events;
        // The screen savers are still followed without logind.
        EXPECT_TRUE(notifier.Register(events));
        EXPECT_EQ(logind_.Methods(), c.methods) << c.methods;
        EXPECT_EQ(events.text, *c.logged ? "" : "D") << c.methods;
        const std::string log = Log();
        EXPECT_EQ(log.substr(std::min(log.size(), size_t(20))), c.logged);
    }
}

TEST(LogindSessionNoBusTest, WithoutBusesOneLineAndNoNotifications) {
    App();
    test::TempDir dir;
    SetLogFileName(dir.Path() + "log.txt");
    {
        const QString name = QStringLiteral("nowhere");
        const QDBusConnection nowhere =
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"), name);
        LogindSession notifier(nowhere, nowhere);
        Recorder events;
        EXPECT_FALSE(notifier.Register(events));
        notifier.Unregister();
        QDBusConnection::disconnectFromBus(name);
    }
    const std::string log = test::ReadFileText(dir.Path() + "log.txt");
    SetLogFileName("");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_NE(log.find("LogindSession.Register: logind: the system bus is not available. Screen "
                       "savers: the session bus is not available."),
              std::string::npos)
        << log;
}

}  // namespace
}  // namespace tw
