#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tw::test {

int RunWithFileSizeLimit(const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(work());
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

TempDir::TempDir(const std::string& parent) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (!parent.empty() ? parent : std::string(base && *base ? base : "/tmp")) +
                          "/tallyward-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern + "/";
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

CaseDeadline::CaseDeadline(std::chrono::seconds limit) {
    // Named now: the watchdog thread must not ask gtest while the case runs.
    std::string name = "(no test)";
    if (const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info())
        name = std::string(info->test_suite_name()) + "." + info->name();
    watchdog_ = std::thread([this, limit, name = std::move(name)] {
        std::unique_lock lock(mutex_);
        if (done_.wait_for(lock, limit, [this] { return finished_; }))
            return;
        std::fprintf(stderr, "%s: FAILED: still running after %lld s, a loop that never ends?\n",
                     name.c_str(), static_cast<long long>(limit.count()));
        std::fflush(stderr);
        std::_Exit(1);
    });
}

CaseDeadline::~CaseDeadline() {
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
    }
    done_.notify_one();
    watchdog_.join();
}

std::string CaseName(std::string_view text) {
    std::string name;
    bool gap = false;
    for (const char c : text) {
        const bool kept =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!kept) {
            gap = !name.empty();
            continue;
        }
        if (gap && name.back() != '_')
            name += '_';
        gap = false;
        name += c;
    }
    return name.empty() ? "Empty" : name;
}

std::string ReadFileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace tw::test
