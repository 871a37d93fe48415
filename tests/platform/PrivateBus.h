#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QString>
#include <string>

namespace tw::test {

// A dbus-daemon of the test's own, ended by its process id. Tests talk to
// their fake services over it and never reach the system or session bus.
class PrivateBus {
public:
    PrivateBus() {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            // The bus goes with the test even when the test dies, and keeps quiet.
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
            const std::string fd = "--print-address=" + std::to_string(fds[1]);
            execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", fd.c_str(),
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buffer[512];
        ssize_t n;
        while (address_.find('\n') == std::string::npos &&
               (n = read(fds[0], buffer, sizeof buffer)) > 0)
            address_.append(buffer, size_t(n));
        close(fds[0]);
        address_ = address_.substr(0, address_.find('\n'));
    }
    ~PrivateBus() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    // Empty when the daemon could not be started.
    QString Address() const { return QString::fromStdString(address_); }

private:
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace tw::test
