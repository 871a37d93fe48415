// The discovery rules over the Linux sources, on this machine: fixture
// folders, real programs started by the test, and the installed entries.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "detection/AppDiscovery.h"
#include "platform/linux/LinuxDiscovery.h"
#include "support/TestSupport.h"

extern char** environ;

namespace tw {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// A program started by the test, stopped by its PID whatever happens.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd = 0; fd <= 2; ++fd)
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null",
                                             fd == 0 ? O_RDONLY : O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = 0;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t Pid() const { return pid_; }
    // What the foreground probe reads for this process.
    std::string ProbePath() const {
        char buffer[PATH_MAX];
        const ssize_t n =
            ::readlink(("/proc/" + std::to_string(pid_) + "/exe").c_str(), buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, size_t(n)) : std::string();
    }

private:
    pid_t pid_ = 0;
};

bool Contains(const Lines& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(AppDiscoveryLinuxTest, ProgramStartedThroughALinkIsFoundByEverySourceUnderTheProbePath) {
    test::TempDir dir;
    const std::string bin = dir.Path() + "bin/";
    fs::create_directories(bin);
    fs::create_symlink("/usr/bin/sleep", bin + "tw-sleeper");
    const std::string apps = dir.Path() + "applications/";
    fs::create_directories(apps);
    test::WriteFileText(apps + "tw-sleeper.desktop",
                        "[Desktop Entry]\nType=Application\nName=Sleeper\nExec=tw-sleeper 60 %U\n");
    LinuxDiscoveryConfig config;
    config.applicationFolders = {apps};
    config.searchPath = {bin};
    config.programFolders = {bin};
    LinuxDiscovery source(config);
    TAppDiscovery discovery(source);

    Child child({bin + "tw-sleeper", "60"});
    ASSERT_GT(child.Pid(), 0);
    const std::string probePath = child.ProbePath();
    ASSERT_EQ(probePath, fs::canonical("/usr/bin/sleep").string());
    const std::string expected = probePath + "=Sleeper";

    Lines fast;
    discovery.ScanStartMenuShortcuts(fast);
    EXPECT_EQ(fast, Lines{expected});

    Lines complete;
    int folders = 0;
    discovery.ScanProgramFolders(complete, [&folders] { return ++folders > 0; });
    EXPECT_EQ(complete, Lines{expected});

    Lines running;
    discovery.ProcessesExeNamesGet(discovery.GetLocalComputerName(), running);
    EXPECT_TRUE(Contains(running, expected)) << running.size() << " processes";
}

// The running programs come in the order of their paths, byte by byte (Linux
// paths keep their case), not in the order of whole "path=caption" lines: a
// path that begins another one comes first although "=" sorts after ".".
// Only the test's own programs are looked at; the machine runs what it runs.
TEST(AppDiscoveryLinuxTest, RunningProgramsComeInTheOrderOfTheirPaths) {
    test::TempDir dir;
    const std::string bin = fs::canonical(dir.Path()).string() + "/";
    const Lines names = {"tw-run.x", "tw-run", "Tw-run", "tw-run.x.y", "tw-run-2"};
    std::vector<std::unique_ptr<Child>> children;
    for (const std::string& name : names) {
        fs::copy_file("/usr/bin/sleep", bin + name);
        children.push_back(std::make_unique<Child>(Lines{bin + name, "60"}));
        ASSERT_GT(children.back()->Pid(), 0) << name;
        ASSERT_EQ(children.back()->ProbePath(), bin + name);
    }
    LinuxDiscovery source(LinuxDiscoveryConfig{});
    TAppDiscovery discovery(source);
    Lines running;
    discovery.ProcessesExeNamesGet(discovery.GetLocalComputerName(), running);
    Lines ours;
    for (const std::string& line : running) {
        if (line.starts_with(bin))
            ours.push_back(line.substr(bin.size(), line.find('=') - bin.size()));
    }
    EXPECT_EQ(ours, (Lines{"Tw-run", "tw-run", "tw-run-2", "tw-run.x", "tw-run.x.y"}));
}

TEST(AppDiscoveryLinuxTest, AFolderIsDroppedOnlyWhenItIsInsideAnother) {
    test::TempDir dir;
    // The second folder holds the first one's path, but not at its start.
    const std::string root = fs::canonical(dir.Path()).string();
    const std::string outer = root + "/b/";
    const std::string other = root + "/c" + outer;
    const std::string inner = outer + "inner/";
    for (const std::string& folder : {inner, other}) {
        fs::create_directories(folder);
        test::WriteFileText(folder + "prog", "#!/bin/sh\n");
        ::chmod((folder + "prog").c_str(), 0755);
    }
    LinuxDiscoveryConfig config;
    config.programFolders = {other, inner, outer};
    LinuxDiscovery source(config);
    TAppDiscovery discovery(source);
    EXPECT_EQ(discovery.ProgramFolderList(), (Lines{outer, other}));
    Lines lines;
    discovery.ScanProgramFolders(lines, nullptr);
    EXPECT_EQ(lines, (Lines{inner + "prog=prog", other + "prog=prog"}));
}

// The installed desktop applications of this machine, as the user's menus show them.
TEST(AppDiscoveryLinuxTest, FastScanListsTheInstalledApplications) {
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    TAppDiscovery discovery(source);
    Lines lines;
    discovery.ScanStartMenuShortcuts(lines);
    ASSERT_FALSE(lines.empty()) << "no desktop entries found";
    for (const std::string& line : lines) {
        const size_t eq = line.find('=');
        ASSERT_NE(eq, std::string::npos) << line;
        const std::string path = line.substr(0, eq);
        EXPECT_EQ(path, fs::canonical(path).string()) << line;
        EXPECT_EQ(::access(path.c_str(), X_OK), 0) << line;
        EXPECT_FALSE(line.substr(eq + 1).empty()) << line;
    }
    if (fs::exists("/usr/share/applications/debian-xterm.desktop") &&
        fs::exists("/usr/bin/xterm")) {
        EXPECT_TRUE(Contains(lines, fs::canonical("/usr/bin/xterm").string() + "=XTerm"));
    }
    // NoDisplay entries stay out of the menu.
    if (fs::exists("/usr/share/applications/openbox.desktop")) {
        EXPECT_FALSE(Contains(lines, fs::canonical("/usr/bin/openbox").string() + "=Openbox"));
    }
}

// vim is installed behind the alternatives links (/usr/bin/vim -> /etc/alternatives/vim ->
// /usr/bin/vim.basic), as browsers are: the menu's entry and the running editor must agree.
TEST(AppDiscoveryLinuxTest, InstalledEditorStartedByItsMenuNameIsFoundRunning) {
    if (!fs::exists("/usr/share/applications/vim.desktop") || !fs::exists("/usr/bin/vim"))
        GTEST_SKIP() << "vim is not installed";
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    TAppDiscovery discovery(source);
    Lines menu;
    discovery.ScanStartMenuShortcuts(menu);

    Child vim({"/usr/bin/vim", "-es", "-u", "NONE", "-N", "-c", "sleep 60", "-c", "qa!"});
    ASSERT_GT(vim.Pid(), 0);
    const std::string probePath = vim.ProbePath();
    EXPECT_TRUE(Contains(menu, probePath + "=Vim")) << probePath;
    Lines running;
    discovery.ProcessesExeNamesGet(discovery.GetLocalComputerName(), running);
    EXPECT_TRUE(Contains(running, probePath + "=Vim")) << probePath;
    EXPECT_EQ(discovery.GetExeDisplayName(probePath), "Vim");
}

}  // namespace
}  // namespace tw
