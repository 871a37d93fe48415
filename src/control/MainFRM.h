#pragma once

#include <memory>

#include "control/AppServices.h"
#include "control/EnforcementCore.h"
#include "ui/BaseFRM.h"

class QTimer;

// The main window: it owns the enforcement core and the timers that drive
// it, listens to the session, power and hot-key sources, and shows the
// dialogs the core asks for. The docked panel's views grow on this window.
namespace tw {

class TQtCoreTimer;
class TTrayIcon;

class TfrmMain final : public TfrmBase, private TEnforcementView, private SessionObserver {
    Q_OBJECT
public:
    explicit TfrmMain(const TAppServices& services, QWidget* parent = nullptr);
    ~TfrmMain() override;

    TEnforcementCore& Core() noexcept { return *core_; }
    // The icon in the notification area.
    TTrayIcon* Tray() noexcept { return tray_.get(); }
    // A left click on the tray icon.
    void TrayLeftClick();

    // Starts focus mode through "Block Mode" (the panel's "Focus" button).
    void btnFocusClick();
    // "Time-Up Settings" (the panel's "Edit" beside the time limit).
    void actTimeEditExecute();
    // Whether the user may change settings now: without the password, or
    // with it when the administrator's password is given.
    bool CheckSettingsAccess();

    QTimer* tmrScan = nullptr;
    QTimer* tmrTime = nullptr;
    QTimer* tmrUsage = nullptr;
    QTimer* tmrSaveOptions = nullptr;
    QTimer* tmrReminderOnly = nullptr;
    QTimer* tmrReminderChange = nullptr;
    QTimer* tmrShutdown = nullptr;
    QTimer* tmrTimeSynchronization = nullptr;

private:
    // A timer whose handler runs guarded: nothing escapes into Qt's loop.
    QTimer* AddTimer(int interval, bool enabled, void (TEnforcementCore::*handler)());
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

    // SessionObserver: passed on to the core, guarded.
    void SystemSuspending() override;
    void SystemResumed() override;
    void SessionDeactivated() override;
    void SessionActivated() override;

    TAppServices services_;
    std::unique_ptr<TQtCoreTimer> scanTimer_, reminderOnlyTimer_, shutdownTimer_;
    std::unique_ptr<TEnforcementCore> core_;
    std::unique_ptr<TTrayIcon> tray_;
    bool sessionNotifyRegistered_ = false;
    bool hotkeyStarted_ = false;
};

}  // namespace tw
