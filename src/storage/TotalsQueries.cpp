#include "storage/TotalsQueries.h"

#include <optional>

#include "base/Strings.h"

namespace tw {

namespace {

// Sums of the range's rows per `key`, then of the undated rows (which the
// reference queries of tests/storage/ReferenceTotalsQueries.h count whatever
// the range) per `key`. Two grouped branches rather than an OR, so each is
// one index lookup and feeds its own sorter.
std::string RangeSums(const std::string& key, const std::string& from, const std::string& to) {
    const std::string select =
        "SELECT " + key + " AS " + key + ", SUM(duration) AS duration FROM applications WHERE ";
    return select + "date_created BETWEEN " + QuotedStr(from) + " AND " + QuotedStr(to) +
           " GROUP BY " + key + " UNION ALL " + select + "date_created IS NULL" + " GROUP BY " +
           key;
}

// Joins the per-key sums with the list table and adds one zero row per
// entry, so every entry is present once after grouping by name.
std::string TotalsSQL(const std::string& listTable, const std::string& sums,
                      const std::string& joinCondition) {
    return "SELECT x.caption AS caption, x.active AS active, x.name AS name, "
           "SUM(x.duration) AS total_duration FROM (SELECT l.caption AS caption, "
           "l.active AS active, l.name AS name, s.duration AS duration FROM " +
           listTable + " l JOIN (" + sums + ") s ON " + joinCondition +
           " UNION ALL SELECT l.caption AS caption, l.active AS active, l.name AS name, "
           "0 AS duration FROM " +
           listTable + " l) x GROUP BY x.name";
}

// One entry's sum per `conditions` as a branch of the applications' union,
// which adds the branches and one zero row per entry up per name.
std::string ApplicationBranch(const std::string& table, const std::string& conditions) {
    return "SELECT l.caption AS caption, l.active AS active, l.name AS name, (SELECT "
           "SUM(a.duration) FROM " +
           table + " a WHERE a.app_name = l.name AND a.origin = 1 AND " + conditions +
           ") AS duration FROM applications_list l UNION ALL ";
}

std::string ApplicationTotals(const std::string& branches) {
    return "SELECT x.caption AS caption, x.active AS active, x.name AS name, "
           "SUM(x.duration) AS total_duration FROM (" +
           branches +
           "SELECT l.caption AS caption, l.active AS active, l.name AS name, 0 AS duration "
           "FROM applications_list l) x GROUP BY x.name";
}

// How a range divides between the rows of its end hours and the hour sums in
// between. An hour is a row's first 13 characters of date_created (its hour
// key, "yyyy-mm-dd hh"); text comparison orders rows as their keys do, so
// every row of the range whose key lies strictly between the ends' keys is in
// a whole hour of the sums, and every other row of the range has the key of
// `from` or of `to`. That holds for any text in date_created, a row without
// the full form included; the ends themselves must be plain ASCII so that
// their keys are their first 13 bytes.
struct HourSplit {
    std::string firstHour;  // hour key of `from`
    std::string lastHour;   // hour key of `to`
    // Conditions on date_created picking the rows of the range with `from`'s
    // key and those with `to`'s, each as one lower and one upper bound, so
    // that the index reads only that hour; `a` qualifies the column.
    std::string firstHourRows;
    std::string lastHourRows;
    std::string FirstHourRows(const std::string& a) const { return Qualified(firstHourRows, a); }
    std::string LastHourRows(const std::string& a) const { return Qualified(lastHourRows, a); }

private:
    static std::string Qualified(std::string conditions, const std::string& a) {
        for (size_t at = conditions.find("date_created"); at != std::string::npos;
             at = conditions.find("date_created", at + a.size() + 1)) {
            conditions.insert(at, a);
        }
        return conditions;
    }
};

std::optional<HourSplit> SplitAtHours(const std::string& from, const std::string& to) {
    for (const std::string* end : {&from, &to}) {
        for (const char c : *end) {
            if (c < 0x20 || c > 0x7e) {
                return std::nullopt;
            }
        }
    }
    HourSplit split;
    split.firstHour = from.substr(0, 13);
    split.lastHour = to.substr(0, 13);
    // Within one hour (or an inverted range) there are no whole hours.
    if (split.firstHour >= split.lastHour) {
        return std::nullopt;
    }
    // From here `from` < `to`'s key <= `to`.
    if (from.size() < 13) {
        // A key shorter than 13 characters is the whole date_created.
        split.firstHourRows = "date_created = " + QuotedStr(from);
    } else {
        // Below the key with its last character raised: exactly the texts
        // starting with the key (a bound that is at most `to`).
        std::string above = split.firstHour;
        above.back() = char(above.back() + 1);
        split.firstHourRows =
            "date_created >= " + QuotedStr(from) + " AND date_created < " + QuotedStr(above);
    }
    split.lastHourRows =
        "date_created BETWEEN " + QuotedStr(split.lastHour) + " AND " + QuotedStr(to);
    return split;
}

}  // namespace

// Applications match by equality, so each entry's rows are one seek into the
// (app_name, origin, date_created, duration) index: no grouping sort of the
// range's rows, which over 90 days cost more than the rest of the query.
std::string ApplicationTotalsSQL(const std::string& from, const std::string& to) {
    return ApplicationTotals(
        ApplicationBranch("applications",
                          "a.date_created BETWEEN " + QuotedStr(from) + " AND " + QuotedStr(to)) +
        ApplicationBranch("applications", "a.date_created IS NULL"));
}

std::string WebSiteTotalsSQL(const std::string& from, const std::string& to) {
    return TotalsSQL("websites_list", RangeSums("browser_url", from, to),
                     "s.browser_url LIKE '%' || l.name || '%'");
}

// Each entry's sums are one seek into the (app_name, origin, hour, duration)
// index of the sums, its end hours one seek each into that of the rows.
std::string ApplicationHourTotalsSQL(const std::string& from, const std::string& to) {
    const auto split = SplitAtHours(from, to);
    if (!split) {
        return ApplicationTotalsSQL(from, to);
    }
    return ApplicationTotals(
        ApplicationBranch("applications_hours", "a.hour > " + QuotedStr(split->firstHour) +
                                                    " AND a.hour < " + QuotedStr(split->lastHour)) +
        ApplicationBranch("applications", split->FirstHourRows("a.")) +
        ApplicationBranch("applications", split->LastHourRows("a.")) +
        ApplicationBranch("applications_hours", "a.hour IS NULL"));
}

// The whole hours are a range of the sums' (hour, browser_url, ...) index,
// the end hours two short ranges of the date_created index; all of it summed
// per address before the list's LIKE join.
std::string WebSiteHourTotalsSQL(const std::string& from, const std::string& to) {
    const auto split = SplitAtHours(from, to);
    if (!split) {
        return WebSiteTotalsSQL(from, to);
    }
    const std::string rows =
        "SELECT browser_url AS browser_url, SUM(duration) AS duration FROM "
        "applications WHERE ";
    const std::string sums =
        "SELECT browser_url AS browser_url, SUM(duration) AS duration FROM applications_hours "
        "WHERE ";
    const std::string sumsPerUrl = sums + "hour > " + QuotedStr(split->firstHour) + " AND hour < " +
                                   QuotedStr(split->lastHour) + " GROUP BY browser_url UNION ALL " +
                                   rows + split->FirstHourRows("") +
                                   " GROUP BY browser_url UNION ALL " + rows +
                                   split->LastHourRows("") + " GROUP BY browser_url UNION ALL " +
                                   sums + "hour IS NULL GROUP BY browser_url";
    return TotalsSQL("websites_list", sumsPerUrl, "s.browser_url LIKE '%' || l.name || '%'");
}

}  // namespace tw
