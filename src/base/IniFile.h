#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tw {

// A sectioned text file ("[Section]" lines, then "Key=Value" lines), read and
// written by the program itself: sections, keys and values are kept byte for
// byte (a key may hold "/", ":" or "\"), section and key names are matched
// with ASCII letter case folded, a missing file or key gives the default, and
// every write replaces the whole file atomically (temporary file, then
// rename), so an interrupted write never loses it.
class TIniFile {
public:
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const noexcept { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    int32_t ReadInteger(std::string_view section, std::string_view key, int32_t defaultValue) const;
    bool ReadBool(std::string_view section, std::string_view key, bool defaultValue) const;

    // Write failures are not reported to the user: the file keeps its
    // previous content and the answer is false. A write that cannot be
    // represented in the line form is refused the same way: an empty section
    // or key, a key holding "=" or starting with ";" or "[", or a line break
    // anywhere. Blanks around a key or value are not kept, as on reading.
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInteger(std::string_view section, std::string_view key, int32_t value);
    bool WriteBool(std::string_view section, std::string_view key, bool value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Keys of a section in file order, each name once (its first spelling).
    std::vector<std::string> ReadSection(std::string_view section) const;
    bool EraseSection(std::string_view section);
    // Removes every line of the key in that section.
    bool DeleteKey(std::string_view section, std::string_view key);

    // The integer reading used by ReadInteger: decimal, or hexadecimal after
    // "$" or "0x", with an optional sign; empty when the text is no integer.
    static std::optional<int32_t> ParseInteger(std::string_view text);

private:
    // The file as raw lines (without "\n"); unknown lines, comments and line
    // ends are written back as they were.
    struct Document {
        std::vector<std::string> lines;
        bool crlf = false;
    };
    // False when the file exists but cannot be read; a missing file is empty.
    bool Load(Document& doc) const;
    bool Store(const Document& doc) const;

    std::string fileName_;
    mutable bool sweptTemporaries_ = false;
};

}  // namespace tw
