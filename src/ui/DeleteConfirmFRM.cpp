#include "ui/DeleteConfirmFRM.h"

#include <QAction>
#include <QLabel>

#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

// The label's design-time caption; %1 is the entry's caption.
const char kDescription[] = "Are you sure you want to delete \"%1\" from your time-limit list?";

}  // namespace

TfrmDeleteConfirm::TfrmDeleteConfirm(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Confirm Delete"));
    lblDescription = CreateLabel(QString(), QRect(7, 34, 351, 32), clWhite);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    btnOk = CreateButton(QStringLiteral("OK"), QRect(93, 64, 85, 32));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    btnCancel = CreateButton(QStringLiteral("Cancel"), QRect(187, 64, 85, 32));
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(btnOk, &TImageButton::clicked, this, &TfrmDeleteConfirm::CommonOkClick);
    connect(btnCancel, &TImageButton::clicked, this, &TfrmDeleteConfirm::CommonCancelClick);
    miOk = AddKeyAction(QStringLiteral("OK"),
                        {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                        [this] { CommonOkClick(); });
    miCancel = AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)},
                            [this] { CommonCancelClick(); });
    resize(365, 99);
}

bool TfrmDeleteConfirm::Execute(const QString& text) {
    lblDescription->setText(QString::fromLatin1(kDescription).arg(text));
    return ShowModal();
}

void TfrmDeleteConfirm::CommonOkClick() {
    accept();
}

void TfrmDeleteConfirm::CommonCancelClick() {
    reject();
}

}  // namespace tw
