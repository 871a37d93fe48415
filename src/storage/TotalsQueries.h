#pragma once

#include <string>

// The per-entry totals of a range that the activity log loads. Sites select
// the range's activity through the date_created index and sum it per address
// before matching the list; applications sum each listed program's range
// through the app_name index. Either way a day's totals cost only that day's
// rows. Columns: caption, active, name, total_duration (integer); one
// row per distinct name of the list table, 0 where nothing matched.
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

// `from` and `to` are "yyyy-mm-dd hh:nn:ss" texts.
std::string ApplicationTotalsSQL(const std::string& from, const std::string& to);
std::string WebSiteTotalsSQL(const std::string& from, const std::string& to);

}  // namespace tw
