#include "ui/SettingsFRM.h"

#include <cmath>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <tuple>
#include <utility>

#include <QAbstractItemView>
#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QStyledItemDelegate>

#include "base/DateTime.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "storage/Options.h"
#include "ui/AppSiteAddWizardFRM.h"
#include "ui/Colors.h"
#include "ui/DeleteConfirmFRM.h"
#include "ui/ImageControls.h"
#include "ui/MonitoredListBox.h"
#include "ui/PasswordChangeFRM.h"
#include "ui/PasswordCheckFRM.h"

namespace tw {

namespace {

constexpr int kClientWidth = 318;
constexpr int kClientHeight = 431;
constexpr int kHeaderHeight = 32;
constexpr int kPageHeight = kClientHeight - kHeaderHeight;
constexpr int kMargin = 12;
constexpr int kFieldLeft = 140;
constexpr int kFieldWidth = kClientWidth - kMargin - kFieldLeft;
constexpr int kStepTop = kPageHeight - 32 - kMargin;
// Width of the list's "Name" header: the column rule follows it.
constexpr int kNameHeaderWidth = 200;

const char kNotice[] = "Please Note";
const char kLogonDescription[] =
    "Please %1 Admin Password. Admin sets sites and apps to watch, but can opt to give this "
    "control to the user";
const char kPasswordNote[] =
    "Please note that you will not be able to recover a forgotten password wihout storing it "
    "online.";
const char kNotSaved[] =
    "Your settings could not be saved. They apply now and will be saved again later.";
const char kListUnread[] =
    "Your time-limit list could not be read, so it cannot be changed now. Please try again later.";
const char kCustom[] = "Custom...";
const char kNoImage[] = "<No Image>";
const char* const kReminderNames[] = {"Morning", "Afternoon", "Evening"};
const char* const kPeriodNames[] = {"Never", "Daily", "Weekly", "Fortnightly", "Monthly"};

// Item data of the colour and image boxes.
constexpr int kValueRole = Qt::UserRole;
// Item data of the reminder box: whether the period's text is filled in.
// Image items that are no skin.
constexpr int kCustomImage = -1;
constexpr int kNoImageItem = -2;

TfrmSettings::TPictureHook& PictureHook() {
    static TfrmSettings::TPictureHook hook;
    return hook;
}

TfrmSettings::TColorHook& ColorHook() {
    static TfrmSettings::TColorHook hook;
    return hook;
}

// The seconds an "hh:nn" text stands for.
int32_t LimitSeconds(const QString& text) {
    return int32_t(std::llround(StrToTime(text.toStdString()) * kSecondsPerDay));
}

QIcon Swatch(int32_t color) {
    QPixmap swatch(16, 12);
    swatch.fill(ColorFromWin(color));
    QPainter painter(&swatch);
    painter.setPen(Qt::gray);
    painter.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    return QIcon(swatch);
}

QComboBox* CreateCombo(QWidget* page, const QRect& geometry) {
    auto* combo = new QComboBox(page);
    combo->setGeometry(geometry);
    combo->setMaxVisibleItems(20);
    return combo;
}

// Stands the entry under a new caption, the list's sort key.
void Recaption(TMonitoredList& list, int index, const std::string& caption) {
    auto copy = std::make_unique<TMonitoredItem>();
    copy->Assign(*list.Items(index));
    copy->Caption = caption;
    list.Delete(index);
    list.Add(caption, std::move(copy));
}

}  // namespace

TfrmSettings::TfrmSettings(TAppDiscovery& discovery, QWidget* parent)
    : TfrmBase(parent), FDiscovery(discovery) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    resize(kClientWidth, kClientHeight);
    PageControl(QRect(0, kHeaderHeight, kClientWidth, kPageHeight));
    GetSkinList(FSkins);

    BuildBackgroundPage();
    BuildLogonPage();
    BuildListPage();
    BuildExpirationPage();
    BuildReminderPage();

    miNext = AddKeyAction(QStringLiteral("Next"),
                          {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)},
                          [this] { StepNext(); });
    miBack = AddKeyAction(QStringLiteral("Back"), {QKeySequence(Qt::Key_Escape)},
                          [this] { StepBack(); });

    // The look as it was, to put back on Cancel, and in the boxes.
    FSavedTextColor = tw::GetTextColor();
    FSavedColor = tw::GetBackgroundColor();
    FSavedImage = tw::GetBackgroundImage();
    FSavedTransparency = tw::GetTransparency();
    SelectImage(FSavedImage);
    const int percent = cbxTransparency->findText(QString::number(FSavedTransparency));
    cbxTransparency->setCurrentIndex(percent >= 0 ? percent : 0);
    SelectColor(cbxTextColor, FSavedTextColor);
    SelectColor(cbxColor, FSavedColor);
}

TfrmSettings::~TfrmSettings() {
    // The rows point into the working list, which goes before the list box does.
    lbxAppSites->clear();
}

void TfrmSettings::SetPictureDialogHook(TPictureHook hook) {
    PictureHook() = std::move(hook);
}

void TfrmSettings::SetColorDialogHook(TColorHook hook) {
    ColorHook() = std::move(hook);
}

// --- Building ---

std::pair<TImageButton*, TImageButton*> TfrmSettings::AddStepButtons(QWidget* page,
                                                                     const QString& back,
                                                                     const QString& next) {
    TImageButton* backButton = CreateButton(back, QRect(122, kStepTop, 88, 32), page);
    TImageButton* nextButton = CreateButton(next, QRect(218, kStepTop, 88, 32), page);
    connect(backButton, &TImageButton::clicked, this, &TfrmSettings::StepBack);
    connect(nextButton, &TImageButton::clicked, this, &TfrmSettings::StepNext);
    return {backButton, nextButton};
}

void TfrmSettings::BuildBackgroundPage() {
    tsBackground = AddPage();
    tsBackground->setObjectName(QStringLiteral("tsBackground"));
    const QString captions[] = {QStringLiteral("Text color:"), QStringLiteral("Background color:"),
                                QStringLiteral("Background image:"),
                                QStringLiteral("Transparency %:")};
    // The image row leaves room under it for "Browse...".
    const int tops[] = {14, 50, 86, 162};
    QComboBox* combos[4] = {};
    TImageButton* buttons[4] = {};
    for (int i = 0; i < 4; ++i) {
        const int top = tops[i];
        CreateLabel(captions[i], QRect(kMargin, top + 3, kFieldLeft - kMargin, 20), clWhite,
                    tsBackground);
        combos[i] = CreateCombo(tsBackground, QRect(kFieldLeft, top, kFieldWidth, 24));
        buttons[i] = CreateComboButton(combos[i]);
    }
    std::tie(cbxTextColor, cbxColor, cbxImage, cbxTransparency) =
        std::tuple(combos[0], combos[1], combos[2], combos[3]);
    std::tie(btnTextColor, btnColorDropDown, btnImageDown, btnTransparency) =
        std::tuple(buttons[0], buttons[1], buttons[2], buttons[3]);
    cbxTextColor->setObjectName(QStringLiteral("cbxTextColor"));
    cbxColor->setObjectName(QStringLiteral("cbxColor"));
    cbxImage->setObjectName(QStringLiteral("cbxImage"));
    cbxTransparency->setObjectName(QStringLiteral("cbxTransparency"));

    for (QComboBox* combo : {cbxTextColor, cbxColor}) {
        for (const TNamedColor& named : kNamedColors) {
            combo->addItem(Swatch(named.color), QLatin1String(named.name), named.color);
        }
        combo->addItem(QLatin1String(kCustom));
    }
    cbxImage->addItem(QLatin1String(kCustom), kCustomImage);
    for (size_t i = 0; i < FSkins.size(); ++i) {
        cbxImage->addItem(QString::fromStdString(FSkins[i].first), int(i));
    }
    cbxImage->addItem(QLatin1String(kNoImage), kNoImageItem);
    for (int percent : kTransparencyPercents) {
        cbxTransparency->addItem(QString::number(percent));
    }
    btnBrowseImage = CreateButton(QStringLiteral("Browse..."),
                                  QRect(kFieldLeft, tops[2] + 30, 100, 32), tsBackground);
    btnBrowseImage->setObjectName(QStringLiteral("btnBrowseImage"));

    std::tie(btnBackground_Cancel, btnBackground_Next) =
        AddStepButtons(tsBackground, QStringLiteral("Cancel"), QStringLiteral("Next >"));
    btnBackground_Cancel->setObjectName(QStringLiteral("btnBackground_Cancel"));
    btnBackground_Next->setObjectName(QStringLiteral("btnBackground_Next"));

    // Only the user's choices change the look; selecting the stored values does not.
    connect(cbxTextColor, &QComboBox::activated, this, [this] {
        if (const auto color = PickedColor(cbxTextColor, tw::GetTextColor())) {
            cbxTextColorChange(*color);
        }
    });
    connect(cbxColor, &QComboBox::activated, this, [this] {
        if (const auto color = PickedColor(cbxColor, tw::GetBackgroundColor())) {
            cbxColorChange(*color);
        }
    });
    connect(cbxImage, &QComboBox::activated, this, &TfrmSettings::cbxImageChange);
    connect(cbxTransparency, &QComboBox::activated, this, &TfrmSettings::cbxTransparencyChange);
    connect(btnBrowseImage, &TImageButton::clicked, this, &TfrmSettings::btnBrowseImageClick);
}

void TfrmSettings::BuildLogonPage() {
    tsLogon = AddPage();
    tsLogon->setObjectName(QStringLiteral("tsLogon"));
    lblLogonDescription =
        CreateLabel(QString(), QRect(kMargin, 8, kClientWidth - 2 * kMargin, 64), clWhite, tsLogon);
    lblLogonDescription->setObjectName(QStringLiteral("lblLogonDescription"));
    lblLogonDescription->setWordWrap(true);
    CreateLabel(QStringLiteral("Password:"), QRect(kMargin, 85, 120, 20), clWhite, tsLogon);
    lblConfirmPassword = CreateLabel(QStringLiteral("Confirm Password:"),
                                     QRect(kMargin, 117, 128, 20), clWhite, tsLogon);
    lblConfirmPassword->setObjectName(QStringLiteral("lblConfirmPassword"));
    // The shared password box is made on the window; its frame goes onto the page.
    const auto onPage = [this](QWidget* control) {
        QWidget* frame = control->parentWidget() == this ? control : control->parentWidget();
        frame->setParent(tsLogon);
        frame->show();
    };
    edtStart_Password = CreatePasswordEdit(*this, QRect(kFieldLeft, 82, kFieldWidth, 26));
    edtStart_Password->setObjectName(QStringLiteral("edtStart_Password"));
    onPage(edtStart_Password);
    edtStart_ConfirmPassword = CreatePasswordEdit(*this, QRect(kFieldLeft, 114, kFieldWidth, 26));
    edtStart_ConfirmPassword->setObjectName(QStringLiteral("edtStart_ConfirmPassword"));
    onPage(edtStart_ConfirmPassword);
    btnChangePassword = CreateButton(QStringLiteral("Change Password"),
                                     QRect(kFieldLeft, 112, kFieldWidth, 32), tsLogon);
    btnChangePassword->setObjectName(QStringLiteral("btnChangePassword"));

    const auto picture = [this](const char* name) {
        auto* image = new QLabel(tsLogon);
        image->setGeometry(kMargin, 160, 20, 20);
        image->setAlignment(Qt::AlignCenter);
        image->setPixmap(QPixmap::fromImage(PrepareBitmap(ResourcePicture(QLatin1String(name)))));
        image->setCursor(Qt::PointingHandCursor);
        image->installEventFilter(this);
        return image;
    };
    imgAllowUserToChangeSettings_Yes = picture(pictures::kChecked);
    imgAllowUserToChangeSettings_Yes->setObjectName(
        QStringLiteral("imgAllowUserToChangeSettings_Yes"));
    imgAllowUserToChangeSettings_No = picture(pictures::kUnchecked);
    imgAllowUserToChangeSettings_No->setObjectName(
        QStringLiteral("imgAllowUserToChangeSettings_No"));
    lblAllowUserToChangeSettings = CreateLabel(QStringLiteral("Allow user to change settings"),
                                               QRect(36, 160, 270, 20), clWhite, tsLogon);
    lblAllowUserToChangeSettings->setObjectName(QStringLiteral("lblAllowUserToChangeSettings"));
    lblAllowUserToChangeSettings->setCursor(Qt::PointingHandCursor);
    lblAllowUserToChangeSettings->installEventFilter(this);

    lblForgotPassword =
        CreateLoginLink(*this, QStringLiteral("Forgot Password"), QRect(kMargin, 196, 160, 20));
    lblForgotPassword->setObjectName(QStringLiteral("lblForgotPassword"));
    onPage(lblForgotPassword);
    lblStorePasswordOnline = CreateLoginLink(*this, QStringLiteral("Store Password Online"),
                                             QRect(kMargin, 196, 200, 20));
    lblStorePasswordOnline->setObjectName(QStringLiteral("lblStorePasswordOnline"));
    onPage(lblStorePasswordOnline);
    lblPasswordNote =
        CreateLabel(QLatin1String(kPasswordNote),
                    QRect(kMargin, 224, kClientWidth - 2 * kMargin, 48), clWhite, tsLogon);
    lblPasswordNote->setObjectName(QStringLiteral("lblPasswordNote"));
    lblPasswordNote->setWordWrap(true);

    std::tie(btnLogon_Back, btnLogon_Next) =
        AddStepButtons(tsLogon, QStringLiteral("< Back"), QStringLiteral("Next >"));
    btnLogon_Back->setObjectName(QStringLiteral("btnLogon_Back"));
    btnLogon_Next->setObjectName(QStringLiteral("btnLogon_Next"));
    setTabOrder(edtStart_Password, edtStart_ConfirmPassword);

    connect(edtStart_Password, &QLineEdit::textChanged, this,
            &TfrmSettings::edtStart_PasswordChange);
    connect(btnChangePassword, &TImageButton::clicked, this, &TfrmSettings::btnChangePasswordClick);
}

void TfrmSettings::BuildListPage() {
    tsMonitoredList = AddPage();
    tsMonitoredList->setObjectName(QStringLiteral("tsMonitoredList"));
    const int listWidth = kClientWidth - 2 * kMargin;
    const auto header = [this](const QString& text, const QRect& geometry, const char* name) {
        auto* panel = new TImagePanel(tsMonitoredList);
        panel->setObjectName(QLatin1String(name));
        panel->SetBackground(ResourcePicture(QLatin1String(pictures::kListHeader)));
        panel->SetSides(4, 4);
        panel->setGeometry(geometry);
        auto* label = new QLabel(text, panel);
        label->setGeometry(4, 0, geometry.width() - 8, geometry.height());
        label->setAlignment(Qt::AlignCenter);
        SetFontColor(label, clDarkText);
    };
    header(QStringLiteral("Name"), QRect(kMargin, 12, kNameHeaderWidth, 20), "pnlApp_Name");
    header(QStringLiteral("Type"),
           QRect(kMargin + kNameHeaderWidth, 12, listWidth - kNameHeaderWidth, 20), "pnlApp_Type");
    lbxAppSites = new TMonitoredListBox(tsMonitoredList);
    lbxAppSites->setObjectName(QStringLiteral("lbxAppSites"));
    lbxAppSites->setGeometry(kMargin, 32, listWidth, kStepTop - 32 - kMargin);
    lbxAppSites->SetItemHeight(16);
    lbxAppSites->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lbxAppSites->SetDrawItem(
        [this](QPainter& painter, int index, const QRect& rect, bool selected) {
            lbxAppSitesDrawItem(painter, index, rect, selected);
        });

    const auto pictureButton = [this](const char* glyph, const QString& hint, int left) {
        TImageButton* button =
            CreateButton(QString(), QRect(left, kStepTop, 40, 32), tsMonitoredList);
        button->SetPicture(PrepareBitmap(ResourcePicture(QLatin1String(glyph))));
        button->setToolTip(hint);
        return button;
    };
    btnApp_Add = pictureButton(pictures::kAdd, QStringLiteral("Add site/application"), kMargin);
    btnApp_Add->setObjectName(QStringLiteral("btnApp_Add"));
    btnApp_Delete = pictureButton(pictures::kDelete, QStringLiteral("Delete"), kMargin + 46);
    btnApp_Delete->setObjectName(QStringLiteral("btnApp_Delete"));
    std::tie(btnList_Back, btnList_Next) =
        AddStepButtons(tsMonitoredList, QStringLiteral("< Back"), QStringLiteral("Next >"));
    btnList_Back->setObjectName(QStringLiteral("btnList_Back"));
    btnList_Next->setObjectName(QStringLiteral("btnList_Next"));

    // The list's menu items; their keys work while the list page is on screen.
    miAdd = AddKeyAction(QStringLiteral("Add"), {QKeySequence(Qt::Key_Insert)}, [this] {
        if (ActivePage() == tsMonitoredList) {
            btnAddClick();
        }
    });
    miDelete =
        AddKeyAction(QStringLiteral("Delete"), {QKeySequence(Qt::CTRL | Qt::Key_Delete)}, [this] {
            if (ActivePage() == tsMonitoredList) {
                btnDeleteClick();
            }
        });
    lbxAppSites->addAction(miAdd);
    lbxAppSites->addAction(miDelete);
    lbxAppSites->setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(btnApp_Add, &TImageButton::clicked, this, &TfrmSettings::btnAddClick);
    connect(btnApp_Delete, &TImageButton::clicked, this, &TfrmSettings::btnDeleteClick);
}

void TfrmSettings::BuildExpirationPage() {
    tsExpiration = AddPage();
    tsExpiration->setObjectName(QStringLiteral("tsExpiration"));
    CreateLabel(QStringLiteral("Time up action:"), QRect(kMargin, 17, 120, 20), clWhite,
                tsExpiration);
    cbxExpirationAction = CreateCombo(tsExpiration, QRect(kFieldLeft, 14, kFieldWidth, 24));
    cbxExpirationAction->setObjectName(QStringLiteral("cbxExpirationAction"));
    for (uint8_t action : {eaReminderOnly, eaCloseBrowserApp, eaShutdownComputer}) {
        cbxExpirationAction->addItem(QLatin1String(ExpirationActionText(action)));
    }
    btnComboExpirationAction = CreateComboButton(cbxExpirationAction);
    btnComboExpirationAction->setObjectName(QStringLiteral("btnComboExpirationAction"));
    CreateLabel(QStringLiteral("Daily time limit:"), QRect(kMargin, 53, 120, 20), clWhite,
                tsExpiration);
    medTimeLimit = CreateEdit(QRect(kFieldLeft, 50, 64, 26), tsExpiration);
    medTimeLimit->setObjectName(QStringLiteral("medTimeLimit"));
    SetupTimeEdit(medTimeLimit);
    CreateLabel(QStringLiteral("hours:minutes"), QRect(kFieldLeft + 72, 53, 100, 20), clWhite,
                tsExpiration);
    std::tie(btnExpiration_Back, btnExpiration_Next) =
        AddStepButtons(tsExpiration, QStringLiteral("< Back"), QStringLiteral("Next >"));
    btnExpiration_Back->setObjectName(QStringLiteral("btnExpiration_Back"));
    btnExpiration_Next->setObjectName(QStringLiteral("btnExpiration_Next"));
}

void TfrmSettings::BuildReminderPage() {
    tsReminder = AddPage();
    tsReminder->setObjectName(QStringLiteral("tsReminder"));
    CreateLabel(QStringLiteral("To-do reminder:"), QRect(kMargin, 17, 120, 20), clWhite,
                tsReminder);
    cbxReminder = CreateCombo(tsReminder, QRect(kFieldLeft, 14, kFieldWidth, 24));
    cbxReminder->setObjectName(QStringLiteral("cbxReminder"));
    for (const char* name : kReminderNames) {
        cbxReminder->addItem(QLatin1String(name));
    }
    UseFilledMarks(cbxReminder);
    btnComboReminder = CreateComboButton(cbxReminder);
    btnComboReminder->setObjectName(QStringLiteral("btnComboReminder"));

    memReminder = CreateMemo(QRect(kMargin, 48, kClientWidth - 2 * kMargin, 250), tsReminder);
    memReminder->setObjectName(QStringLiteral("memReminder"));
    memReminder->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memReminder->installEventFilter(this);

    CreateLabel(QStringLiteral("Alert to change reminder:"), QRect(kMargin, 313, 180, 20), clWhite,
                tsReminder);
    cbRemiderChangePeriod =
        CreateCombo(tsReminder, QRect(190, 310, kClientWidth - kMargin - 190, 24));
    cbRemiderChangePeriod->setObjectName(QStringLiteral("cbRemiderChangePeriod"));
    for (const char* name : kPeriodNames) {
        cbRemiderChangePeriod->addItem(QLatin1String(name));
    }
    btnComboRemiderChangePeriod = CreateComboButton(cbRemiderChangePeriod);
    btnComboRemiderChangePeriod->setObjectName(QStringLiteral("btnComboRemiderChangePeriod"));

    std::tie(btnReminder_Back, btnFinish) =
        AddStepButtons(tsReminder, QStringLiteral("< Back"), QStringLiteral("Apply"));
    btnReminder_Back->setObjectName(QStringLiteral("btnReminder_Back"));
    btnFinish->setObjectName(QStringLiteral("btnFinish"));

    connect(cbxReminder, &QComboBox::currentIndexChanged, this, &TfrmSettings::cbxReminderChange);
    connect(memReminder, &QPlainTextEdit::textChanged, this, &TfrmSettings::memReminderChange);
}

// --- Running ---

bool TfrmSettings::Execute(TOptions& options, bool firstRun) {
    FOptions = &options;
    FFirstRun = firstRun;
    FPageIndex = -1;
    RestorePages();
    PadListBox(lbxAppSites);
    ShowAllowUserToggle(firstRun);
    FPages = {tsBackground};
    if constexpr (AdminPasswordEnabled) {
        PrepareLogonPage();
        FPages.push_back(tsLogon);
    }
    FPages.insert(FPages.end(), {tsMonitoredList, tsExpiration, tsReminder});
    LoadTimeLimit();
    LoadList();
    LoadReminders();
    if (!AdminPasswordEnabled && firstRun) {
        options.AdminLoggedIn = true;
    }
    StepNext();
    return ShowModal();
}

void TfrmSettings::done(int result) {
    if (result != QDialog::Accepted) {
        RevertAppearance();
    }
    if (FOptions != nullptr) {
        FOptions->AdminLoggedIn = false;
    }
    TfrmBase::done(result);
}

void TfrmSettings::GoToPage(int index) {
    FPageIndex = index;
    QWidget* page = FPages[size_t(index)];
    RestorePages();
    ShowPage(page);
    if (page == tsBackground) {
        SelectColor(cbxTextColor, FSavedTextColor);
        SelectColor(cbxColor, FSavedColor);
    }
}

void TfrmSettings::StepNext() {
    QWidget* page = ActivePage();
    if (page == tsLogon) {
        if (FFirstRun || !edtStart_Password->text().isEmpty()) {
            if (!ValidateLogon()) {
                return;
            }
        } else {
            FOptions->AdminLoggedIn = false;
        }
    }
    if (page == tsExpiration && !ValidateTimeLimit(medTimeLimit)) {
        return;
    }
    if (page == tsLogon) {
        // The access level decides what is shown: a user sees the pending
        // values, an administrator the stored ones.
        LoadTimeLimit();
        LoadList();
        LoadReminders();
        SetEditable(FFirstRun || FOptions->AdminLoggedIn || FOptions->AllowUserToChangeSettings);
    }
    if (FPageIndex + 1 >= int(FPages.size())) {
        btnFinishClick();
        return;
    }
    GoToPage(FPageIndex + 1);
}

void TfrmSettings::StepBack() {
    if (FPageIndex <= 0) {
        reject();
        return;
    }
    GoToPage(FPageIndex - 1);
}

void TfrmSettings::SetEditable(bool editable) {
    cbxExpirationAction->setEnabled(editable);
    btnComboExpirationAction->setEnabled(editable);
    medTimeLimit->setEnabled(editable);
    btnApp_Add->setVisible(editable);
    btnApp_Delete->setVisible(editable);
    // Without the buttons their keys do nothing either.
    miAdd->setEnabled(editable);
    miDelete->setEnabled(editable);
}

void TfrmSettings::btnFinishClick() {
    TOptions& options = *FOptions;
    const std::string password = edtStart_Password->text().toStdString();
    if (FFirstRun || (!password.empty() && LogonHolds(password))) {
        options.AllowUserToChangeSettings = !imgAllowUserToChangeSettings_Yes->isHidden();
    }
    // Only what the user changed is handed on: setting even the same value
    // can use up the day's one immediate change.
    const auto action = uint8_t(cbxExpirationAction->currentIndex());
    if (action != FLoadedAction) {
        options.SetExpirationAction(action);
    }
    const int32_t seconds = LimitSeconds(medTimeLimit->text());
    if (seconds != FLoadedSeconds) {
        options.SetTimeLimitSeconds(seconds);
    }
    options.MonitoredList().AssignFrom(&FEditList, mitAll, "");
    DropPendingRemovals();
    for (uint8_t type : {rtMorning, rtAfternoon, rtEvening}) {
        options.SetReminder(type, FReminderTexts[type]);
    }
    options.ReminderChangePeriod = uint8_t(cbRemiderChangePeriod->currentIndex());
    if (AdminPasswordEnabled && !password.empty()) {
        options.SetPassword(password);
    }
    if (!options.Save()) {
        // The store keeps the values and writes them with its next save.
        ShowWarning(QLatin1String(kNotSaved), QLatin1String(kNotice), this);
    }
    accept();
}

// --- Logon ---

void TfrmSettings::PrepareLogonPage() {
    const bool missing = FOptions == nullptr || FOptions->Password.empty();
    btnChangePassword->setVisible(!missing);
    lblLogonDescription->setText(
        QLatin1String(kLogonDescription)
            .arg(missing ? QStringLiteral("set") : QStringLiteral("enter")));
    for (QWidget* w : std::initializer_list<QWidget*>{lblConfirmPassword,
                                                      edtStart_ConfirmPassword->parentWidget(),
                                                      lblStorePasswordOnline, lblPasswordNote}) {
        w->setVisible(missing);
    }
    lblForgotPassword->setVisible(!missing);
}

void TfrmSettings::ShowAllowUserToggle(bool show) {
    lblAllowUserToChangeSettings->setVisible(show);
    const bool allowed = FOptions != nullptr && FOptions->AllowUserToChangeSettings;
    imgAllowUserToChangeSettings_Yes->setVisible(show && allowed);
    imgAllowUserToChangeSettings_No->setVisible(show && !allowed);
}

void TfrmSettings::imgAllowUserToChangeSettings_YesClick() {
    const bool yes = imgAllowUserToChangeSettings_Yes->isHidden();
    imgAllowUserToChangeSettings_Yes->setVisible(yes);
    imgAllowUserToChangeSettings_No->setVisible(!yes);
}

void TfrmSettings::edtStart_PasswordChange() {
    if (FFirstRun || FOptions == nullptr) {
        return;
    }
    ShowAllowUserToggle(FOptions->CheckPassword(edtStart_Password->text().toStdString()));
}

bool TfrmSettings::ValidateLogon() {
    const QString password = edtStart_Password->text();
    const auto refuse = [this](const char* text) {
        ShowWarning(QLatin1String(text), QLatin1String(kNotice), this);
        edtStart_Password->setFocus();
        return false;
    };
    if (edtStart_ConfirmPassword->isVisibleTo(tsLogon) &&
        password != edtStart_ConfirmPassword->text()) {
        return refuse("The passwords entered are not the same");
    }
    if (password.trimmed().isEmpty()) {
        return refuse("A password is required");
    }
    if (FOptions->Password.empty() || FOptions->CheckPassword(password.toStdString())) {
        FOptions->AdminLoggedIn = true;
        return true;
    }
    return refuse("Invalid password");
}

bool TfrmSettings::LogonHolds(const std::string& password) {
    // With no password stored yet, the logon that is setting one holds.
    if (FOptions->Password.empty()) {
        return FOptions->AdminLoggedIn;
    }
    return FOptions->CheckPassword(password);
}

void TfrmSettings::btnChangePasswordClick() {
    TfrmPasswordChange dialog(this);
    dialog.Execute(*FOptions);
    ShowAllowUserToggle(false);
}

// --- Time-limit list ---

void TfrmSettings::LoadList() {
    lbxAppSites->clear();
    FEditList.AssignFrom(&FOptions->MonitoredList(), mitAll, "");
    if constexpr (!AdminPasswordEnabled) {
        // Entries a user removed wait, greyed, for the daily reset.
        const TIniFile& ini = GetIniFile();
        for (TMonitoredItemType type : {mitApplication, mitWebSite}) {
            for (const std::string& name : ini.ReadSection(MonitoredIniSection(type))) {
                for (int i = 0; i < FEditList.Count(); ++i) {
                    if (FEditList.Items(i)->Name == name) {
                        FEditList.Items(i)->Active = false;
                    }
                }
            }
        }
    }
    RefillList();
}

void TfrmSettings::RefillList() {
    FillListBox(*lbxAppSites, FEditList, mitAll);
    PadListBox(lbxAppSites);
}

void TfrmSettings::lbxAppSitesDrawItem(QPainter& painter, int index, const QRect& rect,
                                       bool selected) {
    FillRowStripe(painter, index, rect, selected);
    const int rule = rect.left() + kNameHeaderWidth - 8;
    DrawColumnRule(painter, rule, rect);
    if (index == lbxAppSites->count() - 1) {
        DrawBottomRule(painter, rect);
    }
    const TMonitoredItem* item = lbxAppSites->Item(index);
    const QString caption = lbxAppSites->Caption(index);
    if (item == nullptr || caption.isEmpty()) {
        return;
    }
    DrawCellText(painter, QRect(rect.left() + 2, rect.top(), rule - rect.left() - 4, rect.height()),
                 caption, Qt::AlignLeft);
    DrawCellText(painter, QRect(rule + 2, rect.top(), rect.right() - rule - 4, rect.height()),
                 QLatin1String(MonitoredItemTypeDisplayName(item->ItemType)), Qt::AlignHCenter);
}

bool TfrmSettings::ListEditable() {
    // A list table that could not be read is never saved over, so edits
    // of it would be lost: they are refused rather than taken and dropped.
    if (FOptions->MonitoredListLoaded(mitAll)) {
        return true;
    }
    ShowWarning(QLatin1String(kListUnread), QLatin1String(kNotice), this);
    return false;
}

void TfrmSettings::btnAddClick() {
    if (!ListEditable()) {
        return;
    }
    TMonitoredList result;
    TfrmAppSiteAddWizard wizard(FDiscovery, this);
    wizard.Execute(FOptions, &FEditList, &result);
    if (result.Count() == 0) {
        return;
    }
    // The rows point into the list that is about to change.
    lbxAppSites->clear();
    for (int i = 0; i < result.Count(); ++i) {
        ApplyWizardItem(*result.Items(i));
    }
    RefillList();
}

void TfrmSettings::ApplyWizardItem(const TMonitoredItem& item) {
    if (!item.Checked && item.Active) {
        const int index = FEditList.IndexOfName(item.Name);
        if (index >= 0) {
            FEditList.Delete(index);
        }
        return;
    }
    int index = -1;
    switch (FEditList.CheckItem(&item, index)) {
        case csNotListed: {
            auto copy = std::make_unique<TMonitoredItem>();
            copy->Assign(item);
            FEditList.Add(item.Caption, std::move(copy));
            break;
        }
        case csListedChecked:
        case csListedInactive:
        case csListedUnchecked:
            FEditList.Items(index)->Active = item.Active;
            if (FEditList.Items(index)->Caption != item.Caption) {
                Recaption(FEditList, index, item.Caption);
            }
            break;
        case csSelf:
            break;
    }
}

void TfrmSettings::DropPendingRemovals() {
    TIniFile& ini = GetIniFile();
    for (int i = 0; i < FEditList.Count(); ++i) {
        const TMonitoredItem& item = *FEditList.Items(i);
        const char* section = MonitoredIniSection(item.ItemType);
        if (item.Active && ini.ValueExists(section, item.Name)) {
            ini.DeleteKey(section, item.Name);
        }
    }
}

void TfrmSettings::btnDeleteClick() {
    const QList<QListWidgetItem*> selected = lbxAppSites->selectedItems();
    if (selected.isEmpty()) {
        return;
    }
    const int row = lbxAppSites->row(selected.constFirst());
    const QString text = lbxAppSites->Caption(row);
    const TMonitoredItem* shown = lbxAppSites->Item(row);
    if (text.trimmed().isEmpty() || shown == nullptr) {
        return;
    }
    const std::string name = shown->Name;
    if (!ListEditable()) {
        return;
    }
    TfrmDeleteConfirm confirm(this);
    if (!confirm.Execute(text)) {
        return;
    }
    const int level = FOptions->AccessLevel();
    const int index = FEditList.IndexOfName(name);
    if (level == 0 || index < 0) {
        return;
    }
    lbxAppSites->clear();
    if (level == 1) {
        FEditList.Items(index)->Active = false;
    } else {
        FEditList.Delete(index);
    }
    RefillList();
}

// --- Expiration ---

void TfrmSettings::LoadTimeLimit() {
    int32_t seconds = 0;
    uint8_t action = 0;
    GetTimeLimitAndAction(*FOptions, seconds, action);
    medTimeLimit->setText(QString::fromStdString(FormatHoursMinutes(seconds / kSecondsPerDay)));
    cbxExpirationAction->setCurrentIndex(action);
    FLoadedSeconds = LimitSeconds(medTimeLimit->text());
    FLoadedAction = action;
}

// --- Reminders ---

void TfrmSettings::LoadReminders() {
    cbRemiderChangePeriod->setCurrentIndex(FOptions->ReminderChangePeriod);
    for (uint8_t type : {rtMorning, rtAfternoon, rtEvening}) {
        FReminderTexts[type] = FOptions->ReminderTexts(type);
        SetFilledMark(cbxReminder, type, ReminderTextFilled(FReminderTexts[type]));
    }
    const QSignalBlocker block(cbxReminder);
    cbxReminder->setCurrentIndex(rtMorning);
    memReminder->setPlainText(QString::fromStdString(FReminderTexts[rtMorning]));
}

void TfrmSettings::cbxReminderChange() {
    const int type = cbxReminder->currentIndex();
    if (type >= 0) {
        memReminder->setPlainText(QString::fromStdString(FReminderTexts[size_t(type)]));
    }
}

void TfrmSettings::memReminderChange() {
    const int type = cbxReminder->currentIndex();
    if (type < 0) {
        return;
    }
    FReminderTexts[size_t(type)] = memReminder->toPlainText().toStdString();
    SetFilledMark(cbxReminder, type, ReminderTextFilled(FReminderTexts[size_t(type)]));
    cbxReminder->update();
}

// --- Appearance ---

void TfrmSettings::SelectColor(QComboBox* combo, int32_t color) {
    int index = combo->findData(color, kValueRole);
    if (index < 0) {
        // A colour of no name shows as its number, before "Custom...".
        const int custom = combo->count() - 1;
        const int named = int(std::size(kNamedColors));
        if (custom > named) {
            combo->removeItem(named);
        }
        const QString text = ColorFromWin(color).name(QColor::HexRgb).toUpper();
        index = combo->count() - 1;
        combo->insertItem(index, Swatch(color), text, color);
    }
    combo->setCurrentIndex(index);
}

std::optional<int32_t> TfrmSettings::PickedColor(QComboBox* combo, int32_t current) {
    const QVariant value = combo->currentData(kValueRole);
    if (value.isValid()) {
        return value.toInt();
    }
    const std::optional<int32_t> color = AskColor(this, current);
    SelectColor(combo, color.value_or(current));
    return color;
}

std::optional<int32_t> TfrmSettings::AskColor(QWidget* owner, int32_t current) {
    QColorDialog dialog(ColorFromWin(current), owner);
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    std::optional<QColor> chosen;
    if (ColorHook()) {
        chosen = ColorHook()(dialog);
    } else if (dialog.exec() == QDialog::Accepted) {
        chosen = dialog.selectedColor();
    }
    if (!chosen || !chosen->isValid()) {
        return std::nullopt;
    }
    return ColorToWin(*chosen);
}

void TfrmSettings::cbxTextColorChange(int32_t color) {
    tw::SetTextColor(color);
    SetTextColor(color);
}

void TfrmSettings::cbxColorChange(int32_t color) {
    SetBackgroundColor(color);
    tw::SetBackgroundColor(color);
    // A chosen colour is never hidden under a picture.
    cbxImage->setCurrentIndex(cbxImage->findData(kNoImageItem));
    ApplyImageItem();
}

void TfrmSettings::cbxTransparencyChange() {
    const int percent = cbxTransparency->currentText().toInt();
    SetTransparency(percent);
    tw::SetTransparency(percent);
}

void TfrmSettings::SelectImage(const std::string& path) {
    int index = -1;
    for (size_t i = 0; i < FSkins.size(); ++i) {
        if (FSkins[i].second == path) {
            index = cbxImage->findData(int(i));  // the last such skin wins
        }
    }
    if (index < 0) {
        const bool exists = !path.empty() && FileExistsOnVolume(path);
        index = cbxImage->findData(exists ? kCustomImage : kNoImageItem);
    }
    cbxImage->setCurrentIndex(index);
    btnBrowseImage->setVisible(cbxImage->currentData().toInt() == kCustomImage);
}

void TfrmSettings::cbxImageChange() {
    if (cbxImage->currentData().toInt() == kCustomImage) {
        btnBrowseImage->setVisible(true);
        btnBrowseImageClick();
        return;
    }
    ApplyImageItem();
}

void TfrmSettings::ApplyImageItem() {
    const int item = cbxImage->currentData().toInt();
    btnBrowseImage->setVisible(item == kCustomImage);
    if (item == kNoImageItem) {
        tw::SetBackgroundImage("");
    } else if (item >= 0 && size_t(item) < FSkins.size()) {
        tw::SetBackgroundImage(FSkins[size_t(item)].second);
    }
    update();
}

void TfrmSettings::btnBrowseImageClick() {
    const std::optional<QString> chosen = AskPicture(this);
    if (!chosen) {
        return;
    }
    const std::string path = chosen->toStdString();
    for (size_t i = 0; i < FSkins.size(); ++i) {
        if (SameText(FSkins[i].second, path)) {
            cbxImage->setCurrentIndex(cbxImage->findData(int(i)));
            ApplyImageItem();
            return;
        }
    }
    tw::SetBackgroundImage(path);
    update();
}

std::optional<QString> TfrmSettings::AskPicture(QWidget* owner) {
    QFileDialog opdBackground(owner, QStringLiteral("Open"));
    opdBackground.setObjectName(QStringLiteral("opdBackground"));
    opdBackground.setOption(QFileDialog::DontUseNativeDialog);
    opdBackground.setFileMode(QFileDialog::ExistingFile);
    opdBackground.setAcceptMode(QFileDialog::AcceptOpen);
    opdBackground.setNameFilter(QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif *.bmp)"));
    opdBackground.setDirectory(QString::fromStdString(SkinsFolder()));
    std::optional<QString> chosen;
    if (PictureHook()) {
        chosen = PictureHook()(opdBackground);
    } else if (opdBackground.exec() == QDialog::Accepted &&
               !opdBackground.selectedFiles().isEmpty()) {
        chosen = opdBackground.selectedFiles().constFirst();
    }
    if (!chosen || chosen->isEmpty()) {
        return std::nullopt;
    }
    return chosen;
}

void TfrmSettings::RevertAppearance() {
    tw::SetTextColor(FSavedTextColor);
    tw::SetBackgroundColor(FSavedColor);
    tw::SetBackgroundImage(FSavedImage);
    tw::SetTransparency(FSavedTransparency);
}

// --- Events ---

bool TfrmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == memReminder) {
        // While the memo has the focus, Enter makes a new line.
        if (event->type() == QEvent::FocusIn) {
            miNext->setShortcuts({});
        } else if (event->type() == QEvent::FocusOut) {
            miNext->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
        }
    } else if ((watched == lblAllowUserToChangeSettings ||
                watched == imgAllowUserToChangeSettings_Yes ||
                watched == imgAllowUserToChangeSettings_No) &&
               event->type() == QEvent::MouseButtonRelease &&
               static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        imgAllowUserToChangeSettings_YesClick();
        return true;
    }
    return TfrmBase::eventFilter(watched, event);
}

}  // namespace tw
