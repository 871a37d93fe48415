#include "ReportCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "../tests/storage/ReferenceTotalsQueries.h"
#include "ActivityDataGenerator.h"

namespace tw::bench {

namespace {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program without a shell, its output captured in two files of `scratch`.
ProgramResult RunProgram(const std::vector<std::string>& args, const std::string& scratch) {
    const std::string outFile = scratch + "report.out";
    const std::string errFile = scratch + "report.err";
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) {
            _exit(126);
        }
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ProgramResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(outFile);
    result.err = ReadAll(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return result;
}

struct Line {
    std::string type;
    int64_t seconds = 0;
    std::string time;
    bool operator==(const Line&) const = default;
};

// caption -> line, as printed or as expected.
using Report = std::map<std::string, Line>;

void AddExpected(sqlite3* db, const std::string& sql, const char* type, Report& report,
                 int64_t& total) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto* caption = sqlite3_column_text(stmt, 0);
        const int64_t seconds = sqlite3_column_int64(stmt, 3);
        report[caption ? reinterpret_cast<const char*>(caption) : ""] =
            Line{type, seconds, HoursMinutes(seconds)};
        total += seconds;
    }
    sqlite3_finalize(stmt);
}

std::vector<std::string> SplitLine(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) {
        fields.push_back(field);
    }
    return fields;
}

// Parses the report's lines; false (with a message) when a line is malformed.
bool ParseReport(const std::string& out, Report& report, int64_t& total, std::string& problem) {
    std::istringstream in(out);
    std::string line;
    bool sawTotal = false;
    while (std::getline(in, line)) {
        const auto fields = SplitLine(line);
        if (sawTotal) {
            problem = "a line after the total: " + line;
            return false;
        }
        if (fields.size() == 2 && fields[0] == "Total") {
            total = std::stoll(fields[1]);
            sawTotal = true;
        } else if (fields.size() == 4 && (fields[1] == "App" || fields[1] == "Web")) {
            report[fields[0]] = Line{fields[1], std::stoll(fields[2]), fields[3]};
        } else {
            problem = "malformed line: " + line;
            return false;
        }
    }
    if (!sawTotal) {
        problem = "no total line";
    }
    return sawTotal;
}

}  // namespace

Totals QueryTotals(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
        throw std::runtime_error(std::string(sqlite3_errmsg(db)) + " in: " + sql.substr(0, 100));
    }
    Totals totals;
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const auto* name = sqlite3_column_text(stmt, 2);
        std::optional<std::string> key;
        if (name) {
            key = reinterpret_cast<const char*>(name);
        }
        totals[key] += sqlite3_column_int64(stmt, 3);
    }
    sqlite3_finalize(stmt);
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(sqlite3_errmsg(db));
    }
    return totals;
}

TDateTime PeriodStart(const std::string& period, TDateTime now) {
    const TDateTime date = static_cast<int64_t>(now);
    if (period == "day") {
        const TDateTime from = date + kDayStartOffset;
        return from > now ? from - 1 : from;
    }
    const std::map<std::string, int> days = {{"Last 24 Hours", 1},
                                             {"Last 7 Days", 7},
                                             {"Last 14 Days", 14},
                                             {"Last 30 Days", 30},
                                             {"Last 3 months", 90}};
    const auto it = days.find(period);
    return it == days.end() ? date + kDayStartOffset : now - it->second;
}

std::string HoursMinutes(int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60));
    return text;
}

bool CheckReport(const std::string& program, const std::string& folder, TDateTime now,
                 const std::vector<std::string>& periods) {
    bool ok = true;
    const std::string at = FormatDateTimeText(now);
    for (const auto& period : periods) {
        const std::string from = FormatDateTimeText(PeriodStart(period, now));
        Report expected;
        int64_t expectedTotal = 0;
        sqlite3* db = OpenDatabase(folder + "actmondb.sqlite");
        try {
            AddExpected(db, test::ReferenceWebSiteTotalsSQL(from, at), "Web", expected,
                        expectedTotal);
            AddExpected(db, test::ReferenceApplicationTotalsSQL(from, at), "App", expected,
                        expectedTotal);
        } catch (...) {
            sqlite3_close(db);
            throw;
        }
        sqlite3_close(db);

        const auto result =
            RunProgram({program, "--data-folder", folder, "--period", period, "--at", at}, folder);
        Report printed;
        int64_t printedTotal = -1;
        std::string problem;
        if (result.status != 0) {
            problem = "exit status " + std::to_string(result.status) + ": " + result.err;
        } else if (ParseReport(result.out, printed, printedTotal, problem)) {
            if (printed != expected) {
                problem = "lines differ from the reference queries";
                for (const auto& [caption, line] : expected) {
                    const auto it = printed.find(caption);
                    if (it == printed.end() || !(it->second == line)) {
                        problem += "\n  " + caption + ": expected " + line.type + " " +
                                   std::to_string(line.seconds) + " " + line.time;
                    }
                }
            } else if (printedTotal != expectedTotal) {
                problem = "total " + std::to_string(printedTotal) + ", expected " +
                          std::to_string(expectedTotal);
            }
        }
        std::printf("report %-16s from %s to %s: %zu entries, total %lld s: %s\n",
                    ("\"" + period + "\"").c_str(), from.c_str(), at.c_str(), printed.size(),
                    static_cast<long long>(printedTotal),
                    problem.empty() ? "same as the reference queries" : problem.c_str());
        ok = ok && problem.empty();
    }
    return ok;
}

bool CheckReportFailures(const std::string& program, const std::string& scratchFolder,
                         const std::string& templateFolder) {
    namespace fs = std::filesystem;
    bool ok = true;
    const std::string missing = scratchFolder + "missing/";
    const std::string empty = scratchFolder + "empty/";
    const std::string damaged = scratchFolder + "damaged/";
    const std::string truncated = scratchFolder + "truncated/";
    fs::create_directories(empty);
    fs::create_directories(damaged);
    fs::create_directories(truncated);
    const std::string garbage = "this is not a database file, only some text\n";
    std::ofstream(damaged + "settings.sqlite", std::ios::binary) << garbage;
    std::ofstream(damaged + "actmondb.sqlite", std::ios::binary) << garbage;
    // A good settings file beside an activity file cut short.
    fs::copy_file(templateFolder + "settings.sqlite", truncated + "settings.sqlite");
    std::ofstream(truncated + "actmondb.sqlite", std::ios::binary)
        << ReadAll(templateFolder + "actmondb.sqlite").substr(0, 60);

    for (const auto& [what, folder] :
         {std::pair<const char*, std::string>{"missing folder", missing},
          {"folder without databases", empty},
          {"folder of text files", damaged},
          {"truncated activity database", truncated}}) {
        const auto before = fs::exists(folder) ? std::distance(fs::directory_iterator(folder),
                                                               fs::directory_iterator())
                                               : -1;
        const auto result = RunProgram(
            {program, "--data-folder", folder, "--at", "2026-03-31 20:00:00"}, scratchFolder);
        const auto after = fs::exists(folder) ? std::distance(fs::directory_iterator(folder),
                                                              fs::directory_iterator())
                                              : -1;
        const bool oneLine = !result.err.empty() && result.err.back() == '\n' &&
                             result.err.find('\n') == result.err.size() - 1;
        const bool untouched = before == after && (what != std::string("damaged") ||
                                                   ReadAll(damaged + "actmondb.sqlite") == garbage);
        const bool good = result.status == 1 && oneLine && result.out.empty() && untouched;
        std::string err = result.err.empty() ? "(empty)" : result.err;
        if (err.back() == '\n') {
            err.pop_back();
        }
        std::printf("report on a %s: exit %d, stderr: %s%s\n", what, result.status, err.c_str(),
                    good ? "" : "\n  -> expected exit 1, one line on stderr, nothing written");
        ok = ok && good;
    }
    return ok;
}

}  // namespace tw::bench
