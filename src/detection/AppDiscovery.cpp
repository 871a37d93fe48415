#include "detection/AppDiscovery.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "base/WriteLog.h"
#include "detection/VersionInfo.h"

namespace tw {

namespace {

// Installer-cache shortcuts point here instead of at the program.
constexpr std::string_view kInstallerCache = "\\Installer\\{";

std::string ExtractFileName(const std::string& path, char delimiter) {
    const size_t slash = path.rfind(delimiter);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The folder part, with its separator.
std::string ExtractFilePath(const std::string& path, char delimiter) {
    const size_t slash = path.rfind(delimiter);
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string IncludeTrailingDelimiter(std::string folder, char delimiter) {
    if (folder.empty() || folder.back() != delimiter)
        folder += delimiter;
    return folder;
}

std::string WithoutExtension(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
}

// "C:\" or "/": nothing but a root.
bool IsRootFolder(const std::string& folder, char delimiter) {
    std::string inner = folder;
    while (!inner.empty() && inner.back() == delimiter)
        inner.pop_back();
    return inner.find(delimiter) == std::string::npos &&
           (inner.empty() || (inner.size() == 2 && inner[1] == ':'));
}

// Little-endian UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const uint8_t* bytes, size_t count) {
    std::string out;
    auto put = [&out](uint32_t c) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t unit = bytes[2 * i] | (uint32_t(bytes[2 * i + 1]) << 8);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
            const uint32_t low = bytes[2 * i + 2] | (uint32_t(bytes[2 * i + 3]) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                put(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                ++i;
                continue;
            }
        }
        put(unit >= 0xD800 && unit <= 0xDFFF ? 0xFFFD : unit);
    }
    return out;
}

// `relative` taken from `folder`, with "." and ".." folded away; a ".."
// never climbs above the first component (the drive or the root).
std::string ExpandRelative(const std::string& folder, const std::string& relative, char delimiter) {
    const std::vector<std::string> parts = Split(folder + relative, delimiter);
    std::vector<std::string> kept;
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (i > 0 && (part == "." || (part.empty() && i + 1 < parts.size())))
            continue;
        if (i > 0 && part == "..") {
            if (kept.size() > 1)
                kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::string path;
    for (size_t i = 0; i < kept.size(); ++i) {
        if (i > 0)
            path += delimiter;
        path += kept[i];
    }
    return path;
}

// A path holding "=" would be cut short by the reader of "path=caption".
bool FitsInLine(const std::string& path) {
    return !path.empty() && path.find('=') == std::string::npos;
}

[[noreturn]] void Abort() {
    throw EAbort("Operation aborted");
}

}  // namespace

bool TAppDiscovery::SamePath(const std::string& a, const std::string& b) const {
    return source_.PathsIgnoreCase() ? SameText(a, b) : a == b;
}

bool TAppDiscovery::PathLess(const std::string& a, const std::string& b) const {
    return source_.PathsIgnoreCase() ? CompareText(a, b) < 0 : a < b;
}

std::string TAppDiscovery::ShortcutTargetPath(const std::string& shortcut,
                                              const std::string& rawTarget) {
    if (rawTarget.find(kInstallerCache) == std::string::npos)
        return rawTarget;
    // The shortcut file also stores the target relative to itself, as UTF-16
    // after a 16-bit character count: "..\." starts it.
    static constexpr uint8_t kRelativeStart[8] = {0x2E, 0, 0x2E, 0, 0x5C, 0, 0x2E, 0};
    const std::vector<uint8_t> bytes = source_.ReadFileBytes(shortcut);
    for (size_t at = 2; at + 9 <= bytes.size(); ++at) {
        if (std::memcmp(bytes.data() + at, kRelativeStart, sizeof kRelativeStart) != 0)
            continue;
        const size_t count = bytes[at - 2] | (size_t(bytes[at - 1]) << 8);
        if (at + 2 * count >= bytes.size())
            return rawTarget;
        const char delimiter = source_.PathDelimiter();
        return ExpandRelative(ExtractFilePath(shortcut, delimiter),
                              Utf16LeToUtf8(bytes.data() + at, count), delimiter);
    }
    return rawTarget;
}

std::vector<std::string> TAppDiscovery::StartMenuShortcutFiles() {
    std::vector<std::string> files = source_.StartMenuFiles();
    // The first of two names for one file is kept.
    std::stable_sort(files.begin(), files.end(),
                     [this](const std::string& a, const std::string& b) { return PathLess(a, b); });
    files.erase(
        std::unique(files.begin(), files.end(),
                    [this](const std::string& a, const std::string& b) { return SamePath(a, b); }),
        files.end());
    return files;
}

std::optional<std::string> TAppDiscovery::ShortcutLine(const std::string& file) {
    if (!source_.IsShortcutFile(file))
        return std::nullopt;
    const ShortcutTarget shortcut = source_.ResolveShortcut(file);
    const std::string target = ShortcutTargetPath(file, shortcut.target);
    if (!FitsInLine(target) || !source_.IsProgramFile(target))
        return std::nullopt;
    const char delimiter = source_.PathDelimiter();
    const std::string name = LowerCase(ExtractFileName(target, delimiter));
    if (name.find("unins") != std::string::npos || name.find("setup") != std::string::npos)
        return std::nullopt;
    if (target.find(kInstallerCache) != std::string::npos)
        return std::nullopt;
    const std::string caption = shortcut.caption.empty()
                                    ? WithoutExtension(ExtractFileName(file, delimiter))
                                    : shortcut.caption;
    return target + "=" + caption;
}

void TAppDiscovery::ScanStartMenuShortcuts(std::vector<std::string>& lines) {
    for (const std::string& file : StartMenuShortcutFiles()) {
        if (std::optional<std::string> line = ShortcutLine(file))
            lines.push_back(std::move(*line));
    }
}

std::vector<std::string> TAppDiscovery::ProgramFilesFolders() {
    const std::string& computer = GetLocalComputerName();
    ProgramFilesResult result = source_.ProgramFilesFolders(computer);
    if (result.status == ProgramFilesResult::Status::ConnectFailed)
        throw Exception("Can't open registry on computer " + computer);
    if (result.status == ProgramFilesResult::Status::KeyFailed)
        throw Exception("Can't open registry values on computer " + computer);
    std::vector<std::string> folders;
    for (std::string& folder : result.folders) {
        if (!folder.empty())
            folders.push_back(IncludeTrailingDelimiter(std::move(folder), source_.PathDelimiter()));
    }
    return folders;
}

std::vector<std::string> TAppDiscovery::GetSystemFolders() {
    const char delimiter = source_.PathDelimiter();
    std::vector<std::string> folders = ProgramFilesFolders();
    const std::string windows = source_.WindowsFolder();
    if (windows.empty())
        return folders;
    const size_t programFolders = folders.size();
    const std::string windowsFolder = IncludeTrailingDelimiter(windows, delimiter);
    folders.push_back(windowsFolder);
    folders.push_back(windowsFolder + "system32" + delimiter);
    // The short name of the program-files folder, as old entries write it.
    for (size_t i = 0; i < programFolders; ++i) {
        const std::string inner = folders[i].substr(0, folders[i].size() - 1);
        folders.push_back(ExtractFilePath(inner, delimiter) + "PROGRA~1" + delimiter);
    }
    return folders;
}

std::optional<std::string> TAppDiscovery::FolderFromUninstallText(const std::string& text) const {
    const size_t colon = text.find(":\\");
    if (colon == std::string::npos)
        return std::nullopt;
    std::string path = text.substr(colon > 0 ? colon - 1 : 0);
    const size_t dll = path.find(".dll");
    const size_t exe = path.find(".exe");
    const size_t end = std::min(dll, exe);
    if (end != std::string::npos)
        path.resize(end + 4);
    const char delimiter = source_.PathDelimiter();
    if (ExtractFileName(path, delimiter).find('.') != std::string::npos)
        path = ExtractFilePath(path, delimiter);
    return IncludeTrailingDelimiter(std::move(path), delimiter);
}

std::vector<std::string> TAppDiscovery::UninstallFolders() {
    std::vector<std::string> systemFolders = GetSystemFolders();
    for (std::string& folder : systemFolders)
        folder = LowerCase(folder);
    std::vector<UninstallEntry> entries = source_.UninstallEntries();
    std::stable_sort(entries.begin(), entries.end(),
                     [](const UninstallEntry& a, const UninstallEntry& b) {
                         return CompareText(a.key, b.key) < 0;
                     });
    const char delimiter = source_.PathDelimiter();
    std::vector<std::string> folders;
    for (const UninstallEntry& entry : entries) {
        for (const UninstallValue& value : entry.values) {
            if (!value.plainString)
                continue;
            const std::optional<std::string> folder = FolderFromUninstallText(value.text);
            if (!folder || folder->empty() || IsRootFolder(*folder, delimiter))
                continue;
            const std::string lower = LowerCase(*folder);
            if (std::any_of(systemFolders.begin(), systemFolders.end(),
                            [&lower](const std::string& system) {
                                return lower.find(system) != std::string::npos;
                            }))
                continue;
            if (std::any_of(folders.begin(), folders.end(),
                            [&](const std::string& known) { return SameText(known, *folder); }))
                continue;
            folders.push_back(*folder);
        }
    }
    return folders;
}

std::vector<std::string> TAppDiscovery::ProgramFolderList() {
    std::vector<std::string> folders = UninstallFolders();
    for (std::string& folder : ProgramFilesFolders())
        folders.push_back(std::move(folder));
    std::sort(folders.begin(), folders.end(),
              [this](const std::string& a, const std::string& b) { return PathLess(a, b); });
    // A folder inside the one before it is scanned through that one. Only a
    // leading match is nesting: "/usr/bin/" holds "/bin/" but is not inside it.
    const bool ignoreCase = source_.PathsIgnoreCase();
    for (size_t i = 0; i + 1 < folders.size();) {
        const std::string& current = folders[i];
        const std::string& next = folders[i + 1];
        const bool nested = next.size() >= current.size() &&
                            (ignoreCase ? SameText(next.substr(0, current.size()), current)
                                        : next.compare(0, current.size(), current) == 0);
        if (nested) {
            folders.erase(folders.begin() + std::ptrdiff_t(i + 1));
        } else {
            ++i;
        }
    }
    return folders;
}

TProgramFolderWalk::TProgramFolderWalk(Discovery& source, const std::vector<std::string>& tops)
    : source_(source) {
    for (auto top = tops.rbegin(); top != tops.rend(); ++top)
        pending_.push_back({*top, true});
}

std::optional<TScanFolder> TProgramFolderWalk::Next() {
    while (!pending_.empty()) {
        TScanFolder folder = std::move(pending_.back());
        pending_.pop_back();
        if (!folder.top || source_.DirectoryExists(folder.path))
            return folder;
    }
    return std::nullopt;
}

std::vector<FolderEntry> TProgramFolderWalk::List(const TScanFolder& folder) {
    std::vector<FolderEntry> entries = source_.ListFolder(folder.path);
    const size_t first = pending_.size();
    for (const FolderEntry& entry : entries) {
        if (entry.attributes == kFaDirectory && entry.name != "." && entry.name != "..")
            pending_.push_back({folder.path + entry.name + source_.PathDelimiter(), false});
    }
    // The first subfolder is visited first.
    std::reverse(pending_.begin() + std::ptrdiff_t(first), pending_.end());
    return entries;
}

std::optional<std::string> TAppDiscovery::ProgramPath(const TScanFolder& folder,
                                                      const FolderEntry& entry) {
    if (!entry.program || entry.name == "." || entry.name == "..")
        return std::nullopt;
    const std::string name = LowerCase(entry.name);
    if (name.find("setup") != std::string::npos || name.find("inst") != std::string::npos)
        return std::nullopt;
    std::string path = entry.path.empty() ? folder.path + entry.name : entry.path;
    if (!FitsInLine(path))
        return std::nullopt;
    return path;
}

int32_t TAppDiscovery::CountProgramFolders(const TScanProgressCallback& progress) {
    int32_t count = 0;
    TProgramFolderWalk walk(source_, ProgramFolderList());
    while (const std::optional<TScanFolder> folder = walk.Next()) {
        if (!folder->top) {
            if (progress && !progress())
                Abort();
            ++count;
        }
        walk.List(*folder);
    }
    return count;
}

void TAppDiscovery::ScanProgramFolders(std::vector<std::string>& lines,
                                       const TScanProgressCallback& progress) {
    TProgramFolderWalk walk(source_, ProgramFolderList());
    while (const std::optional<TScanFolder> folder = walk.Next()) {
        if (!folder->top && progress && !progress())
            Abort();
        for (const FolderEntry& entry : walk.List(*folder)) {
            if (const std::optional<std::string> path = ProgramPath(*folder, entry))
                lines.push_back(*path + "=" + GetExeDisplayName(*path));
        }
    }
}

std::vector<std::string> TAppDiscovery::RunningProgramPaths(const std::string& computerName) {
    std::vector<std::string> paths;  // sorted, no duplicates
    const auto less = [this](const std::string& a, const std::string& b) { return PathLess(a, b); };
    try {
        char query[64];
        std::snprintf(query, sizeof query, "SELECT %s FROM %s", "ExecutablePath", "Win32_Process");
        std::optional<std::string> user;
        source_.QueryProcesses(computerName, query, [&](const ProcessRecord& process) {
            if (!process.owner)
                return;
            if (!user)
                user = GetCurrentUserName();
            if (!SameText(*process.owner, *user))
                return;
            for (const auto& [name, value] : process.properties) {
                if (SameText(name, "Handle") || value.empty())
                    continue;
                const auto at = std::lower_bound(paths.begin(), paths.end(), value, less);
                if (at == paths.end() || !SamePath(*at, value))
                    paths.insert(at, value);
            }
        });
    } catch (const Exception& e) {
        LogException(e, "; ProcessesExeNamesGet: ");
    }
    // Whatever was found before a failure still becomes whole lines: a bare
    // path would reach the list as an entry without a name.
    paths.erase(std::remove_if(paths.begin(), paths.end(),
                               [](const std::string& path) { return !FitsInLine(path); }),
                paths.end());
    return paths;
}

std::string TAppDiscovery::RunningProgramLine(const std::string& path) {
    std::string caption;
    try {
        caption = GetExeDisplayName(path);
    } catch (const Exception& e) {
        LogException(e, "; ProcessesExeNamesGet: ");
        caption = WithoutExtension(ExtractFileName(path, source_.PathDelimiter()));
    }
    return path + "=" + caption;
}

void TAppDiscovery::ProcessesExeNamesGet(const std::string& computerName,
                                         std::vector<std::string>& lines) {
    lines.clear();
    for (const std::string& path : RunningProgramPaths(computerName))
        lines.push_back(RunningProgramLine(path));
}

std::string TAppDiscovery::GetExeDisplayName(const std::string& path) {
    TVersionInfo info(source_);
    info.FileName = path;
    info.ReadVersionInfo();
    for (const TVersionKey key : {vkFileDescription, vkProductName, vkInternalName}) {
        std::string text = Trim(info.Values[key]);
        if (!text.empty())
            return text;
    }
    return WithoutExtension(ExtractFileName(path, source_.PathDelimiter()));
}

const std::string& TAppDiscovery::GetLocalComputerName() {
    if (!computerName_)
        computerName_ = source_.ComputerName();
    return *computerName_;
}

std::string TAppDiscovery::GetCurrentUserName() {
    return source_.CurrentUserName();
}

TAppScan::TAppScan(TAppDiscovery& discovery, TKind kind)
    : discovery_(discovery),
      kind_(kind),
      phase_(kind == TKind::Complete ? TPhase::Counting : TPhase::Searching) {}

bool TAppScan::Step() {
    switch (phase_) {
        case TPhase::Counting:
            StepCounting();
            break;
        case TPhase::Searching:
            StepSearching();
            break;
        case TPhase::Running:
            StepRunning();
            break;
        case TPhase::Done:
            break;
    }
    return phase_ != TPhase::Done;
}

void TAppScan::SearchOver() {
    phase_ = TPhase::Running;
    started_ = false;
    walk_.reset();
    queue_.clear();
    next_ = 0;
}

void TAppScan::StepCounting() {
    if (stopped_) {
        SearchOver();
        return;
    }
    if (!started_) {
        started_ = true;
        walk_.emplace(discovery_.Source(), discovery_.ProgramFolderList());
        return;
    }
    const std::optional<TScanFolder> folder = walk_->Next();
    if (!folder) {
        // The search builds its folder list afresh, as the one-call scan does.
        total_ = counted_;
        phase_ = TPhase::Searching;
        started_ = false;
        walk_.reset();
        return;
    }
    if (!folder->top)
        ++counted_;
    walk_->List(*folder);
}

void TAppScan::StepSearching() {
    if (stopped_) {
        SearchOver();
        return;
    }
    if (!started_) {
        started_ = true;
        if (kind_ == TKind::Complete) {
            walk_.emplace(discovery_.Source(), discovery_.ProgramFolderList());
        } else {
            queue_ = discovery_.StartMenuShortcutFiles();
        }
        return;
    }
    if (next_ < queue_.size()) {
        const size_t end = std::min(queue_.size(), next_ + kItemsPerStep);
        for (; next_ < end; ++next_) {
            const std::string& item = queue_[next_];
            if (kind_ == TKind::Complete) {
                found_.push_back(item + "=" + discovery_.GetExeDisplayName(item));
            } else if (std::optional<std::string> line = discovery_.ShortcutLine(item)) {
                found_.push_back(std::move(*line));
            }
        }
        return;
    }
    if (kind_ == TKind::Fast) {
        SearchOver();
        return;
    }
    const std::optional<TScanFolder> folder = walk_->Next();
    if (!folder) {
        SearchOver();
        return;
    }
    if (!folder->top)
        ++entered_;
    queue_.clear();
    next_ = 0;
    for (const FolderEntry& entry : walk_->List(*folder)) {
        if (std::optional<std::string> path = discovery_.ProgramPath(*folder, entry))
            queue_.push_back(std::move(*path));
    }
}

void TAppScan::StepRunning() {
    if (!started_) {
        started_ = true;
        queue_ = discovery_.RunningProgramPaths(discovery_.GetLocalComputerName());
        next_ = 0;
    } else {
        const size_t end = std::min(queue_.size(), next_ + kItemsPerStep);
        for (; next_ < end; ++next_)
            running_.push_back(discovery_.RunningProgramLine(queue_[next_]));
    }
    if (next_ == queue_.size())
        phase_ = TPhase::Done;
}

}  // namespace tw
