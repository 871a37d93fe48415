#include "storage/TotalsQueries.h"

#include "base/Strings.h"

namespace tw {

namespace {

// Sums of the range's rows per `key`, then of the undated rows (which the
// original queries count whatever the range) per `key`. Two grouped branches
// rather than an OR, so each is one index lookup and feeds its own sorter.
std::string RangeSums(const std::string& key, const std::string& from, const std::string& to,
                      const std::string& extraCondition) {
    const std::string select =
        "SELECT " + key + " AS " + key + ", SUM(duration) AS duration FROM applications WHERE ";
    const std::string extra = extraCondition.empty() ? "" : " AND " + extraCondition;
    return select + "date_created BETWEEN " + QuotedStr(from) + " AND " + QuotedStr(to) + extra +
           " GROUP BY " + key + " UNION ALL " + select + "date_created IS NULL" + extra +
           " GROUP BY " + key;
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
    return TotalsSQL("applications_list", RangeSums("app_name", from, to, "origin = 1"),
                     "l.name = s.app_name");
}

std::string WebSiteTotalsSQL(const std::string& from, const std::string& to) {
    return TotalsSQL("websites_list", RangeSums("browser_url", from, to, ""),
                     "s.browser_url LIKE '%' || l.name || '%'");
}

}  // namespace tw
