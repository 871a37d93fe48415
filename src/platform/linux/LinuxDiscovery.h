#pragma once

#include <sys/types.h>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Discovery.h"

// Installed and running programs on Linux.
//
// The Start menu is the XDG .desktop entries of the applications folders
// (the user's first; the first folder holding a desktop-file ID wins, so a
// user's Hidden copy removes a system entry). A shortcut's target is the
// first word of Exec= found through PATH, its caption Name= (localised for
// the messages locale). Program folders are the usual binary folders and the
// Flatpak and Snap export folders that exist. A program file is a regular
// file with an execute bit. Running processes are /proc/*/exe. The version
// strings of a program are the Name, GenericName and Comment of the desktop
// entry that starts it. Every program path is the real path with symbolic
// links resolved, which is what /proc/PID/exe shows for a running copy.
namespace tw {

struct LinuxDiscoveryConfig {
    std::vector<std::string> applicationFolders;  // .desktop folders, in precedence order
    std::vector<std::string> programFolders;      // candidates; missing ones are left out
    std::vector<std::string> searchPath;          // PATH, in order
    std::string messagesLocale;                   // "de_DE.UTF-8@euro"; empty: unlocalised
};

// From XDG_DATA_HOME, XDG_DATA_DIRS, HOME, PATH and LC_ALL/LC_MESSAGES/LANG.
LinuxDiscoveryConfig LinuxDiscoveryConfigFromEnvironment();

class LinuxDiscovery final : public Discovery {
public:
    explicit LinuxDiscovery(LinuxDiscoveryConfig config);
    ~LinuxDiscovery() override;
    LinuxDiscovery(const LinuxDiscovery&) = delete;
    LinuxDiscovery& operator=(const LinuxDiscovery&) = delete;

    char PathDelimiter() const override { return '/'; }
    bool PathsIgnoreCase() const override { return false; }
    // Re-reads the applications folders: what was installed since is seen.
    std::vector<std::string> StartMenuFiles() override;
    bool IsShortcutFile(const std::string& path) override;
    ShortcutTarget ResolveShortcut(const std::string& path) override;
    std::vector<uint8_t> ReadFileBytes(const std::string& path) override;
    bool IsProgramFile(const std::string& path) override;
    ProgramFilesResult ProgramFilesFolders(const std::string& computerName) override;
    std::string WindowsFolder() override { return {}; }
    std::vector<UninstallEntry> UninstallEntries() override { return {}; }
    bool DirectoryExists(const std::string& folder) override;
    std::vector<FolderEntry> ListFolder(const std::string& folder) override;
    void QueryProcesses(const std::string& computerName, const std::string& query,
                        const std::function<void(const ProcessRecord&)>& each) override;
    std::string CurrentUserName() override;
    std::string ComputerName() override;
    std::unique_ptr<VersionResource> ReadVersionResource(const std::string& fileName) override;
    std::string LanguageName(uint16_t language) override;

    // The first word of an Exec= value, unquoted, field codes removed, past
    // an "env NAME=value" prefix; empty when there is none.
    static std::string ExecProgram(const std::string& exec);
    // A program name found through the search path (or an absolute path),
    // as its real path; empty when it is no program file.
    std::string FindProgram(const std::string& program) const;

    struct DesktopEntry {
        std::string file;
        bool shown = false;  // an application the menus show
        bool hidden = false;
        std::string name, genericName, comment;
        std::string target;  // real path of the program; empty when not found
    };

private:
    void ReadApplications();
    void EnsureApplications();
    DesktopEntry ParseDesktopFile(const std::string& file) const;
    std::string UserName(uid_t uid);

    LinuxDiscoveryConfig config_;
    bool applicationsRead_ = false;
    std::map<std::string, DesktopEntry> entries_;  // by file
    std::map<std::string, std::string> byTarget_;  // real program path -> file
    std::map<uid_t, std::string> userNames_;
};

}  // namespace tw
