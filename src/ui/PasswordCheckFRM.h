#pragma once

#include <QRect>
#include <QString>

#include "ui/BaseFRM.h"

class QAction;
class QLabel;
class QLineEdit;

namespace tw {

// Whether the user may go on with a protected command: always in the build
// without the password, else after the password dialog closes with OK.
bool CheckAdminPassword(QWidget* owner = nullptr);

// A box on the skinned edit frame showing each typed character as "*".
QLineEdit* CreatePasswordEdit(TfrmBase& form, const QRect& geometry);
// An underlined label that opens the vendor's login page (where a forgotten
// password is recovered or a new one kept online) when clicked.
QLabel* CreateLoginLink(TfrmBase& form, const QString& text, const QRect& geometry);

// Asks for the administrator password before a protected command.
class TfrmPasswordCheck final : public TfrmBase {
    Q_OBJECT
public:
    explicit TfrmPasswordCheck(QWidget* parent = nullptr);

    // True when closed with OK, i.e. the right password was given.
    bool Execute();

    QLabel* lblPrompt = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* edPassword = nullptr;
    QLabel* lblForgotPassword = nullptr;
    TImageButton* btnOk = nullptr;
    TImageButton* btnCancel = nullptr;
    QAction* miOk = nullptr;
    QAction* miCancel = nullptr;

private:
    void CommonOkClick();
    void CommonCancelClick();
};

}  // namespace tw
