// Start-up of the program. Until the panel exists it runs the start-up
// steps that exist and reports what it did.
#include <cstdio>
#include <string>

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
        // Released on every way out, also when seeding refuses to go on.
        struct LockGuard {
            ~LockGuard() { ReleaseSingleInstanceLock(); }
        } lock;
        // Browsers expose their address fields once accessibility is on.
        EnableAccessibilityBus();
        const std::string databases[] = {GetSettingsDBFileName(), GetActivityDBFileName()};
        bool present[2];
        for (int i = 0; i < 2; ++i)
            present[i] = FileExistsOnVolume(databases[i]);
        // Without its databases the program cannot run: a missing template ends it here.
        CopyDatabaseTemplates();
        std::printf("Data folder: %s\n", DataFolder().c_str());
        std::printf("Lock held: %s\n", LockFileName().c_str());
        for (int i = 0; i < 2; ++i) {
            std::printf("%s: %s\n", present[i] ? "Database present" : "Database seeded",
                        databases[i].c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
