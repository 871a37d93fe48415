#pragma once

#include <string>
#include <vector>

// Per-hour sums of the activity table, so that a long period's totals read a
// few thousand sums instead of every tick. applications_hours holds, per hour
// (the first 13 characters of date_created, "yyyy-mm-dd hh"), program file,
// address, origin and kind of duration, the number of rows and their summed
// duration; triggers on the activity table keep it in step within the row's
// own statement, whichever program writes the rows.
//
// The template activity database carries the table. A database from before
// it, or one whose sums cannot be trusted, gets it built from the rows at
// start-up: the one place where the program creates a table.
namespace tw {

class TSQLiteDatabase;

// The table, its indexes and its triggers, as created (and as the template
// activity database holds them).
const std::vector<std::string>& HourSumsSchema();

// Whether the sums table, its indexes and triggers are exactly those of
// HourSumsSchema (whitespace aside) and nothing else is attached to the
// table. Cheap: reads only the schema. Throws when the schema cannot be read.
bool HourSumsSchemaSound(TSQLiteDatabase& db);

// Whether the sums add up to the rows, as far as a cheap look shows: the
// same number of rows in all, and for each hour from a day before the latest
// row on the same rows and integer durations. Older hours are compared only
// through the count (one pass over the smallest index of the rows, where a
// full comparison would read every row). Throws when either table cannot be
// read.
bool HourSumsAgree(TSQLiteDatabase& db);

// The statements of a rebuild: drop whatever holds the sums' names, create
// them anew and fill the table from the rows.
std::vector<std::string> HourSumsRebuildSQL();
// Runs them in one transaction: all of it or, on failure (thrown), nothing.
void RebuildHourSums(TSQLiteDatabase& db);

enum class THourSumsStart {
    Sound,        // schema and sums checked, nothing done
    Built,        // were missing or damaged, rebuilt from the rows
    Unavailable,  // no activity table, or the rebuild failed: totals read the rows
};

// The start-up step: checks the sums of the activity database and rebuilds
// them when missing or not trusted, logging one line. Never throws; when the
// sums are left unusable, the totals of this process read the rows.
THourSumsStart PrepareHourSums();

// Whether the totals of this process may read the sums of the activity
// database: not distrusted at start-up and HourSumsSchemaSound. False when
// the schema cannot be read.
bool UseHourSums(TSQLiteDatabase& db);
// Read-only users (the report) that find the sums disagreeing with the rows
// keep to the rows for the rest of the process.
void DistrustHourSums(bool distrust) noexcept;

}  // namespace tw
