#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"

// Looks at the report program from outside: runs it on a data folder and
// compares what it prints with the original totals queries.
namespace tw::bench {

// name -> total_duration of one totals query (NULL names are a name of their own).
using Totals = std::map<std::optional<std::string>, int64_t>;

// Runs a totals query (caption, active, name, total_duration) on an open database.
Totals QueryTotals(sqlite3* db, const std::string& sql);

// The range the report must use for a period at the moment `now`: "day" from
// the latest 04:00, "Today" from 04:00 of the calendar date, the others back
// from `now` by 1, 7, 14, 30 or 90 days.
TDateTime PeriodStart(const std::string& period, TDateTime now);

// Runs `program --data-folder folder --period P --at now` for each period and
// compares every printed line and the total with the reference queries
// (tests/storage/ReferenceTotalsQueries.h).
// Prints one line per period; true when all agree.
bool CheckReport(const std::string& program, const std::string& folder, TDateTime now,
                 const std::vector<std::string>& periods = {"day", "Last 3 months"});

// A missing folder, one without databases, one of text files and a truncated
// activity database: exit status 1, one line on stderr, nothing written.
bool CheckReportFailures(const std::string& program, const std::string& scratchFolder,
                         const std::string& templateFolder);

// "hh:nn" of a number of seconds, hours not wrapping at a day, seconds cut off.
std::string HoursMinutes(int64_t seconds);

}  // namespace tw::bench
