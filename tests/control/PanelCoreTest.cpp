#include "control/PanelCore.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Paths.h"
#include "control/EnforcementCore.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePower.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"
#include "support/EnforcementStubs.h"
#include "support/ListEntries.h"
#include "support/ManualClock.h"
#include "support/ManualTimers.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

TDateTime At(int hour, int minute) {
    return EncodeDate(2026, 12, 8) + EncodeTime(hour, minute, 0);
}

constexpr int kCompactHeight = 216;

// The panel window as the rules see it: a rectangle on a work area, shown
// or not, and what it was asked to show.
class StubPanelView final : public TPanelView {
public:
    void ShowSheet(TPanelSheet s) override { sheet = s; }
    void LoadUsagePeriod() override { ++usageLoads; }
    void CheckViewItem(TPanelViewItem item) override { checked = item; }
    int CompactClientHeight() const override { return kCompactHeight; }
    TPanelRect WorkArea() const override { return area; }
    TPanelRect PanelRect() const override { return rect; }
    void SetPanelRect(const TPanelRect& r) override {
        rect = r;
        ++moves;
    }
    bool PanelShown() const override { return shown; }
    void ShowPanel() override { shown = true; }
    void HidePanel() override { shown = false; }
    bool PanelEnabled() const override { return enabled; }
    bool PanelActive() const override { return active; }
    bool PointerOverPanel() const override { return pointer; }
    bool TrayAvailable() const override { return tray; }
    void SetTimeTexts(const std::string& t, const std::string& l) override {
        title = t;
        link = l;
    }
    void SetTimeValue(const std::string& v) override { value = v; }
    bool CheckSettingsAccess() override { return access; }
    bool ConfirmDelete(const std::string& caption) override {
        confirmed.push_back(caption);
        return confirm ? confirm() : true;
    }
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void RefillMainList() override { ++refills; }

    TPanelRect area{0, 0, 1280, 800};
    TPanelRect rect{0, 0, 319, 602};
    TPanelSheet sheet = tsMain;
    TPanelViewItem checked = pvLite;
    bool shown = false, enabled = true, active = false, pointer = false, tray = true;
    bool access = true;
    std::function<bool()> confirm;
    std::string title, link, value;
    std::vector<std::string> confirmed, notices;
    int usageLoads = 0, moves = 0, refills = 0;
};

class PanelCoreTest : public ::testing::Test {
protected:
    PanelCoreTest() {
        deactivation_.SetHandler([this] { panel_.tmrDeactivationTimer(); });
        autohide_.SetHandler([this] { panel_.tmrAutohideTimer(); });
        slide_.SetHandler([this] { panel_.tmrAutohideSlideTimer(); });
    }
    ~PanelCoreTest() override {
        ResetOptions();
        ResetAppearance();
    }

    // A data folder of its own and fresh settings, before the core reads them.
    struct FreshData {
        FreshData(const test::TempDir& data, test::ManualClock& clock) {
            clock.Install();
            InitPaths({TW_BUILD_BIN_DIR, "tallyward", data.Path()});
            CopyDatabaseTemplates();
            ResetOptions();
            ResetAppearance();
        }
    };

    test::TempDir data_;
    test::ManualClock clock_{At(10, 0)};
    FreshData fresh_{data_, clock_};
    test::ManualTimers timers_{clock_};
    test::ManualTimer& deactivation_ = timers_.Add("tmrDeactivation", kDeactivationInterval, true);
    test::ManualTimer& autohide_ = timers_.Add("tmrAutohide", kAutohideInterval, false);
    test::ManualTimer& slide_ = timers_.Add("tmrAutohideSlide", kAutohideSlideInterval, false);
    FakeDesktop desktop_;
    FakePower power_;
    test::QuietEnforcementView coreView_;
    test::SwitchTimer scan_, reminderOnly_, shutdown_;
    TEnforcementCore core_{TEnforcementServices{
        Options(), desktop_, power_, coreView_, {scan_, reminderOnly_, shutdown_}, {}}};
    StubPanelView view_;
    TPanelCore panel_{core_, Options(), view_, {deactivation_, autohide_, slide_}};
};

TEST(PanelTimeDisplay, ShowsWholeMinutesTheRestToTheLimitAndAClockWithAmPm) {
    struct Case {
        uint8_t format;
        int32_t total, limit;
        TDateTime now;
        const char* shown;
    } cases[] = {
        {0, 59, 3600, At(10, 0), "00:00"},         // seconds never round up
        {1, 59, 3600, At(10, 0), "01:00"},         // the full limit
        {0, 3661, 3600, At(10, 0), "01:01"},       //
        {1, 3661, 3600, At(10, 0), "00:00"},       // past the limit
        {1, 3599, 7200, At(10, 0), "01:01"},       // 59 min 59 s on the list: 61 min left
        {2, 0, 0, At(13, 5), "01:05 PM"},          //
        {2, 0, 0, At(0, 7), "12:07 AM"},           // midnight hour
        {2, 0, 0, At(12, 0), "12:00 PM"},          // noon
        {0, 30 * 3600, 3600, At(10, 0), "30:00"},  // a total past a day is not cut
    };
    for (const Case& c : cases)
        EXPECT_EQ(TimeDisplayValue(c.format, c.total, c.limit, c.now), c.shown)
            << int(c.format) << " " << c.total;
}

TEST_F(PanelCoreTest, TheTimeLinkCyclesThroughTheThreeFormats) {
    Options().TimeLimitSeconds = 3600;
    panel_.ApplyTimeFormat();
    const char* expected[][2] = {{"Time to Limit:", "Show Time Now"},
                                 {"Time Now:", "Show Time on List"},
                                 {"Time on List:", "Show Time to Limit"}};
    EXPECT_EQ(view_.title, "Time on List:");
    for (const auto& texts : expected) {
        panel_.actChangeTimeFormatExecute();
        EXPECT_EQ(view_.title, texts[0]);
        EXPECT_EQ(view_.link, texts[1]);
    }
    panel_.actChangeTimeFormatExecute();
    EXPECT_EQ(view_.value, "01:00");
}

TEST(PanelUsagePeriod, TodayStartsAtFourOfTheCalendarDateEvenBeforeIt) {
    EXPECT_DOUBLE_EQ(UsagePeriodFrom(0, At(2, 30)), At(4, 0));  // later than now
    EXPECT_DOUBLE_EQ(UsagePeriodFrom(0, At(15, 0)), At(4, 0));
    EXPECT_DOUBLE_EQ(UsagePeriodFrom(1, At(15, 0)), At(15, 0) - 1);
    EXPECT_DOUBLE_EQ(UsagePeriodFrom(5, At(15, 0)), At(15, 0) - 90);
    EXPECT_DOUBLE_EQ(UsagePeriodFrom(-1, At(15, 0)), At(4, 0));
}

TEST_F(PanelCoreTest, ViewsSizeThePanelAndBackAndNextWrapAround) {
    panel_.ShowView(tsMain, true);
    EXPECT_EQ(view_.rect, (TPanelRect{1280 - 319, 0, 319, kCompactHeight}));
    panel_.ShowView(tsUsage, false);
    EXPECT_EQ(view_.rect.height, 800) << "the full form is the work area's height";
    EXPECT_EQ(view_.usageLoads, 1);
    const TPanelSheet forward[] = {tsMain, tsReminder, tsUsage};
    for (TPanelSheet expected : forward) {
        panel_.btnNextClick();
        EXPECT_EQ(view_.sheet, expected);
        EXPECT_FALSE(panel_.LiteView());
    }
    panel_.btnBackClick();
    panel_.btnBackClick();
    panel_.btnBackClick();
    EXPECT_EQ(view_.sheet, tsUsage) << "back from the first page wraps to the last";
}

TEST_F(PanelCoreTest, DraggingTheHeaderOnlyPicksTheSidesAndRemembersThem) {
    struct Case {
        const char* what;
        TPanelRect area;
        bool lite;
        int newLeft, newTop;
        uint8_t horizontal, vertical;
        TPanelRect docked;
    } cases[] = {
        {"compact, into the lower half",
         {0, 0, 1280, 800},
         true,
         961,
         500,
         kDockRight,
         kDockBottom,
         {961, 800 - kCompactHeight, 319, kCompactHeight}},
        {"right-docked into the left half",
         {0, 0, 1280, 800},
         true,
         300,
         500,
         kDockLeft,
         kDockBottom,
         {0, 800 - kCompactHeight, 319, kCompactHeight}},
        {"full form ignores the height",
         {0, 0, 1280, 800},
         false,
         300,
         700,
         kDockLeft,
         kDockTop,
         {0, 0, 319, 800}},
        {"task bar on the left",
         {48, 0, 1232, 800},
         true,
         100,
         10,
         kDockLeft,
         kDockTopToo,
         {48, 0, 319, kCompactHeight}},
        {"task bar at the top, back to the right",
         {0, 30, 1280, 770},
         false,
         1000,
         10,
         kDockRight,
         kDockTop,
         {961, 30, 319, 770}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResetAppearance();
        panel_.RestoreDocks();
        panel_.SetHorizontalDock(kDockRight);
        panel_.SetVerticalDock(kDockTop);
        view_.area = c.area;
        panel_.ShowView(tsMain, c.lite);
        panel_.DockToWorkArea();
        if (c.horizontal == kDockRight)
            panel_.SetHorizontalDock(kDockLeft);  // a right-ward drag starts on the left
        EXPECT_FALSE(panel_.CanMoveTo(c.newLeft, c.newTop));
        EXPECT_EQ(panel_.HorizontalDock(), c.horizontal);
        EXPECT_EQ(panel_.VerticalDock(), c.vertical);
        EXPECT_EQ(view_.rect, c.docked);
        EXPECT_EQ(GetAlign(), c.horizontal);
    }
}

TEST_F(PanelCoreTest, AutoHideSlidesOutInTenStepsToAStripAndBackToTheWorkAreaEdge) {
    struct Case {
        const char* what;
        TPanelRect area;
        uint8_t side;
        int stripLeft, dockedLeft;
    } cases[] = {
        {"right edge", {0, 0, 1280, 800}, kDockRight, 1280 - kAutohideStrip, 961},
        {"left edge beside a task bar",
         {48, 0, 1232, 800},
         kDockLeft,
         48 + kAutohideStrip - 319,
         48},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        view_.area = c.area;
        view_.shown = true;
        view_.pointer = false;
        panel_.SetAutohide(true);
        panel_.ShowView(tsMain, true);
        panel_.SetHorizontalDock(c.side);
        panel_.DockToWorkArea();
        autohide_.SetEnabled(false);
        deactivation_.SetEnabled(true);
        // Out of focus: a second until the deactivation check, three until the slide.
        timers_.RunFor(3.9);
        EXPECT_EQ(panel_.HideState(), 0);
        const int movesBefore = view_.moves;
        timers_.RunFor(0.3);
        EXPECT_EQ(panel_.HideState(), 2);
        EXPECT_EQ(view_.rect.left, c.stripLeft);
        EXPECT_EQ(view_.moves - movesBefore, 11) << "ten steps of a tenth, then the strip";
        EXPECT_FALSE(slide_.Enabled());
        EXPECT_FALSE(autohide_.Enabled());

        // Still out of sight a while later; the pointer on the strip brings it back.
        timers_.RunFor(10);
        EXPECT_EQ(panel_.HideState(), 2);
        view_.pointer = true;
        panel_.pnlBodyMouseMove();
        timers_.RunFor(0.3);
        EXPECT_EQ(panel_.HideState(), 0);
        EXPECT_EQ(view_.rect.left, c.dockedLeft) << "stops at the work area, not under a bar";
        EXPECT_TRUE(autohide_.Enabled());
        timers_.RunFor(10);
        EXPECT_EQ(panel_.HideState(), 0) << "stays while the pointer is on it";
        view_.pointer = false;
        timers_.RunFor(4.5);
        EXPECT_EQ(panel_.HideState(), 2);
        panel_.TrayLeftClick();
        timers_.RunFor(0.3);
        EXPECT_EQ(panel_.HideState(), 0) << "a tray click brings a slid-out panel back";
        panel_.SetAutohide(false);
        timers_.RunFor(10);
        EXPECT_EQ(panel_.HideState(), 0);
    }
    // A work-area change puts the panel back at once.
    panel_.SetAutohide(true);
    timers_.RunFor(4.5);
    EXPECT_EQ(panel_.HideState(), 2);
    view_.area = {0, 0, 1280, 770};
    panel_.WorkAreaChanged();
    EXPECT_EQ(panel_.HideState(), 0);
    EXPECT_EQ(view_.rect.left, 0);
}

TEST_F(PanelCoreTest, MinimisingHidesOnlyWithATrayAndNeverUnderAModalWindow) {
    struct Case {
        const char* what;
        bool tray, enabled, shownBefore;
        void (TPanelCore::*action)();
        bool shownAfter;
    } cases[] = {
        {"Esc with a tray", true, true, true, &TPanelCore::actMinimizeExecute, false},
        {"Esc under a modal window", true, false, true, &TPanelCore::actMinimizeExecute, true},
        {"Esc without a tray keeps it, compact", false, true, true, &TPanelCore::actMinimizeExecute,
         true},
        {"lock without a tray", false, true, true, &TPanelCore::HideToTray, true},
        {"tray click on a hidden panel", true, true, false, &TPanelCore::TrayLeftClick, true},
        {"tray click on a shown panel", true, true, true, &TPanelCore::TrayLeftClick, false},
        {"tray click under a modal window", true, false, true, &TPanelCore::TrayLeftClick, true},
        {"double Alt hides without a tray", false, true, true, &TPanelCore::TogglePanel, false},
        {"double Alt shows again", false, true, false, &TPanelCore::TogglePanel, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        panel_.ShowView(tsUsage, false);
        view_.checked = pvUsage;
        view_.tray = c.tray;
        view_.enabled = c.enabled;
        view_.shown = c.shownBefore;
        (panel_.*c.action)();
        EXPECT_EQ(view_.shown, c.shownAfter);
        if (!c.tray && c.action != &TPanelCore::TogglePanel) {
            EXPECT_TRUE(panel_.LiteView());
            EXPECT_EQ(view_.sheet, tsMain);
            EXPECT_EQ(view_.checked, pvLite);
        }
    }
}

TEST_F(PanelCoreTest, DeletingGreysAfterTheOneImmediateRemovalAndLooksTheEntryUpAgain) {
    for (const char* name : {"/usr/bin/a", "/usr/bin/b", "/usr/bin/c"})
        test::AddEntry(Options().MonitoredList(), mitApplication, name, name + 9);
    Options().SaveMonitoredItems();
    Options().AllowUserToChangeSettings = true;
    Options().SetMonitoredItemDeleteActionProcessed(false);
    TMonitoredList& day = core_.GetLogger().DayItems();
    ASSERT_EQ(day.Count(), 3);

    panel_.btnApp_DeleteClick("", mitApplication);  // a padding row
    EXPECT_TRUE(view_.confirmed.empty());

    // The day list is reloaded while the confirmation is open: the row's entry is freed.
    view_.confirm = [this] {
        core_.GetLogger().ReloadDay(false);
        return true;
    };
    panel_.btnApp_DeleteClick("/usr/bin/a", mitApplication);
    EXPECT_EQ(core_.GetLogger().DayItems().IndexOfName("/usr/bin/a"), -1) << "removed at once";
    EXPECT_EQ(Options().MonitoredList().IndexOfName("/usr/bin/a"), -1);

    view_.confirm = {};
    panel_.btnApp_DeleteClick("/usr/bin/b", mitApplication);
    TMonitoredList& now = core_.GetLogger().DayItems();
    ASSERT_GE(now.IndexOfName("/usr/bin/b"), 0);
    EXPECT_FALSE(now.Items(now.IndexOfName("/usr/bin/b"))->Active) << "greyed until 04:00";

    panel_.btnApp_DeleteClick("/usr/bin/b", mitApplication);
    ASSERT_EQ(view_.notices.size(), 1u);
    EXPECT_EQ(view_.notices[0], "\"b\" will be removed from time-limit list after 4:00 AM");
    EXPECT_EQ(view_.confirmed.size(), 2u) << "no confirmation for a grey entry";

    // Refused access, or a cancelled confirmation: nothing changes.
    view_.access = false;
    panel_.btnApp_DeleteClick("/usr/bin/c", mitApplication);
    view_.access = true;
    view_.confirm = [] { return false; };
    panel_.btnApp_DeleteClick("/usr/bin/c", mitApplication);
    EXPECT_TRUE(now.Items(now.IndexOfName("/usr/bin/c"))->Active);
    EXPECT_FALSE(Options().AdminLoggedIn);
}

}  // namespace
}  // namespace tw
