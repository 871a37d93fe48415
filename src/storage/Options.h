#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
// PrepareHourSums: the start-up step of the activity database, beside the store's.
#include "storage/HourSums.h"
#include "storage/MonitoredObjects.h"
#include "storage/SQLiteTable3.h"

#ifndef TW_ADMIN_PASSWORD_ENABLED
#error "TW_ADMIN_PASSWORD_ENABLED comes from the build (CMake option AdminPasswordEnabled)"
#endif

// The settings store: the user's configuration for the whole run, loaded
// from settings.sqlite and written back on save, plus the rules by which a
// user without the administrator password may change the limit, the action
// and the time-limit list.
namespace tw {

// Whether this build has the administrator password (off as delivered).
inline constexpr bool AdminPasswordEnabled = TW_ADMIN_PASSWORD_ENABLED != 0;

enum TExpirationAction : uint8_t {
    eaReminderOnly = 0,
    eaCloseBrowserApp = 1,
    eaShutdownComputer = 2,
};

enum TReminderChangePeriod : uint8_t {
    rcpNever = 0,
    rcpDaily = 1,
    rcpWeekly = 2,
    rcpFortnightly = 3,
    rcpMonthly = 4,
};

enum TReminderType : uint8_t { rtMorning = 0, rtAfternoon = 1, rtEvening = 2 };

// What DeleteMonitoredItem allows; the caller applies it to the day list too.
enum TDeleteAction : uint8_t { daNone = 0, daDeactivate = 1, daRemove = 2 };

// Stored texts of the value tables; a text that equals none reads as 0.
// Actions and periods are compared with ASCII letter case folded, reminder
// types exactly.
const char* ExpirationActionText(uint8_t value) noexcept;
uint8_t ExpirationActionFromText(std::string_view text) noexcept;
const char* ReminderChangePeriodText(uint8_t value) noexcept;
uint8_t ReminderChangePeriodFromText(std::string_view text) noexcept;
const char* ReminderTypeText(uint8_t value) noexcept;
uint8_t ReminderTypeFromText(std::string_view text) noexcept;

// Whether a reminder text counts as filled in: something is left once blanks
// and control characters are trimmed from both ends.
bool ReminderTextFilled(std::string_view text) noexcept;

// List table (in both databases) and ini section of pending removals; "" for type 0.
const char* MonitoredListTableName(TMonitoredItemType type) noexcept;
const char* MonitoredIniSection(TMonitoredItemType type) noexcept;

// The tables of settings.sqlite that Save replaces (the two list tables also
// in actmondb.sqlite, as the copy the totals read).
enum TStoredTable : uint8_t {
    stSettings = 0,
    stReminders = 1,
    stApplicationsList = 2,
    stWebSitesList = 3,
};
inline constexpr int kStoredTableCount = 4;
const char* StoredTableName(TStoredTable table) noexcept;

// The schema name actmondb.sqlite is attached under while Save writes both files.
inline constexpr std::string_view kActivitySchema = "actmondb";

// Rows per multi-row INSERT.
inline constexpr int kInsertBatchRows = 15;
// Activity older than this many days is purged at start-up.
inline constexpr int kPurgeLogDays = 90;

class TOptions {
public:
    // Loads everything from the data folder's files.
    TOptions();
    // Saves, unless SetSaveOnDestroy(false).
    ~TOptions();
    TOptions(const TOptions&) = delete;
    TOptions& operator=(const TOptions&) = delete;

    bool AllowUserToChangeSettings = false;
    uint8_t ExpirationAction = eaReminderOnly;
    bool ExpirationActionChanged = false;
    bool AdminLoggedIn = false;
    bool IsNotFirstRun = false;
    bool MonitoredItemDeleteActionProcessed = true;
    std::string Password;
    TDateTime ReminderChangedDateTime = 0;
    uint8_t ReminderChangePeriod = rcpNever;
    TDateTime ReminderShowedDateTime = 0;
    TDateTime ResetDateTime = 0;
    int32_t ScanPeriodSeconds = 3;
    int32_t TimeLimitSeconds = 28800;
    bool TimeLimitSecondsChanged = false;

    TMonitoredList& MonitoredList();

    // Reads every table again, also one that could not be read before.
    void Load();
    void LoadSettings();
    void LoadReminderTexts();
    void LoadMonitoredItems();
    // Replaces the rows of every table that was read, in both files at once:
    // all of it is committed or, when one statement fails, none of it. A
    // table that could not be read is left as stored (and logged), since
    // writing it would replace the user's rows with defaults. False when the
    // write failed (logged): the values stay here for the next save.
    bool Save();
    void SaveMonitoredItems();
    void PurgeLog();

    // Whether the last load read the table. When not, TableLoadError holds
    // why (the logged error text) and Save leaves the table as stored.
    bool TableLoaded(TStoredTable table) const noexcept;
    const std::string& TableLoadError(TStoredTable table) const noexcept;
    // Whether the list table of `type` (both tables for mitAll) was read.
    // When not, the list holds none of its entries and edits of it cannot be
    // saved: the windows refuse them with a notice.
    bool MonitoredListLoaded(TMonitoredItemType type) const noexcept;

    // Run one statement or query on a database; failures are logged and swallowed.
    void SettingsDBExecSQL(const std::string& sql);
    std::unique_ptr<TSQLiteTable> SettingsDBGetTable(const std::string& sql);
    void LogDBExecSQL(const std::string& sql);

    // The statements Save writes, as the databases receive them.
    std::string SettingsInsertSQL() const;
    std::string RemindersInsertSQL() const;
    // At most kInsertBatchRows rows each; none when the list has no entry of
    // the type. A non-empty `schema` qualifies the table (the activity copy).
    std::vector<std::string> MonitoredItemsInsertSQL(TMonitoredItemType type,
                                                     std::string_view schema = {});

    // 2 administrator, 1 user allowed to change settings, 0 neither.
    int AccessLevel() const noexcept;
    bool CheckPassword(std::string_view text);
    void SetPassword(std::string_view text);

    void SetTimeLimitSeconds(int32_t value);
    void SetExpirationAction(uint8_t value);
    // A TDeleteAction for the caller to apply (and then SaveMonitoredItems).
    uint8_t DeleteMonitoredItem(const TMonitoredItem* item);
    void SetMonitoredItemDeleteActionProcessed(bool value);
    void ApplyPendingChanges();

    std::string ExpirationActionName() const;
    TDateTime TimeLimit() const noexcept { return TimeLimitSeconds / kSecondsPerDay; }

    const std::string& ReminderTexts(uint8_t type) const;
    void SetReminder(uint8_t type, const std::string& text);

    void WriteIniString(std::string_view section, std::string_view key, std::string_view value);

    void SetSaveOnDestroy(bool save) noexcept { saveOnDestroy_ = save; }

private:
    // Queries one table of settings.sqlite and hands each row to `readRow`.
    // Any failure, of the query or of a row, is logged and remembered as the
    // table's load error; true when every row was read.
    template <typename ReadRow>
    bool ReadTable(TStoredTable table, const std::string& sql, std::string_view context,
                   ReadRow readRow);
    // The list's statements for both files, for the list tables that were read.
    void AddMonitoredItemsSQL(std::vector<std::string>& settings,
                              std::vector<std::string>& activity, std::string_view operation);
    // Logs that `table` is left as stored; false when it was not read.
    bool WillSave(TStoredTable table, std::string_view operation) const;
    // Runs the statements in one transaction over settings.sqlite with
    // actmondb.sqlite attached.
    // False when it failed (logged).
    bool WriteDatabases(const std::vector<std::string>& settings,
                        const std::vector<std::string>& activity);

    std::unique_ptr<TMonitoredList> monitoredList_;
    std::array<std::string, 3> reminderTexts_;
    std::array<bool, kStoredTableCount> tableLoaded_{};
    std::array<std::string, kStoredTableCount> tableLoadError_;
    bool saveOnDestroy_ = true;
};

// Logs the administrator off when it goes, however the operation that
// asked for the password ends: the rights last for that one operation.
class TAdminLogoff {
public:
    explicit TAdminLogoff(TOptions& options) noexcept : options_(options) {}
    TAdminLogoff(const TAdminLogoff&) = delete;
    TAdminLogoff& operator=(const TAdminLogoff&) = delete;
    ~TAdminLogoff() { options_.AdminLoggedIn = false; }

private:
    TOptions& options_;
};

// The process's store, created (and so loaded) on first use.
TOptions& Options();
// Saves and frees the store (program end); the next Options() loads anew.
void FreeOptions();
// Frees the store without saving (tests, and a new data folder).
void ResetOptions();

}  // namespace tw
