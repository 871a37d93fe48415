#include "base/IniFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;
using test::ReadFileText;
using test::WriteFileText;

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

ino_t InodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class IniFileTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.Path() + "t.ini";
    TIniFile ini{path};
};

TEST_F(IniFileTest, MissingFileGivesDefaultsAndCreatesNothing) {
    EXPECT_EQ(ini.ReadString("S", "k", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadInteger("S", "k", 42), 42);
    EXPECT_TRUE(ini.ReadBool("S", "k", true));
    EXPECT_FALSE(ini.SectionExists("S"));
    EXPECT_TRUE(ini.ReadSection("S").empty());
    EXPECT_TRUE(ini.EraseSection("S"));
    EXPECT_TRUE(ini.DeleteKey("S", "k"));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(IniFileTest, ReadsLikeTheProfileService) {
    const struct {
        const char* text;
        const char* section;
        const char* key;
        std::optional<std::string> expected;
    } cases[] = {
        {"[sEc]\nKEY=v\n", "SEC", "key", "v"},
        {"  [ S ]  \n\t k  =  v w \t\n", "S", "k", "v w"},
        {"[S]\nk=a=b\n", "S", "k", "a=b"},
        {"[S]\nk=\n", "S", "k", ""},
        {"[S]\nk=1\nk=2\n", "S", "k", "1"},
        {"[S]\na=1\n[T]\nk=x\n[S]\nk=2\n", "S", "k", "2"},
        {"[S]\n;k=v\n", "S", "k", std::nullopt},
        {"[S]\nk\n", "S", "k", std::nullopt},
        {"k=v\n[S]\n", "S", "k", std::nullopt},
        {"[S]\r\nk=v\r\n", "S", "k", "v"},
        {"\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
        {"[S]\nk=v", "S", "k", "v"},
        {"[a]b]\nk=v\n", "a]b", "k", "v"},
        {"[Applications]\nC:\\Apps\\x.exe=1\n", "Applications", "c:\\apps\\X.EXE", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFileText(path, c.text);
        EXPECT_EQ(ini.ValueExists(c.section, c.key), c.expected.has_value());
        EXPECT_EQ(ini.ReadString(c.section, c.key, "<none>"), c.expected.value_or("<none>"));
    }
}

TEST(IniIntegerTest, ParsesDecimalAndHex) {
    // clang-format off
    const std::pair<const char*, int32_t> valid[] = {
        {"-7", -7}, {"+5", 5}, {"007", 7}, {"0X1f", 31}, {"$ff", 255}, {"-$10", -16},
        {"$FFFFFFFF", -1}, {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}};
    // clang-format on
    for (const auto& [text, value] : valid)
        EXPECT_EQ(TIniFile::ParseInteger(text), value) << text;
    for (const char* text : {"2147483648", "$100000000", "", "-", "0x", "$", "12a", "1.5", "0xG"})
        EXPECT_EQ(TIniFile::ParseInteger(text), std::nullopt) << text;
}

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheDefault) {
    WriteFileText(path, "[S]\nhex=$1F\nbad=12x\nt=2\nf=0\nword=yes\n");
    EXPECT_EQ(ini.ReadInteger("S", "hex", -1), 31);
    EXPECT_EQ(ini.ReadInteger("S", "bad", -1), -1);
    EXPECT_TRUE(ini.ReadBool("S", "t", false));
    EXPECT_FALSE(ini.ReadBool("S", "f", true));
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
    EXPECT_FALSE(ini.ReadBool("S", "word", false));
    ASSERT_TRUE(ini.WriteBool("S", "b", true));
    ASSERT_TRUE(ini.WriteInteger("S", "n", INT32_MIN));
    EXPECT_NE(ReadFileText(path).find("\nb=1\nn=-2147483648\n"), std::string::npos);
}

// Keys are paths and addresses: nothing in them may be taken for structure.
TEST_F(IniFileTest, KeyAndValueSurviveByteForByte) {
    for (const std::string text :
         {"/usr/bin/firefox", "C:\\Program Files\\App\\app.exe", "http://example.org:8080/a/b",
          "x;y[z]", "\xC3\xBC\xFF", "#hash"}) {
        SCOPED_TRACE(text);
        ASSERT_TRUE(ini.WriteString("Web/Sites:\\x", text, text));
        TIniFile again(path);
        EXPECT_EQ(again.ReadString("Web/Sites:\\x", text, "<none>"), text);
        EXPECT_EQ(again.ReadSection("Web/Sites:\\x").back(), text);
        EXPECT_NE(ReadFileText(path).find("\n" + text + "=" + text + "\n"), std::string::npos);
    }
}

// Such a line would read back as something else, or break the lines after it.
TEST_F(IniFileTest, UnrepresentableWriteLeavesTheFileAlone) {
    WriteFileText(path, "[S]\nk=v\n");
    for (const auto& [section, key, value] : {std::tuple{"S", "a=b", "a=b"},
                                              {"S", "", "v"},
                                              {"S", "  ", "v"},
                                              {"S", ";c", "v"},
                                              {"S", "[T]", "v"},
                                              {"S", "k", "v\n[T]"},
                                              {"S", "k\rx", "v"},
                                              {"", "k", "v"},
                                              {"S\nT", "k", "v"}}) {
        EXPECT_FALSE(ini.WriteString(section, key, value)) << section << " " << key << " " << value;
    }
    EXPECT_EQ(ReadFileText(path), "[S]\nk=v\n");
}

TEST_F(IniFileTest, WritesTouchNoOtherLine) {
    WriteFileText(path, "; top\nstray line\n[S]\n  Key = old  \nother=1\n\n; about T\n[T]\nx=y\n");
    ASSERT_TRUE(ini.WriteString("s", "KEY", "new"));
    ASSERT_TRUE(ini.WriteString("S", "added", "2"));
    ASSERT_TRUE(ini.WriteString("U", "z", "3"));
    EXPECT_EQ(ReadFileText(path),
              "; top\nstray line\n[S]\nKey=new\nother=1\nadded=2\n\n; about T\n[T]\nx=y\n"
              "\n[U]\nz=3\n");
    // A CR LF file keeps its line ends.
    WriteFileText(path, "[S]\r\na=1\r\n");
    ASSERT_TRUE(ini.WriteString("S", "b", "2"));
    ASSERT_TRUE(ini.WriteString("T", "c", "3"));
    ASSERT_TRUE(ini.WriteString("S", "a", "9"));
    EXPECT_EQ(ReadFileText(path), "[S]\r\na=9\r\nb=2\r\n\r\n[T]\r\nc=3\r\n");
}

TEST_F(IniFileTest, EraseSectionDeleteKeyAndReadSection) {
    WriteFileText(path,
                  "[WebSites]\na.com=a.com\n; note\n[Common]\nk=1\n[websites]\nB.com=B.com\n"
                  "A.COM=again\n");
    EXPECT_EQ(ini.ReadSection("WEBSITES"), (std::vector<std::string>{"a.com", "B.com"}));
    ASSERT_TRUE(ini.DeleteKey("WebSites", "a.com"));
    EXPECT_FALSE(ini.ValueExists("WebSites", "A.com"));  // both lines went
    EXPECT_EQ(ini.ReadSection("WebSites"), std::vector<std::string>{"B.com"});
    ASSERT_TRUE(ini.EraseSection("websites"));
    EXPECT_FALSE(ini.SectionExists("WebSites"));
    EXPECT_EQ(ReadFileText(path), "[Common]\nk=1\n");
}

TEST_F(IniFileTest, EveryWriteReplacesTheFileAndLeavesNoTemporary) {
    ASSERT_TRUE(ini.WriteString("S", "k", "1"));
    const ino_t first = InodeOf(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    EXPECT_NE(InodeOf(path), first);  // a new file took the name
    const ino_t second = InodeOf(path);
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    EXPECT_EQ(InodeOf(path), second);  // an unchanged value is not rewritten
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"});
}

TEST_F(IniFileTest, ReplacementKeepsModeAndWritesThroughALink) {
    WriteFileText(dir.Path() + "real.ini", "[S]\nk=1\n");
    ASSERT_EQ(::chmod((dir.Path() + "real.ini").c_str(), 0640), 0);
    fs::create_symlink("real.ini", path);
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(ReadFileText(dir.Path() + "real.ini"), "[S]\nk=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// Root ignores permission bits, so the failures are provoked in ways that
// stop root too.
TEST_F(IniFileTest, FailedWriteNeitherReplacesNorLitters) {
    fs::create_directory(path);
    WriteFileText(path + "/inside", "keep");
    EXPECT_FALSE(ini.WriteString("S", "k", "v"));
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
    EXPECT_EQ(ReadFileText(path + "/inside"), "keep");
    EXPECT_FALSE(TIniFile(dir.Path() + "gone/t.ini").WriteString("S", "k", "v"));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"});
}

// A write cut short (here by the file-size limit) must keep the old file
// whole and remove its partial temporary file.
TEST_F(IniFileTest, InterruptedWriteKeepsTheOldFile) {
    const std::string before = "[S]\nk=old\n";
    WriteFileText(path, before);
    EXPECT_EQ(test::RunWithFileSizeLimit(
                  [&] { return ini.WriteString("S", "k", std::string(100000, 'x')) ? 1 : 0; }),
              0)
        << "the cut-short write was reported as done";
    EXPECT_EQ(ReadFileText(path), before);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"});
}

// A write killed between its temporary and the rename leaves "<name>.tmp-XXXXXX"
// behind. The first write clears those a minute old; reads remove nothing,
// and neither a live writer's temporary nor any other name is touched.
TEST_F(IniFileTest, FirstWriteRemovesTemporariesOfKilledWrites) {
    const struct {
        const char* name;
        int ageSeconds;
        bool kept;
    } files[] = {
        {"t.ini.tmp-a1B2c3", 3600, false}, {"t.ini.tmp-zzzzzz", 2 * 60, false},
        {"t.ini.tmp-Q9w8E7", 5, true},      // a live writer's
        {"t.ini.tmp-a1B2c", 3600, true},    // not six characters
        {"t.ini.tmp-a1B2c3d", 3600, true},  // nor seven
        {"t.ini.tmp-a1-2c3", 3600, true},   // not letters and digits
        {"u.ini.tmp-a1B2c3", 3600, true},   // another file's
        {"t.ini.backup", 3600, true},       // the user's own copy
    };
    const auto age = [](const std::string& file, int seconds) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        const timespec times[2] = {{now.tv_sec - seconds, 0}, {now.tv_sec - seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << file;
    };
    for (const auto& f : files) {
        WriteFileText(dir.Path() + f.name, "[S]\npartial");
        age(dir.Path() + f.name, f.ageSeconds);
    }
    fs::create_directory(dir.Path() + "t.ini.tmp-Dir123");  // not a file
    age(dir.Path() + "t.ini.tmp-Dir123", 3600);
    WriteFileText(path, "[S]\nk=1\n");
    EXPECT_EQ(ini.ReadString("S", "k", ""), "1");
    EXPECT_EQ(FolderEntries(dir.Path()).size(), std::size(files) + 2);
    ASSERT_TRUE(ini.WriteString("S", "k", "2"));
    for (const auto& f : files) {
        EXPECT_EQ(fs::exists(dir.Path() + f.name), f.kept) << f.name;
    }
    EXPECT_TRUE(fs::is_directory(dir.Path() + "t.ini.tmp-Dir123"));
    EXPECT_EQ(ReadFileText(path), "[S]\nk=2\n");
}

}  // namespace
}  // namespace tw
