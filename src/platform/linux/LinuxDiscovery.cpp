#include "platform/linux/LinuxDiscovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "base/Exceptions.h"
#include "base/Strings.h"
#include "platform/Folders.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

// Unlocalised desktop texts: language neutral, UTF-8.
constexpr uint16_t kNeutralLanguage = 0x0000;
constexpr uint16_t kUtf8CodePage = 0xFDE9;
constexpr const char* kBlock = "StringFileInfo\\0000FDE9\\";

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return {};
    std::string result(real);
    std::free(real);
    return result;
}

bool IsProgramStat(const struct stat& st) {
    return S_ISREG(st.st_mode) && (st.st_mode & 0111) != 0;
}

bool IsExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && IsProgramStat(st);
}

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// The escapes of a desktop-entry string value.
std::string UnescapeValue(std::string_view value) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        switch (value[++i]) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:
                out += '\\';
                out += value[i];
        }
    }
    return out;
}

// Splits an Exec= value into words: double quotes group, and inside them a
// backslash escapes '"', '`', '$' and '\'.
std::vector<std::string> ExecWords(const std::string& exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (quoted) {
            if (c == '\\' && i + 1 < exec.size() &&
                std::string_view("\"`$\\").find(exec[i + 1]) != std::string_view::npos) {
                word += exec[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                word += c;
            }
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else if (c == '"') {
            quoted = true;
            inWord = true;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}

// "%%" is a percent sign; every other field code stands for arguments.
std::string WithoutFieldCodes(const std::string& word) {
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
        if (word[i] == '%' && i + 1 < word.size()) {
            if (word[++i] == '%')
                out += '%';
        } else {
            out += word[i];
        }
    }
    return out;
}

// "lang_COUNTRY.ENCODING@MODIFIER" to the keys to try, best first.
std::vector<std::string> LocaleKeys(const std::string& locale) {
    std::string lang = locale, country, modifier;
    if (const size_t at = lang.find('@'); at != std::string::npos) {
        modifier = lang.substr(at + 1);
        lang.resize(at);
    }
    if (const size_t dot = lang.find('.'); dot != std::string::npos)
        lang.resize(dot);
    if (const size_t bar = lang.find('_'); bar != std::string::npos) {
        country = lang.substr(bar + 1);
        lang.resize(bar);
    }
    std::vector<std::string> keys;
    if (lang.empty() || lang == "C" || lang == "POSIX")
        return keys;
    if (!country.empty() && !modifier.empty())
        keys.push_back(lang + "_" + country + "@" + modifier);
    if (!country.empty())
        keys.push_back(lang + "_" + country);
    if (!modifier.empty())
        keys.push_back(lang + "@" + modifier);
    keys.push_back(lang);
    return keys;
}

class DesktopVersionResource final : public VersionResource {
public:
    explicit DesktopVersionResource(const LinuxDiscovery::DesktopEntry& entry) : entry_(entry) {}
    std::optional<std::pair<uint16_t, uint16_t>> Translation() override {
        return std::make_pair(kNeutralLanguage, kUtf8CodePage);
    }
    std::optional<std::string> QueryString(const std::string& subBlock) override {
        if (!StartsWith(subBlock, kBlock))
            return std::nullopt;
        const std::string key = subBlock.substr(std::string_view(kBlock).size());
        // What the menus show first, then what kind of program it is.
        if (key == "FileDescription")
            return entry_.name;
        if (key == "ProductName")
            return entry_.genericName;
        if (key == "Comments")
            return entry_.comment;
        return std::nullopt;
    }

private:
    LinuxDiscovery::DesktopEntry entry_;
};

}  // namespace

LinuxDiscoveryConfig LinuxDiscoveryConfigFromEnvironment() {
    const XdgFolders xdg = XdgFoldersFromEnvironment();
    LinuxDiscoveryConfig config;
    config.applicationFolders = xdg.ApplicationFolders();
    config.programFolders = {"/usr/bin", "/usr/local/bin", "/usr/games", "/opt"};
    if (!xdg.home.empty())
        config.programFolders.push_back(xdg.home + "/.local/bin");
    config.programFolders.push_back("/var/lib/flatpak/exports/bin");
    if (!xdg.dataHome.empty())
        config.programFolders.push_back(xdg.dataHome + "/flatpak/exports/bin");
    config.programFolders.push_back("/snap/bin");
    if (const char* path = std::getenv("PATH")) {
        for (const std::string& dir : Split(path, ':')) {
            if (!dir.empty() && dir.front() == '/')
                config.searchPath.push_back(dir);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            config.messagesLocale = value;
            break;
        }
    }
    return config;
}

LinuxDiscovery::LinuxDiscovery(LinuxDiscoveryConfig config) : config_(std::move(config)) {}

LinuxDiscovery::~LinuxDiscovery() = default;

std::string LinuxDiscovery::ExecProgram(const std::string& exec) {
    std::vector<std::string> words;
    for (const std::string& word : ExecWords(exec)) {
        std::string plain = WithoutFieldCodes(word);
        if (!plain.empty())
            words.push_back(std::move(plain));
    }
    size_t first = 0;
    // "env NAME=value ... program": the program is what runs.
    if (first < words.size() && fs::path(words[first]).filename() == "env") {
        ++first;
        while (first < words.size() &&
               (words[first].find('=') != std::string::npos || words[first].front() == '-')) {
            // These options take the next word as their value.
            const std::string& option = words[first];
            first += option == "-u" || option == "--unset" || option == "-C" || option == "--chdir"
                         ? 2
                         : 1;
        }
    }
    return first < words.size() ? words[first] : std::string();
}

std::string LinuxDiscovery::FindProgram(const std::string& program) const {
    if (program.empty())
        return {};
    if (program.find('/') != std::string::npos) {
        // Relative paths with a slash mean nothing without a working folder.
        return program.front() == '/' && IsExecutableFile(program) ? RealPath(program)
                                                                   : std::string();
    }
    for (const std::string& dir : config_.searchPath) {
        const std::string candidate = WithSlash(dir) + program;
        if (IsExecutableFile(candidate))
            return RealPath(candidate);
    }
    return {};
}

LinuxDiscovery::DesktopEntry LinuxDiscovery::ParseDesktopFile(const std::string& file) const {
    DesktopEntry entry;
    entry.file = file;
    std::ifstream in(file);
    if (!in)
        return entry;
    const std::vector<std::string> localeKeys = LocaleKeys(config_.messagesLocale);
    // Best localisation seen so far per key: its rank in localeKeys, or size() for the plain key.
    std::map<std::string, std::pair<size_t, std::string>> texts;
    std::string type, exec, tryExec;
    bool noDisplay = false;
    bool inMainGroup = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup)
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = Trim(std::string_view(line).substr(0, eq));
        const std::string value = UnescapeValue(Trim(std::string_view(line).substr(eq + 1)));
        std::string locale;
        if (const size_t bracket = key.find('['); bracket != std::string::npos) {
            if (key.back() != ']')
                continue;
            locale = key.substr(bracket + 1, key.size() - bracket - 2);
            key.resize(bracket);
        }
        if (key == "Name" || key == "GenericName" || key == "Comment") {
            size_t rank = localeKeys.size();
            if (!locale.empty()) {
                const auto it = std::find(localeKeys.begin(), localeKeys.end(), locale);
                if (it == localeKeys.end())
                    continue;
                rank = size_t(it - localeKeys.begin());
            }
            const auto known = texts.find(key);
            if (known == texts.end() || rank < known->second.first)
                texts[key] = {rank, value};
        } else if (!locale.empty()) {
            continue;
        } else if (key == "Type") {
            type = value;
        } else if (key == "Exec") {
            exec = value;
        } else if (key == "TryExec") {
            tryExec = value;
        } else if (key == "Hidden") {
            entry.hidden = value == "true";
        } else if (key == "NoDisplay") {
            noDisplay = value == "true";
        }
    }
    entry.name = texts["Name"].second;
    entry.genericName = texts["GenericName"].second;
    entry.comment = texts["Comment"].second;
    if (type != "Application" || entry.hidden)
        return entry;
    entry.target = FindProgram(ExecProgram(exec));
    // The menus leave out an entry whose TryExec program is missing.
    entry.shown = !noDisplay && (tryExec.empty() || !FindProgram(tryExec).empty());
    return entry;
}

void LinuxDiscovery::ReadApplications() {
    entries_.clear();
    byTarget_.clear();
    std::set<std::string> ids;
    std::vector<std::string> shownFirst, notShown;
    for (const std::string& folder : config_.applicationFolders) {
        std::error_code ec;
        const fs::path root(folder);
        if (!fs::is_directory(root, ec))
            continue;
        std::vector<std::string> files;
        for (fs::recursive_directory_iterator
                 it(root, fs::directory_options::skip_permission_denied, ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (it->path().extension() == ".desktop" && !it->is_directory(ec))
                files.push_back(it->path().string());
        }
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) {
            // The desktop-file ID: the path below the folder, '/' read as '-'.
            std::string id = fs::path(file).lexically_relative(root).string();
            std::replace(id.begin(), id.end(), '/', '-');
            if (!ids.insert(id).second)
                continue;  // a folder earlier in the order has this entry
            DesktopEntry entry = ParseDesktopFile(file);
            if (!entry.target.empty() && !entry.hidden)
                (entry.shown ? shownFirst : notShown).push_back(file);
            entries_.emplace(file, std::move(entry));
        }
    }
    // A program's name comes from an entry the menus show, else from any
    // entry that starts it.
    for (const auto* group : {&shownFirst, &notShown}) {
        for (const std::string& file : *group)
            byTarget_.emplace(entries_[file].target, file);
    }
    applicationsRead_ = true;
}

void LinuxDiscovery::EnsureApplications() {
    if (!applicationsRead_)
        ReadApplications();
}

std::vector<std::string> LinuxDiscovery::StartMenuFiles() {
    ReadApplications();
    std::vector<std::string> files;
    for (const auto& [file, entry] : entries_) {
        if (entry.shown && !entry.hidden)
            files.push_back(file);
    }
    return files;
}

bool LinuxDiscovery::IsShortcutFile(const std::string& path) {
    return fs::path(path).extension() == ".desktop";
}

ShortcutTarget LinuxDiscovery::ResolveShortcut(const std::string& path) {
    auto it = entries_.find(path);
    if (it == entries_.end())
        it = entries_.emplace(path, ParseDesktopFile(path)).first;
    // A caption of its own, so an entry without a Name is named by its file.
    return ShortcutTarget{it->second.target, it->second.name};
}

std::vector<uint8_t> LinuxDiscovery::ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

bool LinuxDiscovery::IsProgramFile(const std::string& path) {
    return IsExecutableFile(path);
}

ProgramFilesResult LinuxDiscovery::ProgramFilesFolders(const std::string&) {
    ProgramFilesResult result;
    for (const std::string& folder : config_.programFolders) {
        const std::string real = RealPath(folder);
        if (real.empty() || !DirectoryExists(real))
            continue;
        const std::string withSlash = WithSlash(real);
        if (std::find(result.folders.begin(), result.folders.end(), withSlash) ==
            result.folders.end())
            result.folders.push_back(withSlash);
    }
    return result;
}

bool LinuxDiscovery::DirectoryExists(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<FolderEntry> LinuxDiscovery::ListFolder(const std::string& folder) {
    std::vector<FolderEntry> entries;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return entries;
    const int fd = ::dirfd(dir);
    const std::string prefix = WithSlash(folder);
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        FolderEntry entry;
        entry.name = name;
        if (name.front() == '.')
            entry.attributes |= kFaHidden;
        if (S_ISLNK(st.st_mode)) {
            entry.attributes |= kFaSymLink;
            struct stat target {};
            if (::fstatat(fd, d->d_name, &target, 0) == 0) {
                if (S_ISDIR(target.st_mode))
                    entry.attributes |= kFaDirectory;
                if (IsProgramStat(target)) {
                    entry.path = RealPath(prefix + name);
                    entry.program = !entry.path.empty();
                }
            }
        } else if (S_ISDIR(st.st_mode)) {
            entry.attributes |= kFaDirectory;
        } else if (IsProgramStat(st)) {
            entry.program = true;
            entry.path = prefix + name;
        }
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

std::string LinuxDiscovery::UserName(uid_t uid) {
    const auto known = userNames_.find(uid);
    if (known != userNames_.end())
        return known->second;
    std::vector<char> buffer(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    const int rc = ::getpwuid_r(uid, &pw, buffer.data(), buffer.size(), &found);
    if (rc != 0 && rc != ENOENT && rc != ESRCH)
        RaiseLastOSError(rc);
    // A user without a passwd entry (containers) is known by number.
    std::string name = found ? std::string(found->pw_name) : std::to_string(uid);
    userNames_.emplace(uid, name);
    return name;
}

void LinuxDiscovery::QueryProcesses(const std::string& computerName, const std::string&,
                                    const std::function<void(const ProcessRecord&)>& each) {
    if (!computerName.empty() && computerName != "." && computerName != "localhost" &&
        computerName != ComputerName())
        throw Exception("Can't query processes on computer " + computerName);
    DIR* proc = ::opendir("/proc");
    if (!proc)
        RaiseLastOSError(errno);
    std::vector<std::string> pids;
    while (const dirent* d = ::readdir(proc)) {
        const std::string name = d->d_name;
        if (!name.empty() &&
            std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            pids.push_back(name);
    }
    ::closedir(proc);
    const uid_t self = ::geteuid();
    for (const std::string& pid : pids) {
        struct stat st {};
        if (::stat(("/proc/" + pid).c_str(), &st) != 0)
            continue;  // ended meanwhile
        ProcessRecord record;
        record.owner = UserName(st.st_uid);
        std::string exe;
        // Other users' program files are not read: their lines are dropped anyway.
        if (st.st_uid == self) {
            char buffer[PATH_MAX];
            const ssize_t n = ::readlink(("/proc/" + pid + "/exe").c_str(), buffer, sizeof buffer);
            if (n > 0)
                exe.assign(buffer, size_t(n));
            // A program replaced by an upgrade: the new file is what the list wants.
            constexpr std::string_view kDeleted = " (deleted)";
            if (exe.size() > kDeleted.size() &&
                exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0 &&
                IsExecutableFile(exe.substr(0, exe.size() - kDeleted.size())))
                exe.resize(exe.size() - kDeleted.size());
        }
        record.properties = {{"ExecutablePath", exe}, {"Handle", pid}};
        each(record);
    }
}

std::string LinuxDiscovery::CurrentUserName() {
    return UserName(::geteuid());
}

std::string LinuxDiscovery::ComputerName() {
    char buffer[256] = {};
    if (::gethostname(buffer, sizeof buffer - 1) != 0)
        RaiseLastOSError(errno);
    return buffer;
}

std::unique_ptr<VersionResource> LinuxDiscovery::ReadVersionResource(const std::string& fileName) {
    EnsureApplications();
    auto it = byTarget_.find(fileName);
    // A file picked by the user may be a link to the program.
    if (it == byTarget_.end())
        it = byTarget_.find(RealPath(fileName));
    if (it == byTarget_.end())
        return nullptr;
    return std::make_unique<DesktopVersionResource>(entries_.at(it->second));
}

std::string LinuxDiscovery::LanguageName(uint16_t language) {
    return language == kNeutralLanguage ? "Language Neutral" : "Unknown language";
}

}  // namespace tw
