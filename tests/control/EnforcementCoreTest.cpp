#include "control/EnforcementCore.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Paths.h"
#include "control/FocusMode.h"
#include "control/Reminders.h"
#include "detection/LogCapture.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePower.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"
#include "storage/SQLiteTable3.h"
#include "support/EnforcementStubs.h"
#include "support/ManualClock.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

constexpr char kGame[] = "/usr/games/game";
constexpr char kEditor[] = "/usr/bin/editor";

// Records what the core asks of the windows; reminders are answered by
// `answer` (by default: the countdown ran out on the stored action).
class RecordingView final : public test::QuietEnforcementView {
public:
    struct Reminder {
        bool focus;
        bool offerFiveMinutes;
    };
    std::function<TReminderResult(bool focus, bool offerFiveMinutes)> answer;
    std::function<void()> onReminderChange;
    std::vector<Reminder> reminders;
    std::vector<std::string> reminderChanges, notices;
    std::vector<uint8_t> parts;
    std::vector<bool> focusViews;
    std::string focusTitle, focusValue;
    int toggles = 0, minimised = 0, terminated = 0, released = 0, reloaded = 0;

    TReminderResult ShowReminder(bool focus, bool offerFiveMinutes) override {
        reminders.push_back({focus, offerFiveMinutes});
        if (answer)
            return answer(focus, offerFiveMinutes);
        return {false, focus ? uint8_t(1) : Options().ExpirationAction, true};
    }
    void ShowReminderChange(const std::string& message) override {
        reminderChanges.push_back(message);
        if (onReminderChange)
            onReminderChange();
    }
    void ShowNotice(const std::string& text) override { notices.push_back(text); }
    void SelectReminderPart(uint8_t part) override { parts.push_back(part); }
    void SetFocusModeView(bool on) override { focusViews.push_back(on); }
    void SetFocusTimeTexts(const std::string& title, const std::string&) override {
        focusTitle = title;
    }
    void SetFocusTimeValue(const std::string& value) override { focusValue = value; }
    void ReleaseDayLists() override { ++released; }
    void ReloadDayLists() override { ++reloaded; }
    void Minimise() override { ++minimised; }
    void TogglePanel() override { ++toggles; }
    void Terminate() override { ++terminated; }
};

// 2026-12-08 at a local time (the clock runs in UTC).
TDateTime At(int hour, int minute, int second = 0, int day = 8) {
    return EncodeDate(2026, 12, day) + EncodeTime(hour, minute, second);
}

class EnforcementCoreTest : public ::testing::Test {
protected:
    explicit EnforcementCoreTest(TDateTime start = At(10, 0)) : clock_(start) {
        clock_.Install();
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", data_.Path()});
        CopyDatabaseTemplates();
        // A program folder of its own, for the uninstall marker.
        InitPaths({program_.Path(), "tallyward", data_.Path()});
        ResetOptions();
        ResetAppearance();
        List(mitApplication, kGame, "Game");
        desktop_.SetDriveLetters(false);
        game_ = desktop_.AddWindow("Game", desktop_.StartProcess(kGame)).Handle();
        gameToo_ = desktop_.AddWindow("Game", desktop_.StartProcess(kGame)).Handle();
        // Last in enumeration order: a sweep on the tick's probe would end on it.
        editor_ = desktop_.AddWindow("Editor", desktop_.StartProcess(kEditor)).Handle();
        desktop_.SetForeground(game_);
    }
    ~EnforcementCoreTest() override {
        core_.reset();
        ResetOptions();
        ResetAppearance();
    }

    static void List(TMonitoredItemType type, const std::string& name, const std::string& caption) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = type;
        item->Name = name;
        item->Caption = caption;
        Options().MonitoredList().Add(caption, std::move(item));
        Options().SaveMonitoredItems();
    }

    TEnforcementCore& Core() {
        if (!core_) {
            core_ = std::make_unique<TEnforcementCore>(
                TEnforcementServices{Options(),
                                     desktop_,
                                     power_,
                                     view_,
                                     {scan_, reminderOnly_, shutdown_},
                                     [this](std::exception_ptr) { ++errors_; }});
        }
        return *core_;
    }
    // `count` scan ticks `seconds` apart.
    void Ticks(int count, double seconds = 3) {
        Core();  // created now, as the window would be, before time passes
        for (int i = 0; i < count; ++i) {
            clock_.Advance(seconds);
            Core().tmrScanTimer();
        }
    }
    int32_t Total() { return Core().GetLogger().Total(); }
    int CloseRequestsFor(WindowHandle window) const {
        int n = 0;
        for (const WindowHandle w : desktop_.CloseRequests())
            n += w == window;
        return n;
    }
    static std::string Query(const std::string& sql) {
        TSQLiteDatabase db(GetActivityDBFileName());
        auto table = db.GetTable(sql);
        return table->AtEnd() ? std::string() : table->AsText(0);
    }

    test::TempDir data_, program_;
    test::ManualClock clock_;
    FakeDesktop desktop_;
    FakePower power_;
    RecordingView view_;
    test::SwitchTimer scan_, reminderOnly_, shutdown_;
    int errors_ = 0;
    WindowHandle game_ = kNullWindow, gameToo_ = kNullWindow, editor_ = kNullWindow;
    std::unique_ptr<TEnforcementCore> core_;
};

struct LimitCase {
    const char* name;
    uint8_t action;
    bool fiveMinutes;
    int foregroundCloses;  // of the window in front, over the ticks after the limit
    int sweepCloses;       // of the listed window behind it
    size_t shutdowns;
};

void PrintTo(const LimitCase& c, std::ostream* os) {
    *os << c.name;
}

class LimitTest : public EnforcementCoreTest, public ::testing::WithParamInterface<LimitCase> {};

// The limit is reached exactly at the second tick; three more ticks follow
// within five minutes, so one reminder only.
TEST_P(LimitTest, ActsOnTheLimitOncePerFiveMinutes) {
    const LimitCase& c = GetParam();
    Options().TimeLimitSeconds = 6;
    Options().ExpirationAction = c.action;
    // Five minutes whenever the button is there.
    if (c.fiveMinutes) {
        view_.answer = [](bool, bool offer) {
            return TReminderResult{offer, Options().ExpirationAction, true};
        };
    }
    Ticks(2);
    ASSERT_EQ(Total(), 6);
    EXPECT_TRUE(view_.reminders.empty());
    Ticks(3);
    ASSERT_EQ(view_.reminders.size(), 1u);
    EXPECT_FALSE(view_.reminders[0].focus);
    EXPECT_TRUE(view_.reminders[0].offerFiveMinutes);
    EXPECT_EQ(CloseRequestsFor(game_), c.foregroundCloses);
    EXPECT_EQ(CloseRequestsFor(gameToo_), c.sweepCloses);
    EXPECT_EQ(CloseRequestsFor(editor_), 0);
    EXPECT_EQ(power_.Requests().size(), c.shutdowns);
    if (c.shutdowns) {
        EXPECT_EQ(power_.Requests()[0], 60);
    }
    EXPECT_EQ(Total(), 15) << "time past the limit is still counted";
    EXPECT_TRUE(reminderOnly_.Enabled());

    // Five minutes later the reminder is due again, without the button once granted.
    Core().tmrReminderOnlyTimer();
    EXPECT_FALSE(reminderOnly_.Enabled());
    Ticks(1);
    ASSERT_EQ(view_.reminders.size(), 2u);
    EXPECT_EQ(view_.reminders[1].offerFiveMinutes, !c.fiveMinutes);
    if (c.action == eaCloseBrowserApp && c.fiveMinutes) {
        EXPECT_EQ(CloseRequestsFor(game_), 2) << "the granted minutes end with the re-arm";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, LimitTest,
    ::testing::Values(LimitCase{"ReminderOnly", eaReminderOnly, false, 0, 0, 0},
                      // The sweep closes both listed windows, each tick the one in front.
                      LimitCase{"Close", eaCloseBrowserApp, false, 4, 1, 0},
                      LimitCase{"CloseGivenFiveMinutes", eaCloseBrowserApp, true, 0, 0, 0},
                      LimitCase{"Shutdown", eaShutdownComputer, false, 0, 0, 1},
                      LimitCase{"ShutdownGivenFiveMinutes", eaShutdownComputer, true, 0, 0, 0}),
    [](const auto& tp) { return std::string(tp.param.name); });

TEST_F(EnforcementCoreTest, TheReminderSweepLeavesTheTicksWindowAndLogItsTime) {
    // Closing by the choice of a reminder of action 0 sweeps all listed windows.
    Options().TimeLimitSeconds = 3;
    view_.answer = [](bool, bool) { return TReminderResult{false, eaCloseBrowserApp, true}; };
    Ticks(2);
    ASSERT_EQ(view_.reminders.size(), 1u);
    EXPECT_EQ(CloseRequestsFor(game_), 1);
    EXPECT_EQ(CloseRequestsFor(gameToo_), 1);
    EXPECT_EQ(CloseRequestsFor(editor_), 0) << "the unlisted window enumerated last stays";
    EXPECT_EQ(Query("SELECT group_concat(DISTINCT app_name) FROM applications"), kGame);
    EXPECT_EQ(Total(), 6);
}

TEST_F(EnforcementCoreTest, AReminderEndedByTheProgramGoingAwayCarriesNothingOut) {
    Options().TimeLimitSeconds = 3;
    view_.answer = [](bool, bool) { return TReminderResult{false, eaShutdownComputer, false}; };
    for (const uint8_t action : {eaShutdownComputer, eaCloseBrowserApp}) {
        Options().ExpirationAction = action;
        Core().tmrReminderOnlyTimer();
        Ticks(2);
    }
    EXPECT_EQ(view_.reminders.size(), 2u);
    EXPECT_TRUE(power_.Requests().empty());
    EXPECT_EQ(power_.RefusedCount(), 0);
    EXPECT_EQ(CloseRequestsFor(game_), 1) << "only the tick after the reminder closes";
    EXPECT_EQ(Total(), 12) << "the time is counted all the same";
}

TEST_F(EnforcementCoreTest, AFailingTickStillEndsWithTheTimerOnAndTheTimeTaken) {
    Options().TimeLimitSeconds = 3;
    view_.answer = [](bool, bool) -> TReminderResult { throw std::runtime_error("broken window"); };
    Ticks(2);
    EXPECT_EQ(errors_, 1);
    EXPECT_TRUE(scan_.Enabled());
    EXPECT_EQ(Core().LastScanTime(), AppNow());
}

TEST(FocusTimeText, ShowsWholeMinutesInEachFormat) {
    const TDateTime start = At(10, 0);
    struct Case {
        uint8_t format;
        TDateTime period, elapsed;
        const char* text;
    } cases[] = {
        {0, kOneMinute, 59 * kOneSecond, "00:00"},
        {1, kOneMinute, 59 * kOneSecond, "00:01"},
        {1, kOneMinute, 60 * kOneSecond, "00:00"},
        {1, kOneMinute, 90 * kOneSecond, "00:00"},  // past the end: never negative
        {0, kMaxFocusPeriod, kMaxFocusPeriod, "23:59"},
        {1, kMaxFocusPeriod, 61 * kOneSecond, "23:58"},
        {2, kOneMinute, 30 * kOneSecond, "10:00"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FocusTimeText(c.format, start + c.elapsed, start, c.period), c.text)
            << int(c.format) << " after " << c.elapsed * kSecondsPerDay << " s";
    }
}

TEST_F(EnforcementCoreTest, AFocusPeriodOfOneMinuteEndsOnTheFirstTickAfterIt) {
    Ticks(1);  // the first tick sets format 0
    Core().StartFocus(kOneMinute);
    Core().ChangeFocusModeTimeFormat();
    Core().ChangeFocusModeTimeFormat();
    EXPECT_EQ(view_.focusTitle, "Time Now:");
    EXPECT_EQ(view_.focusValue, "10:00");
    Ticks(20);
    EXPECT_TRUE(Core().InFocusMode());
    Ticks(1);
    EXPECT_FALSE(Core().InFocusMode());
    EXPECT_EQ(Core().FocusTimeFormat(), 0) << "the next period starts with format 0";
    EXPECT_EQ(view_.focusTitle, "Focus Started:");
}

TEST_F(EnforcementCoreTest, AResetAfterMidnightKeepsThatMorningsReset) {
    // The program was off overnight: the stored reset is long past.
    clock_.Advance(15 * 3600);  // 01:00 on the 9th
    Options().ResetDateTime = At(4, 0);
    Ticks(1);
    EXPECT_EQ(Options().ResetDateTime, At(4, 0, 0, 9));
    Ticks(1, 3 * 3600 - 5);  // 03:59:58 on the 9th
    const int32_t before = Total();
    EXPECT_GT(before, 3 * 3600 - 10);
    Ticks(1, 5);
    EXPECT_EQ(Total(), 5) << "the day starts over at 04:00";
}

TEST_F(EnforcementCoreTest, TheResetRemovesPendingRemovalsStillInactiveAndKeepsReAddedOnes) {
    List(mitApplication, "/usr/bin/chat", "Chat");
    List(mitApplication, "/usr/bin/news", "News");
    Options().AllowUserToChangeSettings = true;
    Options()
        .MonitoredList()
        .Items(Options().MonitoredList().IndexOfName("/usr/bin/news"))
        ->Active = false;
    GetIniFile().WriteString("Applications", "/usr/bin/news", "1");
    // Removed, then made active again by the user: it stays.
    GetIniFile().WriteString("Applications", "/usr/bin/chat", "1");
    GetIniFile().WriteBool("Common", "Show5MinButton", false);
    Ticks(1);
    Options().ResetDateTime = AppNow();
    Ticks(1);
    const TMonitoredList& list = Options().MonitoredList();
    EXPECT_GE(list.IndexOfName("/usr/bin/chat"), 0);
    EXPECT_LT(list.IndexOfName("/usr/bin/news"), 0);
    EXPECT_FALSE(GetIniFile().SectionExists("Applications"));
    EXPECT_FALSE(Core().FiveMinuteButtonAvailable()) << "the stored choice holds after the reset";
    EXPECT_EQ(Query("SELECT COUNT(*) FROM applications_list WHERE name='/usr/bin/news'"), "0");
}

TEST_F(EnforcementCoreTest, MergingTheWizardsPicksAppliesToTheListAndTheDayAtOnce) {
    List(mitApplication, "/usr/bin/chat", "Chat");
    List(mitApplication, "/usr/bin/news", "News");
    TMonitoredList& list = Options().MonitoredList();
    list.Items(list.IndexOfName("/usr/bin/news"))->Active = false;
    GetIniFile().WriteString("Applications", "/usr/bin/news", "/usr/bin/news");
    const WindowHandle mail =
        desktop_.AddWindow("Mail", desktop_.StartProcess("/usr/bin/mail")).Handle();
    TMonitoredList picked;
    const auto pick = [&](const char* name, bool checked, bool active) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApplication;
        item->Name = item->Caption = name;
        item->Checked = checked;
        item->Active = active;
        picked.Add(name, std::move(item));
    };
    pick("/usr/bin/mail", true, true);   // new: listed and counted at once
    pick("/usr/bin/news", true, true);   // re-added: its 04:00 removal is off
    pick("/usr/bin/chat", false, true);  // unchecked: removed
    pick(kGame, false, false);           // unchecked, kept inactive
    Options().AdminLoggedIn = true;
    Core().MergeMonitoredItems(picked);
    EXPECT_FALSE(Options().AdminLoggedIn);
    EXPECT_LT(list.IndexOfName("/usr/bin/chat"), 0);
    EXPECT_TRUE(list.Items(list.IndexOfName("/usr/bin/news"))->Active);
    EXPECT_FALSE(GetIniFile().ValueExists("Applications", "/usr/bin/news"));
    EXPECT_FALSE(list.Items(list.IndexOfName(kGame))->Active);
    desktop_.SetForeground(mail);
    Ticks(2);
    EXPECT_EQ(Total(), 6);
    EXPECT_EQ(Query("SELECT group_concat(name, ',') FROM (SELECT name FROM applications_list "
                    "ORDER BY name)"),
              "/usr/bin/mail,/usr/bin/news," + std::string(kGame));
}

TEST_F(EnforcementCoreTest, TwoAltTapsWithinHalfASecondTogglePanelOnce) {
    struct Case {
        std::vector<double> gaps;  // seconds before each tap
        int toggles;
    } cases[] = {
        {{1, 0.3}, 1}, {{1, 0.49}, 1}, {{1, 0.6}, 0}, {{1, 0.2, 0.2}, 1}, {{1, 0.2, 0.2, 0.2}, 2}};
    for (const Case& c : cases) {
        view_.toggles = 0;
        for (const double gap : c.gaps) {
            clock_.Advance(gap);
            Core().AltTapped();
        }
        EXPECT_EQ(view_.toggles, c.toggles) << c.gaps.size() << " taps, last gap " << c.gaps.back();
    }
}

TEST_F(EnforcementCoreTest, TheUninstallMarkerEndsTheProgram) {
    Core().tmrShutdownTimer();
    EXPECT_EQ(view_.terminated, 0);
    test::WriteFileText(program_.Path() + kUninstallFlagName, "");
    Core().tmrShutdownTimer();
    EXPECT_EQ(view_.terminated, 1);
    EXPECT_TRUE(shutdown_.Enabled());
}

TEST_F(EnforcementCoreTest, ADayThatCouldNotBeLoadedIsLoadedAgainOnTheNextTick) {
    test::LogCapture log;
    TSQLiteDatabase(GetActivityDBFileName())
        .ExecSQL("INSERT INTO applications VALUES('2026-12-08 09:00:00', '" + std::string(kGame) +
                 "', '', 'Desktop Application', 100, 1)");
    const std::string hidden = GetActivityDBFileName() + ".away";
    ASSERT_EQ(std::rename(GetActivityDBFileName().c_str(), hidden.c_str()), 0);
    Ticks(1);
    EXPECT_EQ(Total(), 0);
    ASSERT_EQ(std::rename(hidden.c_str(), GetActivityDBFileName().c_str()), 0);
    Ticks(1);
    EXPECT_EQ(Total(), 103);
    EXPECT_EQ(view_.released, 1);
    size_t retryLines = 0;
    for (const std::string& line : log.Lines())
        retryLines += line.find("loading them again") != std::string::npos;
    EXPECT_EQ(retryLines, 1u);
}

TEST_F(EnforcementCoreTest, TheStaleReminderPromptComesOncePerPeriodAndNeverTwiceAtOnce) {
    Options().ReminderChangePeriod = rcpWeekly;
    Options().ReminderChangedDateTime = AppNow() - 8;
    Options().ReminderShowedDateTime = 0;
    // The timer fires again while the prompt is open: no second prompt.
    view_.onReminderChange = [this] { Core().tmrReminderChangeTimer(); };
    Core().tmrReminderChangeTimer();
    ASSERT_EQ(view_.reminderChanges.size(), 1u);
    EXPECT_EQ(view_.reminderChanges[0], "You have not updated your reminders in 8 day(s)");
    EXPECT_EQ(Options().ReminderShowedDateTime, AppNow());
    clock_.Advance(6 * 86400);
    Core().tmrReminderChangeTimer();
    EXPECT_EQ(view_.reminderChanges.size(), 1u) << "shown within the period";
    clock_.Advance(86400);
    Core().SessionDeactivated();
    Core().tmrReminderChangeTimer();
    EXPECT_EQ(view_.reminderChanges.size(), 1u) << "paused";
    Core().SessionActivated();
    Core().tmrReminderChangeTimer();
    EXPECT_EQ(view_.reminderChanges.size(), 2u);
    Options().ReminderChangePeriod = rcpNever;
    clock_.Advance(30 * 86400);
    Core().tmrReminderChangeTimer();
    EXPECT_EQ(view_.reminderChanges.size(), 2u);
}

TEST(ReminderRules, MonthsAndPartsOfTheDay) {
    EXPECT_EQ(ReminderChangePeriodDays(rcpMonthly, EncodeDate(2026, 2, 10)), 28);
    EXPECT_EQ(ReminderChangePeriodDays(rcpMonthly, EncodeDate(2028, 2, 10)), 29);
    EXPECT_EQ(ReminderChangePeriodDays(rcpMonthly, EncodeDate(2026, 3, 10) + 0.5), 31);
    EXPECT_EQ(ReminderChangePeriodDays(rcpMonthly, EncodeDate(2026, 1, 31)), 28);
    struct Case {
        int hour, minute, second;
        uint8_t part;
    } parts[] = {{3, 59, 59, rtEvening},  {4, 0, 0, rtMorning},      {11, 59, 59, rtMorning},
                 {12, 0, 0, rtAfternoon}, {17, 59, 59, rtAfternoon}, {18, 0, 0, rtEvening},
                 {0, 0, 0, rtEvening}};
    for (const Case& c : parts) {
        EXPECT_EQ(ReminderPartOfDay(EncodeTime(c.hour, c.minute, c.second)), c.part)
            << c.hour << ":" << c.minute << ":" << c.second;
    }
    EXPECT_FALSE(ReminderTextFilled(" \t\r\n "));
    EXPECT_TRUE(ReminderTextFilled(" call mum "));
}

}  // namespace
}  // namespace tw
