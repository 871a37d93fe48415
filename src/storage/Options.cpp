#include "storage/Options.h"

#include <sqlite3.h>

#include <filesystem>
#include <utility>

#include "base/AppClock.h"
#include "base/Appearance.h"
#include "base/Exceptions.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "base/md5.h"

namespace tw {

namespace {

constexpr std::string_view kUnit = "Options";

constexpr const char* kExpirationActions[] = {"Reminder Only", "Close Browser/App.",
                                              "Shutdown Computer"};
constexpr const char* kReminderChangePeriods[] = {"never", "daily", "weekly", "fortnightly",
                                                  "monthly"};
constexpr const char* kReminderTypes[] = {"morning", "afternoon", "evening"};

enum class TextCase { Any, Exact };

// A value table's text for `value`; "" past its end.
template <size_t N>
const char* TextAt(const char* const (&table)[N], uint8_t value) noexcept {
    return value < N ? table[value] : "";
}

// The index of `text` in a value table; 0, the default value, when absent.
template <size_t N>
uint8_t IndexOfText(const char* const (&table)[N], std::string_view text, TextCase match) noexcept {
    for (size_t i = 0; i < N; ++i) {
        if (match == TextCase::Any ? SameText(text, table[i]) : text == table[i]) {
            return static_cast<uint8_t>(i);
        }
    }
    return 0;
}

constexpr std::string_view kCommon = "Common";
constexpr std::string_view kSettingsExecContext = "; TOptions.SettingsDBExecSQL:";
constexpr std::string_view kSettingsQueryContext = "; TOptions.SettingsDBGetTable:";
constexpr std::string_view kLogExecContext = "; TOptions.LogDBExecSQL: ";

// Lines joined the way every multi-row INSERT of the store is written.
std::string JoinUnionAll(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += "\r\nUNION ALL\r\n";
        }
        text += lines[i];
    }
    return text;
}

// A count of seconds in the settings table: zero or less is as malformed as a
// text that is no number, since a period or limit of it makes no sense.
int32_t PositiveSeconds(const std::string& value) {
    const int32_t seconds = StrToInt(value);
    if (seconds <= 0) {
        throw EConvertError("'" + value + "' is not a positive number of seconds");
    }
    return seconds;
}

TStoredTable ListTable(TMonitoredItemType type) noexcept {
    return type == mitApplication ? stApplicationsList : stWebSitesList;
}

// A transaction over attached files commits atomically (through a
// super-journal) only in a rollback-journal mode; WAL commits each file on
// its own. A file another tool left in WAL mode is switched back here.
void UseRollbackJournal(TSQLiteDatabase& db, std::string_view schema) {
    auto mode = db.GetTable("PRAGMA " + std::string(schema) + ".journal_mode = DELETE");
    const std::string name = mode->First() ? mode->AsText(0) : std::string();
    if (!SameText(name, "delete")) {
        throw ESQLiteException("The " + std::string(schema) + " database stays in journal mode \"" +
                               name + "\"; its tables are not replaced");
    }
}

// Attaches actmondb.sqlite to take the copy of the list. A file that is
// missing, is no database or lacks the list tables cannot take it, and that
// must not cost the user's settings: they are saved alone (logged) and the
// next save that reaches the file rewrites its copy. A busy file fails the
// whole save, which the next one retries, so the copies never part for that.
bool AttachActivityDB(TSQLiteDatabase& db) {
    const std::string file = GetActivityDBFileName();
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        WriteLog("TOptions.Save: " + file + " is missing; the list is saved without its copy");
        return false;
    }
    const std::string schema(kActivitySchema);
    try {
        db.ExecSQL("ATTACH DATABASE " + SQLiteQuotedStr(file) + " AS " + schema);
    } catch (const ESQLiteException& e) {
        if (db.LastErrorCode() == SQLITE_BUSY || db.LastErrorCode() == SQLITE_LOCKED) {
            throw;
        }
        LogException(e, kLogExecContext);
        return false;
    }
    auto tables = db.GetTable("SELECT COUNT(*) FROM " + schema +
                              ".sqlite_master WHERE type = 'table' AND name IN "
                              "('applications_list', 'websites_list')");
    if (tables->AsInteger(0) != 2) {
        db.ExecSQL("DETACH DATABASE " + schema);
        WriteLog("TOptions.Save: " + file +
                 " has no list tables; the list is saved without its copy");
        return false;
    }
    UseRollbackJournal(db, schema);
    return true;
}

std::unique_ptr<TOptions>& Instance() {
    static std::unique_ptr<TOptions> instance;
    return instance;
}

}  // namespace

const char* ExpirationActionText(uint8_t value) noexcept {
    return TextAt(kExpirationActions, value);
}

uint8_t ExpirationActionFromText(std::string_view text) noexcept {
    return IndexOfText(kExpirationActions, text, TextCase::Any);
}

const char* ReminderChangePeriodText(uint8_t value) noexcept {
    return TextAt(kReminderChangePeriods, value);
}

uint8_t ReminderChangePeriodFromText(std::string_view text) noexcept {
    return IndexOfText(kReminderChangePeriods, text, TextCase::Any);
}

const char* ReminderTypeText(uint8_t value) noexcept {
    return TextAt(kReminderTypes, value);
}

// The reminders table has always held the types in lower case; any other
// spelling is not one of them.
uint8_t ReminderTypeFromText(std::string_view text) noexcept {
    return IndexOfText(kReminderTypes, text, TextCase::Exact);
}

bool ReminderTextFilled(std::string_view text) noexcept {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > ' ')
            return true;
    }
    return false;
}

const char* MonitoredListTableName(TMonitoredItemType type) noexcept {
    switch (type) {
        case mitApplication:
            return "applications_list";
        case mitWebSite:
            return "websites_list";
        default:
            return "";
    }
}

const char* StoredTableName(TStoredTable table) noexcept {
    switch (table) {
        case stSettings:
            return "settings";
        case stReminders:
            return "reminders";
        case stApplicationsList:
            return "applications_list";
        case stWebSitesList:
            return "websites_list";
    }
    return "";
}

const char* MonitoredIniSection(TMonitoredItemType type) noexcept {
    switch (type) {
        case mitApplication:
            return "Applications";
        case mitWebSite:
            return "WebSites";
        default:
            return "";
    }
}

// ---------------------------------------------------------------------------

TOptions::TOptions() {
    AdminLoggedIn = false;
    Load();
}

TOptions::~TOptions() {
    if (saveOnDestroy_) {
        try {
            Save();
        } catch (const std::exception& e) {
            LogException(e, "; TOptions.Destroy: ");
        }
    }
}

TMonitoredList& TOptions::MonitoredList() {
    if (!monitoredList_) {
        monitoredList_ = std::make_unique<TMonitoredList>();
    }
    return *monitoredList_;
}

void TOptions::Load() {
    const TIniFile& ini = GetIniFile();
    ExpirationActionChanged = ini.ReadBool(kCommon, "ExpirationActionChanged", false);
    TimeLimitSecondsChanged = ini.ReadBool(kCommon, "TimeLimitSecondsChanged", false);
    MonitoredItemDeleteActionProcessed =
        ini.ReadBool(kCommon, "MonitoredItemDeleteActionProcessed", true);
    LoadMonitoredItems();
    LoadReminderTexts();
    LoadSettings();
}

template <typename ReadRow>
bool TOptions::ReadTable(TStoredTable table, const std::string& sql, std::string_view context,
                         ReadRow readRow) {
    tableLoaded_[table] = false;
    tableLoadError_[table].clear();
    const auto failed = [&](const std::exception& e, std::string_view failedContext) {
        LogException(e, failedContext);
        tableLoadError_[table] = e.what();
        WriteLog(std::string("TOptions.Load: ") + StoredTableName(table) +
                 " could not be read; it is left as stored until it is read");
        return false;
    };
    std::unique_ptr<TSQLiteTable> rows;
    try {
        TSQLiteDatabase db(GetSettingsDBFileName());
        rows = db.GetTable(sql);
    } catch (const std::exception& e) {
        return failed(e, kSettingsQueryContext);
    }
    try {
        for (rows->First(); !rows->AtEnd(); rows->Next()) {
            readRow(*rows);
        }
    } catch (const std::exception& e) {
        return failed(e, context);
    }
    tableLoaded_[table] = true;
    return true;
}

bool TOptions::TableLoaded(TStoredTable table) const noexcept {
    return tableLoaded_[table];
}

const std::string& TOptions::TableLoadError(TStoredTable table) const noexcept {
    return tableLoadError_[table];
}

bool TOptions::MonitoredListLoaded(TMonitoredItemType type) const noexcept {
    if (type == mitAll) {
        return TableLoaded(stApplicationsList) && TableLoaded(stWebSitesList);
    }
    return TableLoaded(ListTable(type));
}

void TOptions::LoadSettings() {
    const TDateTime now = AppNow();
    ScanPeriodSeconds = 3;
    ReminderChangedDateTime = now;
    ResetDateTime = NextDayStart(now);
    TimeLimitSeconds = 28800;
    ReminderShowedDateTime = now;

    const char decimal = DecimalCommaFormat().decimalSeparator;
    ReadTable(stSettings, "SELECT * FROM settings",
              "; TOptions.LoadSettings: ", [&](const TSQLiteTable& table) {
                  const std::string name = table.AsText("name");
                  const std::string value = table.AsText("value");
                  // A malformed value must not keep the program from starting:
                  // that key keeps its default and the rest still loads.
                  try {
                      if (SameText(name, "Password")) {
                          Password = value;
                      } else if (SameText(name, "ScanPeriodSeconds")) {
                          ScanPeriodSeconds = PositiveSeconds(value);
                      } else if (SameText(name, "TimeLimitSeconds")) {
                          TimeLimitSeconds = PositiveSeconds(value);
                      } else if (SameText(name, "ExpirationAction")) {
                          ExpirationAction = ExpirationActionFromText(value);
                      } else if (SameText(name, "ReminderChangePeriod")) {
                          ReminderChangePeriod = ReminderChangePeriodFromText(value);
                      } else if (SameText(name, "ResetDateTime")) {
                          ResetDateTime = ParseDateText(value) + kDayStartOffset;
                      } else if (SameText(name, "AllowUserToChangeSettings")) {
                          AllowUserToChangeSettings = value == "1";
                      } else if (SameText(name, "IsNotFirstRun")) {
                          IsNotFirstRun = value == "1";
                      } else if (SameText(name, "ReminderChangedDateTime")) {
                          ReminderChangedDateTime = StrToFloat(value, decimal);
                      } else if (SameText(name, "ReminderShowedDateTime")) {
                          ReminderShowedDateTime = StrToFloat(value, decimal);
                      }
                  } catch (const Exception& e) {
                      LogException(e,
                                   "; TOptions.LoadSettings: " + name + " = \"" + value + "\": ");
                  }
              });
    if constexpr (!AdminPasswordEnabled) {
        AllowUserToChangeSettings = true;
    }
}

void TOptions::LoadReminderTexts() {
    std::array<std::string, 3> texts = reminderTexts_;
    if (ReadTable(stReminders, "SELECT * FROM reminders",
                  "; TOptions.LoadReminderTexts: ", [&](const TSQLiteTable& table) {
                      texts[ReminderTypeFromText(table.AsText("reminder_type"))] =
                          table.AsText("text");
                  })) {
        reminderTexts_ = std::move(texts);
    }
}

// Each list table is taken whole or not at all: a table that fails, even
// halfway through its rows, adds none of its entries and is never saved over,
// and the other table still loads.
void TOptions::LoadMonitoredItems() {
    TMonitoredList& list = MonitoredList();
    list.Clear();
    for (TMonitoredItemType type : {mitApplication, mitWebSite}) {
        std::vector<std::unique_ptr<TMonitoredItem>> items;
        const bool read =
            ReadTable(ListTable(type), std::string("SELECT * FROM ") + MonitoredListTableName(type),
                      "; TOptions.LoadMonitoredItems: ", [&](const TSQLiteTable& table) {
                          auto item = std::make_unique<TMonitoredItem>();
                          item->Name = table.AsText("name");
                          item->Caption = table.AsText("caption");
                          item->ItemType = type;
                          item->Active = table.AsInteger("active") == 1;
                          items.push_back(std::move(item));
                      });
        if (!read) {
            continue;
        }
        for (auto& item : items) {
            const std::string caption = item->Caption;
            list.Add(caption, std::move(item));
        }
    }
}

std::string TOptions::SettingsInsertSQL() const {
    const char decimal = DecimalCommaFormat().decimalSeparator;
    const std::pair<const char*, std::string> rows[] = {
        {"ScanPeriodSeconds", IntToStr(ScanPeriodSeconds)},
        {"TimeLimitSeconds", IntToStr(TimeLimitSeconds)},
        {"ExpirationAction", ExpirationActionText(ExpirationAction)},
        {"Password", Password},
        {"ResetDateTime", FormatDateText(ResetDateTime)},
        {"AllowUserToChangeSettings", AllowUserToChangeSettings ? "1" : "0"},
        {"ReminderChangedDateTime", FloatToStr(ReminderChangedDateTime, decimal)},
        {"ReminderChangePeriod", ReminderChangePeriodText(ReminderChangePeriod)},
        {"ReminderShowedDateTime", FloatToStr(ReminderShowedDateTime, decimal)},
        {"IsNotFirstRun", IsNotFirstRun ? "1" : "0"},
    };
    std::vector<std::string> lines;
    for (const auto& [key, value] : rows) {
        lines.push_back("SELECT " + SQLiteQuotedStr(key) + ", " + SQLiteQuotedStr(value));
    }
    return "INSERT INTO settings(name, value)\r\n" + JoinUnionAll(lines);
}

std::string TOptions::RemindersInsertSQL() const {
    std::vector<std::string> lines;
    for (uint8_t type = 0; type < 3; ++type) {
        lines.push_back("SELECT " + SQLiteQuotedStr(reminderTexts_[type]) + ", \"" +
                        ReminderTypeText(type) + "\"");
    }
    return "INSERT INTO reminders(text, reminder_type)\r\n" + JoinUnionAll(lines);
}

std::vector<std::string> TOptions::MonitoredItemsInsertSQL(TMonitoredItemType type,
                                                           std::string_view schema) {
    std::vector<std::string> statements;
    std::vector<std::string> lines;
    const std::string head = "INSERT INTO " +
                             (schema.empty() ? std::string() : std::string(schema) + ".") +
                             MonitoredListTableName(type) + "(name, caption, active)\r\n";
    const TMonitoredList& list = MonitoredList();
    for (int i = 0; i < list.Count(); ++i) {
        const TMonitoredItem* item = list.Items(i);
        if (item->ItemType != type) {
            continue;
        }
        lines.push_back("SELECT " + SQLiteQuotedStr(item->Name) + ", " +
                        SQLiteQuotedStr(item->Caption) + ", " + (item->Active ? "1" : "0"));
        if (int(lines.size()) == kInsertBatchRows) {
            statements.push_back(head + JoinUnionAll(lines));
            lines.clear();
        }
    }
    if (!lines.empty()) {
        statements.push_back(head + JoinUnionAll(lines));
    }
    return statements;
}

bool TOptions::WillSave(TStoredTable table, std::string_view operation) const {
    if (TableLoaded(table)) {
        return true;
    }
    WriteLog(std::string(operation) + ": " + StoredTableName(table) +
             " is left as stored, since it could not be read");
    return false;
}

void TOptions::AddMonitoredItemsSQL(std::vector<std::string>& settings,
                                    std::vector<std::string>& activity,
                                    std::string_view operation) {
    for (TMonitoredItemType type : {mitApplication, mitWebSite}) {
        if (!WillSave(ListTable(type), operation)) {
            continue;
        }
        const std::string table = MonitoredListTableName(type);
        settings.push_back("DELETE FROM " + table + ";");
        activity.push_back("DELETE FROM " + std::string(kActivitySchema) + "." + table + ";");
        for (std::string& insert : MonitoredItemsInsertSQL(type)) {
            settings.push_back(std::move(insert));
        }
        for (std::string& insert : MonitoredItemsInsertSQL(type, kActivitySchema)) {
            activity.push_back(std::move(insert));
        }
    }
}

// One connection: settings.sqlite is its main database and actmondb.sqlite
// is attached, so one transaction covers both files and a save is never
// half done, nor the totals' copy of the list apart from the list. The
// settings statements keep their text, since an unqualified table name
// resolves to the main database before any attached one; the copy's
// statements name the attached schema, as both files hold the list tables.
bool TOptions::WriteDatabases(const std::vector<std::string>& settings,
                              const std::vector<std::string>& activity) {
    if (settings.empty()) {
        return true;  // nothing was read, so nothing is written (the copy follows its source)
    }
    std::string_view context = kSettingsExecContext;
    try {
        TSQLiteDatabase db(GetSettingsDBFileName());
        UseRollbackJournal(db, "main");
        context = kLogExecContext;
        const bool withCopy = !activity.empty() && AttachActivityDB(db);
        context = kSettingsExecContext;
        TSQLiteTransaction transaction(db);
        for (const std::string& sql : settings) {
            db.ExecSQL(sql);
        }
        if (withCopy) {
            context = kLogExecContext;
            for (const std::string& sql : activity) {
                db.ExecSQL(sql);
            }
            context = kSettingsExecContext;
        }
        transaction.Commit();
    } catch (const std::exception& e) {
        LogException(e, context);
        return false;
    }
    return true;
}

bool TOptions::Save() {
    std::vector<std::string> settings;
    std::vector<std::string> activity;
    if (WillSave(stSettings, "TOptions.Save")) {
        settings.push_back("DELETE FROM settings;");
        settings.push_back(SettingsInsertSQL());
    }
    AddMonitoredItemsSQL(settings, activity, "TOptions.Save");
    if (WillSave(stReminders, "TOptions.Save")) {
        settings.push_back("DELETE FROM reminders;");
        settings.push_back(RemindersInsertSQL());
    }
    return WriteDatabases(settings, activity);
}

void TOptions::SaveMonitoredItems() {
    std::vector<std::string> settings;
    std::vector<std::string> activity;
    AddMonitoredItemsSQL(settings, activity, "TOptions.SaveMonitoredItems");
    WriteDatabases(settings, activity);
}

void TOptions::PurgeLog() {
    LogDBExecSQL("DELETE FROM applications where date_created  < '" +
                 FormatDateTimeText(AppNow() - kPurgeLogDays) + "'");
    LogDBExecSQL(
        "delete from applications where origin = 1 and app_name not in (select distinct name "
        "from applications_list)");
}

void TOptions::SettingsDBExecSQL(const std::string& sql) {
    try {
        TSQLiteDatabase db(GetSettingsDBFileName());
        db.ExecSQL(sql);
    } catch (const std::exception& e) {
        LogException(e, kSettingsExecContext);
    }
}

std::unique_ptr<TSQLiteTable> TOptions::SettingsDBGetTable(const std::string& sql) {
    try {
        TSQLiteDatabase db(GetSettingsDBFileName());
        return db.GetTable(sql);
    } catch (const std::exception& e) {
        LogException(e, kSettingsQueryContext);
    }
    return nullptr;
}

void TOptions::LogDBExecSQL(const std::string& sql) {
    try {
        TSQLiteDatabase db(GetActivityDBFileName());
        db.ExecSQL(sql);
    } catch (const std::exception& e) {
        LogException(e, kLogExecContext);
    }
}

int TOptions::AccessLevel() const noexcept {
    if (AdminLoggedIn) {
        return 2;
    }
    return AllowUserToChangeSettings ? 1 : 0;
}

bool TOptions::CheckPassword(std::string_view text) {
    AdminLoggedIn = SameText(MD5DigestText(text), Password);
    return AdminLoggedIn;
}

void TOptions::SetPassword(std::string_view text) {
    Password = MD5DigestText(text);
    AdminLoggedIn = true;
}

void TOptions::SetTimeLimitSeconds(int32_t value) {
    TIniFile& ini = GetIniFile();
    if (AdminLoggedIn) {
        ini.DeleteKey(kCommon, "TimeLimitSeconds");
        TimeLimitSeconds = value;
    } else if (!TimeLimitSecondsChanged) {
        // One raise per period takes effect at once.
        if (value > TimeLimitSeconds) {
            TimeLimitSecondsChanged = true;
        }
        ini.DeleteKey(kCommon, "TimeLimitSeconds");
        TimeLimitSeconds = value;
        ini.WriteBool(kCommon, "TimeLimitSecondsChanged", TimeLimitSecondsChanged);
    } else if (AllowUserToChangeSettings) {
        if (value < TimeLimitSeconds) {
            ini.DeleteKey(kCommon, "TimeLimitSeconds");
            TimeLimitSeconds = value;
        } else {
            ini.WriteInteger(kCommon, "TimeLimitSeconds", value);
        }
    }
}

void TOptions::SetExpirationAction(uint8_t value) {
    TIniFile& ini = GetIniFile();
    if (AdminLoggedIn) {
        ExpirationAction = value;
        ini.DeleteKey(kCommon, "ExpirationAction");
    } else if (!ExpirationActionChanged) {
        ExpirationAction = value;
        ini.DeleteKey(kCommon, "ExpirationAction");
        ExpirationActionChanged = true;
        ini.WriteBool(kCommon, "ExpirationActionChanged", true);
    } else if (AllowUserToChangeSettings) {
        ini.WriteInteger(kCommon, "ExpirationAction", value);
    }
}

uint8_t TOptions::DeleteMonitoredItem(const TMonitoredItem* item) {
    Require(item != nullptr, kUnit);
    const int level = AccessLevel();
    if (level == 0) {
        return daNone;
    }
    TMonitoredList& list = MonitoredList();
    const int index = list.IndexOfItem(item);
    if (index < 0) {
        return uint8_t(level);
    }
    if (level == 2) {
        list.Delete(index);
        return daRemove;
    }
    if (!MonitoredItemDeleteActionProcessed) {
        MonitoredItemDeleteActionProcessed = true;
        list.Delete(index);
        return daRemove;
    }
    TMonitoredItem* entry = list.Items(index);
    entry->Active = false;
    // `item` may be the entry itself; it is still alive here.
    WriteIniString(MonitoredIniSection(entry->ItemType), item->Name, item->Name);
    return daDeactivate;
}

void TOptions::SetMonitoredItemDeleteActionProcessed(bool value) {
    MonitoredItemDeleteActionProcessed = value;
    GetIniFile().WriteBool(kCommon, "MonitoredItemDeleteActionProcessed", value);
}

void TOptions::ApplyPendingChanges() {
    TIniFile& ini = GetIniFile();
    if (AllowUserToChangeSettings) {
        const int32_t limit = ini.ReadInteger(kCommon, "TimeLimitSeconds", -1);
        if (limit > 0) {
            TimeLimitSeconds = limit;
        }
        const int32_t action = ini.ReadInteger(kCommon, "ExpirationAction", -1);
        if (action >= 0 && action <= 2) {
            ExpirationAction = uint8_t(action);
        }
    }
    if (ini.SectionExists(kCommon)) {
        // The pending values and the period's flags go; the user's display
        // choice in the same section stays.
        const bool keepButtonChoice = ini.ValueExists(kCommon, "Show5MinButton");
        const bool showButton = ini.ReadBool(kCommon, "Show5MinButton", true);
        ini.EraseSection(kCommon);
        if (keepButtonChoice)
            ini.WriteBool(kCommon, "Show5MinButton", showButton);
    }
    // A new period: the user's one immediate change of the day is there again.
    ExpirationActionChanged = false;
    TimeLimitSecondsChanged = false;
    MonitoredItemDeleteActionProcessed = true;
}

std::string TOptions::ExpirationActionName() const {
    return ExpirationActionText(ExpirationAction);
}

const std::string& TOptions::ReminderTexts(uint8_t type) const {
    Require(type < 3, kUnit);
    return reminderTexts_[type];
}

void TOptions::SetReminder(uint8_t type, const std::string& text) {
    Require(type < 3, kUnit);
    if (reminderTexts_[type] != text) {
        reminderTexts_[type] = text;
        ReminderChangedDateTime = AppNow();
    }
}

void TOptions::WriteIniString(std::string_view section, std::string_view key,
                              std::string_view value) {
    GetIniFile().WriteString(section, key, value);
}

// ---------------------------------------------------------------------------

TOptions& Options() {
    auto& instance = Instance();
    if (!instance) {
        instance = std::make_unique<TOptions>();
    }
    return *instance;
}

void FreeOptions() {
    Instance().reset();
}

void ResetOptions() {
    if (auto& instance = Instance()) {
        instance->SetSaveOnDestroy(false);
        instance.reset();
    }
}

}  // namespace tw
