#include "control/MainFRM.h"

#include <QCoreApplication>
#include <QString>
#include <QTimer>

#include "base/Exceptions.h"
#include "control/FocusSettingsFRM.h"
#include "control/ReminderChangeFRM.h"
#include "control/ReminderFRM.h"
#include "control/ReminderSettingsFRM.h"
#include "control/TaskBarState.h"
#include "control/TrayIcon.h"
#include "detection/AppDiscovery.h"
#include "platform/Hotkey.h"
#include "storage/MonitoredObjects.h"
#include "storage/Options.h"
#include "ui/PasswordCheckFRM.h"

namespace tw {

// A QTimer as the core switches it: enabling starts a new interval.
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
    setWindowTitle(QStringLiteral("Tallyward"));
    // Neither in the task bar nor in the task switcher, and above the windows it docks beside.
    setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool | Qt::WindowStaysOnTopHint);
    KeepOffTaskBar(*this);
    // The laid-out 4 s; ApplyScanPeriod replaces it with the stored period.
    tmrScan = AddTimer(4000, true, &TEnforcementCore::tmrScanTimer);
    tmrTime = AddTimer(kTimeInterval, true, &TEnforcementCore::tmrTimeTimer);
    tmrUsage = AddTimer(kUsageInterval, true, &TEnforcementCore::tmrUsageTimer);
    tmrSaveOptions = AddTimer(kSaveOptionsInterval, true, &TEnforcementCore::tmrSaveOptionsTimer);
    tmrShutdown = AddTimer(kShutdownCheckInterval, true, &TEnforcementCore::tmrShutdownTimer);
    tmrTimeSynchronization = AddTimer(kTimeSynchronizationInterval, true,
                                      &TEnforcementCore::tmrTimeSynchronizationTimer);
    tmrReminderOnly =
        AddTimer(kReminderOnlyInterval, false, &TEnforcementCore::tmrReminderOnlyTimer);
    tmrReminderChange =
        AddTimer(kReminderChangeInterval, false, &TEnforcementCore::tmrReminderChangeTimer);

    scanTimer_ = std::make_unique<TQtCoreTimer>(*tmrScan);
    reminderOnlyTimer_ = std::make_unique<TQtCoreTimer>(*tmrReminderOnly);
    shutdownTimer_ = std::make_unique<TQtCoreTimer>(*tmrShutdown);
    core_ = std::make_unique<TEnforcementCore>(
        TEnforcementServices{services_.options,
                             services_.desktop,
                             services_.power,
                             *this,
                             {*scanTimer_, *reminderOnlyTimer_, *shutdownTimer_},
                             services_.onError});

    sessionNotifyRegistered_ = services_.session.Register(*this);
    tray_ = std::make_unique<TTrayIcon>();
    tray_->onLeftClick = [this] { Guarded([this] { TrayLeftClick(); }); };
    tray_->onExit = [this] { Terminate(); };
    core_->ApplyScanPeriod();
    tmrReminderChange->start();
    Guarded([this] {
        core_->tmrReminderChangeTimer();
        core_->SelectReminderPeriod();
    });
    hotkeyStarted_ = services_.hotkey.Start([this] { Guarded([this] { core_->AltTapped(); }); });
    Guarded([this] { services_.options.PurgeLog(); });
    Minimise();
}

TfrmMain::~TfrmMain() {
    if (sessionNotifyRegistered_)
        services_.session.Unregister();
    if (hotkeyStarted_)
        services_.hotkey.Stop();
    // The timers go with the window; none may fire into a freed core.
    for (QTimer* timer : findChildren<QTimer*>())
        timer->stop();
}

QTimer* TfrmMain::AddTimer(int interval, bool enabled, void (TEnforcementCore::*handler)()) {
    auto* timer = new QTimer(this);
    timer->setInterval(interval);
    connect(timer, &QTimer::timeout, this,
            [this, handler] { Guarded([&] { (*core_.*handler)(); }); });
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

bool TfrmMain::CheckSettingsAccess() {
    if (!AdminPasswordEnabled || services_.options.AllowUserToChangeSettings)
        return true;
    return CheckAdminPassword(this);
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
    if (confirmed)
        core_->StartFocus(period);
}

void TfrmMain::actTimeEditExecute() {
    if (!CheckSettingsAccess())
        return;
    TfrmReminderSettings dialog;
    if (dialog.Execute(services_.options)) {
        services_.options.Save();
        UpdateTimeDisplay();
    }
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

// The panel's views (the to-do selector, the focus and time labels, the
// per-item lists) come with the docked panel; until then there is nothing
// to show them in.
void TfrmMain::SelectReminderPart(uint8_t) {}
void TfrmMain::SetFocusModeView(bool) {}
void TfrmMain::SetFocusTimeTexts(const std::string&, const std::string&) {}
void TfrmMain::SetFocusTimeValue(const std::string&) {}
void TfrmMain::UpdateTimeDisplay() {}
void TfrmMain::RefreshUsageList() {}
void TfrmMain::ReleaseDayLists() {}
void TfrmMain::ReloadDayLists() {}

void TfrmMain::TrayLeftClick() {
    TogglePanel();
}

void TfrmMain::Minimise() {
    // Only the panel: an open reminder or dialog stays on screen.
    hide();
}

void TfrmMain::TogglePanel() {
    setVisible(!isVisible());
}

void TfrmMain::Terminate() {
    // exit, not quit: quit would ask the windows first, and the panel only hides.
    QCoreApplication::exit(0);
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
