#include "base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "base/WriteLog.h"
#include "support/TestSupport.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class PathsTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitPaths({templates.Path(), "tallyward", data.Path() + "Tallyward/"});
        ForceDirectories(DataFolder());
    }
    void TearDown() override { ReleaseSingleInstanceLock(); }

    test::TempDir templates;
    test::TempDir data;
};

// Whether another process could take the lock right now.
bool OtherProcessCanLock(const std::string& file) {
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(file.c_str(), O_RDONLY);
        ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(PathsTest, LockIsExclusiveAndALeftoverFileDoesNotBlock) {
    EXPECT_EQ(LockFileName(), DataFolder() + "Tallyward.lock");
    // A file left by a crashed run: present, held by nobody.
    test::WriteFileText(LockFileName(), "");
    ASSERT_TRUE(AcquireSingleInstanceLock());
    EXPECT_FALSE(OtherProcessCanLock(LockFileName()));
    ReleaseSingleInstanceLock();
    EXPECT_FALSE(fs::exists(LockFileName()));
    // Held by another: false, no error.
    test::WriteFileText(LockFileName(), "");
    const int fd = ::open(LockFileName().c_str(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(AcquireSingleInstanceLock());
    ::close(fd);
    EXPECT_TRUE(AcquireSingleInstanceLock());
}

// Several copies starting and ending at once, each through the program's own
// lock: never two holders at a time. A holder proves it is alone by creating
// a marker file that must not exist yet, and removes it before letting go.
TEST_F(PathsTest, RacingCopiesNeverHoldTheLockTogether) {
    constexpr int kCopies = 4;
    constexpr int kRounds = 2000;
    struct Shared {
        std::atomic<int> held;
        std::atomic<int> together;
    };
    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    auto* shared = new (memory) Shared{{0}, {0}};
    const std::string marker = DataFolder() + "holder";

    std::vector<pid_t> children;
    for (int i = 0; i < kCopies; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            // Bounded in rounds and in time, whatever the machine's load.
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            for (int round = 0; round < kRounds && std::chrono::steady_clock::now() < deadline;
                 ++round) {
                if (!AcquireSingleInstanceLock())
                    continue;
                shared->held++;
                const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
                if (fd < 0) {
                    shared->together++;
                } else {
                    ::close(fd);
                    ::unlink(marker.c_str());
                }
                ReleaseSingleInstanceLock();
            }
            ::_exit(0);
        }
        if (child > 0)
            children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(children.size(), size_t(kCopies));
    EXPECT_GT(shared->held.load(), kRounds / 10);
    EXPECT_EQ(shared->together.load(), 0) << "of " << shared->held.load() << " holds";
    ::munmap(memory, sizeof(Shared));
}

TEST_F(PathsTest, UncreatableLockFileRaisesTheTwoLineError) {
    // A dangling link in the lock file's place cannot be created, even by root.
    fs::create_symlink(DataFolder() + "missing/folder/lock", LockFileName());
    try {
        AcquireSingleInstanceLock();
        FAIL() << "no error";
    } catch (const EOSError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to create \"" + LockFileName() +
                                             "\" file\nError: " + SysErrorMessage(ENOENT));
    }
}

// What a data-folder database holds, by name: the templates of these tests
// are plain texts, told apart from what the user had.
enum class Db { Missing, Empty, Tables, Damaged };

const char* const kDamaged = "not a database, and maybe the user's";

// A database with tables: the real template built beside this test.
std::string DatabaseWithTables() {
    return test::ReadFileText(fs::path(ProgramFilePath()).parent_path() / "actmondb.sqlite");
}

void Plant(const std::string& file, Db state) {
    if (state == Db::Empty)
        test::WriteFileText(file, "");
    if (state == Db::Tables)
        test::WriteFileText(file, DatabaseWithTables());
    if (state == Db::Damaged)
        test::WriteFileText(file, kDamaged);
}

std::string Describe(const std::string& file) {
    if (!fs::exists(file))
        return "missing";
    const std::string text = test::ReadFileText(file);
    if (text.empty())
        return "empty";
    if (text == DatabaseWithTables())
        return "tables";
    if (text == kDamaged)
        return "damaged";
    if (text.size() < 100)
        return text;  // a template
    return "other, " + std::to_string(text.size()) + " bytes";
}

// What seeding leaves: a missing or empty database becomes the template,
// anything else stays.
std::string Expected(Db state, const std::string& seededWith) {
    const char* const kept[] = {"missing", "empty", "tables", "damaged"};
    return state == Db::Missing || state == Db::Empty ? seededWith : kept[int(state)];
}

TEST_F(PathsTest, SeedingFillsOnlyMissingOrTablelessDatabases) {
    const struct {
        Db settings, activity;
        bool settingsTemplate, activityTemplate;
        const char* error;  // the template the refusal names, or none
    } cases[] = {
        // Settings moved aside: the history stays.
        {Db::Missing, Db::Tables, true, true, nullptr},
        {Db::Missing, Db::Missing, true, true, nullptr},
        {Db::Empty, Db::Missing, true, true, nullptr},
        {Db::Tables, Db::Empty, true, true, nullptr},
        {Db::Tables, Db::Tables, true, true, nullptr},
        // Never written over what could not be read.
        {Db::Damaged, Db::Damaged, true, true, nullptr},
        {Db::Damaged, Db::Missing, true, true, nullptr},
        // Without the template a database would have to be made up: refused,
        // before anything is copied.
        {Db::Missing, Db::Tables, false, false, "settings.sqlite"},
        {Db::Tables, Db::Empty, false, false, "actmondb.sqlite"},
        {Db::Missing, Db::Missing, true, false, "actmondb.sqlite"},
        {Db::Tables, Db::Damaged, false, false, nullptr},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE("row " + std::to_string(row++));
        fs::remove_all(DataFolder());
        fs::remove_all(templates.Path());
        ForceDirectories(DataFolder());
        ForceDirectories(templates.Path());
        const std::string settingsTemplate = "settings template";
        const std::string activityTemplate = "activity template";
        if (c.settingsTemplate)
            test::WriteFileText(ProgramFolder() + "settings.sqlite", settingsTemplate);
        if (c.activityTemplate)
            test::WriteFileText(ProgramFolder() + "actmondb.sqlite", activityTemplate);
        Plant(GetSettingsDBFileName(), c.settings);
        Plant(GetActivityDBFileName(), c.activity);
        const std::string settingsBefore = Describe(GetSettingsDBFileName());
        const std::string activityBefore = Describe(GetActivityDBFileName());

        if (c.error) {
            try {
                CopyDatabaseTemplates();
                ADD_FAILURE() << "no refusal";
            } catch (const EOSError& e) {
                const std::string missing = ProgramFolder() + c.error;
                EXPECT_NE(std::string(e.what()).find("template \"" + missing + "\" is missing"),
                          std::string::npos)
                    << e.what();
            }
            EXPECT_EQ(Describe(GetSettingsDBFileName()), settingsBefore);
            EXPECT_EQ(Describe(GetActivityDBFileName()), activityBefore);
        } else {
            EXPECT_NO_THROW(CopyDatabaseTemplates());
            EXPECT_EQ(Describe(GetSettingsDBFileName()), Expected(c.settings, settingsTemplate));
            EXPECT_EQ(Describe(GetActivityDBFileName()), Expected(c.activity, activityTemplate));
        }
        const std::string log = test::ReadFileText(LogFilePath());
        EXPECT_EQ(
            log.find("\"" + GetSettingsDBFileName() + "\" is not readable") != std::string::npos,
            c.settings == Db::Damaged)
            << log;
        for (const auto& entry : fs::directory_iterator(DataFolder())) {
            EXPECT_EQ(entry.path().filename().string().find(".seeding-"), std::string::npos)
                << entry.path();
        }
    }
}

// A copy cut short (here by the file-size limit) leaves no half database,
// and the next start clears what a killed copy left and seeds whole.
TEST_F(PathsTest, SeedingCopiesWholeOrNotAtAll) {
    const std::string big(256 * 1024, 't');
    test::WriteFileText(ProgramFolder() + "settings.sqlite", big);
    test::WriteFileText(ProgramFolder() + "actmondb.sqlite", "activity template");
    EXPECT_EQ(test::RunWithFileSizeLimit([] {
                  try {
                      CopyDatabaseTemplates();
                  } catch (const EOSError&) {
                      return 0;
                  }
                  return 1;
              }),
              0)
        << "the cut-short copy was not reported";
    EXPECT_FALSE(fs::exists(GetSettingsDBFileName()));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(DataFolder()))
        left.push_back(entry.path().filename().string());
    EXPECT_TRUE(left.empty()) << left.front();

    // Left by a killed copy an hour ago, and the user's own copy of the history.
    const std::string stale = GetSettingsDBFileName() + ".seeding-Ab12Cd";
    const std::string backup = GetActivityDBFileName() + ".backup";
    for (const std::string& file : {stale, backup}) {
        test::WriteFileText(file, "partial");
        const timespec old[2] = {{1, 0}, {1, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), old, 0), 0);
    }
    CopyDatabaseTemplates();
    EXPECT_TRUE(test::ReadFileText(GetSettingsDBFileName()) == big);
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_EQ(test::ReadFileText(backup), "partial");
}

TEST_F(PathsTest, ExistenceTestsTellFilesFromFolders) {
    test::WriteFileText(DataFolder() + "f", "");
    EXPECT_TRUE(FileExistsOnVolume(DataFolder() + "f"));
    EXPECT_FALSE(DirectoryExistsOnVolume(DataFolder() + "f"));
    EXPECT_TRUE(DirectoryExistsOnVolume(DataFolder()));
    EXPECT_FALSE(FileExistsOnVolume(DataFolder()));
}

TEST_F(PathsTest, WriteLogKeepsOneStampedLinePerCallAndRotatesOnce) {
    WriteLog("first\rsecond line");
    WriteLog("third");
    const std::string text = test::ReadFileText(LogFilePath());
    ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 2) << text;
    // "yyyy-mm-dd hh:nn:ss " then the text, line breaks folded.
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[13], ':');
    EXPECT_EQ(text.substr(20, 18), "first second line\n");

    test::WriteFileText(LogFilePath(), std::string(kLogRotateBytes, 'x'));
    WriteLog("after rotation");
    EXPECT_EQ(fs::file_size(LogFilePath() + ".1"), size_t(kLogRotateBytes));
    EXPECT_NE(test::ReadFileText(LogFilePath()).find("after rotation"), std::string::npos);
}

TEST_F(PathsTest, WriteLogNeverThrowsWhenTheLogCannotBeWritten) {
    SetLogFileName(DataFolder() + "no/such/folder/log");
    EXPECT_NO_THROW(WriteLog("lost"));
    EXPECT_NO_THROW(LogException(EConvertError("x"), "; ctx: "));
    SetLogFileName("");
    EXPECT_NO_THROW(WriteLog("nowhere"));
}

TEST(StartupPathsTest, DataFolderFollowsXdgThenHome) {
    test::TempDir dir;
    const std::string savedXdg = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";

    ::setenv("XDG_DATA_HOME", (dir.Path() + "xdg").c_str(), 1);
    EXPECT_EQ(ComputeStartupPaths().dataFolder, dir.Path() + "xdg/Tallyward/");
    EXPECT_TRUE(fs::is_directory(dir.Path() + "xdg/Tallyward"));

    ::setenv("XDG_DATA_HOME", "relative/ignored", 1);
    ::setenv("HOME", (dir.Path() + "home").c_str(), 1);
    EXPECT_EQ(ComputeStartupPaths().dataFolder, dir.Path() + "home/.local/share/Tallyward/");

    ::unsetenv("XDG_DATA_HOME");
    ::unsetenv("HOME");
    try {
        ComputeStartupPaths();
        ADD_FAILURE() << "no error without a home";
    } catch (const EOSError& e) {
        EXPECT_STREQ(e.what(), "Failed to get Application Data folder");
    }
    ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
    ::setenv("HOME", savedHome.c_str(), 1);

    const StartupPaths paths = ComputeStartupPaths();
    EXPECT_EQ(paths.exeBaseName, "test_base_PathsTest");
    EXPECT_EQ(paths.programFolder.back(), '/');
}

}  // namespace
}  // namespace tw
