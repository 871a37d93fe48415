#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QString>

#include "base/Appearance.h"
#include "storage/MonitoredObjects.h"
#include "ui/BaseFRM.h"

class QAction;
class QColorDialog;
class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

// The step-by-step settings window: the look of the windows, the
// administrator's logon (in the build with the password), the time-limit
// list, the daily limit with the time-up action, and the three to-do
// reminders. The look is written and previewed at once and put back when
// the user cancels; everything else is edited on copies and reaches the
// settings store only with "Apply".
namespace tw {

class TAppDiscovery;
class TMonitoredListBox;
class TOptions;

class TfrmSettings final : public TfrmBase {
    Q_OBJECT
public:
    // The discovery is handed on to the add wizard; it lives with the caller.
    explicit TfrmSettings(TAppDiscovery& discovery, QWidget* parent = nullptr);
    ~TfrmSettings() override;

    // Shows the window modally over `options`; `firstRun` is the first start
    // of the program. True when closed by "Apply".
    bool Execute(TOptions& options, bool firstRun);

    // Test seams for the picture and colour dialogs: while set, they answer
    // the prepared dialog instead of the user (nullopt for Cancel).
    using TPictureHook = std::function<std::optional<QString>(QFileDialog& dialog)>;
    static void SetPictureDialogHook(TPictureHook hook);
    using TColorHook = std::function<std::optional<QColor>(QColorDialog& dialog)>;
    static void SetColorDialogHook(TColorHook hook);
    // The colour and picture dialogs of the appearance choices, shared with
    // the panel's menu; nothing when cancelled.
    static std::optional<int32_t> AskColor(QWidget* owner, int32_t current);
    static std::optional<QString> AskPicture(QWidget* owner);

    // The pages in the order the user goes through them.
    const std::vector<QWidget*>& PageSequence() const noexcept { return FPages; }
    void StepNext();
    void StepBack();
    // The Logon page as the stored password asks for it.
    void PrepareLogonPage();

    // Pages.
    QWidget* tsBackground = nullptr;
    QWidget* tsLogon = nullptr;
    QWidget* tsMonitoredList = nullptr;
    QWidget* tsExpiration = nullptr;
    QWidget* tsReminder = nullptr;

    // Background.
    QComboBox* cbxTextColor = nullptr;
    TImageButton* btnTextColor = nullptr;
    QComboBox* cbxColor = nullptr;
    TImageButton* btnColorDropDown = nullptr;
    QComboBox* cbxImage = nullptr;
    TImageButton* btnImageDown = nullptr;
    TImageButton* btnBrowseImage = nullptr;
    QComboBox* cbxTransparency = nullptr;
    TImageButton* btnTransparency = nullptr;
    TImageButton* btnBackground_Cancel = nullptr;
    TImageButton* btnBackground_Next = nullptr;

    // Logon.
    QLabel* lblLogonDescription = nullptr;
    QLineEdit* edtStart_Password = nullptr;
    QLabel* lblConfirmPassword = nullptr;
    QLineEdit* edtStart_ConfirmPassword = nullptr;
    TImageButton* btnChangePassword = nullptr;
    QLabel* lblAllowUserToChangeSettings = nullptr;
    QLabel* imgAllowUserToChangeSettings_Yes = nullptr;
    QLabel* imgAllowUserToChangeSettings_No = nullptr;
    QLabel* lblForgotPassword = nullptr;
    QLabel* lblStorePasswordOnline = nullptr;
    QLabel* lblPasswordNote = nullptr;
    TImageButton* btnLogon_Back = nullptr;
    TImageButton* btnLogon_Next = nullptr;

    // Time-limit list.
    TMonitoredListBox* lbxAppSites = nullptr;
    TImageButton* btnApp_Add = nullptr;
    TImageButton* btnApp_Delete = nullptr;
    TImageButton* btnList_Back = nullptr;
    TImageButton* btnList_Next = nullptr;
    QAction* miAdd = nullptr;
    QAction* miDelete = nullptr;

    // Expiration.
    QComboBox* cbxExpirationAction = nullptr;
    TImageButton* btnComboExpirationAction = nullptr;
    QLineEdit* medTimeLimit = nullptr;
    TImageButton* btnExpiration_Back = nullptr;
    TImageButton* btnExpiration_Next = nullptr;

    // Reminders.
    QComboBox* cbxReminder = nullptr;
    TImageButton* btnComboReminder = nullptr;
    QPlainTextEdit* memReminder = nullptr;
    QComboBox* cbRemiderChangePeriod = nullptr;
    TImageButton* btnComboRemiderChangePeriod = nullptr;
    TImageButton* btnReminder_Back = nullptr;
    TImageButton* btnFinish = nullptr;

    QAction* miNext = nullptr;
    QAction* miBack = nullptr;

public slots:
    // Any way out but "Apply" puts the look back; the administrator is
    // logged off however the window ends.
    void done(int result) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildBackgroundPage();
    void BuildLogonPage();
    void BuildListPage();
    void BuildExpirationPage();
    void BuildReminderPage();
    // Back and Next (or Apply) at the bottom of a page.
    std::pair<TImageButton*, TImageButton*> AddStepButtons(QWidget* page, const QString& back,
                                                           const QString& next);

    void GoToPage(int index);
    void SetEditable(bool editable);
    void ShowAllowUserToggle(bool show);
    bool ValidateLogon();
    // Whether the typed password makes the user the administrator.
    bool LogonHolds(const std::string& password);

    void LoadTimeLimit();
    void LoadList();
    void LoadReminders();
    void RefillList();
    // False, with a notice, when the stored list could not be read.
    bool ListEditable();
    void ApplyWizardItem(const TMonitoredItem& item);
    // Entries the user made active again are no longer waiting for the
    // daily reset to remove them.
    void DropPendingRemovals();
    void RevertAppearance();

    void SelectColor(QComboBox* combo, int32_t color);
    // The colour of the item the user picked; asks for it on "Custom...".
    std::optional<int32_t> PickedColor(QComboBox* combo, int32_t current);
    void SelectImage(const std::string& path);
    void ApplyImageItem();

    void btnFinishClick();
    void btnAddClick();
    void btnDeleteClick();
    void btnBrowseImageClick();
    void btnChangePasswordClick();
    void cbxColorChange(int32_t color);
    void cbxTextColorChange(int32_t color);
    void cbxImageChange();
    void cbxTransparencyChange();
    void cbxReminderChange();
    void memReminderChange();
    void edtStart_PasswordChange();
    void imgAllowUserToChangeSettings_YesClick();
    void lbxAppSitesDrawItem(QPainter& painter, int index, const QRect& rect, bool selected);

    TAppDiscovery& FDiscovery;
    TOptions* FOptions = nullptr;
    bool FFirstRun = false;
    std::vector<QWidget*> FPages;
    int FPageIndex = -1;
    TMonitoredList FEditList;
    std::array<std::string, 3> FReminderTexts;
    NameValueList FSkins;
    int32_t FSavedTextColor = 0;
    int32_t FSavedColor = 0;
    std::string FSavedImage;
    int32_t FSavedTransparency = 0;
    // What LoadTimeLimit showed: only a change of them is handed to the store.
    int32_t FLoadedSeconds = 0;
    uint8_t FLoadedAction = 0;
};

}  // namespace tw
