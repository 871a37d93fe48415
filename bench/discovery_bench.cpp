// What the wizard's scans cost on this machine.
//
//   discovery_bench [Google Benchmark options, e.g. --benchmark_filter=Fast]
//
// FastScan/Machine: the Start-menu scan over this machine's desktop entries
// (the user's and the system's applications folders), entries re-read each
// time as the wizard's "Scan" does. FastScan/Synthetic: the same over a
// generated menu of 600 entries, a full desktop's worth, their programs
// reached through PATH and half of them through symbolic links.
// RunningProcesses/0: the process list of this machine; /200: with 200 more
// processes of the user running (started and stopped by the benchmark).
// CompleteScan: the counting pass and the complete scan of this machine's
// program folders. CancelLatency: the time from the progress callback that
// answers "stop" at the last folder of the complete scan until the scan has
// returned to its caller, with what it found by then; it needs a program
// folder with a subfolder to stop at. Slices/0 (fast) and /1 (complete): the
// wizard's scan as it runs, one slice per event; longestSliceMs is the
// longest time the window cannot answer the user, slices how many events
// the scan took.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "base/Exceptions.h"
#include "detection/AppDiscovery.h"
#include "platform/linux/LinuxDiscovery.h"

extern char** environ;

namespace tw::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSyntheticEntries = 600;

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path) << text;
}

// A menu of kSyntheticEntries entries in nested folders, as packages install them.
LinuxDiscoveryConfig SyntheticMenu(const std::string& root) {
    const std::string bin = root + "bin/", lib = root + "lib/", apps = root + "applications/";
    fs::create_directories(bin);
    fs::create_directories(lib);
    fs::create_directories(apps + "vendor");
    for (int i = 0; i < kSyntheticEntries; ++i) {
        const std::string name = "app" + std::to_string(i);
        const std::string program = (i % 2 ? lib : bin) + name;
        WriteFile(program, "#!/bin/sh\n");
        ::chmod(program.c_str(), 0755);
        if (i % 2)
            fs::create_symlink(program, bin + name);
        const std::string folder = i % 5 == 0 ? apps + "vendor/" : apps;
        WriteFile(folder + "org.example." + name + ".desktop",
                  "[Desktop Entry]\nType=Application\nName=Application " + std::to_string(i) +
                      "\nName[de]=Anwendung " + std::to_string(i) +
                      "\nGenericName=Tool\nComment=Does things\nExec=" + name +
                      " %U\nIcon=" + name + "\nCategories=Utility;\n[Desktop Action New]\n" +
                      "Name=New\nExec=" + name + " --new\n");
    }
    LinuxDiscoveryConfig config;
    config.applicationFolders = {apps};
    config.searchPath = {"/usr/local/bin", "/usr/bin", bin};
    return config;
}

void BM_FastScan(benchmark::State& state) {
    ScratchDir scratch;
    const bool synthetic = state.range(0) != 0;
    const LinuxDiscoveryConfig config =
        synthetic ? SyntheticMenu(scratch.Path()) : LinuxDiscoveryConfigFromEnvironment();
    size_t lines = 0;
    for (auto _ : state) {
        LinuxDiscovery source(config);
        TAppDiscovery discovery(source);
        std::vector<std::string> found;
        discovery.ScanStartMenuShortcuts(found);
        lines = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["lines"] = double(lines);
    if (synthetic && lines != size_t(kSyntheticEntries))
        state.SkipWithError("the synthetic menu was not listed whole");
}

// Extra processes of the user, stopped by their PIDs at the end.
class Sleepers {
public:
    explicit Sleepers(int count) {
        char sleep[] = "/usr/bin/sleep";
        char seconds[] = "300";
        char* argv[] = {sleep, seconds, nullptr};
        for (int i = 0; i < count; ++i) {
            pid_t pid = 0;
            if (posix_spawn(&pid, sleep, nullptr, nullptr, argv, environ) == 0)
                pids_.push_back(pid);
        }
    }
    ~Sleepers() {
        for (pid_t pid : pids_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Sleepers(const Sleepers&) = delete;
    Sleepers& operator=(const Sleepers&) = delete;

private:
    std::vector<pid_t> pids_;
};

void BM_RunningProcesses(benchmark::State& state) {
    Sleepers extra(int(state.range(0)));
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    TAppDiscovery discovery(source);
    size_t lines = 0;
    for (auto _ : state) {
        std::vector<std::string> found;
        discovery.ProcessesExeNamesGet(discovery.GetLocalComputerName(), found);
        lines = found.size();
        benchmark::DoNotOptimize(found.data());
    }
    state.counters["lines"] = double(lines);
    size_t processes = 0;
    for (const auto& entry : fs::directory_iterator("/proc"))
        processes +=
            entry.path().filename().string().find_first_not_of("0123456789") == std::string::npos;
    state.counters["processes"] = double(processes);
}

void BM_CompleteScan(benchmark::State& state) {
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    TAppDiscovery discovery(source);
    int32_t total = 0;
    int32_t calls = 0;
    size_t lines = 0;
    for (auto _ : state) {
        total = discovery.CountProgramFolders(nullptr);
        calls = 0;
        std::vector<std::string> found;
        discovery.ScanProgramFolders(found, [&calls] { return ++calls > 0; });
        lines = found.size();
    }
    // One progress call per folder entered, as many as the counting pass promised.
    state.counters["folders"] = double(total);
    state.counters["callbacks"] = double(calls);
    if (calls != total)
        state.SkipWithError("progress calls differ from the count");
    state.counters["lines"] = double(lines);
}

void BM_CancelLatency(benchmark::State& state) {
    LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
    TAppDiscovery discovery(source);
    const int32_t total = discovery.CountProgramFolders(nullptr);
    if (total == 0) {
        // The progress callback runs once per subfolder: there is nothing to stop at.
        state.SkipWithError(
            "the program folders of this machine have no subfolders: no folder to stop at");
        return;
    }
    const int32_t stopAt = total;
    size_t kept = 0;
    int32_t callsAfterStop = 0;
    for (auto _ : state) {
        int32_t calls = 0;
        Clock::time_point stopped;
        const TScanProgressCallback progress = [&] {
            if (++calls < stopAt)
                return true;
            if (calls > stopAt)
                ++callsAfterStop;
            stopped = Clock::now();
            return false;
        };
        std::vector<std::string> found;
        try {
            discovery.ScanProgramFolders(found, progress);
        } catch (const EAbort&) {
        }
        const auto back = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(back - stopped).count());
        kept = found.size();
    }
    state.counters["stopAtFolder"] = double(stopAt);
    state.counters["linesKept"] = double(kept);
    if (callsAfterStop != 0)
        state.SkipWithError("the scan went on after it was told to stop");
}

void BM_Slices(benchmark::State& state) {
    const TAppScan::TKind kind =
        state.range(0) != 0 ? TAppScan::TKind::Complete : TAppScan::TKind::Fast;
    double longest = 0;
    int64_t slices = 0;
    size_t lines = 0;
    for (auto _ : state) {
        // A fresh source each time, as each "Scan" reads the menus afresh.
        LinuxDiscovery source(LinuxDiscoveryConfigFromEnvironment());
        TAppDiscovery discovery(source);
        TAppScan scan(discovery, kind);
        slices = 0;
        for (bool more = true; more; ++slices) {
            const auto start = Clock::now();
            more = scan.Step();
            longest = std::max(
                longest, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        lines = scan.Found().size() + scan.Running().size();
    }
    state.counters["slices"] = double(slices);
    state.counters["longestSliceMs"] = longest;
    state.counters["lines"] = double(lines);
}

BENCHMARK(BM_FastScan)->ArgName("synthetic")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RunningProcesses)->ArgName("extra")->Arg(0)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CompleteScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CancelLatency)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Slices)->ArgName("complete")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tw::bench

BENCHMARK_MAIN();
