#include "platform/Folders.h"

#include <cstdlib>

#include "base/Strings.h"

namespace tw {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : std::string();
}

std::string Unslashed(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

}  // namespace

std::vector<std::string> XdgFolders::ApplicationFolders() const {
    std::vector<std::string> folders;
    if (!dataHome.empty())
        folders.push_back(dataHome + "/applications/");
    for (const std::string& dir : dataDirs)
        folders.push_back(dir + "/applications/");
    return folders;
}

XdgFolders XdgFoldersFromEnvironment() {
    XdgFolders f;
    f.home = Unslashed(Env("HOME"));
    f.dataHome = Unslashed(Env("XDG_DATA_HOME"));
    if (f.dataHome.empty() && !f.home.empty())
        f.dataHome = f.home + "/.local/share";
    f.configHome = Unslashed(Env("XDG_CONFIG_HOME"));
    if (f.configHome.empty() && !f.home.empty())
        f.configHome = f.home + "/.config";
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    for (const std::string& dir :
         Split(dirs && *dirs ? dirs : "/usr/local/share:/usr/share", ':')) {
        if (!dir.empty() && dir.front() == '/')
            f.dataDirs.push_back(Unslashed(dir));
    }
    return f;
}

}  // namespace tw
