// The windows of the enforcement layer in PNG files (scripts/screenshots.sh).
#include <memory>
#include <vector>

#include <QLineEdit>
#include <QMenu>

#include "control/ErrorMessageFRM.h"
#include "control/FocusSettingsFRM.h"
#include "control/MainFRM.h"
#include "control/ReminderChangeFRM.h"
#include "control/ReminderFRM.h"
#include "control/ReminderSettingsFRM.h"
#include "control/Reminders.h"
#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeDiscovery.h"
#include "platform/fake/FakeHotkey.h"
#include "platform/fake/FakePower.h"
#include "platform/fake/FakeSession.h"
#include "support/ListEntries.h"
#include "support/ManualClock.h"
#include "ui/MonitoredListBox.h"
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

TEST_F(ScreenshotsTest, ThePanelInEachView) {
    test::ManualClock clock(EncodeDate(2024, 1, 15) + EncodeTime(15, 20, 0));
    clock.Install();
    for (auto [name, caption] :
         {std::pair{"/usr/bin/chat", "Chat"}, std::pair{"/usr/games/puzzle", "Puzzle"}})
        test::AddEntry(Options().MonitoredList(), mitApplication, name, caption);
    test::AddEntry(Options().MonitoredList(), mitWebSite, "news.example", "news.example");
    Options().SaveMonitoredItems();
    Options().SetReminder(rtAfternoon, "Call the bank about the mortgage");
    FakeDesktop desktop;
    FakePower power;
    FakeSessionNotifier session;
    FakeHotkeySource hotkey;
    FakeDiscovery discovery;
    TfrmMain main({Options(), desktop, power, session, hotkey, discovery, {}, [] { return true; }});
    main.Panel().ShowFromTray();
    const std::pair<const char*, TPanelViewItem> views[] = {
        {"lite", pvLite}, {"all", pvAll}, {"reminders", pvReminders}, {"usage", pvUsage}};
    for (auto [name, item] : views) {
        main.miViews[item]->trigger();
        const QImage shot = main.grab().toImage();
        EXPECT_EQ(shot.width(), 319);
        const QString file =
            OutDir() + QStringLiteral("/default_panel_%1.png").arg(QLatin1String(name));
        EXPECT_TRUE(shot.save(file)) << file.toStdString();
    }
    main.pmnAddons->popup(QPoint(0, 0));
    EXPECT_TRUE(main.pmnAddons->grab().toImage().save(
        OutDir() + QStringLiteral("/default_panel_tools_menu.png")));
    main.pmnAddons->hide();
}

}  // namespace
}  // namespace tw
