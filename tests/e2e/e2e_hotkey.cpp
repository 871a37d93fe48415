// The X11 Alt hot key on a private Xvfb, with the keys typed by xdotool
// through the server's test extension, as a keyboard would.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

#include "e2e/ChildProcess.h"
#include "e2e/XvfbServer.h"
#include "platform/linux/X11Hotkey.h"

namespace tw {
namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "e2e_hotkey";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

bool Xdotool(const std::string& display, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "xdotool");
    return test::RunTool(display, std::move(arguments));
}

TEST(HotkeyE2eTest, AltAloneTapsAndAltTabDoesNot) {
    App();
    test::XvfbServer server;
    if (server.Display().empty())
        GTEST_SKIP() << "Xvfb could not be started";
    X11HotkeySource source(server.Display());
    int taps = 0;
    QEventLoop waiting;
    ASSERT_TRUE(source.Start([&] {
        ++taps;
        waiting.quit();
    }));

    ASSERT_TRUE(Xdotool(server.Display(), {"key", "alt"}));
    // The tap comes through the socket notifier, as in the program.
    QTimer::singleShot(60000, &waiting, &QEventLoop::quit);
    waiting.exec();
    EXPECT_EQ(taps, 1);
    // Everything the server has sent is handled after a round trip: still one.
    source.Sync();
    EXPECT_EQ(taps, 1);

    ASSERT_TRUE(Xdotool(server.Display(), {"key", "alt+Tab"}));
    source.Sync();
    EXPECT_EQ(taps, 1);
    ASSERT_TRUE(Xdotool(server.Display(), {"key", "alt", "alt"}));
    source.Sync();
    EXPECT_EQ(taps, 3);
}

}  // namespace
}  // namespace tw
