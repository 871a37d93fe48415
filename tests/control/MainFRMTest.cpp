#include "control/MainFRM.h"

#include <QLineEdit>
#include <QTimer>

#include "control/FocusSettingsFRM.h"
#include "control/ReminderFRM.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeDiscovery.h"
#include "platform/fake/FakeHotkey.h"
#include "platform/fake/FakePower.h"
#include "platform/fake/FakeSession.h"
#include "storage/ActivityLogger.h"
#include "support/ListEntries.h"
#include "support/ManualClock.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/SettingsFRM.h"
#include "ui/UiTestSupport.h"

namespace tw {
namespace {

constexpr char kGame[] = "/usr/games/game";

// The main window over the fake platform: what it wires up at creation and
// undoes at the end, and how the panel fares around a reminder.
class MainFRMTest : public test::UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        clock_.Install();
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = mitApplication;
        item->Name = item->Caption = kGame;
        Options().MonitoredList().Add(kGame, std::move(item));
        Options().SaveMonitoredItems();
        Options().ScanPeriodSeconds = 5;
        desktop_.SetDriveLetters(false);
        game_ = desktop_.AddWindow("Game", desktop_.StartProcess(kGame)).Handle();
        desktop_.SetForeground(game_);
    }
    TAppServices Services() {
        return {Options(),
                desktop_,
                power_,
                session_,
                hotkey_,
                discovery_,
                [this](std::exception_ptr) { ++errors_; },
                [this] { return tray_; }};
    }

    test::ManualClock clock_{EncodeDate(2026, 12, 8) + 0.5};
    FakeDesktop desktop_;
    FakePower power_;
    FakeSessionNotifier session_;
    FakeHotkeySource hotkey_;
    FakeDiscovery discovery_;
    WindowHandle game_ = kNullWindow;
    int errors_ = 0;
    bool tray_ = true;
};

TEST_F(MainFRMTest, WiresTheTimersAndSourcesUpAndUndoesThemAtTheEnd) {
    {
        TfrmMain main(Services());
        EXPECT_EQ(main.windowTitle(), QStringLiteral("Tallyward"));
        EXPECT_FALSE(main.isVisible()) << "the panel starts hidden";
        EXPECT_EQ(main.tmrScan->interval(), 5000);
        struct Expected {
            QTimer* timer;
            int interval;
            bool active;
        } timers[] = {{main.tmrScan, 5000, true},
                      {main.tmrTime, 1000, true},
                      {main.tmrUsage, 12001, true},
                      {main.tmrSaveOptions, 240025, true},
                      {main.tmrShutdown, 900, true},
                      {main.tmrTimeSynchronization, 1800000, true},
                      {main.tmrReminderOnly, 300000, false},
                      {main.tmrReminderChange, 100002, true}};
        for (const Expected& e : timers) {
            EXPECT_EQ(e.timer->interval(), e.interval);
            EXPECT_EQ(e.timer->isActive(), e.active) << e.interval;
        }
        EXPECT_TRUE(session_.Registered());
        EXPECT_TRUE(hotkey_.Started());

        // Two Alt taps within half a second show the panel, two more hide it.
        clock_.Advance(1);
        for (const bool shown : {true, false}) {
            hotkey_.Tap();
            clock_.Advance(0.3);
            hotkey_.Tap();
            clock_.Advance(2);
            EXPECT_EQ(main.isVisible(), shown);
        }
        // A lock hides the panel and pauses the scan.
        hotkey_.Tap();
        clock_.Advance(0.3);
        hotkey_.Tap();
        session_.Deactivate();
        EXPECT_FALSE(main.isVisible());
        EXPECT_TRUE(main.Core().ScanPaused());
        session_.Activate();
        EXPECT_FALSE(main.Core().ScanPaused());
    }
    EXPECT_FALSE(session_.Registered());
    EXPECT_FALSE(hotkey_.Started());
    EXPECT_EQ(errors_, 0);
}

TEST_F(MainFRMTest, TheReminderDisablesThePanelAndLeavesItAsItWas) {
    Options().TimeLimitSeconds = 3;
    Options().ExpirationAction = eaCloseBrowserApp;
    TfrmMain main(Services());
    clock_.Advance(5);
    main.Core().tmrScanTimer();  // reaches the limit
    for (const bool enabledBefore : {true, false}) {
        main.setEnabled(enabledBefore);
        bool panelEnabledMeanwhile = true;
        OnModal([&](TfrmBase& window) {
            panelEnabledMeanwhile = main.isEnabled();
            EXPECT_NE(dynamic_cast<TfrmReminder*>(&window), nullptr);
            QTest::keyClick(&window, Qt::Key_Escape);
        });
        main.Core().tmrReminderOnlyTimer();
        clock_.Advance(5);
        main.Core().tmrScanTimer();
        EXPECT_FALSE(panelEnabledMeanwhile);
        EXPECT_EQ(main.isEnabled(), enabledBefore);
    }
    // Esc with "Close Browser/App." closes all the same: the sweep and the tick's own close.
    EXPECT_EQ(desktop_.CloseRequests().size(), 4u);
    EXPECT_EQ(errors_, 0);
}

TEST_F(MainFRMTest, BlockModeStartsFocusModeOnlyWhenConfirmed) {
    TfrmMain main(Services());
    for (const bool confirm : {false, true}) {
        OnModal([confirm](TfrmBase& window) {
            auto& block = dynamic_cast<TfrmFocusSettings&>(window);
            block.medTimeLimit->setText(QStringLiteral("00:30"));
            if (confirm)
                QTest::mouseClick(block.btnOk, Qt::LeftButton);
            else
                block.reject();
        });
        main.btnFocusClick();
        EXPECT_EQ(main.Core().InFocusMode(), confirm);
    }
    EXPECT_NEAR(main.Core().FocusPeriod() * 1440, 30, 1e-6);
}

TEST_F(MainFRMTest, ThePanelListsTheDayPaddedAndClosingOnlySendsItAway) {
    for (const char* name : {"/usr/bin/chat", "/usr/bin/video"})
        test::AddEntry(Options().MonitoredList(), mitApplication, name, name + 9);
    Options().SaveMonitoredItems();
    TfrmMain main(Services());
    main.Panel().ShowView(TPanelSheet::tsMain, false);
    main.Panel().ShowFromTray();
    TMonitoredListBox& list = *main.lbxMain_Applications;
    EXPECT_EQ(list.FilledCount(), 3);
    ASSERT_GT(list.count(), 3) << "padding rows fill the list";
    EXPECT_EQ(list.Caption(1), QStringLiteral("chat")) << "sorted by caption";

    // Delete on a padding row: no dialog, nothing removed.
    OnModal([](TfrmBase& window) {
        ADD_FAILURE() << window.windowTitle().toStdString();
        window.reject();
    });
    list.setCurrentRow(list.count() - 1);
    QTest::mouseClick(main.btnApp_Delete, Qt::LeftButton);
    EXPECT_EQ(Options().MonitoredList().Count(), 3);

    // Alt+F4 with a tray: away into it; without one the panel stays, compact.
    main.close();
    EXPECT_FALSE(main.isVisible());
    tray_ = false;
    main.Panel().ShowFromTray();
    main.close();
    EXPECT_TRUE(main.isVisible());
    EXPECT_TRUE(main.Panel().LiteView());
    EXPECT_EQ(errors_, 0);
}

TEST_F(MainFRMTest, AnItemAddedInSettingsIsCountedFromTheNextTick) {
    constexpr char kChat[] = "/usr/bin/chat";
    const WindowHandle chat = desktop_.AddWindow("Chat", desktop_.StartProcess(kChat)).Handle();
    TfrmMain main(Services());
    OnModal([&](TfrmBase& window) {
        ASSERT_NE(dynamic_cast<TfrmSettings*>(&window), nullptr);
        // What the list page's wizard adds, confirmed.
        test::AddEntry(Options().MonitoredList(), mitApplication, kChat, "Chat");
        Options().SaveMonitoredItems();
        window.accept();
    });
    main.actSettingsExecute();
    desktop_.SetForeground(chat);
    for (int tick = 0; tick < 3; ++tick) {
        clock_.Advance(5);
        main.Core().tmrScanTimer();
    }
    EXPECT_EQ(main.Core().GetLogger().Total(), 15);
    EXPECT_EQ(main.lbxMain_Applications->FilledCount(), 2);
    EXPECT_TRUE(main.tmrSaveOptions->isActive());
    EXPECT_EQ(errors_, 0);
}

}  // namespace
}  // namespace tw
