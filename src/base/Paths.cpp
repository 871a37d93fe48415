#include "base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sqlite3.h>
#include <stdio.h>
#include <time.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "base/WriteLog.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

StartupPaths& Current() {
    static StartupPaths paths;
    return paths;
}

int& LockDescriptor() {
    static int fd = -1;
    return fd;
}

std::string WithSeparator(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ReadExeLink() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

}  // namespace

void ForceDirectories(const std::string& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec && !fs::is_directory(path)) {
        RaiseLastOSError(ec.value());
    }
}

StartupPaths ComputeStartupPaths() {
    StartupPaths paths;
    const fs::path exe = ReadExeLink();
    paths.programFolder = WithSeparator(exe.parent_path().string());
    paths.exeBaseName = exe.stem().string();

    std::string appData;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
        appData = xdg;  // relative values are invalid and ignored
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        appData = std::string(home) + "/.local/share";
    }
    if (appData.empty()) {
        throw EOSError(0, "Failed to get Application Data folder");
    }
    paths.dataFolder = WithSeparator(appData) + "Tallyward/";
    try {
        ForceDirectories(paths.dataFolder);
    } catch (const EOSError&) {
        throw EOSError(0, "Failed to get Application Data folder");
    }
    return paths;
}

void InitPaths(StartupPaths paths) {
    paths.programFolder = WithSeparator(std::move(paths.programFolder));
    paths.dataFolder = WithSeparator(std::move(paths.dataFolder));
    Current() = std::move(paths);
    SetLogFileName(LogFilePath());
}

const std::string& ProgramFolder() {
    return Current().programFolder;
}
const std::string& ExeBaseName() {
    return Current().exeBaseName;
}
const std::string& DataFolder() {
    return Current().dataFolder;
}
std::string LockFileName() {
    return DataFolder() + "Tallyward.lock";
}
std::string FlagFileName() {
    return DataFolder() + "Tallyward.flag";
}
std::string GetSettingsDBFileName() {
    return DataFolder() + "settings.sqlite";
}
std::string GetActivityDBFileName() {
    return DataFolder() + "actmondb.sqlite";
}
// The companion tools (report, probe) share the program's files, so the
// file names use the program's base name rather than each tool's own.
std::string IniFileName() {
    return DataFolder() + "tallyward.ini";
}
std::string LogFilePath() {
    return DataFolder() + "tallyward.log";
}
std::string SkinsFolder() {
    return ProgramFolder() + "Skins/";
}
std::string UninstallFlagFileName() {
    return ProgramFolder() + "uninstall.flag";
}

std::string ProgramFilePath() {
    static const std::string path = ReadExeLink();
    return path;
}

bool AcquireSingleInstanceLock() {
    const std::string name = LockFileName();
    ForceDirectories(fs::path(name).parent_path().string());
    // A copy that opened the file just before its holder deleted it locks a
    // file no longer at the path, while the next copy creates and locks a new
    // one: a lock counts only when the file locked is the one at the path.
    // Each retry follows a release by another copy, so a few always suffice.
    for (int attempt = 0; attempt < 100; ++attempt) {
        // O_CREAT on an existing file opens it untouched; a file left by a
        // crashed run is no obstacle, only a held lock is.
        const int fd = ::open(name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int error = errno;
            throw EOSError(
                error, "Unable to create \"" + name + "\" file\nError: " + SysErrorMessage(error));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        struct stat locked {};
        struct stat current {};
        if (::fstat(fd, &locked) != 0 || ::stat(name.c_str(), &current) != 0 ||
            locked.st_dev != current.st_dev || locked.st_ino != current.st_ino) {
            ::close(fd);
            continue;
        }
        if (LockDescriptor() >= 0)
            ::close(LockDescriptor());
        LockDescriptor() = fd;
        return true;
    }
    return false;
}

void ReleaseSingleInstanceLock() {
    if (LockDescriptor() < 0)
        return;
    // Deleted while still held, so no copy can lock it after the close and
    // count it as held: one that opened it before the deletion finds it gone
    // from the path and starts over on a new file.
    ::unlink(LockFileName().c_str());
    ::close(LockDescriptor());
    LockDescriptor() = -1;
}

void RemoveStaleTemporaries(const std::string& pattern) {
    const fs::path path(pattern);
    const std::string prefix = path.filename().string();
    const auto isTemporaryName = [&](const std::string& name) {
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            return false;
        return std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
    };
    const std::string folder = path.has_parent_path() ? path.parent_path().string() : ".";
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (!isTemporaryName(entry.path().filename().string()))
            continue;
        struct stat st {};
        if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_mtim.tv_sec < now.tv_sec - kStaleTemporarySeconds) {
            ::unlink(entry.path().c_str());
        }
    }
}

namespace {

// Named apart from anything a user would call a copy of a database, since
// leftovers of this name are deleted.
constexpr const char* kSeedingInfix = ".seeding-";

enum class DatabaseState { Missing, WithoutTables, WithTables, Unreadable };

// How a database file of the data folder looks, read only: nothing is
// created or changed. `problem` says why an unreadable one is unreadable.
DatabaseState InspectDatabase(const std::string& path, std::string& problem) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return DatabaseState::Missing;
        problem = SysErrorMessage(errno);
        return DatabaseState::Unreadable;
    }
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        problem = "not a file";
        return DatabaseState::Unreadable;
    }
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(db, 1000);
        rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_master WHERE type = 'table'", -1,
                                &stmt, nullptr);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_step(stmt);
    DatabaseState state = DatabaseState::Unreadable;
    if (rc == SQLITE_ROW) {
        state = sqlite3_column_int(stmt, 0) > 0 ? DatabaseState::WithTables
                                                : DatabaseState::WithoutTables;
    } else {
        problem = db ? sqlite3_errmsg(db) : "out of memory";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return state;
}

[[noreturn]] void RaiseCopyError(const std::string& from, const std::string& to, int error) {
    throw EOSError(error, "Unable to copy \"" + from + "\" to \"" + to +
                              "\"\nError: " + SysErrorMessage(error));
}

// Copies to a temporary name beside `to` and renames it into place, so a
// crash leaves either no database or a whole one. Without `replace` an
// existing `to` is never overwritten.
void CopyWhole(const std::string& from, const std::string& to, bool replace) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        RaiseCopyError(from, to, errno);
    std::string temp = to + kSeedingInfix + "XXXXXX";
    const int out = ::mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        RaiseCopyError(from, to, error);
    }
    int error = 0;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; done < n && error == 0;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno != EINTR)
                error = errno;
            done += w > 0 ? w : 0;
        }
        if (error != 0)
            break;
    }
    ::close(in);
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error == 0) {
        int rc = ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, to.c_str(),
                             replace ? 0u : unsigned(RENAME_NOREPLACE));
        if (rc != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename: a hard link
            // refuses an existing name the same way.
            rc = ::link(temp.c_str(), to.c_str());
        }
        if (rc != 0)
            error = errno;
    }
    ::unlink(temp.c_str());  // gone already after a rename
    if (error != 0)
        RaiseCopyError(from, to, error);
    const int dir = ::open(fs::path(to).parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

void CopyDatabaseTemplates() {
    struct Seed {
        std::string source;
        std::string target;
        bool replace;
    };
    std::vector<Seed> seeds;
    for (const std::string& name :
         {std::string("settings.sqlite"), std::string("actmondb.sqlite")}) {
        std::string target = DataFolder() + name;
        std::string problem;
        switch (InspectDatabase(target, problem)) {
            case DatabaseState::WithTables:
                break;
            case DatabaseState::Unreadable:
                // Never written over: it may hold the user's data.
                WriteLog("CopyDatabaseTemplates: \"" + target +
                         "\" is not readable as a database and is left as it is: " + problem);
                break;
            case DatabaseState::Missing:
                seeds.push_back({ProgramFolder() + name, std::move(target), false});
                break;
            case DatabaseState::WithoutTables:
                // Left by an older build: it holds nothing of the user's.
                if (char* real = ::realpath(target.c_str(), nullptr)) {
                    target = real;
                    std::free(real);
                }
                seeds.push_back({ProgramFolder() + name, std::move(target), true});
                break;
        }
    }
    // All templates are checked first, so a refusal leaves the folder untouched.
    for (const Seed& seed : seeds) {
        if (!FileExistsOnVolume(seed.source)) {
            throw EOSError(ENOENT, "Cannot create the database \"" + seed.target +
                                       "\": its template \"" + seed.source + "\" is missing");
        }
    }
    if (seeds.empty())
        return;
    ForceDirectories(DataFolder());
    for (const Seed& seed : seeds) {
        RemoveStaleTemporaries(seed.target + kSeedingInfix);
        CopyWhole(seed.source, seed.target, seed.replace);
    }
}

bool FileExistsOnVolume(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExistsOnVolume(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const FormatSettings& DecimalCommaFormat() {
    static const FormatSettings settings{',', ':'};
    return settings;
}

}  // namespace tw
