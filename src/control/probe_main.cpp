// tallyward-probe: shows what the program sees of the desktop, for a user
// who wants to know why a window is or is not counted. Runs the foreground
// probe once (or once per top-level window) and prints one tab-separated
// line per window: handle, kind of program, program file, address, and with
// a data folder the matching list entry and how it matched.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "control/CommandLine.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DesktopFactory.h"
#include "platform/linux/WaylandDesktop.h"
#include "platform/linux/X11Desktop.h"
#include "storage/Options.h"

namespace tw {
namespace {

constexpr const char* kUsage =
    "Usage: tallyward-probe [--all] [--verbose] [--data-folder DIR] [--wait SECONDS]\n"
    "       tallyward-probe --help | --version\n"
    "Prints, tab-separated: window handle, kind of program, program file, address;\n"
    "with --data-folder also the matching time-limit list entry and the match kind\n"
    "(1 program, 2 address), or - and 0.\n"
    "  --all              one line per top-level window instead of the foreground one\n"
    "  --verbose          also say on stderr which route found the window in front\n"
    "                     (x11, sway, kwin, gnome-extension, wlr-foreign-toplevel,\n"
    "                     accessibility)\n"
    "  --data-folder DIR  match against the list in DIR/settings.sqlite (read only)\n"
    "  --wait SECONDS     wait first, so another window can be brought to the front\n";

// The desktop with the foreground replaced by one chosen window, so that
// each window of --all goes through exactly the probe the scan timer runs.
class ChosenForeground final : public WindowSystem {
public:
    explicit ChosenForeground(WindowSystem& desktop) : desktop_(desktop) {}
    void Choose(WindowHandle window) noexcept { window_ = window; }

    WindowHandle ForegroundWindow() override { return window_; }
    void EnumTopLevelWindows(const WindowCallback& cb) override {
        desktop_.EnumTopLevelWindows(cb);
    }
    void EnumChildWindows(WindowHandle parent, const WindowCallback& cb) override {
        desktop_.EnumChildWindows(parent, cb);
    }
    std::string ClassName(WindowHandle window) override { return desktop_.ClassName(window); }
    std::optional<std::string> WindowTextTimeout(WindowHandle window, int timeoutMs) override {
        return desktop_.WindowTextTimeout(window, timeoutMs);
    }
    uint32_t WindowProcessId(WindowHandle window) override {
        return desktop_.WindowProcessId(window);
    }
    ProcessImageResult ProcessImagePath(uint32_t processId) override {
        return desktop_.ProcessImagePath(processId);
    }
    bool HasDriveLetters() const override { return desktop_.HasDriveLetters(); }
    std::optional<std::string> QueryDosDevice(std::string_view drive) override {
        return desktop_.QueryDosDevice(drive);
    }
    // A diagnostic closes nothing.
    bool PostCloseRequest(WindowHandle) override { return false; }
    std::unique_ptr<Accessible> AccessibleObjectFromWindow(WindowHandle window) override {
        return desktop_.AccessibleObjectFromWindow(window);
    }

private:
    WindowSystem& desktop_;
    WindowHandle window_ = kNullWindow;
};

// Tabs and line breaks inside a field would break the line apart.
std::string Field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

void PrintLine(const TOnlineTimeApplication& probe, const TMonitoredList* list) {
    char handle[32];
    std::snprintf(handle, sizeof handle, "0x%llx",
                  static_cast<unsigned long long>(probe.WindowHandle()));
    std::string line = handle;
    line += '\t' + Field(probe.GetAppTypeName());
    line += '\t' + Field(probe.AppName());
    line += '\t' + Field(probe.BrowserUrl());
    if (list) {
        int index = -1;
        uint8_t matchKind = 0;
        std::string caption;
        if (probe.FindMonitoredItem(list, index, matchKind, &caption))
            line += '\t' + Field(caption) + '\t' + std::to_string(matchKind);
        else
            line += "\t-\t0";
    }
    std::printf("%s\n", line.c_str());
}

// The settings store of `folder`, loaded and never saved.
std::unique_ptr<TOptions> LoadListFrom(std::string folder) {
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    // Opening a missing database would create an empty one in the user's folder.
    if (::access((folder + "settings.sqlite").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "tallyward-probe: no readable settings.sqlite in %s\n",
                     folder.c_str());
        return nullptr;
    }
    StartupPaths paths;
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
        paths.programFolder = self;
        paths.programFolder.erase(paths.programFolder.rfind('/') + 1);
    }
    paths.exeBaseName = "tallyward";
    paths.dataFolder = folder;
    InitPaths(paths);
    auto options = std::make_unique<TOptions>();
    options->SetSaveOnDestroy(false);
    return options;
}

int Run(int argc, char** argv) {
    bool all = false;
    bool verbose = false;
    std::string dataFolder;
    long waitSeconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("tallyward-probe %s\n", ProgramVersion());
            return 0;
        }
        if (arg == "--all") {
            all = true;
            continue;
        }
        if (arg == "--verbose") {
            verbose = true;
            continue;
        }
        if (arg != "--data-folder" && arg != "--wait") {
            std::fprintf(stderr, "tallyward-probe: unknown argument %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "tallyward-probe: missing value after %s\n%s", arg.c_str(),
                         kUsage);
            return 2;
        }
        const std::string value = argv[++i];
        if (arg == "--data-folder") {
            // An empty one would silently mean no list at all.
            if (value.empty()) {
                std::fprintf(stderr, "tallyward-probe: empty folder after --data-folder\n");
                return 2;
            }
            dataFolder = value;
        } else {
            // Digits only: strtol alone would take "" and " 5" as well.
            const bool digits = !value.empty() && value.size() <= 4 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            waitSeconds = digits ? std::strtol(value.c_str(), nullptr, 10) : -1;
            if (waitSeconds < 0 || waitSeconds > 3600) {
                std::fprintf(stderr, "tallyward-probe: --wait takes 0 to 3600 seconds\n");
                return 2;
            }
        }
    }

    StartAppClock();
    std::unique_ptr<TOptions> options;
    if (!dataFolder.empty()) {
        options = LoadListFrom(dataFolder);
        if (!options)
            return 1;
    }
    const TMonitoredList* list = options ? &options->MonitoredList() : nullptr;

    // Browsers expose their trees once the accessibility bus says so.
    EnableAccessibilityBus();
    if (waitSeconds > 0)
        std::this_thread::sleep_for(std::chrono::seconds(waitSeconds));

    SessionDesktop session = OpenSessionDesktop();
    if (!session.desktop) {
        std::fprintf(stderr, "tallyward-probe: %s\n", session.error.c_str());
        return 1;
    }
    WindowSystem* desktop = session.desktop.get();
    // The X server gone on X11; on Wayland XWayland may come and go.
    const auto connectionLost = [&session] {
        return session.kind == SessionKind::X11 && session.x11->ConnectionLost();
    };
    if (verbose) {
        if (session.wayland) {
            const char* compositor = session.wayland->CompositorName();
            std::fprintf(stderr, "tallyward-probe: Wayland session; compositor interface: %s; %s\n",
                         compositor ? compositor : "none",
                         session.x11 ? "XWayland for X11 clients" : "no XWayland");
        } else {
            std::fprintf(stderr, "tallyward-probe: X11 session\n");
        }
    }

    if (!all) {
        TOnlineTimeApplication probe(*desktop);
        probe.Execute(false, nullptr);
        if (verbose) {
            std::fprintf(stderr, "tallyward-probe: route: %s\n",
                         session.wayland                       ? session.wayland->ForegroundRoute()
                         : probe.WindowHandle() != kNullWindow ? "x11"
                                                               : "none");
        }
        // Nothing to describe: a line for window 0 would read like a program's error.
        if (probe.WindowHandle() == kNullWindow && !connectionLost()) {
            std::fprintf(stderr, "tallyward-probe: no window is in front\n");
            return 1;
        }
        PrintLine(probe, list);
    } else {
        std::vector<WindowHandle> windows;
        desktop->EnumTopLevelWindows([&](WindowHandle window) {
            windows.push_back(window);
            return true;
        });
        ChosenForeground chosen(*desktop);
        TOnlineTimeApplication probe(chosen);
        for (WindowHandle window : windows) {
            chosen.Choose(window);
            probe.Execute(false, nullptr);
            PrintLine(probe, list);
        }
    }
    if (connectionLost()) {
        std::fprintf(stderr, "tallyward-probe: the connection to the X server was lost\n");
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
    try {
        return tw::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyward-probe: %s\n", tw::ErrorLine(e, ": ").c_str());
        return 1;
    }
}
