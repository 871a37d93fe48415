#include "platform/Folders.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace tw {
namespace {

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
public:
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(FoldersTest, DefaultsFollowHomeAndRelativeValuesAreIgnored) {
    ScopedEnv env;
    env.Set("HOME", "/home/u/");
    env.Set("XDG_DATA_HOME", "relative/data");
    env.Set("XDG_CONFIG_HOME", nullptr);
    env.Set("XDG_DATA_DIRS", nullptr);
    const XdgFolders f = XdgFoldersFromEnvironment();
    EXPECT_EQ(f.dataHome, "/home/u/.local/share");
    EXPECT_EQ(f.configHome, "/home/u/.config");
    EXPECT_EQ(f.dataDirs, (std::vector<std::string>{"/usr/local/share", "/usr/share"}));
    EXPECT_EQ(f.ApplicationFolders().front(), "/home/u/.local/share/applications/");
}

TEST(FoldersTest, ExplicitFoldersWinAndRankTheUsersFirst) {
    ScopedEnv env;
    env.Set("XDG_DATA_HOME", "/d/home/");
    env.Set("XDG_DATA_DIRS", "/a:relative::/b/");
    const XdgFolders f = XdgFoldersFromEnvironment();
    EXPECT_EQ(f.ApplicationFolders(),
              (std::vector<std::string>{"/d/home/applications/", "/a/applications/",
                                        "/b/applications/"}));
}

}  // namespace
}  // namespace tw
