#pragma once

#include <string>

#include "ui/BaseFRM.h"

class QAction;
class QComboBox;
class QLabel;

// "Please change reminders": tells the user the to-do texts have not been
// updated for a while and lets them choose how often to be asked.
namespace tw {

class TOptions;

class TfrmReminderChange final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmReminderChange(QWidget* parent = nullptr);

    // Shows `message` with the frequency list on ReminderChangePeriod. OK,
    // Enter and Escape alike store the chosen frequency and answer true;
    // false only when the program closed the window.
    bool Execute(TOptions& options, const std::string& message);

    QLabel* lblWarningText = nullptr;
    QLabel* lblRemindMe = nullptr;
    QComboBox* cbxReminderChangeFrequency = nullptr;
    TImageButton* btnCombo = nullptr;
    TImageButton* btnOk = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void CommonOkClick();

    TOptions* FOptions = nullptr;
};

}  // namespace tw
