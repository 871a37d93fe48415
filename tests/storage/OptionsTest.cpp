#include "storage/Options.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/Appearance.h"
#include "base/IniFile.h"
#include "base/Paths.h"
#include "base/Strings.h"
#include "storage/SQLiteTable3.h"
#include "support/ManualClock.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

// A data folder seeded from the built templates, a clock at a chosen local
// time (UTC) and a fresh appearance file, for each test.
class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        ASSERT_TRUE(fs::exists(GetSettingsDBFileName()));
        ResetAppearance();
        clock_.Install();
    }
    void TearDown() override {
        ResetOptions();
        ResetAppearance();
        SetSQLiteStatementHook(nullptr);
    }

    static void Exec(const std::string& file, const std::string& sql) {
        TSQLiteDatabase db(file);
        db.ExecSQL(sql);
    }
    static void ExecSettings(const std::string& sql) { Exec(GetSettingsDBFileName(), sql); }
    // Each row as its cells joined by "|".
    static std::vector<std::string> Rows(const std::string& file, const std::string& sql) {
        TSQLiteDatabase db(file);
        std::vector<std::string> rows;
        for (auto t = db.GetTable(sql); !t->AtEnd(); t->Next()) {
            std::string row;
            for (int j = 0; j < t->ColumnCount(); ++j) {
                row += (j ? "|" : "") + t->AsText(j);
            }
            rows.push_back(row);
        }
        return rows;
    }
    static std::map<std::string, std::string> StoredSettings() {
        std::map<std::string, std::string> values;
        for (const std::string& row :
             Rows(GetSettingsDBFileName(), "SELECT name, value FROM settings")) {
            const auto bar = row.find('|');
            values[row.substr(0, bar)] = row.substr(bar + 1);
        }
        return values;
    }
    // The rows of every table Save replaces, by "file/table".
    static std::map<std::string, std::vector<std::string>> StoredTables() {
        std::map<std::string, std::vector<std::string>> tables;
        for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
            const bool settings = file == GetSettingsDBFileName();
            for (int t = settings ? 0 : stApplicationsList; t < kStoredTableCount; ++t) {
                const std::string table = StoredTableName(TStoredTable(t));
                tables[fs::path(file).filename().string() + "/" + table] =
                    Rows(file, "SELECT * FROM " + table + " ORDER BY rowid");
            }
        }
        return tables;
    }
    static std::string JournalMode(const std::string& file) {
        return Rows(file, "PRAGMA journal_mode").at(0);
    }
    static std::string LogText() { return test::ReadFileText(LogFilePath()); }
    static void AddItem(TOptions& o, TMonitoredItemType type, const std::string& name,
                        const std::string& caption, bool active = true) {
        auto item = std::make_unique<TMonitoredItem>();
        item->ItemType = type;
        item->Name = name;
        item->Caption = caption;
        item->Active = active;
        o.MonitoredList().Add(caption, std::move(item));
    }
    // A save of the failure tests: 20 applications make two batches.
    static void StoreData(int32_t limit, const std::string& word, const std::string& stem,
                          const std::string& caption, const std::string& site) {
        TOptions o;
        o.TimeLimitSeconds = limit;
        o.SetReminder(rtMorning, word);
        for (int i = 0; i < 20; ++i) {
            AddItem(o, mitApplication, "/opt/" + stem + std::to_string(i),
                    caption + " " + std::to_string(i));
        }
        AddItem(o, mitWebSite, LowerCase(site) + ".org", site + " site");
    }
    static void StoreFirstData() { StoreData(1234, "first", "app", "App", "Old"); }

    test::TempDir dir_;
    // 2026-12-07 12:00 local time.
    test::ManualClock clock_{EncodeDate(2026, 12, 7) + 0.5};
};

TEST_F(OptionsTest, EmptySettingsTableLoadsTheDefaults) {
    TOptions o;
    EXPECT_EQ(o.ScanPeriodSeconds, 3);
    EXPECT_EQ(o.TimeLimitSeconds, 28800);
    EXPECT_EQ(o.ExpirationActionName(), "Reminder Only");
    EXPECT_DOUBLE_EQ(o.ResetDateTime, EncodeDate(2026, 12, 8) + kDayStartOffset);
    EXPECT_EQ(o.AllowUserToChangeSettings, !AdminPasswordEnabled);
    EXPECT_EQ(o.AccessLevel(), AdminPasswordEnabled ? 0 : 1);
    EXPECT_TRUE(o.MonitoredItemDeleteActionProcessed);
    EXPECT_EQ(o.MonitoredList().Count(), 0);
    EXPECT_EQ(o.ReminderTexts(rtMorning), "");
    EXPECT_NEAR(o.ReminderChangedDateTime, EncodeDate(2026, 12, 7) + 0.5, kOneSecond);
}

TEST_F(OptionsTest, BeforeFourTheResetIsTodayAtFour) {
    test::ManualClock early(EncodeDate(2026, 12, 7) + EncodeTime(3, 59, 59));
    early.Install();
    TOptions o;
    EXPECT_DOUBLE_EQ(o.ResetDateTime, EncodeDate(2026, 12, 7) + kDayStartOffset);
}

TEST_F(OptionsTest, SettingsRowsAreRecognisedAndConverted) {
    ExecSettings(
        "INSERT INTO settings VALUES ('scanperiodseconds', '0'), ('TIMELIMITSECONDS', '100'), "
        "('TimeLimitSeconds', '3600'), ('ExpirationAction', 'close browser/APP.'), "
        "('ReminderChangePeriod', 'Weekly'), ('ResetDateTime', '2026-12-07'), "
        "('ReminderChangedDateTime', '46000,25'), ('ReminderShowedDateTime', '-1,5'), "
        "('Password', 'abc'), ('IsNotFirstRun', '1'), ('AllowUserToChangeSettings', '1'), "
        "('SomethingElse', 'x')");
    TOptions o;
    EXPECT_EQ(o.ScanPeriodSeconds, 3);    // 0 is not a period
    EXPECT_EQ(o.TimeLimitSeconds, 3600);  // a key met twice takes its last row
    EXPECT_EQ(o.ExpirationAction, eaCloseBrowserApp);
    EXPECT_EQ(o.ReminderChangePeriod, rcpWeekly);
    EXPECT_DOUBLE_EQ(o.ResetDateTime, EncodeDate(2026, 12, 7) + kDayStartOffset);
    EXPECT_DOUBLE_EQ(o.ReminderChangedDateTime, 46000.25);
    EXPECT_DOUBLE_EQ(o.ReminderShowedDateTime, -1.5);
    EXPECT_EQ(o.Password, "abc");
    EXPECT_TRUE(o.IsNotFirstRun);
    EXPECT_TRUE(o.AllowUserToChangeSettings);
}

TEST_F(OptionsTest, MalformedValuesKeepTheirDefaultsAndTheRestLoads) {
    ExecSettings(
        "INSERT INTO settings VALUES ('ResetDateTime', '2026-12'), ('TimeLimitSeconds', "
        "'eight hours'), ('TimeLimitSeconds', '0'), ('TimeLimitSeconds', '-60'), "
        "('ReminderShowedDateTime', '46000.5'), ('ScanPeriodSeconds', '7'), "
        "('ScanPeriodSeconds', '-3'), ('ResetDateTime', '2026-13-01')");
    std::unique_ptr<TOptions> o;
    ASSERT_NO_THROW(o = std::make_unique<TOptions>());
    EXPECT_EQ(o->ScanPeriodSeconds, 7);
    EXPECT_EQ(o->TimeLimitSeconds, 28800);
    EXPECT_DOUBLE_EQ(o->ResetDateTime, EncodeDate(2026, 12, 8) + kDayStartOffset);
    EXPECT_NEAR(o->ReminderShowedDateTime, EncodeDate(2026, 12, 7) + 0.5, kOneSecond);
    const std::string log = LogText();
    for (const char* part :
         {"; TOptions.LoadSettings: ResetDateTime = \"2026-12\": ",
          "; TOptions.LoadSettings: TimeLimitSeconds = \"eight hours\": ",
          "ErrorClassName: EConvertError; TOptions.LoadSettings: TimeLimitSeconds = \"0\": '0' "
          "is not a positive number of seconds",
          "; TOptions.LoadSettings: TimeLimitSeconds = \"-60\": ",
          "; TOptions.LoadSettings: ScanPeriodSeconds = \"-3\": ",
          "ErrorClassName: EConvertError; TOptions.LoadSettings: ReminderShowedDateTime = "
          "\"46000.5\": ",
          "; TOptions.LoadSettings: ResetDateTime = \"2026-13-01\": "}) {
        EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log;
    }
}

TEST_F(OptionsTest, ReminderTypesAreMatchedExactly) {
    ExecSettings(
        "INSERT INTO reminders VALUES ('walk', 'morning'), ('read', 'evening'), ('Later', "
        "'Afternoon')");
    TOptions o;
    EXPECT_EQ(o.ReminderTexts(rtMorning), "Later");  // unknown type: the morning slot, last wins
    EXPECT_EQ(o.ReminderTexts(rtAfternoon), "");
    EXPECT_EQ(o.ReminderTexts(rtEvening), "read");
}

TEST_F(OptionsTest, SaveAndLoadRoundTripTextsUnchanged) {
    const std::string reminder = "plan';\r\nSELECT * FROM settings; -- \"x\"";
    {
        TOptions o;
        o.ScanPeriodSeconds = 5;
        o.TimeLimitSeconds = 7200;
        o.ExpirationAction = eaShutdownComputer;
        o.ReminderChangePeriod = rcpFortnightly;
        o.ResetDateTime = EncodeDate(2026, 12, 9) + kDayStartOffset;
        o.IsNotFirstRun = true;
        o.SetReminder(rtEvening, reminder);
        o.ReminderShowedDateTime = 46000.125;
        AddItem(o, mitApplication, "/usr/bin/game", "Bob's \"Game\"", false);
        AddItem(o, mitWebSite, "example.com", "Example");
    }
    const auto stored = StoredSettings();
    EXPECT_EQ(stored.at("ResetDateTime"), "2026-12-09");
    EXPECT_EQ(stored.at("ReminderShowedDateTime"), "46000,125");
    EXPECT_EQ(stored.at("ExpirationAction"), "Shutdown Computer");
    EXPECT_EQ(stored.at("ReminderChangePeriod"), "fortnightly");
    EXPECT_EQ(stored.size(), 10u);

    TOptions o;
    EXPECT_EQ(o.ScanPeriodSeconds, 5);
    EXPECT_EQ(o.TimeLimitSeconds, 7200);
    EXPECT_EQ(o.ExpirationAction, eaShutdownComputer);
    EXPECT_EQ(o.ReminderChangePeriod, rcpFortnightly);
    EXPECT_DOUBLE_EQ(o.ResetDateTime, EncodeDate(2026, 12, 9) + kDayStartOffset);
    EXPECT_TRUE(o.IsNotFirstRun);
    EXPECT_EQ(o.ReminderTexts(rtEvening), reminder);
    EXPECT_DOUBLE_EQ(o.ReminderShowedDateTime, 46000.125);
    ASSERT_EQ(o.MonitoredList().Count(), 2);
    const TMonitoredItem* game =
        o.MonitoredList().Items(o.MonitoredList().IndexOfName("/usr/bin/game"));
    EXPECT_EQ(game->Caption, "Bob's \"Game\"");
    EXPECT_FALSE(game->Active);
    EXPECT_EQ(game->ItemType, mitApplication);
    // The activity database holds the same list.
    EXPECT_EQ(Rows(GetActivityDBFileName(), "SELECT * FROM applications_list"),
              std::vector<std::string>{"/usr/bin/game|Bob's \"Game\"|0"});
    EXPECT_EQ(Rows(GetActivityDBFileName(), "SELECT * FROM websites_list"),
              std::vector<std::string>{"example.com|Example|1"});
    // An empty list empties both list tables.
    o.MonitoredList().Clear();
    o.Save();
    for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
        EXPECT_TRUE(Rows(file, "SELECT * FROM applications_list").empty()) << file;
        EXPECT_TRUE(Rows(file, "SELECT * FROM websites_list").empty()) << file;
    }
}

TEST_F(OptionsTest, ListIsWrittenInBatchesOfFifteenToBothDatabases) {
    std::map<std::string, std::vector<int>> batches;  // table -> rows per INSERT
    {
        TOptions o;
        for (int i = 0; i < 31; ++i) {
            AddItem(o, mitApplication, "/opt/app" + std::to_string(i),
                    "App " + std::to_string(100 + i));
        }
        AddItem(o, mitWebSite, "example.com", "Example");
        // The copy in actmondb.sqlite is written through the attached schema.
        SetSQLiteStatementHook([&](const std::string&, const std::string& sql) {
            for (const std::string table : {"applications_list", "actmondb.applications_list"}) {
                if (sql.rfind("INSERT INTO " + table + "(", 0) == 0) {
                    int rows = 1;
                    for (size_t at = 0;
                         (at = sql.find("\r\nUNION ALL\r\n", at)) != std::string::npos; ++at) {
                        ++rows;
                    }
                    batches[table].push_back(rows);
                }
            }
        });
        o.Save();
        SetSQLiteStatementHook(nullptr);
    }
    const std::vector<int> expected{15, 15, 1};
    EXPECT_EQ(batches["applications_list"], expected);
    EXPECT_EQ(batches["actmondb.applications_list"], expected);
    const auto settingsRows =
        Rows(GetSettingsDBFileName(), "SELECT * FROM applications_list ORDER BY rowid");
    EXPECT_EQ(settingsRows.size(), 31u);
    EXPECT_EQ(settingsRows,
              Rows(GetActivityDBFileName(), "SELECT * FROM applications_list ORDER BY rowid"));
}

// Where a save fails midway: a statement on either file, or the commit.
struct MidwayFailure {
    const char* name;
    const char* statement;  // how the failing statement begins
    int occurrence;
};

void PrintTo(const MidwayFailure& f, std::ostream* out) {
    *out << f.name;
}
class FailedSave : public OptionsTest, public ::testing::WithParamInterface<MidwayFailure> {};
INSTANTIATE_TEST_SUITE_P(
    Statements, FailedSave,
    ::testing::Values(MidwayFailure{"SettingsInsert", "INSERT INTO settings(", 1},
                      MidwayFailure{"SecondApplicationsBatch", "INSERT INTO applications_list(", 2},
                      MidwayFailure{"WebSitesDelete", "DELETE FROM websites_list;", 1},
                      MidwayFailure{"RemindersInsert", "INSERT INTO reminders(", 1},
                      MidwayFailure{"CopyOfSecondApplicationsBatch",
                                    "INSERT INTO actmondb.applications_list(", 2},
                      MidwayFailure{"CopyOfWebSites", "INSERT INTO actmondb.websites_list(", 1},
                      MidwayFailure{"Commit", "COMMIT", 1}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A save that fails anywhere (disk full, killed) leaves the previous save in
// both files, the copy of the list equal to the list; a commit over the two
// files is atomic only in a rollback-journal mode, so files left in WAL mode
// are switched back.
TEST_P(FailedSave, LeavesThePreviousSaveInBothFiles) {
    for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
        ASSERT_EQ(Rows(file, "PRAGMA journal_mode = WAL").at(0), "wal");
    }
    StoreFirstData();
    const auto before = StoredTables();
    ASSERT_EQ(before.at("settings.sqlite/applications_list").size(), 20u);
    int seen = 0;
    SetSQLiteStatementHook([&](const std::string&, const std::string& sql) {
        if (sql.rfind(GetParam().statement, 0) == 0 && ++seen == GetParam().occurrence) {
            throw ESQLiteException("disk is full");
        }
    });
    StoreData(99, "second", "new", "New", "New");
    SetSQLiteStatementHook(nullptr);
    EXPECT_EQ(seen, GetParam().occurrence);
    const auto after = StoredTables();
    EXPECT_EQ(after, before);
    for (const char* table : {"applications_list", "websites_list"}) {
        EXPECT_EQ(after.at(std::string("actmondb.sqlite/") + table),
                  after.at(std::string("settings.sqlite/") + table));
    }
    EXPECT_NE(LogText().find("disk is full"), std::string::npos);
    for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
        EXPECT_EQ(JournalMode(file), "delete") << file;
    }
}

// What keeps tables of settings.sqlite from being read at start-up.
enum class Unreadable { Query, ColumnMissing, HeldByAnotherProgram };
struct UnreadCase {
    const char* name;
    Unreadable cause;
    const char* query;  // the query that fails (Query)
    std::vector<TStoredTable> unread;
};
void PrintTo(const UnreadCase& c, std::ostream* out) {
    *out << c.name;
}
class UnreadTables : public OptionsTest, public ::testing::WithParamInterface<UnreadCase> {};
INSTANTIATE_TEST_SUITE_P(
    Causes, UnreadTables,
    ::testing::Values(
        UnreadCase{"Settings", Unreadable::Query, "SELECT * FROM settings", {stSettings}},
        UnreadCase{"Reminders", Unreadable::Query, "SELECT * FROM reminders", {stReminders}},
        UnreadCase{"Applications",
                   Unreadable::Query,
                   "SELECT * FROM applications_list",
                   {stApplicationsList}},
        UnreadCase{"WebSites", Unreadable::Query, "SELECT * FROM websites_list", {stWebSitesList}},
        UnreadCase{"CaptionColumnMissing", Unreadable::ColumnMissing, "", {stApplicationsList}},
        UnreadCase{"HeldByAnotherProgram",
                   Unreadable::HeldByAnotherProgram,
                   "",
                   {stSettings, stReminders, stApplicationsList, stWebSitesList}}),
    [](const auto& tp) { return std::string(tp.param.name); });

// A table that could not be read holds defaults (or no entries) in memory;
// saving them would replace the user's rows. It is left as stored, the
// others load and save as usual, and the next load reads it again.
TEST_P(UnreadTables, AreLeftAsStoredUntilALoadReadsThem) {
    const UnreadCase& c = GetParam();
    StoreFirstData();
    auto before = StoredTables();
    // Another program's connection, holding the file past the busy timeout.
    struct Holder {
        sqlite3* db = nullptr;
        void Release() {
            if (db) {
                sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
                sqlite3_close(db);
                db = nullptr;
            }
        }
        ~Holder() { Release(); }
    } holder;
    switch (c.cause) {
        case Unreadable::Query:
            SetSQLiteStatementHook([&](const std::string&, const std::string& sql) {
                if (sql == c.query) {
                    throw ESQLiteException("database disk image is malformed");
                }
            });
            break;
        case Unreadable::ColumnMissing:
            ExecSettings("ALTER TABLE applications_list RENAME COLUMN caption TO title");
            before = StoredTables();
            break;
        case Unreadable::HeldByAnotherProgram:
            ASSERT_EQ(sqlite3_open(GetSettingsDBFileName().c_str(), &holder.db), SQLITE_OK);
            ASSERT_EQ(sqlite3_exec(holder.db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
                      SQLITE_OK);
            break;
    }
    const auto isUnread = [&](int t) {
        return std::find(c.unread.begin(), c.unread.end(), TStoredTable(t)) != c.unread.end();
    };
    std::unique_ptr<TOptions> o;
    ASSERT_NO_THROW(o = std::make_unique<TOptions>());
    SetSQLiteStatementHook(nullptr);
    holder.Release();
    for (int t = 0; t < kStoredTableCount; ++t) {
        EXPECT_EQ(o->TableLoaded(TStoredTable(t)), !isUnread(t))
            << StoredTableName(TStoredTable(t));
        EXPECT_EQ(o->TableLoadError(TStoredTable(t)).empty(), !isUnread(t));
    }
    // One list that fails does not keep the other from loading.
    EXPECT_EQ(o->MonitoredListLoaded(mitApplication), !isUnread(stApplicationsList));
    EXPECT_EQ(o->MonitoredListLoaded(mitWebSite), !isUnread(stWebSitesList));
    EXPECT_EQ(o->MonitoredList().Count(),
              (isUnread(stApplicationsList) ? 0 : 20) + (isUnread(stWebSitesList) ? 0 : 1));
    EXPECT_EQ(o->TimeLimitSeconds, isUnread(stSettings) ? 28800 : 1234);

    // The session's changes reach the tables that were read, and only them.
    o->TimeLimitSeconds = 99;
    o->SetReminder(rtMorning, "second");
    AddItem(*o, mitApplication, "/bin/new", "New");
    AddItem(*o, mitWebSite, "new.org", "New site");
    o->Save();
    o->SaveMonitoredItems();
    const auto after = StoredTables();
    for (const auto& [table, rows] : after) {
        const std::string name = table.substr(table.find('/') + 1);
        int t = 0;
        while (name != StoredTableName(TStoredTable(t))) {
            ++t;
        }
        if (isUnread(t)) {
            EXPECT_EQ(rows, before.at(table)) << table;
            EXPECT_NE(LogText().find("TOptions.Save: " + name +
                                     " is left as stored, since it could not be read"),
                      std::string::npos);
        } else {
            EXPECT_NE(rows, before.at(table)) << table;
        }
    }
    if (c.cause == Unreadable::ColumnMissing) {
        EXPECT_NE(LogText().find("; TOptions.LoadMonitoredItems: Field not found in dataset: "
                                 "caption"),
                  std::string::npos);
        ExecSettings("ALTER TABLE applications_list RENAME COLUMN title TO caption");
    }

    o->Load();
    for (int t = 0; t < kStoredTableCount; ++t) {
        EXPECT_TRUE(o->TableLoaded(TStoredTable(t))) << StoredTableName(TStoredTable(t));
    }
    EXPECT_EQ(o->MonitoredList().Count(),
              (isUnread(stApplicationsList) ? 20 : 21) + (isUnread(stWebSitesList) ? 1 : 2));
    EXPECT_GE(o->MonitoredList().IndexOfName("/opt/app19"), 0);
}

// A file that cannot take the copy of the list (missing, no database, no
// list tables) does not cost the user's settings, and is left alone.
class UnusableActivityFile : public OptionsTest, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(
    Kinds, UnusableActivityFile, ::testing::Values(0, 1, 2), [](const auto& tp) {
        return std::string(tp.param == 0 ? "Missing" : tp.param == 1 ? "Garbage" : "Empty");
    });

TEST_P(UnusableActivityFile, SettingsAreSavedAlone) {
    const std::string file = GetActivityDBFileName();
    fs::remove(file);
    if (GetParam() > 0) {
        test::WriteFileText(file, GetParam() == 1 ? std::string(3000, 'x') : std::string());
    }
    const std::string bytes = GetParam() > 0 ? test::ReadFileText(file) : std::string();
    {
        TOptions o;
        o.TimeLimitSeconds = 99;
        AddItem(o, mitApplication, "/bin/a", "A");
    }
    EXPECT_EQ(StoredSettings().at("TimeLimitSeconds"), "99");
    EXPECT_EQ(Rows(GetSettingsDBFileName(), "SELECT name FROM applications_list"),
              std::vector<std::string>{"/bin/a"});
    EXPECT_EQ(fs::exists(file), GetParam() > 0);
    if (GetParam() > 0) {
        EXPECT_EQ(test::ReadFileText(file), bytes);
    }
}

// A NUL byte in a value would end the statement's text inside its literal.
TEST_F(OptionsTest, TextsHoldingNulAreSavedIntact) {
    const std::string name("nul\0.org", 8);
    const std::string reminder("a\0b", 3);
    {
        TOptions o;
        AddItem(o, mitWebSite, name, "Nul");
        o.SetReminder(rtEvening, reminder);
        o.Save();
        AddItem(o, mitApplication, "/bin/later", "Later");
    }  // the next save, with another entry, goes through too
    for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
        EXPECT_EQ(Rows(file, "SELECT name FROM websites_list"), std::vector<std::string>{name});
        EXPECT_EQ(Rows(file, "SELECT name FROM applications_list"),
                  std::vector<std::string>{"/bin/later"});
    }
    TOptions o;
    EXPECT_EQ(o.MonitoredList().IndexOfName(name), 1);
    EXPECT_EQ(o.ReminderTexts(rtEvening), reminder);
}

TEST_F(OptionsTest, UserChangesOfTheLimit) {
    TOptions o;
    o.AllowUserToChangeSettings = true;
    o.SetTimeLimitSeconds(36000);  // the one raise of the period: at once
    EXPECT_EQ(o.TimeLimitSeconds, 36000);
    EXPECT_TRUE(GetIniFile().ReadBool("Common", "TimeLimitSecondsChanged", false));
    o.SetTimeLimitSeconds(40000);  // a second raise waits for the reset
    EXPECT_EQ(o.TimeLimitSeconds, 36000);
    EXPECT_EQ(GetIniFile().ReadInteger("Common", "TimeLimitSeconds", -1), 40000);
    o.SetTimeLimitSeconds(20000);  // lowering is always at once and drops the pending raise
    EXPECT_EQ(o.TimeLimitSeconds, 20000);
    EXPECT_FALSE(GetIniFile().ValueExists("Common", "TimeLimitSeconds"));
    o.SetTimeLimitSeconds(30000);
    o.ApplyPendingChanges();
    EXPECT_EQ(o.TimeLimitSeconds, 30000);
    EXPECT_FALSE(GetIniFile().SectionExists("Common"));
}

TEST_F(OptionsTest, UserWithoutRightsGetsOnlyTheFirstChange) {
    TOptions o;
    o.AllowUserToChangeSettings = false;
    o.SetTimeLimitSeconds(30000);
    o.SetExpirationAction(eaCloseBrowserApp);
    o.SetTimeLimitSeconds(10000);
    o.SetExpirationAction(eaShutdownComputer);
    EXPECT_EQ(o.TimeLimitSeconds, 30000);
    EXPECT_EQ(o.ExpirationAction, eaCloseBrowserApp);
    EXPECT_FALSE(GetIniFile().ValueExists("Common", "ExpirationAction"));
    TOptions again;  // the flags survive a restart within the period
    EXPECT_TRUE(again.TimeLimitSecondsChanged);
    EXPECT_TRUE(again.ExpirationActionChanged);
}

TEST_F(OptionsTest, ActionChangesWaitForTheResetAfterTheFirst) {
    TOptions o;
    o.AllowUserToChangeSettings = true;
    GetIniFile().WriteBool("Common", "Show5MinButton", false);
    o.SetExpirationAction(eaCloseBrowserApp);
    o.SetExpirationAction(eaShutdownComputer);
    EXPECT_EQ(o.ExpirationAction, eaCloseBrowserApp);
    o.ApplyPendingChanges();
    EXPECT_EQ(o.ExpirationAction, eaShutdownComputer);
    EXPECT_FALSE(GetShow5MinButton()) << "the display choice outlives the period";
    // The next day the first change applies at once again, without a restart.
    o.SetExpirationAction(eaCloseBrowserApp);
    EXPECT_EQ(o.ExpirationAction, eaCloseBrowserApp);
    o.AdminLoggedIn = true;
    o.SetExpirationAction(eaReminderOnly);
    o.SetTimeLimitSeconds(99999);
    EXPECT_EQ(o.ExpirationAction, eaReminderOnly);
    EXPECT_EQ(o.TimeLimitSeconds, 99999);
}

TEST_F(OptionsTest, DeletingAnEntryDependsOnTheAccessLevel) {
    TOptions o;
    AddItem(o, mitApplication, "/bin/a", "A");
    AddItem(o, mitWebSite, "b.org", "B");
    AddItem(o, mitWebSite, "c.org", "C");
    TMonitoredItem probe;
    probe.Name = "B.ORG";  // names compare without regard to case

    o.AllowUserToChangeSettings = false;
    EXPECT_EQ(o.DeleteMonitoredItem(&probe), daNone);

    o.AllowUserToChangeSettings = true;  // the period's removal already used
    EXPECT_EQ(o.DeleteMonitoredItem(&probe), daDeactivate);
    const int b = o.MonitoredList().IndexOfName("b.org");
    ASSERT_GE(b, 0);
    EXPECT_FALSE(o.MonitoredList().Items(b)->Active);
    EXPECT_EQ(GetIniFile().ReadString("WebSites", "B.ORG", ""), "B.ORG");
    uint8_t kind = 0;
    EXPECT_EQ(o.MonitoredList().Match("", "https://b.org/x", kind), b);  // still counts

    o.MonitoredItemDeleteActionProcessed = false;  // one immediate removal allowed
    EXPECT_EQ(
        o.DeleteMonitoredItem(o.MonitoredList().Items(o.MonitoredList().IndexOfName("c.org"))),
        daRemove);
    EXPECT_TRUE(o.MonitoredItemDeleteActionProcessed);
    EXPECT_EQ(o.MonitoredList().IndexOfName("c.org"), -1);

    o.AdminLoggedIn = true;
    probe.Name = "/bin/a";
    EXPECT_EQ(o.DeleteMonitoredItem(&probe), daRemove);
    EXPECT_EQ(o.MonitoredList().IndexOfName("/bin/a"), -1);
    probe.Name = "/not/listed";
    EXPECT_EQ(o.DeleteMonitoredItem(&probe), daRemove);
    EXPECT_THROW(o.DeleteMonitoredItem(nullptr), EAssertionFailed);
}

// The dialog tests cover setting and checking; the stored digest's letter case is ours.
TEST_F(OptionsTest, PasswordDigestComparesWithoutCase) {
    TOptions o;
    EXPECT_FALSE(o.CheckPassword(""));  // no password stored
    o.SetPassword("S3cret pass");
    EXPECT_FALSE(o.CheckPassword("s3cret pass"));
    o.Password = LowerCase(o.Password);
    EXPECT_TRUE(o.CheckPassword("S3cret pass"));
    EXPECT_EQ(o.AccessLevel(), 2);
}

TEST_F(OptionsTest, PurgeLogDropsOldRowsAndUnlistedPrograms) {
    const std::string log = GetActivityDBFileName();
    Exec(log, "INSERT INTO applications_list VALUES('/bin/listed', 'L', 1)");
    Exec(log,
         "INSERT INTO applications VALUES "
         "('2026-09-08 11:59:59', '/bin/listed', '', 'Desktop Application', 3, 1),"
         "('2026-09-08 12:00:00', '/bin/listed', '', 'Desktop Application', 4, 1),"
         "('2026-12-07 10:00:00', '/bin/gone', '', 'Desktop Application', 5, 1),"
         "('2026-12-07 10:00:00', '/bin/gone', 'x.org', 'Google Chrome', 6, 2)");
    TOptions o;
    o.PurgeLog();
    EXPECT_EQ(Rows(log, "SELECT duration FROM applications ORDER BY duration"),
              (std::vector<std::string>{"4", "6"}));
}

TEST_F(OptionsTest, TheProcessWideStoreIsCreatedOnceAndSavedWhenFreed) {
    TOptions& first = Options();
    EXPECT_EQ(&first, &Options());
    first.TimeLimitSeconds = 4321;
    ResetOptions();  // dropped without saving
    EXPECT_EQ(Options().TimeLimitSeconds, 28800);
    Options().TimeLimitSeconds = 5555;
    FreeOptions();
    EXPECT_EQ(Options().TimeLimitSeconds, 5555);
}

// A damaged file: every operation reports and the store runs on its defaults.
class DamagedDatabases : public OptionsTest, public ::testing::WithParamInterface<int> {};
INSTANTIATE_TEST_SUITE_P(Kinds, DamagedDatabases, ::testing::Values(0, 1), [](const auto& tp) {
    return std::string(tp.param == 0 ? "Garbage" : "Truncated");
});

TEST_P(DamagedDatabases, StoreKeepsItsDefaultsAndTouchesNothing) {
    for (const std::string& file : {GetSettingsDBFileName(), GetActivityDBFileName()}) {
        if (GetParam() == 0) {
            test::WriteFileText(file, std::string(3000, 'x'));
        } else {
            // A truncated file: the header survives, the pages it names do not.
            const std::string text = test::ReadFileText(file);
            test::WriteFileText(file, text.substr(0, 100));
        }
    }
    const std::string settingsBefore = test::ReadFileText(GetSettingsDBFileName());
    const std::string logBefore = test::ReadFileText(GetActivityDBFileName());
    auto filesBefore = std::distance(fs::directory_iterator(dir_.Path()), {});
    {
        TOptions o;
        EXPECT_EQ(o.TimeLimitSeconds, 28800);
        EXPECT_EQ(o.MonitoredList().Count(), 0);
        AddItem(o, mitApplication, "/bin/a", "A");
        o.SetReminder(rtMorning, "x");
        o.Save();
        o.PurgeLog();
    }
    EXPECT_EQ(test::ReadFileText(GetSettingsDBFileName()), settingsBefore);
    EXPECT_EQ(test::ReadFileText(GetActivityDBFileName()), logBefore);
    const std::string log = LogText();
    EXPECT_NE(log.find("ErrorClassName: ESQLiteException; TOptions.SettingsDBGetTable:"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("TOptions.Load: settings could not be read; it is left as stored until it "
                       "is read"),
              std::string::npos);
    EXPECT_NE(log.find("TOptions.Save: applications_list is left as stored, since it could not "
                       "be read"),
              std::string::npos);
    EXPECT_NE(log.find("ErrorClassName: ESQLiteException; TOptions.LogDBExecSQL: "),
              std::string::npos);
    // Only the diagnostic log is new: no journal or other file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), {}), filesBefore + 1);
}

}  // namespace
}  // namespace tw
