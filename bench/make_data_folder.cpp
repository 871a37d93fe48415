// Writes a data folder for the start-up benchmark: the template databases,
// the generator's list (40 programs, 40 sites), DAYS days of a heavy user's
// activity up to today (9,600 rows a day), and the settings of a user past
// the first run who scans every 3 seconds.
//
//   tw_bench_data_folder DIR TEMPLATE-DIR DAYS
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <string>

#include "ActivityDataGenerator.h"

int main(int argc, char** argv) {
    using namespace tw;
    using namespace tw::bench;
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s DIR TEMPLATE-DIR DAYS\n", argv[0]);
        return 2;
    }
    try {
        const auto withSlash = [](std::string folder) {
            return folder.back() == '/' ? folder : folder + '/';
        };
        const std::string folder = withSlash(argv[1]);
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        ActivityProfile profile;
        profile.days = std::stoi(argv[3]);
        profile.end = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        CreateDataFolder(folder, withSlash(argv[2]), profile, MakeList(40, 40));

        sqlite3* settings = OpenDatabase(folder + "settings.sqlite");
        try {
            Exec(settings,
                 "DELETE FROM settings WHERE name IN ('IsNotFirstRun', 'ScanPeriodSeconds');"
                 "INSERT INTO settings(name, value) VALUES('IsNotFirstRun', '1'), "
                 "('ScanPeriodSeconds', '3');");
        } catch (...) {
            sqlite3_close(settings);
            throw;
        }
        sqlite3_close(settings);
        std::printf("%lld activity rows\n",
                    static_cast<long long>(TicksPerDay(profile) * profile.days));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tw_bench_data_folder: %s\n", e.what());
        return 1;
    }
}
