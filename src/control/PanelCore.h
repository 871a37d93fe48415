#pragma once

#include <cstdint>
#include <string>

#include "base/DateTime.h"
#include "storage/MonitoredObjects.h"

// The rules of the docked panel without its widgets: which page and form it
// shows, the time display, docking at the work-area edges, auto-hide, the
// tray icon's clicks and minimising, and deleting an entry from the panel.
// The main window carries them out through TPanelView and drives the three
// auto-hide timers, so tests run them with the manual clock and a stand-in
// view.
namespace tw {

class TCoreTimer;
class TEnforcementCore;
class TOptions;

// The pages of the panel, in their order.
enum TPanelSheet : uint8_t { tsMain = 0, tsReminder = 1, tsUsage = 2 };
inline constexpr int kPanelSheetCount = 3;

// The view menu's items.
enum TPanelViewItem : uint8_t { pvAll, pvReminders, pvUsage, pvLite };

// Pixels; right and bottom are one past the last pixel.
struct TPanelRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int Right() const noexcept { return left + width; }
    int Bottom() const noexcept { return top + height; }
    bool operator==(const TPanelRect&) const = default;
};

// FHorizontalDock and FVerticalDock values.
enum : uint8_t { kDockRight = 1, kDockLeft = 2 };
enum : uint8_t { kDockTop = 0, kDockBottom = 1, kDockTopToo = 2 };

// The time area's title (without its colon) and link for FTimeFormat.
struct TTimeFormatTexts {
    const char* title;
    const char* link;
};
TTimeFormatTexts TimeFormatTexts(uint8_t format) noexcept;
// The time area's value: the time on the list, the time to the limit
// (never below 00:00), or the time now with AM/PM. Whole minutes only, so
// 59 seconds still show 00:00.
std::string TimeDisplayValue(uint8_t format, int32_t totalSeconds, int32_t limitSeconds,
                             TDateTime now);

// The start of the usage page's period for the index of its selector:
// "Today" (and anything unknown) starts at 04:00 of the calendar date.
TDateTime UsagePeriodFrom(int index, TDateTime now) noexcept;

// The notice for a second delete of an entry waiting for 04:00.
std::string RemovedAfterResetNotice(const std::string& caption);

// What the rules ask of the panel window.
class TPanelView {
public:
    virtual ~TPanelView() = default;

    // Puts the page on the panel; "< Back" and "Next >" show off the main page.
    virtual void ShowSheet(TPanelSheet sheet) = 0;
    // Refills the usage page for its selected period.
    virtual void LoadUsagePeriod() = 0;
    // Checks the view menu's item (a radio group).
    virtual void CheckViewItem(TPanelViewItem item) = 0;
    // The client height of the compact form: just below the to-do text.
    virtual int CompactClientHeight() const = 0;

    // The primary screen's work area.
    virtual TPanelRect WorkArea() const = 0;
    // Where the panel is. While it slides it lies partly outside the work
    // area; the window shows only the part inside.
    virtual TPanelRect PanelRect() const = 0;
    virtual void SetPanelRect(const TPanelRect& rect) = 0;

    virtual bool PanelShown() const = 0;
    // Shown and in front (restored from the tray).
    virtual void ShowPanel() = 0;
    virtual void HidePanel() = 0;
    // False while a modal window is open.
    virtual bool PanelEnabled() const = 0;
    // The panel is the window in front, or the pointer is over it.
    virtual bool PanelActive() const = 0;
    virtual bool PointerOverPanel() const = 0;
    // A notification area shows the icon.
    virtual bool TrayAvailable() const = 0;

    virtual void SetTimeTexts(const std::string& title, const std::string& link) = 0;
    virtual void SetTimeValue(const std::string& value) = 0;

    // Deleting from the panel.
    virtual bool CheckSettingsAccess() = 0;
    virtual bool ConfirmDelete(const std::string& caption) = 0;
    virtual void ShowNotice(const std::string& text) = 0;
    // Refills the main page's list from the day list.
    virtual void RefillMainList() = 0;
};

struct TPanelTimers {
    TCoreTimer& tmrDeactivation;
    TCoreTimer& tmrAutohide;
    TCoreTimer& tmrAutohideSlide;
};

inline constexpr int kDeactivationInterval = 1000;
inline constexpr int kAutohideInterval = 3000;
inline constexpr int kAutohideSlideInterval = 10;
// What stays on screen of a slid-out panel.
inline constexpr int kAutohideStrip = 2;

class TPanelCore {
public:
    TPanelCore(TEnforcementCore& core, TOptions& options, TPanelView& view, TPanelTimers timers);
    TPanelCore(const TPanelCore&) = delete;
    TPanelCore& operator=(const TPanelCore&) = delete;

    // --- Views and pages ---
    void ShowView(TPanelSheet sheet, bool lite);
    void btnBackClick();
    void btnNextClick();
    // The compact form's height, else the work area's.
    int PanelClientHeight() const;
    TPanelSheet Sheet() const noexcept { return sheet_; }
    bool LiteView() const noexcept { return FLiteView; }

    // --- Time display ---
    void actChangeTimeFormatExecute();
    void ApplyTimeFormat();
    void UpdateTimeDisplay();
    uint8_t TimeFormat() const noexcept { return FTimeFormat; }

    // --- Docking ---
    // Sides from the appearance file, then docks.
    void RestoreDocks();
    void DockToWorkArea();
    void SetHorizontalDock(uint8_t side);
    void SetVerticalDock(uint8_t side);
    // A header drag only picks sides: always false.
    bool CanMoveTo(int newLeft, int newTop);
    // The work area moved (a panel appeared, the primary screen changed).
    void WorkAreaChanged();
    uint8_t HorizontalDock() const noexcept { return FHorizontalDock; }
    uint8_t VerticalDock() const noexcept { return FVerticalDock; }

    // --- Auto-hide ---
    void SetAutohide(bool on) noexcept { autohide_ = on; }
    bool Autohide() const noexcept { return autohide_; }
    void actAutohideExecute();
    bool ApplicationInFocus() const;
    void tmrDeactivationTimer();
    void tmrAutohideTimer();
    void tmrAutohideSlideTimer();
    void pnlBodyMouseMove();
    uint8_t HideState() const noexcept { return FHideState; }

    // --- Tray and minimising ---
    // Esc, the minimise button, closing the panel: only without a modal window.
    void actMinimizeExecute();
    // Sends the panel to the tray; without a tray it stays in its compact form.
    void HideToTray();
    void ShowFromTray();
    void TrayLeftClick();
    // The double Alt: hides and shows the panel, with a tray or without.
    void TogglePanel();

    // --- Lists ---
    // The delete button on the row of the day list's entry `name` of `type`
    // (an empty name is a padding row).
    void btnApp_DeleteClick(const std::string& name, TMonitoredItemType type);

private:
    TMonitoredItem* DayItem(const std::string& name, TMonitoredItemType type) const;
    void FinishSlide(int left, uint8_t state);

    TEnforcementCore& core_;
    TOptions& options_;
    TPanelView& view_;
    TPanelTimers timers_;

    TPanelSheet sheet_ = tsMain;
    bool FLiteView = true;
    uint8_t FTimeFormat = 0;
    uint8_t FHorizontalDock = kDockRight;
    uint8_t FVerticalDock = kDockTop;
    TPanelRect FWorkArea;
    uint8_t FHideState = 0;
    bool autohide_ = false;
};

}  // namespace tw
