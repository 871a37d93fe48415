// Checks the KWin route against a real KWin on the session bus, run by
// scripts/kwin-check.sh with two windows open: a native Wayland one and an
// X11 one. Runs without a Qt application object, as the probe does.
//
// Usage: tw_kwin_check WAYLAND_PID X11_PID (waits up to 30 s for both windows)
// Prints one line per check and the timings; exits 1 when a check failed.
#include <unistd.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/KWinRoute.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

int failures = 0;

void Check(bool ok, const std::string& what) {
    std::printf("%s %s\n", ok ? "PASS" : "FAIL", what.c_str());
    if (!ok)
        ++failures;
}

std::string Describe(const tw::CompositorWindow& w) {
    return "id=" + std::to_string(w.id) + " pid=" + std::to_string(w.pid) + " appId=" + w.appId +
           " xwayland=" + (w.xwayland ? "yes" : "no") + " title=\"" + w.title + "\"";
}

// Gives the focus to the window of `pid` the way a user's click would end
// up: a KWin script sets the active window.
class Switcher {
public:
    Switcher()
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("switcher"))) {}
    bool Activate(uint32_t pid) {
        const QString name =
            QStringLiteral("tallyward_check_switch%1_%2").arg(getpid()).arg(++count_);
        const QString path = dir_.filePath(name + QStringLiteral(".js"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QStringLiteral("const ws = workspace.clientList();\n"
                                  "for (let i = 0; i < ws.length; ++i)\n"
                                  "    if (ws[i].pid === %1)\n"
                                  "        workspace.activeClient = ws[i];\n")
                       .arg(pid)
                       .toUtf8());
        file.close();
        QDBusMessage load = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
            QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("loadScript"));
        load << path << name;
        const QDBusMessage loaded = bus_.call(load, QDBus::Block, 2000);
        if (loaded.type() != QDBusMessage::ReplyMessage)
            return false;
        const QDBusMessage ran =
            bus_.call(QDBusMessage::createMethodCall(
                          QStringLiteral("org.kde.KWin"),
                          QStringLiteral("/%1").arg(loaded.arguments().value(0).toInt()),
                          QStringLiteral("org.kde.kwin.Script"), QStringLiteral("run")),
                      QDBus::Block, 2000);
        last_ = name;
        return ran.type() == QDBusMessage::ReplyMessage;
    }
    // After the switch took effect: KWin read the file.
    void UnloadLast() {
        QDBusMessage unload = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
            QStringLiteral("org.kde.kwin.Scripting"), QStringLiteral("unloadScript"));
        unload << last_;
        bus_.call(unload, QDBus::Block, 2000);
    }

private:
    QDBusConnection bus_;
    QTemporaryDir dir_;
    QString last_;
    int count_ = 0;
};

// Polls the route's cached answer until it names `pid`; the time taken, or -1.
double WaitForFocus(tw::KWinRoute& route, uint32_t pid, Clock::time_point start) {
    while (Clock::now() - start < std::chrono::seconds(3)) {
        const auto focused = route.Focused();
        if (focused && focused->pid == pid)
            return Ms(Clock::now() - start);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WAYLAND_PID X11_PID\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const uint32_t pids[2] = {uint32_t(std::stoul(argv[1])), uint32_t(std::stoul(argv[2]))};

    // The windows take a moment to appear; a route of its own waits for them,
    // so the route measured below starts with its first Focused.
    if (auto waiting = tw::KWinRoute::Open()) {
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(30)) {
            const auto all = waiting->Windows();
            const auto has = [&](uint32_t pid) {
                return std::any_of(all.begin(), all.end(),
                                   [&](const auto& w) { return w.pid == pid; });
            };
            if (has(pids[0]) && has(pids[1]))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    const auto opening = Clock::now();
    std::unique_ptr<tw::KWinRoute> route = tw::KWinRoute::Open();
    std::printf("Open: %.1f ms\n", Ms(Clock::now() - opening));
    Check(route != nullptr, "the route opens");
    if (!route)
        return 1;
    const auto first = route->Focused();
    std::printf("initial focus: %s\n", first ? Describe(*first).c_str() : "none");
    Check(first && (first->pid == pids[0] || first->pid == pids[1]),
          "the first Focused names one of the two windows");

    Switcher switcher;
    std::vector<double> latencies;
    for (int i = 0; i < 10; ++i) {
        const uint32_t pid = pids[(i + 1) % 2];
        const auto start = Clock::now();
        const bool switched = switcher.Activate(pid);
        const double ms = switched ? WaitForFocus(*route, pid, start) : -1;
        switcher.UnloadLast();
        const auto focused = route->Focused();
        Check(ms >= 0 && focused && focused->xwayland == (pid == pids[1]),
              "switch " + std::to_string(i + 1) + " to pid " + std::to_string(pid) + ": " +
                  (focused ? Describe(*focused) : "none") + " after " + std::to_string(ms) + " ms");
        if (ms >= 0)
            latencies.push_back(ms);
    }
    std::printf("Focused after a switch (script load+run+report), median of %zu: %.2f ms\n",
                latencies.size(), Median(latencies));

    std::vector<double> rounds;
    std::vector<tw::CompositorWindow> windows;
    for (int i = 0; i < 20; ++i) {
        const auto start = Clock::now();
        windows = route->Windows();
        rounds.push_back(Ms(Clock::now() - start));
    }
    std::printf("Windows() round trip, median of 20: %.2f ms (max %.2f)\n", Median(rounds),
                *std::max_element(rounds.begin(), rounds.end()));
    for (const auto& w : windows)
        std::printf("  window: %s\n", Describe(w).c_str());
    const auto find = [&](uint32_t pid) {
        return std::find_if(windows.begin(), windows.end(),
                            [&](const auto& w) { return w.pid == pid; });
    };
    Check(windows.size() == 2 && find(pids[0]) != windows.end() && find(pids[1]) != windows.end(),
          "Windows lists exactly the two windows");
    if (find(pids[1]) == windows.end())
        return 1;
    const uint64_t xterm = find(pids[1])->id;

    Check(!route->Close(xterm + 1000), "Close of an id never handed out is refused");
    Check(route->Close(xterm), "Close of the X11 window is accepted");
    std::vector<tw::CompositorWindow> left;
    const auto closing = Clock::now();
    while (Clock::now() - closing < std::chrono::seconds(5)) {
        left = route->Windows();
        if (left.size() < 2)
            break;
    }
    Check(left.size() == 1 && left[0].pid == pids[0],
          "exactly the X11 window closed (" + std::to_string(left.size()) + " left)");
    Check(!route->Close(xterm), "Close of the closed window is refused");
    route.reset();
    std::printf("%s\n", failures ? "FAILED" : "ALL PASSED");
    return failures ? 1 : 0;
}
