#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/DateTime.h"

struct sqlite3;

// Builds data folders with a known time-limit list and activity table, for
// the benchmarks and for tests that look at the program from outside.
namespace tw::bench {

struct ListEntry {
    std::string name;
    std::string caption;
    int itemType = 1;  // 1 application, 2 web site
    bool active = true;
};

struct ActivityProfile {
    int days = 90;                        // the last one is the day of `end`
    TDateTime end = 0;                    // only its date is used
    int firstTickSecondOfDay = 9 * 3600;  // 09:00
    int secondsPerDay = 8 * 3600;         // time on listed items per day
    int tickSeconds = 3;
    int ticksPerSession = 20;  // ticks before switching to another entry
    int applications = 40;
    int sites = 40;
    uint32_t seed = 1;
};

// `applications` program paths and `sites` addresses; every fifth site is a
// sub-domain of the one before it, so an address counts for two entries.
std::vector<ListEntry> MakeList(int applications, int sites);

// Rows of the activity table per day and in all.
int64_t TicksPerDay(const ActivityProfile& profile);

// Appends the profile's activity in one transaction with a prepared insert,
// the way the scan cycle writes it: site ticks carry the entry's name as the
// address and origin 2, application ticks origin 1. Returns the rows written.
int64_t GenerateActivity(sqlite3* db, const ActivityProfile& profile,
                         const std::vector<ListEntry>& list);

// Writes the list into both list tables of a database, replacing their rows.
void WriteList(sqlite3* db, const std::vector<ListEntry>& list);

// Creates `folder` (ending with a separator) as a data folder: the template
// databases from `templateFolder`, the list in both, the activity in actmondb.
void CreateDataFolder(const std::string& folder, const std::string& templateFolder,
                      const ActivityProfile& profile, const std::vector<ListEntry>& list);

// Small helpers over the C API; they throw std::runtime_error with the library's message.
sqlite3* OpenDatabase(const std::string& fileName);
void Exec(sqlite3* db, const std::string& sql);

}  // namespace tw::bench
