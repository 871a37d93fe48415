#include "control/ReminderFRM.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>

#include "base/AppClock.h"
#include "control/Reminders.h"
#include "platform/linux/X11Foreground.h"
#include "storage/Options.h"
#include "ui/Colors.h"
#include "ui/ImageControls.h"

namespace tw {

namespace {

constexpr int kWidth = 504;
constexpr int kTextWidth = 480;
constexpr int kBlockLabelHeight = 18;
constexpr int kMemoHeight = 94;
// Tops of the three text blocks; the window heights of the parts of the
// day leave out the blocks above them.
constexpr int kMorningTop = 140;
constexpr int kAfternoonTop = 260;
constexpr int kEveningTop = 378;
constexpr int kButtonRowTop = 497;

// "This Morning:" and its read-only text on the edit frame.
std::tuple<QLabel*, QPlainTextEdit*, QWidget*> CreateBlock(TfrmBase& form, const char* title,
                                                           int top) {
    QLabel* label = form.CreateLabel(QLatin1String(title),
                                     QRect(12, top, kTextWidth, kBlockLabelHeight), clWhite);
    QPlainTextEdit* memo =
        form.CreateMemo(QRect(12, top + kBlockLabelHeight + 2, kTextWidth, kMemoHeight));
    memo->setReadOnly(true);
    QWidget* frame = memo->parentWidget();
    return {label, memo, frame};
}

void SetVisible(std::initializer_list<QWidget*> widgets, bool visible) {
    for (QWidget* w : widgets) {
        w->setVisible(visible);
    }
}

void MoveBy(std::initializer_list<QWidget*> widgets, int offset) {
    for (QWidget* w : widgets) {
        w->move(w->x(), w->y() + offset);
    }
}

}  // namespace

TfrmReminder::TfrmReminder(QWidget* parent) : TfrmBase(parent) {
    setWindowTitle(QStringLiteral("Reminder"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    lblReminderText = CreateLabel(QString(), QRect(12, 40, kTextWidth, 96), clWhite);
    lblReminderText->setObjectName(QStringLiteral("lblReminderText"));
    lblReminderText->setWordWrap(true);
    lblReminderText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    std::tie(lblReminderMorning, memReminderMorning, pnlReminderMorning) =
        CreateBlock(*this, "This Morning:", kMorningTop);
    std::tie(lblReminderAfternoon, memReminderAfternoon, pnlReminderAfternoon) =
        CreateBlock(*this, "This Afternoon:", kAfternoonTop);
    std::tie(lblReminderEvening, memReminderEvening, pnlReminderEvening) =
        CreateBlock(*this, "This Evening:", kEveningTop);
    lblReminderMorning->setObjectName(QStringLiteral("lblReminderMorning"));
    memReminderMorning->setObjectName(QStringLiteral("memReminderMorning"));
    pnlReminderMorning->setObjectName(QStringLiteral("pnlReminderMorning"));
    lblReminderAfternoon->setObjectName(QStringLiteral("lblReminderAfternoon"));
    memReminderAfternoon->setObjectName(QStringLiteral("memReminderAfternoon"));
    pnlReminderAfternoon->setObjectName(QStringLiteral("pnlReminderAfternoon"));
    lblReminderEvening->setObjectName(QStringLiteral("lblReminderEvening"));
    memReminderEvening->setObjectName(QStringLiteral("memReminderEvening"));
    pnlReminderEvening->setObjectName(QStringLiteral("pnlReminderEvening"));

    // The action list sits on a frame of its own; its own arrow is clipped
    // away for the picture button.
    lblAction = CreateLabel(QStringLiteral("Action:"), QRect(12, kButtonRowTop + 6, 56, 20));
    lblAction->setObjectName(QStringLiteral("lblAction"));
    auto* comboFrame = new TImagePanel(this);
    comboFrame->SetBackground(ResourcePicture(QLatin1String(pictures::kListFrame)));
    comboFrame->SetSides(8, 8);
    comboFrame->setGeometry(68, kButtonRowTop + 2, 174, 28);
    pnlExpirationCombo = comboFrame;
    pnlExpirationCombo->setObjectName(QStringLiteral("pnlExpirationCombo"));
    cbxExpirationAction = new QComboBox(this);
    cbxExpirationAction->setObjectName(QStringLiteral("cbxExpirationAction"));
    cbxExpirationAction->setGeometry(70, kButtonRowTop + 4, 170, 24);
    for (uint8_t choice : {eaReminderOnly, eaCloseBrowserApp, eaShutdownComputer}) {
        cbxExpirationAction->addItem(QLatin1String(ReminderChoiceText(choice)));
    }
    btnComboExpirationAction = CreateComboButton(cbxExpirationAction);
    btnComboExpirationAction->setObjectName(QStringLiteral("btnComboExpirationAction"));

    lblTimeLeft = CreateLabel(QStringLiteral("Time Left:"), QRect(12, kButtonRowTop + 6, 76, 20));
    lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));
    lblTimeValue = CreateLabel(QStringLiteral("00:00"), QRect(90, kButtonRowTop + 6, 60, 20));
    lblTimeValue->setObjectName(QStringLiteral("lblTimeValue"));

    btnFiveMinutes =
        CreateButton(QStringLiteral("Give me 5 Minutes"), QRect(256, kButtonRowTop, 144, 32));
    btnFiveMinutes->setObjectName(QStringLiteral("btnFiveMinutes"));
    btnOk = CreateButton(QStringLiteral("OK"), QRect(407, kButtonRowTop, 85, 32));
    btnOk->setObjectName(QStringLiteral("btnOk"));
    connect(btnOk, &TImageButton::clicked, this, &TfrmReminder::btnOkClick);
    connect(btnFiveMinutes, &TImageButton::clicked, this, &TfrmReminder::btnFiveMinutesClick);
    miOk = AddKeyAction(QStringLiteral("OK"),
                        {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                        [this] { btnOkClick(); });
    miCancel = AddKeyAction(QStringLiteral("Cancel"), {QKeySequence(Qt::Key_Escape)},
                            [this] { btnOkClick(); });

    tmrCountdown = new QTimer(this);
    tmrCountdown->setObjectName(QStringLiteral("tmrCountdown"));
    tmrCountdown->setInterval(1000);
    connect(tmrCountdown, &QTimer::timeout, this, &TfrmReminder::tmrCountdownTimer);

    // One reading of the clock decides both the height and what it leaves out.
    FPartOfDay = ReminderPartOfDay(AppTime());
    resize(kWidth, ReminderWindowHeight(FPartOfDay));
    LayOutForPartOfDay();
}

void TfrmReminder::LayOutForPartOfDay() {
    int offset = 0;
    if (FPartOfDay == rtAfternoon) {
        SetVisible({lblReminderMorning, pnlReminderMorning}, false);
        offset = lblReminderMorning->y() - lblReminderAfternoon->y();
        MoveBy({lblReminderAfternoon, pnlReminderAfternoon, lblReminderEvening, pnlReminderEvening,
                pnlExpirationCombo},
               offset);
    } else if (FPartOfDay == rtEvening) {
        SetVisible(
            {lblReminderMorning, pnlReminderMorning, lblReminderAfternoon, pnlReminderAfternoon},
            false);
        offset = lblReminderMorning->y() - lblReminderEvening->y();
        MoveBy({lblReminderEvening, pnlReminderEvening, pnlExpirationCombo}, offset);
    }
    MoveBy({btnFiveMinutes, lblAction, cbxExpirationAction, btnComboExpirationAction, btnOk,
            lblTimeLeft, lblTimeValue},
           offset);
}

TReminderResult TfrmReminder::Execute(TOptions& options, bool focus, bool offerFiveMinutes) {
    FFocus = focus;
    const uint8_t action = std::min<uint8_t>(options.ExpirationAction, eaShutdownComputer);
    lblReminderText->setText(QString::fromUtf8(ReminderMessage(focus, action)));
    btnFiveMinutes->setVisible(offerFiveMinutes);
    // Only the limit with "Reminder Only" lets the user choose; everything
    // else counts down to its action.
    const bool showAction = action == eaReminderOnly && !focus;
    SetVisible({lblAction, pnlExpirationCombo, cbxExpirationAction, btnComboExpirationAction},
               showAction);
    SetVisible({lblTimeLeft, lblTimeValue}, !showAction);
    memReminderMorning->setPlainText(QString::fromStdString(options.ReminderTexts(rtMorning)));
    memReminderAfternoon->setPlainText(QString::fromStdString(options.ReminderTexts(rtAfternoon)));
    memReminderEvening->setPlainText(QString::fromStdString(options.ReminderTexts(rtEvening)));
    cbxExpirationAction->setCurrentIndex(action);
    if (!showAction) {
        FCountdownArmed = true;
        tmrCountdownTimer();
    }

    const QPointer<TfrmReminder> alive(this);
    ShowModal();
    // The program may have destroyed the window from within its loop.
    if (!alive) {
        return {};
    }
    tmrCountdown->stop();
    if (!FAnswered) {
        // The loop was ended for it (the program quits): nothing is chosen.
        hide();
        return {};
    }
    TReminderResult result;
    result.answered = true;
    result.fiveMinutes = FFiveMinutes;
    result.choice =
        FFocus ? uint8_t(eaCloseBrowserApp) : uint8_t(cbxExpirationAction->currentIndex());
    return result;
}

void TfrmReminder::tmrCountdownTimer() {
    if (FCountdown > 0) {
        lblTimeValue->setText(QString::asprintf("%02d:%02d", FCountdown / 60, FCountdown % 60));
        FCountdown = int(std::lround(FCountdown - tmrCountdown->interval() / 1000.0));
        return;
    }
    CloseAnswered();
}

void TfrmReminder::showEvent(QShowEvent* event) {
    TfrmBase::showEvent(event);
    // Counted from the moment the user sees it.
    if (FCountdownArmed && !tmrCountdown->isActive()) {
        tmrCountdown->start();
    }
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        RequestForeground(winId());
    }
}

void TfrmReminder::closeEvent(QCloseEvent* event) {
    FAnswered = true;
    TfrmBase::closeEvent(event);
}

void TfrmReminder::keyPressEvent(QKeyEvent* event) {
    // Esc reaches the dialog's own handling, not the short-cut, while the
    // window is not yet the active one: it is the user's answer all the same.
    if (event->key() == Qt::Key_Escape)
        FAnswered = true;
    TfrmBase::keyPressEvent(event);
}

void TfrmReminder::btnOkClick() {
    CloseAnswered();
}

void TfrmReminder::btnFiveMinutesClick() {
    FFiveMinutes = true;
    CloseAnswered();
}

void TfrmReminder::CloseAnswered() {
    FAnswered = true;
    accept();
}

}  // namespace tw
