#include "control/MainFRM.h"

#include <algorithm>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalBlocker>
#include <QString>
#include <QTimer>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "control/FocusMode.h"
#include "control/FocusSettingsFRM.h"
#include "control/ReminderChangeFRM.h"
#include "control/ReminderFRM.h"
#include "control/ReminderSettingsFRM.h"
#include "control/Reminders.h"
#include "control/TaskBarState.h"
#include "control/TrayIcon.h"
#include "detection/AppDiscovery.h"
#include "platform/Hotkey.h"
#include "storage/ActivityLogger.h"
#include "storage/MonitoredObjects.h"
#include "storage/Options.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/Colors.h"
#include "ui/DeleteConfirmFRM.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/PasswordCheckFRM.h"
#include "ui/SettingsFRM.h"
#include "ui/TransparencySettingsFRM.h"
#include "ui/VendorLinks.h"

namespace tw {

namespace {

constexpr int kPanelWidth = 319;
constexpr int kLaidOutHeight = 602;
constexpr int kPagesTop = 96;
constexpr int kStepHeight = 44;
constexpr int kListLeft = 7;
// Column headers; the rows' rules follow them.
constexpr int kNameWidth = 171;
constexpr int kTypeWidth = 42;
constexpr int kTimeWidth = 92;
constexpr int kListWidth = kNameWidth + kTypeWidth + kTimeWidth;
constexpr int kMainRowHeight = 16;
constexpr int kUsageRowHeight = 13;

const char* const kReminderParts[] = {"Morning", "Afternoon", "Evening"};
const char* const kReminderPartTitles[] = {"This Morning:", "This Afternoon:", "This Evening:"};
const char* const kUsagePeriods[] = {"Today",        "Last 24 Hours", "Last 7 Days",
                                     "Last 14 Days", "Last 30 Days",  "Last 3 months"};

// The header's 16 x 16 glyphs, drawn here so they follow the text colour's weight.
QImage HeaderGlyph(char kind) {
    QImage glyph(16, 16, QImage::Format_ARGB32_Premultiplied);
    glyph.fill(Qt::transparent);
    QPainter painter(&glyph);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 2));
    switch (kind) {
        case 'v':  // view: a list
            for (int y : {4, 8, 12})
                painter.drawLine(3, y, 13, y);
            break;
        case 't':  // tools: a cog-like star
            painter.drawEllipse(QPointF(8, 8), 3.5, 3.5);
            for (int i = 0; i < 4; ++i) {
                painter.save();
                painter.translate(8, 8);
                painter.rotate(45.0 * i);
                painter.drawLine(0, -7, 0, 7);
                painter.restore();
            }
            break;
        default:  // minimise
            painter.drawLine(3, 12, 13, 12);
            break;
    }
    return glyph;
}

// The time frames fit their title and value: the value 6 pixels after the title.
void FitTimeFrame(QWidget& frame, QLabel& title, QLabel& value) {
    const QFontMetrics metrics(value.font());
    const int titleWidth = metrics.horizontalAdvance(title.text());
    const int valueWidth = metrics.horizontalAdvance(value.text());
    title.resize(titleWidth + 2, title.height());
    value.setGeometry(title.x() + titleWidth + 6, title.y(), valueWidth + 2, value.height());
    frame.resize(titleWidth + valueWidth + 34, frame.height());
}

QLabel* MakeLink(QLabel* label) {
    QFont font = label->font();
    font.setUnderline(true);
    font.setBold(false);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

}  // namespace

// A QTimer as the rules switch it: enabling starts a new interval.
class TQtCoreTimer final : public TCoreTimer {
public:
    explicit TQtCoreTimer(QTimer& timer) : timer_(timer) {}
    void SetEnabled(bool enabled) override {
        if (enabled)
            timer_.start();
        else
            timer_.stop();
    }
    bool Enabled() const override { return timer_.isActive(); }
    void SetInterval(int milliseconds) override { timer_.setInterval(milliseconds); }

private:
    QTimer& timer_;
};

TfrmMain::TfrmMain(const TAppServices& services, QWidget* parent)
    : TfrmBase(parent), services_(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Tallyward"));
    // Neither in the task bar nor in the task switcher, and above the windows it docks beside.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    KeepOffTaskBar(*this);
    resize(kPanelWidth, kLaidOutHeight);
    panelRect_ = {0, 0, kPanelWidth, kLaidOutHeight};
    PageControl(QRect(0, kPagesTop, kPanelWidth, kLaidOutHeight - kPagesTop - kStepHeight));

    BuildTimeArea();
    BuildMainPage();
    BuildReminderPage();
    BuildUsagePage();
    BuildMenus();

    // The laid-out 4 s; ApplyOptions puts the stored period in.
    tmrScan = AddTimer(4000, true, [this] { core_->tmrScanTimer(); });
    tmrTime = AddTimer(kTimeInterval, true, [this] { core_->tmrTimeTimer(); });
    tmrUsage = AddTimer(kUsageInterval, true, [this] { core_->tmrUsageTimer(); });
    tmrSaveOptions = AddTimer(kSaveOptionsInterval, true, [this] { core_->tmrSaveOptionsTimer(); });
    tmrShutdown = AddTimer(kShutdownCheckInterval, true, [this] { core_->tmrShutdownTimer(); });
    tmrTimeSynchronization = AddTimer(kTimeSynchronizationInterval, true,
                                      [this] { core_->tmrTimeSynchronizationTimer(); });
    tmrReminderOnly =
        AddTimer(kReminderOnlyInterval, false, [this] { core_->tmrReminderOnlyTimer(); });
    tmrReminderChange =
        AddTimer(kReminderChangeInterval, false, [this] { core_->tmrReminderChangeTimer(); });
    tmrDeactivation =
        AddTimer(kDeactivationInterval, true, [this] { panel_->tmrDeactivationTimer(); });
    tmrAutohide = AddTimer(kAutohideInterval, false, [this] { panel_->tmrAutohideTimer(); });
    tmrAutohideSlide =
        AddTimer(kAutohideSlideInterval, false, [this] { panel_->tmrAutohideSlideTimer(); });

    scanTimer_ = std::make_unique<TQtCoreTimer>(*tmrScan);
    reminderOnlyTimer_ = std::make_unique<TQtCoreTimer>(*tmrReminderOnly);
    shutdownTimer_ = std::make_unique<TQtCoreTimer>(*tmrShutdown);
    deactivationTimer_ = std::make_unique<TQtCoreTimer>(*tmrDeactivation);
    autohideTimer_ = std::make_unique<TQtCoreTimer>(*tmrAutohide);
    autohideSlideTimer_ = std::make_unique<TQtCoreTimer>(*tmrAutohideSlide);
    core_ = std::make_unique<TEnforcementCore>(
        TEnforcementServices{services_.options,
                             services_.desktop,
                             services_.power,
                             *this,
                             {*scanTimer_, *reminderOnlyTimer_, *shutdownTimer_},
                             services_.onError});
    panel_ = std::make_unique<TPanelCore>(
        *core_, services_.options, static_cast<TPanelView&>(*this),
        TPanelTimers{*deactivationTimer_, *autohideTimer_, *autohideSlideTimer_});

    sessionNotifyRegistered_ = services_.session.Register(*this);
    tray_ = std::make_unique<TTrayIcon>();
    tray_->onLeftClick = [this] { TrayLeftClick(); };
    tray_->onExit = [this] { Terminate(); };
    tray_->onAvailabilityChanged = [this](bool available) {
        // A tray host that went away must not take a hidden panel with it.
        if (!available && !PanelShown())
            Guarded([this] { panel_->HideToTray(); });
    };
    Guarded([this] { ApplyOptions(); });
    Guarded([this] {
        panel_->ShowView(TPanelSheet::tsMain, true);
        panel_->RestoreDocks();
    });
    // The dock follows the work area: panels appearing, another primary screen.
    const auto followScreen = [this](QScreen* screen) {
        if (screen == nullptr)
            return;
        connect(screen, &QScreen::availableGeometryChanged, this,
                [this] { Guarded([this] { panel_->WorkAreaChanged(); }); });
    };
    followScreen(QGuiApplication::primaryScreen());
    connect(qApp, &QGuiApplication::primaryScreenChanged, this,
            [this, followScreen](QScreen* screen) {
                followScreen(screen);
                Guarded([this] { panel_->WorkAreaChanged(); });
            });
    tmrReminderChange->start();
    GetSkinList(FSkins);
    BuildSkinMenu();
    Guarded([this] {
        core_->tmrUsageTimer();
        core_->SelectReminderPeriod();
    });
    hotkeyStarted_ = services_.hotkey.Start([this] { Guarded([this] { core_->AltTapped(); }); });
    Guarded([this] { services_.options.PurgeLog(); });
    Guarded([this] { panel_->HideToTray(); });
}

TfrmMain::~TfrmMain() {
    if (sessionNotifyRegistered_)
        services_.session.Unregister();
    if (hotkeyStarted_)
        services_.hotkey.Stop();
    // The timers go with the window; none may fire into a freed core.
    for (QTimer* timer : findChildren<QTimer*>())
        timer->stop();
    // The rows point into the logger's lists, which go with the core.
    lbxMain_Applications->Clear();
    lbxUsage_Applications->Clear();
}

// --- Building ---

void TfrmMain::BuildTimeArea() {
    const auto headerButton = [this](char glyph, const QString& hint, int left) {
        // Over the caption, which is a drag handle as wide as the header.
        TImageButton* button = CreateButton(QString(), QRect(left, 8, 16, 16));
        button->raise();
        button->SetPicture(HeaderGlyph(glyph));
        button->setToolTip(hint);
        button->setAccessibleName(hint);
        return button;
    };
    btnView = headerButton('v', QStringLiteral("View Mode"), 251);
    btnLinks = headerButton('t', QStringLiteral("Tools"), 271);
    btnMinimize = headerButton('m', QStringLiteral("Minimize"), 293);
    connect(btnView, &TImageButton::clicked, this,
            [this] { pmnView->popup(btnView->mapToGlobal(QPoint(0, btnView->height()))); });
    connect(btnLinks, &TImageButton::clicked, this,
            [this] { pmnAddons->popup(btnLinks->mapToGlobal(QPoint(0, btnLinks->height()))); });
    connect(btnMinimize, &TImageButton::clicked, this,
            [this] { Guarded([this] { panel_->actMinimizeExecute(); }); });

    const auto timeFrame = [this](TImagePanel*& frame, QLabel*& title, QLabel*& value,
                                  QLabel*& link, const char* names) {
        frame = new TImagePanel(this);
        frame->SetBackground(ResourcePicture(QLatin1String(pictures::kListFrame)));
        frame->SetSides(8, 8);
        frame->setGeometry(10, 40, 180, 30);
        title = CreateLabel(QString(), QRect(10, 6, 120, 18), clDarkText, frame);
        value = CreateLabel(QString(), QRect(130, 6, 60, 18), clDarkText, frame);
        link = MakeLink(CreateLabel(QString(), QRect(12, 74, 200, 16)));
        const QStringList list = QString::fromLatin1(names).split(u',');
        frame->setObjectName(list[0]);
        title->setObjectName(list[1]);
        value->setObjectName(list[2]);
        link->setObjectName(list[3]);
    };
    timeFrame(pnlMain_TimeOnline, lblMain_TimeTitle, lblMain_Time, lblMain_TimeLink,
              "pnlMain_TimeOnline,lblMain_TimeTitle,lblMain_Time,lblMain_TimeLink");
    timeFrame(pnlMain_FocusTime, lblMain_FocusTimeTitle, lblMain_FocusTime,
              lblMain_FocusModeTimeLink,
              "pnlMain_FocusTime,lblMain_FocusTimeTitle,lblMain_FocusTime,"
              "lblMain_FocusModeTimeLink");
    OnClick(lblMain_TimeLink,
            [this] { Guarded([this] { panel_->actChangeTimeFormatExecute(); }); });
    OnClick(lblMain_FocusModeTimeLink,
            [this] { Guarded([this] { core_->ChangeFocusModeTimeFormat(); }); });
    lblMain_FocusTimeTitle->setText(QString::fromLatin1(FocusTimeTitle(1)) + u':');
    lblMain_FocusModeTimeLink->setText(QLatin1String(FocusTimeLink(1)));
    for (QWidget* w : {static_cast<QWidget*>(pnlMain_FocusTime),
                       static_cast<QWidget*>(lblMain_FocusModeTimeLink)})
        w->hide();

    btnFocus = CreateButton(QStringLiteral("Focus"), QRect(229, 40, 80, 30));
    btnFocus->setObjectName(QStringLiteral("btnFocus"));
    connect(btnFocus, &TImageButton::clicked, this,
            [this] { Guarded([this] { btnFocusClick(); }); });

    btnBack = CreateButton(QStringLiteral("< Back"), QRect(10, 0, 88, 32));
    btnBack->setObjectName(QStringLiteral("btnBack"));
    btnNext = CreateButton(QStringLiteral("Next >"), QRect(221, 0, 88, 32));
    btnNext->setObjectName(QStringLiteral("btnNext"));
    connect(btnBack, &TImageButton::clicked, this,
            [this] { Guarded([this] { panel_->btnBackClick(); }); });
    connect(btnNext, &TImageButton::clicked, this,
            [this] { Guarded([this] { panel_->btnNextClick(); }); });
}

void TfrmMain::BuildMainPage() {
    tsMain = AddPage();
    tsMain->setObjectName(QStringLiteral("tsMain"));
    CreateLabel(QStringLiteral("Things to do this:"), QRect(10, 5, 130, 18), clWhite, tsMain);
    cbxReminder = new QComboBox(tsMain);
    cbxReminder->setObjectName(QStringLiteral("cbxReminder"));
    cbxReminder->setGeometry(140, 2, 169, 24);
    for (const char* part : kReminderParts)
        cbxReminder->addItem(QLatin1String(part));
    UseFilledMarks(cbxReminder);
    CreateComboButton(cbxReminder);
    connect(cbxReminder, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { cbxReminderChange(); }); });
    mmReminder = CreateMemo(QRect(10, 30, 299, 80), tsMain);
    mmReminder->setObjectName(QStringLiteral("mmReminder"));
    mmReminder->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pnlReminder = mmReminder->parentWidget();
    pnlReminder->setObjectName(QStringLiteral("pnlReminder"));
    connect(mmReminder, &QPlainTextEdit::textChanged, this, [this] {
        if (FUpdatingReminders)
            return;
        Guarded([this] {
            const int part = std::max(cbxReminder->currentIndex(), 0);
            services_.options.SetReminder(uint8_t(part), mmReminder->toPlainText().toStdString());
            FUpdatingReminders = true;
            mmReminderParts[size_t(part)]->setPlainText(
                QString::fromStdString(services_.options.ReminderTexts(uint8_t(part))));
            FUpdatingReminders = false;
            MarkFilledReminders();
        });
    });

    CreateLabel(QStringLiteral("Sites/Apps to time limit:"), QRect(10, 126, 220, 18), clWhite,
                tsMain);
    const auto glyphButton = [this](const char* glyph, const QString& hint, int left) {
        TImageButton* button = CreateButton(QString(), QRect(left, 122, 30, 24), tsMain);
        button->SetPicture(PrepareBitmap(ResourcePicture(QLatin1String(glyph))));
        button->setToolTip(hint);
        button->setAccessibleName(hint);
        return button;
    };
    btnApp_Add = glyphButton(pictures::kAdd, QStringLiteral("Add site/application"), 245);
    btnApp_Add->setObjectName(QStringLiteral("btnApp_Add"));
    btnApp_Delete = glyphButton(pictures::kDelete, QStringLiteral("Delete"), 279);
    btnApp_Delete->setObjectName(QStringLiteral("btnApp_Delete"));
    connect(btnApp_Add, &TImageButton::clicked, this,
            [this] { Guarded([this] { btnApp_AddClick(); }); });
    connect(btnApp_Delete, &TImageButton::clicked, this,
            [this] { Guarded([this] { btnApp_DeleteClick(); }); });

    AddColumnHeaders(tsMain, 150);
    lbxMain_Applications = new TMonitoredListBox(tsMain);
    lbxMain_Applications->setObjectName(QStringLiteral("lbxMain_Applications"));
    lbxMain_Applications->SetItemHeight(kMainRowHeight);
    lbxMain_Applications->SetDrawItem([this](QPainter& p, int index, const QRect& r, bool sel) {
        DrawListRow(*lbxMain_Applications, p, index, r, sel);
    });

    lblAction = CreateLabel(QStringLiteral("Action when time limit is reached:"),
                            QRect(10, 0, 299, 18), clWhite, tsMain);
    lblTimeLimit =
        CreateLabel(QStringLiteral("Time Limit:"), QRect(10, 0, 90, 18), clWhite, tsMain);
    edtAction = CreateEdit(QRect(10, 0, 299, 24), tsMain);
    edtAction->setObjectName(QStringLiteral("edtAction"));
    edtAction->setReadOnly(true);
    edtTimeLimit = CreateEdit(QRect(100, 0, 70, 24), tsMain);
    edtTimeLimit->setObjectName(QStringLiteral("edtTimeLimit"));
    edtTimeLimit->setReadOnly(true);
    btnTimeEdit = CreateButton(QStringLiteral("Edit"), QRect(180, 0, 60, 28), tsMain);
    btnTimeEdit->setObjectName(QStringLiteral("btnTimeEdit"));
    connect(btnTimeEdit, &TImageButton::clicked, this,
            [this] { Guarded([this] { actTimeEditExecute(); }); });
}

void TfrmMain::BuildReminderPage() {
    tsReminder = AddPage();
    tsReminder->setObjectName(QStringLiteral("tsReminder"));
    static const char* const kNames[] = {"mmReminderMorning", "mmReminderAfrernoon",
                                         "mmReminderEvening"};
    for (uint8_t part = 0; part < 3; ++part) {
        CreateLabel(QLatin1String(kReminderPartTitles[part]), QRect(10, 0, 200, 18), clWhite,
                    tsReminder)
            ->setObjectName(QStringLiteral("lblReminderPart%1").arg(part));
        QPlainTextEdit* memo = CreateMemo(QRect(10, 0, 299, 60), tsReminder);
        memo->setObjectName(QLatin1String(kNames[part]));
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        mmReminderParts[part] = memo;
        connect(memo, &QPlainTextEdit::textChanged, this, [this, part, memo] {
            if (FUpdatingReminders)
                return;
            Guarded([this, part, memo] {
                services_.options.SetReminder(part, memo->toPlainText().toStdString());
                MarkFilledReminders();
            });
        });
    }
}

void TfrmMain::BuildUsagePage() {
    tsUsage = AddPage();
    tsUsage->setObjectName(QStringLiteral("tsUsage"));
    cbxUsage_Period = new QComboBox(tsUsage);
    cbxUsage_Period->setObjectName(QStringLiteral("cbxUsage_Period"));
    cbxUsage_Period->setGeometry(10, 2, 299, 24);
    for (const char* period : kUsagePeriods)
        cbxUsage_Period->addItem(QLatin1String(period));
    CreateComboButton(cbxUsage_Period)->setObjectName(QStringLiteral("btnComboUsagePeriod"));
    connect(cbxUsage_Period, &QComboBox::currentIndexChanged, this,
            [this] { Guarded([this] { cbxUsage_PeriodChange(); }); });
    CreateLabel(QStringLiteral("Time spent on these applications/websites:"),
                QRect(10, 32, 299, 18), clWhite, tsUsage);
    AddColumnHeaders(tsUsage, 54);
    lbxUsage_Applications = new TMonitoredListBox(tsUsage);
    lbxUsage_Applications->setObjectName(QStringLiteral("lbxUsage_Applications"));
    lbxUsage_Applications->SetItemHeight(kUsageRowHeight);
    lbxUsage_Applications->SetDrawItem([this](QPainter& p, int index, const QRect& r, bool sel) {
        DrawListRow(*lbxUsage_Applications, p, index, r, sel);
    });
}

// "Name", "Type" and "Time" over a list; the rows' rules follow their widths.
void TfrmMain::AddColumnHeaders(QWidget* page, int top) {
    int left = kListLeft;
    for (auto [text, width] : {std::pair{"Name", kNameWidth}, std::pair{"Type", kTypeWidth},
                               std::pair{"Time", kTimeWidth}}) {
        auto* cell = new TImagePanel(page);
        cell->setObjectName(QStringLiteral("pnlApp_") + QLatin1String(text));
        cell->SetBackground(ResourcePicture(QLatin1String(pictures::kListHeader)));
        cell->SetSides(4, 4);
        cell->setGeometry(left, top, width, 20);
        auto* label = new QLabel(QLatin1String(text), cell);
        label->setGeometry(4, 0, width - 8, 20);
        label->setAlignment(Qt::AlignCenter);
        SetFontColor(label, clDarkText);
        left += width;
    }
}

void TfrmMain::BuildMenus() {
    // Menus in the desktop's colours, not the panel's dark body and text.
    const auto menu = [this](const char* name) {
        auto* m = new QMenu(this);
        m->setObjectName(QLatin1String(name));
        m->setPalette(QGuiApplication::palette());
        m->setFont(QGuiApplication::font());
        return m;
    };
    pmnView = menu("pmnView");
    pmnView->addAction(QStringLiteral("Choose View:"))->setEnabled(false);
    pmnView->addSeparator();
    auto* views = new QActionGroup(pmnView);
    // Exclusive: a checked item clicked again stays checked.
    views->setExclusionPolicy(QActionGroup::ExclusionPolicy::Exclusive);
    const std::pair<const char*, TPanelViewItem> items[] = {
        {"All", pvAll}, {"Reminders", pvReminders}, {"Usage", pvUsage}, {"Lite", pvLite}};
    for (auto [text, item] : items) {
        QAction* action = pmnView->addAction(QLatin1String(text));
        action->setCheckable(true);
        views->addAction(action);
        miViews[item] = action;
        connect(action, &QAction::triggered, this,
                [this, item] { Guarded([this, item] { ShowViewItem(item); }); });
    }
    miViews[pvLite]->setChecked(true);

    pmnAddons = menu("pmnAddons");
    miAutohide = pmnAddons->addAction(QStringLiteral("Auto-hide"));
    miAutohide->setCheckable(true);
    connect(miAutohide, &QAction::triggered, this, [this] {
        Guarded([this] {
            panel_->actAutohideExecute();
            miAutohide->setChecked(panel_->Autohide());
        });
    });
    connect(pmnAddons->addAction(QStringLiteral("Settings")), &QAction::triggered, this,
            [this] { Guarded([this] { actSettingsExecute(); }); });
    const auto help = [] { OpenLink(VendorLink(kHelpPage)); };
    connect(pmnAddons->addAction(QStringLiteral("Help")), &QAction::triggered, this, help);
    pmnAddons->addSeparator();
    QMenu* links = pmnAddons->addMenu(QStringLiteral("Useful Links"));
    connect(links->addAction(QStringLiteral("Help")), &QAction::triggered, this, help);
    connect(links->addAction(QStringLiteral("Updates")), &QAction::triggered, this,
            [] { OpenLink(VendorLink(kDownloadPage)); });
    pmnAddons->addSeparator();
    QMenu* background = pmnAddons->addMenu(QStringLiteral("Background"));
    connect(background->addAction(QStringLiteral("Color...")), &QAction::triggered, this, [this] {
        Guarded([this] {
            if (const auto color = TfrmSettings::AskColor(this, tw::GetBackgroundColor())) {
                tw::SetBackgroundColor(*color);
                tw::SetBackgroundImage("");
                BuildSkinMenu();
                SetBackgroundColor(*color);
            }
        });
    });
    miSkin = background->addMenu(QStringLiteral("Image"));
    connect(miSkin->addAction(QStringLiteral("Browse...")), &QAction::triggered, this, [this] {
        Guarded([this] {
            if (const auto file = TfrmSettings::AskPicture(this)) {
                tw::SetBackgroundImage(file->toStdString());
                BuildSkinMenu();
                update();
            }
        });
    });
    miSkin->addSeparator();
    miClearBackgroundImage = miSkin->addAction(QStringLiteral("<No Image>"));
    miClearBackgroundImage->setCheckable(true);
    connect(miClearBackgroundImage, &QAction::triggered, this, [this] {
        Guarded([this] {
            tw::SetBackgroundImage("");
            BuildSkinMenu();
            update();
        });
    });
    connect(background->addAction(QStringLiteral("Transparency...")), &QAction::triggered, this,
            [this] {
                Guarded([this] {
                    TfrmTransparencySettings dialog(this);
                    if (dialog.Execute())
                        SetTransparency(tw::GetTransparency());
                });
            });
    connect(pmnAddons->addAction(QStringLiteral("Text Color...")), &QAction::triggered, this,
            [this] {
                Guarded([this] {
                    if (const auto color = TfrmSettings::AskColor(this, tw::GetTextColor())) {
                        tw::SetTextColor(*color);
                        SetTextColor(*color);
                    }
                });
            });
    // Esc hides the panel as the minimise button does.
    AddKeyAction(QStringLiteral("Minimize"), {QKeySequence(Qt::Key_Escape)},
                 [this] { Guarded([this] { panel_->actMinimizeExecute(); }); });
}

void TfrmMain::BuildSkinMenu() {
    for (QAction* action : miSkin->actions()) {
        if (action->data().isValid()) {
            miSkin->removeAction(action);
            delete action;
        }
    }
    const std::string image = tw::GetBackgroundImage();
    for (size_t i = 0; i < FSkins.size(); ++i) {
        auto* item = new QAction(QString::fromStdString(FSkins[i].first), miSkin);
        item->setData(int(i));
        item->setCheckable(true);
        item->setChecked(FSkins[i].second == image);
        connect(item, &QAction::triggered, this, [this, i] {
            Guarded([this, i] {
                tw::SetBackgroundImage(FSkins.at(i).second);
                BuildSkinMenu();
                update();
            });
        });
        miSkin->addAction(item);
    }
    miClearBackgroundImage->setChecked(image.empty());
}

// Padding rows for the list's new height.
static void Repad(TMonitoredListBox* list) {
    while (list->count() > list->FilledCount() && list->Caption(list->count() - 1).isEmpty())
        delete list->takeItem(list->count() - 1);
    TfrmBase::PadListBox(list);
    // Laid out now, not at the next turn of the loop: a resize is painted at once.
    list->doItemsLayout();
}

void TfrmMain::LayOutPages() {
    if (height() == laidOutHeight_)
        return;
    laidOutHeight_ = height();
    const int pageHeight = std::max(height() - kPagesTop - kStepHeight, 260);
    PageControl(QRect(0, kPagesTop, kPanelWidth, pageHeight));
    // The main page: the list takes what the fields below leave.
    const int fieldsTop = pageHeight - 108;
    lbxMain_Applications->setGeometry(kListLeft, 170, kListWidth, std::max(fieldsTop - 176, 40));
    lblAction->move(10, fieldsTop);
    lblTimeLimit->move(10, fieldsTop + 62);
    edtAction->parentWidget()->move(10, fieldsTop + 22);
    edtTimeLimit->parentWidget()->move(100, fieldsTop + 58);
    btnTimeEdit->move(180, fieldsTop + 56);
    // The reminders page: three equal texts.
    const int memoHeight = (pageHeight - 3 * 24 - 8) / 3;
    const auto labels = tsReminder->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
    for (int part = 0; part < 3; ++part) {
        const int top = 4 + part * (memoHeight + 24);
        if (part < labels.size())
            labels[part]->move(10, top);
        QPlainTextEdit* memo = mmReminderParts[size_t(part)];
        memo->parentWidget()->setGeometry(10, top + 20, 299, memoHeight);
        memo->setGeometry(4, 3, 299 - 8, memoHeight - 6);
    }
    lbxUsage_Applications->setGeometry(kListLeft, 74, kListWidth, std::max(pageHeight - 80, 40));
    btnBack->move(10, height() - kStepHeight + 6);
    btnNext->move(221, height() - kStepHeight + 6);
    Repad(lbxMain_Applications);
    Repad(lbxUsage_Applications);
}

void TfrmMain::ApplyOptions() {
    RefreshLimitAndAction();
    core_->ApplyScanPeriod();
    panel_->ApplyTimeFormat();
    core_->tmrTimeTimer();
    core_->tmrUsageTimer();
    core_->tmrReminderChangeTimer();
    LoadReminderMemos();
    panel_->SetAutohide(GetAutohide());
    miAutohide->setChecked(panel_->Autohide());
    LayOutPages();
}

void TfrmMain::RefreshLimitAndAction() {
    edtTimeLimit->setText(
        QString::fromStdString(FormatHoursMinutes(services_.options.TimeLimit())));
    edtAction->setText(QString::fromStdString(services_.options.ExpirationActionName()));
}

void TfrmMain::LoadReminderMemos() {
    FUpdatingReminders = true;
    for (uint8_t part = 0; part < 3; ++part)
        mmReminderParts[part]->setPlainText(
            QString::fromStdString(services_.options.ReminderTexts(part)));
    const int selected = std::max(cbxReminder->currentIndex(), 0);
    mmReminder->setPlainText(
        QString::fromStdString(services_.options.ReminderTexts(uint8_t(selected))));
    FUpdatingReminders = false;
    MarkFilledReminders();
}

void TfrmMain::cbxReminderChange() {
    MarkFilledReminders();
    const int index = cbxReminder->currentIndex();
    const uint8_t part = index == 1 || index == 2 ? uint8_t(index) : 0;
    FUpdatingReminders = true;
    mmReminder->setPlainText(QString::fromStdString(services_.options.ReminderTexts(part)));
    FUpdatingReminders = false;
}

void TfrmMain::MarkFilledReminders() {
    for (uint8_t part = 0; part < 3; ++part)
        SetFilledMark(cbxReminder, part, ReminderTextFilled(services_.options.ReminderTexts(part)));
}

void TfrmMain::ShowViewItem(TPanelViewItem item) {
    switch (item) {
        case pvAll:
            return panel_->ShowView(TPanelSheet::tsMain, false);
        case pvReminders:
            return panel_->ShowView(TPanelSheet::tsReminder, false);
        case pvUsage:
            return panel_->ShowView(TPanelSheet::tsUsage, false);
        case pvLite:
            return panel_->ShowView(TPanelSheet::tsMain, true);
    }
}

// --- Lists ---

void TfrmMain::FillMainList() {
    // The refill every 12 s keeps the row the user picked.
    const TMonitoredItem* selected = lbxMain_Applications->Item(lbxMain_Applications->currentRow());
    const std::string name = selected != nullptr ? selected->Name : std::string();
    FillListBox(*lbxMain_Applications, core_->GetLogger().DayItems(), mitAll);
    PadListBox(lbxMain_Applications);
    if (!name.empty()) {
        for (int row = 0; row < lbxMain_Applications->count(); ++row) {
            if (const TMonitoredItem* item = lbxMain_Applications->Item(row);
                item != nullptr && item->Name == name) {
                lbxMain_Applications->setCurrentRow(row);
                break;
            }
        }
    }
}

void TfrmMain::DrawListRow(TMonitoredListBox& list, QPainter& painter, int index, const QRect& rect,
                           bool selected) {
    FillRowStripe(painter, index, rect, selected);
    const int rule1 = rect.left() + kNameWidth - 8;
    const int rule2 = rule1 + 2 + kTypeWidth;
    DrawColumnRule(painter, rule1, rect);
    DrawColumnRule(painter, rule2, rect);
    if (index == list.count() - 1)
        DrawBottomRule(painter, rect);
    const TMonitoredItem* item = list.Item(index);
    if (item == nullptr)
        return;
    const int top = rect.top();
    const int h = rect.height();
    DrawCellText(painter, QRect(rect.left() + 2, top, rule1 - rect.left() - 4, h),
                 list.Caption(index), Qt::AlignLeft);
    DrawCellText(painter, QRect(rule1 + 4, top, rule2 - rule1 - 6, h),
                 QLatin1String(item->TypeName()), Qt::AlignHCenter);
    DrawCellText(painter, QRect(rule2 + 4, top, rect.right() - rule2 - 6, h),
                 QString::fromStdString(FormatHoursMinutes(item->DurationAsTime())),
                 Qt::AlignHCenter);
}

void TfrmMain::cbxUsage_PeriodChange() {
    const TDateTime now = AppNow();
    lbxUsage_Applications->Clear();
    TOnlineTimeApplicationLogger& logger = core_->GetLogger();
    logger.LoadPeriod(false, now, UsagePeriodFrom(cbxUsage_Period->currentIndex(), now));
    FillListBox(*lbxUsage_Applications, logger.PeriodItems(), mitAll);
    PadListBox(lbxUsage_Applications);
}

void TfrmMain::btnApp_AddClick() {
    if (!CheckSettingsAccess())
        return;
    const TAdminLogoff logoff(services_.options);
    TMonitoredList picked;
    {
        TAppDiscovery discovery(services_.discovery);
        TfrmAppSiteAddWizard wizard(discovery, this);
        wizard.Execute(&services_.options, &services_.options.MonitoredList(), &picked);
    }
    core_->MergeMonitoredItems(picked);
    FillMainList();
}

void TfrmMain::btnApp_DeleteClick() {
    const TMonitoredItem* item = lbxMain_Applications->Item(lbxMain_Applications->currentRow());
    if (item == nullptr)
        return;
    // Copies: the row's entry may be gone once a dialog has run.
    const std::string name = item->Name;
    const TMonitoredItemType type = item->ItemType;
    panel_->btnApp_DeleteClick(name, type);
}

bool TfrmMain::CheckSettingsAccess() {
    if (!AdminPasswordEnabled || services_.options.AllowUserToChangeSettings)
        return true;
    return CheckAdminPassword(this);
}

bool TfrmMain::ConfirmDelete(const std::string& caption) {
    TfrmDeleteConfirm dialog(this);
    return dialog.Execute(QString::fromStdString(caption));
}

void TfrmMain::RefillMainList() {
    FillMainList();
}

// --- Settings and dialogs ---

void TfrmMain::actSettingsExecute() {
    tmrSaveOptions->stop();
    bool confirmed = false;
    {
        struct Restart {
            QTimer* timer;
            ~Restart() { timer->start(); }
        } restart{tmrSaveOptions};
        const TAdminLogoff logoff(services_.options);
        TAppDiscovery discovery(services_.discovery);
        TfrmSettings dialog(discovery, this);
        confirmed = dialog.Execute(services_.options, false);
    }
    if (!confirmed)
        return;
    LoadReminderMemos();
    RefreshLimitAndAction();
    // What Settings added is counted from the next tick on.
    core_->GetLogger().ReloadDay(false);
    FillMainList();
    SetTransparency(tw::GetTransparency());
    SetBackgroundColor(tw::GetBackgroundColor());
    SetTextColor(tw::GetTextColor());
    update();
}

void TfrmMain::btnFocusClick() {
    TMonitoredList picked;
    TDateTime period = 0;
    bool confirmed = false;
    // The entries picked through "your list" are merged whatever happens to the dialog.
    try {
        TAppDiscovery discovery(services_.discovery);
        TfrmFocusSettings dialog(services_.options, discovery,
                                 [this] { return CheckSettingsAccess(); });
        confirmed = dialog.Execute(period, &picked);
    } catch (...) {
        core_->MergeMonitoredItems(picked);
        throw;
    }
    core_->MergeMonitoredItems(picked);
    FillMainList();
    if (confirmed)
        core_->StartFocus(period);
}

void TfrmMain::actTimeEditExecute() {
    if (!CheckSettingsAccess())
        return;
    const TAdminLogoff logoff(services_.options);
    TfrmReminderSettings dialog;
    if (dialog.Execute(services_.options)) {
        services_.options.Save();
        RefreshLimitAndAction();
        UpdateTimeDisplay();
    }
}

void TfrmMain::TrayLeftClick() {
    Guarded([this] { panel_->TrayLeftClick(); });
}

bool TfrmMain::CanMoveTo(int newLeft, int newTop) {
    return panel_->CanMoveTo(newLeft, newTop);
}

// --- Window events ---

void TfrmMain::closeEvent(QCloseEvent* event) {
    // Closing only sends the panel away; the program ends by its own exit.
    event->ignore();
    Guarded([this] { panel_->actMinimizeExecute(); });
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Guarded([this] { panel_->actMinimizeExecute(); });
        return;
    }
    TfrmBase::keyPressEvent(event);
}

void TfrmMain::resizeEvent(QResizeEvent* event) {
    TfrmBase::resizeEvent(event);
    // The caption, a drag handle, ends where the header's buttons begin.
    if (btnView != nullptr)
        lblCaption->resize(std::max(btnView->x() - lblCaption->x() - 4, 0), lblCaption->height());
    // Rounded corners would cut a sliding panel's strip away.
    if (width() < kPanelWidth)
        clearMask();
    if (btnNext != nullptr && lbxUsage_Applications != nullptr && edtAction != nullptr)
        LayOutPages();
}

void TfrmMain::enterEvent(QEnterEvent* event) {
    // The pointer on the strip of a slid-out panel brings it back.
    Guarded([this] { panel_->pnlBodyMouseMove(); });
    TfrmBase::enterEvent(event);
}

// --- What the core asks of the windows ---

TReminderResult TfrmMain::ShowReminder(bool focus, bool offerFiveMinutes) {
    // The panel waits while the reminder is up; another dialog may already
    // have disabled it, and then it stays so.
    const bool wasEnabled = isEnabled();
    setEnabled(false);
    struct Restore {
        QWidget& window;
        bool enabled;
        ~Restore() { window.setEnabled(enabled); }
    } restore{*this, wasEnabled};
    // Not a child of the panel: a disabled parent would disable it too.
    TfrmReminder reminder;
    return reminder.Execute(services_.options, focus, offerFiveMinutes);
}

void TfrmMain::ShowReminderChange(const std::string& message) {
    TfrmReminderChange prompt;
    prompt.Execute(services_.options, message);
}

void TfrmMain::ShowNotice(const std::string& text) {
    ShowWarning(QString::fromStdString(text), QStringLiteral("Please Note"));
}

void TfrmMain::SelectReminderPart(uint8_t partOfDay) {
    if (cbxReminder->currentIndex() == partOfDay)
        return;
    // The index change runs cbxReminderChange.
    cbxReminder->setCurrentIndex(partOfDay);
}

void TfrmMain::SetFocusModeView(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(lblMain_TimeLink),
                       static_cast<QWidget*>(pnlMain_TimeOnline), static_cast<QWidget*>(btnFocus)})
        w->setVisible(!on);
    for (QWidget* w : {static_cast<QWidget*>(pnlMain_FocusTime),
                       static_cast<QWidget*>(lblMain_FocusModeTimeLink)})
        w->setVisible(on);
}

void TfrmMain::SetFocusTimeTexts(const std::string& title, const std::string& link) {
    lblMain_FocusTimeTitle->setText(QString::fromStdString(title));
    lblMain_FocusModeTimeLink->setText(QString::fromStdString(link));
    FitTimeFrame(*pnlMain_FocusTime, *lblMain_FocusTimeTitle, *lblMain_FocusTime);
}

void TfrmMain::SetFocusTimeValue(const std::string& value) {
    lblMain_FocusTime->setText(QString::fromStdString(value));
    FitTimeFrame(*pnlMain_FocusTime, *lblMain_FocusTimeTitle, *lblMain_FocusTime);
}

void TfrmMain::UpdateTimeDisplay() {
    panel_->UpdateTimeDisplay();
}

void TfrmMain::SetTimeTexts(const std::string& title, const std::string& link) {
    lblMain_TimeTitle->setText(QString::fromStdString(title));
    lblMain_TimeLink->setText(QString::fromStdString(link));
    FitTimeFrame(*pnlMain_TimeOnline, *lblMain_TimeTitle, *lblMain_Time);
}

void TfrmMain::SetTimeValue(const std::string& value) {
    const QString text = QString::fromStdString(value);
    // Asked once a second; the minute changes less often.
    if (text == lblMain_Time->text())
        return;
    lblMain_Time->setText(text);
    FitTimeFrame(*pnlMain_TimeOnline, *lblMain_TimeTitle, *lblMain_Time);
}

void TfrmMain::RefreshUsageList() {
    FillMainList();
}

void TfrmMain::ReleaseDayLists() {
    lbxMain_Applications->Clear();
    lbxUsage_Applications->Clear();
}

void TfrmMain::ReloadDayLists() {
    FillMainList();
    if (panel_->Sheet() == TPanelSheet::tsUsage)
        cbxUsage_PeriodChange();
    RefreshLimitAndAction();
}

void TfrmMain::Minimise() {
    panel_->HideToTray();
}

void TfrmMain::TogglePanel() {
    panel_->TogglePanel();
}

void TfrmMain::Terminate() {
    // exit, not quit: quit would ask the windows first, and the panel only hides.
    QCoreApplication::exit(0);
}

// --- TPanelView ---

void TfrmMain::ShowSheet(TPanelSheet sheet) {
    QWidget* const sheets[] = {tsMain, tsReminder, tsUsage};
    RestorePages();
    ShowPage(sheets[sheet]);
    btnBack->setVisible(sheet != TPanelSheet::tsMain);
    btnNext->setVisible(sheet != TPanelSheet::tsMain);
}

void TfrmMain::LoadUsagePeriod() {
    cbxUsage_PeriodChange();
}

void TfrmMain::CheckViewItem(TPanelViewItem item) {
    miViews[item]->setChecked(true);
}

int TfrmMain::CompactClientHeight() const {
    return kPagesTop + pnlReminder->geometry().bottom() + 1 + 10;
}

TPanelRect TfrmMain::WorkArea() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    return {area.x(), area.y(), area.width(), area.height()};
}

TPanelRect TfrmMain::PanelRect() const {
    return panelRect_;
}

void TfrmMain::SetPanelRect(const TPanelRect& rect) {
    panelRect_ = rect;
    // Window managers keep managed windows on screen: a sliding panel
    // shrinks to the part inside the work area instead of leaving it.
    const TPanelRect area = WorkArea();
    int left = std::max(rect.left, area.left);
    int right = std::min(rect.Right(), area.Right());
    if (right - left < kAutohideStrip) {
        if (rect.left >= area.left)
            left = right - kAutohideStrip;
        else
            right = left + kAutohideStrip;
    }
    setGeometry(left, rect.top, right - left, rect.height);
}

bool TfrmMain::PanelShown() const {
    return isVisible();
}

void TfrmMain::ShowPanel() {
    show();
    raise();
    activateWindow();
}

void TfrmMain::HidePanel() {
    hide();
}

bool TfrmMain::PanelEnabled() const {
    return isEnabled() && QApplication::activeModalWidget() == nullptr;
}

bool TfrmMain::PanelActive() const {
    return isActiveWindow();
}

bool TfrmMain::PointerOverPanel() const {
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

bool TfrmMain::TrayAvailable() const {
    if (services_.trayAvailable)
        return services_.trayAvailable();
    return tray_ != nullptr && tray_->Available();
}

// --- Plumbing ---

template <typename Handler>
QTimer* TfrmMain::AddTimer(int interval, bool enabled, Handler handler) {
    auto* timer = new QTimer(this);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this, [this, handler] { Guarded(handler); });
    if (enabled)
        timer->start();
    return timer;
}

void TfrmMain::Guarded(const std::function<void()>& work) {
    try {
        work();
    } catch (...) {
        if (services_.onError)
            services_.onError(std::current_exception());
    }
}

void TfrmMain::SystemSuspending() {
    Guarded([this] { core_->SystemSuspending(); });
}
void TfrmMain::SystemResumed() {
    Guarded([this] { core_->SystemResumed(); });
}
void TfrmMain::SessionDeactivated() {
    Guarded([this] { core_->SessionDeactivated(); });
}
void TfrmMain::SessionActivated() {
    Guarded([this] { core_->SessionActivated(); });
}

}  // namespace tw
