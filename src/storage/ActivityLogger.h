#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/DateTime.h"
#include "storage/MonitoredObjects.h"

// The activity log: one row per scan tick spent on the time-limit list, and
// the per-entry totals of the day (since the latest 04:00) or of a period.
namespace tw {

// What the log reads of the foreground probe, so storage does not depend on detection.
class TActivitySource {
public:
    virtual ~TActivitySource() = default;
    // Full path of the foreground program file.
    virtual const std::string& AppName() const = 0;
    // The browser's address (the matched entry's name for a site), empty for other programs.
    virtual const std::string& BrowserUrl() const = 0;
    // "Desktop Application", "Google Chrome", ...
    virtual const char* GetAppTypeName() const = 0;
};

class TOnlineTimeApplicationLogger {
public:
    // Loads the day's entries and starts Total at the day's sum.
    TOnlineTimeApplicationLogger();
    TOnlineTimeApplicationLogger(const TOnlineTimeApplicationLogger&) = delete;
    TOnlineTimeApplicationLogger& operator=(const TOnlineTimeApplicationLogger&) = delete;

    // Records one tick of `seconds` when the source matches an entry of the day list.
    void Log(const TActivitySource* application, int32_t seconds);
    void ReloadDay(bool addToTotal);
    void LoadPeriod(bool addToTotal, TDateTime toDateTime, TDateTime fromDateTime);
    // Runs one totals query and appends its rows; on failure the list stays as
    // it was and the error is logged and kept in LoadError.
    void MonitoredItemsLoad(TMonitoredList* list, const std::string& sql, bool addToTotal,
                            TMonitoredItemType itemType);
    // Applies a TDeleteAction of the settings store to the day list.
    void ApplyDeleteAction(const TMonitoredItem* item, uint8_t action);

    TMonitoredList& PeriodItems();
    TMonitoredList& DayItems();
    int32_t Total() const noexcept { return total_; }
    // Why a totals query of the last ReloadDay or LoadPeriod failed; empty
    // when all of them ran. The panel logs and carries on, a report must not
    // print the missing totals as zeros.
    const std::string& LoadError() const noexcept { return loadError_; }

private:
    void LoadRange(TMonitoredList& list, bool addToTotal, TDateTime from, TDateTime to);
    void AddToTotal(int64_t seconds) noexcept;

    std::unique_ptr<TMonitoredList> periodItems_;
    std::unique_ptr<TMonitoredList> dayItems_;
    int32_t total_ = 0;
    std::string loadError_;
};

}  // namespace tw
