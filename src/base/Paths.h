#pragma once

#include <string>

// The program's folders and files, the single-instance lock and the seeding
// of a new user's data folder. Folder values end with a separator.
namespace tw {

struct StartupPaths {
    std::string programFolder;  // folder of the running executable
    std::string exeBaseName;    // its file name without extension
    std::string dataFolder;     // $XDG_DATA_HOME/Tallyward/ or ~/.local/share/Tallyward/
};

// Computes the start-up values from /proc/self/exe and the environment and
// creates the data folder with its parents. EOSError "Failed to get
// Application Data folder" when neither XDG_DATA_HOME nor HOME gives one.
StartupPaths ComputeStartupPaths();
// Sets the values every other unit reads (tests point them at temporary folders).
void InitPaths(StartupPaths paths);

const std::string& ProgramFolder();
const std::string& ExeBaseName();
const std::string& DataFolder();
std::string LockFileName();
std::string FlagFileName();
std::string GetSettingsDBFileName();
std::string GetActivityDBFileName();
std::string IniFileName();
std::string LogFilePath();
std::string SkinsFolder();
std::string UninstallFlagFileName();

// The full path of the running program file (for the list's self check).
std::string ProgramFilePath();

// True when this process now holds the lock. Raises the two-line error
// when the lock file cannot be created.
bool AcquireSingleInstanceLock();
void ReleaseSingleInstanceLock();

// Seeds each database of the data folder that is missing, or that holds no
// table, from its template in the program folder; a database with tables,
// and a file that cannot be read as a database, are never replaced (the
// latter is logged). Copies are whole or absent. EOSError naming the
// template when one is needed and missing (then nothing is copied), or when
// a copy fails.
void CopyDatabaseTemplates();

// Removes the files named `pattern` followed by six letters or digits (the
// temporaries of mkstemp) that a write killed before its rename left behind:
// only those untouched for kStaleTemporarySeconds, since a live writer
// renames its temporary within moments.
inline constexpr long kStaleTemporarySeconds = 60;
void RemoveStaleTemporaries(const std::string& pattern);

// Existence tests that answer false instead of failing on an unreachable volume.
bool FileExistsOnVolume(const std::string& path);
bool DirectoryExistsOnVolume(const std::string& path);

// Creates a folder and its parents; EOSError on failure.
void ForceDirectories(const std::string& path);

// Number formats of the user's locale with "," as the decimal separator:
// stored decimals always use a comma, whatever the locale.
struct FormatSettings {
    char decimalSeparator = ',';
    char timeSeparator = ':';
};
const FormatSettings& DecimalCommaFormat();

}  // namespace tw
