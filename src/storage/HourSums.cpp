#include "storage/HourSums.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <map>

#include "base/Paths.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "storage/SQLiteTable3.h"

namespace tw {

namespace {

std::atomic<bool> gDistrusted{false};

// The key of a row's sums group, for the row `r` (new or old) of a trigger.
// IS, since any of them may be NULL; the kind keeps integer (and NULL)
// durations apart from the rest, so that a sum is an integer exactly when
// SUM over the rows would give one.
std::string GroupOf(const std::string& r) {
    return "hour IS substr(" + r + ".date_created, 1, 13) AND browser_url IS " + r +
           ".browser_url AND app_name IS " + r + ".app_name AND origin IS " + r +
           ".origin AND integral = (typeof(" + r + ".duration) IN ('integer', 'null'))";
}

// Adds the row to its group, or starts the group with it.
std::string AddRow(const std::string& r) {
    return "UPDATE applications_hours SET row_count = row_count + 1, duration = duration + "
           "coalesce(" +
           r + ".duration, 0) WHERE " + GroupOf(r) +
           "; INSERT INTO applications_hours(hour, browser_url, app_name, origin, integral, "
           "row_count, duration) SELECT substr(" +
           r + ".date_created, 1, 13), " + r + ".browser_url, " + r + ".app_name, " + r +
           ".origin, typeof(" + r + ".duration) IN ('integer', 'null'), 1, CASE WHEN typeof(" + r +
           ".duration) IN ('integer', 'null') THEN coalesce(" + r + ".duration, 0) ELSE " + r +
           ".duration + 0.0 END WHERE NOT EXISTS (SELECT 1 FROM applications_hours WHERE " +
           GroupOf(r) + ");";
}

// Takes the row from its group and drops a group left without rows (with
// whatever rounding its real durations left behind).
std::string RemoveRow(const std::string& r) {
    return "UPDATE applications_hours SET row_count = row_count - 1, duration = duration - "
           "coalesce(" +
           r + ".duration, 0) WHERE " + GroupOf(r) + "; DELETE FROM applications_hours WHERE " +
           GroupOf(r) + " AND row_count <= 0;";
}

const char* const kTriggerNames[] = {"applications_hours_insert", "applications_hours_delete",
                                     "applications_hours_update"};

std::vector<std::string> MakeSchema() {
    return {
        // duration has no declared type, so a sum of non-integers stays a real.
        "CREATE TABLE applications_hours (hour TEXT, browser_url TEXT, app_name TEXT, origin "
        "INTEGER, integral INTEGER, row_count INTEGER, duration)",
        // The triggers' group lookup, and the web sites' hour range with the addresses.
        "CREATE INDEX applications_hours_key ON applications_hours(hour, browser_url, "
        "app_name, origin, integral, duration)",
        // Each program's hours without sorting.
        "CREATE INDEX applications_hours_app_name ON applications_hours(app_name, origin, "
        "hour, duration)",
        "CREATE TRIGGER applications_hours_insert AFTER INSERT ON applications BEGIN " +
            AddRow("new") + " END",
        "CREATE TRIGGER applications_hours_delete AFTER DELETE ON applications BEGIN " +
            RemoveRow("old") + " END",
        "CREATE TRIGGER applications_hours_update AFTER UPDATE OF date_created, app_name, "
        "browser_url, duration, origin ON applications BEGIN " +
            RemoveRow("old") + " " + AddRow("new") + " END",
    };
}

// The statement with its white space reduced to what separates two words,
// so the template's layout of the same statements compares equal.
std::string Normalized(const std::string& sql) {
    const auto word = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || (unsigned char)c >= 0x80;
    };
    std::string out;
    bool pendingSpace = false;
    for (const char c : sql) {
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !out.empty() && word(out.back()) && word(c)) {
            out += ' ';
        }
        pendingSpace = false;
        out += c;
    }
    return out;
}

// What a sums object's name is from `sql`'s CREATE statement.
std::string ObjectName(const std::string& sql) {
    for (const char* kind : {"CREATE TABLE ", "CREATE INDEX ", "CREATE TRIGGER "}) {
        const std::string prefix = kind;
        if (sql.compare(0, prefix.size(), prefix) == 0) {
            const size_t end = sql.find(' ', prefix.size());
            return sql.substr(prefix.size(), end - prefix.size());
        }
    }
    return {};
}

int64_t CountRows(TSQLiteDatabase& db) {
    auto table = db.GetTable("SELECT count(*) FROM applications");
    return table->RowCount() > 0 ? table->AsInteger(0) : 0;
}

bool ActivityTableExists(TSQLiteDatabase& db) {
    auto table = db.GetTable(
        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND lower(name) = 'applications'");
    return table->RowCount() > 0;
}

}  // namespace

const std::vector<std::string>& HourSumsSchema() {
    static const std::vector<std::string> schema = MakeSchema();
    return schema;
}

bool HourSumsSchemaSound(TSQLiteDatabase& db) {
    std::map<std::string, std::string> expected;
    for (const std::string& sql : HourSumsSchema()) {
        expected.emplace(ObjectName(sql), Normalized(sql));
    }
    std::string names;
    for (const char* name : kTriggerNames) {
        names += std::string(names.empty() ? "" : ", ") + QuotedStr(name);
    }
    // The sums table's own objects and the triggers by name; a leftover
    // object of either kind, or one defined otherwise, makes it unsound.
    auto table = db.GetTable(
        "SELECT lower(name), sql FROM sqlite_master WHERE lower(tbl_name) = "
        "'applications_hours' OR lower(name) IN (" +
        names + ")");
    size_t matched = 0;
    for (table->First(); !table->AtEnd(); table->Next()) {
        const auto it = expected.find(table->AsText(0));
        if (it == expected.end() || Normalized(table->AsText(1)) != it->second) {
            return false;
        }
        ++matched;
    }
    return matched == expected.size();
}

bool HourSumsAgree(TSQLiteDatabase& db) {
    // The hours from a day before the latest row on; a text that is no date
    // gives no hours (NULL), which leaves the counts.
    const std::string since =
        "(SELECT substr(datetime(max(date_created), '-1 day'), 1, 13) FROM applications)";
    const std::string rows =
        "SELECT substr(date_created, 1, 13), count(*), coalesce(sum(CASE WHEN typeof(duration) "
        "= 'integer' THEN duration END), 0) FROM applications WHERE date_created >= " +
        since + " GROUP BY 1";
    const std::string sums =
        "SELECT hour, sum(row_count), coalesce(sum(CASE WHEN integral = 1 THEN duration END), "
        "0) FROM applications_hours WHERE hour >= " +
        since + " GROUP BY 1";
    auto table = db.GetTable(
        "SELECT (SELECT count(*) FROM applications) = (SELECT coalesce(sum(row_count), 0) FROM "
        "applications_hours) AND NOT EXISTS (" +
        rows + " EXCEPT " + sums + ") AND NOT EXISTS (" + sums + " EXCEPT " + rows + ")");
    return table->RowCount() == 1 && table->AsInteger(0) == 1;
}

std::vector<std::string> HourSumsRebuildSQL() {
    std::vector<std::string> statements;
    for (const char* name : kTriggerNames) {
        statements.push_back(std::string("DROP TRIGGER IF EXISTS ") + name);
    }
    statements.push_back("DROP TABLE IF EXISTS applications_hours");
    statements.push_back("DROP INDEX IF EXISTS applications_hours_key");
    statements.push_back("DROP INDEX IF EXISTS applications_hours_app_name");
    for (const std::string& sql : HourSumsSchema()) {
        statements.push_back(sql);
    }
    // The groups of the triggers' key, each sum as SUM over its rows gives it.
    statements.push_back(
        "INSERT INTO applications_hours(hour, browser_url, app_name, origin, integral, "
        "row_count, duration) SELECT substr(date_created, 1, 13), browser_url, app_name, "
        "origin, typeof(duration) IN ('integer', 'null'), count(*), CASE WHEN "
        "max(typeof(duration) IN ('integer', 'null')) THEN coalesce(sum(duration), 0) ELSE "
        "total(duration) END FROM applications GROUP BY substr(date_created, 1, 13), "
        "browser_url, app_name, origin, typeof(duration) IN ('integer', 'null')");
    return statements;
}

void RebuildHourSums(TSQLiteDatabase& db) {
    TSQLiteTransaction transaction(db);
    for (const std::string& sql : HourSumsRebuildSQL()) {
        db.ExecSQL(sql);
    }
    transaction.Commit();
}

THourSumsStart PrepareHourSums() {
    constexpr std::string_view kContext = "; PrepareHourSums: ";
    std::string why;
    try {
        TSQLiteDatabase db(GetActivityDBFileName());
        if (!ActivityTableExists(db)) {
            WriteLog("PrepareHourSums: no activity table in " + db.FileName() +
                     "; totals read no sums");
            gDistrusted = true;
            return THourSumsStart::Unavailable;
        }
        try {
            if (!HourSumsSchemaSound(db)) {
                why = "missing or of another layout";
            } else if (!HourSumsAgree(db)) {
                why = "not adding up to the rows";
            }
        } catch (const std::exception& e) {
            why = std::string("unreadable: ") + e.what();
        }
        if (why.empty()) {
            gDistrusted = false;
            return THourSumsStart::Sound;
        }
        const auto start = std::chrono::steady_clock::now();
        RebuildHourSums(db);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - start)
                            .count();
        WriteLog("PrepareHourSums: hour sums " + why + "; rebuilt from " + IntToStr(CountRows(db)) +
                 " activity rows in " + IntToStr(ms) + " ms");
        gDistrusted = false;
        return THourSumsStart::Built;
    } catch (const std::exception& e) {
        LogException(e, std::string(kContext) + (why.empty() ? "" : "hour sums " + why + "; ") +
                            "rebuild failed, totals read the rows: ");
    }
    gDistrusted = true;
    return THourSumsStart::Unavailable;
}

bool UseHourSums(TSQLiteDatabase& db) {
    return !gDistrusted && HourSumsSchemaSound(db);
}

void DistrustHourSums(bool distrust) noexcept {
    gDistrusted = distrust;
}

}  // namespace tw
