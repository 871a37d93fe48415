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

    // Write failures are not reported: the file keeps its previous content.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int32_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value);

    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    // Keys of a section in file order.
    std::vector<std::string> ReadSection(std::string_view section) const;
    void EraseSection(std::string_view section);
    void DeleteKey(std::string_view section, std::string_view key);

private:
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> entries;
    };
    std::vector<Section> Load() const;
    bool Store(const std::vector<Section>& sections) const;

    std::string fileName_;
};

}  // namespace tw
