#include "storage/TotalsQueries.h"

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

}  // namespace

// Applications match by equality, so each entry's rows are one seek into the
// (app_name, origin, date_created, duration) index: no grouping sort of the
// range's rows, which over 90 days cost more than the rest of the query.
std::string ApplicationTotalsSQL(const std::string& from, const std::string& to) {
    const std::string entrySum =
        "(SELECT SUM(a.duration) FROM applications a WHERE a.app_name = l.name AND "
        "a.origin = 1 AND ";
    const std::string entry = "SELECT l.caption AS caption, l.active AS active, l.name AS name, ";
    return "SELECT x.caption AS caption, x.active AS active, x.name AS name, "
           "SUM(x.duration) AS total_duration FROM (" +
           entry + entrySum + "a.date_created BETWEEN " + QuotedStr(from) + " AND " +
           QuotedStr(to) + ") AS duration FROM applications_list l UNION ALL " + entry + entrySum +
           "a.date_created IS NULL) AS duration FROM applications_list l UNION ALL " + entry +
           "0 AS duration FROM applications_list l) x GROUP BY x.name";
}

std::string WebSiteTotalsSQL(const std::string& from, const std::string& to) {
    return TotalsSQL("websites_list", RangeSums("browser_url", from, to),
                     "s.browser_url LIKE '%' || l.name || '%'");
}

}  // namespace tw
