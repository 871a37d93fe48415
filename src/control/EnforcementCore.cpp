#include "control/EnforcementCore.h"

#include <cmath>
#include <filesystem>
#include <limits>
#include <string_view>
#include <system_error>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Exceptions.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "control/FocusMode.h"
#include "control/Reminders.h"
#include "detection/OnlineTimeApplication.h"
#include "platform/Power.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"

namespace tw {

namespace {

// Clock differences the half-hourly synchronisation follows; larger ones are
// someone setting the system clock, and are ignored.
constexpr double kMaxClockAdjustment = 5 * kOneMinute;
constexpr double kHotkeyDoublePress = 0.5 * kOneSecond;
constexpr int kShutdownCountdownSeconds = 60;
constexpr std::string_view kPendingRemovalSections[] = {"Applications", "WebSites"};

// Whole seconds between two times, halves to even, never negative: a clock
// moved back must not take time off the day.
int32_t ElapsedSeconds(TDateTime from, TDateTime to) {
    const double seconds = std::nearbyint((to - from) * kSecondsPerDay);
    if (!(seconds > 0))
        return 0;
    if (seconds >= double(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return int32_t(seconds);
}

// Removes the entry named `name` when it is still inactive: an entry the user
// made active again after removing it stays.
void RemoveInactiveEntry(TMonitoredList& list, const std::string& name) {
    const int index = list.IndexOfName(name);
    if (index >= 0 && !list.Items(index)->Active)
        list.Delete(index);
}

}  // namespace

TEnforcementCore::TEnforcementCore(TEnforcementServices services)
    : services_(std::move(services)), options_(services_.options) {
    const TDateTime now = AppNow();
    FLastScanTime = now;
    // Just past, so focus mode is off from the first tick on.
    FFocusStart = now;
    FFocusEnd = now - kOneSecond;
    FLastHotkeyTime = now;
    FFiveMinuteButtonAvailable = GetShow5MinButton();
}

TEnforcementCore::~TEnforcementCore() = default;

bool TEnforcementCore::InFocusMode() const {
    return AppNow() <= FFocusEnd;
}

TOnlineTimeApplication& TEnforcementCore::GetProbe() {
    if (!FProbe)
        FProbe = std::make_unique<TOnlineTimeApplication>(services_.desktop);
    return *FProbe;
}

TOnlineTimeApplicationLogger& TEnforcementCore::GetLogger() {
    if (!FLogger)
        FLogger = std::make_unique<TOnlineTimeApplicationLogger>();
    return *FLogger;
}

void TEnforcementCore::ApplyScanPeriod() {
    services_.timers.tmrScan.SetInterval(options_.ScanPeriodSeconds * 1000);
}

void TEnforcementCore::ReportError() {
    try {
        if (services_.onError) {
            services_.onError(std::current_exception());
            return;
        }
        throw;
    } catch (const std::exception& e) {
        WriteLog(ErrorLine(e, "; TfrmMain: "));
    } catch (...) {
        WriteLog("ErrorClassName: unknown; TfrmMain: an error of no known kind");
    }
}

// --- The scan tick ---

void TEnforcementCore::tmrScanTimer() {
    if (ScanPaused())
        return;
    services_.timers.tmrScan.SetEnabled(false);
    try {
        ScanTick();
    } catch (...) {
        ReportError();
    }
    services_.timers.tmrScan.SetEnabled(true);
    FLastScanTime = AppNow();
}

void TEnforcementCore::ScanTick() {
    SelectReminderPeriod();
    const bool inFocus = InFocusMode();
    if (!inFocus)
        SetFocusModeView(false);
    if (AppNow() > options_.ResetDateTime)
        DailyReset();
    RetryFailedDayLoad();

    TOnlineTimeApplication& probe = GetProbe();
    try {
        probe.Execute(false, nullptr);
    } catch (const Exception& e) {
        WriteLog(ErrorLine(e, "; TfrmMain.tmrScanTimer: "));
    }

    int index = -1;
    uint8_t matchKind = 0;
    if (!probe.FindMonitoredItem(&options_.MonitoredList(), index, matchKind, nullptr))
        return;
    // Kept by value: the list may change while a reminder is open.
    const std::string matchedName = options_.MonitoredList().Items(index)->Name;

    const bool limitReached = GetLogger().Total() >= options_.TimeLimitSeconds;
    if (limitReached || inFocus) {
        const bool reminderDue = inFocus ? FFocusReminderPending : FLimitReminderPending;
        // A reminder ended by the program going away (log-out, uninstall) closes nothing.
        const bool answered = !reminderDue || RunReminder(inFocus);
        if (answered && (options_.ExpirationAction == eaCloseBrowserApp || inFocus) &&
            !FFiveMinutesGranted)
            services_.desktop.PostCloseRequest(probe.WindowHandle());
    }
    if (probe.AppType() != atDesktopApplication)
        probe.SetBrowserUrl(matchedName);
    // Read now, so the time a reminder stayed open counts as time on the list.
    GetLogger().Log(&probe, ElapsedSeconds(FLastScanTime, AppNow()));
}

bool TEnforcementCore::RunReminder(bool inFocus) {
    const TReminderResult result = services_.view.ShowReminder(inFocus, FFiveMinuteButtonAvailable);
    FFiveMinutesGranted = result.fiveMinutes;
    if (inFocus)
        FFocusReminderPending = false;
    else
        FLimitReminderPending = false;
    if (FFiveMinutesGranted && FFiveMinuteButtonAvailable)
        FFiveMinuteButtonAvailable = false;
    services_.timers.tmrReminderOnly.SetEnabled(true);

    if (!result.answered)
        return false;
    if (result.fiveMinutes)
        return true;
    const uint8_t choice = inFocus ? uint8_t(eaCloseBrowserApp) : result.choice;
    if (choice == eaCloseBrowserApp)
        CloseListedWindows();
    else if (choice == eaShutdownComputer)
        ShutdownOrCloseInstead();
    return true;
}

void TEnforcementCore::CloseListedWindows() {
    TOnlineTimeApplication sweep(services_.desktop);
    sweep.Execute(true, &options_.MonitoredList());
}

void TEnforcementCore::ShutdownOrCloseInstead() {
    try {
        ShutdownComputer(services_.power, kShutdownCountdownSeconds);
        return;
    } catch (const Exception& e) {
        WriteLog(ErrorLine(e, "; TfrmMain.ShutdownComputer: "));
        if (!FShutdownRefusalShown) {
            FShutdownRefusalShown = true;
            services_.view.ShowNotice(
                "The computer could not be shut down: " + e.Message() +
                "\nThe sites and applications on your list are closed instead.");
        }
    }
    CloseListedWindows();
}

// --- The day ---

void TEnforcementCore::DailyReset() {
    FLimitReminderPending = true;
    FFocusReminderPending = true;
    FFiveMinuteButtonAvailable = GetShow5MinButton();
    FShutdownRefusalShown = false;
    options_.ResetDateTime = NextDayStart(AppNow());
    options_.ApplyPendingChanges();

    TMonitoredList& list = options_.MonitoredList();
    TIniFile& ini = GetIniFile();
    if (options_.AllowUserToChangeSettings) {
        for (const std::string_view section : kPendingRemovalSections) {
            for (const std::string& name : ini.ReadSection(section)) {
                RemoveInactiveEntry(list, name);
                if (FLogger)
                    RemoveInactiveEntry(FLogger->DayItems(), name);
            }
        }
    }
    list.DeleteInactive();
    if (FLogger)
        FLogger->DayItems().DeleteInactive();
    for (const std::string_view section : kPendingRemovalSections) {
        if (ini.SectionExists(section))
            ini.EraseSection(section);
    }
    options_.Save();
    ReplaceLogger();
}

void TEnforcementCore::ReplaceLogger() {
    services_.view.ReleaseDayLists();
    FLogger.reset();
    GetLogger();
    services_.view.ReloadDayLists();
    services_.view.UpdateTimeDisplay();
}

void TEnforcementCore::RetryFailedDayLoad() {
    if (!FLogger)
        return;
    if (FLogger->LoadError().empty()) {
        FDayLoadFailureLogged = false;
        return;
    }
    if (!FDayLoadFailureLogged) {
        FDayLoadFailureLogged = true;
        WriteLog("TfrmMain.tmrScanTimer: the day's totals could not be loaded (" +
                 FLogger->LoadError() + "); loading them again on every tick until they are");
    }
    ReplaceLogger();
}

void TEnforcementCore::MergeMonitoredItems(const TMonitoredList& picked) {
    if (picked.Count() == 0)
        return;
    const TAdminLogoff logoff(options_);
    TMonitoredList& list = options_.MonitoredList();
    TMonitoredList& day = GetLogger().DayItems();
    for (int i = 0; i < picked.Count(); ++i) {
        const TMonitoredItem& entry = *picked.Items(i);
        const int dayIndex = day.IndexOfName(entry.Name);
        TMonitoredItem* dayEntry = dayIndex >= 0 ? day.Items(dayIndex) : nullptr;
        if (entry.Checked) {
            int index = -1;
            const TMonitoredCheckStatus status = list.CheckItem(&entry, index);
            if (status == csSelf)
                continue;
            if (status == csNotListed) {
                for (TMonitoredList* target : {&list, &day}) {
                    auto copy = std::make_unique<TMonitoredItem>();
                    copy->Assign(entry);
                    target->Add(entry.Caption, std::move(copy));
                }
                continue;
            }
            TMonitoredItem* listed = list.Items(index);
            // Listed again: the removal waiting for 04:00 is off.
            if (!listed->Active && entry.Active)
                GetIniFile().DeleteKey(MonitoredIniSection(listed->ItemType), listed->Name);
            for (TMonitoredItem* target : {listed, dayEntry}) {
                if (target) {
                    target->Active = entry.Active;
                    target->Caption = entry.Caption;
                }
            }
            continue;
        }
        const int index = list.IndexOfName(entry.Name);
        if (index < 0)
            continue;
        if (entry.Active) {
            list.Delete(index);
            if (dayEntry)
                day.Delete(dayIndex);
        } else {
            for (TMonitoredItem* target : {list.Items(index), dayEntry}) {
                if (target) {
                    target->Active = false;
                    target->Checked = false;
                }
            }
        }
    }
    options_.SaveMonitoredItems();
    services_.view.RefreshUsageList();
}

// --- Housekeeping ---

void TEnforcementCore::tmrReminderOnlyTimer() {
    if (ScanPaused())
        return;
    FLimitReminderPending = true;
    FFiveMinutesGranted = false;
    services_.timers.tmrReminderOnly.SetEnabled(false);
}

void TEnforcementCore::tmrSaveOptionsTimer() {
    if (ScanPaused())
        return;
    options_.Save();
    // A table that could not be read at start-up is read again, after the
    // save, so edits of the tables that were read are stored first.
    if (!options_.TableLoaded(stSettings))
        options_.LoadSettings();
    if (!options_.TableLoaded(stReminders))
        options_.LoadReminderTexts();
    if (!options_.MonitoredListLoaded(mitAll))
        options_.LoadMonitoredItems();
}

void TEnforcementCore::tmrUsageTimer() {
    if (!ScanPaused())
        services_.view.RefreshUsageList();
}

void TEnforcementCore::tmrTimeTimer() {
    if (ScanPaused())
        return;
    services_.view.UpdateTimeDisplay();
    UpdateFocusTime();
}

bool UninstallRequested() {
    std::error_code error;
    return std::filesystem::exists(ProgramFolder() + kUninstallFlagName, error);
}

void TEnforcementCore::tmrShutdownTimer() {
    TCoreTimer& timer = services_.timers.tmrShutdown;
    timer.SetEnabled(false);
    if (UninstallRequested())
        services_.view.Terminate();
    timer.SetEnabled(true);
}

void TEnforcementCore::tmrTimeSynchronizationTimer() {
    const double diff = WallClockNow() - AppNow();
    if (!(std::fabs(diff) < kMaxClockAdjustment))
        return;
    AdjustAppClock(diff);
    // Times remembered from the clock move with it, so the adjustment itself
    // is never counted (or taken off) as time on the list.
    FLastScanTime += diff;
    FFocusStart += diff;
    FFocusEnd += diff;
    if (FLastHotkeyTime != 0)
        FLastHotkeyTime += diff;
}

void TEnforcementCore::tmrReminderChangeTimer() {
    if (ScanPaused() || options_.ReminderChangePeriod == rcpNever)
        return;
    const TDateTime now = AppNow();
    const double period = ReminderChangePeriodDays(options_.ReminderChangePeriod, now);
    if (std::nearbyint(now - options_.ReminderShowedDateTime) < period)
        return;
    if (now <= options_.ReminderChangedDateTime + period)
        return;
    if (FReminderChangeOpen)
        return;
    struct OpenGuard {
        bool& open;
        explicit OpenGuard(bool& flag) : open(flag) { open = true; }
        ~OpenGuard() { open = false; }
    } guard(FReminderChangeOpen);
    options_.ReminderShowedDateTime = now;
    const int days = int(std::nearbyint(now - options_.ReminderChangedDateTime));
    services_.view.ShowReminderChange(ReminderChangeMessage(days));
}

// --- Hot key, pause and resume ---

void TEnforcementCore::AltTapped() {
    const TDateTime now = AppNow();
    if (std::fabs(now - FLastHotkeyTime) <= kHotkeyDoublePress) {
        services_.view.TogglePanel();
        FLastHotkeyTime = 0;
    } else {
        FLastHotkeyTime = now;
    }
}

void TEnforcementCore::SystemSuspending() {
    FSuspended = true;
    services_.view.Minimise();
}

void TEnforcementCore::SystemResumed() {
    services_.view.Minimise();
    FSuspended = false;
    // The clock counted through the sleep; none of it was spent on the list.
    FLastScanTime = AppNow();
}

void TEnforcementCore::SessionDeactivated() {
    services_.view.Minimise();
    FSessionInactive = true;
}

void TEnforcementCore::SessionActivated() {
    services_.view.Minimise();
    FSessionInactive = false;
    if (!FSuspended)
        FLastScanTime = AppNow();
}

// --- Focus mode and the to-do selector ---

void TEnforcementCore::StartFocus(TDateTime period) {
    Require(period > 0, "MainFRM");
    FFocusPeriod = period;
    FFocusStart = AppNow();
    FFocusEnd = FFocusStart + FFocusPeriod;
    UpdateFocusTime();
    SetFocusModeView(true);
}

void TEnforcementCore::SetFocusModeView(bool on) {
    services_.view.SetFocusModeView(on);
    if (!on && FFocusTimeFormat != 0) {
        FFocusTimeFormat = 0;
        services_.view.SetFocusTimeTexts(std::string(FocusTimeTitle(0)) + ":", FocusTimeLink(0));
    }
}

void TEnforcementCore::ChangeFocusModeTimeFormat() {
    FFocusTimeFormat = uint8_t((FFocusTimeFormat + 1) % kFocusTimeFormatCount);
    services_.view.SetFocusTimeTexts(std::string(FocusTimeTitle(FFocusTimeFormat)) + ":",
                                     FocusTimeLink(FFocusTimeFormat));
    UpdateFocusTime();
}

void TEnforcementCore::UpdateFocusTime() {
    if (!InFocusMode())
        return;
    services_.view.SetFocusTimeValue(
        FocusTimeText(FFocusTimeFormat, AppNow(), FFocusStart, FFocusPeriod));
}

void TEnforcementCore::SelectReminderPeriod() {
    const uint8_t part = ReminderPartOfDay(AppTime());
    if (part == FReminderPart)
        return;
    FReminderPart = part;
    services_.view.SelectReminderPart(part);
}

}  // namespace tw
