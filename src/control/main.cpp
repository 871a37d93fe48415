// Start-up of the program. Until the panel exists it runs the start-up
// steps that exist and reports what it did.
#include <cstdio>

#include "base/AppClock.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "platform/linux/AtspiAccessibility.h"

int main() {
    using namespace tw;
    try {
        StartAppClock();
        InitPaths(ComputeStartupPaths());
        if (!AcquireSingleInstanceLock()) {
            std::fprintf(stderr, "Please Note: Application is already running\n");
            return 1;
        }
        // Browsers expose their address fields once accessibility is on.
        EnableAccessibilityBus();
        const bool seeded = !FileExistsOnVolume(GetSettingsDBFileName());
        CopyDatabaseTemplates();
        std::printf("Data folder: %s\n", DataFolder().c_str());
        std::printf("Lock held: %s\n", LockFileName().c_str());
        if (seeded) {
            std::printf("Databases %s from the templates in %s\n",
                        FileExistsOnVolume(GetSettingsDBFileName()) ? "seeded" : "not seeded",
                        ProgramFolder().c_str());
        } else {
            std::printf("Databases present: %s\n", GetSettingsDBFileName().c_str());
        }
        ReleaseSingleInstanceLock();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
