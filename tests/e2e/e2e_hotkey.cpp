// The X11 Alt hot key on a private Xvfb, with the keys typed by xdotool
// through the server's test extension, as a keyboard would.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <string>
#include <vector>

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

// Runs xdotool on `display` and answers whether it succeeded within ten
// seconds; it is killed after that. Its end shows as the end of a pipe it
// holds open, so nothing sleeps.
bool Xdotool(const std::string& display, std::vector<std::string> arguments) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::fcntl(fds[1], F_SETFD, 0);  // held open by xdotool until it ends
        ::setenv("DISPLAY", display.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>("xdotool")};
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp("xdotool", argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return false;
    }
    pollfd p{fds[0], POLLIN, 0};
    const bool ended = ::poll(&p, 1, 10000) == 1;
    ::close(fds[0]);
    if (!ended)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
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
    QTimer::singleShot(10000, &waiting, &QEventLoop::quit);
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
