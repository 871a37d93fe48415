#include "control/CommandLine.h"

#include <cstdlib>
#include <string>
#include <string_view>

#ifndef TW_VERSION
#error "TW_VERSION comes from the build (the CMake project version)"
#endif

namespace tw {

namespace {

constexpr const char* kUsage = "Usage: tallyward [--help | --version | --enable-accessibility]\n";

// Where the program keeps the user's files, found as at start but never created.
std::string DataFolderText() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        return std::string(xdg) + "/Tallyward/";
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share/Tallyward/";
    return "(none: neither XDG_DATA_HOME nor HOME is set)";
}

}  // namespace

const char* ProgramVersion() {
    return TW_VERSION;
}

int HandleProgramArguments(int argc, char** argv, std::FILE* out, std::FILE* err) {
    bool help = false;
    bool version = false;
    bool accessibility = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--enable-accessibility") {
            accessibility = true;
        } else {
            std::fprintf(err, "tallyward: unknown argument '%s'\n%s", argv[i], kUsage);
            return 2;
        }
    }
    if (help) {
        std::fprintf(
            out,
            "%s\n"
            "Tallyward limits the time you spend on distracting web sites and\n"
            "applications. It runs in the notification area of the desktop, looks\n"
            "at the window in front every few seconds, adds the time to the day's\n"
            "total when the window is on your time-limit list, and at the daily limit\n"
            "reminds you, closes the window or shuts the computer down. Everything is\n"
            "set in its own windows; it takes no other arguments.\n"
            "\n"
            "Your data lives in $XDG_DATA_HOME/Tallyward/, else ~/.local/share/Tallyward/\n"
            "(here: %s): settings.sqlite (settings and the list),\n"
            "actmondb.sqlite (usage), tallyward.ini (appearance) and tallyward.log.\n"
            "One copy runs per user.\n"
            "\n"
            "  -h, --help     show this text and end\n"
            "      --version  show the version and end\n"
            "      --enable-accessibility\n"
            "                 switch the session's accessibility bus on and end: run at\n"
            "                 log-in before other applications, so that on Wayland they\n"
            "                 show Tallyward which of their windows is in front\n"
            "\n"
            "See also tallyward-report(1) and tallyward-probe(1).\n",
            kUsage, DataFolderText().c_str());
        return 0;
    }
    if (version) {
        std::fprintf(out, "tallyward %s\n", ProgramVersion());
        return 0;
    }
    return accessibility ? kEnableAccessibilityOnly : -1;
}

}  // namespace tw
