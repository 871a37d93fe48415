#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Discovery.h"

// Finds the installed and the running programs for the wizard. Every source
// gives lines "path=caption": the program file's full path (what the probe
// compares with) and the name to show.
namespace tw {

// Called once per folder entered by the complete scan and its counting
// pass; false cancels, which raises the silent EAbort.
using TScanProgressCallback = std::function<bool()>;

class TAppDiscovery {
public:
    explicit TAppDiscovery(Discovery& source) : source_(source) {}
    TAppDiscovery(const TAppDiscovery&) = delete;
    TAppDiscovery& operator=(const TAppDiscovery&) = delete;

    // The fast scan: the Start-menu shortcuts. Appends to `lines`.
    void ScanStartMenuShortcuts(std::vector<std::string>& lines);
    // How many subfolders ScanProgramFolders will enter.
    int32_t CountProgramFolders(const TScanProgressCallback& progress);
    // The complete scan: every program below the program folders. Appends to
    // `lines`; what was appended before a cancel stays.
    void ScanProgramFolders(std::vector<std::string>& lines, const TScanProgressCallback& progress);
    // Replaces `lines` by the running programs of the current user, sorted by
    // path. Failures are logged, never raised.
    void ProcessesExeNamesGet(const std::string& computerName, std::vector<std::string>& lines);

    std::string GetExeDisplayName(const std::string& path);
    // Read once per discovery object, which lives for the run.
    const std::string& GetLocalComputerName();
    std::string GetCurrentUserName();

    // The rules in between, open to tests.
    std::vector<std::string> GetSystemFolders();
    // The folder an uninstall text names, before the system-folder checks.
    std::optional<std::string> FolderFromUninstallText(const std::string& text) const;
    std::vector<std::string> UninstallFolders();
    // Uninstall folders, then the program-files folders; sorted, nested ones dropped.
    std::vector<std::string> ProgramFolderList();
    // The target a shortcut points to, with the installer-cache case resolved.
    std::string ShortcutTargetPath(const std::string& shortcut, const std::string& rawTarget);

private:
    void ScanFolder(const std::string& folder, std::vector<std::string>& lines,
                    const TScanProgressCallback& progress);
    void CountFolder(const std::string& folder, int32_t& count,
                     const TScanProgressCallback& progress);
    std::vector<std::string> ProgramFilesFolders();
    bool SamePath(const std::string& a, const std::string& b) const;
    bool PathLess(const std::string& a, const std::string& b) const;

    Discovery& source_;
    std::optional<std::string> computerName_;
};

}  // namespace tw
