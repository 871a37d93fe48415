#pragma once

#include <string>
#include <vector>

// Where the user's and the system's files are: the XDG base folders, read
// once from the environment. Discovery of installed programs and autostart
// take their folders from here; tests pass their own.
namespace tw {

struct XdgFolders {
    std::string home;                   // $HOME
    std::string dataHome;               // $XDG_DATA_HOME, else ~/.local/share
    std::string configHome;             // $XDG_CONFIG_HOME, else ~/.config
    std::vector<std::string> dataDirs;  // $XDG_DATA_DIRS, else /usr/local/share:/usr/share

    // Folders holding .desktop entries, the user's first (as the menus rank them).
    std::vector<std::string> ApplicationFolders() const;
};

// Relative values are invalid under the XDG rules and are ignored.
XdgFolders XdgFoldersFromEnvironment();

}  // namespace tw
