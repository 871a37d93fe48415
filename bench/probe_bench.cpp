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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "../tests/e2e/XvfbServer.h"
#include "BenchSupport.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/X11Desktop.h"
#include "storage/MonitoredObjects.h"

// After the C++ headers that Xlib's macros (None, Bool, Status) would break.
#include "BenchDesktop.h"

namespace tw::bench {
namespace {

constexpr int kListEntries = 200;

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
