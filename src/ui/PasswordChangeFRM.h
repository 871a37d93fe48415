#pragma once

#include "ui/BaseFRM.h"

class QAction;
class QLabel;
class QLineEdit;

namespace tw {

class TOptions;

// Changes the administrator password after checking the old one.
class TfrmPasswordChange final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmPasswordChange(QWidget* parent = nullptr);

    // True when closed with OK: the new password is then set and saved.
    bool Execute(TOptions& options);

    QLabel* lblOldPassword = nullptr;
    QLabel* lblNewPassword = nullptr;
    QLabel* lblConfirmPassword = nullptr;
    QLineEdit* edOldPassword = nullptr;
    QLineEdit* edNewPassword = nullptr;
    QLineEdit* edConfirmPassword = nullptr;
    QLabel* lblSavePassword = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void CommonOkClick();
    void CommonCancelClick();

    TOptions* options_ = nullptr;
};

}  // namespace tw
