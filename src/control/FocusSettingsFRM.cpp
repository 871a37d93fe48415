#include "control/FocusSettingsFRM.h"

#include <tuple>
#include <utility>

#include <QAction>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include "base/Exceptions.h"
#include "storage/Options.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kWidth = 330;
constexpr int kLeft = 12;
constexpr int kSentenceTop = 70;

const char kSentence[] = "on your list for ";
const char kListWords[] = "your list";

}  // namespace

TfrmFocusSettings::TfrmFocusSettings(TOptions& options, TAppDiscovery& discovery,
                                     std::function<bool()> checkSettingsAccess, QWidget* parent)
    : TfrmBase(parent),
      FOptions(options),
      FDiscovery(discovery),
      FCheckSettingsAccess(std::move(checkSettingsAccess)) {
    setWindowTitle(QStringLiteral("Block Mode"));
    lblAppsDescription = CreateLabel(QStringLiteral("Block all sites and applications"),
                                     QRect(kLeft, 44, kWidth - 2 * kLeft, 20));
    lblAppsDescription->setObjectName(QStringLiteral("lblAppsDescription"));

    // The second line reads on through the edit; the link lies over the
    // words "your list" of the label.
    const QString sentence = QLatin1String(kSentence);
    const QString listWords = QLatin1String(kListWords);
    lblTimeLimit = CreateLabel(sentence, QRect(kLeft, kSentenceTop, 0, 20));
    lblTimeLimit->setObjectName(QStringLiteral("lblTimeLimit"));
    const QFontMetrics metrics = lblTimeLimit->fontMetrics();
    const int sentenceWidth = metrics.horizontalAdvance(sentence);
    lblTimeLimit->resize(sentenceWidth, lblTimeLimit->height());
    const int wordsLeft = metrics.horizontalAdvance(sentence.left(sentence.indexOf(listWords)));
    lblAppWizardLink = CreateLabel(listWords, QRect(kLeft + wordsLeft, kSentenceTop,
                                                    metrics.horizontalAdvance(listWords) + 1, 20));
    lblAppWizardLink->setObjectName(QStringLiteral("lblAppWizardLink"));
    QFont linkFont = lblAppWizardLink->font();
    linkFont.setUnderline(true);
    lblAppWizardLink->setFont(linkFont);
    lblAppWizardLink->setCursor(Qt::PointingHandCursor);
    lblAppWizardLink->installEventFilter(this);

    const int editLeft = kLeft + sentenceWidth;
    medTimeLimit = CreateEdit(QRect(editLeft, kSentenceTop - 4, 60, 26));
    medTimeLimit->setObjectName(QStringLiteral("medTimeLimit"));
    SetupTimeEdit(medTimeLimit);
    lblHoursMinutes =
        CreateLabel(QStringLiteral("hours:minutes"), QRect(editLeft + 66, kSentenceTop, 110, 20));
    lblHoursMinutes->setObjectName(QStringLiteral("lblHoursMinutes"));

    lblNote = CreateLabel(QStringLiteral("Once started, this mode cannot be stopped until the "
                                         "time you have set runs out."),
                          QRect(kLeft, 104, kWidth - 2 * kLeft, 0));
    lblNote->setObjectName(QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->resize(lblNote->width(), lblNote->heightForWidth(lblNote->width()));
    const int buttonTop = lblNote->geometry().bottom() + 12;
    std::tie(btnOk, btnCancel, miOk, miCancel) = AddOkCancel(
        QRect(kWidth - 194, buttonTop, 85, 32), QRect(kWidth - 97, buttonTop, 85, 32),
        [this] { btnOkClick(); }, [this] { btnCancelClick(); });
    resize(kWidth, buttonTop + 32 + 12);
}

bool TfrmFocusSettings::Execute(TDateTime& period, TMonitoredList* collecting) {
    Require(collecting != nullptr, "FocusSettingsFRM");
    FCollecting = collecting;
    medTimeLimit->setText(QStringLiteral("00:00"));
    if (!ShowModal()) {
        return false;
    }
    period = StrToTime(medTimeLimit->text().toStdString());
    return true;
}

bool TfrmFocusSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblAppWizardLink && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            lblAppWizardLink->rect().contains(mouse->position().toPoint())) {
            lblAppWizardLinkClick();
            return true;
        }
    }
    return TfrmBase::eventFilter(watched, event);
}

void TfrmFocusSettings::btnOkClick() {
    if (ValidateTimeLimit(medTimeLimit)) {
        accept();
    }
}

void TfrmFocusSettings::btnCancelClick() {
    reject();
}

void TfrmFocusSettings::lblAppWizardLinkClick() {
    if (FCheckSettingsAccess && !FCheckSettingsAccess()) {
        return;
    }
    TfrmAppSiteAddWizard wizard(FDiscovery, this);
    wizard.Execute(&FOptions, &FOptions.MonitoredList(), FCollecting);
}

}  // namespace tw
