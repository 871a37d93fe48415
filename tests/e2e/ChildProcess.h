#pragma once

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// X clients, tools and window managers that tests and benchmarks start on a
// display of their own, each stopped by its PID. Every wait is a poll with a
// deadline that holds on a fully loaded machine.
namespace tw::test {

// Polls `condition` every `sliceMs` until it holds or `timeout` has passed;
// answers whether it held.
inline bool PollUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout,
                      int sliceMs = 50) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, sliceMs);
    }
}

namespace detail {

// In the child after fork: DISPLAY, quiet output, the end of the parent
// ends it too; then the program, found on PATH.
[[noreturn]] inline void ExecOnDisplay(const std::string& display,
                                       std::vector<std::string>& arguments) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    ::setenv("DISPLAY", display.c_str(), 1);
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
    }
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace detail

// A program running on `display` until it ends or the object goes; then it
// is terminated by its PID, and killed when it does not end in five seconds.
class ChildProcess {
public:
    ChildProcess(std::vector<std::string> arguments, const std::string& display) {
        pid_ = ::fork();
        if (pid_ == 0)
            detail::ExecOnDisplay(display, arguments);
    }
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // -1 when it could not be started.
    pid_t Pid() const noexcept { return pid_; }

    // Reaps it when it has ended.
    bool Running() {
        if (pid_ <= 0 || reaped_)
            return false;
        if (::waitpid(pid_, &status_, WNOHANG) == pid_)
            reaped_ = true;
        return !reaped_;
    }
    // The wait status once it ended by itself (or was stopped).
    int Status() const noexcept { return status_; }

    void Stop() {
        if (!Running())
            return;
        ::kill(pid_, SIGTERM);
        if (!PollUntil([this] { return !Running(); }, std::chrono::seconds(5), 10)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
            reaped_ = true;
        }
    }

private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

// Runs a tool (xdotool, ...) on `display` and answers whether it exited with
// 0 within `timeoutMs`; it is killed after that. Its end shows as the end of
// a pipe it holds open, so nothing sleeps.
inline bool RunTool(const std::string& display, std::vector<std::string> arguments,
                    int timeoutMs = 60000) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::fcntl(fds[1], F_SETFD, 0);  // held open by the tool until it ends
        detail::ExecOnDisplay(display, arguments);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fds[0], POLLIN, 0};
        const int n = ::poll(&p, 1, int(std::max<long long>(0, left.count())));
        if (n < 0 && errno == EINTR)
            continue;
        ended = n == 1;
        break;
    }
    ::close(fds[0]);
    if (!ended)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// openbox on `display`, once `announced` (the manager's check window on the
// root) says it runs; null when it did not within `timeout`. One that could
// not reach the display yet and ended is started again.
inline std::unique_ptr<ChildProcess> StartOpenbox(const std::string& display,
                                                  const std::function<bool()>& announced,
                                                  std::chrono::milliseconds timeout) {
    auto manager = std::make_unique<ChildProcess>(
        std::vector<std::string>{"openbox", "--sm-disable"}, display);
    const bool up = PollUntil(
        [&] {
            if (!manager->Running()) {
                manager = std::make_unique<ChildProcess>(
                    std::vector<std::string>{"openbox", "--sm-disable"}, display);
                return false;
            }
            return announced();
        },
        timeout);
    if (!up)
        manager.reset();
    return manager;
}

}  // namespace tw::test
