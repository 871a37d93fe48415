#pragma once

#include <array>
#include <memory>

#include "base/Appearance.h"
#include "control/AppServices.h"
#include "control/EnforcementCore.h"
#include "control/PanelCore.h"
#include "ui/BaseFRM.h"

class QActionGroup;
class QComboBox;
class QEnterEvent;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QTimer;

// The main window: the narrow panel docked at the screen edge. It owns the
// enforcement core and the panel's rules with the timers that drive them,
// listens to the session, power and hot-key sources, shows the dialogs the
// rules ask for, and carries the panel's widgets.
namespace tw {

class TImageButton;
class TImagePanel;
class TMonitoredListBox;
class TQtCoreTimer;
class TTrayIcon;

class TfrmMain final : public TfrmBase,
                       private TEnforcementView,
                       private TPanelView,
                       private SessionObserver {
    Q_OBJECT
public:
    explicit TfrmMain(const TAppServices& services, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TEnforcementCore& Core() noexcept { return *core_; }
    TPanelCore& Panel() noexcept { return *panel_; }
    // The icon in the notification area.
    TTrayIcon* Tray() noexcept { return tray_.get(); }

    // Starts focus mode through "Block Mode" (the panel's "Focus" button).
    void btnFocusClick();
    // "Time-Up Settings" (the panel's "Edit" beside the time limit).
    void actTimeEditExecute();
    // Whether the user may change settings now: without the password, or
    // with it when the administrator's password is given.
    bool CheckSettingsAccess() override;
    void btnApp_AddClick();
    void btnApp_DeleteClick();
    void actSettingsExecute();
    void cbxUsage_PeriodChange();
    void BuildSkinMenu();
    // The tray icon's left click.
    void TrayLeftClick();

    bool CanMoveTo(int newLeft, int newTop) override;

    QTimer* tmrScan = nullptr;
    QTimer* tmrTime = nullptr;
    QTimer* tmrUsage = nullptr;
    QTimer* tmrSaveOptions = nullptr;
    QTimer* tmrReminderOnly = nullptr;
    QTimer* tmrReminderChange = nullptr;
    QTimer* tmrShutdown = nullptr;
    QTimer* tmrTimeSynchronization = nullptr;
    QTimer* tmrDeactivation = nullptr;
    QTimer* tmrAutohide = nullptr;
    QTimer* tmrAutohideSlide = nullptr;

    TImageButton* btnView = nullptr;
    TImageButton* btnLinks = nullptr;
    TImageButton* btnMinimize = nullptr;
    TImagePanel* pnlMain_TimeOnline = nullptr;
    QLabel* lblMain_TimeTitle = nullptr;
    QLabel* lblMain_Time = nullptr;
    QLabel* lblMain_TimeLink = nullptr;
    TImagePanel* pnlMain_FocusTime = nullptr;
    QLabel* lblMain_FocusTimeTitle = nullptr;
    QLabel* lblMain_FocusTime = nullptr;
    QLabel* lblMain_FocusModeTimeLink = nullptr;
    TImageButton* btnFocus = nullptr;

    QWidget* tsMain = nullptr;
    QWidget* tsReminder = nullptr;
    QWidget* tsUsage = nullptr;
    QComboBox* cbxReminder = nullptr;
    QWidget* pnlReminder = nullptr;
    QPlainTextEdit* mmReminder = nullptr;
    TImageButton* btnApp_Add = nullptr;
    TImageButton* btnApp_Delete = nullptr;
    TMonitoredListBox* lbxMain_Applications = nullptr;
    QLabel* lblAction = nullptr;
    QLabel* lblTimeLimit = nullptr;
    QLineEdit* edtAction = nullptr;
    QLineEdit* edtTimeLimit = nullptr;
    TImageButton* btnTimeEdit = nullptr;
    std::array<QPlainTextEdit*, 3> mmReminderParts{};
    QComboBox* cbxUsage_Period = nullptr;
    TMonitoredListBox* lbxUsage_Applications = nullptr;
    TImageButton* btnBack = nullptr;
    TImageButton* btnNext = nullptr;

    QMenu* pmnView = nullptr;
    QMenu* pmnAddons = nullptr;
    QAction* miAutohide = nullptr;
    QMenu* miSkin = nullptr;
    QAction* miClearBackgroundImage = nullptr;
    std::array<QAction*, 4> miViews{};

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;

private:
    void BuildTimeArea();
    void BuildMainPage();
    void BuildReminderPage();
    void BuildUsagePage();
    void BuildMenus();
    void AddColumnHeaders(QWidget* page, int top);
    void LayOutPages();
    void ApplyOptions();
    // The to-do selector and memos.
    void cbxReminderChange();
    void MarkFilledReminders();
    void LoadReminderMemos();
    void RefreshLimitAndAction();
    void FillMainList();
    void DrawListRow(TMonitoredListBox& list, QPainter& painter, int index, const QRect& rect,
                     bool selected);
    void ApplyAppearance();
    void ShowViewItem(TPanelViewItem item);

    // A timer whose handler runs guarded: nothing escapes into Qt's loop.
    template <typename Handler>
    QTimer* AddTimer(int interval, bool enabled, Handler handler);
    void Guarded(const std::function<void()>& work);

    // TEnforcementView
    TReminderResult ShowReminder(bool focus, bool offerFiveMinutes) override;
    void ShowReminderChange(const std::string& message) override;
    void ShowNotice(const std::string& text) override;
    void SelectReminderPart(uint8_t partOfDay) override;
    void SetFocusModeView(bool on) override;
    void SetFocusTimeTexts(const std::string& title, const std::string& link) override;
    void SetFocusTimeValue(const std::string& value) override;
    void UpdateTimeDisplay() override;
    void RefreshUsageList() override;
    void ReleaseDayLists() override;
    void ReloadDayLists() override;
    void Minimise() override;
    void TogglePanel() override;
    void Terminate() override;

    // TPanelView
    void ShowSheet(TPanelSheet sheet) override;
    void LoadUsagePeriod() override;
    void CheckViewItem(TPanelViewItem item) override;
    int CompactClientHeight() const override;
    TPanelRect WorkArea() const override;
    TPanelRect PanelRect() const override;
    void SetPanelRect(const TPanelRect& rect) override;
    bool PanelShown() const override;
    void ShowPanel() override;
    void HidePanel() override;
    bool PanelEnabled() const override;
    bool PanelActive() const override;
    bool PointerOverPanel() const override;
    bool TrayAvailable() const override;
    void SetTimeTexts(const std::string& title, const std::string& link) override;
    void SetTimeValue(const std::string& value) override;
    bool ConfirmDelete(const std::string& caption) override;
    void RefillMainList() override;

    // SessionObserver: passed on to the core, guarded.
    void SystemSuspending() override;
    void SystemResumed() override;
    void SessionDeactivated() override;
    void SessionActivated() override;

    TAppServices services_;
    std::unique_ptr<TQtCoreTimer> scanTimer_, reminderOnlyTimer_, shutdownTimer_;
    std::unique_ptr<TQtCoreTimer> deactivationTimer_, autohideTimer_, autohideSlideTimer_;
    std::unique_ptr<TEnforcementCore> core_;
    std::unique_ptr<TPanelCore> panel_;
    // Where the panel is, also the part outside the work area while it slides.
    TPanelRect panelRect_;
    int laidOutHeight_ = -1;
    bool FUpdatingReminders = false;
    std::unique_ptr<TTrayIcon> tray_;
    bool sessionNotifyRegistered_ = false;
    bool hotkeyStarted_ = false;
    NameValueList FSkins;
};

}  // namespace tw
