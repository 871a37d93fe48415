#include "ui/PasswordCheckFRM.h"

#include <functional>
#include <utility>

#include <tuple>

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"
#include "ui/VendorLinks.h"

namespace tw {

bool CheckAdminPassword(QWidget* owner) {
    if constexpr (!AdminPasswordEnabled) {
        return true;
    }
    TfrmPasswordCheck dialog(owner);
    return dialog.Execute();
}

QLineEdit* CreatePasswordEdit(TfrmBase& form, const QRect& geometry) {
    auto* frame = new TImagePanel(&form);
    frame->SetBackground(ResourcePicture(QLatin1String(pictures::kListFrame)));
    frame->SetSides(8, 8);
    frame->setGeometry(geometry);
    auto* edit = new QLineEdit(frame);
    edit->setEchoMode(QLineEdit::Password);
    // The frame picture is the border; the box itself is plain white.
    edit->setStyleSheet(
        QStringLiteral("QLineEdit { border: none; background: white; "
                       "color: black; lineedit-password-character: 42; }"));
    edit->setGeometry(4, 3, geometry.width() - 8, geometry.height() - 6);
    return edit;
}

QLabel* CreateLoginLink(TfrmBase& form, const QString& text, const QRect& geometry) {
    QLabel* label = form.CreateLabel(text, geometry, clWhite);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    TfrmBase::OnClick(label, [] { TfrmBase::OpenLink(VendorLink(kLoginPage)); });
    return label;
}

TfrmPasswordCheck::TfrmPasswordCheck(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Enter Password"));
    lblPrompt = CreateLabel(QStringLiteral("Please enter your Administrator password to continue"),
                            QRect(12, 40, 328, 34), clWhite);
    lblPrompt->setObjectName(QStringLiteral("lblPrompt"));
    lblPrompt->setWordWrap(true);
    lblPrompt->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lblPassword = CreateLabel(QStringLiteral("Password:"), QRect(12, 81, 80, 20), clWhite);
    lblPassword->setObjectName(QStringLiteral("lblPassword"));
    edPassword = CreatePasswordEdit(*this, QRect(94, 78, 246, 26));
    edPassword->setObjectName(QStringLiteral("edPassword"));
    lblForgotPassword =
        CreateLoginLink(*this, QStringLiteral("Forgot Password"), QRect(12, 121, 130, 20));
    lblForgotPassword->setObjectName(QStringLiteral("lblForgotPassword"));
    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(160, 114, 85, 32), QRect(255, 114, 85, 32), [this] { CommonOkClick(); },
        [this] { CommonCancelClick(); });
    resize(352, 152);
    edPassword->setFocus();
}

bool TfrmPasswordCheck::Execute() {
    return ShowModal();
}

void TfrmPasswordCheck::CommonOkClick() {
    if (Options().CheckPassword(edPassword->text().toStdString())) {
        accept();
        return;
    }
    ShowWarning(QStringLiteral("Invalid password"), QStringLiteral("Please Note"), this);
    edPassword->setFocus();
}

void TfrmPasswordCheck::CommonCancelClick() {
    reject();
}

}  // namespace tw
