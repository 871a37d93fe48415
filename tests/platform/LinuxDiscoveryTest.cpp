#include "platform/linux/LinuxDiscovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

std::string Real(const std::string& path) {
    return fs::canonical(path).string();
}

void MakeProgram(const std::string& path, mode_t mode = 0755) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteFileText(path, "#!/bin/sh\nexit 0\n");
    ::chmod(path.c_str(), mode);
}

void WriteDesktop(const std::string& path, const std::string& body) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteFileText(path, "# written by the test\n[Desktop Entry]\n" + body);
}

// The first word, unquoted, without field codes.
TEST(ExecProgramTest, FindsTheProgram) {
    const std::pair<const char*, const char*> cases[] = {
        {"vim %F", "vim"},
        {"\"/opt/My App/bin/app\" --new-window %U", "/opt/My App/bin/app"},
        {"\"/opt/a\\\\b/c\\\"d\\$e\" %f", "/opt/a\\b/c\"d$e"},
        {"env GDK_BACKEND=x11 -u LANG  firefox %u", "firefox"},
        {"/usr/bin/env A=1 app", "app"},
        {"%U", ""},
        {"100%%prog --x", "100%prog"},
        {"   spaced\targs", "spaced"},
    };
    for (const auto& [exec, program] : cases)
        EXPECT_EQ(LinuxDiscovery::ExecProgram(exec), program) << exec;
}

class LinuxDiscoveryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string t = dir.Path();
        bin = t + "bin/";
        user = t + "user/applications/";
        system = t + "system/applications/";
        MakeProgram(bin + "realapp");
        MakeProgram(t + "lib/real-2");
        fs::create_symlink(t + "lib/real-2", bin + "linkapp");
        MakeProgram(t + "opt/My App/app");
        MakeProgram(bin + "plainfile", 0644);
        MakeProgram(bin + "hiddenapp");
        MakeProgram(bin + "quietapp");

        WriteDesktop(system + "a.desktop",
                     "Type=Application\nName=Real App\nName[de]=Echte App\nName[de_AT]=Ösi "
                     "App\nGenericName=Editor\nComment=Edits\\sthings\nExec=realapp %U\n"
                     "[Desktop Action New]\nName=New Window\nExec=other\n");
        WriteDesktop(system + "b.desktop",
                     "Type=Application\nName=Spaced\nExec=\"" + t + "opt/My App/app\" %f\n");
        WriteDesktop(system + "c.desktop",
                     "Type=Application\nName=Quiet\nExec=quietapp\n"
                     "NoDisplay=true\n");
        WriteDesktop(system + "d.desktop", "Type=Link\nName=Web\nURL=https://example.com/\n");
        WriteDesktop(system + "e.desktop", "Type=Application\nName=Linked\nExec=linkapp\n");
        WriteDesktop(system + "f.desktop", "Type=Application\nName=Gone\nExec=missingprog\n");
        WriteDesktop(system + "g.desktop",
                     "Type=Application\nName=Try\nTryExec=missingprog\nExec=realapp\n");
        WriteDesktop(system + "h.desktop", "Type=Application\nName=Plain\nExec=plainfile\n");
        WriteDesktop(system + "shadow.desktop", "Type=Application\nName=Shadow\nExec=hiddenapp\n");
        WriteDesktop(user + "shadow.desktop", "Type=Application\nName=Shadow\nHidden=true\n");
        WriteDesktop(system + "kde/sub.desktop", "Type=Application\nExec=" + bin + "realapp\n");
        test::WriteFileText(system + "notes.txt", "not an entry");

        config.applicationFolders = {user, system, t + "missing/applications/"};
        config.searchPath = {t + "nothing-here", bin};
        config.programFolders = {bin, t + "missing", t + "binlink"};
        fs::create_directory_symlink(bin, t + "binlink");
    }

    test::TempDir dir;
    std::string bin, user, system;
    LinuxDiscoveryConfig config;
};

TEST_F(LinuxDiscoveryFixture, StartMenuIsTheShownApplicationEntries) {
    LinuxDiscovery source(config);
    Lines files = source.StartMenuFiles();
    std::sort(files.begin(), files.end());
    // Hidden, NoDisplay, links, a missing TryExec and a Hidden copy of the user's are left out.
    EXPECT_EQ(files,
              (Lines{system + "a.desktop", system + "b.desktop", system + "e.desktop",
                     system + "f.desktop", system + "h.desktop", system + "kde/sub.desktop"}));
    const auto target = [&](const std::string& file) {
        const ShortcutTarget s = source.ResolveShortcut(file);
        return s.target + "=" + s.caption;
    };
    EXPECT_EQ(target(system + "a.desktop"), Real(bin + "realapp") + "=Real App");
    EXPECT_EQ(target(system + "b.desktop"), Real(dir.Path() + "opt/My App/app") + "=Spaced");
    EXPECT_EQ(target(system + "e.desktop"), Real(dir.Path() + "lib/real-2") + "=Linked");
    EXPECT_EQ(target(system + "f.desktop"), "=Gone");
    EXPECT_EQ(target(system + "h.desktop"), "=Plain");
    EXPECT_EQ(target(system + "kde/sub.desktop"), Real(bin + "realapp") + "=");
    EXPECT_TRUE(source.IsShortcutFile(system + "a.desktop"));
    EXPECT_FALSE(source.IsShortcutFile(system + "notes.txt"));
}

TEST_F(LinuxDiscoveryFixture, CaptionFollowsTheMessagesLocale) {
    config.messagesLocale = "de_DE.UTF-8";
    LinuxDiscovery german(config);
    german.StartMenuFiles();
    EXPECT_EQ(german.ResolveShortcut(system + "a.desktop").caption, "Echte App");
    config.messagesLocale = "de_AT@euro";
    LinuxDiscovery austrian(config);
    EXPECT_EQ(austrian.ResolveShortcut(system + "a.desktop").caption, "Ösi App");
    config.messagesLocale = "C";
    LinuxDiscovery plain(config);
    EXPECT_EQ(plain.ResolveShortcut(system + "a.desktop").caption, "Real App");
}

TEST_F(LinuxDiscoveryFixture, VersionStringsComeFromTheEntryThatStartsTheProgram) {
    LinuxDiscovery source(config);
    const auto query = [&](const std::string& program, const std::string& key) {
        std::unique_ptr<VersionResource> r = source.ReadVersionResource(Real(program));
        if (!r)
            return std::string("<none>");
        const auto t = r->Translation();
        EXPECT_TRUE(t && t->first == 0 && t->second == 0xFDE9);
        return r->QueryString("StringFileInfo\\0000FDE9\\" + key).value_or("<absent>");
    };
    EXPECT_EQ(query(bin + "realapp", "FileDescription"), "Real App");
    EXPECT_EQ(query(bin + "realapp", "ProductName"), "Editor");
    EXPECT_EQ(query(bin + "realapp", "Comments"), "Edits things");
    EXPECT_EQ(query(bin + "realapp", "CompanyName"), "<absent>");
    EXPECT_EQ(query(bin + "quietapp", "FileDescription"), "Quiet");  // NoDisplay still names it
    EXPECT_EQ(query(bin + "hiddenapp", "FileDescription"), "<none>");
    EXPECT_NE(source.ReadVersionResource(bin + "linkapp"), nullptr);  // a link to a named program
    EXPECT_EQ(source.LanguageName(0), "Language Neutral");
}

TEST_F(LinuxDiscoveryFixture, FoldersListProgramsByRealPathAndEnterOnlyRealFolders) {
    fs::create_directories(bin + "sub");
    fs::create_directories(bin + ".cache");
    fs::create_directory_symlink(bin + "sub", bin + "sublink");
    fs::create_symlink(bin + "nowhere", bin + "dangling");
    LinuxDiscovery source(config);
    const std::vector<FolderEntry> entries = source.ListFolder(bin);
    Lines seen;
    for (const FolderEntry& e : entries) {
        seen.push_back(e.name + " " + std::to_string(e.attributes) + " " +
                       (e.program ? e.path : "-"));
    }
    const std::string realBin = Real(bin) + "/";
    EXPECT_EQ(seen, (Lines{".cache 18 -", "dangling 1024 -", "hiddenapp 0 " + realBin + "hiddenapp",
                           "linkapp 1024 " + Real(dir.Path() + "lib/real-2"), "plainfile 0 -",
                           "quietapp 0 " + realBin + "quietapp", "realapp 0 " + realBin + "realapp",
                           "sub 16 -", "sublink 1040 -"}));
    // Missing folders are left out and a linked folder is the folder it names.
    const ProgramFilesResult folders = source.ProgramFilesFolders(source.ComputerName());
    EXPECT_EQ(folders.status, ProgramFilesResult::Status::Ok);
    EXPECT_EQ(folders.folders, Lines{realBin});
    EXPECT_TRUE(source.IsProgramFile(bin + "linkapp"));
    EXPECT_FALSE(source.IsProgramFile(bin + "plainfile"));
    EXPECT_FALSE(source.IsProgramFile(bin + "sub"));
}

TEST(LinuxDiscoveryTest, OwnProcessIsListedUnderItsProgramFile) {
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    const std::string self = std::to_string(::getpid());
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe);
    ASSERT_GT(n, 0);
    bool found = false;
    source.QueryProcesses(source.ComputerName(), "SELECT ExecutablePath FROM Win32_Process",
                          [&](const ProcessRecord& p) {
                              if (p.properties.size() == 2 && p.properties[1].second == self) {
                                  found = true;
                                  EXPECT_EQ(p.owner, source.CurrentUserName());
                                  EXPECT_EQ(p.properties[0].first, "ExecutablePath");
                                  EXPECT_EQ(p.properties[0].second, std::string(exe, size_t(n)));
                              }
                          });
    EXPECT_TRUE(found);
    EXPECT_THROW(source.QueryProcesses("another-host.invalid", "", [](const ProcessRecord&) {}),
                 Exception);
}

}  // namespace
}  // namespace tw
