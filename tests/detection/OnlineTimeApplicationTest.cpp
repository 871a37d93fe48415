#include "detection/OnlineTimeApplication.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/Exceptions.h"
#include "detection/AccessibilityDefs.h"
#include "detection/LogCapture.h"
#include "platform/fake/FakeDesktop.h"
#include "support/ListEntries.h"

namespace tw {
namespace {

using test::AddEntry;

// ---- Program file of the foreground window ----

struct PathCase {
    const char* name;
    std::vector<std::pair<char, std::string>> drives;
    std::string devicePath;
    std::string expected;
};

void PrintTo(const PathCase& c, std::ostream* out) {
    *out << c.name;
}

class ProgramPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ProgramPathTest, DevicePathBecomesDrivePath) {
    const PathCase& c = GetParam();
    FakeDesktop desktop;
    for (const auto& [letter, device] : c.drives)
        desktop.MapDrive(letter, device);
    desktop.SetForeground(desktop.AddWindow("App", desktop.StartProcess(c.devicePath)).Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppName(), c.expected);
    for (const std::string& drive : desktop.DriveQueries()) {
        EXPECT_TRUE(drive != "A:" && drive != "B:") << drive;
    }
}

const std::string kVol1 = "\\Device\\HarddiskVolume1";
const std::string kVol10 = "\\Device\\HarddiskVolume10";

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramPathTest,
    ::testing::Values(
        PathCase{"DriveC", {{'C', kVol1}}, kVol1 + "\\Apps\\a.exe", "C:\\Apps\\a.exe"},
        PathCase{
            "OnlyFloppyDrivesMapIt", {{'A', kVol1}, {'B', kVol1}}, kVol1 + "\\Apps\\a.exe", ""},
        PathCase{"Volume10AfterVolume1",
                 {{'C', kVol1}, {'D', kVol10}},
                 kVol10 + "\\Apps\\a.exe",
                 "D:\\Apps\\a.exe"},
        PathCase{"Volume1BeforeVolume10",
                 {{'C', kVol10}, {'D', kVol1}},
                 kVol1 + "\\Apps\\a.exe",
                 "D:\\Apps\\a.exe"},
        PathCase{"LowestMatchingLetterWins",
                 {{'E', kVol1}, {'Z', kVol1}},
                 kVol1 + "\\a.exe",
                 "E:\\a.exe"},
        PathCase{
            "NetworkPathWithoutLetter", {{'C', kVol1}}, "\\Device\\Mup\\server\\share\\a.exe", ""},
        PathCase{"DeviceNameCaseCounts", {{'C', kVol1}}, "\\device\\harddiskvolume1\\a.exe", ""},
        PathCase{"UnreadableImageGivesEmpty", {{'C', kVol1}}, "", ""}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(ProgramPathTest, WithoutDriveLettersThePathIsUsedAsGiven) {
    FakeDesktop desktop;
    desktop.SetDriveLetters(false).MapDrive('C', "/usr");
    desktop.SetForeground(
        desktop.AddWindow("xterm", desktop.StartProcess("/usr/bin/xterm")).Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppName(), "/usr/bin/xterm");
    EXPECT_TRUE(desktop.DriveQueries().empty());
}

TEST(ProgramPathTest, ProtectedProcessGivesErrorTextAndStillMatchesBySite) {
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("Chrome_WidgetWin_1", desktop.StartProtectedProcess());
    top.WithChild("Chrome_AutocompleteEditView", "https://www.example.com/feed");
    desktop.SetForeground(top.Handle());
    TMonitoredList list;
    AddEntry(list, mitApplication, "C:\\Chrome\\chrome.exe", "Chrome");
    AddEntry(list, mitWebSite, "example.com", "Example");
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppName(), "Error: Access is denied.");
    int index = -1;
    uint8_t kind = 0;
    std::string name;
    EXPECT_TRUE(probe.FindMonitoredItem(&list, index, kind, &name));
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(name, "Example");
}

// ---- Foreground mode ----

TEST(ForegroundTest, NullWindowIsExaminedAndTopLevelWindowsRunTheBrowserRules) {
    FakeDesktop desktop;
    desktop.MapDrive('C', kVol1);
    desktop.AddWindow("Notepad", desktop.StartProcess(kVol1 + "\\notepad.exe"));
    desktop.AddWindow("MozillaWindowClass")
        .Accessible(Acc()->Add(Acc()->Role(kRoleSystemText)->Value("http://a.org/")));
    TMonitoredList list;
    AddEntry(list, mitApplication, "C:\\notepad.exe", "Notepad");
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_TRUE(probe.WindowFound());
    EXPECT_EQ(probe.WindowHandle(), kNullWindow);
    EXPECT_EQ(probe.AppName(), "Error: The parameter is incorrect.");
    EXPECT_EQ(probe.AppType(), atFirefox);
    EXPECT_EQ(probe.BrowserUrl(), "http://a.org/");
    int index = 0;
    uint8_t kind = 0;
    EXPECT_FALSE(probe.FindMonitoredItem(&list, index, kind, nullptr));
}

TEST(ForegroundTest, WindowVanishingMidProbeGivesErrorTextWithoutFailing) {
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("App", desktop.StartProcess(kVol1 + "\\a.exe"));
    top.WithChild("Chrome_AutocompleteEditView", "a.org");
    const WindowHandle window = top.Handle();
    desktop.MapDrive('C', kVol1).SetForeground(window);
    desktop.SetCallHook([&](std::string_view operation, WindowHandle w) {
        if (operation == "WindowProcessId" && w == window)
            desktop.Vanish(window);
    });
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.WindowHandle(), window);
    EXPECT_EQ(probe.AppName(), "Error: The parameter is incorrect.");
    EXPECT_EQ(probe.AppType(), atDesktopApplication);
    EXPECT_EQ(probe.BrowserUrl(), "");
}

TEST(ForegroundTest, EachExecuteStartsFromClearedFields) {
    FakeDesktop desktop;
    desktop.MapDrive('C', kVol1);
    FakeWindow& chrome =
        desktop.AddWindow("Chrome_WidgetWin_1", desktop.StartProcess(kVol1 + "\\c.exe"));
    chrome.WithChild("Chrome_AutocompleteEditView", "a.org");
    const WindowHandle plain =
        desktop.AddWindow("Plain", desktop.StartProcess(kVol1 + "\\p.exe")).Handle();
    TOnlineTimeApplication probe(desktop);
    desktop.SetForeground(chrome.Handle());
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppType(), atChrome);
    EXPECT_STREQ(probe.GetAppTypeName(), "Google Chrome");
    desktop.SetForeground(plain);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppName(), "C:\\p.exe");
    EXPECT_EQ(probe.AppType(), atDesktopApplication);
    EXPECT_STREQ(probe.GetAppTypeName(), "Desktop Application");
    EXPECT_EQ(probe.BrowserUrl(), "");
}

TEST(ForegroundTest, OnlyTheFirstWindowIsExaminedAndItStopsTheEnumeration) {
    FakeDesktop desktop;
    desktop.SetDriveLetters(false);
    const WindowHandle first = desktop.AddWindow("A", desktop.StartProcess("/a")).Handle();
    const WindowHandle second = desktop.AddWindow("B", desktop.StartProcess("/b")).Handle();
    TOnlineTimeApplication probe(desktop);
    EXPECT_FALSE(probe.EnumTopLevelWindowProc(first));
    EXPECT_TRUE(probe.EnumTopLevelWindowProc(second));
    EXPECT_EQ(probe.WindowHandle(), first);
    EXPECT_EQ(probe.AppName(), "/a");
}

TEST(ForegroundTest, TextTimeOutKeepsKindAndAllowsAnApplicationMatch) {
    FakeDesktop desktop;
    desktop.MapDrive('C', kVol1);
    FakeWindow& top =
        desktop.AddWindow("Frame", desktop.StartProcess(kVol1 + "\\IE\\iexplore.exe"));
    top.Child("Address Band Root").Child("Edit").Text("a.org").TextTimesOut();
    desktop.SetForeground(top.Handle());
    TMonitoredList list;
    AddEntry(list, mitApplication, "c:\\ie\\IEXPLORE.exe", "Explorer");
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppType(), atInternetExplorer);
    EXPECT_STREQ(probe.GetAppTypeName(), "MS Internet Explorer");
    EXPECT_EQ(probe.BrowserUrl(), "");
    int index = -1;
    uint8_t kind = 0;
    std::string name;
    EXPECT_TRUE(probe.FindMonitoredItem(&list, index, kind, &name));
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(name, "Explorer");
}

TEST(ForegroundTest, WalkFailureEndsTheProbeWithOneLogLine) {
    test::LogCapture log;
    FakeDesktop desktop;
    FakeWindow& top = desktop.AddWindow("Frame");
    top.Child("MozillaWindowClass")
        .Accessible(Acc()->Add(Acc())->ChildrenResult(kEFail)->EnumeratorFailsAt(0, kEFail));
    desktop.SetForeground(top.Handle());
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    EXPECT_EQ(probe.AppType(), atFirefox);
    EXPECT_EQ(probe.BrowserUrl(), "");
    EXPECT_FALSE(probe.CloseMatching());
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "ErrorClassName: EOleSysError; TOnlineTimeApplication.Execute: "
                               "Unspecified error"});
}

// ---- Sweep mode ----

TEST(SweepTest, PostsOneCloseToEachMatchingWindow) {
    FakeDesktop desktop;
    desktop.MapDrive('C', kVol1);
    const uint32_t game = desktop.StartProcess(kVol1 + "\\Games\\game.exe");
    const WindowHandle game1 = desktop.AddWindow("GameFrame", game).Handle();
    const WindowHandle editor =
        desktop.AddWindow("Editor", desktop.StartProcess(kVol1 + "\\ed.exe")).Handle();
    FakeWindow& browser =
        desktop.AddWindow("Chrome_WidgetWin_1", desktop.StartProcess(kVol1 + "\\c.exe"));
    browser.WithChild("Chrome_AutocompleteEditView", "https://news.example.com/today");
    const WindowHandle game2 = desktop.AddWindow("GameFrame", game).Handle();
    FakeWindow& other =
        desktop.AddWindow("Chrome_WidgetWin_1", desktop.StartProcess(kVol1 + "\\c.exe"));
    other.WithChild("Chrome_AutocompleteEditView", "https://search.org/?q=example.com");

    TMonitoredList list;
    AddEntry(list, mitApplication, "C:\\GAMES\\Game.exe", "Game");
    AddEntry(list, mitWebSite, "example.com", "Example");

    TOnlineTimeApplication probe(desktop);
    std::vector<std::pair<bool, const TMonitoredList*>> during;
    desktop.SetCallHook([&](std::string_view operation, WindowHandle) {
        if (operation == "PostCloseRequest")
            during.emplace_back(probe.CloseMatching(), probe.SweepList());
    });
    probe.Execute(true, &list);

    EXPECT_EQ(desktop.CloseRequests(), (std::vector<WindowHandle>{game1, browser.Handle(), game2}));
    EXPECT_EQ(during.size(), 3u);
    for (const auto& [closing, sweepList] : during) {
        EXPECT_TRUE(closing);
        EXPECT_EQ(sweepList, &list);
    }
    EXPECT_FALSE(probe.CloseMatching());
    EXPECT_EQ(probe.SweepList(), nullptr);
    // The fields describe the last window enumerated.
    EXPECT_EQ(probe.WindowHandle(), other.Handle());
    EXPECT_EQ(probe.BrowserUrl(), "https://search.org/?q=example.com");
    (void)editor;
}

TEST(SweepTest, WalkFailureEndsTheSweepAndResetsItsState) {
    test::LogCapture log;
    FakeDesktop desktop;
    const uint32_t game = desktop.StartProcess("/usr/games/game");
    desktop.SetDriveLetters(false);
    const WindowHandle first = desktop.AddWindow("Game", game).Handle();
    desktop.AddWindow("Frame")
        .Child("MozillaWindowClass")
        .Accessible(Acc()->AddChildId(1)->ChildResult(1, kSOk, AccVariant::NonAccessible(5)));
    desktop.AddWindow("Game", game);
    TMonitoredList list;
    AddEntry(list, mitApplication, "/usr/games/game", "Game");
    TOnlineTimeApplication probe(desktop);
    probe.Execute(true, &list);
    EXPECT_EQ(desktop.CloseRequests(), std::vector<WindowHandle>{first});
    EXPECT_FALSE(probe.CloseMatching());
    EXPECT_EQ(probe.SweepList(), nullptr);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "ErrorClassName: EIntfCastError; TOnlineTimeApplication.Execute: "
                               "Interface not supported"});
}

TEST(SweepTest, SweepWithoutListIsAnAssertionFailure) {
    FakeDesktop desktop;
    desktop.AddWindow("Game", desktop.StartProcess("/g"));
    TOnlineTimeApplication probe(desktop);
    EXPECT_THROW(probe.Execute(true, nullptr), EAssertionFailed);
    EXPECT_TRUE(desktop.CloseRequests().empty());
    EXPECT_FALSE(probe.CloseMatching());
}

// ---- Matching the probe's result (the list's own rules are tested with the list) ----

TEST(FindMonitoredItemTest, NoMatchClearsTheCaption) {
    FakeDesktop desktop;
    desktop.SetDriveLetters(false).SetForeground(
        desktop.AddWindow("Frame", desktop.StartProcess("/usr/bin/other")).Handle());
    TMonitoredList list;
    AddEntry(list, mitApplication, "/usr/bin/Game", "B game");
    TOnlineTimeApplication probe(desktop);
    probe.Execute(false, nullptr);
    int index = 99;
    uint8_t kind = 99;
    std::string caption = "stale";
    EXPECT_FALSE(probe.FindMonitoredItem(&list, index, kind, &caption));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(caption, "");
}

TEST(FindMonitoredItemTest, MissingListIsAnAssertionAfterClearingTheName) {
    FakeDesktop desktop;
    TOnlineTimeApplication probe(desktop);
    int index = 0;
    uint8_t kind = 0;
    std::string caption = "stale";
    EXPECT_THROW(probe.FindMonitoredItem(nullptr, index, kind, &caption), EAssertionFailed);
    EXPECT_EQ(caption, "");
}

}  // namespace
}  // namespace tw
