// The reminder window, "Time-Up Settings" and "Please change reminders",
// answered through the modal hook; the countdown is played by calling its
// handler, never by waiting for its timer.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "base/IniFile.h"
#include "control/ReminderChangeFRM.h"
#include "control/ReminderFRM.h"
#include "control/ReminderSettingsFRM.h"
#include "control/Reminders.h"
#include "support/ManualClock.h"
#include "ui/ImageControls.h"
#include "ui/UiTestSupport.h"

namespace tw {
namespace {

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
}
// Short-cuts reach only the active window.
void Press(TfrmBase& window, Qt::Key key) {
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, key);
}
QString Q(const char* text) {
    return QString::fromUtf8(text);
}

// 2024-01-15 at a time of day, universal time being the local time here.
std::unique_ptr<test::ManualClock> ClockAt(int hour, int minute) {
    auto clock =
        std::make_unique<test::ManualClock>(EncodeDate(2024, 1, 15) + EncodeTime(hour, minute, 0));
    clock->Install();
    return clock;
}

class ReminderTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        clock_ = ClockAt(9, 30);
        Options().SetReminder(rtMorning, "Write the report");
        Options().SetReminder(rtAfternoon, "Call the bank");
        Options().SetReminder(rtEvening, "Read");
    }

    // What the window showed when it came up.
    struct Seen {
        bool actionRow = false, timeRow = false, fiveMinutes = false, countdown = false;
        int interval = 0;
        QString message, time, choice;
        std::string memos;
    };

    // Runs `window` for the limit (action) or focus mode; `answer` plays
    // the user. The real countdown timer is stopped before anything else.
    TReminderResult Run(TfrmReminder& window, uint8_t action, bool focus, bool offerFiveMinutes,
                        const std::function<void(TfrmReminder&)>& answer) {
        Options().ExpirationAction = action;
        seen = {};
        TfrmBase::SetModalHook([&](TfrmBase& shown) {
            auto& w = dynamic_cast<TfrmReminder&>(shown);
            seen.countdown = w.tmrCountdown->isActive();
            seen.interval = w.tmrCountdown->interval();
            w.tmrCountdown->stop();
            seen.actionRow = w.lblAction->isVisible() && w.cbxExpirationAction->isVisible() &&
                             w.btnComboExpirationAction->isVisible();
            seen.timeRow = w.lblTimeLeft->isVisible() && w.lblTimeValue->isVisible();
            seen.fiveMinutes = w.btnFiveMinutes->isVisible();
            seen.message = w.lblReminderText->text();
            seen.time = w.lblTimeValue->text();
            seen.memos = (w.memReminderMorning->toPlainText() + QLatin1Char('|') +
                          w.memReminderAfternoon->toPlainText() + QLatin1Char('|') +
                          w.memReminderEvening->toPlainText())
                             .toStdString();
            seen.choice = w.cbxExpirationAction->currentText();
            answer(w);
        });
        return window.Execute(Options(), focus, offerFiveMinutes);
    }
    TReminderResult Run(uint8_t action, bool focus, bool offerFiveMinutes,
                        const std::function<void(TfrmReminder&)>& answer) {
        TfrmReminder window;
        return Run(window, action, focus, offerFiveMinutes, answer);
    }

    std::unique_ptr<test::ManualClock> clock_;
    Seen seen;
};

TEST_F(ReminderTest, ShowsOnlyTheTextsOfTheRestOfTheDay) {
    struct Case {
        int hour, minute;
        int height;
        const char* blocks;  // visible blocks: Morning, Afternoon, Evening
    };
    const Case cases[] = {{3, 59, 295, "E"},  {4, 0, 533, "MAE"},  {11, 59, 533, "MAE"},
                          {12, 0, 413, "AE"}, {17, 59, 413, "AE"}, {18, 0, 295, "E"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute);
        clock_.reset();
        clock_ = ClockAt(c.hour, c.minute);
        TfrmReminder w;
        EXPECT_EQ(w.height(), c.height);
        EXPECT_EQ(w.windowTitle(), Q("Reminder"));
        EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
        struct Block {
            char letter;
            QLabel* label;
            QWidget* panel;
        };
        const Block blocks[] = {{'M', w.lblReminderMorning, w.pnlReminderMorning},
                                {'A', w.lblReminderAfternoon, w.pnlReminderAfternoon},
                                {'E', w.lblReminderEvening, w.pnlReminderEvening}};
        std::string visible;
        int firstTop = -1, lastBottom = 0;
        for (const Block& b : blocks) {
            EXPECT_EQ(b.label->isHidden(), b.panel->isHidden()) << b.letter;
            if (b.label->isHidden())
                continue;
            visible += b.letter;
            if (firstTop < 0)
                firstTop = b.label->y();
            EXPECT_LT(b.label->geometry().bottom(), b.panel->y());
            EXPECT_GT(b.label->y(), lastBottom);
            lastBottom = b.panel->geometry().bottom();
        }
        EXPECT_EQ(visible, c.blocks);
        // The first block shown takes the morning's place, and the row of
        // buttons stays under the last one, inside the window.
        EXPECT_GT(firstTop, w.lblReminderText->geometry().bottom());
        EXPECT_LE(firstTop, w.lblReminderText->geometry().bottom() + 8);
        for (QWidget* row :
             {static_cast<QWidget*>(w.btnOk), static_cast<QWidget*>(w.btnFiveMinutes),
              static_cast<QWidget*>(w.cbxExpirationAction),
              static_cast<QWidget*>(w.btnComboExpirationAction), w.pnlExpirationCombo,
              static_cast<QWidget*>(w.lblAction), static_cast<QWidget*>(w.lblTimeLeft),
              static_cast<QWidget*>(w.lblTimeValue)}) {
            EXPECT_GT(row->y(), lastBottom) << row->objectName().toStdString();
            EXPECT_LE(row->geometry().bottom(), c.height - 4) << row->objectName().toStdString();
        }
    }
}

TEST_F(ReminderTest, ControlsAndChoiceByActionAndFocus) {
    const auto choose = [](int index, std::function<void(TfrmReminder&)> close) {
        return [index, close](TfrmReminder& w) {
            w.cbxExpirationAction->setCurrentIndex(index);
            close(w);
        };
    };
    const auto ok = [](TfrmReminder& w) { Click(w.btnOk); };
    const auto enter = [](TfrmReminder& w) { Press(w, Qt::Key_Return); };
    const auto esc = [](TfrmReminder& w) { Press(w, Qt::Key_Escape); };
    const auto five = [](TfrmReminder& w) { Click(w.btnFiveMinutes); };
    // The window manager's close (Alt+F4) is the user's too.
    const auto managerClose = [](TfrmReminder& w) { w.windowHandle()->close(); };
    struct Case {
        const char* name;
        uint8_t action;
        bool focus, offerFive;
        std::function<void(TfrmReminder&)> answer;
        bool actionRow;
        TReminderResult expected;
    };
    const Case cases[] = {
        {"continue, then close chosen", 0, false, true, choose(1, ok), true, {false, 1, true}},
        {"continue, then shutdown by Enter",
         0,
         false,
         false,
         choose(2, enter),
         true,
         {false, 2, true}},
        {"continue kept by Esc", 0, false, false, esc, true, {false, 0, true}},
        {"close at once by Esc", 1, false, false, esc, false, {false, 1, true}},
        {"shutdown put off", 2, false, true, five, false, {true, 2, true}},
        {"shutdown, closed by the manager", 2, false, false, managerClose, false, {false, 2, true}},
        {"focus closes whatever the action", 0, true, false, ok, false, {false, 1, true}},
        {"focus with shutdown set", 2, true, true, esc, false, {false, 1, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TReminderResult r = Run(c.action, c.focus, c.offerFive, c.answer);
        EXPECT_EQ(r.answered, c.expected.answered);
        EXPECT_EQ(r.fiveMinutes, c.expected.fiveMinutes);
        EXPECT_EQ(r.choice, c.expected.choice);
        EXPECT_EQ(seen.message, Q(ReminderMessage(c.focus, c.action)));
        EXPECT_EQ(seen.actionRow, c.actionRow);
        EXPECT_EQ(seen.timeRow, !c.actionRow);
        EXPECT_EQ(seen.countdown, !c.actionRow);
        EXPECT_EQ(seen.interval, 1000);
        EXPECT_EQ(seen.time, c.actionRow ? Q("00:00") : Q("01:00"));
        EXPECT_EQ(seen.fiveMinutes, c.offerFive);
        EXPECT_EQ(seen.choice, Q(ReminderChoiceText(c.action)));
        EXPECT_EQ(seen.memos, "Write the report|Call the bank|Read");
    }
}

TEST_F(ReminderTest, CountdownShowsEverySecondAndClosesOneSecondAfterTheLast) {
    TfrmReminder window;
    // A second reminder counting down must not move this one's count.
    TfrmReminder other;
    for (int i = 0; i < 5; ++i)
        other.tmrCountdownTimer();
    std::vector<QString> labels;
    bool openAfterLastLabel = false;
    const TReminderResult r = Run(window, eaShutdownComputer, false, false, [&](TfrmReminder& w) {
        labels.push_back(w.lblTimeValue->text());
        for (int step = 1; step < TfrmReminder::kCountdownSeconds; ++step) {
            w.tmrCountdownTimer();
            labels.push_back(w.lblTimeValue->text());
        }
        openAfterLastLabel = w.isVisible();
        w.tmrCountdownTimer();
    });
    std::vector<QString> expected;
    for (int left = 60; left > 0; --left)
        expected.push_back(QString::asprintf("%02d:%02d", left / 60, left % 60));
    EXPECT_EQ(labels, expected);
    EXPECT_TRUE(openAfterLastLabel);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(r.answered);
    EXPECT_FALSE(r.fiveMinutes);
    EXPECT_EQ(r.choice, eaShutdownComputer);
}

// After QCoreApplication::exit every event loop returns at once until the
// application's own loop has run again.
void ResetApplicationExit() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

TEST_F(ReminderTest, EndedByTheProgramIsNoAnswer) {
    struct Case {
        const char* name;
        std::function<void(TfrmReminder&)> end;
    };
    const Case cases[] = {
        {"application exit during the countdown",
         [](TfrmReminder& w) {
             w.tmrCountdownTimer();
             QCoreApplication::exit(0);
         }},
        {"rejected", [](TfrmReminder& w) { w.reject(); }},
        {"destroyed", [](TfrmReminder& w) { w.deleteLater(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Heap-made and watched: "destroyed" frees it from within its loop.
        QPointer<TfrmReminder> window = new TfrmReminder;
        const TReminderResult r = Run(*window, eaShutdownComputer, false, true, c.end);
        ResetApplicationExit();
        EXPECT_FALSE(r.answered);
        EXPECT_FALSE(r.fiveMinutes);
        if (window) {
            EXPECT_FALSE(window->isVisible());
            EXPECT_FALSE(window->tmrCountdown->isActive());
            delete window.data();
        }
    }
}

// --- Time-Up Settings ---

class ReminderSettingsTest : public test::UiTest {
protected:
    void SetUp() override {
        test::UiTest::SetUp();
        NewDay();
    }
    // A store whose day has used none of its immediate changes, for a user
    // allowed to change the settings.
    static void NewDay() {
        GetIniFile().EraseSection("Common");
        ResetOptions();
        TOptions& o = Options();
        o.AllowUserToChangeSettings = true;
        o.AdminLoggedIn = false;
        o.TimeLimitSeconds = 8 * 3600;
        o.ExpirationAction = eaReminderOnly;
    }
    struct Answer {
        const char* limit;  // typed over the shown one; null keeps it
        int action;         // chosen; -1 keeps it
        bool ok;
    };
    // Runs the window once, recording what it showed.
    bool Run(const Answer& a) {
        OnModal([&](TfrmBase& window) {
            auto& w = dynamic_cast<TfrmReminderSettings&>(window);
            shown.push_back(w.medTimeLimit->text().toStdString() + " " +
                            w.cbxExpirationAction->currentText().toStdString());
            if (a.limit != nullptr)
                w.medTimeLimit->setText(Q(a.limit));
            if (a.action >= 0)
                w.cbxExpirationAction->setCurrentIndex(a.action);
            Click(a.ok ? w.btnOk : w.btnCancel);
            if (w.isVisible()) {
                ADD_FAILURE() << "left open";
                w.reject();
            }
        });
        return TfrmReminderSettings().Execute(Options());
    }
    std::vector<std::string> shown;
};

TEST_F(ReminderSettingsTest, OkAppliesOnlyWhatTheUserChanged) {
    struct Case {
        const char* name;
        int32_t storedLimit;
        std::vector<Answer> answers;
        std::vector<std::string> shown;
        int32_t limit;
        uint8_t action;
    };
    const Case cases[] = {
        // OK without a change keeps the day's one immediate change for later.
        {"unchanged, then a raise and a new action",
         28800,
         {{nullptr, -1, true}, {"10:00", 2, true}},
         {"08:00 Reminder Only", "08:00 Reminder Only"},
         36000,
         eaShutdownComputer},
        // The edit holds whole minutes: the seconds stay unless the user types.
        {"a limit of odd seconds kept",
         5430,
         {{nullptr, -1, true}},
         {"01:30 Reminder Only"},
         5430,
         eaReminderOnly},
        {"a lower limit only",
         28800,
         {{"07:15", -1, true}},
         {"08:00 Reminder Only"},
         26100,
         eaReminderOnly},
        {"cancel after typing",
         28800,
         {{"09:00", 1, false}},
         {"08:00 Reminder Only"},
         28800,
         eaReminderOnly},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewDay();
        shown.clear();
        Options().TimeLimitSeconds = c.storedLimit;
        for (const Answer& a : c.answers) {
            Options().AdminLoggedIn = false;
            EXPECT_EQ(Run(a), a.ok);
        }
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(Options().TimeLimitSeconds, c.limit);
        EXPECT_EQ(Options().ExpirationAction, c.action);
        // Nothing waits for the next day.
        EXPECT_FALSE(GetIniFile().ValueExists("Common", "TimeLimitSeconds"));
        EXPECT_FALSE(GetIniFile().ValueExists("Common", "ExpirationAction"));
    }
}

TEST_F(ReminderSettingsTest, ShowsTheValuesWaitingForTomorrowAndLogsTheAdministratorOff) {
    // A raise and an action already used today: the next ones wait in the
    // appearance file, and that is what the user sees; the administrator
    // sees and sets the store's own.
    Options().SetTimeLimitSeconds(9 * 3600);
    Options().SetExpirationAction(eaCloseBrowserApp);
    Options().SetTimeLimitSeconds(10 * 3600);
    Options().SetExpirationAction(eaShutdownComputer);
    struct Case {
        bool admin;
        Answer answer;
    };
    for (const Case& c : {Case{false, {nullptr, -1, true}}, Case{true, {"11:00", -1, false}},
                          Case{true, {nullptr, -1, true}}}) {
        Options().AdminLoggedIn = c.admin;
        EXPECT_EQ(Run(c.answer), c.answer.ok);
        EXPECT_FALSE(Options().AdminLoggedIn);
    }
    EXPECT_EQ(shown,
              (std::vector<std::string>{"10:00 Shutdown Computer", "09:00 Close Browser/App.",
                                        "09:00 Close Browser/App."}));
    EXPECT_EQ(Options().TimeLimitSeconds, 9 * 3600);
    EXPECT_EQ(Options().ExpirationAction, eaCloseBrowserApp);
    EXPECT_EQ(GetIniFile().ReadInteger("Common", "TimeLimitSeconds", 0), 10 * 3600);
    EXPECT_EQ(GetIniFile().ReadInteger("Common", "ExpirationAction", 0), eaShutdownComputer);
}

// --- Please change reminders ---

using ReminderChangeTest = test::UiTest;

TEST_F(ReminderChangeTest, StoresTheChosenFrequencyByOkEnterAndEscape) {
    struct Case {
        const char* name;
        int chosen;  // -1 keeps the preselected one
        std::function<void(TfrmBase&)> close;
        bool result;
        uint8_t stored;
    };
    const Case cases[] = {
        {"Escape", rcpMonthly, [](TfrmBase& w) { Press(w, Qt::Key_Escape); }, true, rcpMonthly},
        {"Enter", rcpNever, [](TfrmBase& w) { Press(w, Qt::Key_Return); }, true, rcpNever},
        {"OK unchanged", -1, [](TfrmBase& w) { Click(dynamic_cast<TfrmReminderChange&>(w).btnOk); },
         true, rcpWeekly},
        {"closed by the program", rcpDaily, [](TfrmBase& w) { w.reject(); }, false, rcpWeekly},
    };
    const std::string message = ReminderChangeMessage(8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Options().ReminderChangePeriod = rcpWeekly;
        QString text, preselected;
        std::vector<std::string> items;
        OnModal([&](TfrmBase& window) {
            auto& w = dynamic_cast<TfrmReminderChange&>(window);
            text = w.lblWarningText->text();
            preselected = w.cbxReminderChangeFrequency->currentText();
            for (int i = 0; i < w.cbxReminderChangeFrequency->count(); ++i)
                items.push_back(w.cbxReminderChangeFrequency->itemText(i).toStdString());
            if (c.chosen >= 0)
                w.cbxReminderChangeFrequency->setCurrentIndex(c.chosen);
            c.close(w);
        });
        TfrmReminderChange window;
        EXPECT_EQ(window.Execute(Options(), message), c.result);
        EXPECT_EQ(Options().ReminderChangePeriod, c.stored);
        EXPECT_EQ(text, Q("You have not updated your reminders in 8 day(s)"));
        EXPECT_EQ(preselected, Q("Weekly"));
        EXPECT_EQ(items,
                  (std::vector<std::string>{"Never", "Daily", "Weekly", "Fortnightly", "Monthly"}));
        EXPECT_EQ(window.windowTitle(), Q("Please change reminders"));
        EXPECT_TRUE(window.windowFlags() & Qt::WindowStaysOnTopHint);
    }
}

}  // namespace
}  // namespace tw
