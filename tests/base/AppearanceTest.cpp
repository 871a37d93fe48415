#include "base/Appearance.h"

#include <gtest/gtest.h>

#include <filesystem>
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

// Which getters see a change made to the file behind their back.
TEST_F(AppearanceTest, CachingFollowsEachKeysMarker) {
    WriteFileText(Ini(),
                  "[Background]\nColor=1\nTextColor=2\nTransparency=3\n"
                  "[Position]\nAlign=2\nAlignVertical=0\nAutohide=0\n[Common]\nShow5MinButton=0\n");
    EXPECT_EQ(GetBackgroundColor(), 1);
    EXPECT_EQ(GetTextColor(), 2);
    EXPECT_EQ(GetTransparency(), 3);
    EXPECT_EQ(GetAlign(), 2);
    EXPECT_EQ(GetAlignVertical(), 0);
    EXPECT_FALSE(GetAutohide());
    EXPECT_FALSE(GetShow5MinButton());
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

// Each setter writes through at once, and a fresh run reads the value from the file.
TEST_F(AppearanceTest, SettersWriteThroughAtOnce) {
    const struct {
        void (*set)(int32_t);
        int32_t (*get)();
        int32_t value;
        const char* line;
    } cases[] = {
        {SetBackgroundColor, GetBackgroundColor, 0x00FF8000, "\nColor=16744448\n"},
        {SetTextColor, GetTextColor, 0, "\nTextColor=0\n"},
        {SetTransparency, GetTransparency, 55, "\nTransparency=55\n"},
        {[](int32_t v) { SetAutohide(v != 0); }, []() -> int32_t { return GetAutohide(); }, 1,
         "\nAutohide=1\n"},
        // Setting the left edge before any get must not pass for "unchanged".
        {SetAlign, GetAlign, 0, "\nAlign=0\n"},
        {SetAlignVertical, GetAlignVertical, 0, "\nAlignVertical=0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        ResetAppearance();
        WriteFileText(Ini(), "[Position]\nAlign=1\nAlignVertical=1\n");
        c.set(c.value);
        EXPECT_NE(ReadFileText(Ini()).find(c.line), std::string::npos) << ReadFileText(Ini());
        EXPECT_EQ(c.get(), c.value);
        ResetAppearance();
        EXPECT_EQ(c.get(), c.value);
    }
    SetBackgroundImage("/skins/C:\\x.png");
    EXPECT_NE(ReadFileText(Ini()).find("[Background]\nImage=/skins/C:\\x.png\n"),
              std::string::npos);
    ResetAppearance();
    EXPECT_EQ(GetBackgroundImage(), "/skins/C:\\x.png");
}

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
    NameValueList list{{"stale", "/old"}};
    GetSkinList(list);
    EXPECT_TRUE(list.empty());  // no folder yet

    const std::string skins = SkinsFolder();
    for (const char* folder : {"sub", "a", "Icons"})
        fs::create_directories(skins + folder);
    for (const char* file :
         {"Blue.png", "sub/Blue.jpeg", "Green.jpg", "a/green.png", "Red.GIF", "Icons/x.BMP",
          "a.b.ico", "readme.txt", "noext", ".png", "c.jpg.txt"}) {
        WriteFileText(skins + file, "x");
    }
    fs::create_directories(skins + "dir.png");

    list = {{"stale", "/old"}};
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

}  // namespace
}  // namespace tw
