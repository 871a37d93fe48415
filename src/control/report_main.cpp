// tallyward-report: the usage totals of a data folder on the command line.
//
//   tallyward-report [--data-folder DIR] [--period P] [--at "yyyy-mm-dd hh:nn:ss"]
//   tallyward-report --help | --version
//
// Prints one line per list entry, "caption<TAB>App|Web<TAB>seconds<TAB>hh:nn",
// then "Total<TAB>seconds". It only reads: no lock, no purge, no save, and the
// diagnostic log stays closed.
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "base/AppClock.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/WriteLog.h"
#include "control/CommandLine.h"
#include "storage/ActivityLogger.h"
#include "storage/HourSums.h"
#include "storage/Options.h"

namespace tw {
namespace {

// Why the report cannot run; main prints it as one line and ends with status 1.
class ReportError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

const char* const kUsage =
    "usage: tallyward-report [--data-folder DIR] [--period P] [--at \"yyyy-mm-dd hh:nn:ss\"]\n"
    "       tallyward-report --help | --version\n"
    "  P: day (default), \"Today\", \"Last 24 Hours\", \"Last 7 Days\", \"Last 14 Days\",\n"
    "     \"Last 30 Days\", \"Last 3 months\"\n";

struct Arguments {
    std::string dataFolder;
    std::string period = "day";
    std::optional<TDateTime> at;
};

// Days back from now for the usage page's periods; 0 for "Today", -1 for "day".
int PeriodDays(const std::string& period) {
    static const std::vector<std::pair<std::string, int>> periods = {
        {"day", -1},          {"Today", 0},         {"Last 24 Hours", 1}, {"Last 7 Days", 7},
        {"Last 14 Days", 14}, {"Last 30 Days", 30}, {"Last 3 months", 90}};
    for (const auto& [name, days] : periods) {
        if (name == period) {
            return days;
        }
    }
    throw ReportError("unknown period \"" + period + "\"");
}

// --at in exactly one form, every field with its leading zeros: a looser
// reading would take "2024-5-1" or a blank-padded text for another moment
// than the user meant.
TDateTime ParseMoment(const std::string& text) {
    static constexpr std::string_view kForm = "dddd-dd-dd dd:dd:dd";
    bool matches = text.size() == kForm.size();
    for (size_t i = 0; matches && i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        matches = kForm[i] == 'd' ? digit : text[i] == kForm[i];
    }
    try {
        if (matches) {
            return ParseDateTimeText(text);
        }
    } catch (const std::exception&) {
    }
    throw ReportError("--at \"" + text + "\" is not a moment of the form yyyy-mm-dd hh:nn:ss");
}

Arguments ParseArguments(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (arg == "--version") {
            std::printf("tallyward-report %s\n", ProgramVersion());
            std::exit(0);
        }
        if (arg != "--data-folder" && arg != "--period" && arg != "--at") {
            throw ReportError("unknown argument " + arg);
        }
        if (i + 1 >= argc) {
            throw ReportError("missing value after " + arg);
        }
        const std::string value = argv[++i];
        if (arg == "--data-folder") {
            // An empty one would silently mean the user's own folder.
            if (value.empty()) {
                throw ReportError("empty folder after --data-folder");
            }
            args.dataFolder = value;
        } else if (arg == "--period") {
            args.period = value;
        } else {
            args.at = ParseMoment(value);
        }
    }
    PeriodDays(args.period);  // refuse a wrong period before touching anything
    return args;
}

// A wall clock that always reads one moment: with it the application clock
// starts at --at and runs on from there.
class FixedWallClock final : public WallClock {
public:
    explicit FixedWallClock(double utcSeconds) : utcSeconds_(utcSeconds) {}
    double UtcSeconds() override { return utcSeconds_; }

private:
    double utcSeconds_;
};

void StartClock(const std::optional<TDateTime>& at) {
    if (!at) {
        StartAppClock();
        return;
    }
    // Universal time in and out, so the clock reads exactly the given text.
    StartAppClock(nullptr, std::make_unique<FixedWallClock>(DateTimeToUnix(*at)),
                  TimeZoneRules::Utc());
}

// The user's data folder, found as the program finds it but never created.
std::string DefaultDataFolder() {
    std::string appData;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        appData = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        appData = std::string(home) + "/.local/share";
    }
    if (appData.empty()) {
        throw ReportError("no data folder: neither XDG_DATA_HOME nor HOME is set");
    }
    return appData + "/Tallyward/";
}

// The settings store and the log swallow their errors (they must keep the
// panel running); a report on defaults would look like a valid empty one.
// So the files are first opened read-only and the tables the report reads
// are queried once.
void CheckDatabase(const std::string& fileName, const std::vector<std::string>& queries) {
    if (!std::filesystem::is_regular_file(fileName)) {
        throw ReportError("no usage data: " + fileName + " does not exist");
    }
    sqlite3* db = nullptr;
    std::string problem;
    if (sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        problem = db ? sqlite3_errmsg(db) : "cannot open";
    }
    for (const auto& sql : queries) {
        if (!problem.empty()) {
            break;
        }
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            problem = sqlite3_errmsg(db);
        } else if (const int rc = sqlite3_step(stmt); rc != SQLITE_ROW && rc != SQLITE_DONE) {
            problem = sqlite3_errmsg(db);
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    if (!problem.empty()) {
        throw ReportError("damaged usage data: " + fileName + ": " + problem);
    }
}

// A totals query failed after the checks passed (a damaged page beyond the
// rows they read, a file held by another program). The panel logs and
// carries on; the report must not print the missing totals as zeros. A
// check of every page tells a damaged file from one that is only busy.
[[noreturn]] void RaiseTotalsError(const std::string& fileName, const std::string& error) {
    sqlite3* db = nullptr;
    std::string damage;
    if (sqlite3_open_v2(fileName.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &stmt, nullptr) == SQLITE_OK) {
            const int rc = sqlite3_step(stmt);
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            if (rc == SQLITE_ROW && text && std::string_view(text) != "ok") {
                damage = text;
            } else if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB) {
                damage = sqlite3_errmsg(db);
            }
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    std::string message = damage.empty()
                              ? "cannot read the usage totals from " + fileName + ": " + error
                              : "damaged usage data: " + fileName + ": " + damage;
    // One line: the library's texts hold line breaks.
    for (char& c : message) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    throw ReportError(message);
}

std::string HoursMinutes(int64_t seconds) {
    // Hours go past 24 for long periods; seconds are cut off, as on the panel.
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60));
    return text;
}

int64_t PrintItems(const TMonitoredList& list) {
    int64_t total = 0;
    for (int i = 0; i < list.Count(); ++i) {
        const TMonitoredItem* item = list.Items(i);
        std::printf("%s\t%s\t%d\t%s\n", item->Caption.c_str(), item->TypeName(), item->Duration,
                    HoursMinutes(item->Duration).c_str());
        total += item->Duration;
    }
    return total;
}

int Run(const Arguments& args) {
    std::string folder = args.dataFolder.empty() ? DefaultDataFolder() : args.dataFolder;
    if (folder.back() != '/') {
        folder += '/';
    }
    if (!std::filesystem::is_directory(folder)) {
        throw ReportError("no data folder " + folder);
    }
    CheckDatabase(folder + "settings.sqlite",
                  {"SELECT name, value FROM settings LIMIT 1",
                   "SELECT name, caption, active FROM applications_list LIMIT 1",
                   "SELECT name, caption, active FROM websites_list LIMIT 1"});
    CheckDatabase(folder + "actmondb.sqlite",
                  {"SELECT date_created, app_name, browser_url, duration, origin "
                   "FROM applications LIMIT 1",
                   "SELECT name, caption, active FROM applications_list LIMIT 1",
                   "SELECT name, caption, active FROM websites_list LIMIT 1"});

    StartClock(args.at);
    StartupPaths paths;
    paths.programFolder = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    paths.exeBaseName = "tallyward";  // the program's appearance file, not one of our own
    paths.dataFolder = folder;
    InitPaths(paths);
    SetLogFileName("");  // read only: not even the diagnostic log
    // Hour sums that do not add up to the rows are not read (the program
    // rebuilds them at its next start); without them the rows are.
    try {
        TSQLiteDatabase db(folder + "actmondb.sqlite");
        if (HourSumsSchemaSound(db) && !HourSumsAgree(db)) {
            DistrustHourSums(true);
        }
    } catch (const std::exception&) {
        DistrustHourSums(true);
    }

    // Loaded like the program does, but never saved: not on the way out either.
    Options().SetSaveOnDestroy(false);
    struct OptionsGuard {
        ~OptionsGuard() { ResetOptions(); }
    } optionsGuard;

    TOnlineTimeApplicationLogger logger;  // loads the day
    const int days = PeriodDays(args.period);
    if (days >= 0) {
        const TDateTime now = AppNow();
        const TDateTime from = days == 0 ? AppDate() + kDayStartOffset : now - days;
        logger.LoadPeriod(false, now, from);
    }
    if (!logger.LoadError().empty()) {
        RaiseTotalsError(folder + "actmondb.sqlite", logger.LoadError());
    }
    int64_t total = 0;
    if (days < 0) {
        PrintItems(logger.DayItems());
        total = logger.Total();  // the day's time on list, as the panel shows it
    } else {
        total = PrintItems(logger.PeriodItems());
    }
    std::printf("Total\t%lld\n", static_cast<long long>(total));
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace tw

int main(int argc, char** argv) {
    try {
        return tw::Run(tw::ParseArguments(argc, argv));
    } catch (const tw::ReportError& e) {
        std::fprintf(stderr, "tallyward-report: %s\n", e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tallyward-report: cannot read the usage data: %s\n", e.what());
    }
    return 1;
}
