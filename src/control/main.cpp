// The program's entry point: the one place that picks the real platform
// backends and builds the objects every window receives.
#include <QApplication>
#include <QDBusConnection>
#include <cstdio>
#include <memory>
#include <string>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "control/AppServices.h"
#include "control/ApplicationError.h"
#include "control/MainFRM.h"
#include "control/TallywardApplication.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/LinuxDiscovery.h"
#include "platform/linux/LogindPower.h"
#include "platform/linux/LogindSession.h"
#include "platform/linux/QuitSignals.h"
#include "platform/linux/X11Desktop.h"
#include "platform/linux/X11Hotkey.h"
#include "storage/Options.h"

int main(int argc, char* argv[]) {
    using namespace tw;
    // First of all: a session that ends during start-up still ends us cleanly.
    if (!QuitOnTerminationSignals())
        return 1;
    try {
        StartAppClock();
        InitPaths(ComputeStartupPaths());
        if (!AcquireSingleInstanceLock()) {
            std::fprintf(stderr, "Please Note: Application is already running\n");
            return 1;
        }
        // Released on every way out, also when seeding refuses to go on.
        struct LockGuard {
            ~LockGuard() { ReleaseSingleInstanceLock(); }
        } lock;

        TApplication application(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Tallyward"));
        // The panel only hides when closed; the program ends by its own exit.
        QApplication::setQuitOnLastWindowClosed(false);
        FollowTerminationSignals();

        std::unique_ptr<X11Desktop> desktop = X11Desktop::Open();
        if (!desktop) {
            std::fprintf(stderr,
                         "Please Note: Tallyward needs an X11 display to see the window in "
                         "front, and DISPLAY names none it can open\n");
            return 1;
        }
        // Browsers expose their address fields once accessibility is on.
        EnableAccessibilityBus();
        // Without its databases the program cannot run: a missing template ends it here.
        CopyDatabaseTemplates();
        PrepareHourSums();  // builds the activity's hour sums once, or rebuilds them

        TOptions& options = Options();
        LogindPower power(QDBusConnection::systemBus());
        LogindSession session(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        X11HotkeySource hotkey;
        LinuxDiscovery discovery(LinuxDiscoveryConfigFromEnvironment());
        const TAppServices services{
            options, *desktop, power, session, hotkey, discovery, ApplicationOnException};
        int status = 0;
        {
            TfrmMain main(services);
            status = QApplication::exec();
        }
        FreeOptions();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        WriteLog(ErrorLine(e, "; main: "));
        return 1;
    }
}
