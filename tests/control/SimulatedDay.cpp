// A day and a night of the enforcement core, from 03:00 to 04:30 the next
// morning: the scan, the limit with each of its actions, "Give me 5
// Minutes", focus mode, a locked session, a suspend, the system clock set
// forward and back, changes deferred to the reset, and two resets. The fake
// desktop, the real settings store and the real activity log, driven
// through the main window's timers on the manual clock.
#include "control/EnforcementCore.h"

#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "platform/Accessibility.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePower.h"
#include "platform/fake/FakeSession.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"
#include "storage/SQLiteTable3.h"
#include "support/ListEntries.h"
#include "support/ManualClock.h"
#include "support/ManualTimers.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using test::CountdownEnds;
using test::UserChooses;
using test::UserTakesFiveMinutes;

// The windows of the day; the two pages are windows of one browser.
enum Win { kEditor, kSite, kOtherSite, kGame, kChat };
const char* const kWinNames[] = {"editor", "site", "other site", "game", "chat"};

const std::string kBrowserPath = "/usr/lib/firefox/firefox";
const std::string kEditorPath = "/usr/bin/editor";
const std::string kGamePath = "/usr/games/puzzle";
const std::string kChatPath = "/usr/bin/chat";
const std::string kSiteName = "example.com";

// The reminder window's choices.
constexpr uint8_t kContinue = 0;
constexpr uint8_t kCloseApplication = 1;

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr int kScanPeriod = 3;

// Day 0 is Monday 7 December 2026; the clock runs in UTC.
TDateTime At(int day, int hour, int minute, int second) {
    return EncodeDate(2026, 12, 7) + day + EncodeTime(hour, minute, second);
}

// A reminder window as the core opened it.
struct Shown {
    bool focus;
    bool offeredFiveMinutes;
    bool operator==(const Shown&) const = default;
};
const Shown kLimit{false, true};
const Shown kLimitWithoutFiveMinutes{false, false};
const Shown kFocus{true, false};

// What a check expects.
struct Expect {
    // Today's seconds on each listed window: the core's total is their sum,
    // and its day list and the activity table hold each of them.
    int32_t site = 0;
    int32_t game = 0;
    int32_t chat = 0;
    // The scan samples the front window: one scan period per change of
    // window since the previous check.
    int32_t slack = 0;
    // Since the previous check:
    std::vector<Win> closed = {};
    std::vector<Shown> reminders = {};
    int shutdowns = 0;
    int refusals = 0;
    std::vector<std::string> notices = {};
};

void PrintTo(Win w, std::ostream* out) {
    *out << kWinNames[w];
}

void PrintTo(const Shown& s, std::ostream* out) {
    *out << (s.focus ? "focus" : "limit")
         << (s.offeredFiveMinutes ? " reminder offering five minutes" : " reminder");
}

class SimulatedDay : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        clock_.Install();
        SetLogFileName(LogFilePath());
        ResetOptions();
        TOptions& options = Options();
        options.AllowUserToChangeSettings = true;
        options.TimeLimitSeconds = 40 * 60;
        options.ExpirationAction = eaReminderOnly;
        test::AddEntry(options.MonitoredList(), mitWebSite, kSiteName, "Example");
        test::AddEntry(options.MonitoredList(), mitApplication, kGamePath, "Puzzle");
        test::AddEntry(options.MonitoredList(), mitApplication, kChatPath, "Chat");
        options.Save();

        desktop_.SetDriveLetters(false);
        Front(kEditor);
        core_ = std::make_unique<TEnforcementCore>(
            TEnforcementServices{options,
                                 desktop_,
                                 power_,
                                 view_,
                                 {tmrScan_, tmrReminderOnly_, tmrShutdown_},
                                 [](std::exception_ptr error) {
                                     try {
                                         std::rethrow_exception(error);
                                     } catch (const std::exception& e) {
                                         ADD_FAILURE() << "a handler failed: " << e.what();
                                     }
                                 }});
        core_->ApplyScanPeriod();
        session_.Register(*core_);
        tmrScan_.SetHandler([this] {
            core_->tmrScanTimer();
            ObeyCloseRequests();
        });
        tmrTime_.SetHandler([this] { core_->tmrTimeTimer(); });
        tmrUsage_.SetHandler([this] { core_->tmrUsageTimer(); });
        tmrSaveOptions_.SetHandler([this] { core_->tmrSaveOptionsTimer(); });
        tmrReminderOnly_.SetHandler([this] { core_->tmrReminderOnlyTimer(); });
        tmrShutdown_.SetHandler([this] { core_->tmrShutdownTimer(); });
        tmrTimeSynchronization_.SetHandler([this] { core_->tmrTimeSynchronizationTimer(); });
        tmrReminderChange_.SetHandler([this] { core_->tmrReminderChangeTimer(); });
    }

    void TearDown() override {
        session_.Unregister();
        core_.reset();
        ResetOptions();
        ResetAppearance();
        SetLogFileName({});
    }

    // --- The user ---

    // Brings a window to the front, opening it anew when it was closed.
    void Front(Win w) {
        if (!open_.contains(w)) {
            FakeWindow& window = NewWindow(w);
            open_[w] = window.Handle();
            kinds_[window.Handle()] = w;
        }
        desktop_.SetForeground(open_[w]);
    }

    // ... and works in it until the application clock shows `until`.
    void UseUntil(Win w, TDateTime until) {
        Front(w);
        const double milliseconds = std::round((until - AppNow()) * kSecondsPerDay * 1000);
        ASSERT_GE(milliseconds, 0) << "the script runs backwards at " << FormatDateTimeText(until);
        timers_.RunFor(milliseconds / 1000);
    }

    void Use(Win w, double seconds) {
        Front(w);
        timers_.RunFor(seconds);
    }

    // A program asked to close does so before the next event; the window
    // below, the editor, comes to the front.
    void ObeyCloseRequests() {
        const std::vector<WindowHandle>& requests = desktop_.CloseRequests();
        for (; obeyed_ < requests.size(); ++obeyed_) {
            const WindowHandle window = requests[obeyed_];
            const Win w = kinds_.at(window);
            closed_.push_back(w);
            if (!desktop_.Exists(window))
                continue;
            desktop_.Vanish(window);
            open_.erase(w);
            if (desktop_.ForegroundWindow() == window)
                Front(kEditor);
        }
    }

    // The administrator, in the settings window.
    void AdminSets(int32_t limitSeconds, uint8_t action) {
        TOptions& options = Options();
        options.AdminLoggedIn = true;
        options.SetTimeLimitSeconds(limitSeconds);
        options.SetExpirationAction(action);
        options.AdminLoggedIn = false;
        options.Save();
    }

    // --- Checks ---

    void Check(const std::string& when, const Expect& e) {
        SCOPED_TRACE(when + ", at " + FormatDateTimeText(AppNow()));
        // The activity table: per window, and the core's view of it.
        const std::map<Win, int64_t> stored = StoredDay(AppNow());
        const std::map<Win, int64_t> expected{{kSite, e.site}, {kGame, e.game}, {kChat, e.chat}};
        int64_t storedTotal = 0;
        for (const auto& [w, seconds] : stored) {
            storedTotal += seconds;
            if (!expected.contains(w))
                ADD_FAILURE() << "time logged on the " << kWinNames[w];
        }
        for (const auto& [w, seconds] : expected) {
            const int64_t actual = stored.contains(w) ? stored.at(w) : 0;
            EXPECT_NEAR(double(actual), double(seconds), e.slack)
                << "stored for the " << kWinNames[w];
        }
        EXPECT_EQ(core_->GetLogger().Total(), storedTotal) << "the day's total";
        TMonitoredList& day = core_->GetLogger().DayItems();
        for (int i = 0; i < day.Count(); ++i) {
            const std::string& name = day.Items(i)->Name;
            const Win w = name == kSiteName ? kSite : WinOfStored(name, {});
            EXPECT_EQ(day.Items(i)->Duration, stored.contains(w) ? stored.at(w) : 0)
                << "the day list's " << kWinNames[w];
        }
        // Each row is one scan period, or one that waited for a reminder.
        const auto [shortest, longest] = RowDurationRange();
        EXPECT_GE(shortest, kScanPeriod) << "a tick lost time";
        EXPECT_LE(longest, kScanPeriod + 60) << "a tick counted time that was not spent";

        EXPECT_EQ(Since(closed_, checked_.closed), e.closed) << "windows closed";
        std::vector<Shown> shown;
        for (const test::ShownReminder& r : Since(view_.reminders, checked_.reminders))
            shown.push_back({r.focus, r.offeredFiveMinutes});
        EXPECT_EQ(shown, e.reminders) << "reminders shown";
        EXPECT_EQ(view_.UnusedAnswers(), 0u) << "reminders the script expected";
        const std::vector<int> shutdowns = Since(power_.Requests(), checked_.shutdowns);
        EXPECT_EQ(shutdowns, std::vector<int>(size_t(e.shutdowns), 60)) << "shutdowns";
        EXPECT_EQ(power_.RefusedCount() - checked_.refusals, e.refusals) << "refused shutdowns";
        EXPECT_EQ(Since(view_.notices, checked_.notices), e.notices) << "notices";
        checked_ = {closed_.size(), view_.reminders.size(), power_.Requests().size(),
                    power_.RefusedCount(), view_.notices.size()};
    }

    // Seconds per window in the activity table, for the day (from 04:00)
    // that holds `moment`.
    static std::map<Win, int64_t> StoredDay(TDateTime moment) {
        TDateTime from = std::floor(moment) + kDayStartOffset;
        if (from > moment)
            from -= 1;
        TSQLiteDatabase db(GetActivityDBFileName());
        std::map<Win, int64_t> seconds;
        for (auto t = db.GetTable(
                 "SELECT app_name, browser_url, SUM(duration) AS seconds FROM applications "
                 "WHERE date_created >= '" +
                 FormatDateTimeText(from) + "' AND date_created < '" +
                 FormatDateTimeText(from + 1) + "' GROUP BY app_name, browser_url");
             !t->AtEnd(); t->Next()) {
            seconds[WinOfStored(t->AsText("app_name"), t->AsText("browser_url"))] +=
                t->AsInteger("seconds");
        }
        return seconds;
    }

    static Win WinOfStored(const std::string& program, const std::string& address) {
        if (address == kSiteName)
            return kSite;
        if (program == kGamePath)
            return kGame;
        if (program == kChatPath)
            return kChat;
        return program == kBrowserPath ? kOtherSite : kEditor;
    }

    static std::pair<int64_t, int64_t> RowDurationRange() {
        TSQLiteDatabase db(GetActivityDBFileName());
        auto t = db.GetTable("SELECT MIN(duration), MAX(duration) FROM applications");
        return {t->AsInteger(0), t->AsInteger(1)};
    }

    static std::vector<std::string> StoredListNames(const std::string& file,
                                                    const std::string& table) {
        TSQLiteDatabase db(file);
        std::vector<std::string> names;
        for (auto t = db.GetTable("SELECT name FROM " + table + " ORDER BY rowid"); !t->AtEnd();
             t->Next())
            names.push_back(t->AsText(0));
        return names;
    }

    // The log's texts without their time stamps.
    static std::vector<std::string> LogLines() {
        std::vector<std::string> lines;
        if (!std::filesystem::exists(LogFilePath()))
            return lines;
        std::istringstream in(test::ReadFileText(LogFilePath()));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line.size() > 20 ? line.substr(20) : line);
        return lines;
    }

    template <typename T>
    static std::vector<T> Since(const std::vector<T>& all, size_t from) {
        return std::vector<T>(all.begin() + std::ptrdiff_t(from), all.end());
    }

    static std::string MemoryFolder() {
        std::error_code error;
        return std::filesystem::is_directory("/dev/shm", error) ? "/dev/shm" : "";
    }

    // The data folder takes a row per scan tick: tmpfs where there is one.
    test::TempDir dir_{MemoryFolder()};
    test::ManualClock clock_{At(0, 3, 0, 1)};
    FakeDesktop desktop_;
    FakePower power_;
    FakeSessionNotifier session_;
    test::ManualTimers timers_{clock_};
    test::ManualTimer& tmrScan_ = timers_.Add("tmrScan", 4000, true);
    test::ManualTimer& tmrTime_ = timers_.Add("tmrTime", kTimeInterval, true);
    test::ManualTimer& tmrUsage_ = timers_.Add("tmrUsage", kUsageInterval, true);
    test::ManualTimer& tmrSaveOptions_ = timers_.Add("tmrSaveOptions", kSaveOptionsInterval, true);
    test::ManualTimer& tmrReminderOnly_ =
        timers_.Add("tmrReminderOnly", kReminderOnlyInterval, false);
    test::ManualTimer& tmrShutdown_ = timers_.Add("tmrShutdown", kShutdownCheckInterval, true);
    test::ManualTimer& tmrTimeSynchronization_ =
        timers_.Add("tmrTimeSynchronization", kTimeSynchronizationInterval, true);
    test::ManualTimer& tmrReminderChange_ =
        timers_.Add("tmrReminderChange", kReminderChangeInterval, true);
    test::ScriptedEnforcementView view_{timers_};
    std::unique_ptr<TEnforcementCore> core_;

    std::map<Win, WindowHandle> open_;
    std::map<WindowHandle, Win> kinds_;
    size_t obeyed_ = 0;
    std::vector<Win> closed_;
    struct {
        size_t closed = 0;
        size_t reminders = 0;
        size_t shutdowns = 0;
        int refusals = 0;
        size_t notices = 0;
    } checked_;

private:
    FakeWindow& NewWindow(Win w) {
        switch (w) {
            case kSite:
            case kOtherSite: {
                // The browser's content window shows the address in its accessibility tree.
                const std::string address =
                    w == kSite ? "https://www.example.com/news" : "https://news.unlisted.org/today";
                FakeWindow& frame = desktop_.AddWindow("MozillaWindowClass", BrowserProcess());
                frame.Child("MozillaWindowClass")
                    .Accessible(Acc()->Add(Acc()->Role(kRoleSystemText)->Value(address)));
                return frame;
            }
            case kGame:
                return desktop_.AddWindow("Puzzle", desktop_.StartProcess(kGamePath));
            case kChat:
                return desktop_.AddWindow("Chat", desktop_.StartProcess(kChatPath));
            case kEditor:
                break;
        }
        return desktop_.AddWindow("Editor", desktop_.StartProcess(kEditorPath));
    }

    uint32_t BrowserProcess() {
        if (browser_ == 0)
            browser_ = desktop_.StartProcess(kBrowserPath);
        return browser_;
    }

    uint32_t browser_ = 0;
};

TEST_F(SimulatedDay, FromThreeInTheMorningToHalfPastFourTheNextMorning) {
    // The hour before 04:00 still counts to yesterday. Limit 40 minutes,
    // "Reminder Only". An unlisted page of the same browser is not counted.
    UseUntil(kSite, At(0, 3, 20, 1));
    UseUntil(kEditor, At(0, 3, 30, 1));
    UseUntil(kGame, At(0, 3, 45, 1));
    UseUntil(kOtherSite, At(0, 3, 54, 58));
    UseUntil(kSite, At(0, 3, 59, 59));
    Check("03:59 the last tick before four reaches the limit",
          {.site = 1500, .game = 900, .slack = 5 * kScanPeriod});
    EXPECT_GE(core_->GetLogger().Total(), Options().TimeLimitSeconds);

    // The tick after four resets the day before it looks at the limit: no
    // reminder, and it counts (from the last tick before four) to the new day.
    UseUntil(kSite, At(0, 4, 5, 1));
    Check("04:05 a new day", {.site = 303});
    EXPECT_EQ(view_.released, 1);
    EXPECT_EQ(view_.reloaded, 1);
    EXPECT_DOUBLE_EQ(Options().ResetDateTime, At(1, 4, 0, 0));

    // "Reminder Only": the limit is reached on the game at 08:35. The
    // reminder comes back every five minutes while the user stays; the
    // third time the user chooses "Close Application", which closes every
    // listed window (the site is still open behind) and nothing else.
    UseUntil(kEditor, At(0, 8, 0, 1));
    view_.Expect({UserChooses(kContinue, 21), UserChooses(kContinue, 21),
                  UserChooses(kCloseApplication, 21)});
    UseUntil(kGame, At(0, 8, 50, 1));
    Check("08:50 Reminder Only", {.site = 303,
                                  .game = 2763,
                                  .slack = 3 * kScanPeriod,
                                  .closed = {kSite, kGame},
                                  .reminders = {kLimit, kLimit, kLimit}});

    // "Close Browser/App.", limit one hour: reached on the site at 08:59.
    // The countdown closes the listed windows and the tick the window in
    // front. Back after the five minutes: "Give me 5 Minutes" keeps it open
    // until the reminder returns, without the button. The game, tried
    // before the next five minutes are up, is closed without a reminder.
    AdminSets(60 * 60, eaCloseBrowserApp);
    view_.Expect({CountdownEnds(eaCloseBrowserApp)});
    UseUntil(kSite, At(0, 9, 12, 1));
    UseUntil(kEditor, At(0, 9, 15, 1));
    view_.Expect({UserTakesFiveMinutes(6), CountdownEnds(eaCloseBrowserApp)});
    UseUntil(kSite, At(0, 9, 25, 1));
    UseUntil(kGame, At(0, 9, 26, 1));
    Check("09:26 Close Browser/App.", {.site = 1269,
                                       .game = 2766,
                                       .slack = 6 * kScanPeriod,
                                       .closed = {kSite, kSite, kSite, kSite, kGame},
                                       .reminders = {kLimit, kLimit, kLimitWithoutFiveMinutes}});

    // "Shutdown Computer", limit 75 minutes: reached at 10:07, the countdown
    // shuts the computer down (recorded; the day goes on as if the user had
    // cancelled it). Then the system refuses: the listed windows are closed
    // instead, and the user is told once.
    UseUntil(kEditor, At(0, 10, 0, 1));
    AdminSets(75 * 60, eaShutdownComputer);
    view_.Expect({CountdownEnds(eaShutdownComputer)});
    UseUntil(kSite, At(0, 10, 12, 1));
    UseUntil(kEditor, At(0, 10, 20, 1));
    power_.FailWith(1, "Interactive authentication required.");
    view_.Expect({CountdownEnds(eaShutdownComputer), CountdownEnds(eaShutdownComputer)});
    UseUntil(kSite, At(0, 10, 30, 1));
    UseUntil(kGame, At(0, 10, 40, 1));
    power_.Succeed();
    Check("10:40 Shutdown Computer",
          {.site = 2052,
           .game = 2829,
           .slack = 6 * kScanPeriod,
           .closed = {kSite, kGame},
           .reminders = {kLimitWithoutFiveMinutes, kLimitWithoutFiveMinutes,
                         kLimitWithoutFiveMinutes},
           .shutdowns = 1,
           .refusals = 2,
           .notices = {"The computer could not be shut down: Interactive authentication "
                       "required.\nThe sites and applications on your list are closed "
                       "instead."}});

    // Focus mode for half an hour, far below a six-hour limit: the first
    // listed window shows the focus reminder and is closed; the next is only
    // closed. After the half hour the site is counted and stays open.
    AdminSets(6 * 60 * 60, eaReminderOnly);
    UseUntil(kEditor, At(0, 11, 0, 1));
    core_->StartFocus(30 * kOneMinute);
    view_.Expect({CountdownEnds(eaReminderOnly)});
    UseUntil(kGame, At(0, 11, 10, 1));
    UseUntil(kSite, At(0, 11, 12, 1));
    UseUntil(kEditor, At(0, 11, 35, 1));
    UseUntil(kSite, At(0, 11, 45, 1));
    Check("11:45 focus mode", {.site = 2655,
                               .game = 2892,
                               .slack = 5 * kScanPeriod,
                               .closed = {kGame, kGame, kSite},
                               .reminders = {kFocus}});
    EXPECT_EQ(view_.focusViews, (std::vector<bool>{true, false}));

    // An hour of locked session with the site in front is not counted.
    UseUntil(kSite, At(0, 12, 10, 1));
    session_.Deactivate();
    timers_.RunFor(kHour);
    session_.Activate();
    UseUntil(kSite, At(0, 13, 15, 1));
    Check("13:15 an hour locked", {.site = 4455, .game = 2892});

    // Two hours asleep with the game in front are not counted.
    UseUntil(kEditor, At(0, 13, 50, 1));
    UseUntil(kGame, At(0, 14, 0, 1));
    session_.Suspend();
    timers_.Sleep(2 * kHour);
    session_.Resume();
    UseUntil(kGame, At(0, 16, 5, 1));
    Check("16:05 two hours asleep", {.site = 4455, .game = 3792, .slack = 2 * kScanPeriod});
    EXPECT_EQ(view_.minimised, 4);

    // The system clock set two hours ahead: the synchronisation at 16:30
    // ignores it.
    UseUntil(kSite, At(0, 16, 10, 1));
    clock_.ShiftWallClock(2 * kHour);
    const int synchronised = tmrTimeSynchronization_.FireCount();
    UseUntil(kSite, At(0, 16, 40, 1));
    EXPECT_EQ(tmrTimeSynchronization_.FireCount(), synchronised + 1);
    EXPECT_NEAR(AppNow(), At(0, 16, 40, 1), 0.001 * kOneSecond);
    // Set back, four minutes too far: the synchronisation at 17:00 follows
    // it, and the tick due with it counts its own three seconds.
    clock_.ShiftWallClock(-2 * kHour - 4 * kMinute);
    ASSERT_TRUE(timers_.RunUntilFired(tmrTimeSynchronization_, 30 * kMinute));
    EXPECT_NEAR(AppNow(), At(0, 16, 56, 1), 0.001 * kOneSecond);
    Use(kSite, 5 * kMinute);
    Check("17:01 the clock set ahead and back", {.site = 8055, .game = 3792, .slack = kScanPeriod});

    // In the evening the user, without the administrator's rights, raises
    // the limit twice (the second raise waits for the reset) and removes
    // the chat program (it stays, inactive, until the reset: still counted).
    UseUntil(kEditor, At(0, 20, 0, 1));
    TOptions& options = Options();
    options.SetTimeLimitSeconds(7 * 60 * 60);
    options.SetTimeLimitSeconds(8 * 60 * 60);
    EXPECT_EQ(options.TimeLimitSeconds, 7 * 60 * 60);
    TMonitoredItem* chat =
        options.MonitoredList().Items(options.MonitoredList().IndexOfName(kChatPath));
    const uint8_t removal = options.DeleteMonitoredItem(chat);
    EXPECT_EQ(removal, daDeactivate);
    core_->GetLogger().ApplyDeleteAction(chat, removal);
    options.SaveMonitoredItems();
    UseUntil(kChat, At(0, 20, 20, 1));
    UseUntil(kEditor, At(1, 3, 50, 1));
    UseUntil(kChat, At(1, 3, 59, 59));
    Check("03:59 the chat program is still on the list",
          {.site = 8055, .game = 3792, .chat = 1797, .slack = 4 * kScanPeriod});

    // 04:00: the raise and the removal take effect; the chat program is
    // neither counted nor closed any more.
    UseUntil(kChat, At(1, 4, 5, 1));
    Check("04:05 the next day", {});
    EXPECT_EQ(options.TimeLimitSeconds, 8 * 60 * 60);
    EXPECT_EQ(options.MonitoredList().IndexOfName(kChatPath), -1);
    EXPECT_EQ(StoredListNames(GetSettingsDBFileName(), "applications_list"),
              std::vector<std::string>{kGamePath});
    EXPECT_EQ(StoredListNames(GetActivityDBFileName(), "applications_list"),
              std::vector<std::string>{kGamePath});
    EXPECT_FALSE(GetIniFile().SectionExists("Common"));
    EXPECT_FALSE(GetIniFile().SectionExists("Applications"));
    EXPECT_EQ(view_.released, 2);

    // The new day: lowering the limit applies at once, and the reminder
    // offers five minutes again.
    options.SetTimeLimitSeconds(5 * 60);
    view_.Expect({UserChooses(kContinue, 21), UserChooses(kContinue, 21)});
    UseUntil(kSite, At(1, 4, 20, 1));
    UseUntil(kEditor, At(1, 4, 30, 1));
    Check("04:30 the end", {.site = 900, .slack = 2 * kScanPeriod, .reminders = {kLimit, kLimit}});

    // The days as stored.
    EXPECT_EQ(StoredDay(At(0, 3, 0, 0)), (std::map<Win, int64_t>{{kSite, 1500}, {kGame, 900}}));
    EXPECT_EQ(StoredDay(At(0, 12, 0, 0)),
              (std::map<Win, int64_t>{{kSite, 8055}, {kGame, 3792}, {kChat, 1797}}));
    // Evening at 03:00, morning from 04:00, afternoon, evening, morning.
    EXPECT_EQ(view_.parts, (std::vector<uint8_t>{2, 0, 1, 2, 0}));
    EXPECT_EQ(view_.terminated, 0);
    EXPECT_TRUE(view_.reminderChanges.empty());
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>(2,
                                        "ErrorClassName: EOSError; TfrmMain.ShutdownComputer: "
                                        "Interactive authentication required.")));
}

}  // namespace
}  // namespace tw
