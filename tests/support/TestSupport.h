#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tw::test {

// A fresh folder under `parent` (by default $TMPDIR), removed with
// everything in it at the end.
class TempDir {
public:
    explicit TempDir(const std::string& parent = {});
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Ends with a separator.
    const std::string& Path() const noexcept { return path_; }

private:
    std::string path_;
};

// A watchdog for code that may loop forever (a walk whose loop guard broke):
// if the scope is still open after `limit`, it names the running case on
// stderr and ends the test program, so the case fails in seconds instead of
// holding the run until the test runner's own time-out.
class CaseDeadline {
public:
    explicit CaseDeadline(std::chrono::seconds limit);
    ~CaseDeadline();
    CaseDeadline(const CaseDeadline&) = delete;
    CaseDeadline& operator=(const CaseDeadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::thread watchdog_;
};

// A valid name for a case of a parameterised test, from any text: letters,
// digits and "_" stay, every other run of characters becomes one "_" at most
// ("24:00" gives "24_00", "bad_depth.png" "bad_depth_png"); no text gives
// "Empty".
std::string CaseName(std::string_view text);

// Runs `work` in a child process whose files cannot grow past 4 KiB (a full
// disk, as a write sees it) and answers the child's exit status, or -1 when
// it did not exit by itself.
int RunWithFileSizeLimit(const std::function<int()>& work);

std::string ReadFileText(const std::string& path);
void WriteFileText(const std::string& path, const std::string& text);

}  // namespace tw::test
