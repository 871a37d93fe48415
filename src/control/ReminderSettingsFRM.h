#pragma once

#include "ui/BaseFRM.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;

// "Time-Up Settings": the daily time limit and what happens when it is
// reached, changed through the settings store's rules (a reduction at
// once, a raise or a new action at once only as the day's first change).
namespace tw {

class TOptions;

class TfrmReminderSettings final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmReminderSettings(QWidget* parent = nullptr);

    // Shows the limit and action the user would get (GetTimeLimitAndAction)
    // and, on OK, applies what the user changed of them; true on OK. The
    // administrator is logged off however the window ends.
    bool Execute(TOptions& options);

    QLabel* lblAppsDescription = nullptr;
    QLabel* lblAction = nullptr;
    QComboBox* cbxExpirationAction = nullptr;
    TImageButton* btnCombo = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* medTimeLimit = nullptr;
    QLabel* lblTimeFormat = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void btnOkClick();
    void btnCancelClick();
};

}  // namespace tw
