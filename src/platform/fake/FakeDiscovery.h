#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Discovery.h"

// A scripted computer with drive-letter paths: Start-menu shortcuts (".lnk"),
// program folders with file attributes, the uninstall register, version
// resources and processes of several users. Paths compare ignoring case.
namespace tw {

class FakeDiscovery final : public Discovery {
public:
    FakeDiscovery();

    // Start menus. A shortcut file's bytes are what the installer-cache rule reads.
    void AddShortcut(const std::string& path, const std::string& target,
                     std::vector<uint8_t> bytes = {});
    void AddStartMenuFile(const std::string& path);  // a file that is no shortcut
    void FailShortcut(const std::string& path);      // the shell refuses to load it

    void SetProgramFilesFolder(const std::string& folder) { programFiles_ = folder; }
    void SetProgramFilesStatus(ProgramFilesResult::Status status) { programFilesStatus_ = status; }
    void SetWindowsFolder(const std::string& folder) { windows_ = folder; }
    void AddUninstallValue(const std::string& key, const std::string& text, bool plain = true);

    // Creates the file and any missing parent folders (plain directories).
    void AddFile(const std::string& path);
    // A folder whose entry in its parent carries `attributes`.
    void AddFolder(const std::string& path, uint32_t attributes = kFaDirectory);
    // Folders listed so far, in order, to see where a scan stopped.
    const std::vector<std::string>& ListedFolders() const noexcept { return listed_; }

    // Version strings under the block of `translation` (language, code page).
    void SetVersionStrings(const std::string& path, const std::map<std::string, std::string>& keys,
                           std::pair<uint16_t, uint16_t> translation = {0x0409, 0x04B0});
    // Raw sub-block texts without a translation table, or with one of its own.
    void SetVersionBlock(const std::string& path,
                         std::optional<std::pair<uint16_t, uint16_t>> translation,
                         const std::map<std::string, std::string>& subBlocks);

    // A process of `owner` (nullopt: the owner cannot be had) running `exePath`.
    void AddProcess(std::optional<std::string> owner, const std::string& exePath);
    // The query service fails after handing over `delivered` processes.
    void FailProcessQueryAfter(int delivered) { failAfter_ = delivered; }
    void SetCurrentUserName(const std::string& name) { userName_ = name; }
    void FailCurrentUserName() { userNameFails_ = true; }
    void SetComputerName(const std::string& name) { computerName_ = name; }
    int ComputerNameReads() const noexcept { return computerNameReads_; }
    const std::string& LastQuery() const noexcept { return lastQuery_; }
    const std::string& LastQueryComputer() const noexcept { return lastQueryComputer_; }

    char PathDelimiter() const override { return '\\'; }
    bool PathsIgnoreCase() const override { return true; }
    std::vector<std::string> StartMenuFiles() override;
    bool IsShortcutFile(const std::string& path) override;
    ShortcutTarget ResolveShortcut(const std::string& path) override;
    std::vector<uint8_t> ReadFileBytes(const std::string& path) override;
    bool IsProgramFile(const std::string& path) override;
    ProgramFilesResult ProgramFilesFolders(const std::string& computerName) override;
    std::string WindowsFolder() override { return windows_; }
    std::vector<UninstallEntry> UninstallEntries() override;
    bool DirectoryExists(const std::string& folder) override;
    std::vector<FolderEntry> ListFolder(const std::string& folder) override;
    void QueryProcesses(const std::string& computerName, const std::string& query,
                        const std::function<void(const ProcessRecord&)>& each) override;
    std::string CurrentUserName() override;
    std::string ComputerName() override;
    std::unique_ptr<VersionResource> ReadVersionResource(const std::string& fileName) override;
    std::string LanguageName(uint16_t language) override;

private:
    struct Shortcut {
        std::string target;
        std::vector<uint8_t> bytes;
        bool fails = false;
        bool isShortcut = true;
    };
    struct Version {
        std::optional<std::pair<uint16_t, uint16_t>> translation;
        std::map<std::string, std::string> subBlocks;
    };
    struct Entry {
        std::string name;
        uint32_t attributes = 0;
    };

    std::map<std::string, Shortcut> shortcuts_;  // by the path as given
    std::string programFiles_ = "C:\\Program Files";
    ProgramFilesResult::Status programFilesStatus_ = ProgramFilesResult::Status::Ok;
    std::string windows_ = "C:\\WINDOWS\\";
    std::map<std::string, std::vector<UninstallValue>> uninstall_;
    std::map<std::string, std::vector<Entry>> folders_;  // by the lower-cased folder
    std::vector<std::string> listed_;
    std::map<std::string, Version> versions_;  // by the lower-cased path
    std::vector<ProcessRecord> processes_;
    std::optional<int> failAfter_;
    std::string userName_ = "alice";
    bool userNameFails_ = false;
    std::string computerName_ = "DESKTOP-1";
    int computerNameReads_ = 0;
    std::string lastQuery_;
    std::string lastQueryComputer_;
};

}  // namespace tw
