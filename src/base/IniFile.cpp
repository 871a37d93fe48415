#include "base/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/Paths.h"
#include "base/Strings.h"

namespace tw {

namespace {

// Named apart from a copy a user might keep ("tallyward.ini.backup"), since
// leftovers of this name are deleted.
constexpr const char* kTemporaryInfix = ".tmp-";

enum class LineKind { Other, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;  // section name of a header, key of a key line
    std::string value;
};

// One line as the classic profile reader sees it: "[Section]", "key=value"
// split at the first "=", or anything else (blank, ";" comment, garbage).
ParsedLine ParseLine(std::string_view raw, bool first) {
    if (first && StartsWith(raw, "\xEF\xBB\xBF"))
        raw.remove_prefix(3);
    const std::string text = Trim(raw);
    ParsedLine line;
    if (text.empty() || text.front() == ';')
        return line;
    if (text.front() == '[') {
        const size_t close = text.rfind(']');
        if (close != std::string::npos && close > 0) {
            line.kind = LineKind::Header;
            line.name = Trim(std::string_view(text).substr(1, close - 1));
        }
        return line;
    }
    const size_t eq = text.find('=');
    if (eq == std::string::npos)
        return line;
    line.name = Trim(std::string_view(text).substr(0, eq));
    if (line.name.empty())
        return line;
    line.kind = LineKind::Key;
    line.value = Trim(std::string_view(text).substr(eq + 1));
    return line;
}

// Calls `visit(index, parsed)` for every key line inside a section named
// `section`; stops when it answers false.
template <typename Visit>
void ForEachKeyLine(const std::vector<std::string>& lines, std::string_view section,
                    Visit&& visit) {
    bool inSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        ParsedLine line = ParseLine(lines[i], i == 0);
        if (line.kind == LineKind::Header) {
            inSection = SameText(line.name, section);
        } else if (inSection && line.kind == LineKind::Key) {
            if (!visit(i, line))
                return;
        }
    }
}

bool HasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::optional<int32_t> TIniFile::ParseInteger(std::string_view text) {
    std::string_view s = text;
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (!s.empty() && s.front() == '$') {
        base = 16;
        s.remove_prefix(1);
    } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty())
        return std::nullopt;
    // Hexadecimal covers all 32 bits ("$FFFFFFFF" is -1, as colour values
    // were written); decimal must fit the signed range.
    const uint64_t limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    uint64_t magnitude = 0;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f') {
            digit = AsciiLower(c) - 'a' + 10;
        } else {
            return std::nullopt;
        }
        magnitude = magnitude * uint64_t(base) + uint64_t(digit);
        if (magnitude > limit)
            return std::nullopt;
    }
    const auto bits = uint32_t(negative ? 0u - uint32_t(magnitude) : uint32_t(magnitude));
    return static_cast<int32_t>(bits);
}

bool TIniFile::Load(Document& doc) const {
    doc = Document{};
    const int fd = ::open(fileName_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT;
    }
    std::string data;
    char buffer[8192];
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0)
            break;
        data.append(buffer, size_t(n));
    }
    ::close(fd);
    if (!ok)
        return false;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos)
            end = data.size();
        doc.lines.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    doc.crlf = !doc.lines.empty() && !doc.lines.front().empty() && doc.lines.front().back() == '\r';
    return true;
}

bool TIniFile::Store(const Document& doc) const {
    std::string data;
    for (const std::string& line : doc.lines) {
        data += line;
        data += '\n';
    }
    // A link is written through to its target rather than replaced.
    std::string target = fileName_;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    const bool existed = ::stat(target.c_str(), &st) == 0;
    // Writes killed between the temporary and the rename leave temporaries
    // behind; the first write of each file object clears them out. Reads
    // never do, so a program that only reads changes nothing.
    if (!sweptTemporaries_) {
        sweptTemporaries_ = true;
        RemoveStaleTemporaries(target + kTemporaryInfix);
    }

    std::string temp = target + kTemporaryInfix + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = true;
    if (existed && S_ISREG(st.st_mode))
        ok = ::fchmod(fd, st.st_mode & 07777) == 0;
    ok = ok && WriteAll(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; the new content is already complete.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
    Document doc;
    if (!Load(doc))
        return std::string(defaultValue);
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);
    std::optional<std::string> found;
    ForEachKeyLine(doc.lines, sectionName, [&](size_t, ParsedLine& line) {
        if (!SameText(line.name, keyName))
            return true;
        found = std::move(line.value);
        return false;
    });
    return found ? *found : std::string(defaultValue);
}

int32_t TIniFile::ReadInteger(std::string_view section, std::string_view key,
                              int32_t defaultValue) const {
    const std::optional<int32_t> value = ParseInteger(ReadString(section, key, ""));
    return value ? *value : defaultValue;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string sectionName = Trim(section);
    const std::string keyName = Trim(key);
    const std::string text = Trim(value);
    if (sectionName.empty() || HasLineBreak(sectionName) || keyName.empty() ||
        HasLineBreak(keyName) || keyName.find('=') != std::string::npos || keyName.front() == ';' ||
        keyName.front() == '[' || HasLineBreak(text)) {
        return false;
    }
    Document doc;
    // An unreadable file is left alone: rewriting it would lose its content.
    if (!Load(doc))
        return false;
    const std::string eol = doc.crlf ? "\r" : "";

    std::optional<size_t> existing;
    bool unchanged = false;
    ForEachKeyLine(doc.lines, sectionName, [&](size_t i, ParsedLine& line) {
        if (!SameText(line.name, keyName))
            return true;
        existing = i;
        unchanged = line.value == text;
        // The key keeps the spelling the file gave it.
        doc.lines[i] = line.name + "=" + text + eol;
        return false;
    });
    if (unchanged)
        return true;
    if (existing)
        return Store(doc);

    // A new key goes after the last key of the first section of that name.
    std::optional<size_t> insertAfter;
    bool inFirst = false;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine line = ParseLine(doc.lines[i], i == 0);
        if (line.kind == LineKind::Header) {
            if (insertAfter)
                break;
            inFirst = SameText(line.name, sectionName);
            if (inFirst)
                insertAfter = i;
        } else if (inFirst && line.kind == LineKind::Key) {
            insertAfter = i;
        }
    }
    const std::string newLine = keyName + "=" + text + eol;
    if (insertAfter) {
        doc.lines.insert(doc.lines.begin() + std::ptrdiff_t(*insertAfter + 1), newLine);
    } else {
        if (!doc.lines.empty() && !Trim(doc.lines.back()).empty())
            doc.lines.push_back(eol);
        doc.lines.push_back("[" + sectionName + "]" + eol);
        doc.lines.push_back(newLine);
    }
    return Store(doc);
}

bool TIniFile::WriteInteger(std::string_view section, std::string_view key, int32_t value) {
    return WriteString(section, key, IntToStr(value));
}

bool TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(std::string_view section) const {
    Document doc;
    if (!Load(doc))
        return false;
    const std::string sectionName = Trim(section);
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine line = ParseLine(doc.lines[i], i == 0);
        if (line.kind == LineKind::Header && SameText(line.name, sectionName))
            return true;
    }
    return false;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    Document doc;
    if (!Load(doc))
        return false;
    const std::string keyName = Trim(key);
    bool found = false;
    ForEachKeyLine(doc.lines, Trim(section), [&](size_t, ParsedLine& line) {
        found = SameText(line.name, keyName);
        return !found;
    });
    return found;
}

std::vector<std::string> TIniFile::ReadSection(std::string_view section) const {
    std::vector<std::string> keys;
    Document doc;
    if (!Load(doc))
        return keys;
    ForEachKeyLine(doc.lines, Trim(section), [&](size_t, ParsedLine& line) {
        for (const std::string& k : keys) {
            if (SameText(k, line.name))
                return true;
        }
        keys.push_back(std::move(line.name));
        return true;
    });
    return keys;
}

bool TIniFile::EraseSection(std::string_view section) {
    Document doc;
    if (!Load(doc))
        return false;
    const std::string sectionName = Trim(section);
    std::vector<std::string> kept;
    bool inSection = false;
    bool erased = false;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const ParsedLine line = ParseLine(doc.lines[i], i == 0);
        if (line.kind == LineKind::Header)
            inSection = SameText(line.name, sectionName);
        if (inSection) {
            erased = true;
        } else {
            kept.push_back(std::move(doc.lines[i]));
        }
    }
    if (!erased)
        return true;
    doc.lines = std::move(kept);
    return Store(doc);
}

bool TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    Document doc;
    if (!Load(doc))
        return false;
    const std::string keyName = Trim(key);
    std::vector<size_t> doomed;
    ForEachKeyLine(doc.lines, Trim(section), [&](size_t i, ParsedLine& line) {
        if (SameText(line.name, keyName))
            doomed.push_back(i);
        return true;
    });
    if (doomed.empty())
        return true;
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        doc.lines.erase(doc.lines.begin() + std::ptrdiff_t(*it));
    }
    return Store(doc);
}

}  // namespace tw
