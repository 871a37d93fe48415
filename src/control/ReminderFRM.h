#pragma once

#include <cstdint>

#include "control/EnforcementCore.h"
#include "ui/BaseFRM.h"

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QTimer;

// The reminder that comes up when the day's limit is reached or focus mode
// catches a listed item: the message, the to-do texts of the rest of the
// day, and either the choice of what happens (limit reached with the
// action "Reminder Only") or a 60-second countdown. It stays on top and
// only reports how it ended; the enforcement core carries out the choice.
namespace tw {

class TOptions;

class TfrmReminder final : public TfrmBase {
    Q_OBJECT
public:
    // Sized for the part of the day of AppTime now.
    explicit TfrmReminder(QWidget* parent = nullptr);

    // Shows the reminder modally for the limit (ExpirationAction of
    // `options`) or for focus mode, with "Give me 5 Minutes" when offered.
    // The choice is 1 in focus mode, else the action list's index.
    TReminderResult Execute(TOptions& options, bool focus, bool offerFiveMinutes);

    static constexpr int kCountdownSeconds = 60;

    // One countdown step; tmrCountdown runs it every second, tests call it
    // to play that timer.
    void tmrCountdownTimer();

    QLabel* lblReminderText = nullptr;
    QLabel* lblReminderMorning = nullptr;
    QPlainTextEdit* memReminderMorning = nullptr;
    QWidget* pnlReminderMorning = nullptr;
    QLabel* lblReminderAfternoon = nullptr;
    QPlainTextEdit* memReminderAfternoon = nullptr;
    QWidget* pnlReminderAfternoon = nullptr;
    QLabel* lblReminderEvening = nullptr;
    QPlainTextEdit* memReminderEvening = nullptr;
    QWidget* pnlReminderEvening = nullptr;
    QLabel* lblAction = nullptr;
    QComboBox* cbxExpirationAction = nullptr;
    TImageButton* btnComboExpirationAction = nullptr;
    QWidget* pnlExpirationCombo = nullptr;
    QLabel* lblTimeLeft = nullptr;
    QLabel* lblTimeValue = nullptr;
    TImageButton* btnFiveMinutes = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;
    QTimer* tmrCountdown = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // A close request (the window manager's, on Alt+F4) answers as Esc does;
    // the program ends a reminder unanswered by reject(), destruction or
    // quitting.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void btnOkClick();
    void btnFiveMinutesClick();
    // The user or the countdown ends the reminder.
    void CloseAnswered();
    void LayOutForPartOfDay();

    uint8_t FPartOfDay = 0;
    bool FFiveMinutes = false;
    bool FFocus = false;
    bool FAnswered = false;
    bool FCountdownArmed = false;
    // Seconds left, of this window only.
    int FCountdown = kCountdownSeconds;
};

}  // namespace tw
