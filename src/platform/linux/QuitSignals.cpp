#include "platform/linux/QuitSignals.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <string>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "base/Exceptions.h"

namespace tw {

namespace {

// Written by the handler, read on the user-interface thread.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[0], &byte, 1);
    errno = saved;
}

}  // namespace

bool QuitOnTerminationSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gSignalPipe) != 0) {
        std::fprintf(stderr, "Cannot follow the termination signals: %s\n",
                     SysErrorMessage(errno).c_str());
        return false;
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}

void FollowTerminationSignals(std::function<void()> end) {
    auto* notifier =
        new QSocketNotifier(gSignalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [end = std::move(end)] {
        char buffer[16];
        while (::read(gSignalPipe[1], buffer, sizeof buffer) > 0) {
        }
        if (end)
            end();
        else
            // exit, not quit: quit asks the windows first, and the panel only hides.
            QCoreApplication::exit(0);
    });
}

}  // namespace tw
