// The cost of one scan tick, as tmrScan pays it every few seconds on the
// user-interface thread: the foreground probe, the match against the
// time-limit list, and the row the log writes to actmondb.sqlite (the
// database opened, written and closed, as on every tick of the program).
//
//   tick_bench [Google Benchmark options, e.g. --benchmark_filter=X11]
//
// The data folder, a scratch folder removed at the end, is a heavy user's:
// a 200-entry list (100 programs, 100 sites) and 90 days of activity up to
// yesterday, so today is below the limit and every tick only counts.
//
// FakeTick/app: the fake desktop with 30 windows and a listed program in
// front. FakeTick/site: a browser in front whose address is a listed site.
// X11Tick: its own Xvfb with openbox, 30 client windows of one connection
// and a listed xterm in front (skipped with a message when Xvfb, openbox,
// xterm or xdotool does not work). Each figure is the median of 15
// repetitions of wall time, with their spread; the medians are printed again
// at the end beside their targets.
//
// The row is committed durably (a rollback journal and four fdatasync calls
// per tick), so on a disk the figures follow its flush latency and whatever
// else writes to it. With TMPDIR on a tmpfs the data folder lives there and
// the figures are the program's own work.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../tests/e2e/ChildProcess.h"
#include "../tests/e2e/XvfbServer.h"
#include "../tests/support/EnforcementStubs.h"
#include "ActivityDataGenerator.h"
#include "BenchSupport.h"
#include "base/AppClock.h"
#include "base/Paths.h"
#include "control/EnforcementCore.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakePower.h"
#include "platform/linux/X11Desktop.h"
#include "storage/Options.h"
#include "storage/SQLiteTable3.h"

// After the C++ headers that Xlib's macros (None, Bool, Status) would break.
#include "BenchDesktop.h"

namespace tw::bench {
namespace {

using namespace std::chrono_literals;

// The list: 99 programs, the xterm, and 100 sites.
constexpr int kListedTools = 99;
constexpr int kListedSites = 100;
const char kListedTool[] = "/opt/tool50/bin/tool50";
const char kListedSiteAddress[] = "https://www.site98.example.org/news/today";

// Median targets in milliseconds.
const std::map<std::string, double> kTargets = {
    {"FakeTick/app", 2}, {"FakeTick/site", 2}, {"X11Tick", 3}};

class CountingView final : public test::QuietEnforcementView {
public:
    TReminderResult ShowReminder(bool, bool) override {
        ++reminders;
        return {};
    }

    int reminders = 0;
};

// The core over a desktop with the data folder's settings, as the main
// window holds it.
class CoreRig {
public:
    explicit CoreRig(WindowSystem& desktop)
        : core_(TEnforcementServices{
              options_, desktop, power_, view_, {scan_, reminderOnly_, shutdown_}, nullptr}) {
        options_.SetSaveOnDestroy(false);
        options_.ResetDateTime = NextDayStart(AppNow());
    }

    TEnforcementCore& Core() { return core_; }
    int Reminders() const { return view_.reminders; }
    int32_t Limit() const { return options_.TimeLimitSeconds; }
    int ListEntries() { return options_.MonitoredList().Count(); }

private:
    TOptions options_;
    CountingView view_;
    test::SwitchTimer scan_;
    test::SwitchTimer reminderOnly_;
    test::SwitchTimer shutdown_;
    FakePower power_;
    TEnforcementCore core_;
};

int64_t ActivityRows() {
    TSQLiteDatabase db(GetActivityDBFileName());
    return db.GetTable("SELECT COUNT(*) FROM applications")->AsInteger(0);
}

// Times the ticks and checks that each one counted the listed item in front.
void TimeTicks(benchmark::State& state, WindowSystem& desktop, const std::string& program) {
    CoreRig rig(desktop);
    TEnforcementCore& core = rig.Core();
    // The first tick creates the probe and loads the day, once per run of the program.
    core.tmrScanTimer();
    const int64_t rowsBefore = ActivityRows();
    for (auto _ : state)
        core.tmrScanTimer();
    const int64_t logged = ActivityRows() - rowsBefore;
    if (rig.ListEntries() != kListedTools + 1 + kListedSites)
        state.SkipWithError("the list was not read from the data folder");
    else if (core.GetProbe().AppName() != program)
        state.SkipWithError(("the probe saw " + core.GetProbe().AppName()).c_str());
    else if (logged != int64_t(state.iterations()))
        state.SkipWithError("not every tick wrote its row");
    else if (rig.Reminders() != 0 || core.GetLogger().Total() >= rig.Limit())
        state.SkipWithError("the day reached the limit: the ticks did more than count");
}

// The fake desktop: 29 other windows, and the listed program or a browser
// showing a listed site.
struct FakeCase {
    FakeDesktop desktop;
    std::string program;

    explicit FakeCase(bool site) {
        desktop.SetDriveLetters(false);
        for (int i = 0; i < kClientWindows - 1; ++i)
            desktop.AddWindow("Other", desktop.StartProcess("/usr/bin/other"));
        if (site) {
            program = "/usr/lib/chromium/chromium";
            FakeWindow& browser =
                desktop.AddWindow("Chrome_WidgetWin_1", desktop.StartProcess(program))
                    .WithChild("Chrome_RenderWidgetHostHWND")
                    .WithChild("Chrome_AutocompleteEditView", kListedSiteAddress);
            desktop.SetForeground(browser.Handle());
        } else {
            program = kListedTool;
            FakeWindow& tool = desktop.AddWindow("Tool", desktop.StartProcess(program));
            tool.Text("Tool 50");
            desktop.SetForeground(tool.Handle());
        }
    }
};

std::unique_ptr<FakeCase> fakeApp;
std::unique_ptr<FakeCase> fakeSite;

// Xvfb with openbox, 30 client windows and the xterm in front; stopped in
// the reverse order, every process by its PID.
class X11Case {
public:
    // Empty on success, else what did not work.
    std::string Start() {
        server_ = std::make_unique<test::XvfbServer>();
        const std::string& display = server_->Display();
        if (display.empty())
            return "Xvfb could not be started";
        desktop_ = X11Desktop::Open(display.c_str());
        if (!desktop_)
            return "no connection to Xvfb";
        manager_ = test::StartOpenbox(
            display, [this] { return desktop_->WindowManagerRunning(); }, 60s);
        if (!manager_)
            return "openbox did not start";
        clients_ = std::make_unique<BenchDesktop>(display, false);
        if (!clients_->Ok())
            return "the client windows could not be made";
        xterm_ = std::make_unique<test::ChildProcess>(
            std::vector<std::string>{"xterm", "-T", "tick bench"}, display);
        const uint32_t pid = uint32_t(xterm_->Pid());
        // Every client managed, the xterm among them.
        const bool shown = test::PollUntil(
            [&] {
                if (!xterm_->Running())
                    return true;
                const std::vector<WindowHandle> windows = desktop_->TopLevelWindows();
                if (windows.size() < size_t(kClientWindows) + 1)
                    return false;
                for (const WindowHandle w : windows) {
                    if (desktop_->WindowProcessId(w) == pid)
                        window_ = w;
                }
                return window_ != kNullWindow;
            },
            60s);
        if (!shown || window_ == kNullWindow)
            return "the xterm and the 30 client windows did not all show";
        program_ = desktop_->ProcessImagePath(pid).devicePath;
        const bool inFront = test::PollUntil(
            [&] {
                if (desktop_->ForegroundWindow() == window_)
                    return true;
                test::RunTool(display, {"xdotool", "windowactivate", std::to_string(window_)});
                return false;
            },
            60s, 200);
        if (!inFront)
            return "the xterm did not come to the front (xdotool windowactivate)";
        return {};
    }

    X11Desktop& Desktop() { return *desktop_; }
    const std::string& Program() const { return program_; }
    bool StillInFront() { return xterm_->Running() && desktop_->ForegroundWindow() == window_; }

private:
    std::unique_ptr<test::XvfbServer> server_;
    std::unique_ptr<X11Desktop> desktop_;
    std::unique_ptr<test::ChildProcess> manager_;
    std::unique_ptr<BenchDesktop> clients_;
    std::unique_ptr<test::ChildProcess> xterm_;
    WindowHandle window_ = kNullWindow;
    std::string program_;
};

std::unique_ptr<X11Case> x11;

void BM_FakeTick(benchmark::State& state, FakeCase* c) {
    TimeTicks(state, c->desktop, c->program);
    if (c->desktop.CloseRequests().size() != 0)
        state.SkipWithError("a tick below the limit asked to close a window");
}

void BM_X11Tick(benchmark::State& state) {
    TimeTicks(state, x11->Desktop(), x11->Program());
    if (!x11->StillInFront())
        state.SkipWithError("the xterm is no longer in front");
}

// The console output, and the medians kept for the summary.
class MedianReporter final : public benchmark::ConsoleReporter {
public:
    MedianReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& reports) override {
        ConsoleReporter::ReportRuns(reports);
        for (const Run& run : reports) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred)
                medians.emplace_back(run.run_name.function_name,
                                     run.GetAdjustedRealTime() / 1000.0);
        }
    }
    std::vector<std::pair<std::string, double>> medians;  // milliseconds
};

}  // namespace
}  // namespace tw::bench

int main(int argc, char** argv) {
    using namespace tw;
    using namespace tw::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    x11 = std::make_unique<X11Case>();
    const std::string x11Failure = x11->Start();
    if (!x11Failure.empty()) {
        std::fprintf(stderr, "tick_bench: %s; X11 figures skipped\n", x11Failure.c_str());
        x11.reset();
    }

    ScratchDir scratch;
    if (scratch.Path().empty()) {
        std::fprintf(stderr, "tick_bench: no scratch folder\n");
        return 1;
    }
    StartAppClock();
    std::vector<ListEntry> list = MakeList(kListedTools, kListedSites);
    list.push_back({x11 ? x11->Program() : "/usr/bin/xterm", "XTerm", 1, true});
    ActivityProfile profile;
    profile.end = AppDate() - 1;
    const auto start = std::chrono::steady_clock::now();
    CreateDataFolder(scratch.Path(), ProgramFolderOfThis(), profile, list);
    InitPaths(StartupPaths{ProgramFolderOfThis(), "tallyward", scratch.Path()});
    std::printf("data folder: %zu list entries, %lld activity rows, made in %.1f s\n", list.size(),
                static_cast<long long>(ActivityRows()),
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

    fakeApp = std::make_unique<FakeCase>(false);
    fakeSite = std::make_unique<FakeCase>(true);
    Spread(benchmark::RegisterBenchmark("FakeTick/app", BM_FakeTick, fakeApp.get()))->UseRealTime();
    Spread(benchmark::RegisterBenchmark("FakeTick/site", BM_FakeTick, fakeSite.get()))
        ->UseRealTime();
    if (x11)
        Spread(benchmark::RegisterBenchmark("X11Tick", BM_X11Tick))->UseRealTime();

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\n%-16s %12s %12s\n", "median tick", "ms", "target ms");
    for (const auto& [name, ms] : reporter.medians) {
        const auto target = kTargets.find(name);
        const double limit = target == kTargets.end() ? 0 : target->second;
        std::printf("%-16s %12.3f %12.0f   %s\n", name.c_str(), ms, limit,
                    ms < limit ? "met" : "MISSED");
    }
    fakeApp.reset();
    fakeSite.reset();
    x11.reset();
    return 0;
}
