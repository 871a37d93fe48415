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

// A folder the complete scan visits.
struct TScanFolder {
    std::string path;  // ends with the separator
    bool top = false;  // a program folder itself; only subfolders count as entered
};

// The complete scan's order: a folder, then each of its plain subfolders
// (attributes exactly kFaDirectory) with everything below it, in listing
// order. Kept as a list of folders still to visit, so the walk can stop
// after any folder and go on later.
class TProgramFolderWalk {
public:
    TProgramFolderWalk(Discovery& source, const std::vector<std::string>& tops);
    // The next folder; nullopt once all are visited. A program folder that
    // does not exist is passed over.
    std::optional<TScanFolder> Next();
    // Lists `folder` and puts its plain subfolders next in line.
    std::vector<FolderEntry> List(const TScanFolder& folder);

private:
    Discovery& source_;
    std::vector<TScanFolder> pending_;  // the next one at the back
};

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

    // The scans in pieces, which TAppScan runs a few at a time.
    // The Start-menu files, sorted, each once.
    std::vector<std::string> StartMenuShortcutFiles();
    // The fast-scan line of one of them, if it names a program to offer.
    std::optional<std::string> ShortcutLine(const std::string& file);
    // The path of a listed entry the complete scan offers, if it is one.
    std::optional<std::string> ProgramPath(const TScanFolder& folder, const FolderEntry& entry);
    // The running programs of the current user, sorted, each once; a failed
    // query is logged and gives what was had by then.
    std::vector<std::string> RunningProgramPaths(const std::string& computerName);
    // The line of a running program; a failure to name it is logged.
    std::string RunningProgramLine(const std::string& path);

    Discovery& Source() noexcept { return source_; }

private:
    std::vector<std::string> ProgramFilesFolders();
    bool SamePath(const std::string& a, const std::string& b) const;
    bool PathLess(const std::string& a, const std::string& b) const;

    Discovery& source_;
    std::optional<std::string> computerName_;
};

// One scan of the wizard (the search, then the running programs) cut into
// slices: Step() does a bounded piece of work and returns, so the window
// runs it from its event loop, one slice per event, and stays responsive
// without anything running inside the scan.
class TAppScan {
public:
    enum class TKind { Fast, Complete };
    enum class TPhase { Counting, Searching, Running, Done };
    // Programs named, or shortcuts resolved, in one step. Listing a folder,
    // reading the Start menu or querying the processes is a step of its own.
    static constexpr size_t kItemsPerStep = 16;

    TAppScan(TAppDiscovery& discovery, TKind kind);
    TAppScan(const TAppScan&) = delete;
    TAppScan& operator=(const TAppScan&) = delete;

    // One slice; false once the scan is over. An error of the search ends
    // it as it ends the one-call scans, and goes on to the caller, after
    // which the scan is not stepped again.
    bool Step();
    // "Stop": the search ends before its next slice, keeping what it found;
    // the running programs are still listed.
    void Stop() noexcept { stopped_ = true; }

    TPhase Phase() const noexcept { return phase_; }
    // Complete scan: subfolders entered so far, and how many the counting
    // pass found (0 until it is over).
    int32_t FoldersEntered() const noexcept { return entered_; }
    int32_t FolderTotal() const noexcept { return total_; }
    // "path=caption" lines of the search and of the running programs.
    const std::vector<std::string>& Found() const noexcept { return found_; }
    const std::vector<std::string>& Running() const noexcept { return running_; }

private:
    void StepCounting();
    void StepSearching();
    void StepRunning();
    // Ends the search and goes on to the running programs.
    void SearchOver();

    TAppDiscovery& discovery_;
    const TKind kind_;
    TPhase phase_;
    bool stopped_ = false;
    bool started_ = false;  // the phase has read what it walks through
    std::optional<TProgramFolderWalk> walk_;
    std::vector<std::string> queue_;  // shortcut files, program or process paths
    size_t next_ = 0;                 // into queue_
    int32_t counted_ = 0;
    int32_t total_ = 0;
    int32_t entered_ = 0;
    std::vector<std::string> found_;
    std::vector<std::string> running_;
};

}  // namespace tw
