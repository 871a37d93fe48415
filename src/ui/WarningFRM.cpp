#include "ui/WarningFRM.h"

#include <algorithm>

#include <QAction>
#include <QLabel>

#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kWidth = 352;
constexpr int kLabelTop = 45;
constexpr int kLabelHeight = 38;

}  // namespace

TfrmWarning::TfrmWarning(QWidget* parent) : TfrmBase(parent) {
    setMinimumSize(kWidth, 105);
    lblWarning = CreateLabel(QString(), QRect(10, kLabelTop, 339, kLabelHeight), clWhite);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblWarning->setWordWrap(true);
    btnOk = CreateButton(QStringLiteral("OK"), QRect((kWidth - 85) / 2, 0, 85, 32));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    connect(btnOk, &TImageButton::clicked, this, &TfrmWarning::CommonOkClick);
    miOk = AddKeyAction(QStringLiteral("OK"),
                        {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                        [this] { CommonOkClick(); });
    miCancel = AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)},
                            [this] { CommonOkClick(); });
    resize(kWidth, 135);
}

void TfrmWarning::Execute(const QString& text, const QString& title) {
    setWindowTitle(title);
    lblWarning->setText(text);
    // Long texts grow the window downwards; the button stays under the text.
    const int labelHeight = std::max(lblWarning->heightForWidth(lblWarning->width()), kLabelHeight);
    lblWarning->resize(lblWarning->width(), labelHeight);
    const int buttonTop = kLabelTop + labelHeight + 8;
    btnOk->move(btnOk->x(), buttonTop);
    resize(kWidth, buttonTop + btnOk->height() + 12);
    ShowModal();
}

void TfrmWarning::CommonOkClick() {
    accept();
}

}  // namespace tw
