#include "control/ReminderSettingsFRM.h"

#include <cmath>
#include <tuple>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "base/DateTime.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kWidth = 400;

const char kAppsDescription[] =
    "If you reduce the time allowed on distracting sites/apps or add more sites/apps to your "
    "list, these changes take effect immediately.\n"
    "\n"
    "The following changes happen instantly once a day. Further changes take effect at 4am.\n"
    "-Increasing time allowed on distracting sites/apps\n"
    "-Changing what happens when your time limit is reached.";

// The seconds an "hh:nn" text stands for; the text has passed ValidateTimeLimit.
int32_t LimitSeconds(const QString& text) {
    return int32_t(std::llround(StrToTime(text.toStdString()) * kSecondsPerDay));
}

}  // namespace

TfrmReminderSettings::TfrmReminderSettings(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Time-Up Settings"));
    lblAppsDescription = CreateLabel(QLatin1String(kAppsDescription), QRect(12, 40, 376, 0));
    lblAppsDescription->setObjectName(QStringLiteral("lblAppsDescription"));
    lblAppsDescription->setWordWrap(true);
    // The text decides the height, whatever font stands in for Arial.
    lblAppsDescription->resize(lblAppsDescription->width(),
                               lblAppsDescription->heightForWidth(lblAppsDescription->width()));
    int top = lblAppsDescription->geometry().bottom() + 12;

    lblAction = CreateLabel(QStringLiteral("Time up action:"), QRect(12, top + 3, 110, 20));
    lblAction->setObjectName(QStringLiteral("lblAction"));
    cbxExpirationAction = new QComboBox(this);
    cbxExpirationAction->setObjectName(QStringLiteral("cbxExpirationAction"));
    cbxExpirationAction->setGeometry(124, top, 190, 24);
    for (uint8_t action : {eaReminderOnly, eaCloseBrowserApp, eaShutdownComputer}) {
        cbxExpirationAction->addItem(QLatin1String(ExpirationActionText(action)));
    }
    btnCombo = CreateComboButton(cbxExpirationAction);
    btnCombo->setObjectName(QStringLiteral("btnCombo"));
    top += 34;

    lblTimeLimit = CreateLabel(QStringLiteral("Time Limit:"), QRect(12, top + 4, 110, 20));
    lblTimeLimit->setObjectName(QStringLiteral("lblTimeLimit"));
    medTimeLimit = CreateEdit(QRect(124, top, 64, 26));
    medTimeLimit->setObjectName(QStringLiteral("medTimeLimit"));
    SetupTimeEdit(medTimeLimit);
    lblTimeFormat = CreateLabel(QStringLiteral("hours:minutes"), QRect(196, top + 4, 120, 20));
    lblTimeFormat->setObjectName(QStringLiteral("lblTimeFormat"));
    top += 40;

    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(kWidth - 194, top, 85, 32), QRect(kWidth - 97, top, 85, 32), [this] { btnOkClick(); },
        [this] { btnCancelClick(); });
    resize(kWidth, top + 32 + 12);
}

bool TfrmReminderSettings::Execute(TOptions& options) {
    const TAdminLogoff logoff(options);
    int32_t seconds = 0;
    uint8_t action = 0;
    GetTimeLimitAndAction(options, seconds, action);
    const QString shownLimit = QString::fromStdString(FormatHoursMinutes(seconds / kSecondsPerDay));
    medTimeLimit->setText(shownLimit);
    cbxExpirationAction->setCurrentIndex(action);
    if (!ShowModal()) {
        return false;
    }
    // Only what the user changed is set: setting a value, even the same
    // one, can use up the day's one immediate change.
    const int32_t limit = LimitSeconds(medTimeLimit->text());
    if (limit != LimitSeconds(shownLimit)) {
        options.SetTimeLimitSeconds(limit);
    }
    const auto chosen = uint8_t(cbxExpirationAction->currentIndex());
    if (chosen != action) {
        options.SetExpirationAction(chosen);
    }
    return true;
}

void TfrmReminderSettings::btnOkClick() {
    if (ValidateTimeLimit(medTimeLimit)) {
        accept();
    }
}

void TfrmReminderSettings::btnCancelClick() {
    reject();
}

}  // namespace tw
