#pragma once

#include <string>

// Puts a window in front of everything, also of a full-screen window that
// has the focus. Managers refuse an application that raises itself there
// (focus stealing), but follow the same request from a pager.
namespace tw {

// Asks the window manager of `displayName` (empty: $DISPLAY) to activate
// the top-level `window` and keep it above the others. False when the
// display cannot be opened; the manager may still decline.
bool RequestForeground(unsigned long window, const std::string& displayName = {});

}  // namespace tw
