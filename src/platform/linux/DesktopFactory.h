#pragma once

#include <memory>
#include <string>

#include "platform/WindowSystem.h"

// The one place that picks the desktop backend for this session.
namespace tw {

class WaylandDesktop;
class X11Desktop;

enum class SessionKind { X11, Wayland };

// Wayland when the session says so (XDG_SESSION_TYPE) or a Wayland display
// is announced; X11 otherwise. Either argument may be null.
SessionKind DetectSessionKind(const char* waylandDisplay, const char* sessionType) noexcept;

struct SessionDesktop {
    std::unique_ptr<WindowSystem> desktop;  // null when none could be opened
    SessionKind kind = SessionKind::X11;
    X11Desktop* x11 = nullptr;          // the X11 desktop, or XWayland's on Wayland; may be null
    WaylandDesktop* wayland = nullptr;  // on Wayland
    std::string error;                  // why there is no desktop
};

// Whether a display for the program's own windows can be reached: the X
// server, or on Wayland the compositor's socket or XWayland. Opens nothing
// that lasts.
bool SessionDisplayReachable();

// The desktop of this session, from the environment. On Wayland the
// compositor's own interface is the first of sway's IPC, KWin's scripting,
// the program's GNOME Shell extension and wlroots' toplevel list that
// answers; XWayland's X server is used when DISPLAY names one.
SessionDesktop OpenSessionDesktop();

}  // namespace tw
