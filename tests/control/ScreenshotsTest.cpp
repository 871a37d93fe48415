// The windows of the enforcement layer in PNG files (scripts/screenshots.sh).
#include <memory>
#include <vector>

#include <QLineEdit>

#include "control/ErrorMessageFRM.h"
#include "control/FocusSettingsFRM.h"
#include "control/ReminderChangeFRM.h"
#include "control/ReminderFRM.h"
#include "control/ReminderSettingsFRM.h"
#include "control/Reminders.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"
#include "support/ManualClock.h"
#include "ui/Screenshots.h"

namespace tw {
namespace {

// The reminder at a time of day (its part decides the layout), with to-do texts.
void RunReminder(int hour, uint8_t action, bool focus, bool offerFiveMinutes) {
    test::ManualClock clock(EncodeDate(2024, 1, 15) + EncodeTime(hour, 0, 0));
    clock.Install();
    Options().SetReminder(rtMorning, "Finish the quarterly report\nBook the dentist");
    Options().SetReminder(rtAfternoon, "Call the bank about the mortgage");
    Options().SetReminder(rtEvening, "Read a chapter\nGo to bed by eleven");
    Options().ExpirationAction = action;
    TfrmReminder().Execute(Options(), focus, offerFiveMinutes);
}

const std::vector<test::ShotWindow>& Windows() {
    static const std::vector<test::ShotWindow> windows = {
        {"reminder_morning_choice", QSize(504, 533),
         [] { RunReminder(9, eaReminderOnly, false, true); }},
        {"reminder_afternoon_countdown", QSize(504, 413),
         [] { RunReminder(14, eaCloseBrowserApp, false, false); }},
        {"reminder_evening_focus", QSize(504, 295),
         [] { RunReminder(20, eaShutdownComputer, true, true); }},
        {"time_up_settings", QSize(400, 200), [] { TfrmReminderSettings().Execute(Options()); }},
        {"reminder_change", QSize(352, 128),
         [] { TfrmReminderChange().Execute(Options(), ReminderChangeMessage(8)); }},
        {"application_error", QSize(400, 160),
         [] { TfrmErrorMessage().Execute(QStringLiteral("Disk full")); }},
        {"block_mode", QSize(330, 150),
         [] {
             FakeDiscovery fake;
             TAppDiscovery discovery{fake};
             TMonitoredList collecting;
             TDateTime period = 0;
             TfrmFocusSettings(Options(), discovery).Execute(period, &collecting);
         },
         [](TfrmBase& window) {
             dynamic_cast<TfrmFocusSettings&>(window).medTimeLimit->setText(
                 QStringLiteral("01:30"));
         }},
    };
    return windows;
}

using ScreenshotsTest = test::ScreenshotsTest;

TEST_F(ScreenshotsTest, EveryWindowInTheDefaultLookAndEachSkin) {
    RenderEveryLook(Windows());
}

}  // namespace
}  // namespace tw
