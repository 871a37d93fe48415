#include "detection/VersionInfo.h"

#include <cstdio>

#include "base/Exceptions.h"

namespace tw {

const std::array<const char*, kVersionKeyCount> kVersionKeyNames = {
    "FileVersion",  "FileDescription", "LegalCopyright",   "Comments",    "CompanyName",
    "InternalName", "LegalTrademarks", "OriginalFilename", "ProductName", "ProductVersion",
};

std::vector<std::string> TVersionInfo::CollectVersionStrings() {
    std::vector<std::string> lines;
    std::unique_ptr<VersionResource> resource = source_.ReadVersionResource(FileName);
    if (!resource)
        return lines;
    const auto translation = resource->Translation();
    if (!translation)
        return lines;
    char block[9];
    std::snprintf(block, sizeof block, "%04X%04X", unsigned(translation->first),
                  unsigned(translation->second));
    for (const char* key : kVersionKeyNames) {
        const auto text =
            resource->QueryString(std::string("StringFileInfo\\") + block + "\\" + key);
        if (text && !text->empty())
            lines.push_back(std::string(key) + "=" + *text);
    }
    if (!lines.empty())
        lines.push_back(source_.LanguageName(translation->first));
    return lines;
}

void TVersionInfo::ReadVersionInfo() {
    std::vector<std::string> lines = CollectVersionStrings();
    if (lines.empty())
        return;
    Require(lines.size() >= 2, "VersionInfo");
    // The last line is the language name, not a key.
    for (size_t k = 0; k < kVersionKeyNames.size(); ++k) {
        const std::string prefix = std::string(kVersionKeyNames[k]) + "=";
        Values[k].clear();
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            if (lines[i].compare(0, prefix.size(), prefix) == 0) {
                Values[k] = lines[i].substr(prefix.size());
                break;
            }
        }
    }
    Strings.insert(Strings.end(), lines.begin(), lines.end());
}

}  // namespace tw
