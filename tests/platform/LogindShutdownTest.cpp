#include "platform/linux/LogindShutdown.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <functional>

#include "platform/LogindTestBus.h"

// logind's shutdown notice from a logind of the test's own on a private bus.
namespace tw {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "LogindShutdownTest";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Counts notices; Wait runs the event loop until `want` are in, or ten seconds.
class Counter {
public:
    std::function<void()> Callback() {
        return [this] {
            ++count;
            if (loop_ && count >= want_)
                loop_->quit();
        };
    }
    bool Wait(int want) {
        if (count < want) {
            QEventLoop loop;
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop_ = &loop;
            want_ = want;
            loop.exec();
            loop_ = nullptr;
        }
        return count >= want;
    }

    int count = 0;

private:
    QEventLoop* loop_ = nullptr;
    int want_ = 0;
};

// A cancelled shutdown is no notice; a started one is, once; after Stop,
// none arrives (a second listener, started then, shows the signal came).
TEST(LogindShutdownTest, EndsOnAStartingShutdownOnlyWhileFollowing) {
    App();
    test::LogindTestBus bus;
    if (!bus.BusRunning())
        GTEST_SKIP() << "dbus-daemon could not be started";
    ASSERT_EQ(bus.Start(), "");
    const auto prepare = [&](bool starting) {
        return bus.Emit(test::kLogindManagerPath, "org.freedesktop.login1.Manager",
                        "PrepareForShutdown", {starting});
    };

    LogindShutdown shutdown(bus.Client());
    Counter notices;
    ASSERT_TRUE(shutdown.Start(notices.Callback()));
    ASSERT_TRUE(prepare(false));
    ASSERT_TRUE(prepare(true));
    ASSERT_TRUE(notices.Wait(1));
    EXPECT_EQ(notices.count, 1) << "the cancel counted as a notice";

    shutdown.Stop();
    LogindShutdown witness(bus.Client());
    Counter witnessed;
    ASSERT_TRUE(witness.Start(witnessed.Callback()));
    ASSERT_TRUE(prepare(true));
    ASSERT_TRUE(witnessed.Wait(1));
    EXPECT_EQ(notices.count, 1) << "a notice after Stop";
}

}  // namespace
}  // namespace tw
