#include "platform/fake/FakeDiscovery.h"

#include <algorithm>
#include <cstdio>

#include "base/Exceptions.h"
#include "base/Strings.h"

namespace tw {

namespace {

bool HasExtension(const std::string& path, std::string_view extension) {
    return path.size() >= extension.size() &&
           SameText(std::string_view(path).substr(path.size() - extension.size()), extension);
}

std::string FolderKey(std::string folder) {
    if (folder.empty() || folder.back() != '\\')
        folder += '\\';
    return LowerCase(folder);
}

class FakeVersionResource final : public VersionResource {
public:
    FakeVersionResource(std::optional<std::pair<uint16_t, uint16_t>> translation,
                        std::map<std::string, std::string> subBlocks)
        : translation_(translation), subBlocks_(std::move(subBlocks)) {}
    std::optional<std::pair<uint16_t, uint16_t>> Translation() override { return translation_; }
    std::optional<std::string> QueryString(const std::string& subBlock) override {
        const auto it = subBlocks_.find(subBlock);
        return it == subBlocks_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }

private:
    std::optional<std::pair<uint16_t, uint16_t>> translation_;
    std::map<std::string, std::string> subBlocks_;
};

}  // namespace

FakeDiscovery::FakeDiscovery() {
    AddFolder("C:\\");
}

void FakeDiscovery::AddShortcut(const std::string& path, const std::string& target,
                                std::vector<uint8_t> bytes) {
    shortcuts_[path] = Shortcut{target, std::move(bytes), false, true};
}

void FakeDiscovery::AddStartMenuFile(const std::string& path) {
    shortcuts_[path] = Shortcut{{}, {}, false, false};
}

void FakeDiscovery::FailShortcut(const std::string& path) {
    shortcuts_[path].fails = true;
}

void FakeDiscovery::AddUninstallValue(const std::string& key, const std::string& text, bool plain) {
    uninstall_[key].push_back(UninstallValue{plain, text});
}

void FakeDiscovery::AddFolder(const std::string& path, uint32_t attributes) {
    std::string folder = path;
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    folders_[FolderKey(folder)];  // exists from now on
    const size_t slash = folder.rfind('\\');
    if (slash == std::string::npos)
        return;  // a drive root has no parent entry
    const std::string parent = folder.substr(0, slash + 1);
    const std::string name = folder.substr(slash + 1);
    if (!folders_.count(FolderKey(parent)))
        AddFolder(parent);
    std::vector<Entry>& entries = folders_[FolderKey(parent)];
    const auto it = std::find_if(entries.begin(), entries.end(),
                                 [&](const Entry& e) { return SameText(e.name, name); });
    if (it == entries.end()) {
        entries.push_back(Entry{name, attributes});
    } else {
        it->attributes = attributes;
    }
}

void FakeDiscovery::AddFile(const std::string& path) {
    const size_t slash = path.rfind('\\');
    const std::string parent = path.substr(0, slash + 1);
    if (!folders_.count(FolderKey(parent)))
        AddFolder(parent);
    folders_[FolderKey(parent)].push_back(Entry{path.substr(slash + 1), kFaArchive});
}

void FakeDiscovery::SetVersionStrings(const std::string& path,
                                      const std::map<std::string, std::string>& keys,
                                      std::pair<uint16_t, uint16_t> translation) {
    char block[9];
    std::snprintf(block, sizeof block, "%04X%04X", unsigned(translation.first),
                  unsigned(translation.second));
    std::map<std::string, std::string> subBlocks;
    for (const auto& [key, text] : keys)
        subBlocks["StringFileInfo\\" + std::string(block) + "\\" + key] = text;
    versions_[LowerCase(path)] = Version{translation, std::move(subBlocks)};
}

void FakeDiscovery::SetVersionBlock(const std::string& path,
                                    std::optional<std::pair<uint16_t, uint16_t>> translation,
                                    const std::map<std::string, std::string>& subBlocks) {
    versions_[LowerCase(path)] = Version{translation, subBlocks};
}

void FakeDiscovery::AddProcess(std::optional<std::string> owner, const std::string& exePath) {
    ProcessRecord record;
    record.owner = std::move(owner);
    record.properties = {{"ExecutablePath", exePath},
                         {"Handle", std::to_string(1000 + processes_.size())}};
    processes_.push_back(std::move(record));
}

std::vector<std::string> FakeDiscovery::StartMenuFiles() {
    std::vector<std::string> files;
    for (const auto& [path, shortcut] : shortcuts_)
        files.push_back(path);
    return files;
}

bool FakeDiscovery::IsShortcutFile(const std::string& path) {
    return HasExtension(path, ".lnk");
}

ShortcutTarget FakeDiscovery::ResolveShortcut(const std::string& path) {
    const auto it = shortcuts_.find(path);
    if (it == shortcuts_.end() || it->second.fails)
        throw EOSError(0x80004005, "Unspecified error");
    return ShortcutTarget{it->second.target, {}};
}

std::vector<uint8_t> FakeDiscovery::ReadFileBytes(const std::string& path) {
    const auto it = shortcuts_.find(path);
    return it == shortcuts_.end() ? std::vector<uint8_t>() : it->second.bytes;
}

bool FakeDiscovery::IsProgramFile(const std::string& path) {
    return HasExtension(path, ".exe");
}

ProgramFilesResult FakeDiscovery::ProgramFilesFolders(const std::string&) {
    ProgramFilesResult result;
    result.status = programFilesStatus_;
    if (programFilesStatus_ == ProgramFilesResult::Status::Ok)
        result.folders.push_back(programFiles_);
    return result;
}

std::vector<UninstallEntry> FakeDiscovery::UninstallEntries() {
    // Newest first, as a register may list them: the rules sort them.
    std::vector<UninstallEntry> entries;
    for (auto it = uninstall_.rbegin(); it != uninstall_.rend(); ++it)
        entries.push_back(UninstallEntry{it->first, it->second});
    return entries;
}

bool FakeDiscovery::DirectoryExists(const std::string& folder) {
    return folders_.count(FolderKey(folder)) > 0;
}

std::vector<FolderEntry> FakeDiscovery::ListFolder(const std::string& folder) {
    listed_.push_back(folder);
    std::vector<FolderEntry> entries;
    const auto it = folders_.find(FolderKey(folder));
    if (it == folders_.end())
        return entries;
    for (const Entry& entry : it->second) {
        const bool program = HasExtension(entry.name, ".exe");
        entries.push_back(FolderEntry{entry.name, entry.attributes, program,
                                      program ? folder + entry.name : std::string()});
    }
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return CompareText(a.name, b.name) < 0;
    });
    return entries;
}

void FakeDiscovery::QueryProcesses(const std::string& computerName, const std::string& query,
                                   const std::function<void(const ProcessRecord&)>& each) {
    lastQueryComputer_ = computerName;
    lastQuery_ = query;
    int delivered = 0;
    for (const ProcessRecord& record : processes_) {
        if (failAfter_ && delivered == *failAfter_)
            throw Exception("The RPC server is unavailable.");
        each(record);
        ++delivered;
    }
}

std::string FakeDiscovery::CurrentUserName() {
    if (userNameFails_)
        throw EOSError(5, "Access is denied.");
    return userName_;
}

std::string FakeDiscovery::ComputerName() {
    ++computerNameReads_;
    return computerName_;
}

std::unique_ptr<VersionResource> FakeDiscovery::ReadVersionResource(const std::string& fileName) {
    const auto it = versions_.find(LowerCase(fileName));
    if (it == versions_.end())
        return nullptr;
    return std::make_unique<FakeVersionResource>(it->second.translation, it->second.subBlocks);
}

std::string FakeDiscovery::LanguageName(uint16_t language) {
    switch (language) {
        case 0x0000:
            return "Language Neutral";
        case 0x0407:
            return "German (Germany)";
        case 0x0409:
            return "English (United States)";
        default:
            return "Unknown language";
    }
}

}  // namespace tw
