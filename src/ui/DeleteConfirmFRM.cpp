#include "ui/DeleteConfirmFRM.h"

#include <tuple>

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
    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(93, 64, 85, 32), QRect(187, 64, 85, 32), [this] { CommonOkClick(); },
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
