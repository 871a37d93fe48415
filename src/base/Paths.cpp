#include "base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

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
    // O_CREAT on an existing file opens it untouched; a file left by a
    // crashed run is no obstacle, only a held lock is.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        throw EOSError(error,
                       "Unable to create \"" + name + "\" file\nError: " + SysErrorMessage(error));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    if (LockDescriptor() >= 0)
        ::close(LockDescriptor());
    LockDescriptor() = fd;
    return true;
}

void ReleaseSingleInstanceLock() {
    if (LockDescriptor() < 0)
        return;
    // Delete while still holding the lock, so a starting copy cannot lock a
    // file that is about to vanish.
    ::unlink(LockFileName().c_str());
    ::close(LockDescriptor());
    LockDescriptor() = -1;
}

void CopyDatabaseTemplates() {
    const std::string settings = "settings.sqlite";
    const std::string activity = "actmondb.sqlite";
    if (FileExistsOnVolume(DataFolder() + settings) ||
        !FileExistsOnVolume(ProgramFolder() + settings)) {
        return;
    }
    ForceDirectories(DataFolder());
    std::error_code ec;
    fs::copy_file(ProgramFolder() + settings, DataFolder() + settings,
                  fs::copy_options::skip_existing, ec);
    fs::copy_file(ProgramFolder() + activity, DataFolder() + activity,
                  fs::copy_options::overwrite_existing, ec);
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
