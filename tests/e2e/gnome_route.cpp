// End-to-end helper: the GNOME Shell route against the real shell and its
// extension, on the session bus of the environment.
//   tw_e2e_gnome_route focus        ID PID APP-ID XWAYLAND, or "none"
//   tw_e2e_gnome_route list         one such line per window
//   tw_e2e_gnome_route close ID     "true" or "false"
//   tw_e2e_gnome_route bench N      the median time of N focus reads, in ms
//   tw_e2e_gnome_route keyboard     holds a virtual keyboard of the shell,
//                                   presses Escape once (out of the overview
//                                   the shell starts in), says "ready" and
//                                   stays until ended by a signal
// Exit status 3 when the route does not open (the extension is not running).
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/linux/GnomeShellRoute.h"

namespace {

void Print(const tw::CompositorWindow& w) {
    std::printf("%llu %u %s %d\n", static_cast<unsigned long long>(w.id), w.pid, w.appId.c_str(),
                w.xwayland ? 1 : 0);
}

// A headless shell has no keyboard; a remote-desktop session adds one for
// as long as this process holds it.
int Keyboard() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.gnome.Mutter.RemoteDesktop");
    const QDBusMessage created = bus.call(
        QDBusMessage::createMethodCall(service, QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                                       service, QStringLiteral("CreateSession")));
    const QString path = created.arguments().value(0).value<QDBusObjectPath>().path();
    if (path.isEmpty()) {
        std::fprintf(stderr, "CreateSession: %s\n", qPrintable(created.errorMessage()));
        return 1;
    }
    const auto session = [&](const char* method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            service, path, service + QStringLiteral(".Session"), QString::fromLatin1(method));
        call.setArguments(arguments);
        const QDBusMessage reply = bus.call(call);
        if (reply.type() == QDBusMessage::ErrorMessage)
            std::fprintf(stderr, "%s: %s\n", method, qPrintable(reply.errorMessage()));
        return reply.type() == QDBusMessage::ReplyMessage;
    };
    constexpr uint kEscape = 0xff1b;
    if (!session("Start", {}) || !session("NotifyKeyboardKeysym", {kEscape, true}) ||
        !session("NotifyKeyboardKeysym", {kEscape, false}))
        return 1;
    std::puts("ready");
    std::fflush(stdout);
    pause();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "keyboard" && argc == 2)
        return Keyboard();
    const auto route = tw::GnomeShellRoute::Open(QDBusConnection::sessionBus());
    if (!route)
        return 3;
    if (command == "focus" && argc == 2) {
        if (const auto w = route->Focused())
            Print(*w);
        else
            std::puts("none");
    } else if (command == "list" && argc == 2) {
        for (const auto& w : route->Windows())
            Print(w);
    } else if (command == "close" && argc == 3) {
        std::puts(route->Close(std::strtoull(argv[2], nullptr, 10)) ? "true" : "false");
    } else if (command == "bench" && argc == 3) {
        const int n = std::max(1, std::atoi(argv[2]));
        std::vector<double> ms;
        for (int i = 0; i < n; ++i) {
            const auto start = std::chrono::steady_clock::now();
            if (!route->Focused())
                return 1;
            ms.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        std::nth_element(ms.begin(), ms.begin() + n / 2, ms.end());
        std::printf("%.3f\n", ms[size_t(n / 2)]);
    } else {
        std::fputs("usage: tw_e2e_gnome_route focus | list | close ID | bench N | keyboard\n",
                   stderr);
        return 2;
    }
    return 0;
}
