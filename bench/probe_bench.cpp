// The cost of one foreground probe, as the scan timer pays it every tick.
//
//   probe_bench [Google Benchmark options, e.g. --benchmark_filter=X11]
//
// X11: starts its own Xvfb (never the user's desktop, since it sets the
// root properties a window manager would) with 30 client windows, and
// times one Execute in foreground mode: with an announced window manager
// (EWMH, the usual desktop), for a browser window (the synthetic child is
// looked up too), and without a window manager (input focus). Each figure
// is the median of 15 repetitions, with their spread (stddev, min, max).
// Without Xvfb only the fake-desktop figure is measured.
//
// Browser (only with TW_BENCH_BROWSER=1, as tests/e2e/browser_e2e.sh runs
// it): one probe of the real browser in front on $DISPLAY, its address read
// over AT-SPI, after a first probe has found and cached its frame.
//
// Fake desktop: one probe of a browser window plus FindMonitoredItem
// against a 200-entry list that matches nothing, so the whole list is
// walked (/1); the probe alone (/0) for comparison.
#include <benchmark/benchmark.h>
#include <unistd.h>

// After the C++ headers that Xlib's macros (None, Bool, Status) would break.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../tests/e2e/XvfbServer.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/X11Desktop.h"
#include "storage/MonitoredObjects.h"

namespace tw::bench {
namespace {

constexpr int kClientWindows = 30;
constexpr int kListEntries = 200;

// 30 mapped client windows made by one connection, and a stand-in window
// manager that announces itself through EWMH properties on the root.
class BenchDesktop {
public:
    explicit BenchDesktop(const std::string& display) {
        client_ = XOpenDisplay(display.c_str());
        if (!client_)
            return;
        root_ = DefaultRootWindow(client_);
        const long pid = long(getpid());
        const long normalState[2] = {1, 0};
        for (int i = 0; i < kClientWindows; ++i) {
            Window w = XCreateSimpleWindow(client_, root_, 10 * i, 10 * i, 300, 200, 0, 0, 0);
            const bool browser = i == kClientWindows - 1;
            XClassHint hint{const_cast<char*>(browser ? "Navigator" : "bench"),
                            const_cast<char*>(browser ? "firefox" : "Bench")};
            XSetClassHint(client_, w, &hint);
            XStoreName(client_, w, "probe bench window");
            XChangeProperty(client_, w, Intern("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&pid), 1);
            XChangeProperty(client_, w, Intern("WM_STATE"), Intern("WM_STATE"), 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(normalState), 2);
            XMapWindow(client_, w);
            windows_.push_back(w);
        }
        check_ = XCreateSimpleWindow(client_, root_, 0, 0, 1, 1, 0, 0, 0);
        SetWindows(check_, "_NET_SUPPORTING_WM_CHECK", {check_});
        SetWindows(root_, "_NET_CLIENT_LIST", windows_);
        XSync(client_, False);
    }
    ~BenchDesktop() {
        if (client_)
            XCloseDisplay(client_);
    }
    bool Ok() const noexcept { return client_ != nullptr; }
    Window PlainWindow() const { return windows_[kClientWindows / 2]; }
    Window BrowserWindow() const { return windows_.back(); }

    // The announced manager's active window.
    void ActivateWithManager(Window w) {
        SetWindows(root_, "_NET_SUPPORTING_WM_CHECK", {check_});
        SetWindows(root_, "_NET_ACTIVE_WINDOW", {w});
        XSync(client_, False);
    }
    // No manager: the input focus alone.
    void FocusWithoutManager(Window w) {
        XDeleteProperty(client_, root_, Intern("_NET_SUPPORTING_WM_CHECK"));
        XDeleteProperty(client_, root_, Intern("_NET_ACTIVE_WINDOW"));
        XSetInputFocus(client_, w, RevertToParent, CurrentTime);
        XSync(client_, False);
    }

private:
    ::Atom Intern(const char* name) { return XInternAtom(client_, name, False); }
    void SetWindows(Window on, const char* name, const std::vector<Window>& values) {
        std::vector<long> data(values.begin(), values.end());
        XChangeProperty(client_, on, Intern(name), XA_WINDOW, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    }

    Display* client_ = nullptr;
    Window root_ = 0;
    Window check_ = 0;
    std::vector<Window> windows_;
};

std::unique_ptr<test::XvfbServer> server;
std::unique_ptr<BenchDesktop> benchDesktop;
std::unique_ptr<X11Desktop> x11;

enum class X11Case { Manager, ManagerBrowser, NoManager };

void BM_X11ForegroundProbe(benchmark::State& state, X11Case which) {
    switch (which) {
        case X11Case::Manager:
            benchDesktop->ActivateWithManager(benchDesktop->PlainWindow());
            break;
        case X11Case::ManagerBrowser:
            benchDesktop->ActivateWithManager(benchDesktop->BrowserWindow());
            break;
        case X11Case::NoManager:
            benchDesktop->FocusWithoutManager(benchDesktop->PlainWindow());
            break;
    }
    TOnlineTimeApplication probe(*x11);
    for (auto _ : state) {
        probe.Execute(false, nullptr);
        benchmark::DoNotOptimize(probe.AppName().data());
    }
    const auto expected = which == X11Case::ManagerBrowser ? benchDesktop->BrowserWindow()
                                                           : benchDesktop->PlainWindow();
    const bool wantBrowser = which == X11Case::ManagerBrowser;
    if (probe.WindowHandle() != expected || probe.AppName().rfind("Error: ", 0) == 0 ||
        (probe.AppType() == atFirefox) != wantBrowser) {
        state.SkipWithError("the probe did not find the window it was timed on");
    }
}

std::unique_ptr<X11Desktop> browserDesktop;

void BM_BrowserForegroundProbe(benchmark::State& state) {
    TOnlineTimeApplication probe(*browserDesktop);
    for (auto _ : state) {
        probe.Execute(false, nullptr);
        benchmark::DoNotOptimize(probe.BrowserUrl().data());
    }
    if (probe.AppType() == atDesktopApplication || probe.BrowserUrl().empty())
        state.SkipWithError("no browser address in front");
}

// A 200-entry list: 100 programs and 100 sites, none of them what is probed.
std::unique_ptr<TMonitoredList> MakeList() {
    auto list = std::make_unique<TMonitoredList>();
    for (int i = 0; i < kListEntries; ++i) {
        auto item = std::make_unique<TMonitoredItem>();
        const bool site = i % 2 == 1;
        item->ItemType = site ? mitWebSite : mitApplication;
        item->Name = site ? "site" + std::to_string(i) + ".example.org"
                          : "/usr/bin/program" + std::to_string(i);
        item->Caption = "Entry " + std::to_string(i);
        const std::string caption = item->Caption;
        list->Add(caption, std::move(item));
    }
    return list;
}

void BM_FakeProbeAndFind200(benchmark::State& state) {
    FakeDesktop desktop;
    desktop.SetDriveLetters(false);
    const uint32_t pid = desktop.StartProcess("/usr/lib/chromium/chromium");
    for (int i = 0; i < kClientWindows - 1; ++i)
        desktop.AddWindow("Other", desktop.StartProcess("/usr/bin/other"));
    FakeWindow& browser =
        desktop.AddWindow("Chrome_WidgetWin_1", pid)
            .WithChild("Chrome_RenderWidgetHostHWND")
            .WithChild("Chrome_AutocompleteEditView", "https://www.news.example.com/today");
    desktop.SetForeground(browser.Handle());
    const auto list = MakeList();
    TOnlineTimeApplication probe(desktop);
    int index = 0;
    uint8_t matchKind = 0;
    std::string name;
    bool matched = false;
    const bool find = state.range(0) != 0;
    for (auto _ : state) {
        probe.Execute(false, nullptr);
        if (find)
            matched = probe.FindMonitoredItem(list.get(), index, matchKind, &name);
        benchmark::DoNotOptimize(index);
    }
    if (matched || probe.AppType() != atChrome || probe.BrowserUrl().empty())
        state.SkipWithError("the fake probe did not see the browser as scripted");
}

double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
double Max(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

template <typename B>
B* Spread(B* b) {
    return b->Repetitions(15)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", Min)
        ->ComputeStatistics("max", Max)
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace
}  // namespace tw::bench

int main(int argc, char** argv) {
    using namespace tw::bench;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;

    server = std::make_unique<tw::test::XvfbServer>();
    if (!server->Display().empty()) {
        benchDesktop = std::make_unique<BenchDesktop>(server->Display());
        x11 = tw::X11Desktop::Open(server->Display().c_str());
    }
    if (benchDesktop && benchDesktop->Ok() && x11) {
        Spread(benchmark::RegisterBenchmark("X11ForegroundProbe/ewmh", BM_X11ForegroundProbe,
                                            X11Case::Manager));
        Spread(benchmark::RegisterBenchmark("X11ForegroundProbe/ewmh_browser",
                                            BM_X11ForegroundProbe, X11Case::ManagerBrowser));
        Spread(benchmark::RegisterBenchmark("X11ForegroundProbe/no_wm", BM_X11ForegroundProbe,
                                            X11Case::NoManager));
    } else {
        std::fprintf(stderr, "probe_bench: Xvfb could not be started; X11 figures skipped\n");
    }
    if (const char* want = std::getenv("TW_BENCH_BROWSER"); want && std::string(want) == "1") {
        tw::EnableAccessibilityBus();
        browserDesktop = tw::X11Desktop::Open();
        if (browserDesktop) {
            tw::TOnlineTimeApplication first(*browserDesktop);
            first.Execute(false, nullptr);
            Spread(benchmark::RegisterBenchmark(
                (std::string("BrowserForegroundProbe/") + first.GetAppTypeName()).c_str(),
                BM_BrowserForegroundProbe));
        }
    }
    // Argument 0 times the probe alone, to tell its share from the list's.
    Spread(benchmark::RegisterBenchmark("FakeProbeAndFind200", BM_FakeProbeAndFind200)
               ->Arg(1)
               ->Arg(0));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    x11.reset();
    browserDesktop.reset();
    benchDesktop.reset();
    server.reset();
    return 0;
}
