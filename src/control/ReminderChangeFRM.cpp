#include "control/ReminderChangeFRM.h"

#include <algorithm>

#include <QAction>
#include <QComboBox>
#include <QLabel>

#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kWidth = 352;

// By ReminderChangePeriod value.
constexpr const char* kFrequencies[] = {"Never", "Daily", "Weekly", "Fortnightly", "Monthly"};

}  // namespace

TfrmReminderChange::TfrmReminderChange(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Please change reminders"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblWarningText = CreateLabel(QString(), QRect(12, 40, kWidth - 24, 36));
    lblWarningText->setObjectName(QStringLiteral("lblWarningText"));
    lblWarningText->setWordWrap(true);
    lblWarningText->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    lblRemindMe = CreateLabel(QStringLiteral("Remind me:"), QRect(12, 91, 84, 20));
    lblRemindMe->setObjectName(QStringLiteral("lblRemindMe"));
    cbxReminderChangeFrequency = new QComboBox(this);
    cbxReminderChangeFrequency->setObjectName(QStringLiteral("cbxReminderChangeFrequency"));
    cbxReminderChangeFrequency->setGeometry(98, 88, 140, 24);
    for (const char* frequency : kFrequencies) {
        cbxReminderChangeFrequency->addItem(QLatin1String(frequency));
    }
    btnCombo = CreateComboButton(cbxReminderChangeFrequency);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));
    btnOk = CreateButton(QStringLiteral("OK"), QRect(kWidth - 97, 84, 85, 32));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    connect(btnOk, &TImageButton::clicked, this, &TfrmReminderChange::CommonOkClick);
    miOk = AddKeyAction(QStringLiteral("OK"),
                        {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                        [this] { CommonOkClick(); });
    miCancel = AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)},
                            [this] { CommonOkClick(); });
    resize(kWidth, 128);
}

bool TfrmReminderChange::Execute(TOptions& options, const std::string& message) {
    FOptions = &options;
    lblWarningText->setText(QString::fromStdString(message));
    cbxReminderChangeFrequency->setCurrentIndex(
        std::min<int>(options.ReminderChangePeriod, rcpMonthly));
    return ShowModal();
}

void TfrmReminderChange::CommonOkClick() {
    FOptions->ReminderChangePeriod = uint8_t(cbxReminderChangeFrequency->currentIndex());
    accept();
}

}  // namespace tw
