#include "ActivityDataGenerator.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <stdexcept>

namespace tw::bench {

namespace {

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
    throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "no connection"));
}

// Finalises a statement however the function is left.
struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            Fail(db, std::string("prepare ") + sql);
        }
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

void StepDone(sqlite3* db, sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        Fail(db, "insert");
    }
    sqlite3_reset(stmt);
}

}  // namespace

sqlite3* OpenDatabase(const std::string& fileName) {
    sqlite3* db = nullptr;
    if (sqlite3_open(fileName.c_str(), &db) != SQLITE_OK) {
        const std::string message = db ? sqlite3_errmsg(db) : "unknown error";
        sqlite3_close(db);
        throw std::runtime_error("cannot open " + fileName + ": " + message);
    }
    sqlite3_db_config(db, SQLITE_DBCONFIG_DQS_DML, 1, nullptr);
    return db;
}

void Exec(sqlite3* db, const std::string& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
        const std::string message = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error(message + " in: " + sql.substr(0, 200));
    }
}

std::vector<ListEntry> MakeList(int applications, int sites) {
    std::vector<ListEntry> list;
    char text[128];
    for (int i = 0; i < applications; ++i) {
        std::snprintf(text, sizeof text, "/opt/tool%02d/bin/tool%02d", i, i);
        ListEntry entry{text, "", 1, true};
        std::snprintf(text, sizeof text, "Tool %02d", i);
        entry.caption = text;
        list.push_back(entry);
    }
    for (int i = 0; i < sites; ++i) {
        if (i % 5 == 4) {
            std::snprintf(text, sizeof text, "mail.site%02d.example.org", i - 1);
        } else {
            std::snprintf(text, sizeof text, "site%02d.example.org", i);
        }
        ListEntry entry{text, "", 2, true};
        std::snprintf(text, sizeof text, "Site %02d", i);
        entry.caption = text;
        list.push_back(entry);
    }
    return list;
}

int64_t TicksPerDay(const ActivityProfile& profile) {
    return profile.secondsPerDay / profile.tickSeconds;
}

int64_t GenerateActivity(sqlite3* db, const ActivityProfile& profile,
                         const std::vector<ListEntry>& list) {
    if (list.empty() || profile.tickSeconds <= 0 || profile.ticksPerSession <= 0) {
        throw std::invalid_argument("GenerateActivity: empty list or bad profile");
    }
    std::mt19937 random(profile.seed);
    std::uniform_int_distribution<size_t> pick(0, list.size() - 1);
    const int64_t ticksPerDay = TicksPerDay(profile);
    const int endDay = static_cast<int>(profile.end);

    Exec(db, "BEGIN");
    int64_t rows = 0;
    try {
        Statement insert(db,
                         "INSERT INTO applications(date_created, app_name, browser_url, app_type, "
                         "duration, origin) VALUES(?, ?, ?, ?, ?, ?)");
        const std::string browser = "/usr/lib/firefox/firefox";
        const ListEntry* entry = &list[0];
        for (int d = profile.days - 1; d >= 0; --d) {
            const std::string date = FormatDateText(endDay - d);
            for (int64_t t = 0; t < ticksPerDay; ++t) {
                if (t % profile.ticksPerSession == 0) {
                    entry = &list[pick(random)];
                }
                const int64_t second = profile.firstTickSecondOfDay + t * profile.tickSeconds;
                char moment[32];
                std::snprintf(moment, sizeof moment, "%s %02d:%02d:%02d", date.c_str(),
                              static_cast<int>(second / 3600 % 24),
                              static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
                sqlite3_bind_text(insert.stmt, 1, moment, -1, SQLITE_TRANSIENT);
                if (entry->itemType == 2) {
                    BindText(insert.stmt, 2, browser);
                    BindText(insert.stmt, 3, entry->name);
                    BindText(insert.stmt, 4, "Mozila FireFox");
                    sqlite3_bind_int(insert.stmt, 6, 2);
                } else {
                    BindText(insert.stmt, 2, entry->name);
                    BindText(insert.stmt, 3, "");
                    BindText(insert.stmt, 4, "Desktop Application");
                    sqlite3_bind_int(insert.stmt, 6, 1);
                }
                sqlite3_bind_int(insert.stmt, 5, profile.tickSeconds);
                StepDone(db, insert.stmt);
                ++rows;
            }
        }
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    Exec(db, "COMMIT");
    return rows;
}

void WriteList(sqlite3* db, const std::vector<ListEntry>& list) {
    Exec(db, "BEGIN");
    try {
        Exec(db, "DELETE FROM applications_list");
        Exec(db, "DELETE FROM websites_list");
        Statement apps(db, "INSERT INTO applications_list(name, caption, active) VALUES(?, ?, ?)");
        Statement sites(db, "INSERT INTO websites_list(name, caption, active) VALUES(?, ?, ?)");
        for (const auto& entry : list) {
            sqlite3_stmt* stmt = entry.itemType == 2 ? sites.stmt : apps.stmt;
            BindText(stmt, 1, entry.name);
            BindText(stmt, 2, entry.caption);
            sqlite3_bind_int(stmt, 3, entry.active ? 1 : 0);
            StepDone(db, stmt);
        }
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    Exec(db, "COMMIT");
}

void CreateDataFolder(const std::string& folder, const std::string& templateFolder,
                      const ActivityProfile& profile, const std::vector<ListEntry>& list) {
    namespace fs = std::filesystem;
    fs::create_directories(folder);
    for (const char* name : {"settings.sqlite", "actmondb.sqlite"}) {
        fs::copy_file(templateFolder + name, folder + name, fs::copy_options::overwrite_existing);
    }
    sqlite3* settings = OpenDatabase(folder + "settings.sqlite");
    sqlite3* activity = nullptr;
    try {
        WriteList(settings, list);
        activity = OpenDatabase(folder + "actmondb.sqlite");
        WriteList(activity, list);
        GenerateActivity(activity, profile, list);
    } catch (...) {
        sqlite3_close(settings);
        sqlite3_close(activity);
        throw;
    }
    sqlite3_close(settings);
    sqlite3_close(activity);
}

}  // namespace tw::bench
