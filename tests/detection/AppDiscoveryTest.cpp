#include "detection/AppDiscovery.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "detection/LogCapture.h"
#include "platform/fake/FakeDiscovery.h"

namespace tw {
namespace {

using Lines = std::vector<std::string>;

const std::string kCommon = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\";
const std::string kUser =
    "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\";
const std::string kCache =
    "C:\\WINDOWS\\Installer\\{9A3F1C2B-0000-4C1D-8E2F-1234567890AB}\\app.exe";

// A shortcut file: some header bytes, then `count` and the UTF-16 text.
std::vector<uint8_t> LinkBytes(const std::string& relative, std::optional<uint16_t> count = {},
                               size_t trailing = 16) {
    std::vector<uint8_t> bytes(40, 0x4C);
    const uint16_t n = count.value_or(uint16_t(relative.size()));
    bytes.push_back(uint8_t(n & 0xFF));
    bytes.push_back(uint8_t(n >> 8));
    for (char c : relative) {
        bytes.push_back(uint8_t(c));
        bytes.push_back(0);
    }
    bytes.insert(bytes.end(), trailing, 0);
    return bytes;
}

// ---- Fast scan ----

TEST(ScanStartMenuShortcutsTest, ListsProgramsOfBothMenusAndSkipsInstallers) {
    FakeDiscovery fake;
    fake.AddShortcut(kCommon + "Foo\\Foo.lnk", "C:\\Games\\Foo\\foo.exe");
    fake.AddShortcut(kCommon + "Foo\\Foo Editor.lnk", "C:\\Games\\Foo\\foo.exe");
    fake.AddShortcut(kCommon + "Foo\\Uninstall Foo.lnk", "C:\\Games\\Foo\\unins000.exe");
    fake.AddShortcut(kCommon + "Foo\\Setup Foo.lnk", "C:\\Games\\Foo\\Setup.exe");
    fake.AddShortcut(kCommon + "Foo\\Manual.lnk", "C:\\Games\\Foo\\manual.pdf");
    fake.AddStartMenuFile(kCommon + "Foo\\desktop.ini");
    fake.AddShortcut(kUser + "Bar.LNK", "D:\\Bar\\BAR.EXE");
    // The same file twice, as both menus may report it.
    fake.AddShortcut(kUser + "bar.lnk", "D:\\Bar\\BAR.EXE");
    TAppDiscovery discovery(fake);
    Lines lines = {"kept=Kept"};
    discovery.ScanStartMenuShortcuts(lines);
    EXPECT_EQ(lines, (Lines{"kept=Kept", "C:\\Games\\Foo\\foo.exe=Foo Editor",
                            "C:\\Games\\Foo\\foo.exe=Foo", "D:\\Bar\\BAR.EXE=Bar"}));
}

struct CacheCase {
    const char* name;
    std::vector<uint8_t> bytes;
    std::optional<std::string> expected;  // nullopt: the shortcut gives no line
};

void PrintTo(const CacheCase& c, std::ostream* out) {
    *out << c.name;
}

class InstallerCacheTest : public ::testing::TestWithParam<CacheCase> {};

TEST_P(InstallerCacheTest, RelativePathInTheShortcutFileIsTheTarget) {
    const CacheCase& c = GetParam();
    FakeDiscovery fake;
    fake.AddShortcut(kCommon + "Foo\\Foo.lnk", kCache, c.bytes);
    TAppDiscovery discovery(fake);
    Lines lines;
    discovery.ScanStartMenuShortcuts(lines);
    if (c.expected) {
        EXPECT_EQ(lines, Lines{*c.expected + "=Foo"});
    } else {
        EXPECT_TRUE(lines.empty()) << lines.front();
    }
}

const std::string kRelative = "..\\..\\..\\..\\..\\..\\Games\\Foo\\foo.exe";

std::vector<uint8_t> TwoHits() {
    // The first hit decides, even when its count is unusable.
    std::vector<uint8_t> bytes = LinkBytes("..\\.x", uint16_t(0x7FFF), 0);
    const std::vector<uint8_t> good = LinkBytes(kRelative);
    bytes.insert(bytes.end(), good.begin(), good.end());
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, InstallerCacheTest,
    ::testing::Values(
        CacheCase{"Resolved", LinkBytes(kRelative), "C:\\Games\\Foo\\foo.exe"},
        CacheCase{"DotFolderDropped", LinkBytes("..\\.\\Tools\\t.exe"), kCommon + "Tools\\t.exe"},
        CacheCase{"NoRelativePath", std::vector<uint8_t>(64, 0x41), std::nullopt},
        CacheCase{"CountPastTheEnd", LinkBytes(kRelative, uint16_t(kRelative.size() + 9), 0),
                  std::nullopt},
        CacheCase{"FirstHitDecides", TwoHits(), std::nullopt},
        CacheCase{"ShortFile", {0x2E, 0, 0x2E, 0, 0x5C, 0, 0x2E, 0}, std::nullopt},
        CacheCase{"RelativeInstaller",
                  LinkBytes("..\\..\\..\\..\\..\\..\\Games\\Foo\\unins001.exe"), std::nullopt}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(ScanStartMenuShortcutsTest, UnreadableShortcutEndsTheScanKeepingEarlierLines) {
    FakeDiscovery fake;
    fake.AddShortcut(kCommon + "A.lnk", "C:\\A\\a.exe");
    fake.AddShortcut(kCommon + "B.lnk", "C:\\B\\b.exe");
    fake.FailShortcut(kCommon + "B.lnk");
    fake.AddShortcut(kCommon + "C.lnk", "C:\\C\\c.exe");
    TAppDiscovery discovery(fake);
    Lines lines;
    EXPECT_THROW(discovery.ScanStartMenuShortcuts(lines), EOSError);
    EXPECT_EQ(lines, Lines{"C:\\A\\a.exe=A"});
}

// ---- Uninstall folders and the folder list ----

struct UninstallCase {
    const char* name;
    std::string text;
    bool plain;
    std::optional<std::string> folder;
};

void PrintTo(const UninstallCase& c, std::ostream* out) {
    *out << c.name;
}

class UninstallFolderTest : public ::testing::TestWithParam<UninstallCase> {};

TEST_P(UninstallFolderTest, EntryTextGivesAFolderOutsideTheSystemFolders) {
    const UninstallCase& c = GetParam();
    FakeDiscovery fake;
    fake.AddUninstallValue("{App}", c.text, c.plain);
    TAppDiscovery discovery(fake);
    const Lines folders = discovery.UninstallFolders();
    EXPECT_EQ(folders, c.folder ? Lines{*c.folder} : Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Texts, UninstallFolderTest,
    ::testing::Values(
        UninstallCase{"CommandLine", "C:\\Games\\Foo\\foo.exe /uninstall", true,
                      "C:\\Games\\Foo\\"},
        UninstallCase{"Quoted", "\"D:\\Tools\\Bar\\unins000.exe\" /SILENT", true,
                      "D:\\Tools\\Bar\\"},
        UninstallCase{"LibraryArgument", "rundll32.exe \"C:\\Apps\\Qux\\qux.dll\",Remove", true,
                      "C:\\Apps\\Qux\\"},
        UninstallCase{"FolderWithoutDot", "E:\\Data\\Library", true, "E:\\Data\\Library\\"},
        UninstallCase{"ProgramFiles", "C:\\Program Files\\Baz\\uninst.exe", true, std::nullopt},
        UninstallCase{"ProgramFilesShortName", "c:\\progra~1\\Old\\x.exe", true, std::nullopt},
        UninstallCase{"WindowsFolder", "C:\\WINDOWS\\system32\\msiexec.exe /x{1}", true,
                      std::nullopt},
        UninstallCase{"DriveRoot", "D:\\", true, std::nullopt},
        UninstallCase{"ProgramInDriveRoot", "D:\\setup.exe", true, std::nullopt},
        UninstallCase{"NoDrive", "MsiExec.exe /X{123}", true, std::nullopt},
        UninstallCase{"ExpandableString", "C:\\Games\\Exp\\e.exe", false, std::nullopt}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST(ProgramFolderListTest, SortedOnceEachAndNestedFoldersDropped) {
    FakeDiscovery fake;
    fake.AddUninstallValue("Zeta", "C:\\Games\\Foo\\Sub\\x.exe");
    fake.AddUninstallValue("Alpha", "C:\\Games\\Foo\\foo.exe");
    fake.AddUninstallValue("Beta", "c:\\games\\foo\\other.exe");
    fake.AddUninstallValue("Gamma", "C:\\Games\\FooBar\\fb.exe");
    TAppDiscovery discovery(fake);
    EXPECT_EQ(discovery.UninstallFolders(),
              (Lines{"C:\\Games\\Foo\\", "C:\\Games\\FooBar\\", "C:\\Games\\Foo\\Sub\\"}));
    EXPECT_EQ(discovery.ProgramFolderList(),
              (Lines{"C:\\Games\\Foo\\", "C:\\Games\\FooBar\\", "C:\\Program Files\\"}));
    EXPECT_EQ(discovery.GetSystemFolders(), (Lines{"C:\\Program Files\\", "C:\\WINDOWS\\",
                                                   "C:\\WINDOWS\\system32\\", "C:\\PROGRA~1\\"}));
}

// ---- Complete scan ----

class ProgramFoldersTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.AddUninstallValue("Foo", "C:\\Games\\Foo\\foo.exe /uninstall");
        fake.AddUninstallValue("Gone", "D:\\Gone\\gone.exe");  // no such folder
        fake.AddFile("C:\\Games\\Foo\\foo.exe");
        fake.AddFile("C:\\Program Files\\top.exe");
        fake.AddFile("C:\\Program Files\\Alpha\\alpha.exe");
        fake.AddFile("C:\\Program Files\\Alpha\\Setup.exe");
        fake.AddFile("C:\\Program Files\\Alpha\\install.exe");
        fake.AddFile("C:\\Program Files\\Alpha\\uninst.exe");
        fake.AddFile("C:\\Program Files\\Alpha\\readme.txt");
        fake.AddFile("C:\\Program Files\\Alpha\\Plugins\\plug.exe");
        fake.AddFolder("C:\\Program Files\\Alpha\\Plugins\\Empty");
        fake.AddFile("C:\\Program Files\\Hidden\\h.exe");
        fake.AddFolder("C:\\Program Files\\Hidden", kFaDirectory | kFaHidden);
        fake.AddFile("C:\\Program Files\\Archived\\a.exe");
        fake.AddFolder("C:\\Program Files\\Archived", kFaDirectory | kFaArchive);
        fake.AddFile("C:\\Program Files\\Beta\\beta.exe");
        fake.SetVersionStrings("C:\\Program Files\\Alpha\\alpha.exe",
                               {{"FileDescription", "  Alpha Studio  "}});
        fake.SetVersionStrings("C:\\Program Files\\Alpha\\Plugins\\plug.exe",
                               {{"FileDescription", " "}, {"ProductName", "Alpha Plug-in"}});
    }

    FakeDiscovery fake;
    TAppDiscovery discovery{fake};
};

TEST_F(ProgramFoldersTest, ListsProgramsOfPlainFoldersWithTheirNames) {
    int calls = 0;
    const TScanProgressCallback progress = [&calls] { return ++calls > 0; };
    EXPECT_EQ(discovery.CountProgramFolders(progress), 4);  // Alpha, Plugins, Empty, Beta
    EXPECT_EQ(calls, 4);
    calls = 0;
    Lines lines;
    discovery.ScanProgramFolders(lines, progress);
    EXPECT_EQ(calls, 4);
    EXPECT_EQ(lines, (Lines{"C:\\Games\\Foo\\foo.exe=foo", "C:\\Program Files\\top.exe=top",
                            "C:\\Program Files\\Alpha\\alpha.exe=Alpha Studio",
                            "C:\\Program Files\\Alpha\\Plugins\\plug.exe=Alpha Plug-in",
                            "C:\\Program Files\\Beta\\beta.exe=beta"}));
}

TEST_F(ProgramFoldersTest, CancelStopsAtOnceKeepingTheLinesFound) {
    int calls = 0;
    const TScanProgressCallback stopAtPlugins = [&calls] { return ++calls < 2; };
    Lines lines;
    EXPECT_THROW(discovery.ScanProgramFolders(lines, stopAtPlugins), EAbort);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(lines, (Lines{"C:\\Games\\Foo\\foo.exe=foo", "C:\\Program Files\\top.exe=top",
                            "C:\\Program Files\\Alpha\\alpha.exe=Alpha Studio"}));
    EXPECT_EQ(fake.ListedFolders().back(), "C:\\Program Files\\Alpha\\");

    calls = 0;
    const TScanProgressCallback stopAtOnce = [&calls] { return ++calls > 1; };
    EXPECT_THROW(discovery.CountProgramFolders(stopAtOnce), EAbort);
    EXPECT_EQ(calls, 1);
}

// Steps `scan` until it is over, at most `limit` times; `each` sees every step.
int StepToTheEnd(TAppScan& scan, const std::function<void()>& each = {}, int limit = 1000) {
    int steps = 0;
    while (steps < limit && scan.Step()) {
        ++steps;
        if (each)
            each();
    }
    return steps;
}

TEST_F(ProgramFoldersTest, SlicedScanListsAFolderOrNamesAFewProgramsPerStep) {
    for (int i = 0; i < 40; ++i)
        fake.AddFile("C:\\Program Files\\Many\\m" + std::to_string(i) + ".exe");
    fake.AddProcess("alice", "C:\\Tools\\run.exe");
    Lines whole;
    discovery.ScanProgramFolders(whole, nullptr);
    TAppScan scan(discovery, TAppScan::TKind::Complete);
    size_t listed = fake.ListedFolders().size(), found = 0;
    const int steps = StepToTheEnd(scan, [&] {
        EXPECT_LE(fake.ListedFolders().size() - listed, 1u);
        EXPECT_LE(scan.Found().size() - found, TAppScan::kItemsPerStep);
        listed = fake.ListedFolders().size();
        found = scan.Found().size();
    });
    EXPECT_EQ(scan.Phase(), TAppScan::TPhase::Done);
    EXPECT_GT(steps, 10);
    EXPECT_EQ(scan.Found(), whole);
    EXPECT_EQ(scan.FolderTotal(), 5);  // Alpha, Plugins, Empty, Beta, Many
    EXPECT_EQ(scan.FoldersEntered(), 5);
    EXPECT_EQ(scan.Running(), Lines{"C:\\Tools\\run.exe=run"});
}

TEST_F(ProgramFoldersTest, SlicedScanStoppedKeepsWhatItFoundAndStillListsRunningPrograms) {
    fake.AddProcess("alice", "C:\\Tools\\run.exe");
    // Stopped once Plugins is entered, before its programs are named.
    TAppScan scan(discovery, TAppScan::TKind::Complete);
    for (int i = 0; i < 1000 && scan.FoldersEntered() < 2; ++i)
        ASSERT_TRUE(scan.Step());
    scan.Stop();
    StepToTheEnd(scan);
    EXPECT_EQ(scan.Found(), (Lines{"C:\\Games\\Foo\\foo.exe=foo", "C:\\Program Files\\top.exe=top",
                                   "C:\\Program Files\\Alpha\\alpha.exe=Alpha Studio"}));
    EXPECT_EQ(scan.Running(), Lines{"C:\\Tools\\run.exe=run"});

    // Stopped while counting: nothing searched.
    TAppScan early(discovery, TAppScan::TKind::Complete);
    ASSERT_TRUE(early.Step());
    early.Stop();
    StepToTheEnd(early);
    EXPECT_TRUE(early.Found().empty());
    EXPECT_EQ(early.Running(), Lines{"C:\\Tools\\run.exe=run"});
}

TEST(ProgramFilesFolderTest, RegistryFailuresNameTheComputer) {
    FakeDiscovery fake;
    fake.SetComputerName("OFFICE-7");
    TAppDiscovery discovery(fake);
    Lines lines;
    fake.SetProgramFilesStatus(ProgramFilesResult::Status::ConnectFailed);
    try {
        discovery.ScanProgramFolders(lines, nullptr);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Can't open registry on computer OFFICE-7");
    }
    fake.SetProgramFilesStatus(ProgramFilesResult::Status::KeyFailed);
    try {
        discovery.CountProgramFolders(nullptr);
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Can't open registry values on computer OFFICE-7");
    }
    EXPECT_EQ(fake.ComputerNameReads(), 1);  // read once for the run
}

// ---- Running processes ----

TEST(ProcessesExeNamesGetTest, ProgramsOfTheCurrentUserSortedByPathWithNames) {
    FakeDiscovery fake;
    fake.AddProcess("alice", "C:\\Program Files\\Zed\\zed.exe");
    fake.AddProcess("ALICE", "C:\\Apps\\editor.exe");
    fake.AddProcess("bob", "C:\\Apps\\bobs.exe");
    fake.AddProcess(std::nullopt, "C:\\WINDOWS\\system32\\csrss.exe");
    fake.AddProcess("alice", "");
    fake.AddProcess("alice", "c:\\apps\\EDITOR.exe");
    fake.SetVersionStrings("C:\\Apps\\editor.exe", {{"InternalName", "EDIT"}});
    TAppDiscovery discovery(fake);
    Lines lines = {"old=Old"};
    discovery.ProcessesExeNamesGet("DESKTOP-1", lines);
    EXPECT_EQ(lines, (Lines{"C:\\Apps\\editor.exe=EDIT", "C:\\Program Files\\Zed\\zed.exe=zed"}));
    EXPECT_EQ(fake.LastQuery(), "SELECT ExecutablePath FROM Win32_Process");
    EXPECT_EQ(fake.LastQueryComputer(), "DESKTOP-1");
}

TEST(ProcessesExeNamesGetTest, FailuresAreLoggedAndKeepWholeLines) {
    test::LogCapture log;
    FakeDiscovery fake;
    fake.AddProcess("alice", "C:\\B\\b.exe");
    fake.AddProcess("alice", "C:\\A\\a.exe");
    fake.AddProcess("alice", "C:\\C\\c.exe");
    fake.FailProcessQueryAfter(2);
    TAppDiscovery discovery(fake);
    Lines lines;
    discovery.ProcessesExeNamesGet("DESKTOP-1", lines);
    EXPECT_EQ(lines, (Lines{"C:\\A\\a.exe=a", "C:\\B\\b.exe=b"}));

    fake.FailProcessQueryAfter(99);
    fake.FailCurrentUserName();
    discovery.ProcessesExeNamesGet("DESKTOP-1", lines);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(log.Lines(),
              (Lines{"ErrorClassName: Exception; ProcessesExeNamesGet: The RPC server is "
                     "unavailable.",
                     "ErrorClassName: EOSError; ProcessesExeNamesGet: Access is denied."}));
}

}  // namespace
}  // namespace tw
