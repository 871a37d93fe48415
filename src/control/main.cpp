// The program's entry point: the one place that picks the real platform
// backends and builds the objects every window receives.
#include <QApplication>
#include <QDBusConnection>
#include <QSessionManager>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "control/AppServices.h"
#include "control/ApplicationError.h"
#include "control/CommandLine.h"
#include "control/MainFRM.h"
#include "control/TallywardApplication.h"
#include "detection/AppDiscovery.h"
#include "platform/linux/AtspiAccessibility.h"
#include "platform/linux/DesktopFactory.h"
#include "platform/linux/LinuxDiscovery.h"
#include "platform/linux/LogindPower.h"
#include "platform/linux/LogindSession.h"
#include "platform/linux/LogindShutdown.h"
#include "platform/linux/QuitSignals.h"
#include "platform/linux/WaylandDesktop.h"
#include "platform/linux/X11Desktop.h"
#include "platform/linux/X11Hotkey.h"
#include "storage/Options.h"
#include "ui/BaseFRM.h"
#include "ui/SettingsFRM.h"

namespace {

// On Wayland the panel is drawn through XWayland where there is one: a
// Wayland client cannot place itself at the screen's edge, nor keep out of
// the task bar. A choice the user made stands.
void PreferXWaylandForOurWindows() {
    const char* chosen = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    if ((chosen && *chosen) || !display || !*display)
        return;
    if (tw::DetectSessionKind(std::getenv("WAYLAND_DISPLAY"), std::getenv("XDG_SESSION_TYPE")) ==
        tw::SessionKind::Wayland) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

// A second copy says so on stderr and, since a desktop user never sees
// that, in the notice window.
void TellAlreadyRunning(int& argc, char** argv) {
    std::fprintf(stderr, "Please Note: Application is already running\n");
    // Qt ends the process when it cannot reach the display, so that is asked first.
    if (!tw::SessionDisplayReachable())
        return;
    tw::TApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallyward"));
    tw::TfrmBase::ShowWarning(QStringLiteral("Application is already running"),
                              QStringLiteral("Please Note"));
}

}  // namespace

int main(int argc, char* argv[]) {
    using namespace tw;
    if (const int status = HandleProgramArguments(argc, argv); status >= 0) {
        return status;
    } else if (status == kEnableAccessibilityOnly) {
        // Applications read the switch when they start: this runs early at log-in.
        if (EnableAccessibilityBus())
            return 0;
        std::fprintf(stderr,
                     "tallyward: the session's accessibility bus could not be switched on\n");
        return 1;
    }
    // First of all: a session that ends during start-up still ends us cleanly.
    if (!QuitOnTerminationSignals())
        return 1;
    PreferXWaylandForOurWindows();
    try {
        StartAppClock();
        InitPaths(ComputeStartupPaths());
        if (!AcquireSingleInstanceLock()) {
            TellAlreadyRunning(argc, argv);
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
        // Every orderly end (a signal, logind's shutdown, the session's end)
        // leaves the event loops, an open dialog's too; start-up then goes
        // no further.
        bool ending = false;
        const auto end = [&ending] {
            ending = true;
            // exit, not quit: quit asks the windows first, and the panel only hides.
            QCoreApplication::exit(0);
        };
        FollowTerminationSignals(end);

        // X11, or on Wayland the compositor, XWayland and the accessibility bus.
        SessionDesktop session = OpenSessionDesktop();
        if (!session.desktop) {
            std::fprintf(stderr,
                         "Please Note: Tallyward needs a desktop to see the window in front: %s\n",
                         session.error.c_str());
            return 1;
        }
        WindowSystem& desktop = *session.desktop;
        if (session.wayland) {
            const char* compositor = session.wayland->CompositorName();
            WriteLog(std::string("Wayland session: the window in front is read from ") +
                     (compositor ? compositor : "the accessibility bus alone") +
                     (session.x11 ? ", X11 clients from XWayland" : ""));
        }
        // Browsers expose their address fields once accessibility is on.
        EnableAccessibilityBus();

        int status = 0;
        try {
            // Without its databases the program cannot run: a missing template ends it here.
            CopyDatabaseTemplates();
            // The activity's hour sums: built once, or rebuilt when not to be trusted.
            PrepareHourSums();

            TOptions& options = Options();
            LogindShutdown shutdown(QDBusConnection::systemBus());
            shutdown.Start(end);
            // The desktop's session is ending: the settings are saved at once,
            // since the session manager may not wait for the ordinary end.
            QObject::connect(&application, &QGuiApplication::commitDataRequest, &shutdown,
                             [&options, &end](QSessionManager&) {
                                 options.Save();
                                 end();
                             });
            LogindPower power(QDBusConnection::systemBus());
            LogindSession loginSession(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
            X11HotkeySource hotkey;
            LinuxDiscovery discovery(LinuxDiscoveryConfigFromEnvironment());
            const TAppServices services{
                options, desktop, power, loginSession, hotkey, discovery, ApplicationOnException};

            if (!options.IsNotFirstRun) {
                // Marked first, so that a first run cut short is not repeated.
                options.IsNotFirstRun = true;
                options.Save();
                TAppDiscovery appDiscovery(discovery);
                TfrmSettings settings(appDiscovery);
                // The panel's own check of the uninstaller's flag comes only
                // after this window: a removal meanwhile must end us too.
                QTimer uninstallCheck;
                uninstallCheck.setInterval(kShutdownCheckInterval);
                QObject::connect(&uninstallCheck, &QTimer::timeout, [&end] {
                    if (UninstallRequested())
                        end();
                });
                uninstallCheck.start();
                settings.Execute(options, true);
            }
            if (!ending) {
                TfrmMain main(services);
                if (!ending)
                    status = QApplication::exec();
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            ApplicationOnException(std::current_exception());
            status = 1;
        }
        FreeOptions();
        return status;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        WriteLog(ErrorLine(e, "; main: "));
        return 1;
    }
}
