#pragma once

#include <string>

// The per-entry totals of a range that the activity log loads. Columns:
// caption, active, name, total_duration (integer); one row per distinct name
// of the list table, 0 where nothing matched.
//
// Counting rules, kept from the first per-row joins (the reference queries in
// tests/storage/ReferenceTotalsQueries.h, which the tests compare with):
// - both range ends are included (text comparison of "yyyy-mm-dd hh:nn:ss");
// - activity rows without a date_created count whatever the range;
// - applications count rows of origin 1 whose app_name equals the name;
// - web sites count rows of any origin whose browser_url is LIKE '%name%'
//   (ASCII case ignored, '%' and '_' in the name act as wildcards);
// - a row matching several entries counts for each of them, and a name
//   listed twice counts its rows twice.
namespace tw {

// From the activity rows alone, for a database without the hour sums. Sites
// select the range's activity through the date_created index and sum it per
// address before matching the list; applications sum each listed program's
// range through the app_name index. A day's totals cost only that day's rows,
// a long period every row of it. `from` and `to` are "yyyy-mm-dd hh:nn:ss".
std::string ApplicationTotalsSQL(const std::string& from, const std::string& to);
std::string WebSiteTotalsSQL(const std::string& from, const std::string& to);

// The same totals from the hour sums of HourSums.h: the hours strictly
// between the hour of `from` and that of `to` (and the undated rows) come
// from applications_hours, only the rows of those two end hours from the
// activity table. A range inside one hour reads the rows alone.
std::string ApplicationHourTotalsSQL(const std::string& from, const std::string& to);
std::string WebSiteHourTotalsSQL(const std::string& from, const std::string& to);

}  // namespace tw
