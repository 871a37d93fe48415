#include "platform/linux/DesktopFactory.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/linux/AtspiForeground.h"
#include "platform/linux/CompositorRoute.h"
#include "platform/linux/ForeignToplevelRoute.h"
#include "platform/linux/GnomeShellRoute.h"
#include "platform/linux/KWinRoute.h"
#include "platform/linux/SwayRoute.h"
#include "platform/linux/WaylandDesktop.h"
#include "platform/linux/X11Desktop.h"

namespace tw {

namespace {

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

std::unique_ptr<CompositorRoute> OpenCompositorRoute() {
    if (const char* swaySocket = Env("SWAYSOCK")) {
        if (std::unique_ptr<SwayRoute> sway = SwayRoute::Open(swaySocket))
            return sway;
    }
    if (std::unique_ptr<KWinRoute> kwin = KWinRoute::Open())
        return kwin;
    if (std::unique_ptr<GnomeShellRoute> gnome =
            GnomeShellRoute::Open(QDBusConnection::sessionBus()))
        return gnome;
    // Last: other wlroots compositors publish their windows, but not their processes.
    return ForeignToplevelRoute::Open();
}

}  // namespace

SessionKind DetectSessionKind(const char* waylandDisplay, const char* sessionType) noexcept {
    const std::string_view type = sessionType ? sessionType : "";
    if (type == "wayland")
        return SessionKind::Wayland;
    // A session that says X11 keeps it, even with a nested Wayland display.
    if (type == "x11")
        return SessionKind::X11;
    return waylandDisplay && *waylandDisplay ? SessionKind::Wayland : SessionKind::X11;
}

bool SessionDisplayReachable() {
    if (DetectSessionKind(Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE")) ==
        SessionKind::Wayland) {
        const char* display = Env("WAYLAND_DISPLAY");
        const char* runtime = Env("XDG_RUNTIME_DIR");
        if (display && display[0] == '/' && ::access(display, F_OK) == 0)
            return true;
        if (display && runtime &&
            ::access((std::string(runtime) + "/" + display).c_str(), F_OK) == 0)
            return true;
    }
    return Env("DISPLAY") && X11Desktop::Open() != nullptr;
}

SessionDesktop OpenSessionDesktop() {
    SessionDesktop result;
    result.kind = DetectSessionKind(Env("WAYLAND_DISPLAY"), Env("XDG_SESSION_TYPE"));
    if (result.kind == SessionKind::X11) {
        std::unique_ptr<X11Desktop> x11 = X11Desktop::Open();
        if (!x11) {
            const char* display = Env("DISPLAY");
            result.error =
                std::string("cannot open the X display \"") + (display ? display : "") + "\"";
            return result;
        }
        result.x11 = x11.get();
        result.desktop = std::move(x11);
        return result;
    }
    std::unique_ptr<X11Desktop> xwayland = Env("DISPLAY") ? X11Desktop::Open() : nullptr;
    result.x11 = xwayland.get();
    auto wayland = std::make_unique<WaylandDesktop>(std::move(xwayland), OpenCompositorRoute(),
                                                    std::make_unique<AtspiForeground>());
    result.wayland = wayland.get();
    result.desktop = std::move(wayland);
    return result;
}

}  // namespace tw
