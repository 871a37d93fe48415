// Usage totals on a heavy user's 90-day activity table: for every period of
// the report and the usage page, the original totals queries against the
// program's row queries (old) and its hour-sum queries (new); the cost of one
// logged tick with and without the sums' triggers, of the start-up check and
// one-time build of the sums, and of the start-up purge, all in one run.
//
//   totals_bench [--reference-runs N] [--program-runs N] [--keep DIR] [--check-report PATH]
//   totals_bench --small --check-report PATH
//
// --keep DIR         build the data folder in DIR and leave it there
// --check-report P   also run the report program P on the table for "day" and
//                    "Last 3 months" and compare its totals with the reference queries
//                    of tests/storage/ReferenceTotalsQueries.h
// --small            no timings: a small table with rows at the day's edges, the
//                    report checked for every period and on broken data folders
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/storage/ReferenceTotalsQueries.h"
#include "ActivityDataGenerator.h"
#include "BenchSupport.h"
#include "ReportCheck.h"
#include "base/AppClock.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "storage/ActivityLogger.h"
#include "storage/HourSums.h"
#include "storage/Options.h"
#include "storage/SQLiteTable3.h"
#include "storage/TotalsQueries.h"

namespace tw::bench {
namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of this process: the queries run in it, so this does not
// count what other programs take of the machine meanwhile.
double CpuMilliseconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// As the program reads a totals query: open the file, fetch every row, close.
Totals RunTotals(const std::string& file, const std::string& sql) {
    sqlite3* db = OpenDatabase(file);
    Totals totals;
    try {
        totals = QueryTotals(db, sql);
    } catch (...) {
        sqlite3_close(db);
        throw;
    }
    sqlite3_close(db);
    return totals;
}

struct Timing {
    double milliseconds = 0;     // median wall time
    double cpuMilliseconds = 0;  // median processor time
    Totals totals;
};

Timing Measure(int runs, const std::function<Totals()>& run) {
    std::vector<double> times, cpuTimes;
    Timing timing;
    for (int i = 0; i < runs; ++i) {
        const double cpuStart = CpuMilliseconds();
        const auto start = Clock::now();
        timing.totals = run();
        times.push_back(MillisecondsSince(start));
        cpuTimes.push_back(CpuMilliseconds() - cpuStart);
    }
    timing.milliseconds = Median(times);
    timing.cpuMilliseconds = Median(cpuTimes);
    return timing;
}

// The application clock started at a fixed moment, read as universal time.
class FixedWallClock final : public WallClock {
public:
    explicit FixedWallClock(TDateTime moment) : utcSeconds_(DateTimeToUnix(moment)) {}
    double UtcSeconds() override { return utcSeconds_; }

private:
    double utcSeconds_;
};

// A foreground program on the list, as the probe reports it.
class ListedProgram final : public TActivitySource {
public:
    explicit ListedProgram(std::string path) : path_(std::move(path)) {}
    const std::string& AppName() const override { return path_; }
    const std::string& BrowserUrl() const override { return url_; }
    const char* GetAppTypeName() const override { return "Desktop Application"; }

private:
    std::string path_;
    std::string url_;
};

int64_t CountRows(const std::string& file) {
    sqlite3* db = OpenDatabase(file);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM applications", -1, &stmt, nullptr);
    int64_t count = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW) {
        count = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return count;
}

struct BenchOptions {
    int referenceRuns = 1;
    int programRuns = 15;
    std::string keepFolder;
    std::string reportProgram;
    bool small = false;
};

BenchOptions ParseArguments(int argc, char** argv) {
    BenchOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--reference-runs" && hasValue) {
            options.referenceRuns = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--program-runs" && hasValue) {
            options.programRuns = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--keep" && hasValue) {
            options.keepFolder = argv[++i];
        } else if (arg == "--small") {
            options.small = true;
        } else if (arg == "--check-report" && hasValue) {
            options.reportProgram = argv[++i];
        } else {
            throw std::invalid_argument("unknown argument " + arg);
        }
    }
    return options;
}

std::string MakeFolder(const BenchOptions& options) {
    if (!options.keepFolder.empty()) {
        std::string folder = options.keepFolder;
        if (folder.back() != '/') {
            folder += '/';
        }
        std::filesystem::remove_all(folder);
        return folder;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tallyward-bench-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern + "/";
}

void PrintRow(const char* what, const Timing& reference, const Timing& program) {
    std::printf("%-28s %10.1f %10.1f %10.2f %10.2f %9.0fx   %s\n", what, reference.milliseconds,
                reference.cpuMilliseconds, program.milliseconds, program.cpuMilliseconds,
                reference.milliseconds / program.milliseconds,
                reference.totals == program.totals ? "same" : "DIFFERENT");
}

// A few days of a light user whose ticks straddle 04:00, plus an undated row
// and one of an unlisted program, for checking the report in every period.
int RunSmall(const BenchOptions& options) {
    if (options.reportProgram.empty()) {
        throw std::invalid_argument("--small needs --check-report");
    }
    const std::string folder = MakeFolder(options);
    ActivityProfile profile;
    profile.days = 40;
    profile.end = EncodeDate(2026, 3, 31);
    profile.firstTickSecondOfDay = 4 * 3600 - 6;  // 03:59:54
    profile.secondsPerDay = 2 * 3600;
    profile.ticksPerSession = 7;
    profile.applications = 4;
    profile.sites = 6;
    const auto list = MakeList(profile.applications, profile.sites);
    CreateDataFolder(folder + "data/", ProgramFolderOfThis(), profile, list);
    sqlite3* db = OpenDatabase(folder + "data/actmondb.sqlite");
    Exec(db,
         "INSERT INTO applications VALUES(NULL, '/usr/lib/firefox/firefox', "
         "'https://SITE01.example.org/x', 'Mozila FireFox', 7, 2), "
         "('2026-03-31 04:10:00', '/usr/bin/unlisted', '', 'Desktop Application', 11, 1)");
    sqlite3_close(db);
    // Between two ticks, so a clock a second late or early sees the same rows.
    const TDateTime now = profile.end + EncodeTime(5, 0, 1);
    // Before 04:00 "day" still runs from yesterday's 04:00, while "Today" starts
    // in the future and only the undated row counts.
    const TDateTime beforeFour = profile.end + EncodeTime(3, 59, 58);
    bool ok = CheckReport(options.reportProgram, folder + "data/", now,
                          {"day", "Today", "Last 24 Hours", "Last 7 Days", "Last 14 Days",
                           "Last 30 Days", "Last 3 months"});
    ok = CheckReport(options.reportProgram, folder + "data/", beforeFour, {"day", "Today"}) && ok;
    ok = CheckReportFailures(options.reportProgram, folder, ProgramFolderOfThis()) && ok;
    if (options.keepFolder.empty()) {
        std::filesystem::remove_all(folder);
    }
    return ok ? 0 : 1;
}

int Run(const BenchOptions& options) {
    if (options.small) {
        return RunSmall(options);
    }
    const std::string folder = MakeFolder(options);
    const std::string activity = folder + "actmondb.sqlite";

    ActivityProfile profile;
    profile.end = EncodeDate(2026, 3, 31);
    const TDateTime now = profile.end + EncodeTime(20, 0, 0);
    const auto list = MakeList(profile.applications, profile.sites);

    auto start = Clock::now();
    CreateDataFolder(folder, ProgramFolderOfThis(), profile, list);
    const double generation = MillisecondsSince(start);
    std::printf("data folder %s\n", folder.c_str());
    std::printf(
        "generated %lld activity rows (%d days x %lld ticks, %d applications, %d sites) "
        "in %.1f s\n\n",
        static_cast<long long>(CountRows(activity)), profile.days,
        static_cast<long long>(TicksPerDay(profile)), profile.applications, profile.sites,
        generation / 1000);

    const std::string to = FormatDateTimeText(now);

    // The ranges the report and the usage page ask for at `now` (20:00).
    struct Period {
        const char* what;
        TDateTime from;
    };
    const std::vector<Period> periods = {{"day", profile.end + kDayStartOffset},
                                         {"Today", profile.end + kDayStartOffset},
                                         {"Last 24 Hours", now - 1},
                                         {"Last 7 Days", now - 7},
                                         {"Last 14 Days", now - 14},
                                         {"Last 30 Days", now - 30},
                                         {"Last 3 months", now - 90}};
    std::printf("both totals queries (web sites and applications), median ms\n");
    std::printf("%-16s %10s %10s %10s %10s %10s %9s   %s\n", "period", "original", "old wall",
                "old cpu", "new wall", "new cpu", "old/new", "result");
    bool same = true;
    for (const auto& period : periods) {
        const std::string from = FormatDateTimeText(period.from);
        const auto both = [&](const std::string& sites, const std::string& apps) {
            Totals totals = RunTotals(activity, sites);
            totals.merge(RunTotals(activity, apps));
            return totals;
        };
        const Timing r = Measure(options.referenceRuns, [&] {
            return both(test::ReferenceWebSiteTotalsSQL(from, to),
                        test::ReferenceApplicationTotalsSQL(from, to));
        });
        const Timing o = Measure(options.programRuns, [&] {
            return both(WebSiteTotalsSQL(from, to), ApplicationTotalsSQL(from, to));
        });
        const Timing n = Measure(options.programRuns, [&] {
            return both(WebSiteHourTotalsSQL(from, to), ApplicationHourTotalsSQL(from, to));
        });
        const bool ok = r.totals == o.totals && r.totals == n.totals;
        std::printf("%-16s %10.1f %10.2f %10.2f %10.2f %10.2f %8.0fx   %s\n", period.what,
                    r.milliseconds, o.milliseconds, o.cpuMilliseconds, n.milliseconds,
                    n.cpuMilliseconds, o.milliseconds / n.milliseconds,
                    ok ? "same" : (r.totals == o.totals ? "new DIFFERENT" : "DIFFERENT"));
        same = same && ok;
    }
    std::printf("\n%-28s %21s %21s\n", "", "original", "new");
    std::printf("%-28s %10s %10s %10s %10s %10s   %s\n", "one totals query (median ms)", "wall",
                "cpu", "wall", "cpu", "speed-up", "result");
    const std::string today = FormatDateTimeText(profile.end + kDayStartOffset);
    const std::string days90 = FormatDateTimeText(now - 90);
    struct Case {
        const char* what;
        std::string from;
        bool sites;
    };
    const std::vector<Case> cases = {{"90 days, web sites", days90, true},
                                     {"90 days, applications", days90, false}};
    for (const auto& c : cases) {
        const std::string reference = c.sites ? test::ReferenceWebSiteTotalsSQL(c.from, to)
                                              : test::ReferenceApplicationTotalsSQL(c.from, to);
        const std::string program =
            c.sites ? WebSiteHourTotalsSQL(c.from, to) : ApplicationHourTotalsSQL(c.from, to);
        const Timing r =
            Measure(options.referenceRuns, [&] { return RunTotals(activity, reference); });
        const Timing p = Measure(options.programRuns, [&] { return RunTotals(activity, program); });
        PrintRow(c.what, r, p);
        same = same && r.totals == p.totals;
    }

    int status = same ? 0 : 1;
    if (!options.reportProgram.empty()) {
        std::printf("\n");
        if (!CheckReport(options.reportProgram, folder, now)) {
            status = 1;
        }
    }

    // The program's own units from here: the clock at `now`, the data folder's paths.
    StartAppClock(nullptr, std::make_unique<FixedWallClock>(now), TimeZoneRules::Utc());
    InitPaths(StartupPaths{ProgramFolderOfThis(), "tallyward", folder});
    const ListedProgram program(list.front().name);
    // The median of 100 ticks of the logger; false when they were not counted.
    const auto tickMedian = [&](double& median, double& worst) {
        std::vector<double> ticks;
        TOnlineTimeApplicationLogger logger;  // loads the day, as at start-up
        const int32_t before = logger.Total();
        for (int i = 0; i < 100; ++i) {
            const auto tickStart = Clock::now();
            logger.Log(&program, 3);
            ticks.push_back(MillisecondsSince(tickStart));
        }
        median = Median(ticks);
        worst = *std::max_element(ticks.begin(), ticks.end());
        if (logger.Total() != before + 300) {
            std::printf("Log did not count its ticks: total %d, expected %d\n", logger.Total(),
                        before + 300);
            return false;
        }
        return true;
    };
    double tickWith = 0, tickWithMax = 0;
    if (!tickMedian(tickWith, tickWithMax)) {
        status = 1;
    }
    std::printf("\n%-28s %10.2f ms (median of 100; max %.2f ms)\n", "Log: one tick", tickWith,
                tickWithMax);

    // The start-up step on sound sums (every start), and the one-time build.
    std::vector<double> checks;
    for (int i = 0; i < 5; ++i) {
        start = Clock::now();
        if (PrepareHourSums() != THourSumsStart::Sound) {
            std::printf("PrepareHourSums did not find the sums sound\n");
            status = 1;
        }
        checks.push_back(MillisecondsSince(start));
    }
    std::printf("%-28s %10.1f ms (median of 5)\n", "Start-up check of the sums", Median(checks));
    {
        TSQLiteDatabase activityDb(activity);
        start = Clock::now();
        RebuildHourSums(activityDb);
        const double build = MillisecondsSince(start);
        std::printf("%-28s %10.1f ms (once, on the first start after the upgrade)\n",
                    "Build of the sums", build);
        if (!HourSumsAgree(activityDb)) {
            std::printf("the rebuilt sums do not add up to the rows\n");
            status = 1;
        }
    }

    // A day older than 90 days, for the purge to remove.
    ActivityProfile old = profile;
    old.days = 1;
    old.end = profile.end - 91;
    sqlite3* db = OpenDatabase(activity);
    const int64_t oldRows = GenerateActivity(db, old, list);
    sqlite3_close(db);
    const int64_t rowsBefore = CountRows(activity);
    tw::Options().SetSaveOnDestroy(false);  // the bench changes no setting
    start = Clock::now();
    tw::Options().PurgeLog();
    const double purge = MillisecondsSince(start);
    ResetOptions();
    const int64_t rowsAfter = CountRows(activity);
    std::printf(
        "%-28s %10.1f ms (a day of %lld rows older than 90 days added; %lld of %lld "
        "rows removed)\n",
        "PurgeLog", purge, static_cast<long long>(oldRows),
        static_cast<long long>(rowsBefore - rowsAfter), static_cast<long long>(rowsBefore));

    // The purge went through the triggers too; then the same ticks without
    // them: what the sums add to a tick.
    {
        TSQLiteDatabase activityDb(activity);
        if (!HourSumsAgree(activityDb)) {
            std::printf("the sums do not add up to the rows after the purge\n");
            status = 1;
        }
        for (const char* trigger : {"applications_hours_insert", "applications_hours_delete",
                                    "applications_hours_update"}) {
            activityDb.ExecSQL(std::string("DROP TRIGGER ") + trigger);
        }
    }
    double tickWithout = 0, tickWithoutMax = 0;
    if (!tickMedian(tickWithout, tickWithoutMax)) {
        status = 1;
    }
    std::printf("%-28s %10.2f ms (median of 100; max %.2f ms); the triggers add %.3f ms\n",
                "Log: one tick, no triggers", tickWithout, tickWithoutMax, tickWith - tickWithout);
    StopAppClock();

    if (options.keepFolder.empty()) {
        std::filesystem::remove_all(folder);
    }
    return status;
}

}  // namespace
}  // namespace tw::bench

int main(int argc, char** argv) {
    try {
        return tw::bench::Run(tw::bench::ParseArguments(argc, argv));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "totals_bench: %s\n", e.what());
        return 2;
    }
}
