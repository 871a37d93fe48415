#include "control/PanelCore.h"

#include <cmath>
#include <cstdio>
#include <exception>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "control/EnforcementCore.h"
#include "storage/ActivityLogger.h"
#include "storage/Options.h"

namespace tw {

namespace {

std::string HoursMinutes(int32_t minutes) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", int(minutes / 60), int(minutes % 60));
    return text;
}

// "hh:nn AM" on a twelve-hour clock, as a clock on the wall reads.
std::string TimeOfDayAmPm(TDateTime now) {
    const DateTimeParts parts = DecodeDateTime(now);
    const int hour = parts.hour % 12 == 0 ? 12 : parts.hour % 12;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d %s", hour, parts.minute,
                  parts.hour < 12 ? "AM" : "PM");
    return text;
}

}  // namespace

TTimeFormatTexts TimeFormatTexts(uint8_t format) noexcept {
    switch (format) {
        case 1:
            return {"Time to Limit", "Show Time Now"};
        case 2:
            return {"Time Now", "Show Time on List"};
        default:
            return {"Time on List", "Show Time to Limit"};
    }
}

std::string TimeDisplayValue(uint8_t format, int32_t totalSeconds, int32_t limitSeconds,
                             TDateTime now) {
    const int32_t minutes = totalSeconds / 60;
    switch (format) {
        case 1: {
            const int32_t left = limitSeconds / 60 - minutes;
            return HoursMinutes(left > 0 ? left : 0);
        }
        case 2:
            return TimeOfDayAmPm(now);
        default:
            return HoursMinutes(minutes > 0 ? minutes : 0);
    }
}

TDateTime UsagePeriodFrom(int index, TDateTime now) noexcept {
    static constexpr int kDays[] = {0, 1, 7, 14, 30, 90};
    if (index >= 1 && index <= 5)
        return now - kDays[index];
    return std::floor(now) + kDayStartOffset;
}

std::string RemovedAfterResetNotice(const std::string& caption) {
    return "\"" + caption + "\" will be removed from time-limit list after 4:00 AM";
}

TPanelCore::TPanelCore(TEnforcementCore& core, TOptions& options, TPanelView& view,
                       TPanelTimers timers)
    : core_(core), options_(options), view_(view), timers_(timers) {}

// --- Views and pages ---

void TPanelCore::ShowView(TPanelSheet sheet, bool lite) {
    sheet_ = sheet;
    view_.ShowSheet(sheet);
    if (sheet == tsUsage)
        view_.LoadUsagePeriod();
    FLiteView = lite;
    if (PanelClientHeight() != view_.PanelRect().height)
        DockToWorkArea();
}

int TPanelCore::PanelClientHeight() const {
    return FLiteView ? view_.CompactClientHeight() : view_.WorkArea().height;
}

void TPanelCore::btnBackClick() {
    ShowView(TPanelSheet((sheet_ + kPanelSheetCount - 1) % kPanelSheetCount), false);
}

void TPanelCore::btnNextClick() {
    ShowView(TPanelSheet((sheet_ + 1) % kPanelSheetCount), false);
}

// --- Time display ---

void TPanelCore::actChangeTimeFormatExecute() {
    FTimeFormat = uint8_t((FTimeFormat + 1) % 3);
    ApplyTimeFormat();
}

void TPanelCore::ApplyTimeFormat() {
    const TTimeFormatTexts texts = TimeFormatTexts(FTimeFormat);
    view_.SetTimeTexts(std::string(texts.title) + ":", texts.link);
    UpdateTimeDisplay();
}

void TPanelCore::UpdateTimeDisplay() {
    view_.SetTimeValue(TimeDisplayValue(FTimeFormat, core_.GetLogger().Total(),
                                        options_.TimeLimitSeconds, AppNow()));
}

// --- Docking ---

void TPanelCore::RestoreDocks() {
    const int32_t horizontal = GetAlign();
    FHorizontalDock = horizontal == kDockLeft ? kDockLeft : kDockRight;
    const int32_t vertical = GetAlignVertical();
    FVerticalDock =
        vertical >= kDockTop && vertical <= kDockTopToo ? uint8_t(vertical) : uint8_t(kDockTop);
    DockToWorkArea();
}

void TPanelCore::DockToWorkArea() {
    FWorkArea = view_.WorkArea();
    TPanelRect rect = view_.PanelRect();
    rect.height = PanelClientHeight();
    rect.left = FHorizontalDock == kDockRight ? FWorkArea.Right() - rect.width : FWorkArea.left;
    rect.top = FLiteView && FVerticalDock == kDockBottom ? FWorkArea.Bottom() - rect.height
                                                         : FWorkArea.top;
    view_.SetPanelRect(rect);
}

void TPanelCore::SetHorizontalDock(uint8_t side) {
    if (side == FHorizontalDock)
        return;
    FHorizontalDock = side;
    DockToWorkArea();
    SetAlign(side);
}

void TPanelCore::SetVerticalDock(uint8_t side) {
    if (side == FVerticalDock)
        return;
    FVerticalDock = side;
    DockToWorkArea();
    SetAlignVertical(side);
}

bool TPanelCore::CanMoveTo(int newLeft, int newTop) {
    // A panel sliding or slid out keeps its sides.
    if (FHideState != 0)
        return false;
    const TPanelRect area = view_.WorkArea();
    if (FLiteView)
        SetVerticalDock(newTop > area.top + area.height / 2 ? kDockBottom : kDockTopToo);
    const int middle = area.left + area.width / 2;
    if (FHorizontalDock == kDockRight && newLeft < middle)
        SetHorizontalDock(kDockLeft);
    else if (FHorizontalDock == kDockLeft && newLeft > middle)
        SetHorizontalDock(kDockRight);
    return false;
}

void TPanelCore::WorkAreaChanged() {
    if (view_.WorkArea() == FWorkArea)
        return;
    FHideState = 0;
    timers_.tmrAutohideSlide.SetEnabled(false);
    DockToWorkArea();
}

// --- Auto-hide ---

void TPanelCore::actAutohideExecute() {
    autohide_ = !autohide_;
    tw::SetAutohide(autohide_);
}

bool TPanelCore::ApplicationInFocus() const {
    if (core_.ScanPaused())
        return false;
    try {
        return view_.PanelActive() || view_.PointerOverPanel();
    } catch (const std::exception& e) {
        WriteLog(ErrorLine(e, "; TfrmMain.ApplicationInFocus: "));
        return false;
    }
}

void TPanelCore::tmrDeactivationTimer() {
    // The cheap tests first: asking where the pointer is goes to the display.
    if (!autohide_ || FHideState != 0 || timers_.tmrAutohide.Enabled() || core_.ScanPaused() ||
        ApplicationInFocus())
        return;
    timers_.tmrAutohide.SetEnabled(true);
}

void TPanelCore::tmrAutohideTimer() {
    if (!autohide_ || core_.ScanPaused() || !view_.PanelShown() || ApplicationInFocus())
        return;
    timers_.tmrAutohide.SetEnabled(false);
    if (FHideState == 0)
        timers_.tmrAutohideSlide.SetEnabled(true);
}

void TPanelCore::tmrAutohideSlideTimer() {
    if (core_.ScanPaused())
        return;
    if (FHideState == 0)
        FHideState = 1;
    else if (FHideState == 2)
        FHideState = 3;
    TPanelRect rect = view_.PanelRect();
    const int step = rect.width / 10;
    const TPanelRect& area = FWorkArea;
    const bool right = FHorizontalDock == kDockRight;
    if (FHideState == 1) {
        rect.left += right ? step : -step;
        if (right ? rect.left <= area.Right() : rect.Right() >= area.left)
            return view_.SetPanelRect(rect);
        return FinishSlide(
            right ? area.Right() - kAutohideStrip : area.left + kAutohideStrip - rect.width, 2);
    }
    if (FHideState == 3) {
        rect.left += right ? -step : step;
        if (right ? rect.Right() >= area.Right() : rect.left <= area.left)
            return view_.SetPanelRect(rect);
        FinishSlide(right ? area.Right() - rect.width : area.left, 0);
    }
}

void TPanelCore::FinishSlide(int left, uint8_t state) {
    FHideState = state;
    timers_.tmrAutohideSlide.SetEnabled(false);
    timers_.tmrAutohide.SetEnabled(false);
    if (state == 0 && autohide_)
        timers_.tmrAutohide.SetEnabled(true);
    TPanelRect rect = view_.PanelRect();
    rect.left = left;
    view_.SetPanelRect(rect);
}

void TPanelCore::pnlBodyMouseMove() {
    if (FHideState == 2 && autohide_)
        timers_.tmrAutohideSlide.SetEnabled(true);
}

// --- Tray and minimising ---

void TPanelCore::actMinimizeExecute() {
    if (view_.PanelEnabled())
        HideToTray();
}

void TPanelCore::HideToTray() {
    if (view_.TrayAvailable()) {
        view_.HidePanel();
        return;
    }
    // Nowhere to bring a hidden panel back from: it stays, compact.
    view_.CheckViewItem(pvLite);
    ShowView(tsMain, true);
    view_.ShowPanel();
}

void TPanelCore::ShowFromTray() {
    view_.ShowPanel();
}

void TPanelCore::TrayLeftClick() {
    if (FHideState == 2) {
        ShowFromTray();
        timers_.tmrAutohideSlide.SetEnabled(true);
    } else if (view_.PanelShown()) {
        if (view_.PanelEnabled())
            HideToTray();
    } else {
        ShowFromTray();
    }
}

void TPanelCore::TogglePanel() {
    if (view_.PanelShown())
        view_.HidePanel();
    else
        ShowFromTray();
}

// --- Lists ---

TMonitoredItem* TPanelCore::DayItem(const std::string& name, TMonitoredItemType type) const {
    TMonitoredList& day = core_.GetLogger().DayItems();
    for (int i = 0; i < day.Count(); ++i) {
        TMonitoredItem* item = day.Items(i);
        if (item->ItemType == type && item->Name == name)
            return item;
    }
    return nullptr;
}

void TPanelCore::btnApp_DeleteClick(const std::string& name, TMonitoredItemType type) {
    if (name.empty() || !DayItem(name, type))
        return;
    if (!view_.CheckSettingsAccess())
        return;
    const TAdminLogoff logoff(options_);
    // The dialogs run their own loops: a refill or the 04:00 reset may
    // replace the entries meanwhile, so the entry is looked up again after each.
    TMonitoredItem* entry = DayItem(name, type);
    if (!entry)
        return;
    if (!entry->Active) {
        view_.ShowNotice(RemovedAfterResetNotice(entry->Caption));
        return;
    }
    if (!view_.ConfirmDelete(entry->Caption))
        return;
    entry = DayItem(name, type);
    if (!entry)
        return;
    const uint8_t result = options_.DeleteMonitoredItem(entry);
    core_.GetLogger().ApplyDeleteAction(entry, result);
    options_.SaveMonitoredItems();
    view_.RefillMainList();
}

}  // namespace tw
