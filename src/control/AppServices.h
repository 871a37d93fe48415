#pragma once

#include <functional>

#include "control/EnforcementCore.h"

// What the entry point builds once and hands to the windows: the settings
// store and the platform's objects, real ones in the program, fakes in tests.
namespace tw {

class Discovery;
class HotkeySource;
class PowerControl;
class SessionNotifier;
class TOptions;
class WindowSystem;

struct TAppServices {
    TOptions& options;
    WindowSystem& desktop;
    PowerControl& power;
    SessionNotifier& session;
    HotkeySource& hotkey;
    // Installed and running programs, for the add wizard.
    Discovery& discovery;
    // Where errors escaping a handler go.
    TErrorHandler onError;
    // Whether a notification area shows the icon; empty: ask the desktop.
    std::function<bool()> trayAvailable = {};
};

}  // namespace tw
