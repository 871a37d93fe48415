#include "base/IniFile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
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
    EXPECT_FALSE(ini.ValueExists("S", "k"));
    EXPECT_TRUE(ini.ReadSection("S").empty());
    EXPECT_TRUE(ini.EraseSection("S"));
    EXPECT_TRUE(ini.DeleteKey("S", "k"));
    EXPECT_FALSE(fs::exists(path));
}

struct ParseCase {
    const char* name;
    const char* text;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class IniParseTest : public IniFileTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(IniParseTest, ReadsLikeTheProfileService) {
    const ParseCase& c = GetParam();
    WriteFileText(path, c.text);
    EXPECT_EQ(ini.ValueExists(c.section, c.key), c.expected.has_value());
    EXPECT_EQ(ini.ReadString(c.section, c.key, "<none>"), c.expected.value_or("<none>"));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniParseTest,
    ::testing::Values(ParseCase{"Plain", "[S]\nk=v\n", "S", "k", "v"},
                      ParseCase{"CaseFolded", "[sEc]\nKEY=v\n", "SEC", "key", "v"},
                      ParseCase{"BlanksTrimmed", "  [ S ]  \n\t k  =  v w \t\n", "S", "k", "v w"},
                      ParseCase{"SplitAtFirstEquals", "[S]\nk=a=b\n", "S", "k", "a=b"},
                      ParseCase{"EmptyValue", "[S]\nk=\n", "S", "k", ""},
                      ParseCase{"FirstOccurrenceWins", "[S]\nk=1\nk=2\n", "S", "k", "1"},
                      ParseCase{"RepeatedSection", "[S]\na=1\n[T]\nk=x\n[S]\nk=2\n", "S", "k", "2"},
                      ParseCase{"CommentIsNoKey", "[S]\n;k=v\n", "S", "k", std::nullopt},
                      ParseCase{"LineWithoutEquals", "[S]\nk\n", "S", "k", std::nullopt},
                      ParseCase{"KeyBeforeAnySection", "k=v\n[S]\n", "S", "k", std::nullopt},
                      ParseCase{"OtherSection", "[T]\nk=v\n", "S", "k", std::nullopt},
                      ParseCase{"CrLf", "[S]\r\nk=v\r\n", "S", "k", "v"},
                      ParseCase{"ByteOrderMark", "\xEF\xBB\xBF[S]\nk=v\n", "S", "k", "v"},
                      ParseCase{"NoFinalNewline", "[S]\nk=v", "S", "k", "v"},
                      ParseCase{"BracketInSectionName", "[a]b]\nk=v\n", "a]b", "k", "v"},
                      ParseCase{"PathKey", "[Applications]\nC:\\Apps\\x.exe=1\n", "Applications",
                                "c:\\apps\\X.EXE", "1"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct IntegerCase {
    const char* text;
    std::optional<int32_t> value;
};

class IniIntegerTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniIntegerTest, ParsesDecimalAndHex) {
    EXPECT_EQ(TIniFile::ParseInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IniIntegerTest,
    ::testing::Values(IntegerCase{"12", 12}, IntegerCase{"-7", -7}, IntegerCase{"+5", 5},
                      IntegerCase{"007", 7}, IntegerCase{"0x1F", 31}, IntegerCase{"0X1f", 31},
                      IntegerCase{"$ff", 255}, IntegerCase{"-$10", -16},
                      IntegerCase{"$FFFFFFFF", -1}, IntegerCase{"2147483647", 2147483647},
                      IntegerCase{"-2147483648", INT32_MIN}, IntegerCase{"2147483648", {}},
                      IntegerCase{"$100000000", {}}, IntegerCase{"", {}}, IntegerCase{"-", {}},
                      IntegerCase{"0x", {}}, IntegerCase{"$", {}}, IntegerCase{"12a", {}},
                      IntegerCase{"1.5", {}}, IntegerCase{"1 2", {}}, IntegerCase{"true", {}},
                      IntegerCase{"0xG", {}}));

TEST_F(IniFileTest, IntegersAndBooleansFallBackToTheDefault) {
    WriteFileText(path, "[S]\nhex=$1F\nbad=12x\nt=2\nf=0\nword=yes\n");
    EXPECT_EQ(ini.ReadInteger("S", "hex", -1), 31);
    EXPECT_EQ(ini.ReadInteger("S", "bad", -1), -1);
    EXPECT_TRUE(ini.ReadBool("S", "t", false));
    EXPECT_FALSE(ini.ReadBool("S", "f", true));
    EXPECT_TRUE(ini.ReadBool("S", "word", true));
    EXPECT_FALSE(ini.ReadBool("S", "word", false));

    ASSERT_TRUE(ini.WriteBool("S", "b", true));
    ASSERT_TRUE(ini.WriteInteger("S", "n", -2147483647 - 1));
    EXPECT_NE(ReadFileText(path).find("\nb=1\nn=-2147483648\n"), std::string::npos);
    EXPECT_EQ(ini.ReadInteger("S", "n", 0), INT32_MIN);
}

class IniRoundTripTest : public IniFileTest, public ::testing::WithParamInterface<const char*> {};

// Keys are paths and addresses: nothing in them may be taken for structure.
TEST_P(IniRoundTripTest, KeyAndValueSurviveByteForByte) {
    const std::string text = GetParam();
    ASSERT_TRUE(ini.WriteString("Web/Sites:\\x", text, text));
    ASSERT_TRUE(ini.WriteString("Other", "k", "v"));
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("Web/Sites:\\x", text, "<none>"), text);
    EXPECT_EQ(again.ReadSection("Web/Sites:\\x"), std::vector<std::string>{text});
    EXPECT_NE(ReadFileText(path).find("[Web/Sites:\\x]\n" + text + "=" + text + "\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Keys, IniRoundTripTest,
                         ::testing::Values("/usr/bin/firefox", "C:\\Program Files\\App\\app.exe",
                                           "http://example.org:8080/a/b", "a:b/c\\d", "with space",
                                           "x;y[z]", "\xC3\xBC\xC3\xA9\xFF", "#hash"));

struct RefusedCase {
    const char* section;
    const char* key;
    const char* value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << '"' << c.section << "\" \"" << c.key << "\" \"" << c.value << '"';
}

class IniRefusedTest : public IniFileTest, public ::testing::WithParamInterface<RefusedCase> {};

// Such a line would read back as something else, or break the lines after it.
TEST_P(IniRefusedTest, UnrepresentableWriteLeavesTheFileAlone) {
    WriteFileText(path, "[S]\nk=v\n");
    const RefusedCase& c = GetParam();
    EXPECT_FALSE(ini.WriteString(c.section, c.key, c.value));
    EXPECT_EQ(ReadFileText(path), "[S]\nk=v\n");
}

INSTANTIATE_TEST_SUITE_P(Writes, IniRefusedTest,
                         ::testing::Values(RefusedCase{"S", "a=b", "a=b"},
                                           RefusedCase{"S", "", "v"}, RefusedCase{"S", "  ", "v"},
                                           RefusedCase{"S", ";c", "v"},
                                           RefusedCase{"S", "[T]", "v"},
                                           RefusedCase{"S", "k", "v\n[T]"},
                                           RefusedCase{"S", "k\rx", "v"}, RefusedCase{"", "k", "v"},
                                           RefusedCase{"S\nT", "k", "v"}));

TEST_F(IniFileTest, WritesTouchNoOtherLine) {
    WriteFileText(path,
                  "; top comment\n"
                  "stray line\n"
                  "[S]\n"
                  "  Key = old  \n"
                  "other=1\n"
                  "\n"
                  "; about T\n"
                  "[T]\n"
                  "x=y\n");
    ASSERT_TRUE(ini.WriteString("s", "KEY", "new"));
    ASSERT_TRUE(ini.WriteString("S", "added", "2"));
    ASSERT_TRUE(ini.WriteString("U", "z", "3"));
    EXPECT_EQ(ReadFileText(path),
              "; top comment\n"
              "stray line\n"
              "[S]\n"
              "Key=new\n"
              "other=1\n"
              "added=2\n"
              "\n"
              "; about T\n"
              "[T]\n"
              "x=y\n"
              "\n"
              "[U]\n"
              "z=3\n");
}

TEST_F(IniFileTest, CrLfFileKeepsItsLineEnds) {
    WriteFileText(path, "[S]\r\na=1\r\n");
    ASSERT_TRUE(ini.WriteString("S", "b", "2"));
    ASSERT_TRUE(ini.WriteString("T", "c", "3"));
    ASSERT_TRUE(ini.WriteString("S", "a", "9"));
    EXPECT_EQ(ReadFileText(path), "[S]\r\na=9\r\nb=2\r\n\r\n[T]\r\nc=3\r\n");
}

TEST_F(IniFileTest, EraseSectionDeleteKeyAndReadSection) {
    WriteFileText(path,
                  "[WebSites]\n"
                  "a.com=a.com\n"
                  "; note\n"
                  "[Common]\n"
                  "k=1\n"
                  "[websites]\n"
                  "B.com=B.com\n"
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
TEST_F(IniFileTest, UnreadableTargetIsNeitherReplacedNorLittered) {
    fs::create_directory(path);
    WriteFileText(path + "/inside", "keep");
    EXPECT_FALSE(ini.WriteString("S", "k", "v"));
    EXPECT_EQ(ini.ReadString("S", "k", "d"), "d");
    EXPECT_EQ(ReadFileText(path + "/inside"), "keep");
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"});
}

TEST_F(IniFileTest, MissingFolderFailsQuietly) {
    TIniFile nowhere(dir.Path() + "gone/t.ini");
    EXPECT_FALSE(nowhere.WriteString("S", "k", "v"));
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{});
}

// A write cut short (here by the file-size limit) must keep the old file
// whole and remove its partial temporary file.
TEST_F(IniFileTest, InterruptedWriteKeepsTheOldFile) {
    const std::string before = "[S]\nk=old\n";
    WriteFileText(path, before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const bool written = ini.WriteString("S", "k", std::string(100000, 'x'));
        ::_exit(written ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the cut-short write was reported as done";
    EXPECT_EQ(ReadFileText(path), before);
    EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::string>{"t.ini"});
}

}  // namespace
}  // namespace tw
