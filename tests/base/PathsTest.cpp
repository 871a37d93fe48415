#include "base/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

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

TEST_F(PathsTest, TemplatesSeedOnlyAFolderWithoutSettings) {
    EXPECT_NO_THROW(CopyDatabaseTemplates());  // no templates: nothing copied, nothing raised
    EXPECT_FALSE(fs::exists(GetSettingsDBFileName()));
    test::WriteFileText(templates.Path() + "settings.sqlite", "settings template");
    test::WriteFileText(templates.Path() + "actmondb.sqlite", "activity template");
    test::WriteFileText(GetActivityDBFileName(), "old activity");
    CopyDatabaseTemplates();
    EXPECT_EQ(test::ReadFileText(GetSettingsDBFileName()), "settings template");
    EXPECT_EQ(test::ReadFileText(GetActivityDBFileName()), "activity template");
    // An existing settings database leaves the folder alone.
    test::WriteFileText(GetSettingsDBFileName(), "mine");
    test::WriteFileText(GetActivityDBFileName(), "my activity");
    CopyDatabaseTemplates();
    EXPECT_EQ(test::ReadFileText(GetSettingsDBFileName()), "mine");
    EXPECT_EQ(test::ReadFileText(GetActivityDBFileName()), "my activity");
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
