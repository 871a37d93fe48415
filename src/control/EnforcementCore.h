#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "platform/Session.h"

// The enforcement state of the main window and the rules of its timers: the
// scan tick that counts time on the list, reminds and closes, the daily
// reset at 04:00, the five-minute re-arm, focus mode, pause and resume, the
// hot key and the housekeeping. It holds no widgets and no real timers: the
// main window forwards its timers' time-outs to the handlers below and
// carries out what the core asks of the windows through TEnforcementView,
// so tests drive the whole cycle with the manual clock and the fake desktop.
namespace tw {

class PowerControl;
class TMonitoredList;
class TOnlineTimeApplication;
class TOnlineTimeApplicationLogger;
class TOptions;
class WindowSystem;

// How the reminder window ended.
struct TReminderResult {
    // "Give me 5 Minutes" was pressed: no action.
    bool fiveMinutes = false;
    // The action chosen: 0 continue, 1 close the listed windows, 2 shut down.
    uint8_t choice = 0;
    // Closed by the user or its countdown. False when the program ended
    // while it was open: then nothing is carried out.
    bool answered = false;
};

// What the core asks of the windows around it (the panel and its dialogs).
class TEnforcementView {
public:
    virtual ~TEnforcementView() = default;
    // Shows the reminder window modally and reports how it ended; the core
    // carries out the chosen action.
    virtual TReminderResult ShowReminder(bool focus, bool offerFiveMinutes) = 0;
    // Shows the stale-reminder prompt modally with its message.
    virtual void ShowReminderChange(const std::string& message) = 0;
    // A "Please Note" notice.
    virtual void ShowNotice(const std::string& text) = 0;
    // The selector of the to-do text moves to another part of the day.
    virtual void SelectReminderPart(uint8_t partOfDay) = 0;
    // Focus display on or off, and its label's texts.
    virtual void SetFocusModeView(bool on) = 0;
    virtual void SetFocusTimeTexts(const std::string& title, const std::string& link) = 0;
    virtual void SetFocusTimeValue(const std::string& value) = 0;
    // The time labels (once a second), also after the daily reset.
    virtual void UpdateTimeDisplay() = 0;
    // The per-item list of the main page (every 12 s).
    virtual void RefreshUsageList() = 0;
    // The panel's lists point into the logger's rows: they are emptied
    // before the logger goes and refilled from the new one, with the limit
    // and action fields.
    virtual void ReleaseDayLists() = 0;
    virtual void ReloadDayLists() = 0;
    // Hides the panel (suspend, lock); open dialogs stay.
    virtual void Minimise() = 0;
    // Shows or hides the panel, as a click on the tray icon does.
    virtual void TogglePanel() = 0;
    // Ends the program (the uninstaller asked for it).
    virtual void Terminate() = 0;
};

// A timer of the main window, as far as the rules switch it.
class TCoreTimer {
public:
    virtual ~TCoreTimer() = default;
    // Enabling starts a new interval.
    virtual void SetEnabled(bool enabled) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(int milliseconds) = 0;
};

struct TEnforcementTimers {
    TCoreTimer& tmrScan;
    TCoreTimer& tmrReminderOnly;
    TCoreTimer& tmrShutdown;
};

// Handles what escapes a handler (the program's error window, or a log line).
using TErrorHandler = std::function<void(std::exception_ptr)>;

// What the core works with; everything outlives it.
struct TEnforcementServices {
    TOptions& options;
    WindowSystem& desktop;
    PowerControl& power;
    TEnforcementView& view;
    TEnforcementTimers timers;
    TErrorHandler onError;
};

// The timers' intervals in milliseconds.
inline constexpr int kReminderOnlyInterval = 300000;
inline constexpr int kSaveOptionsInterval = 240025;
inline constexpr int kUsageInterval = 12001;
inline constexpr int kTimeInterval = 1000;
inline constexpr int kShutdownCheckInterval = 900;
inline constexpr int kTimeSynchronizationInterval = 1800000;
inline constexpr int kReminderChangeInterval = 100002;

// The file whose appearance in the program folder ends the program.
inline constexpr char kUninstallFlagName[] = "uninstall.flag";
// Whether an uninstaller has asked the program to end.
bool UninstallRequested();

class TEnforcementCore final : public SessionObserver {
public:
    // Starts every field as at the main window's creation, at AppNow.
    explicit TEnforcementCore(TEnforcementServices services);
    ~TEnforcementCore() override;
    TEnforcementCore(const TEnforcementCore&) = delete;
    TEnforcementCore& operator=(const TEnforcementCore&) = delete;

    // --- Timer handlers ---
    void tmrScanTimer();
    void tmrReminderOnlyTimer();
    void tmrSaveOptionsTimer();
    void tmrUsageTimer();
    void tmrTimeTimer();
    void tmrShutdownTimer();
    void tmrTimeSynchronizationTimer();
    void tmrReminderChangeTimer();

    // One Alt tap of the hot key; two within half a second toggle the panel.
    void AltTapped();

    // SessionObserver: suspend and resume, lock and unlock.
    void SystemSuspending() override;
    void SystemResumed() override;
    void SessionDeactivated() override;
    void SessionActivated() override;

    // --- Operations the panel uses ---
    // The scan interval from ScanPeriodSeconds.
    void ApplyScanPeriod();
    // Starts focus mode for `period` (a confirmed "Block Mode").
    void StartFocus(TDateTime period);
    // Focus label format 0 -> 1 -> 2 -> 0.
    void ChangeFocusModeTimeFormat();
    void SetFocusModeView(bool on);
    void UpdateFocusTime();
    // Applies the add wizard's result (the panel's add button, "your list"
    // of "Block Mode") to the time-limit list and the day list, and saves.
    void MergeMonitoredItems(const TMonitoredList& picked);
    // Moves the to-do selector to the part of the day when it changed.
    void SelectReminderPeriod();
    void DailyReset();

    bool ScanPaused() const noexcept { return FSuspended || FSessionInactive; }
    bool InFocusMode() const;
    TOnlineTimeApplication& GetProbe();
    TOnlineTimeApplicationLogger& GetLogger();

    // --- State, read by the panel and by tests ---
    TDateTime LastScanTime() const noexcept { return FLastScanTime; }
    bool LimitReminderPending() const noexcept { return FLimitReminderPending; }
    bool FocusReminderPending() const noexcept { return FFocusReminderPending; }
    bool FiveMinutesGranted() const noexcept { return FFiveMinutesGranted; }
    bool FiveMinuteButtonAvailable() const noexcept { return FFiveMinuteButtonAvailable; }
    bool Suspended() const noexcept { return FSuspended; }
    bool SessionInactive() const noexcept { return FSessionInactive; }
    TDateTime FocusStart() const noexcept { return FFocusStart; }
    TDateTime FocusEnd() const noexcept { return FFocusEnd; }
    TDateTime FocusPeriod() const noexcept { return FFocusPeriod; }
    uint8_t FocusTimeFormat() const noexcept { return FFocusTimeFormat; }

private:
    // Steps 3 to 11 of a tick; the caller guarantees its ending.
    void ScanTick();
    // The reminder of a tick and its action; false when it was not answered
    // (the program is ending), and then nothing is carried out.
    bool RunReminder(bool inFocus);
    // Closes every window of a listed item with a probe of its own, so the
    // tick's probe keeps describing the window in front.
    void CloseListedWindows();
    void ShutdownOrCloseInstead();
    // A logger whose day failed to load is replaced on the next tick.
    void RetryFailedDayLoad();
    void ReplaceLogger();
    void ReportError();

    TEnforcementServices services_;
    TOptions& options_;

    std::unique_ptr<TOnlineTimeApplication> FProbe;
    std::unique_ptr<TOnlineTimeApplicationLogger> FLogger;
    TDateTime FLastScanTime = 0;
    bool FLimitReminderPending = true;
    bool FFocusReminderPending = true;
    bool FFiveMinutesGranted = false;
    bool FFiveMinuteButtonAvailable = true;
    bool FSuspended = false;
    bool FSessionInactive = false;
    TDateTime FFocusStart = 0;
    TDateTime FFocusEnd = 0;
    TDateTime FFocusPeriod = 0;
    uint8_t FFocusTimeFormat = 1;
    TDateTime FLastHotkeyTime = 0;
    // SelectReminderPeriod's remembered part; 255 so the first call always goes on.
    uint8_t FReminderPart = 255;
    bool FReminderChangeOpen = false;
    // The refused shutdown is told once a day; the log has every refusal.
    bool FShutdownRefusalShown = false;
    bool FDayLoadFailureLogged = false;
};

}  // namespace tw
