#include "storage/Options.h"

#include <gtest/gtest.h>

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
        "'eight hours'), ('ReminderShowedDateTime', '46000.5'), ('ScanPeriodSeconds', '7'), "
        "('ResetDateTime', '2026-13-01')");
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
    std::map<std::string, std::vector<int>> batches;  // file -> rows per INSERT
    {
        TOptions o;
        for (int i = 0; i < 31; ++i) {
            AddItem(o, mitApplication, "/opt/app" + std::to_string(i),
                    "App " + std::to_string(100 + i));
        }
        AddItem(o, mitWebSite, "example.com", "Example");
        SetSQLiteStatementHook([&](const std::string& file, const std::string& sql) {
            if (sql.rfind("INSERT INTO applications_list", 0) == 0) {
                int rows = 1;
                for (size_t at = 0; (at = sql.find("\r\nUNION ALL\r\n", at)) != std::string::npos;
                     ++at) {
                    ++rows;
                }
                batches[fs::path(file).filename().string()].push_back(rows);
            }
        });
        o.Save();
        SetSQLiteStatementHook(nullptr);
    }
    const std::vector<int> expected{15, 15, 1};
    EXPECT_EQ(batches["settings.sqlite"], expected);
    EXPECT_EQ(batches["actmondb.sqlite"], expected);
    const auto settingsRows =
        Rows(GetSettingsDBFileName(), "SELECT * FROM applications_list ORDER BY rowid");
    EXPECT_EQ(settingsRows.size(), 31u);
    EXPECT_EQ(settingsRows,
              Rows(GetActivityDBFileName(), "SELECT * FROM applications_list ORDER BY rowid"));
}

struct FailingTable {
    bool activityDB;
    const char* table;
};

void PrintTo(const FailingTable& t, std::ostream* out) {
    *out << (t.activityDB ? "actmondb." : "settings.") << t.table;
}
class FailedInsertKeepsRows : public OptionsTest,
                              public ::testing::WithParamInterface<FailingTable> {};
INSTANTIATE_TEST_SUITE_P(
    Tables, FailedInsertKeepsRows,
    ::testing::Values(FailingTable{false, "settings"}, FailingTable{false, "reminders"},
                      FailingTable{false, "applications_list"},
                      FailingTable{true, "applications_list"}, FailingTable{true, "websites_list"}),
    [](const auto& tp) {
        return std::string(tp.param.activityDB ? "actmondb_" : "settings_") + tp.param.table;
    });

// A save whose insert fails (disk full, a locked file) must leave the rows
// of the previous save, not an empty table.
TEST_P(FailedInsertKeepsRows, PreviousRowsSurvive) {
    {
        TOptions o;
        o.TimeLimitSeconds = 1234;
        o.SetReminder(rtMorning, "first");
        AddItem(o, mitApplication, "/bin/old", "Old");
        AddItem(o, mitWebSite, "old.org", "Old site");
    }
    const std::string file =
        GetParam().activityDB ? GetActivityDBFileName() : GetSettingsDBFileName();
    const std::string table = GetParam().table;
    const std::string query = "SELECT * FROM " + table + " ORDER BY rowid";
    const auto before = Rows(file, query);
    ASSERT_FALSE(before.empty());
    Exec(file, "CREATE TRIGGER fail BEFORE INSERT ON " + table +
                   " BEGIN SELECT RAISE(ABORT, 'disk is full'); END");
    {
        TOptions o;
        o.TimeLimitSeconds = 99;
        o.SetReminder(rtMorning, "second");
        AddItem(o, mitApplication, "/bin/new", "New");
        AddItem(o, mitWebSite, "new.org", "New site");
    }
    EXPECT_EQ(Rows(file, query), before);
    EXPECT_NE(LogText().find("disk is full"), std::string::npos);
    // The other tables took the new rows.
    if (table != "settings") {
        EXPECT_EQ(StoredSettings().at("TimeLimitSeconds"), "99");
    }
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
    o.SetExpirationAction(eaCloseBrowserApp);
    o.SetExpirationAction(eaShutdownComputer);
    EXPECT_EQ(o.ExpirationAction, eaCloseBrowserApp);
    o.ApplyPendingChanges();
    EXPECT_EQ(o.ExpirationAction, eaShutdownComputer);
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

// A list table whose "active" column is not an integer column cannot be
// read; that must not leave the constructor, or the program never starts.
TEST_F(OptionsTest, UnreadableListTableIsReportedAndTheRestLoads) {
    ExecSettings("DROP TABLE applications_list");
    ExecSettings("CREATE TABLE applications_list(name TEXT, caption TEXT, active VARCHAR(1))");
    ExecSettings("INSERT INTO applications_list VALUES('/bin/a', 'A', '1')");
    ExecSettings("INSERT INTO websites_list VALUES('b.org', 'B', 1)");
    ExecSettings("INSERT INTO settings VALUES('TimeLimitSeconds', '60')");
    std::unique_ptr<TOptions> o;
    ASSERT_NO_THROW(o = std::make_unique<TOptions>());
    EXPECT_EQ(o->TimeLimitSeconds, 60);
    EXPECT_EQ(o->MonitoredList().IndexOfName("b.org"), 0);
    EXPECT_NE(LogText().find("; TOptions.LoadMonitoredItems: Not an integer or numeric field"),
              std::string::npos);
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
    EXPECT_NE(log.find("ErrorClassName: ESQLiteException; TOptions.SettingsDBExecSQL:"),
              std::string::npos);
    EXPECT_NE(log.find("ErrorClassName: ESQLiteException; TOptions.LogDBExecSQL: "),
              std::string::npos);
    // Only the diagnostic log is new: no journal or other file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.Path()), {}), filesBefore + 1);
}

}  // namespace
}  // namespace tw
