// The cost of one foreground probe on the session's own desktop, as the
// scan timer pays it every tick, for whatever window is in front (run by
// bench/wayland_probe_bench.sh with a browser in front on a headless
// compositor).
//
//   wayland_probe_bench [ROUNDS]
//
// Prints the median and the maximum of ROUNDS probes (default 30) twice:
// cached, the same desktop object probed again and again (as the program
// does), and uncached, a new desktop object for every probe (as a first
// probe, or tallyward-probe, pays it). A probe that does not find the same
// program and address as the first one fails the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DesktopFactory.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Seen {
    std::string kind, file, address;
    bool operator==(const Seen&) const = default;
};

Seen Probe(tw::TOnlineTimeApplication& probe) {
    probe.Execute(false, nullptr);
    return {probe.GetAppTypeName(), probe.AppName(), probe.BrowserUrl()};
}

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const double median =
        ms.size() % 2 ? ms[ms.size() / 2] : (ms[ms.size() / 2 - 1] + ms[ms.size() / 2]) / 2;
    std::printf("%-9s rounds %zu  median %7.2f ms  max %7.2f ms\n", what, ms.size(), median,
                ms.back());
}

int Run(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (rounds < 1 || rounds > 10000) {
        std::fprintf(stderr, "usage: wayland_probe_bench [ROUNDS]\n");
        return 2;
    }
    tw::StartAppClock();
    tw::EnableAccessibilityBus();
    tw::SessionDesktop session = tw::OpenSessionDesktop();
    if (!session.desktop) {
        std::fprintf(stderr, "wayland_probe_bench: %s\n", session.error.c_str());
        return 1;
    }
    tw::TOnlineTimeApplication probe(*session.desktop);
    // The first probe finds the frame and the address field; it is not timed.
    const Seen first = Probe(probe);
    std::printf("in front: %s\t%s\t%s\n", first.kind.c_str(), first.file.c_str(),
                first.address.c_str());
    if (first.file.empty() || first.file.rfind("Error: ", 0) == 0) {
        std::fprintf(stderr, "wayland_probe_bench: no program in front\n");
        return 1;
    }

    int wrong = 0;
    std::vector<double> cached, uncached;
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        const Seen seen = Probe(probe);
        cached.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        wrong += seen != first;
    }
    for (int i = 0; i < rounds; ++i) {
        const auto start = Clock::now();
        tw::SessionDesktop fresh = tw::OpenSessionDesktop();
        if (!fresh.desktop) {
            ++wrong;
            continue;
        }
        tw::TOnlineTimeApplication freshProbe(*fresh.desktop);
        const Seen seen = Probe(freshProbe);
        uncached.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        wrong += seen != first;
    }
    Report("cached", cached);
    if (!uncached.empty())
        Report("uncached", uncached);
    if (wrong) {
        std::fprintf(stderr, "wayland_probe_bench: %d of %d probes saw something else\n", wrong,
                     2 * rounds);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "wayland_probe_bench: %s\n", tw::ErrorLine(e, ": ").c_str());
        return 1;
    }
}
