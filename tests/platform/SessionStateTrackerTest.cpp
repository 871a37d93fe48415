#include "platform/SessionStateTracker.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace tw {
namespace {

// Writes one letter per notification: S suspending, R resumed,
// D deactivated, A activated.
class Recorder final : public SessionObserver {
public:
    void SystemSuspending() override { text += 'S'; }
    void SystemResumed() override { text += 'R'; }
    void SessionDeactivated() override { text += 'D'; }
    void SessionActivated() override { text += 'A'; }
    std::string text;
};

// Steps: L/N/F/G = lock hint, not-active, screen saver, GNOME screen saver,
// z = sleep; + sets, - clears. The answer gives what each step delivered,
// "." for nothing.
std::string Deliveries(const std::string& steps) {
    Recorder recorder;
    SessionStateTracker tracker(recorder);
    std::istringstream in(steps);
    std::string step, delivered;
    while (in >> step) {
        const bool on = step[1] == '+';
        recorder.text.clear();
        switch (step[0]) {
            case 'L':
                tracker.SetInactive(SessionSource::Locked, on);
                break;
            case 'N':
                tracker.SetInactive(SessionSource::NotActive, on);
                break;
            case 'F':
                tracker.SetInactive(SessionSource::ScreenSaver, on);
                break;
            case 'G':
                tracker.SetInactive(SessionSource::GnomeScreenSaver, on);
                break;
            case 'z':
                tracker.SetSleeping(on);
                break;
            default:
                ADD_FAILURE() << step;
        }
        delivered += (delivered.empty() ? "" : " ") + (recorder.text.empty() ? "." : recorder.text);
    }
    return delivered;
}

TEST(SessionStateTrackerTest, InactiveWhileAnySourceSaysSo) {
    const struct {
        const char* steps;
        const char* delivered;
    } cases[] = {
        {"L+ L-", "D A"},
        {"N+ N-", "D A"},
        {"L+ L+ L- L-", "D . A ."},
        // Active again only when every source says so, in whatever order.
        {"L+ F+ L- F-", "D . . A"},
        {"F+ G+ N+ G- F- N-", "D . . . . A"},
        // A screen saver that is not running says active from the start.
        {"L- F- G- N-", ". . . ."},
        // A locker that unlocks by itself tells only one source.
        {"L+ F+ F-", "D . ."},
        // Sleep is apart from the session, and repeats are not passed on.
        {"z+ z+ z- z-", "S . R ."},
        {"z-", "."},
        {"z+ L+ z- L-", "S D R A"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Deliveries(c.steps), c.delivered) << c.steps;
}

}  // namespace
}  // namespace tw
