#include "ui/PasswordChangeFRM.h"

#include <string>

#include <tuple>

#include <QAction>
#include <QLabel>
#include <QLineEdit>

#include "base/Strings.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/PasswordCheckFRM.h"

namespace tw {

TfrmPasswordChange::TfrmPasswordChange(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Change Password"));
    const QString captions[] = {QStringLiteral("Old Password:"), QStringLiteral("New Password:"),
                                QStringLiteral("Confirm Password:")};
    QLabel* labels[3] = {};
    QLineEdit* edits[3] = {};
    for (int i = 0; i < 3; ++i) {
        const int top = 42 + i * 32;
        labels[i] = CreateLabel(captions[i], QRect(12, top + 3, 130, 20), clWhite);
        edits[i] = CreatePasswordEdit(*this, QRect(146, top, 200, 26));
    }
    lblOldPassword = labels[0];
    lblNewPassword = labels[1];
    lblConfirmPassword = labels[2];
    edOldPassword = edits[0];
    edNewPassword = edits[1];
    edConfirmPassword = edits[2];
    edOldPassword->setObjectName(QStringLiteral("edOldPassword"));
    edNewPassword->setObjectName(QStringLiteral("edNewPassword"));
    edConfirmPassword->setObjectName(QStringLiteral("edConfirmPassword"));
    setTabOrder(edOldPassword, edNewPassword);
    setTabOrder(edNewPassword, edConfirmPassword);

    lblSavePassword =
        CreateLoginLink(*this, QStringLiteral("Save Password Online"), QRect(12, 153, 160, 20));
    lblSavePassword->setObjectName(QStringLiteral("lblSavePassword"));
    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(166, 146, 85, 32), QRect(261, 146, 85, 32), [this] { CommonOkClick(); },
        [this] { CommonCancelClick(); });
    resize(358, 191);
    edOldPassword->setFocus();
}

bool TfrmPasswordChange::Execute(TOptions& options) {
    options_ = &options;
    return ShowModal();
}

void TfrmPasswordChange::CommonOkClick() {
    if (options_ == nullptr) {
        return;
    }
    const QString title = QStringLiteral("Please Note");
    if (!options_->CheckPassword(edOldPassword->text().toStdString())) {
        ShowWarning(QStringLiteral("Invalid old password"), title, this);
        edOldPassword->setFocus();
        return;
    }
    // Letter case is forgiven in the confirmation; the new box's text is what counts.
    const std::string newPassword = edNewPassword->text().toStdString();
    if (!SameText(newPassword, edConfirmPassword->text().toStdString())) {
        ShowWarning(QStringLiteral("Passwords do not match"), title, this);
        edNewPassword->setFocus();
        return;
    }
    options_->SetPassword(newPassword);
    options_->Save();
    ShowWarning(QStringLiteral("Password was successfully changed"), QStringLiteral("Information"),
                this);
    accept();
}

void TfrmPasswordChange::CommonCancelClick() {
    reject();
}

}  // namespace tw
