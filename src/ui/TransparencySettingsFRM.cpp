#include "ui/TransparencySettingsFRM.h"

#include <tuple>

#include <QAction>
#include <QComboBox>
#include <QLabel>

#include "base/Appearance.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

// Logs the administrator off when the dialog ends, however it ends.
struct AdminLogoff {
    AdminLogoff() = default;
    AdminLogoff(const AdminLogoff&) = delete;
    AdminLogoff& operator=(const AdminLogoff&) = delete;
    ~AdminLogoff() { Options().AdminLoggedIn = false; }
};

}  // namespace

TfrmTransparencySettings::TfrmTransparencySettings(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Transparency Settings"));
    lblTransparency =
        CreateLabel(QStringLiteral("Transparency %:"), QRect(12, 36, 110, 20), clWhite);
    lblTransparency->setObjectName(QStringLiteral("lblTransparency"));

    // The list's own arrow is clipped away; the picture button over its
    // right end drops the list instead.
    cbxTransparency = new QComboBox(this);
    cbxTransparency->setObjectName(QStringLiteral("cbxTransparency"));
    cbxTransparency->setGeometry(122, 35, 82, 22);
    cbxTransparency->setMaxVisibleItems(20);
    for (int percent : kTransparencyPercents) {
        cbxTransparency->addItem(QString::number(percent));
    }
    btnCombo = CreateComboButton(cbxTransparency);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));

    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(30, 60, 73, 32), QRect(112, 60, 73, 32), [this] { btnOkClick(); },
        [this] { btnCancelClick(); });

    // Only the user's choices preview; selecting the stored value does not.
    connect(cbxTransparency, &QComboBox::activated, this,
            &TfrmTransparencySettings::cbxTransparencyChange);
    resize(215, 93);
}

bool TfrmTransparencySettings::Execute() {
    const AdminLogoff logoff;
    FSavedTransparency = tw::GetTransparency();
    const int index = cbxTransparency->findText(QString::number(FSavedTransparency));
    cbxTransparency->setCurrentIndex(index >= 0 ? index : 0);
    const bool ok = ShowModal();
    // The window's own SetTransparency hides the appearance file's here.
    tw::SetTransparency(ok ? SelectedPercent() : FSavedTransparency);
    return ok;
}

int TfrmTransparencySettings::SelectedPercent() const {
    return cbxTransparency->currentText().toInt();
}

void TfrmTransparencySettings::btnOkClick() {
    accept();
}

void TfrmTransparencySettings::btnCancelClick() {
    reject();
}

void TfrmTransparencySettings::cbxTransparencyChange() {
    const int percent = SelectedPercent();
    TfrmBase::SetTransparency(percent);
    tw::SetTransparency(percent);
}

}  // namespace tw
