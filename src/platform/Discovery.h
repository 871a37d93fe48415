#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// What the discovery of installed programs reads from the system: the
// Start-menu shortcuts, the program folders and the uninstall entries, the
// running processes and the version strings of a program file. The rules
// that turn these into the wizard's lines live in detection/AppDiscovery.
// Every program path a source delivers is the form the foreground probe
// reports for a running copy of that program, so the two compare equal.
namespace tw {

// File attribute bits as folder listings report them; a folder is entered
// only when its attributes are exactly kFaDirectory.
inline constexpr uint32_t kFaReadOnly = 0x01;
inline constexpr uint32_t kFaHidden = 0x02;
inline constexpr uint32_t kFaSysFile = 0x04;
inline constexpr uint32_t kFaDirectory = 0x10;
inline constexpr uint32_t kFaArchive = 0x20;
inline constexpr uint32_t kFaSymLink = 0x400;

// The version strings of one program file, opened once.
class VersionResource {
public:
    virtual ~VersionResource() = default;
    // The first entry of the translation table: language and code page.
    virtual std::optional<std::pair<uint16_t, uint16_t>> Translation() = 0;
    // The text stored under a sub-block such as "StringFileInfo\040904B0\FileDescription".
    virtual std::optional<std::string> QueryString(const std::string& subBlock) = 0;
};

class VersionInfoSource {
public:
    virtual ~VersionInfoSource() = default;
    // Null when the file has no version information or it cannot be read.
    virtual std::unique_ptr<VersionResource> ReadVersionResource(const std::string& fileName) = 0;
    // Display name of a language identifier ("English (United States)").
    virtual std::string LanguageName(uint16_t language) = 0;
};

// A shortcut's target as the shell hands it over, long form, variables expanded.
struct ShortcutTarget {
    std::string target;
    // The caption the shortcut shows, when it carries one of its own; empty
    // means the shortcut's file name without its extension.
    std::string caption;
};

// Where the programs are installed, read from the system's configuration.
struct ProgramFilesResult {
    enum class Status { Ok, ConnectFailed, KeyFailed };
    Status status = Status::Ok;
    std::vector<std::string> folders;
};

struct UninstallValue {
    bool plainString = true;  // false: an expandable string or another type
    std::string text;
};

struct UninstallEntry {
    std::string key;  // the subkey name
    std::vector<UninstallValue> values;
};

struct FolderEntry {
    std::string name;         // as listed in the folder
    uint32_t attributes = 0;  // kFa... bits
    bool program = false;     // a program file (what the system starts)
    std::string path;         // program: its full path with links resolved
};

// One process as the process query returns it: its owner and its properties.
struct ProcessRecord {
    std::optional<std::string> owner;  // nullopt: the owner could not be had
    std::vector<std::pair<std::string, std::string>> properties;
};

class Discovery : public VersionInfoSource {
public:
    // Path separator of the paths this source delivers.
    virtual char PathDelimiter() const = 0;
    // Whether paths differing only in letter case name the same file.
    virtual bool PathsIgnoreCase() const = 0;

    // The files the two Start menus show (the shared one and the user's),
    // full paths, in any order.
    virtual std::vector<std::string> StartMenuFiles() = 0;
    // Whether a collected file is a shortcut (".lnk", ".desktop").
    virtual bool IsShortcutFile(const std::string& path) = 0;
    // Raises an error of the common base when the shortcut cannot be read.
    virtual ShortcutTarget ResolveShortcut(const std::string& path) = 0;
    // The raw bytes of a shortcut file; empty when it cannot be read.
    virtual std::vector<uint8_t> ReadFileBytes(const std::string& path) = 0;
    // Whether a path names a program file (the ".exe" test).
    virtual bool IsProgramFile(const std::string& path) = 0;

    // The program-files folders of the named computer.
    virtual ProgramFilesResult ProgramFilesFolders(const std::string& computerName) = 0;
    // The operating system's own folder, ending with a separator; empty when
    // the system has none apart from the program folders.
    virtual std::string WindowsFolder() = 0;
    // Entries of the installed-programs register, in any order.
    virtual std::vector<UninstallEntry> UninstallEntries() = 0;
    virtual bool DirectoryExists(const std::string& folder) = 0;
    // The entries of a folder (without "." and ".."), sorted by name.
    virtual std::vector<FolderEntry> ListFolder(const std::string& folder) = 0;

    // Runs the process query on the named computer and hands over the
    // processes one by one; raises an error of the common base when the
    // query service fails, which may happen part way.
    virtual void QueryProcesses(const std::string& computerName, const std::string& query,
                                const std::function<void(const ProcessRecord&)>& each) = 0;
    // The user name of this process; raises EOSError when it cannot be had.
    virtual std::string CurrentUserName() = 0;
    virtual std::string ComputerName() = 0;
};

}  // namespace tw
