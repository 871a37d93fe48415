#include "storage/HourSums.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "ReferenceTotalsQueries.h"
#include "base/Paths.h"
#include "storage/ActivityLogger.h"
#include "storage/SQLiteTable3.h"
#include "support/ManualClock.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

// The activity database as the program's template made it before the hour sums.
const char* const kActivitySchemaBeforeHourSums =
    "CREATE TABLE applications (date_created TEXT, app_name TEXT, browser_url TEXT, app_type "
    "TEXT, duration INTEGER, origin INTEGER);"
    "CREATE INDEX applications_date_created ON applications(date_created);"
    "CREATE INDEX applications_app_name ON applications(app_name, origin, date_created, "
    "duration);"
    "CREATE TABLE applications_list (name TEXT, caption TEXT, active INTEGER);"
    "CREATE TABLE websites_list (name TEXT, caption TEXT, active INTEGER);";

// Rows over five weeks at every minute of some hours, at hour boundaries,
// undated, and of an unlisted program; the lists with a site contained in
// another.
const char* const kActivity =
    "INSERT INTO applications_list VALUES('/bin/a', 'A', 1), ('/bin/b', 'B', 1);"
    "INSERT INTO websites_list VALUES('example.org', 'E', 1), ('mail.example.org', 'M', 1);"
    "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 2999) "
    "INSERT INTO applications SELECT strftime('%Y-%m-%d %H:%M:%S', '2026-12-07 12:00:00', "
    "'-' || (i * 1013 % 3000000) || ' seconds'), CASE i % 3 WHEN 0 THEN '/bin/a' WHEN 1 THEN "
    "'/bin/b' ELSE '/bin/browser' END, CASE i % 3 WHEN 2 THEN CASE i % 2 WHEN 0 THEN "
    "'https://mail.example.org/' ELSE 'example.org/x' END ELSE '' END, 'x', 1 + i % 7, CASE i % "
    "3 WHEN 2 THEN 2 ELSE 1 END FROM n;"
    "INSERT INTO applications VALUES('2026-12-07 11:00:00', '/bin/a', '', 'x', 100, 1), "
    "('2026-12-07 10:59:59', '/bin/a', '', 'x', 200, 1), (NULL, '/bin/b', '', 'x', 400, 1), "
    "(NULL, '/bin/browser', 'example.org', 'x', 800, 2), "
    "('2026-12-07 11:30:00', '/bin/unlisted', '', 'x', 1600, 1);";

TDateTime Moment(int day, int hour, int minute, int second = 0) {
    return EncodeDate(2026, 12, day) + EncodeTime(hour, minute, second);
}

using Totals = std::map<std::string, int64_t>;

class HourSumsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        clock_.Install();
    }
    void TearDown() override { DistrustHourSums(false); }

    static void Exec(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(GetActivityDBFileName().c_str(), &db), SQLITE_OK);
        char* error = nullptr;
        const int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
        const std::string message = error ? error : "";
        sqlite3_free(error);
        sqlite3_close(db);
        ASSERT_EQ(rc, SQLITE_OK) << message << " in " << sql;
    }

    static size_t LogLines() {
        const std::string log = test::ReadFileText(LogFilePath());
        size_t lines = 0;
        for (size_t at = log.find("PrepareHourSums"); at != std::string::npos;
             at = log.find("PrepareHourSums", at + 1)) {
            ++lines;
        }
        return lines;
    }

    // Both lists' totals of a range as the reference queries give them.
    static Totals ReferenceTotals(TDateTime from, TDateTime to) {
        TSQLiteDatabase db(GetActivityDBFileName());
        Totals totals;
        const std::string f = FormatDateTimeText(from), t = FormatDateTimeText(to);
        for (const std::string& sql :
             {test::ReferenceApplicationTotalsSQL(f, t), test::ReferenceWebSiteTotalsSQL(f, t)}) {
            for (auto table = db.GetTable(sql); !table->AtEnd(); table->Next()) {
                totals[table->AsText("name")] = table->AsInteger("total_duration");
            }
        }
        return totals;
    }

    static Totals Loaded(const TMonitoredList& list) {
        Totals totals;
        for (int i = 0; i < list.Count(); ++i) {
            totals[list.Items(i)->Name] = list.Items(i)->Duration;
        }
        return totals;
    }

    // The program's totals of the day and of periods starting on and inside
    // hours, against the reference.
    static void ExpectReferenceTotals() {
        const TDateTime now = AppNow();
        TOnlineTimeApplicationLogger logger;
        EXPECT_EQ(Loaded(logger.DayItems()), ReferenceTotals(AppDayStart(), now)) << "day";
        for (const TDateTime from : {now - 90, now - 7, now - 1, Moment(7, 4, 0), now - 0.3}) {
            logger.LoadPeriod(false, now, from);
            EXPECT_EQ(Loaded(logger.PeriodItems()), ReferenceTotals(from, now))
                << FormatDateTimeText(from);
        }
    }

    static bool SumsInUse() {
        TSQLiteDatabase db(GetActivityDBFileName());
        return UseHourSums(db);
    }

    test::TempDir dir_;
    test::ManualClock clock_{Moment(7, 12, 0)};
};

struct StartCase {
    const char* what;
    bool beforeHourSums;  // the activity file from before the sums, else the template's
    std::string change;   // run on the activity file after the rows
    THourSumsStart first;
};

void PrintTo(const StartCase& c, std::ostream* out) {
    *out << c.what;
}

class HourSumsStart : public HourSumsTest, public ::testing::WithParamInterface<StartCase> {};

// Start-up finds the sums as created, or rebuilds them with one log line;
// either way the totals are the reference's, and the next start finds them
// sound and logs nothing.
TEST_P(HourSumsStart, SumsAreTrustedOrRebuiltOnce) {
    const StartCase& c = GetParam();
    if (c.beforeHourSums) {
        std::remove(GetActivityDBFileName().c_str());
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(GetActivityDBFileName().c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, kActivitySchemaBeforeHourSums, nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    CopyDatabaseTemplates();
    Exec(kActivity);
    Exec(c.change);
    const size_t linesBefore = LogLines();

    EXPECT_EQ(PrepareHourSums(), c.first);
    const bool rebuilt = c.first == THourSumsStart::Built;
    EXPECT_EQ(LogLines(), linesBefore + (rebuilt ? 1 : 0)) << test::ReadFileText(LogFilePath());
    EXPECT_TRUE(SumsInUse());
    ExpectReferenceTotals();

    // Ticks and a purge after the start keep them in step.
    Exec(
        "INSERT INTO applications VALUES('2026-12-07 11:59:00', '/bin/b', '', 'x', 9, 1);"
        "UPDATE applications SET duration = duration + 1 WHERE rowid % 5 = 0;"
        "DELETE FROM applications WHERE date_created < '2026-11-20';");
    EXPECT_EQ(PrepareHourSums(), THourSumsStart::Sound);
    EXPECT_EQ(LogLines(), linesBefore + (rebuilt ? 1 : 0));
    ExpectReferenceTotals();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HourSumsStart,
    ::testing::Values(
        StartCase{"a data folder from before the sums", true, "", THourSumsStart::Built},
        StartCase{"the template's sums", false, "", THourSumsStart::Sound},
        StartCase{
            "rows written without the triggers", false,
            "DROP TRIGGER applications_hours_insert;"
            "INSERT INTO applications VALUES('2026-12-06 09:00:00', '/bin/a', '', 'x', 5, 1);" +
                HourSumsSchema().at(3),
            THourSumsStart::Built},
        StartCase{"the latest sum changed", false,
                  "UPDATE applications_hours SET duration = duration + 5 WHERE hour = (SELECT "
                  "max(hour) FROM applications_hours);",
                  THourSumsStart::Built},
        StartCase{"rows deleted from the sums", false,
                  "DELETE FROM applications_hours WHERE rowid % 2 = 0;", THourSumsStart::Built},
        StartCase{"an index missing", false, "DROP INDEX applications_hours_app_name;",
                  THourSumsStart::Built},
        StartCase{"a trigger missing", false, "DROP TRIGGER applications_hours_update;",
                  THourSumsStart::Built},
        StartCase{"a table of another layout", false,
                  "DROP TABLE applications_hours; CREATE TABLE applications_hours(hour TEXT, "
                  "duration INTEGER);",
                  THourSumsStart::Built},
        StartCase{"a trigger added on the sums", false,
                  "CREATE TRIGGER more AFTER INSERT ON applications_hours BEGIN UPDATE "
                  "applications_hours SET duration = duration * 2; END;",
                  THourSumsStart::Built}),
    [](const ::testing::TestParamInfo<StartCase>& param) {
        return test::CaseName(param.param.what);
    });

// Sums that do not add up and cannot be rebuilt (another program holds the
// write lock past the wait) are not read: the totals come from the rows until
// a later start rebuilds them.
TEST_F(HourSumsTest, SumsThatCannotBeRebuiltAreNotRead) {
    CopyDatabaseTemplates();
    Exec(kActivity);
    Exec("UPDATE applications_hours SET duration = duration + 1000;");
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(GetActivityDBFileName().c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const THourSumsStart start = PrepareHourSums();
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
    EXPECT_EQ(start, THourSumsStart::Unavailable);
    EXPECT_FALSE(SumsInUse());
    ExpectReferenceTotals();
    EXPECT_EQ(PrepareHourSums(), THourSumsStart::Built);
    EXPECT_TRUE(SumsInUse());
    ExpectReferenceTotals();
}

}  // namespace
}  // namespace tw
