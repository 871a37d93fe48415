// The enforcement core on a real desktop: the X11 backend on a private Xvfb
// with openbox, real xterm clients, the databases of a data folder seeded
// from the templates, the real application clock, and logind's
// notifications from a test double on a private bus. The test plays the
// scan timer: it waits its interval in real time, delivering events
// meanwhile, and runs the handler.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "control/EnforcementCore.h"
#include "e2e/ChildProcess.h"
#include "e2e/XvfbServer.h"
#include "platform/LogindTestBus.h"
#include "platform/fake/FakePower.h"
#include "platform/linux/LogindSession.h"
#include "platform/linux/X11Desktop.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"
#include "storage/SQLiteTable3.h"
#include "support/EnforcementStubs.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Every wait for something outside the test, on a machine under full load.
constexpr auto kDeadline = 60s;
constexpr auto kSlice = 200ms;

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "e2e_enforcement";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Runs the event loop until `until`, so D-Bus signals arrive meanwhile.
void RunEventsUntil(Clock::time_point until) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0)
        return;
    QEventLoop loop;
    QTimer::singleShot(left, &loop, &QEventLoop::quit);
    loop.exec();
}

// Polls `condition` between slices of the event loop until it holds or the time is up.
bool WaitUntil(const std::function<bool()>& condition, Clock::duration timeout = kDeadline) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (condition())
            return true;
        if (Clock::now() >= deadline)
            return false;
        RunEventsUntil(std::min(deadline, Clock::now() + kSlice));
    }
}

// Whole seconds between two times of the application clock, as a tick logs them.
int32_t Seconds(TDateTime from, TDateTime to) {
    return int32_t(std::max(0.0, std::nearbyint((to - from) * kSecondsPerDay)));
}

// A timer of the main window as far as the core switches it. Enabling
// starts a new interval, as with a QTimer.
class StubTimer final : public TCoreTimer {
public:
    void SetEnabled(bool enabled) override {
        if (enabled)
            started = Clock::now();
        enabled_ = enabled;
    }
    bool Enabled() const override { return enabled_; }
    void SetInterval(int milliseconds) override {
        interval = std::chrono::milliseconds(milliseconds);
        started = Clock::now();
    }

    std::chrono::milliseconds interval{1000};
    Clock::time_point started = Clock::now();

private:
    bool enabled_ = true;
};

// Records the reminders and answers each as if its countdown ran out: the
// action of the settings is carried out.
class RecordingView final : public test::QuietEnforcementView {
public:
    struct Reminder {
        bool focus;
        bool offerFiveMinutes;
    };

    TReminderResult ShowReminder(bool focus, bool offerFiveMinutes) override {
        reminders.push_back({focus, offerFiveMinutes});
        return {false, options->ExpirationAction, true};
    }

    const TOptions* options = nullptr;
    std::vector<Reminder> reminders;
};

// What the activity table holds.
struct Activity {
    int64_t rows = 0;
    int64_t seconds = 0;
    int64_t otherPrograms = 0;  // rows of another program than `program`
};

Activity ReadActivity(const std::string& program) {
    TSQLiteDatabase db(GetActivityDBFileName());
    auto t = db.GetTable("SELECT COUNT(*), IFNULL(SUM(duration), 0), IFNULL(SUM(app_name <> " +
                         SQLiteQuotedStr(program) + "), 0) FROM applications");
    return {t->AsInteger(0), t->AsInteger(1), t->AsInteger(2)};
}

// One tick as the test saw it.
struct Tick {
    int32_t logged = 0;  // what the day's total grew by
    int32_t least = 0;   // the real time from the end of the previous tick
    int32_t most = 0;    // to the start and to the end of this one
    TDateTime end = 0;   // when it ended
    int64_t rows = 0;    // rows of the activity table after it
};

struct Xterm {
    std::unique_ptr<test::ChildProcess> process;
    WindowHandle window = kNullWindow;
    std::string program;  // as /proc/PID/exe names it
};

class EnforcementE2eTest : public testing::Test {
protected:
    static void SetUpTestSuite() { App(); }

    void SetUp() override {
        SetLogFileName(data_.Path() + "log.txt");
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", data_.Path()});
        CopyDatabaseTemplates();
        ResetAppearance();
        StartAppClock();
        server_ = std::make_unique<test::XvfbServer>();
        if (server_->Display().empty())
            GTEST_SKIP() << "Xvfb could not be started";
        desktop_ = X11Desktop::Open(Display().c_str());
        ASSERT_TRUE(desktop_) << "no connection to " << Display();
        wm_ = test::StartOpenbox(
            Display(), [this] { return desktop_->WindowManagerRunning(); }, kDeadline);
        ASSERT_TRUE(wm_) << "openbox did not announce itself on " << Display();
        options_ = std::make_unique<TOptions>();
        options_->SetSaveOnDestroy(false);
        view_.options = options_.get();
        options_->ScanPeriodSeconds = 1;
        options_->ResetDateTime = NextDayStart(AppNow());
    }

    void TearDown() override {
        core_.reset();
        if (HasFailure())
            std::cerr << "Diagnostic log:\n" << test::ReadFileText(data_.Path() + "log.txt");
        SetLogFileName("");
        ResetAppearance();
    }

    const std::string& Display() const { return server_->Display(); }

    // An xterm of `program` titled `title`, with its client window once the
    // manager lists it; no window when it did not come or the xterm ended.
    Xterm StartXterm(const std::string& program, const std::string& title) {
        Xterm x;
        x.process = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{program, "-T", title}, Display());
        const uint32_t pid = uint32_t(x.process->Pid());
        WaitUntil([&] {
            for (const WindowHandle w : desktop_->TopLevelWindows()) {
                if (desktop_->WindowProcessId(w) == pid) {
                    x.window = w;
                    return true;
                }
            }
            return !x.process->Running();
        });
        x.program = desktop_->ProcessImagePath(pid).devicePath;
        return x;
    }

    // Asks the manager to activate the window until it is the foreground.
    bool BringToFront(WindowHandle window) {
        return WaitUntil([&] {
            if (desktop_->ForegroundWindow() == window)
                return true;
            test::RunTool(Display(), {"xdotool", "windowactivate", std::to_string(window)});
            return false;
        });
    }

    void ListProgram(const std::string& program) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApplication;
        item->Name = program;
        item->Caption = "XTerm";
        options_->MonitoredList().Add("XTerm", std::move(item));
        options_->SaveMonitoredItems();
    }

    void StartCore() {
        core_ = std::make_unique<TEnforcementCore>(
            TEnforcementServices{*options_,
                                 *desktop_,
                                 power_,
                                 view_,
                                 {scan_, reminderOnly_, shutdown_},
                                 [](std::exception_ptr error) {
                                     try {
                                         std::rethrow_exception(error);
                                     } catch (const std::exception& e) {
                                         ADD_FAILURE() << "a handler raised: " << e.what();
                                     }
                                 }});
        core_->ApplyScanPeriod();
    }

    int32_t Total() { return core_->GetLogger().Total(); }

    // Waits, delivering events, until tmrScan's interval has passed since it
    // was last started or fired, as a periodic timer does; false when `stop`
    // held first.
    bool WaitForTimeOut(const std::function<bool()>& stop) {
        const auto due = std::max(scan_.started, lastTimeOut_) + scan_.interval;
        WaitUntil([&] { return stop() || Clock::now() >= due; });
        return !stop();
    }

    // One time-out of tmrScan and what it did.
    Tick RunTick() {
        lastTimeOut_ = Clock::now();
        Tick t;
        const int32_t before = Total();
        const TDateTime previous = core_->LastScanTime();
        t.least = Seconds(previous, AppNow());
        core_->tmrScanTimer();
        t.end = AppNow();
        t.most = Seconds(previous, t.end);
        t.logged = Total() - before;
        t.rows = ReadActivity(listedProgram_).rows;
        return t;
    }

    Tick NextTick() {
        WaitForTimeOut([] { return false; });
        return RunTick();
    }

    // A tick with the listed xterm in front below the limit: it logs one row
    // with the real time since the previous tick.
    void CountedTick(WindowHandle listed) {
        const int64_t rows = ReadActivity(listedProgram_).rows;
        const Tick t = NextTick();
        ASSERT_EQ(desktop_->ForegroundWindow(), listed) << "the listed xterm lost the focus";
        EXPECT_GE(t.logged, t.least);
        EXPECT_LE(t.logged, t.most);
        EXPECT_EQ(t.rows, rows + 1);
    }

    // Ticks until `condition` holds; false when it did not within the deadline.
    bool TickUntil(const std::function<bool()>& condition) {
        const auto deadline = Clock::now() + kDeadline;
        while (!condition()) {
            if (Clock::now() >= deadline)
                return false;
            if (WaitForTimeOut(condition))
                RunTick();
        }
        return true;
    }

    test::TempDir data_;
    std::unique_ptr<test::XvfbServer> server_;
    std::unique_ptr<X11Desktop> desktop_;
    std::unique_ptr<test::ChildProcess> wm_;
    std::unique_ptr<TOptions> options_;
    RecordingView view_;
    StubTimer scan_;
    StubTimer reminderOnly_;
    StubTimer shutdown_;
    FakePower power_;
    std::unique_ptr<TEnforcementCore> core_;
    Clock::time_point lastTimeOut_;
    std::string listedProgram_;
};

TEST_F(EnforcementE2eTest, CountsTheListedXtermInFrontAndClosesItAtTheLimit) {
    Xterm listed = StartXterm("xterm", "tw-listed");
    ASSERT_NE(listed.window, kNullWindow) << "the xterm's window did not come";
    ASSERT_FALSE(listed.program.empty());
    // The same program from a file of its own: another path, so not on the list.
    const std::string copy = data_.Path() + "other/xterm";
    fs::create_directories(data_.Path() + "other");
    fs::copy_file(listed.program, copy);
    fs::permissions(copy, fs::perms::owner_all);
    Xterm unlisted = StartXterm(copy, "tw-unlisted");
    ASSERT_NE(unlisted.window, kNullWindow) << "the copied xterm's window did not come";
    ASSERT_NE(unlisted.program, listed.program);

    listedProgram_ = listed.program;
    ListProgram(listed.program);
    options_->TimeLimitSeconds = 3;
    options_->ExpirationAction = eaCloseBrowserApp;
    ASSERT_TRUE(BringToFront(listed.window)) << "the listed xterm did not come to the front";
    StartCore();

    // Below the limit every tick counts the real time since the one before.
    const auto deadline = Clock::now() + kDeadline;
    while (Total() < options_->TimeLimitSeconds) {
        ASSERT_LT(Clock::now(), deadline) << "the limit was not reached; total " << Total();
        ASSERT_NO_FATAL_FAILURE(CountedTick(listed.window));
    }
    EXPECT_TRUE(view_.reminders.empty());
    Activity logged = ReadActivity(listed.program);
    EXPECT_EQ(logged.seconds, Total());
    EXPECT_EQ(logged.otherPrograms, 0);

    // At the limit: one reminder, then its action closes the listed xterm.
    ASSERT_TRUE(TickUntil([&] { return !listed.process->Running(); }))
        << "the listed xterm is still running; reminders: " << view_.reminders.size();
    ASSERT_EQ(view_.reminders.size(), 1u);
    EXPECT_FALSE(view_.reminders[0].focus);
    EXPECT_TRUE(view_.reminders[0].offerFiveMinutes);
    EXPECT_TRUE(unlisted.process->Running()) << "the unlisted xterm was closed";

    // The unlisted xterm in front is neither counted nor closed.
    ASSERT_TRUE(BringToFront(unlisted.window)) << "the unlisted xterm did not come to the front";
    logged = ReadActivity(listed.program);
    const int32_t total = Total();
    for (int i = 0; i < 3; ++i) {
        const Tick t = NextTick();
        EXPECT_EQ(t.logged, 0);
        EXPECT_EQ(t.rows, logged.rows);
    }
    EXPECT_EQ(Total(), total);
    EXPECT_TRUE(unlisted.process->Running()) << "the unlisted xterm was closed";
    EXPECT_EQ(desktop_->ForegroundWindow(), unlisted.window);
    EXPECT_EQ(view_.reminders.size(), 1u);
    EXPECT_EQ(ReadActivity(listed.program).seconds, Total());
}

TEST_F(EnforcementE2eTest, SleepAndLockPauseTheCount) {
    test::LogindTestBus bus;
    if (!bus.BusRunning())
        GTEST_SKIP() << "dbus-daemon could not be started";
    ASSERT_EQ(bus.Start(), "");
    qunsetenv("XDG_SESSION_ID");

    Xterm listed = StartXterm("xterm", "tw-listed");
    ASSERT_NE(listed.window, kNullWindow) << "the xterm's window did not come";
    ASSERT_FALSE(listed.program.empty());
    listedProgram_ = listed.program;
    ListProgram(listed.program);
    options_->TimeLimitSeconds = 28800;
    ASSERT_TRUE(BringToFront(listed.window)) << "the listed xterm did not come to the front";
    StartCore();
    LogindSession notifier(bus.Client(), bus.Client());
    ASSERT_TRUE(notifier.Register(*core_));
    ASSERT_FALSE(core_->ScanPaused());

    const struct {
        const char* what;
        std::function<bool()> begin;
        std::function<bool()> end;
    } pauses[] = {
        {"suspend", [&] { return bus.PrepareForSleep(true); },
         [&] { return bus.PrepareForSleep(false); }},
        {"lock",
         [&] {
             return bus.SessionChanged({{QStringLiteral("LockedHint"), true}});
         },
         [&] {
             return bus.SessionChanged({{QStringLiteral("LockedHint"), false}});
         }},
    };
    for (const auto& pause : pauses) {
        SCOPED_TRACE(pause.what);
        ASSERT_NO_FATAL_FAILURE(CountedTick(listed.window));
        ASSERT_TRUE(pause.begin());
        ASSERT_TRUE(WaitUntil([&] { return core_->ScanPaused(); })) << "no pause came";
        const int32_t total = Total();
        const int64_t rows = ReadActivity(listed.program).rows;
        const TDateTime last = core_->LastScanTime();

        // Ticks while paused log nothing, for at least three seconds.
        int pausedTicks = 0;
        while (pausedTicks < 3 || Seconds(last, AppNow()) < 3) {
            const Tick t = NextTick();
            EXPECT_EQ(t.rows, rows);
            ++pausedTicks;
        }
        EXPECT_EQ(Total(), total);
        EXPECT_EQ(core_->LastScanTime(), last);

        const TDateTime resumed = AppNow();
        ASSERT_TRUE(pause.end());
        ASSERT_TRUE(WaitUntil([&] { return !core_->ScanPaused(); })) << "the pause did not end";
        // The first tick after counts from the end of the pause, not over it.
        const Tick t = NextTick();
        EXPECT_LE(t.logged, Seconds(resumed, t.end)) << "paused for " << Seconds(last, resumed);
        EXPECT_EQ(t.rows, rows + 1);
        EXPECT_EQ(desktop_->ForegroundWindow(), listed.window);
    }
    EXPECT_EQ(ReadActivity(listed.program).seconds, Total());
    EXPECT_TRUE(view_.reminders.empty());
}

}  // namespace
}  // namespace tw
