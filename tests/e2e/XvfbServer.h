#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// A private X server for tests and benchmarks: Xvfb on a display number it
// picks itself (-displayfd), stopped by its PID when the object goes.
namespace tw::test {

class XvfbServer {
public:
    explicit XvfbServer(int startTimeoutMs = 60000) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            // A test or benchmark that crashes must not leave its server behind.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            // The child keeps only the write end, by number, for -displayfd.
            const int fd = ::dup(fds[1]);
            const std::string fdText = std::to_string(fd);
            const int devNull = ::open("/dev/null", O_WRONLY);
            if (devNull >= 0) {
                ::dup2(devNull, 1);
                ::dup2(devNull, 2);
            }
            ::execlp("Xvfb", "Xvfb", "-displayfd", fdText.c_str(), "-nolisten", "tcp", "-screen",
                     "0", "1280x1024x24", "-noreset", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        if (pid_ < 0) {
            ::close(fds[0]);
            return;
        }
        // Xvfb writes the display number and a newline once it accepts clients.
        std::string number;
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(startTimeoutMs);
        while (number.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, int(left.count())) <= 0)
                break;
            char buffer[32];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0)
                break;
            number.append(buffer, size_t(n));
        }
        ::close(fds[0]);
        if (number.find('\n') == std::string::npos) {
            Stop();
            return;
        }
        // Appended rather than ":" + substr: GCC 12 warns falsely (-Wrestrict) on that at -O2.
        display_.assign(1, ':').append(number, 0, number.find('\n'));
    }
    ~XvfbServer() { Stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // Empty when the server did not start.
    const std::string& Display() const noexcept { return display_; }
    pid_t Pid() const noexcept { return pid_; }

    // Terminates the server and waits for it, killing it after a bounded wait.
    void Stop() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace tw::test
