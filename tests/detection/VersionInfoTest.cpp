#include "detection/VersionInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection/AppDiscovery.h"
#include "platform/fake/FakeDiscovery.h"

namespace tw {
namespace {

using Lines = std::vector<std::string>;
const std::string kExe = "C:\\Apps\\tool.exe";

TEST(VersionInfoTest, ReadsTheBlockOfTheFirstTranslation) {
    FakeDiscovery fake;
    // German strings in the Windows code page; an English block beside them is not read.
    fake.SetVersionBlock(kExe, std::make_pair(uint16_t(0x0407), uint16_t(0x04E4)),
                         {{"StringFileInfo\\040704E4\\FileDescription", "Werkzeug"},
                          {"StringFileInfo\\040704E4\\ProductVersion", "2.1"},
                          {"StringFileInfo\\040704E4\\Comments", ""},
                          {"StringFileInfo\\040904B0\\ProductName", "Tool"}});
    TVersionInfo info(fake);
    info.FileName = kExe;
    info.Strings.push_back("earlier");
    info.ReadVersionInfo();
    EXPECT_EQ(info.Values[vkFileDescription], "Werkzeug");
    EXPECT_EQ(info.Values[vkProductVersion], "2.1");
    EXPECT_EQ(info.Values[vkProductName], "");
    EXPECT_EQ(info.Strings, (Lines{"earlier", "FileDescription=Werkzeug", "ProductVersion=2.1",
                                   "German (Germany)"}));
}

struct EmptyCase {
    const char* name;
    bool hasResource;
    bool hasTranslation;
};

void PrintTo(const EmptyCase& c, std::ostream* out) {
    *out << c.name;
}

class VersionInfoEmptyTest : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(VersionInfoEmptyTest, NothingFoundLeavesEverythingEmpty) {
    const EmptyCase& c = GetParam();
    FakeDiscovery fake;
    if (c.hasResource) {
        std::optional<std::pair<uint16_t, uint16_t>> translation;
        if (c.hasTranslation)
            translation = std::make_pair(uint16_t(0x0409), uint16_t(0x04B0));
        // Strings only under a block the translation does not name.
        fake.SetVersionBlock(kExe, translation, {{"StringFileInfo\\040904E4\\ProductName", "X"}});
    }
    TVersionInfo info(fake);
    info.FileName = kExe;
    info.ReadVersionInfo();
    for (const std::string& value : info.Values)
        EXPECT_EQ(value, "");
    EXPECT_TRUE(info.Strings.empty());
    // Such a file is named after itself.
    TAppDiscovery discovery(fake);
    EXPECT_EQ(discovery.GetExeDisplayName(kExe), "tool");
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionInfoEmptyTest,
                         ::testing::Values(EmptyCase{"NoResource", false, false},
                                           EmptyCase{"NoTranslation", true, false},
                                           EmptyCase{"OtherBlockOnly", true, true}),
                         [](const auto& tp) { return std::string(tp.param.name); });

}  // namespace
}  // namespace tw
