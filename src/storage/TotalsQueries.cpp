#include "storage/TotalsQueries.h"

#include "base/Strings.h"

namespace tw {

namespace {

// Activity rows of the range, plus those without a date. Two branches
// rather than an OR, so each is an index lookup.
std::string RangeRows(const std::string& columns, const std::string& from, const std::string& to,
                      const std::string& extraCondition) {
    const std::string extra = extraCondition.empty() ? "" : " AND " + extraCondition;
    return "SELECT " + columns + " FROM applications WHERE date_created BETWEEN " +
           QuotedStr(from) + " AND " + QuotedStr(to) + extra + " UNION ALL SELECT " + columns +
           " FROM applications WHERE date_created IS NULL" + extra;
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

}  // namespace

std::string ApplicationTotalsSQL(const std::string& from, const std::string& to) {
    const std::string sums = "SELECT r.app_name AS app_name, SUM(r.duration) AS duration FROM (" +
                             RangeRows("app_name, duration", from, to, "origin = 1") +
                             ") r GROUP BY r.app_name";
    return TotalsSQL("applications_list", sums, "l.name = s.app_name");
}

std::string WebSiteTotalsSQL(const std::string& from, const std::string& to) {
    const std::string sums =
        "SELECT r.browser_url AS browser_url, SUM(r.duration) AS duration FROM (" +
        RangeRows("browser_url, duration", from, to, "") + ") r GROUP BY r.browser_url";
    return TotalsSQL("websites_list", sums, "s.browser_url LIKE '%' || l.name || '%'");
}

}  // namespace tw
