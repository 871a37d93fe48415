#include "storage/ActivityLogger.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <deque>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "storage/SQLiteTable3.h"
#include "support/ManualClock.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

class FakeSource final : public TActivitySource {
public:
    FakeSource(std::string app, std::string url, const char* type = "Desktop Application")
        : app_(std::move(app)), url_(std::move(url)), type_(type) {}
    const std::string& AppName() const override { return app_; }
    const std::string& BrowserUrl() const override { return url_; }
    const char* GetAppTypeName() const override { return type_; }

private:
    std::string app_, url_;
    const char* type_;
};

TDateTime At(int day, int hour, int minute, int second = 0) {
    return EncodeDate(2026, 12, day) + EncodeTime(hour, minute, second);
}

class ActivityLoggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({TW_BUILD_BIN_DIR, "tallyward", dir_.Path()});
        CopyDatabaseTemplates();
        clock_.Install();
    }

    static void Exec(const std::string& sql) {
        TSQLiteDatabase db(GetActivityDBFileName());
        db.ExecSQL(sql);
    }
    static void ListApp(const std::string& name, const std::string& caption) {
        Exec("INSERT INTO applications_list VALUES('" + name + "', '" + caption + "', 1)");
    }
    static void ListSite(const std::string& name, const std::string& caption) {
        Exec("INSERT INTO websites_list VALUES('" + name + "', '" + caption + "', 1)");
    }
    static void Activity(const std::string& date, const std::string& app, const std::string& url,
                         int duration, int origin) {
        Exec("INSERT INTO applications VALUES('" + date + "', '" + app + "', '" + url +
             "', 'Google Chrome', " + std::to_string(duration) + ", " + std::to_string(origin) +
             ")");
    }
    static std::vector<std::string> Rows(const std::string& sql) {
        TSQLiteDatabase db(GetActivityDBFileName());
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
    // name -> duration of a loaded list.
    static std::map<std::string, int32_t> Durations(const TMonitoredList& list) {
        std::map<std::string, int32_t> result;
        for (int i = 0; i < list.Count(); ++i) {
            EXPECT_EQ(result.count(list.Items(i)->Name), 0u) << list.Items(i)->Name;
            result[list.Items(i)->Name] = list.Items(i)->Duration;
        }
        return result;
    }

    // A probe result that lives as long as the test.
    const TActivitySource* Source(const std::string& app, const std::string& url,
                                  const char* type = "Desktop Application") {
        return &sources_.emplace_back(app, url, type);
    }

    test::TempDir dir_;
    test::ManualClock clock_{At(7, 12, 0)};
    std::deque<FakeSource> sources_;
};

TEST_F(ActivityLoggerTest, LogWritesOneRowPerMatchedTick) {
    ListApp("/usr/bin/game", "Game");
    ListSite("example.com", "Example");
    // A NUL byte in a name must not end the statement's text inside its literal.
    const std::string nul("/opt/n\0l", 8);
    Exec("INSERT INTO applications_list VALUES('/opt/n' || char(0) || 'l', 'Nul', 1)");
    TOnlineTimeApplicationLogger logger;
    clock_.Advance(3);
    logger.Log(Source("/usr/bin/game", ""), 3);
    logger.Log(Source("/usr/bin/chrome", "it's.example.com/a", "Google Chrome"), 5);
    logger.Log(Source("/usr/bin/other", ""), 7);  // on no list: dropped
    logger.Log(Source(nul, ""), 2);
    EXPECT_EQ(logger.Total(), 10);
    EXPECT_EQ(Durations(logger.DayItems()),
              (std::map<std::string, int32_t>{{"/usr/bin/game", 3}, {"example.com", 5}, {nul, 2}}));
    EXPECT_EQ(Rows("SELECT * FROM applications ORDER BY rowid"),
              (std::vector<std::string>{
                  "2026-12-07 12:00:03|/usr/bin/game||Desktop Application|3|1",
                  "2026-12-07 12:00:03|/usr/bin/chrome|it's.example.com/a|Google Chrome|5|2",
                  "2026-12-07 12:00:03|" + nul + "||Desktop Application|2|1"}));
    // A new logger for the same day starts from what was written.
    TOnlineTimeApplicationLogger again;
    EXPECT_EQ(again.Total(), 10);
}

TEST_F(ActivityLoggerTest, TickOnAnEntryMissingFromTheDayListIsNotCounted) {
    TOnlineTimeApplicationLogger logger;
    ListApp("/usr/bin/game", "Game");  // listed after the day list was loaded
    logger.Log(Source("/usr/bin/game", ""), 3);
    EXPECT_EQ(logger.Total(), 0);
    EXPECT_TRUE(Rows("SELECT * FROM applications").empty());
    EXPECT_THROW(logger.Log(nullptr, 3), EAssertionFailed);
}

struct DayRangeCase {
    TDateTime now;
    std::vector<std::string> counted, notCounted;
};

void PrintTo(const DayRangeCase& c, std::ostream* out) {
    *out << "counted " << ::testing::PrintToString(c.counted) << ", not counted "
         << ::testing::PrintToString(c.notCounted);
}
class DayRange : public ActivityLoggerTest, public ::testing::WithParamInterface<DayRangeCase> {};
INSTANTIATE_TEST_SUITE_P(
    Edges, DayRange,
    ::testing::Values(DayRangeCase{At(7, 3, 59),
                                   {"2026-12-06 04:00:00", "2026-12-07 03:59:00"},
                                   {"2026-12-06 03:59:59", "2026-12-07 03:59:01"}},
                      DayRangeCase{
                          At(7, 4, 0),
                          {"2026-12-07 04:00:00"},
                          {"2026-12-07 03:59:59", "2026-12-06 04:00:00", "2026-12-07 04:00:01"}}),
    [](const auto& tp) { return std::string(tp.index == 0 ? "At0359" : "At0400"); });

TEST_P(DayRange, RunsFromFourToFour) {
    test::ManualClock clock(GetParam().now);
    clock.Install();
    ListApp("/bin/a", "A");
    int expected = 0;
    for (const std::string& date : GetParam().counted) {
        Activity(date, "/bin/a", "", 10, 1);
        expected += 10;
    }
    for (const std::string& date : GetParam().notCounted) {
        Activity(date, "/bin/a", "", 1000, 1);
    }
    TOnlineTimeApplicationLogger logger;
    EXPECT_EQ(logger.Total(), expected);
}

TEST_F(ActivityLoggerTest, TotalsFollowTheMatchingRules) {
    ListSite("example.com", "Example");
    ListSite("mail.example.com", "Mail");
    ListSite("a_c.org", "Wildcard");
    ListApp("/usr/bin/chrome", "Chrome");
    ListApp("/usr/bin/game", "Game");
    ListApp("/usr/bin/game", "Game again");  // one row per name
    ListSite("idle.org", "Idle");
    Activity("2026-12-07 09:00:00", "/usr/bin/chrome", "https://mail.example.com/inbox", 30, 2);
    Activity("2026-12-07 09:00:03", "/usr/bin/chrome", "abc.org/x", 7, 2);
    Activity("2026-12-07 09:00:06", "/usr/bin/chrome", "", 5, 1);
    Activity("2026-12-07 09:00:09", "/usr/bin/game", "", 11, 1);
    TOnlineTimeApplicationLogger logger;
    const auto durations = Durations(logger.DayItems());
    EXPECT_EQ(durations.at("example.com"), 30);        // contains the address's host
    EXPECT_EQ(durations.at("mail.example.com"), 30);   // and so does the longer entry
    EXPECT_EQ(durations.at("a_c.org"), 7);             // "_" stands for any character
    EXPECT_EQ(durations.at("/usr/bin/chrome"), 5);     // origin 2 rows are the sites'
    EXPECT_EQ(durations.at("/usr/bin/game"), 2 * 11);  // listed twice, counted twice
    EXPECT_EQ(durations.at("idle.org"), 0);
    EXPECT_EQ(logger.DayItems().Count(), 6);
    const TMonitoredItem* idle = logger.DayItems().Items(logger.DayItems().IndexOfName("idle.org"));
    EXPECT_EQ(idle->ItemType, mitWebSite);
    EXPECT_EQ(idle->Caption, "Idle");
    EXPECT_TRUE(idle->Active);
    EXPECT_EQ(logger.Total(), 30 + 30 + 7 + 5 + 22);
}

TEST_F(ActivityLoggerTest, PeriodLoadsInclusiveRangesWithoutTouchingTheTotal) {
    ListApp("/bin/a", "A");
    Activity("2026-11-30 04:00:00", "/bin/a", "", 1, 1);
    Activity("2026-12-02 12:00:00", "/bin/a", "", 10, 1);
    Activity("2026-12-07 04:00:00", "/bin/a", "", 100, 1);
    Activity("2026-12-07 04:00:01", "/bin/a", "", 1000, 1);
    TOnlineTimeApplicationLogger logger;
    EXPECT_EQ(logger.Total(), 1100);
    logger.LoadPeriod(false, At(7, 4, 0), EncodeDate(2026, 11, 30) + kDayStartOffset);
    EXPECT_EQ(Durations(logger.PeriodItems()), (std::map<std::string, int32_t>{{"/bin/a", 111}}));
    EXPECT_EQ(logger.Total(), 1100);
    logger.LoadPeriod(true, At(7, 12, 0), At(7, 4, 0, 1));
    EXPECT_EQ(logger.PeriodItems().Count(), 1);  // replaced, not appended
    EXPECT_EQ(logger.Total(), 2100);
}

TEST_F(ActivityLoggerTest, FailedLoadLeavesTheListAsItWas) {
    ListApp("/bin/a", "A");
    TOnlineTimeApplicationLogger logger;
    TMonitoredList list;
    logger.MonitoredItemsLoad(&list, "SELECT caption, active, name FROM applications_list", true,
                              mitApplication);
    logger.MonitoredItemsLoad(&list, "SELECT * FROM nowhere", true, mitApplication);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(logger.Total(), 0);
    const std::string log = test::ReadFileText(LogFilePath());
    EXPECT_NE(log.find("ErrorClassName: ESQLiteException; TOnlineTimeApplicationLogger."
                       "MonitoredItemsLoad: Field not found in dataset: total_duration"),
              std::string::npos)
        << log;
    EXPECT_THROW(logger.MonitoredItemsLoad(nullptr, "SELECT 1", false, mitAll), EAssertionFailed);
}

TEST_F(ActivityLoggerTest, FailedInsertGrowsTheEntryButNotTheTotal) {
    ListApp("/bin/a", "A");
    TOnlineTimeApplicationLogger logger;
    Exec(
        "CREATE TRIGGER full BEFORE INSERT ON applications BEGIN SELECT RAISE(ABORT, 'disk full'); "
        "END");
    logger.Log(Source("/bin/a", ""), 3);
    EXPECT_EQ(logger.DayItems().Items(0)->Duration, 3);
    EXPECT_EQ(logger.Total(), 0);
    EXPECT_NE(test::ReadFileText(LogFilePath())
                  .find("ErrorClassName: ESQLiteException; TOnlineTimeApplicationLogger.Log: "),
              std::string::npos);
}

// Another program reading the file (a backup, the sqlite3 shell) holds a
// shared lock for a moment: the tick waits for it instead of being lost.
TEST_F(ActivityLoggerTest, TickWaitsForAnotherReader) {
    ListApp("/bin/a", "A");
    TOnlineTimeApplicationLogger logger;
    sqlite3* reader = nullptr;
    ASSERT_EQ(sqlite3_open(GetActivityDBFileName().c_str(), &reader), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT COUNT(*) FROM applications;", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    std::thread release([reader] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
    });
    logger.Log(Source("/bin/a", ""), 3);
    release.join();
    sqlite3_close(reader);
    EXPECT_EQ(logger.Total(), 3);
    EXPECT_EQ(Rows("SELECT duration FROM applications"), std::vector<std::string>{"3"});
}

TEST_F(ActivityLoggerTest, DeleteActionsApplyToTheDayList) {
    ListApp("/bin/a", "A");
    ListSite("b.org", "B");
    TOnlineTimeApplicationLogger logger;
    TMonitoredItem item;
    item.Name = "B.org";
    logger.ApplyDeleteAction(&item, 0);
    EXPECT_TRUE(logger.DayItems().Items(logger.DayItems().IndexOfName("b.org"))->Active);
    logger.ApplyDeleteAction(&item, 1);
    EXPECT_FALSE(logger.DayItems().Items(logger.DayItems().IndexOfName("b.org"))->Active);
    item.Name = "/bin/a";
    logger.ApplyDeleteAction(&item, 2);
    EXPECT_EQ(logger.DayItems().IndexOfName("/bin/a"), -1);
    item.Name = "/not/listed";
    logger.ApplyDeleteAction(&item, 2);
    EXPECT_EQ(logger.DayItems().Count(), 1);
    EXPECT_THROW(logger.ApplyDeleteAction(nullptr, 0), EAssertionFailed);
}

TEST_F(ActivityLoggerTest, DamagedDatabaseLogsAndCountsNothing) {
    test::WriteFileText(GetActivityDBFileName(), std::string(5000, '\x01'));
    TOnlineTimeApplicationLogger logger;
    EXPECT_EQ(logger.DayItems().Count(), 0);
    EXPECT_EQ(logger.Total(), 0);
    EXPECT_NE(test::ReadFileText(LogFilePath()).find("file is not a database"), std::string::npos);
}

}  // namespace
}  // namespace tw
