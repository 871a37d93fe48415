#include "base/Appearance.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "base/Paths.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

class AppearanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({program.Path(), "tallyward", data.Path()});
        ResetAppearance();
    }
    void TearDown() override { ResetAppearance(); }

    std::string Ini() const { return IniFileName(); }

    test::TempDir program;
    test::TempDir data;
};

TEST_F(AppearanceTest, DefaultsWithNoFile) {
    EXPECT_EQ(GetIniFile().FileName(), data.Path() + "tallyward.ini");
    EXPECT_EQ(GetBackgroundColor(), 0);
    EXPECT_EQ(GetTextColor(), 16777215);
    EXPECT_EQ(GetTransparency(), 10);
    EXPECT_EQ(GetAlign(), 1);
    EXPECT_EQ(GetAlignVertical(), 0);
    EXPECT_FALSE(GetAutohide());
    EXPECT_TRUE(GetShow5MinButton());
    EXPECT_EQ(GetBackgroundImage(), "");
    EXPECT_EQ(GetBackgroundPicturePath(), "");
    EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(AppearanceTest, ReadsStoredValues) {
    WriteFileText(program.Path() + "sky.png", "png");
    WriteFileText(
        Ini(), "[Background]\nColor=255\nTextColor=0\nTransparency=$1E\nImage=" + program.Path() +
                   "sky.png\n[Position]\nAlign=0\nAlignVertical=1\n"
                   "Autohide=1\n[Common]\nShow5MinButton=0\n");
    EXPECT_EQ(GetBackgroundColor(), 255);
    EXPECT_EQ(GetTextColor(), 0);
    EXPECT_EQ(GetTransparency(), 30);
    EXPECT_EQ(GetAlign(), 0);
    EXPECT_EQ(GetAlignVertical(), 1);
    EXPECT_TRUE(GetAutohide());
    EXPECT_FALSE(GetShow5MinButton());
    EXPECT_EQ(GetBackgroundPicturePath(), program.Path() + "sky.png");
}

// Which getters see a change made to the file behind their back.
TEST_F(AppearanceTest, CachingFollowsEachKeysMarker) {
    WriteFileText(Ini(),
                  "[Background]\nColor=1\nTextColor=2\nTransparency=3\n"
                  "[Position]\nAlign=2\nAlignVertical=0\nAutohide=0\n");
    EXPECT_EQ(GetBackgroundColor(), 1);
    EXPECT_EQ(GetTextColor(), 2);
    EXPECT_EQ(GetTransparency(), 3);
    EXPECT_EQ(GetAlign(), 2);
    EXPECT_EQ(GetAlignVertical(), 0);
    EXPECT_FALSE(GetAutohide());
    EXPECT_EQ(GetBackgroundImage(), "");

    WriteFileText(Ini(),
                  "[Background]\nColor=7\nTextColor=7\nTransparency=7\nImage=/a.png\n"
                  "[Position]\nAlign=0\nAlignVertical=1\nAutohide=1\n");
    EXPECT_EQ(GetBackgroundColor(), 1);
    EXPECT_EQ(GetTextColor(), 2);
    EXPECT_EQ(GetTransparency(), 3);
    EXPECT_EQ(GetAlign(), 2);
    EXPECT_EQ(GetAlignVertical(), 1);  // 0 was the not-read marker
    EXPECT_TRUE(GetAutohide());        // read on every get
    EXPECT_EQ(GetBackgroundImage(), "/a.png");

    WriteFileText(Ini(), "[Background]\nImage=/b.png\n[Position]\nAlignVertical=0\n");
    EXPECT_EQ(GetBackgroundImage(), "/a.png");  // kept once non-empty
    EXPECT_EQ(GetAlignVertical(), 1);
    EXPECT_FALSE(GetAutohide());
}

struct SetterCase {
    const char* name;
    std::function<void()> set;
    std::function<bool()> readsBack;
    const char* line;
};

void PrintTo(const SetterCase& c, std::ostream* os) {
    *os << c.name;
}

class AppearanceSetterTest : public AppearanceTest,
                             public ::testing::WithParamInterface<SetterCase> {};

TEST_P(AppearanceSetterTest, WritesThroughAtOnce) {
    WriteFileText(Ini(), "[Position]\nAlign=1\nAlignVertical=1\n");
    GetParam().set();
    EXPECT_NE(ReadFileText(Ini()).find(GetParam().line), std::string::npos) << ReadFileText(Ini());
    EXPECT_TRUE(GetParam().readsBack());
    ResetAppearance();  // a fresh run reads it from the file
    EXPECT_TRUE(GetParam().readsBack());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, AppearanceSetterTest,
    ::testing::Values(SetterCase{"Color", [] { SetBackgroundColor(0x00FF8000); },
                                 [] { return GetBackgroundColor() == 0x00FF8000; },
                                 "\nColor=16744448\n"},
                      SetterCase{"TextColor", [] { SetTextColor(0); },
                                 [] { return GetTextColor() == 0; }, "\nTextColor=0\n"},
                      SetterCase{"Transparency", [] { SetTransparency(55); },
                                 [] { return GetTransparency() == 55; }, "\nTransparency=55\n"},
                      SetterCase{"Autohide", [] { SetAutohide(true); },
                                 [] { return GetAutohide(); }, "\nAutohide=1\n"},
                      // Setting the left edge before any get must not pass for "unchanged".
                      SetterCase{"AlignLeftFirst", [] { SetAlign(0); },
                                 [] { return GetAlign() == 0; }, "\nAlign=0\n"},
                      SetterCase{"AlignVerticalTop", [] { SetAlignVertical(0); },
                                 [] { return GetAlignVertical() == 0; }, "\nAlignVertical=0\n"},
                      SetterCase{"Image", [] { SetBackgroundImage("/skins/C:\\x.png"); },
                                 [] { return GetBackgroundImage() == "/skins/C:\\x.png"; },
                                 "[Background]\nImage=/skins/C:\\x.png\n"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST_F(AppearanceTest, AlignSetToItsCurrentValueWritesNothing) {
    SetAlign(1);
    SetAlignVertical(0);
    EXPECT_FALSE(fs::exists(Ini()));

    SetAlign(0);
    SetAlign(0);
    EXPECT_EQ(ReadFileText(Ini()), "[Position]\nAlign=0\n");
}

TEST_F(AppearanceTest, BackgroundPictureFollowsTheFileOnDisk) {
    const std::string sky = program.Path() + "sky.png";
    WriteFileText(Ini(), "[Background]\nImage=" + sky + "\n");
    EXPECT_EQ(GetBackgroundPicturePath(), "");  // named file is gone: no picture, no error

    WriteFileText(sky, "png");
    EXPECT_EQ(GetBackgroundPicturePath(), "");  // loaded once, kept
    SetBackgroundImage(sky);
    EXPECT_EQ(GetBackgroundPicturePath(), sky);
    SetBackgroundImage(program.Path() + "missing.png");
    EXPECT_EQ(GetBackgroundPicturePath(), "");
    SetBackgroundImage("");
    EXPECT_EQ(GetBackgroundPicturePath(), "");
    EXPECT_EQ(GetBackgroundImage(), "");
}

TEST_F(AppearanceTest, SkinListHoldsEveryLoadablePictureOnceByName) {
    const std::string skins = SkinsFolder();
    for (const char* folder : {"sub", "a", "Icons"})
        fs::create_directories(skins + folder);
    for (const char* file :
         {"Blue.png", "sub/Blue.jpeg", "Green.jpg", "a/green.png", "Red.GIF", "Icons/x.BMP",
          "a.b.ico", "readme.txt", "noext", ".png", "c.jpg.txt"}) {
        WriteFileText(skins + file, "x");
    }
    fs::create_directories(skins + "dir.png");

    NameValueList list{{"stale", "/old"}};
    GetSkinList(list);
    const NameValueList expected{
        {"a.b", skins + "a.b.ico"},
        // Later in sorted path order wins: "Skins/sub/..." after "Skins/Blue.png",
        // "Skins/Green.jpg" after "Skins/a/...".
        {"Blue", skins + "sub/Blue.jpeg"},
        {"Green", skins + "Green.jpg"},
        {"Red", skins + "Red.GIF"},
        {"x", skins + "Icons/x.BMP"},
    };
    EXPECT_EQ(list, expected);
}

TEST_F(AppearanceTest, SkinListOfMissingFolderIsEmpty) {
    NameValueList list{{"stale", "/old"}};
    GetSkinList(list);
    EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace tw
