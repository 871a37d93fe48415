#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ReferenceTotalsQueries.h"
#include "storage/HourSums.h"
#include "storage/TotalsQueries.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

using test::ReferenceApplicationTotalsSQL;
using test::ReferenceWebSiteTotalsSQL;

// A cell as SQLite hands it over: its fundamental type and value.
struct Cell {
    int type = SQLITE_NULL;
    int64_t integer = 0;
    double real = 0;
    std::string text;
    bool operator==(const Cell&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Cell& cell) {
    if (cell.type == SQLITE_INTEGER || cell.type == SQLITE_FLOAT) {
        return cell.type == SQLITE_INTEGER ? out << "int " << cell.integer
                                           : out << "real " << cell.real;
    }
    return cell.type == SQLITE_NULL ? out << "NULL" : out << "text '" << cell.text << "'";
}

using Row = std::vector<Cell>;

// An in-memory copy of the template activity database the build produces.
class Database {
public:
    Database() {
        sqlite3* source = nullptr;
        const std::string path = std::string(TW_BUILD_BIN_DIR) + "actmondb.sqlite";
        sqlite3_open_v2(path.c_str(), &source, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_open(":memory:", &db_);
        sqlite3_backup* copy = sqlite3_backup_init(db_, "main", source, "main");
        const bool copied = copy && sqlite3_backup_step(copy, -1) == SQLITE_DONE;
        sqlite3_backup_finish(copy);
        sqlite3_close(source);
        if (!copied) {
            sqlite3_close(db_);
            throw std::runtime_error("cannot copy " + path);
        }
        // The reference queries (ReferenceTotalsQueries.h) write their '%' in double quotes.
        sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    }
    ~Database() { sqlite3_close(db_); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Exec(const std::string& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
            std::string message = error ? error : "?";
            sqlite3_free(error);
            throw std::runtime_error(message + " in: " + sql);
        }
    }

    std::vector<Row> Query(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        std::vector<Row> rows;
        int rc = sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            Row& row = rows.emplace_back();
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                Cell& cell = row.emplace_back();
                cell.type = sqlite3_column_type(stmt, i);
                if (cell.type == SQLITE_INTEGER) {
                    cell.integer = sqlite3_column_int64(stmt, i);
                } else if (cell.type == SQLITE_FLOAT) {
                    cell.real = sqlite3_column_double(stmt, i);
                } else if (cell.type != SQLITE_NULL) {
                    cell.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                     static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
                }
            }
            rc = SQLITE_OK;
        }
        sqlite3_finalize(stmt);
        if (rc != SQLITE_DONE) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        }
        return rows;
    }

    // The virtual machine's steps for running `sql` to its end: a measure of
    // the rows it reads.
    int Steps(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string(sqlite3_errmsg(db_)) + " in: " + sql);
        }
        while (sqlite3_step(stmt) == SQLITE_ROW) {
        }
        const int steps = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_VM_STEP, 0);
        sqlite3_finalize(stmt);
        return steps;
    }

private:
    sqlite3* db_ = nullptr;
};

std::unique_ptr<Database> NewActivityDatabase() {
    return std::make_unique<Database>();
}

std::string Literal(const std::optional<std::string>& value) {
    if (!value) {
        return "NULL";
    }
    std::string out = "'";
    for (char c : *value) {
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    return out + "'";
}

// name (NULL is a name of its own) -> total_duration cell; fails on a name met twice.
using Totals = std::map<std::optional<std::string>, Cell>;

Totals TotalsOf(Database& db, const std::string& sql) {
    Totals totals;
    for (const auto& row : db.Query(sql)) {
        std::optional<std::string> name;
        if (row.at(2).type != SQLITE_NULL) {
            name = row[2].text;
        }
        EXPECT_TRUE(totals.emplace(name, row.at(3)).second) << "name twice: " << Literal(name);
    }
    return totals;
}

std::string Describe(const Totals& totals) {
    std::ostringstream out;
    for (const auto& [name, cell] : totals) {
        out << Literal(name) << " -> " << cell << "\n";
    }
    return out.str();
}

// Random tables built from small pools so that names overlap, contain one
// another, differ only in letter case and carry LIKE wildcards.
class Generator {
public:
    explicit Generator(uint32_t seed) : random_(seed) {}

    // The lists and rows, with the hour sums kept by the triggers; sometimes
    // rebuilt from the rows as at start-up, and then the rows are changed and
    // deleted, so the triggers also keep a rebuilt table.
    std::string Script() {
        std::string sql;
        AddList(sql, "applications_list", kApps);
        AddList(sql, "websites_list", kSites);
        const int rows = Chance(0.1) ? 0 : Uniform(1, 80);
        for (int i = 0; i < rows; ++i) {
            sql +=
                "INSERT INTO applications(date_created, app_name, browser_url, app_type, "
                "duration, origin) VALUES(" +
                Moment() + ", " + Literal(AppName()) + ", " + Literal(Url()) +
                ", 'Desktop Application', " + Duration() + ", " + Origin() + ");\n";
        }
        if (Chance(0.5)) {
            for (const std::string& statement : HourSumsRebuildSQL()) {
                sql += statement + ";\n";
            }
        }
        for (int changes = Chance(0.4) ? 0 : Uniform(1, 4); changes > 0; --changes) {
            const std::string some = " WHERE rowid % " + std::to_string(Uniform(2, 5)) + " = " +
                                     std::to_string(Uniform(0, 1)) + ";\n";
            switch (Uniform(0, 3)) {
                case 0:
                    sql += "DELETE FROM applications" + some;
                    break;
                case 1:
                    sql += "UPDATE applications SET date_created = " + Moment() + some;
                    break;
                case 2:
                    sql += "UPDATE applications SET duration = " + Duration() + some;
                    break;
                default:
                    sql += "UPDATE applications SET app_name = " + Literal(AppName()) +
                           ", browser_url = " + Literal(Url()) + ", origin = " + Origin() + some;
            }
        }
        return sql;
    }

    // Range ends at, just inside and just outside the moments the rows use.
    std::pair<std::string, std::string> Range() {
        std::string from = Pick(kEdges);
        std::string to = Pick(kEdges);
        if (from > to && !Chance(0.1)) {
            std::swap(from, to);  // mostly a proper range, sometimes an inverted one
        }
        return {from, to};
    }

private:
    static inline const std::vector<std::string> kApps = {"/usr/bin/firefox",
                                                          "/usr/bin/Firefox",
                                                          "/usr/bin/firefox-esr",
                                                          "/opt/app_1/run",
                                                          "/opt/appX1/run",
                                                          "/opt/a%b",
                                                          "",
                                                          "/usr/bin/o'neil"};
    static inline const std::vector<std::string> kSites = {"example.com",
                                                           "mail.example.com",
                                                           "EXAMPLE.com",
                                                           "ex_mple.com",
                                                           "exa%com",
                                                           "%",
                                                           "_",
                                                           "news.org",
                                                           "s.org",
                                                           "o'neil.net",
                                                           "",
                                                           "EXAMPLE.COM/a"};
    // Inside hours and on their boundaries, and texts shorter than an hour key.
    static inline const std::vector<std::string> kEdges = {
        "2026-03-01 03:59:59", "2026-03-01 04:00:00", "2026-03-01 04:00:01", "2026-03-01 12:30:00",
        "2026-03-02 03:59:59", "2026-03-02 04:00:00", "2026-03-02 04:00:01", "2026-03-01",
        "2026-02-28 23:59:59", "2026-03-01 12:00:00", "2026-03-01 12:59:59", "2026-03-01 13:00:00",
        "2026-03-01 04:59:59", "2026-03-01 1",        "2026-03-01 12"};
    // Moments that no clock writes but another program might: an hour key
    // alone, fractions of seconds, another separator.
    static inline const std::vector<std::string> kOddMoments = {
        "2026-03-01 12:30", "2026-03-01 12:30:00.250", "2026-03-01T12:30:00",
        "2026-03-01 1:", "2026-03-01 12:"};

    int Uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
    template <typename T>
    const T& Pick(const std::vector<T>& pool) {
        return pool[static_cast<size_t>(Uniform(0, static_cast<int>(pool.size()) - 1))];
    }

    // A short random name from a tiny alphabet, so random sites match random addresses.
    std::string Scribble() {
        static const std::string alphabet = "aAb._%";
        std::string s;
        for (int n = Uniform(0, 3); n > 0; --n) {
            s += alphabet[static_cast<size_t>(Uniform(0, static_cast<int>(alphabet.size()) - 1))];
        }
        return s;
    }

    std::string FlipCase(std::string s) {
        for (char& c : s) {
            if (Chance(0.3) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
                c = static_cast<char>(c ^ 0x20);
            }
        }
        return s;
    }

    void AddList(std::string& sql, const std::string& table, const std::vector<std::string>& pool) {
        const int entries = Chance(0.1) ? 0 : Uniform(1, 8);
        for (int i = 0; i < entries; ++i) {
            std::optional<std::string> name;
            if (!Chance(0.05)) {
                name = Chance(0.25) ? Scribble() : Pick(pool);
            }
            const char* active = Chance(0.1) ? "NULL" : (Chance(0.8) ? "1" : "0");
            sql += "INSERT INTO " + table + "(name, caption, active) VALUES(" + Literal(name) +
                   ", 'caption " + std::to_string(i) + "', " + active + ");\n";
        }
    }

    // As an SQL literal: sometimes NULL, sometimes a blob.
    std::string Moment() {
        if (Chance(0.1)) {
            return "NULL";
        }
        if (Chance(0.03)) {
            return "CAST('2026-03-01 12:30:00' AS BLOB)";
        }
        return Literal(Pick(Chance(0.15) ? kOddMoments : kEdges));
    }
    std::optional<std::string> AppName() {
        return Chance(0.05) ? std::nullopt
                            : std::optional<std::string>(Pick(Chance(0.2) ? kSites : kApps));
    }

    std::optional<std::string> Url() {
        if (Chance(0.05)) {
            return std::nullopt;
        }
        if (Chance(0.2)) {
            return std::string();
        }
        const std::string core = Chance(0.3) ? Scribble() : Pick(kSites);
        const std::string prefix = Chance(0.5) ? "https://" : (Chance(0.5) ? "www." : "");
        const std::string suffix = Chance(0.5) ? "/path?q=1" : "";
        return FlipCase(prefix + core + suffix);
    }

    std::string Duration() {
        if (Chance(0.05) || Chance(0.03)) {
            return Chance(0.6) ? "NULL" : "2.5";
        }
        return std::to_string(Chance(0.05) ? Uniform(-5, 0) : Uniform(1, 600));
    }
    std::string Origin() {
        return Chance(0.05) ? "NULL" : Chance(0.6) ? "1" : (Chance(0.8) ? "2" : "0");
    }

    std::mt19937 random_;
};

uint32_t BaseSeed() {
    const char* text = std::getenv("TW_TOTALS_SEED");
    return text && *text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 20260301u;
}

// Both the row queries and the hour-sum queries against the reference.
TEST(TotalsQueriesProperty, RandomTablesGiveTheReferenceTotals) {
    const uint32_t base = BaseSeed();
    constexpr int kCases = 600;
    for (int i = 0; i < kCases; ++i) {
        const uint32_t seed = base + static_cast<uint32_t>(i);
        SCOPED_TRACE("seed " + std::to_string(seed) +
                     " (rerun with TW_TOTALS_SEED=" + std::to_string(seed) + ")");
        Generator generator(seed);
        auto db = NewActivityDatabase();
        db->Exec(generator.Script());
        for (int r = 0; r < 3; ++r) {
            const auto [from, to] = generator.Range();
            SCOPED_TRACE("range " + from + " .. " + to);
            const std::pair<std::string, std::vector<std::string>> queries[] = {
                {ReferenceApplicationTotalsSQL(from, to),
                 {ApplicationTotalsSQL(from, to), ApplicationHourTotalsSQL(from, to)}},
                {ReferenceWebSiteTotalsSQL(from, to),
                 {WebSiteTotalsSQL(from, to), WebSiteHourTotalsSQL(from, to)}}};
            for (const auto& [reference, programs] : queries) {
                const Totals expected = TotalsOf(*db, reference);
                for (const std::string& program : programs) {
                    const Totals actual = TotalsOf(*db, program);
                    ASSERT_EQ(expected, actual) << "reference:\n"
                                                << Describe(expected) << "program:\n"
                                                << Describe(actual) << program;
                }
            }
        }
    }
}

// Known answers for the rules the property test relies on the reference for.
struct KnownCase {
    const char* what;
    const char* rows;  // INSERT statements
    bool sites;
    std::map<std::optional<std::string>, int64_t> expected;
};

void PrintTo(const KnownCase& c, std::ostream* out) {
    *out << c.what;
}

class TotalsQueriesKnown : public ::testing::TestWithParam<KnownCase> {};

TEST_P(TotalsQueriesKnown, BothQueriesGiveTheExpectedTotals) {
    const KnownCase& c = GetParam();
    auto db = NewActivityDatabase();
    db->Exec(c.rows);
    const std::string from = "2026-03-01 04:00:00";
    const std::string to = "2026-03-02 03:59:59";
    for (const std::string& sql :
         {c.sites ? ReferenceWebSiteTotalsSQL(from, to) : ReferenceApplicationTotalsSQL(from, to),
          c.sites ? WebSiteTotalsSQL(from, to) : ApplicationTotalsSQL(from, to),
          c.sites ? WebSiteHourTotalsSQL(from, to) : ApplicationHourTotalsSQL(from, to)}) {
        std::map<std::optional<std::string>, int64_t> actual;
        for (const auto& [name, cell] : TotalsOf(*db, sql)) {
            EXPECT_EQ(cell.type, SQLITE_INTEGER) << Literal(name);
            actual[name] = cell.integer;
        }
        EXPECT_EQ(actual, c.expected) << sql;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rules, TotalsQueriesKnown,
    ::testing::Values(
        KnownCase{
            "contained sites count for both, case ignored",
            "INSERT INTO websites_list VALUES('example.com','E',1),('mail.example.com','M',1);"
            "INSERT INTO applications VALUES('2026-03-01 "
            "10:00:00','/b','https://MAIL.Example.com/',"
            "'Google Chrome',3,2),('2026-03-01 10:00:03','/b','example.com','Google Chrome',5,1);",
            true,
            {{"example.com", 8}, {"mail.example.com", 3}}},
        KnownCase{"range ends included, outside excluded, undated rows counted",
                  "INSERT INTO applications_list VALUES('/a','A',1);"
                  "INSERT INTO applications VALUES('2026-03-01 04:00:00','/a','','x',1,1),"
                  "('2026-03-02 03:59:59','/a','','x',2,1),('2026-03-02 04:00:00','/a','','x',4,1),"
                  "('2026-03-01 03:59:59','/a','','x',8,1),(NULL,'/a','','x',16,1);",
                  false,
                  {{"/a", 19}}},
        KnownCase{"origin 2 and other letter case not counted for an application",
                  "INSERT INTO applications_list VALUES('/a','A',1),('/c','C',0);"
                  "INSERT INTO applications VALUES('2026-03-01 10:00:00','/a','','x',3,2),"
                  "('2026-03-01 10:00:00','/A','','x',5,1);",
                  false,
                  {{"/a", 0}, {"/c", 0}}},
        KnownCase{"a name listed twice is one row counting its rows twice; '_' is a wildcard",
                  "INSERT INTO websites_list VALUES('a_c','1',1),('a_c','2',1);"
                  "INSERT INTO applications VALUES('2026-03-01 10:00:00','/b','xabcx','x',3,2);",
                  true,
                  {{"a_c", 6}}}),
    [](const ::testing::TestParamInfo<KnownCase>& param) {
        return test::CaseName(param.param.what);
    });

// The point of the program's queries: the activity and its hour sums are
// read through an index (the range by date or hour for sites, each program's
// range for applications), never by reading a whole table.
TEST(TotalsQueries, ActivityIsReadThroughAnIndex) {
    auto db = NewActivityDatabase();
    const std::pair<std::string, const char*> cases[] = {
        {ApplicationTotalsSQL("2026-03-01 04:00:00", "2026-03-02 03:59:59"),
         "USING COVERING INDEX applications_app_name (app_name=? AND origin=? AND date_created"},
        {WebSiteTotalsSQL("2026-03-01 04:00:00", "2026-03-02 03:59:59"),
         "applications USING INDEX applications_date_created"},
        {ApplicationHourTotalsSQL("2026-03-01 04:00:00", "2026-03-02 03:59:59"),
         "USING COVERING INDEX applications_hours_app_name (app_name=? AND origin=? AND hour>? "
         "AND hour<?)"},
        {WebSiteHourTotalsSQL("2026-03-01 04:00:00", "2026-03-02 03:59:59"),
         "applications_hours USING COVERING INDEX applications_hours_key (hour>? AND hour<?)"}};
    for (const auto& [sql, index] : cases) {
        std::string plan;
        for (const auto& row : db->Query("EXPLAIN QUERY PLAN " + sql)) {
            plan += row.at(3).text + "\n";
        }
        EXPECT_EQ(plan.find("SCAN applications\n"), std::string::npos) << plan;
        EXPECT_EQ(plan.find("SCAN applications_hours\n"), std::string::npos) << plan;
        EXPECT_EQ(plan.find("SCAN a\n"), std::string::npos) << plan;
        EXPECT_NE(plan.find(index), std::string::npos) << plan;
    }
}

// A range of 48 whole hours reads their sums and the rows of its two end
// hours: a fraction of the work of reading its rows.
TEST(TotalsQueries, HourTotalsReadTheEndHoursOnly) {
    auto db = NewActivityDatabase();
    db->Exec(
        "INSERT INTO applications_list VALUES('/bin/a', 'A', 1);"
        "INSERT INTO websites_list VALUES('a.org', 'A', 1);"
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 2499) "
        "INSERT INTO applications SELECT datetime('2026-03-01 00:00:00', '+' || (i * 72) || "
        "' seconds'), '/bin/a', CASE i % 2 WHEN 0 THEN 'a.org' ELSE '' END, 'x', 3, 1 + i % 2 "
        "FROM n;");
    const std::string from = "2026-03-01 00:30:00", to = "2026-03-03 01:30:00";
    const std::pair<std::string, std::string> cases[] = {
        {ApplicationHourTotalsSQL(from, to), ApplicationTotalsSQL(from, to)},
        {WebSiteHourTotalsSQL(from, to), WebSiteTotalsSQL(from, to)}};
    for (const auto& [hours, rows] : cases) {
        EXPECT_LT(db->Steps(hours) * 5, db->Steps(rows)) << hours;
    }
}

}  // namespace
}  // namespace tw
