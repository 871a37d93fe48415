// End-to-end helper: writes a time-limit list into a data folder through
// the settings store, and runs the real sweep of the probe over the X
// desktop (X11, or Wayland as the program opens it) with the list read
// back from that folder.
//   tw_e2e_sweep make-list DIR PROGRAM-PATH CAPTION
//   tw_e2e_sweep make-site-list DIR SITE CAPTION
//   tw_e2e_sweep sweep DIR
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/linux/DesktopFactory.h"
#include "platform/linux/X11Desktop.h"
#include "storage/Options.h"

namespace {

// The templates sit beside this program, as beside the real one.
void UseDataFolder(std::string folder) {
    if (folder.back() != '/')
        folder += '/';
    tw::StartupPaths paths;
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) > 0) {
        paths.programFolder = self;
        paths.programFolder.erase(paths.programFolder.rfind('/') + 1);
    }
    paths.exeBaseName = "tallyward";
    paths.dataFolder = folder;
    tw::InitPaths(paths);
}

int Run(int argc, char** argv) {
    using namespace tw;
    const std::string command = argc > 1 ? argv[1] : "";
    const bool site = command == "make-site-list";
    if ((command == "make-list" || site) && argc == 5) {
        UseDataFolder(argv[2]);
        StartAppClock();
        CopyDatabaseTemplates();
        TOptions options;
        options.SetSaveOnDestroy(false);
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = site ? mitWebSite : mitApplication;
        item->Name = argv[3];
        item->Caption = argv[4];
        options.MonitoredList().Add(argv[4], std::move(item));
        options.SaveMonitoredItems();
        return 0;
    }
    if (command == "sweep" && argc == 3) {
        UseDataFolder(argv[2]);
        StartAppClock();
        TOptions options;
        options.SetSaveOnDestroy(false);
        if (options.MonitoredList().Count() == 0) {
            std::fprintf(stderr, "tw_e2e_sweep: the list in %s is empty\n", argv[2]);
            return 1;
        }
        // The session's own desktop, as the program picks it.
        SessionDesktop session = OpenSessionDesktop();
        if (!session.desktop) {
            std::fprintf(stderr, "tw_e2e_sweep: %s\n", session.error.c_str());
            return 1;
        }
        TOnlineTimeApplication probe(*session.desktop);
        probe.Execute(true, &options.MonitoredList());
        return session.kind == SessionKind::X11 && session.x11->ConnectionLost() ? 1 : 0;
    }
    std::fprintf(stderr,
                 "usage: tw_e2e_sweep make-list|make-site-list DIR NAME CAPTION | sweep DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tw_e2e_sweep: %s\n", tw::ErrorLine(e, ": ").c_str());
        return 1;
    }
}
