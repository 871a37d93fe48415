#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/Discovery.h"

// The version strings of a program file: what the file says it is.
namespace tw {

enum TVersionKey {
    vkFileVersion,
    vkFileDescription,
    vkLegalCopyright,
    vkComments,
    vkCompanyName,
    vkInternalName,
    vkLegalTrademarks,
    vkOriginalFilename,
    vkProductName,
    vkProductVersion,
};

inline constexpr int kVersionKeyCount = 10;
extern const std::array<const char*, kVersionKeyCount> kVersionKeyNames;

class TVersionInfo {
public:
    explicit TVersionInfo(VersionInfoSource& source) : source_(source) {}
    TVersionInfo(const TVersionInfo&) = delete;
    TVersionInfo& operator=(const TVersionInfo&) = delete;

    // Fills Values and appends to Strings from FileName; a file without
    // version information leaves every value empty.
    void ReadVersionInfo();

    std::array<std::string, kVersionKeyCount> Values;
    // "Key=text" for every key found, then the language's name.
    std::vector<std::string> Strings;
    std::string FileName;

private:
    std::vector<std::string> CollectVersionStrings();

    VersionInfoSource& source_;
};

}  // namespace tw
